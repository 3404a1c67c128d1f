#pragma once

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

    CURLSH *handle() const { return m_share; }

    // libcurl's global set-up, once per process, before any handle.
    static void initLibrary();

private:
    CURLSH *m_share = nullptr;
    std::mutex m_locks[8]; // one per kind of shared data
};

} // namespace agent
