#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <memory>
#include <optional>

class QTcpServer;
class QTcpSocket;

namespace testsupport {

// A chat-completions service of our own on 127.0.0.1, speaking HTTP/1.1.
// Each request takes the next scripted reply; the reply says how its body is
// framed and cut into writes, and whether the peer stalls or hangs up part
// way. Every request is recorded so tests can assert what was sent.
//
// Scripting and reading the record are thread-safe, so a benchmark may run
// the peer in a thread of its own.
class ChatServicePeer : public QObject {
    Q_OBJECT
public:
    enum class Framing { Chunked, ContentLength, CloseDelimited };

    struct Reply {
        int status = 200;
        QByteArray contentType = "text/event-stream";
        QByteArray body;
        Framing framing = Framing::Chunked;
        // Body bytes per write (0: one write); each write goes out in its own
        // event-loop turn, pieceDelayMs apart.
        qsizetype pieceSize = 0;
        QList<qsizetype> splitAt; // extra write boundaries, as body offsets
        int pieceDelayMs = 0;
        qsizetype stallAfter = -1; // after this many body bytes, go silent and keep the connection
        qsizetype closeAfter = -1; // after this many body bytes, close the connection
        QList<std::pair<QByteArray, QByteArray>> headers; // extra response headers
    };

    struct Request {
        QByteArray method;
        QByteArray path;
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
        QJsonObject json() const;
    };

    struct ToolCall {
        QString id;
        QString name;
        QString arguments;
    };

    explicit ChatServicePeer(QObject *parent = nullptr);
    ~ChatServicePeer() override;

    // Listens on 127.0.0.1 at a free port.
    bool listen();
    quint16 port() const { return m_port; }
    QUrl baseUrl() const;
    QUrl endpoint() const; // baseUrl + /v1/chat/completions

    void enqueue(const Reply &reply);
    void enqueue(const QList<Reply> &replies);
    // Given when the script is used up (default: a 500 that says so).
    void setFallback(const Reply &reply);
    int pendingReplies() const;

    QList<Request> requests() const;
    int requestCount() const;
    // Connections accepted so far.
    int connectionCount() const;

    // Stops listening but keeps the port number, so a connection is refused.
    void refuseConnections();
    // Closes every connection that is stalled.
    void releaseStalls();
    // Lets every stalled reply send the rest of its body.
    void resumeStalls();

    // SSE building blocks.
    static QByteArray event(const QJsonObject &chunk, const QByteArray &lineEnd = "\n");
    // The chunk as a service writes it that escapes every character beyond
    // ASCII as \uXXXX: a string cut between the halves of a surrogate pair
    // carries its half as an escape of its own.
    static QByteArray escapedEvent(const QJsonObject &chunk);
    static QByteArray doneEvent(const QByteArray &lineEnd = "\n");
    static QJsonObject contentChunk(const QString &text);
    static QJsonObject finishChunk(const QString &reason);
    static QJsonObject toolCallChunk(int index, const QString &id, const QString &name, const QString &arguments);

    // A streamed text reply in `fragments` content chunks, then finish
    // reason "stop" and [DONE].
    static Reply textReply(const QString &text, int fragments = 1);
    // An optional text, then each call in two chunks (name first, then the
    // arguments), then finish reason "tool_calls" and [DONE].
    static Reply toolCallReply(const QList<ToolCall> &calls, const QString &text = {});
    static Reply sseReply(const QByteArray &body);
    static Reply errorReply(int status, const QByteArray &body);

signals:
    // Emitted in the peer's thread when a request has been read whole.
    void requestReceived(int index);
    // Emitted when a reply goes silent at its stall point.
    void stalled();

private:
    struct Connection;
    void onNewConnection();
    void onReadyRead(Connection *connection);
    void respond(Connection *connection, const Reply &reply);
    struct Write;
    void sendNext(QPointer<QTcpSocket> socket, std::shared_ptr<const QList<Write>> writes, qsizetype index,
                  int delayMs);

    QTcpServer *m_server = nullptr;
    quint16 m_port = 0;
    int m_accepted = 0;
    mutable QMutex m_mutex;
    QList<Reply> m_script;
    Reply m_fallback;
    QList<Request> m_requests;
    QHash<QTcpSocket *, Connection *> m_connections;
    struct Stall {
        QPointer<QTcpSocket> socket;
        std::shared_ptr<const QList<Write>> writes;
        qsizetype next = 0;
        int delayMs = 0;
    };
    QList<Stall> m_stalled;
};

} // namespace testsupport
