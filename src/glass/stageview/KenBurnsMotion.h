#pragma once

#include <QtGlobal>

namespace glass {

// Where the wallpaper sits: a zoom about the stage's centre, then a shift.
struct KenBurnsPose {
    qreal scale = 1.0;
    qreal x = 0;
    qreal y = 0;

    static KenBurnsPose rest() { return {1.0, 0, 0}; }
    static KenBurnsPose start() { return {1.0, -6, 8}; }
    static KenBurnsPose end() { return {1.06, 10, -6}; }
    static KenBurnsPose between(const KenBurnsPose &a, const KenBurnsPose &b, qreal t);

    friend bool operator==(const KenBurnsPose &, const KenBurnsPose &) = default;
};

// The slow drift and zoom of a still wallpaper, as a function of time (ms):
// from the start pose to the end pose in 24 s (ease in and out) and back,
// without end; or settling to rest in 0.2 s (ease out) when switched off.
class KenBurnsMotion {
public:
    static constexpr qint64 kLegMs = 24'000;
    static constexpr qint64 kSettleMs = 200;

    // No motion: the rest pose.
    void rest();
    // Jumps to the start pose and moves from there.
    void start(qint64 now);
    // From wherever it is at now to rest.
    void settle(qint64 now);

    KenBurnsPose poseAt(qint64 now) const;
    // More frames are needed to show the motion.
    bool isAnimating(qint64 now) const;
    bool isMoving() const { return m_mode == Mode::moving; }

    // The standard curves: ease in and out, and ease out.
    static qreal easeInOut(qreal t);
    static qreal easeOut(qreal t);

private:
    enum class Mode { resting, moving, settling };
    Mode m_mode = Mode::resting;
    qint64 m_since = 0;
    KenBurnsPose m_from;
};

// A value that moves to a new target over a duration with a curve.
struct Tween {
    qreal from = 0;
    qreal to = 0;
    qint64 since = 0;
    qint64 durationMs = 0;

    qreal at(qint64 now) const;
    bool isDone(qint64 now) const { return now >= since + durationMs; }
    void jump(qreal value) { from = to = value; durationMs = 0; }
    void animate(qreal target, qint64 now, qint64 duration);
};

} // namespace glass
