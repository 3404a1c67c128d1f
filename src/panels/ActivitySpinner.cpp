#include "panels/ActivitySpinner.h"

#include "glass/Styles.h"

#include <QPainter>

namespace panels {

ActivitySpinner::ActivitySpinner(glass::StyleStore &styles, QWidget *parent) : QWidget(parent), m_styles(styles)
{
    setFixedSize(16, 16);
    m_tick.setInterval(50);
    connect(&m_tick, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 30) % 360;
        update();
    });
}

void ActivitySpinner::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const glass::Styles &s = m_styles.styles();
    QColor track = s.textTertiary;
    track.setAlphaF(0.3f);
    const QRectF box = QRectF(rect()).adjusted(2, 2, -2, -2);
    p.setPen(QPen(track, 2));
    p.drawEllipse(box);
    p.setPen(QPen(s.textSecondary, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(box, -m_angle * 16, 100 * 16);
}

void ActivitySpinner::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_tick.start();
}

void ActivitySpinner::hideEvent(QHideEvent *event)
{
    m_tick.stop();
    QWidget::hideEvent(event);
}

} // namespace panels
