#include "chat/markdown/ReaderText.h"

#include "chat/markdown/MarkdownDocument.h"
#include "chat/markdown/MarkdownText.h"

#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>

namespace chat {

namespace {

QString readable(QString text)
{
    // A hard break inside a paragraph is a line to the reader; an object
    // character stands for nothing it can read.
    text.replace(QChar::LineSeparator, u'\n');
    text.remove(QChar::ObjectReplacementCharacter);
    return text;
}

void collectLinks(const QTextBlock &block, QList<ReaderPart> &links)
{
    int end = -1;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const QTextCharFormat format = fragment.charFormat();
        // The document keeps only links that can be followed.
        if (!format.isAnchor() || format.anchorHref().isEmpty())
            continue;
        // One link whose text changes its look halfway is still one link.
        if (!links.isEmpty() && end == fragment.position() && links.last().href == format.anchorHref()) {
            links.last().text += readable(fragment.text());
        } else {
            ReaderPart link;
            link.kind = ReaderPart::Kind::Link;
            link.text = readable(fragment.text());
            link.href = format.anchorHref();
            links.append(std::move(link));
        }
        end = fragment.position() + fragment.length();
    }
}

void readBlock(const QTextBlock &block, QList<ReaderPart> &parts)
{
    const QString text = readable(block.text());
    if (text.trimmed().isEmpty())
        return;
    ReaderPart part;
    part.text = text;
    const QTextBlockFormat format = block.blockFormat();
    if (format.headingLevel() > 0) {
        part.kind = ReaderPart::Kind::Heading;
        part.level = format.headingLevel();
    } else if (QTextList *list = block.textList()) {
        part.kind = ReaderPart::Kind::ListItem;
        // Bullets are the list item's role; a number is part of what it says.
        if (list->format().style() <= QTextListFormat::ListDecimal) {
            const QString number = list->itemText(block);
            if (!number.isEmpty())
                part.text = number + u' ' + text;
        }
    }
    collectLinks(block, part.parts);
    parts.append(std::move(part));
}

ReaderPart readTable(QTextTable *table)
{
    ReaderPart out;
    out.kind = ReaderPart::Kind::Table;
    QStringList rows;
    for (int r = 0; r < table->rows(); ++r) {
        QStringList cells;
        for (int c = 0; c < table->columns(); ++c) {
            const QTextTableCell cell = table->cellAt(r, c);
            // A spanning cell is read once, where it begins.
            if (!cell.isValid() || cell.row() != r || cell.column() != c)
                continue;
            ReaderPart part;
            part.kind = ReaderPart::Kind::Cell;
            QStringList lines;
            for (auto it = cell.begin(); !it.atEnd(); ++it) {
                const QTextBlock block = it.currentBlock();
                if (!block.isValid())
                    continue;
                lines.append(readable(block.text()));
                collectLinks(block, part.parts);
            }
            part.text = lines.join(u'\n');
            cells.append(part.text);
            out.parts.append(std::move(part));
        }
        rows.append(cells.join(u'\t'));
    }
    out.text = rows.join(u'\n');
    return out;
}

void readFrame(QTextFrame *frame, QList<ReaderPart> &parts)
{
    for (auto it = frame->begin(); !it.atEnd(); ++it) {
        if (QTextFrame *child = it.currentFrame()) {
            if (auto *table = qobject_cast<QTextTable *>(child))
                parts.append(readTable(table));
            else
                readFrame(child, parts);
        } else {
            readBlock(it.currentBlock(), parts);
        }
    }
}

QList<ReaderPart> readProse(const QString &markdown)
{
    // The document the view draws, read before (and without) any layout.
    MarkdownDocument doc{MarkdownStyle{}};
    doc.setProse(markdown);
    QList<ReaderPart> parts;
    readFrame(doc.rootFrame(), parts);
    return parts;
}

ReaderPart readCode(const MarkdownText::Block &block)
{
    ReaderPart part;
    part.kind = ReaderPart::Kind::Code;
    part.text = block.text;
    // What the card's header says.
    part.label = block.language && !block.language->isEmpty() ? *block.language : QStringLiteral("code");
    return part;
}

// Prose cut as the view cuts it: at blank lines, a numbered item kept with
// what comes before it (so a loose list keeps counting).
QStringList chunks(const QString &prose)
{
    QStringList out;
    QStringList open;
    for (const QString &paragraph : prose.split(QLatin1String("\n\n"), Qt::SkipEmptyParts)) {
        if (!open.isEmpty() && !MarkdownText::startsOrderedItem(paragraph)) {
            out.append(open.join(QLatin1String("\n\n")));
            open.clear();
        }
        open.append(paragraph);
    }
    if (!open.isEmpty())
        out.append(open.join(QLatin1String("\n\n")));
    return out;
}

} // namespace

QList<ReaderPart> ReaderText::parts(const QString &source, MarkdownRenderer::Mode mode)
{
    if (source.isEmpty())
        return {};
    if (mode == MarkdownRenderer::Mode::Plain) {
        ReaderPart part;
        part.text = source;
        return {part};
    }
    QList<ReaderPart> parts;
    for (const MarkdownText::Block &block : MarkdownText::parse(source)) {
        if (block.kind == MarkdownText::Block::Kind::Code) {
            parts.append(readCode(block));
            continue;
        }
        for (const QString &chunk : chunks(block.text))
            parts.append(readProse(chunk));
    }
    return parts;
}

QString ReaderText::join(const QList<ReaderPart> &parts)
{
    QStringList texts;
    texts.reserve(parts.size());
    for (const ReaderPart &part : parts)
        texts.append(part.text);
    return texts.join(u'\n');
}

const QString &StreamingReaderText::update(const QString &source)
{
    if (source == m_source && !m_parts.isEmpty())
        return m_text;
    m_source = source;
    QHash<QString, QList<ReaderPart>> kept;
    QList<ReaderPart> parts;
    for (const MarkdownText::Block &block : MarkdownText::parse(source)) {
        if (block.kind == MarkdownText::Block::Kind::Code) {
            parts.append(readCode(block));
            continue;
        }
        for (const QString &chunk : chunks(block.text)) {
            const auto found = m_read.constFind(chunk);
            QList<ReaderPart> read = found != m_read.constEnd() ? *found : readProse(chunk);
            parts.append(read);
            kept.insert(chunk, std::move(read));
        }
    }
    m_read = std::move(kept);
    m_parts = std::move(parts);
    m_text = ReaderText::join(m_parts);
    return m_text;
}

void StreamingReaderText::clear()
{
    m_source.clear();
    m_text.clear();
    m_parts.clear();
    m_read.clear();
}

} // namespace chat
