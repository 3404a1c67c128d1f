#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

class QColor;
class QPainter;
class QRectF;
class QWidget;

namespace glass {

// The turning part of an indeterminate progress ring: it steps 30° a tick
// while its host widget is shown (no timer runs while hidden) and draws the
// ring in the host's paint.
class SpinnerRing : public QObject {
    Q_OBJECT
public:
    SpinnerRing(QWidget *host, std::chrono::milliseconds interval);

    int angle() const { return m_angle; }
    // A faint full track and a 100° arc at the current angle, 2 px wide.
    void paint(QPainter &p, const QRectF &box, const QColor &track, const QColor &arc) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_host;
    QTimer m_tick;
    int m_angle = 0;
};

} // namespace glass
