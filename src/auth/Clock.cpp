#include "auth/Clock.h"

#include <QCoroTimer>
#include <QElapsedTimer>

#include <algorithm>

namespace auth {

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTimeUtc();
}

QCoro::Task<> SystemClock::sleep(std::chrono::milliseconds duration)
{
    // Never wakes early: a coarse timer may fire up to 5% before its time,
    // and a strict server answers a poll that comes early with slow_down.
    // What is left after an early wake-up is slept again. Qt timers take an
    // int of milliseconds, so a longer wait (a server's oversized interval)
    // is slept in pieces rather than wrapping around.
    constexpr std::chrono::milliseconds piece = std::chrono::hours(24);
    QElapsedTimer elapsed;
    elapsed.start();
    for (;;) {
        const auto left = duration - std::chrono::milliseconds(elapsed.elapsed());
        if (left.count() <= 0)
            co_return;
        co_await QCoro::sleepFor(std::min(left, piece));
    }
}

Clock &systemClock()
{
    static SystemClock clock;
    return clock;
}

} // namespace auth
