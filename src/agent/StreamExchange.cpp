#include "agent/StreamExchange.h"

#include "agent/RunCancellation.h"

#include <QNetworkReply>
#include <QTimer>

namespace agent {

namespace {

// Bytes handed to the assembler per event-loop turn: small enough that one
// turn stays well under a frame, large enough that loopback is the limit.
constexpr qint64 kSliceBytes = 32 * 1024;
// How long a finished turn's reply may take to reach its own end.
constexpr int kDrainMilliseconds = 5'000;

QString joinedLines(const QByteArray &body)
{
    QByteArray joined = body;
    joined.replace('\r', QByteArray()).replace('\n', QByteArray());
    return QString::fromUtf8(joined);
}

} // namespace

StreamExchange::StreamExchange(QNetworkReply *reply, OVUClient::DeltaHandler onDelta,
                               std::shared_ptr<RunCancellation> cancellation, QObject *parent)
    : QObject(parent), m_reply(reply), m_onDelta(std::move(onDelta)), m_cancellation(std::move(cancellation))
{
    reply->setParent(this);
    connect(reply, &QNetworkReply::readyRead, this, &StreamExchange::pump);
    connect(reply, &QNetworkReply::finished, this, &StreamExchange::onFinished);
    if (m_cancellation)
        connect(m_cancellation.get(), &RunCancellation::cancelled, this, &StreamExchange::cancel);
}

StreamExchange::~StreamExchange()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        // We may be going away inside one of the reply's own signals: let
        // its manager delete it later instead of deleting it under itself.
        m_reply->setParent(m_reply->manager());
        m_reply->deleteLater();
    }
    if (!m_completed)
        m_completion.set(TurnResult::failure(OVUClientError::cancelled()));
}

void StreamExchange::schedulePump()
{
    if (m_pumpScheduled)
        return;
    m_pumpScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_pumpScheduled = false;
        pump();
    });
}

void StreamExchange::pump()
{
    if (m_completed || !m_reply)
        return;
    if (m_status == 0) {
        const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (status.isValid())
            m_status = status.toInt();
    }
    if (m_status >= 400) {
        // Error bodies are small and only shown whole.
        m_errorBody += m_reply->readAll();
    } else if (m_reply->isReadable()) {
        const QByteArray slice = m_reply->read(kSliceBytes);
        if (!deliver(m_assembler.feed(slice)))
            return;
        if (m_assembler.failure() || m_assembler.isDone()) {
            // Nothing after the end mark or an error object is read.
            return complete(m_assembler.finish());
        }
    }
    if (m_reply->isReadable() && m_reply->bytesAvailable() > 0)
        schedulePump();
    else if (m_replyFinished)
        conclude();
}

bool StreamExchange::deliver(const QStringList &fragments)
{
    const QPointer<StreamExchange> alive(this);
    for (const QString &fragment : fragments) {
        if (m_cancellation && m_cancellation->isCancelled()) {
            cancel();
            return false;
        }
        if (m_onDelta)
            m_onDelta(fragment);
        if (!alive || m_completed) // the handler stopped the run or destroyed its client
            return false;
    }
    return true;
}

void StreamExchange::onFinished()
{
    m_replyFinished = true;
    if (!m_pumpScheduled)
        pump();
}

void StreamExchange::conclude()
{
    const QNetworkReply::NetworkError error = m_reply->error();
    if (m_status >= 400)
        return complete(TurnResult::failure(OVUClientError::httpStatus(m_status, joinedLines(m_errorBody))));
    // A last line without its line break is a line too.
    if (m_status > 0 && !deliver(m_assembler.endOfBody()))
        return;
    if (error != QNetworkReply::NoError) {
        // A turn that said it was complete, or carried an error, before the
        // connection broke is reported as such.
        if (m_status > 0 && (m_assembler.isComplete() || m_assembler.failure()))
            return complete(m_assembler.finish());
        if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
            return complete(TurnResult::failure(OVUClientError::timedOut()));
        return complete(TurnResult::failure(OVUClientError::transport(m_reply->errorString())));
    }
    if (m_status == 0)
        return complete(TurnResult::failure(OVUClientError::invalidResponse()));
    complete(m_assembler.finish());
}

void StreamExchange::cancel()
{
    complete(TurnResult::failure(OVUClientError::cancelled()));
}

void StreamExchange::complete(TurnResult result)
{
    if (m_completed)
        return;
    m_completed = true;
    const bool keepConnection = result.ok();
    m_completion.set(std::move(result));
    if (m_cancellation)
        m_cancellation->disconnect(this);
    if (!m_reply || !m_reply->isRunning()) {
        deleteLater();
        return;
    }
    m_reply->disconnect(this);
    if (!keepConnection) {
        m_reply->abort();
        deleteLater();
        return;
    }
    // The turn is whole; let the reply end by itself so its connection can
    // carry the next turn, but not for long.
    connect(m_reply, &QNetworkReply::readyRead, this, [this] { m_reply->skip(m_reply->bytesAvailable()); });
    connect(m_reply, &QNetworkReply::finished, this, &QObject::deleteLater);
    QTimer::singleShot(kDrainMilliseconds, this, [this] {
        if (m_reply)
            m_reply->abort();
        deleteLater();
    });
}

} // namespace agent
