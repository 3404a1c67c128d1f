#include "settings/LinkButton.h"

#include "glass/controls/FocusRing.h"
#include "glass/look/SymbolIcons.h"

#include <QFontMetrics>
#include <QPainter>

namespace settings {

namespace {
constexpr int kGap = 4;
} // namespace

LinkButton::LinkButton(const QString &text, QWidget *parent) : QAbstractButton(parent)
{
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    glass::FocusRing::setShape(this, 4);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void LinkButton::setLook(const QFont &font, const QColor &color)
{
    setFont(font);
    m_color = color;
    updateGeometry();
    update();
}

void LinkButton::setTrailingSymbol(const QString &symbol, int size)
{
    m_symbol = symbol;
    m_symbolSize = size;
    updateGeometry();
    update();
}

QSize LinkButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    int width = metrics.horizontalAdvance(text()) + 2;
    if (!m_symbol.isEmpty())
        width += kGap + m_symbolSize;
    return QSize(width, metrics.height() + 2);
}

void LinkButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(font());
    p.setPen(m_color);
    const QFontMetrics metrics(font());
    const int textWidth = metrics.horizontalAdvance(text());
    p.drawText(QRectF(1, 0, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    if (!m_symbol.isEmpty()) {
        const QImage image =
            glass::SymbolIcons::render(m_symbol, QSizeF(m_symbolSize, m_symbolSize), m_color, devicePixelRatioF());
        p.drawImage(QPointF(1 + textWidth + kGap, (height() - m_symbolSize) / 2.0), image);
    }
}

} // namespace settings
