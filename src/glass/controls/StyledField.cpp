#include "glass/controls/StyledField.h"

#include "glass/controls/FocusRing.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace glass {

StyledField::StyledField(const FieldStyle &style, QWidget *parent)
    : QLineEdit(parent)
    , m_style(&style)
{
    setFrame(false);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    restyle();
}

void StyledField::restyle()
{
    setFont(m_style->font);
    FocusRing::setShape(this, m_style->radius);
    setTextMargins(m_style->padding);
    setPalette(textPalette(palette(), m_style->text, m_style->placeholder, m_style->selection));
    update();
}

QPalette StyledField::textPalette(QPalette pal, const QColor &text, const QColor &placeholder, const QColor &selection)
{
    pal.setColor(QPalette::Base, Qt::transparent);
    pal.setColor(QPalette::Text, text);
    pal.setColor(QPalette::PlaceholderText, placeholder);
    pal.setColor(QPalette::Highlight, selection);
    pal.setColor(QPalette::HighlightedText, text);
    return pal;
}

void StyledField::paintEvent(QPaintEvent *event)
{
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        const qreal radius = std::min(m_style->radius, r.height() / 2);
        QPainterPath shape;
        shape.addRoundedRect(r, radius, radius);
        p.fillPath(shape, hasFocus() ? m_style->fillFocus : m_style->fill);
        p.setPen(QPen(hasFocus() ? m_style->strokeFocus : m_style->stroke, hasFocus() ? 1.2 : 1.0));
        p.drawPath(shape);
    }
    QLineEdit::paintEvent(event);
}

} // namespace glass
