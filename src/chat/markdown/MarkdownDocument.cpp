#include "chat/markdown/MarkdownDocument.h"

#include "chat/markdown/MarkdownText.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextTable>

namespace chat {

MarkdownDocument::MarkdownDocument(const MarkdownStyle &style)
    : m_style(style)
{
    setDocumentMargin(0);
    setDefaultFont(style.body);
    setUndoRedoEnabled(false);
}

QVariant MarkdownDocument::loadResource(int, const QUrl &)
{
    ++m_resourceRequests;
    return {};
}

void MarkdownDocument::setProse(const QString &markdown)
{
    // Outside an edit block every text run the reader inserts looks up the
    // cursor's line, which shapes the whole paragraph so far again: a long
    // paragraph with many marks costs its length squared.
    QTextCursor batch(this);
    batch.beginEditBlock();
    setMarkdown(markdown, QTextDocument::MarkdownFeatures(QTextDocument::MarkdownDialectGitHub |
                                                          QTextDocument::MarkdownNoHTML));
    batch.endEditBlock();
    polish();
}

void MarkdownDocument::setPlain(const QString &text)
{
    setPlainText(text);
    polish();
}

void MarkdownDocument::polish()
{
    struct Edit {
        enum class Kind { Image, Link, NotLink, Code } kind;
        int position;
        int length;
        QTextCharFormat format;
    };
    QList<Edit> edits;
    for (QTextBlock block = begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (format.isImageFormat())
                edits.append({Edit::Kind::Image, fragment.position(), fragment.length(), format});
            else if (format.isAnchor() || !format.anchorHref().isEmpty())
                edits.append({MarkdownText::isOpenableLink(QUrl(format.anchorHref())) ? Edit::Kind::Link
                                                                                     : Edit::Kind::NotLink,
                              fragment.position(), fragment.length(), format});
            else if (format.fontFixedPitch())
                edits.append({Edit::Kind::Code, fragment.position(), fragment.length(), format});
        }
    }

    QTextCursor cursor(this);
    cursor.beginEditBlock();
    // Back to front, so the positions of the edits still to come hold.
    for (auto it = edits.crbegin(); it != edits.crend(); ++it) {
        cursor.setPosition(it->position);
        cursor.setPosition(it->position + it->length, QTextCursor::KeepAnchor);
        QTextCharFormat format = it->format;
        switch (it->kind) {
        case Edit::Kind::Image: {
            const QString alt = format.stringProperty(QTextFormat::ImageAltText);
            QTextCharFormat text;
            text.setFont(format.font());
            if (format.isAnchor() && MarkdownText::isOpenableLink(QUrl(format.anchorHref()))) {
                text.setAnchor(true);
                text.setAnchorHref(format.anchorHref());
                text.setForeground(m_style.link);
                text.setFontUnderline(true);
            }
            cursor.insertText(alt, text);
            break;
        }
        case Edit::Kind::Link:
            format.setForeground(m_style.link);
            format.setFontUnderline(true);
            cursor.setCharFormat(format);
            break;
        case Edit::Kind::NotLink:
            format.clearProperty(QTextFormat::IsAnchor);
            format.clearProperty(QTextFormat::AnchorHref);
            format.clearForeground();
            cursor.setCharFormat(format);
            break;
        case Edit::Kind::Code: {
            QFont font = m_style.mono;
            font.setPixelSize(qMax(1, m_style.body.pixelSize() - 1));
            format.setFont(font, QTextCharFormat::FontPropertiesSpecifiedOnly);
            format.setFontFamilies(m_style.mono.families().isEmpty() ? QStringList{m_style.mono.family()}
                                                                     : m_style.mono.families());
            cursor.setCharFormat(format);
            break;
        }
        }
    }
    // Line spacing for every block.
    cursor.select(QTextCursor::Document);
    QTextBlockFormat spacing;
    spacing.setLineHeight(m_style.lineSpacing, QTextBlockFormat::LineDistanceHeight);
    cursor.mergeBlockFormat(spacing);
    styleTablesAndQuotes();
    cursor.endEditBlock();

    // Qt looks for the end of a run it cannot break (a long hash, a line of
    // base64) again on every line it wraps the run over, which costs the
    // run's length squared. Such a run is broken at the line's edge anyway;
    // wrapping anywhere finds that edge at once.
    if (longestUnbreakableRun() > kLongestWordWrapped) {
        QTextOption option = defaultTextOption();
        option.setWrapMode(QTextOption::WrapAnywhere);
        setDefaultTextOption(option);
    }
}

// The reader's tables come with a double rule around every cell and no room
// inside it, and its quotes with a wide indent on both sides: one rule in
// the skin's border colour with padded cells, and a narrow indent beside a bar.
void MarkdownDocument::styleTablesAndQuotes()
{
    const auto frames = rootFrame()->childFrames();
    for (QTextFrame *frame : frames) {
        auto *table = qobject_cast<QTextTable *>(frame);
        if (!table)
            continue;
        QTextTableFormat format = table->format();
        format.setBorderCollapse(true);
        format.setBorder(1);
        format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        format.setBorderBrush(m_style.rule);
        format.setCellSpacing(0);
        format.setCellPadding(kCellPadding);
        table->setFormat(format);
    }
    QTextCursor cursor(this);
    for (QTextBlock block = begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().intProperty(QTextFormat::BlockQuoteLevel);
        if (level <= 0)
            continue;
        QTextBlockFormat quote;
        quote.setLeftMargin(level * kQuoteIndent);
        quote.setRightMargin(0);
        cursor.setPosition(block.position());
        cursor.mergeBlockFormat(quote);
    }
}

void MarkdownDocument::drawQuoteBars(QPainter *painter, const QRectF &clip) const
{
    QAbstractTextDocumentLayout *layout = documentLayout();
    for (QTextBlock block = begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().intProperty(QTextFormat::BlockQuoteLevel);
        if (level <= 0)
            continue;
        const QRectF box = layout->blockBoundingRect(block);
        if (box.bottom() < clip.top() || box.top() > clip.bottom())
            continue;
        for (int i = 0; i < level; ++i)
            painter->fillRect(QRectF(i * kQuoteIndent, box.top(), kQuoteBar, box.height()), m_style.rule);
    }
}

qsizetype MarkdownDocument::longestUnbreakableRun() const
{
    qsizetype longest = 0;
    for (QTextBlock block = begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        if (text.size() <= longest)
            continue;
        QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
        qsizetype from = 0;
        for (qsizetype at = breaks.toNextBoundary(); at >= 0; at = breaks.toNextBoundary()) {
            longest = qMax(longest, at - from);
            from = at;
        }
    }
    return longest;
}

} // namespace chat
