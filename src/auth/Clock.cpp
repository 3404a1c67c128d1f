#include "auth/Clock.h"

#include <QCoroTimer>

#include <algorithm>

namespace auth {

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTimeUtc();
}

QCoro::Task<> SystemClock::sleep(std::chrono::milliseconds duration)
{
    // Qt timers take an int of milliseconds; a longer wait (a server's
    // oversized interval) is slept in pieces rather than wrapping around.
    constexpr std::chrono::milliseconds piece = std::chrono::hours(24);
    do {
        const auto step = std::min(duration, piece);
        co_await QCoro::sleepFor(step);
        duration -= step;
    } while (duration.count() > 0);
}

Clock &systemClock()
{
    static SystemClock clock;
    return clock;
}

} // namespace auth
