#include "glass/controls/StyledSlider.h"

#include <QPainter>
#include <QStyle>

namespace glass {

namespace {
constexpr qreal kKnob = 14;
constexpr qreal kTrack = 4;
}

StyledSlider::StyledSlider(const Styles &styles, QWidget *parent)
    : QSlider(Qt::Horizontal, parent)
    , m_styles(&styles)
{
    setCursor(Qt::PointingHandCursor);
}

QSize StyledSlider::sizeHint() const
{
    return QSize(QSlider::sizeHint().width(), int(kKnob) + 4);
}

void StyledSlider::paintEvent(QPaintEvent *)
{
    const Styles &st = *m_styles;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal span = width() - kKnob;
    const qreal fraction = maximum() > minimum() ? qreal(value() - minimum()) / (maximum() - minimum()) : 0;
    const qreal cy = height() / 2.0;
    const QRectF track(kKnob / 2, cy - kTrack / 2, span, kTrack);
    p.setPen(Qt::NoPen);
    p.setBrush(st.light ? QColor::fromRgbF(0, 0, 0, 0.14f) : QColor::fromRgbF(1, 1, 1, 0.16f));
    p.drawRoundedRect(track, kTrack / 2, kTrack / 2);
    QRectF filled = track;
    filled.setWidth(span * fraction);
    p.setBrush(isEnabled() ? st.accent : st.textTertiary);
    p.drawRoundedRect(filled, kTrack / 2, kTrack / 2);
    const QRectF knob(span * fraction, cy - kKnob / 2, kKnob, kKnob);
    p.setBrush(QColor::fromRgbF(0, 0, 0, 0.25f));
    p.drawEllipse(knob.translated(0, 1));
    p.setBrush(QColor(245, 245, 247, isSliderDown() ? 255 : 245));
    p.setPen(QPen(QColor::fromRgbF(0, 0, 0, 0.12f), 0.5));
    p.drawEllipse(knob);
}

} // namespace glass
