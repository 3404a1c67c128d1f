#include "glass/controls/StyledButton.h"

#include "glass/controls/FocusRing.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace glass {

StyledButton::StyledButton(const QString &text, const ButtonStyle &style, QWidget *parent)
    : QPushButton(text, parent)
    , m_style(&style)
{
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus); // a click leaves the keyboard where it was
    restyle();
}

void StyledButton::setButtonStyle(const ButtonStyle &style)
{
    m_style = &style;
    restyle();
}

void StyledButton::restyle()
{
    setFont(m_style->font);
    FocusRing::setShape(this, m_style->radius);
    updateGeometry();
    update();
}

QColor StyledButton::currentFill() const
{
    if (!isEnabled())
        return m_style->fillDisabled;
    if (isDown())
        return m_style->fillPressed;
    if (underMouse())
        return m_style->fillHover;
    return m_style->fill;
}

QColor StyledButton::currentText() const
{
    return isEnabled() ? m_style->text : m_style->textDisabled;
}

QSize StyledButton::sizeHint() const
{
    const QFontMetrics fm(m_style->font);
    int width = fm.horizontalAdvance(text());
    if (!icon().isNull())
        width += iconSize().width() + (text().isEmpty() ? 0 : 6);
    width += m_style->padding.left() + m_style->padding.right();
    return QSize(std::max(width, m_style->height), m_style->height);
}

QSize StyledButton::minimumSizeHint() const
{
    return sizeHint();
}

void StyledButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = std::min(m_style->radius, r.height() / 2);
    QPainterPath shape;
    shape.addRoundedRect(r, radius, radius);
    p.fillPath(shape, currentFill());
    if (m_style->stroke.alpha() > 0) {
        p.setPen(QPen(m_style->stroke, 1));
        p.drawPath(shape);
    }

    // Icon and label, centred together.
    const QFontMetrics fm(m_style->font);
    const int textWidth = fm.horizontalAdvance(text());
    const bool hasIcon = !icon().isNull();
    const int gap = hasIcon && !text().isEmpty() ? 6 : 0;
    const int total = (hasIcon ? iconSize().width() : 0) + gap + textWidth;
    qreal x = (width() - total) / 2.0;
    if (hasIcon) {
        const QPixmap pixmap = icon().pixmap(iconSize(), devicePixelRatioF(), isEnabled() ? QIcon::Normal : QIcon::Disabled);
        p.drawPixmap(QPointF(x, (height() - iconSize().height()) / 2.0), pixmap);
        x += iconSize().width() + gap;
    }
    p.setFont(m_style->font);
    p.setPen(currentText());
    p.drawText(QRectF(x, 0, textWidth + 1, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
}

} // namespace glass
