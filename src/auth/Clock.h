#pragma once

#include <QDateTime>

#include <QCoroTask>

#include <chrono>

namespace auth {

// Time as the sign-in sees it: the current date and a sleep. Tests hand in a
// clock that advances by itself, so a 30-minute code expiry runs in
// milliseconds.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0; // UTC
    virtual QCoro::Task<> sleep(std::chrono::milliseconds duration) = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override;
    QCoro::Task<> sleep(std::chrono::milliseconds duration) override;
};

// The process's real clock.
Clock &systemClock();

} // namespace auth
