#pragma once

#include <QPointF>
#include <QTimer>
#include <QWidget>

#include <array>

namespace glass {
class StyleStore;
}
namespace stage {
struct UISkin;
}

namespace chat {

// The still cluster of stars in the "Ready" chrome (22 × 22).
class RestingActivityMark : public QWidget {
    Q_OBJECT
public:
    struct Particle {
        qreal x, y, size, opacity;
    };
    static const std::array<Particle, 5> particles;

    explicit RestingActivityMark(glass::StyleStore &styles, QWidget *parent = nullptr);
    QSize sizeHint() const override { return {22, 22}; }
    // The stars' fill before each star's own opacity.
    static QColor tint(const stage::UISkin &skin);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    glass::StyleStore &m_styles;
};

// Five stars that swell, shrink, spin and orbit, 30 times a second while
// shown (54 × 54). The motion is a function of the clock alone; while the
// desktop asks for less motion the mark holds one pose.
class BreathingActivityMark : public QWidget {
    Q_OBJECT
public:
    struct Particle {
        qreal x, y, size, minScale, maxScale, speed, phase, jitter, spin;
    };
    static const std::array<Particle, 5> particles;

    // One star at time t (seconds).
    struct Star {
        QPointF centre; // from the canvas centre
        qreal size;     // z
        qreal angle;    // own spin, radians
        qreal w;        // breath, 0...1
        qreal opacity, fillOpacity, strokeOpacity, strokeWidth;
        qreal dot, dotOpacity;
    };
    static Star star(int index, double t);

    explicit BreathingActivityMark(glass::StyleStore &styles, QWidget *parent = nullptr);
    QSize sizeHint() const override { return {54, 54}; }
    // Draws the mark at time t into a canvas of size.
    static void paint(QPainter &painter, const QSizeF &size, double t, const QColor &accent);
    // Redrawn 30 times a second: shown, and motion not reduced.
    bool isMoving() const;
    // The one pose drawn while motion is reduced.
    static constexpr double kStillTime = 0;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    glass::StyleStore &m_styles;
    QTimer m_tick;
};

} // namespace chat
