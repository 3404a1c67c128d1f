#include "agent/stream/StreamConnections.h"

#include "agent/stream/CurlLibrary.h"

namespace agent {

namespace {

std::mutex &lockFor(void *self, curl_lock_data data)
{
    auto *locks = static_cast<std::mutex *>(self);
    return locks[static_cast<unsigned>(data) % 8];
}

void lock(CURL *, curl_lock_data data, curl_lock_access, void *self)
{
    lockFor(self, data).lock();
}

void unlock(CURL *, curl_lock_data data, void *self)
{
    lockFor(self, data).unlock();
}

} // namespace

StreamConnections::StreamConnections() = default;

CURLSH *StreamConnections::handle()
{
    std::call_once(m_made, [this] {
        const CurlLibrary &lib = curlLibrary();
        if (!lib.loaded || !(m_share = lib.curl_share_init()))
            return;
        lib.curl_share_setopt(m_share, CURLSHOPT_LOCKFUNC, lock);
        lib.curl_share_setopt(m_share, CURLSHOPT_UNLOCKFUNC, unlock);
        lib.curl_share_setopt(m_share, CURLSHOPT_USERDATA, static_cast<void *>(m_locks));
        lib.curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
        lib.curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        lib.curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    });
    return m_share;
}

void StreamConnections::beginFinishing()
{
    const std::lock_guard lock(m_finishingMutex);
    ++m_finishing;
}

void StreamConnections::endFinishing()
{
    {
        const std::lock_guard lock(m_finishingMutex);
        --m_finishing;
    }
    m_finished.notify_all();
}

bool StreamConnections::waitForFinished(std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_finishingMutex);
    return m_finished.wait_for(lock, limit, [this] { return m_finishing == 0; });
}

StreamConnections::~StreamConnections()
{
    if (m_share)
        curlLibrary().curl_share_cleanup(m_share);
}

} // namespace agent
