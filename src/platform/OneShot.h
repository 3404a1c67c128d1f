#pragma once

#include <QCoreApplication>
#include <QMetaObject>

#include <coroutine>
#include <memory>
#include <optional>

namespace platform {

// A value that is set once and awaited once. Unlike a signal, it outlives
// the object that sets it, so a setter that goes away can still answer (the
// stream exchange sets a final value from its destructor). The waiter is
// resumed in a later event-loop turn, never inside set(), so whoever sets the
// value (a stop button, a network slot) finishes its own work first.
template <typename T>
class OneShot {
public:
    // Later calls are ignored: the first answer wins.
    void set(T value) const
    {
        if (m_state->value)
            return;
        m_state->value.emplace(std::move(value));
        if (std::coroutine_handle<> waiter = std::exchange(m_state->waiter, {})) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [waiter] { waiter.resume(); }, Qt::QueuedConnection);
        }
    }

    bool await_ready() const noexcept { return m_state->value.has_value(); }
    void await_suspend(std::coroutine_handle<> waiter) const noexcept { m_state->waiter = waiter; }
    T await_resume() const { return std::move(*m_state->value); }

private:
    struct State {
        std::optional<T> value;
        std::coroutine_handle<> waiter;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

} // namespace platform
