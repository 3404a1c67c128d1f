#pragma once

#include <QSemaphore>
#include <QThreadPool>

#include <memory>

namespace testsupport {

// Keeps every thread of a pool busy until released, so work queued there
// meanwhile (QtConcurrent::run uses the global pool) has not started: a test
// can act while that work is certainly still out, however fast the worker
// would have been. Nothing may wait in the calling thread for the held work.
class PoolHold {
public:
    explicit PoolHold(QThreadPool &pool = *QThreadPool::globalInstance())
        : m_count(pool.maxThreadCount())
    {
        for (int i = 0; i < m_count; ++i) {
            pool.start([state = m_state] {
                state->started.release();
                state->go.acquire();
            });
        }
        // Every thread sits in a holder before the test goes on.
        m_state->started.acquire(m_count);
    }
    ~PoolHold() { release(); }
    PoolHold(const PoolHold &) = delete;
    PoolHold &operator=(const PoolHold &) = delete;

    void release()
    {
        if (!m_released)
            m_state->go.release(m_count);
        m_released = true;
    }

private:
    // Shared with the holders, which may still be leaving acquire() when
    // the hold goes.
    struct State {
        QSemaphore started;
        QSemaphore go;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
    int m_count = 0;
    bool m_released = false;
};

} // namespace testsupport
