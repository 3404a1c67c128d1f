#include "glass/controls/SpinnerRing.h"

#include <QEvent>
#include <QPainter>
#include <QWidget>

namespace glass {

SpinnerRing::SpinnerRing(QWidget *host, std::chrono::milliseconds interval) : QObject(host), m_host(host)
{
    m_tick.setInterval(interval);
    connect(&m_tick, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 30) % 360;
        m_host->update();
    });
    host->installEventFilter(this);
    if (host->isVisible())
        m_tick.start();
}

void SpinnerRing::paint(QPainter &p, const QRectF &box, const QColor &track, const QColor &arc) const
{
    p.setPen(QPen(track, 2));
    p.drawEllipse(box);
    p.setPen(QPen(arc, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(box, -m_angle * 16, 100 * 16);
}

bool SpinnerRing::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_host) {
        if (event->type() == QEvent::Show)
            m_tick.start();
        else if (event->type() == QEvent::Hide)
            m_tick.stop();
    }
    return false;
}

} // namespace glass
