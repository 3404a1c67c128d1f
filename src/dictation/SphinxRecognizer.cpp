#include "dictation/SphinxRecognizer.h"

#include "dictation/SphinxWorker.h"

namespace dictation {

SphinxRecognizer::SphinxRecognizer(SphinxModel model, qint64 partialIntervalMs, QObject *parent)
    : Recognizer(parent), m_worker(new SphinxWorker(std::move(model), partialIntervalMs))
{
    m_thread.setObjectName(QStringLiteral("speech recognizer"));
    m_worker->moveToThread(&m_thread);
    connect(m_worker, &SphinxWorker::prepared, this, &Recognizer::prepared);
    connect(m_worker, &SphinxWorker::partialResult, this, &Recognizer::partialResult);
    connect(m_worker, &SphinxWorker::finalResult, this, &Recognizer::finalResult);
    connect(m_worker, &SphinxWorker::failed, this, &Recognizer::failed);
    m_thread.start();
}

SphinxRecognizer::~SphinxRecognizer()
{
    m_worker->want(0); // queued audio is skipped, so this waits for one chunk at most
    m_thread.quit();
    m_thread.wait();
    delete m_worker; // its thread has ended, so nothing runs in it any more
}

void SphinxRecognizer::prepare(quint64 session)
{
    QMetaObject::invokeMethod(m_worker, [w = m_worker, session] { w->prepare(session); }, Qt::QueuedConnection);
}

void SphinxRecognizer::begin(quint64 session)
{
    m_worker->want(session);
    QMetaObject::invokeMethod(m_worker, [w = m_worker, session] { w->begin(session); }, Qt::QueuedConnection);
}

void SphinxRecognizer::feed(quint64 session, const QByteArray &samples)
{
    QMetaObject::invokeMethod(
        m_worker, [w = m_worker, session, samples] { w->feed(session, samples); }, Qt::QueuedConnection);
}

void SphinxRecognizer::cancel(quint64 session)
{
    m_worker->unwant(session);
    QMetaObject::invokeMethod(m_worker, [w = m_worker, session] { w->cancel(session); }, Qt::QueuedConnection);
}

} // namespace dictation
