#include "glass/stageview/KenBurnsMotion.h"

#include <algorithm>
#include <cmath>

namespace glass {

namespace {

// A cubic Bézier timing curve from (0,0) to (1,1) through (x1,y1), (x2,y2):
// solve x(s) = t for s by bisection, then give y(s).
qreal bezier(qreal t, qreal x1, qreal y1, qreal x2, qreal y2)
{
    t = std::clamp(t, 0.0, 1.0);
    auto coord = [](qreal s, qreal a, qreal b) {
        const qreal u = 1 - s;
        return 3 * u * u * s * a + 3 * u * s * s * b + s * s * s;
    };
    qreal lo = 0, hi = 1, s = t;
    for (int i = 0; i < 40; ++i) {
        s = (lo + hi) / 2;
        if (coord(s, x1, x2) < t)
            lo = s;
        else
            hi = s;
    }
    return coord(s, y1, y2);
}

} // namespace

qreal KenBurnsMotion::easeInOut(qreal t)
{
    return bezier(t, 0.42, 0, 0.58, 1);
}

qreal KenBurnsMotion::easeOut(qreal t)
{
    return bezier(t, 0, 0, 0.58, 1);
}

KenBurnsPose KenBurnsPose::between(const KenBurnsPose &a, const KenBurnsPose &b, qreal t)
{
    return {a.scale + (b.scale - a.scale) * t, a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

void KenBurnsMotion::rest()
{
    m_mode = Mode::resting;
}

void KenBurnsMotion::start(qint64 now)
{
    m_mode = Mode::moving;
    m_since = now;
}

void KenBurnsMotion::settle(qint64 now)
{
    m_from = poseAt(now);
    m_mode = Mode::settling;
    m_since = now;
}

KenBurnsPose KenBurnsMotion::poseAt(qint64 now) const
{
    switch (m_mode) {
    case Mode::resting:
        return KenBurnsPose::rest();
    case Mode::moving: {
        const qint64 elapsed = std::max<qint64>(0, now - m_since);
        const qint64 leg = elapsed / kLegMs;
        const qreal frac = qreal(elapsed % kLegMs) / kLegMs;
        // Odd legs run back: the curve is symmetric, so the way back mirrors the way out.
        const qreal t = easeInOut(leg % 2 == 0 ? frac : 1 - frac);
        return KenBurnsPose::between(KenBurnsPose::start(), KenBurnsPose::end(), t);
    }
    case Mode::settling: {
        const qreal t = easeOut(qreal(now - m_since) / kSettleMs);
        return KenBurnsPose::between(m_from, KenBurnsPose::rest(), t);
    }
    }
    return KenBurnsPose::rest();
}

bool KenBurnsMotion::isAnimating(qint64 now) const
{
    return m_mode == Mode::moving || (m_mode == Mode::settling && now < m_since + kSettleMs);
}

qreal Tween::at(qint64 now) const
{
    if (durationMs <= 0 || now >= since + durationMs)
        return to;
    const qreal t = KenBurnsMotion::easeOut(qreal(now - since) / durationMs);
    return from + (to - from) * t;
}

void Tween::animate(qreal target, qint64 now, qint64 duration)
{
    from = at(now);
    to = target;
    since = now;
    durationMs = duration;
}

} // namespace glass
