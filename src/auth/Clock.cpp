#include "auth/Clock.h"

#include <QCoroTimer>

namespace auth {

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTimeUtc();
}

QCoro::Task<> SystemClock::sleep(std::chrono::milliseconds duration)
{
    co_await QCoro::sleepFor(duration);
}

Clock &systemClock()
{
    static SystemClock clock;
    return clock;
}

} // namespace auth
