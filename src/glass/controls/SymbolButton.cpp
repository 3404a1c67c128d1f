#include "glass/controls/SymbolButton.h"

#include "glass/look/SymbolIcons.h"

#include <QFontMetrics>
#include <QPainter>

namespace glass {

SymbolButton::SymbolButton(const QString &symbol, const QColor &color, const QString &help, QWidget *parent)
    : QAbstractButton(parent), m_symbol(symbol), m_color(color)
{
    setToolTip(help);
    setAccessibleName(help);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void SymbolButton::setSymbol(const QString &symbol)
{
    if (symbol == m_symbol)
        return;
    m_symbol = symbol;
    update();
}

void SymbolButton::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void SymbolButton::setLabel(const QString &label, const QFont &font)
{
    m_label = label;
    m_labelFont = font;
    setText(label);
    updateGeometry();
    update();
}

void SymbolButton::setSymbolSize(int pixels)
{
    m_symbolSize = pixels;
    updateGeometry();
    update();
}

QSize SymbolButton::sizeHint() const
{
    int width = m_symbolSize + 10;
    if (!m_label.isEmpty())
        width += QFontMetrics(m_labelFont).horizontalAdvance(m_label) + 5;
    return {width, m_symbolSize + 10};
}

void SymbolButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if ((m_hover || isDown()) && isEnabled()) {
        QColor fill = m_color;
        fill.setAlphaF(isDown() ? 0.22f : 0.12f);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    }
    QColor color = m_color;
    if (!isEnabled())
        color.setAlphaF(color.alphaF() * 0.45f);
    const qreal dpr = devicePixelRatioF();
    const QImage symbol = SymbolIcons::render(m_symbol, QSizeF(m_symbolSize, m_symbolSize), color, dpr);
    const int top = (height() - m_symbolSize) / 2;
    p.drawImage(QPointF(5, top), symbol);
    if (!m_label.isEmpty()) {
        p.setFont(m_labelFont);
        p.setPen(color);
        p.drawText(QRect(5 + m_symbolSize + 5, 0, width() - m_symbolSize - 10, height()),
                   Qt::AlignVCenter | Qt::AlignLeft, m_label);
    }
}

void SymbolButton::enterEvent(QEnterEvent *event)
{
    m_hover = true;
    update();
    QAbstractButton::enterEvent(event);
}

void SymbolButton::leaveEvent(QEvent *event)
{
    m_hover = false;
    update();
    QAbstractButton::leaveEvent(event);
}

} // namespace glass
