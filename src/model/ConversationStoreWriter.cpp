#include "model/ConversationStoreWriter.h"

#include <QMutexLocker>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace model {

ConversationStoreWriter::ConversationStoreWriter(QString filePath, StoreStreamWriter writer, bool inBackground)
    : m_filePath(std::move(filePath)), m_writer(std::move(writer)), m_inBackground(inBackground)
{
}

ConversationStoreWriter::~ConversationStoreWriter()
{
    if (!m_thread)
        return;
    {
        QMutexLocker lock(&m_mutex);
        m_stop = true;
        m_wake.wakeAll();
    }
    // The thread writes what is pending before it sees the stop.
    m_thread->wait();
}

void ConversationStoreWriter::submit(State state)
{
    if (!m_inBackground) {
        write(state);
        return;
    }
    QMutexLocker lock(&m_mutex);
    m_pending = std::move(state);
    if (!m_thread) {
        m_thread.reset(QThread::create([this] { run(); }));
        m_thread->setObjectName(QStringLiteral("conversation store writer"));
        m_thread->start();
    }
    m_wake.wakeAll();
}

void ConversationStoreWriter::flush()
{
    QMutexLocker lock(&m_mutex);
    while (m_pending || m_busy)
        m_idle.wait(&m_mutex);
}

void ConversationStoreWriter::run()
{
    QMutexLocker lock(&m_mutex);
    for (;;) {
        while (!m_pending && !m_stop)
            m_wake.wait(&m_mutex);
        if (!m_pending)
            return; // stopping, and everything is written
        const State state = std::move(*m_pending);
        m_pending.reset();
        m_busy = true;
        lock.unlock();
        write(state);
        lock.relock();
        m_busy = false;
        if (!m_pending)
            m_idle.wakeAll();
    }
}

void ConversationStoreWriter::write(const State &state)
{
    // Memory keeps the change after a failed write; the next save writes
    // everything again.
    const QString failure = m_writer(m_filePath, [this, &state](const platform::ByteSink &sink) {
        return m_encoder.encodeTo(state.conversations, state.selectedID, sink);
    });
    if (m_onResult)
        m_onResult(failure);
#if defined(__GLIBC__)
    // Each write encodes the sessions not seen before into buffers as large
    // as them, here and in the threads that encode them; the allocator
    // would keep their pages after they are freed.
    malloc_trim(0);
#endif
}

} // namespace model
