#include "agent/stream/StreamConnections.h"

#include <curl/curl.h>

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

void StreamConnections::initLibrary()
{
    // Thread-safe in this libcurl; the once keeps the cost to the first call.
    static const bool done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    (void)done;
}

StreamConnections::StreamConnections()
{
    initLibrary();
    m_share = curl_share_init();
    if (!m_share)
        return;
    curl_share_setopt(m_share, CURLSHOPT_LOCKFUNC, lock);
    curl_share_setopt(m_share, CURLSHOPT_UNLOCKFUNC, unlock);
    curl_share_setopt(m_share, CURLSHOPT_USERDATA, static_cast<void *>(m_locks));
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
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
        curl_share_cleanup(m_share);
}

} // namespace agent
