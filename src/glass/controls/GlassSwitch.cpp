#include "glass/controls/GlassSwitch.h"

#include <QPainter>

#include <algorithm>

namespace glass {

namespace {
constexpr QSizeF kTrack(26, 15);
}

GlassSwitch::GlassSwitch(const QString &label, QWidget *parent)
    : QAbstractButton(parent)
{
    setText(label);
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);
}

void GlassSwitch::setColors(const QColor &label, const QColor &on, const QColor &off)
{
    m_label = label;
    m_on = on;
    m_off = off;
    update();
}

QSize GlassSwitch::sizeHint() const
{
    const QFontMetrics fm(font());
    return QSize(fm.horizontalAdvance(text()) + 12 + int(kTrack.width()), std::max(fm.height(), 18));
}

void GlassSwitch::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        p.setOpacity(0.45);
    p.setPen(m_label);
    p.setFont(font());
    p.drawText(QRectF(rect()), Qt::AlignLeft | Qt::AlignVCenter, text());

    const QRectF track(width() - kTrack.width(), (height() - kTrack.height()) / 2, kTrack.width(), kTrack.height());
    p.setPen(Qt::NoPen);
    p.setBrush(isChecked() ? m_on : m_off);
    p.drawRoundedRect(track, track.height() / 2, track.height() / 2);
    const qreal knob = track.height() - 3;
    const qreal x = isChecked() ? track.right() - knob - 1.5 : track.left() + 1.5;
    p.setBrush(QColor(255, 255, 255, isDown() ? 220 : 245));
    p.drawEllipse(QRectF(x, track.top() + 1.5, knob, knob));
}

} // namespace glass
