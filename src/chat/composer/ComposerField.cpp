#include "chat/composer/ComposerField.h"

#include "chat/composer/ComposerPlaceholders.h"

#include <QKeyEvent>
#include <QPainter>
#include <QTextBlock>
#include <QTextLayout>

namespace chat {

ComposerField::ComposerField(QWidget *parent) : QPlainTextEdit(parent)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setTabChangesFocus(true);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    document()->setDocumentMargin(0);
    // The caret is painted here, in the accent: the text edit would draw it
    // in the text colour.
    setCursorWidth(0);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(QStringLiteral("Message"));
    QFont f = font();
    f.setPixelSize(15);
    setFont(f);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        refit();
        viewport()->update();
    });
    refit();
}

void ComposerField::setPlaceholder(const QString &text)
{
    if (m_placeholder == text)
        return;
    m_placeholder = text;
    viewport()->update();
}

void ComposerField::setColors(const QColor &text, const QColor &placeholder, const QColor &accent)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Text, text);
    pal.setColor(QPalette::Base, Qt::transparent);
    QColor selection = accent;
    selection.setAlphaF(0.28f);
    pal.setColor(QPalette::Highlight, selection);
    pal.setColor(QPalette::HighlightedText, text);
    setPalette(pal);
    m_placeholderColor = placeholder;
    m_caretColor = accent;
    viewport()->update();
}

bool ComposerField::showsPlaceholder() const
{
    return ComposerPlaceholders::isBlank(toPlainText());
}

int ComposerField::fittedHeight() const
{
    const QFontMetrics fm(font());
    int lines = 0;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        const QTextLayout *layout = block.layout();
        lines += layout && layout->lineCount() > 0 ? layout->lineCount() : 1;
        if (lines >= kMaxLines)
            break;
    }
    lines = qBound(1, lines, kMaxLines);
    return lines * fm.lineSpacing() + 4;
}

QSize ComposerField::sizeHint() const
{
    return {200, fittedHeight()};
}

QSize ComposerField::minimumSizeHint() const
{
    return {40, fittedHeight()};
}

void ComposerField::refit()
{
    const int h = fittedHeight();
    if (h == m_fitted)
        return;
    m_fitted = h;
    setFixedHeight(h);
    updateGeometry();
    emit fittedHeightChanged();
}

void ComposerField::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    refit();
}

void ComposerField::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
        if (mods & Qt::ControlModifier)
            emit sendNowRequested();
        else if (mods & Qt::ShiftModifier)
            textCursor().insertText(QStringLiteral("\n")); // at the caret, replacing a selection
        else
            emit submitRequested();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

QRectF ComposerField::caretRect() const
{
    const QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    const QTextLayout *layout = block.layout();
    if (!layout)
        return {};
    const int at = cursor.positionInBlock();
    const QTextLine line = layout->lineForTextPosition(at);
    if (!line.isValid())
        return {};
    const QPointF origin = blockBoundingGeometry(block).translated(contentOffset()).topLeft() + layout->position();
    return {origin.x() + line.cursorToX(at), origin.y() + line.y(), qreal(kCaretWidth), line.height()};
}

bool ComposerField::caretShown() const
{
    // The text edit's blink phase: no position while the caret is off.
    return getPaintContext().cursorPosition >= 0 && !isReadOnly();
}

void ComposerField::paintEvent(QPaintEvent *event)
{
    QPlainTextEdit::paintEvent(event);
    QPainter p(viewport());
    if (caretShown()) {
        const QRectF caret = caretRect();
        if (!caret.isNull())
            p.fillRect(caret, m_caretColor);
    }
    if (!showsPlaceholder() || m_placeholder.isEmpty())
        return;
    p.setFont(font());
    p.setPen(m_placeholderColor);
    const QRect r = viewport()->rect();
    const QString line = fontMetrics().elidedText(m_placeholder, Qt::ElideRight, r.width());
    p.drawText(QRect(r.left(), r.top(), r.width(), fontMetrics().lineSpacing()), Qt::AlignLeft | Qt::AlignVCenter,
               line);
}

} // namespace chat
