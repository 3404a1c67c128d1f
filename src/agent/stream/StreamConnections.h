#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

typedef void CURLSH;

namespace agent {

// The connection cache that every chat stream of one client draws from, so
// turn after turn goes over the same connection. Each transfer holds a
// reference, so the cache outlives the client while a transfer still ends.
class StreamConnections {
public:
    StreamConnections();
    ~StreamConnections();
    StreamConnections(const StreamConnections &) = delete;
    StreamConnections &operator=(const StreamConnections &) = delete;

    // Made on first use, so a client that never streams never opens libcurl.
    CURLSH *handle();

    // A transfer whose turn is whole still reads its reply to the end, and
    // only then gives its connection back. The next turn may start before
    // that (the turn is told at once), so it waits a moment for such
    // transfers rather than open a connection of its own.
    void beginFinishing();
    void endFinishing();
    // At most `limit`; true when none was finishing by then.
    bool waitForFinished(std::chrono::milliseconds limit);

private:
    std::once_flag m_made;
    CURLSH *m_share = nullptr;
    std::mutex m_locks[8]; // one per kind of shared data
    std::mutex m_finishingMutex;
    std::condition_variable m_finished;
    int m_finishing = 0;
};

} // namespace agent
