#pragma once

#include <QtGlobal>

#include <stop_token>

namespace agent {

// What one judgement of a command may cost, counted in units of work (about
// one character looked at once), and the caller's stop. Every reading of the
// command spends from the same budget, so no shape of input (nested braces,
// texts read again by shells, long lists of words) takes more than the
// budget allows; past it, or once a stop is asked for, every spend fails and
// the judgement ends as too complex.
class WorkBudget {
public:
    // About 35 ms of the slowest kind of work on an ordinary machine.
    static constexpr qint64 kDefaultUnits = 2'000'000;

    explicit WorkBudget(qint64 units = kDefaultUnits, std::stop_token stop = {}) : m_left(units), m_stop(std::move(stop)) {}

    // False once the budget is spent or the caller asked to stop.
    bool spend(qint64 units)
    {
        if (m_over)
            return false;
        m_left -= units;
        if (m_left < 0 || m_stop.stop_requested())
            m_over = true;
        return !m_over;
    }

    bool exhausted() const { return m_over; }
    bool stopped() const { return m_stop.stop_requested(); }

private:
    qint64 m_left;
    std::stop_token m_stop;
    bool m_over = false;
};

} // namespace agent
