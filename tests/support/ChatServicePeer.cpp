#include "support/ChatServicePeer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace testsupport {

struct ChatServicePeer::Connection {
    QTcpSocket *socket = nullptr;
    QByteArray buffer;
    bool responding = false;
};

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

enum class After { Continue, Stall, Close, Finish };

} // namespace

struct ChatServicePeer::Write {
    QByteArray bytes;
    After after = After::Continue;
};

QJsonObject ChatServicePeer::Request::json() const
{
    return QJsonDocument::fromJson(body).object();
}

ChatServicePeer::ChatServicePeer(QObject *parent) : QObject(parent)
{
    m_fallback = errorReply(500, R"({"error":{"message":"no scripted reply"}})");
}

ChatServicePeer::~ChatServicePeer()
{
    for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it)
        delete it.value();
}

bool ChatServicePeer::listen()
{
    if (!m_server) {
        m_server = new QTcpServer(this);
        connect(m_server, &QTcpServer::newConnection, this, &ChatServicePeer::onNewConnection);
    }
    if (!m_server->listen(QHostAddress::LocalHost, m_port))
        return false;
    m_port = m_server->serverPort();
    return true;
}

QUrl ChatServicePeer::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port));
}

QUrl ChatServicePeer::endpoint() const
{
    QUrl url = baseUrl();
    url.setPath(QStringLiteral("/v1/chat/completions"));
    return url;
}

void ChatServicePeer::enqueue(const Reply &reply)
{
    QMutexLocker lock(&m_mutex);
    m_script.append(reply);
}

void ChatServicePeer::enqueue(const QList<Reply> &replies)
{
    QMutexLocker lock(&m_mutex);
    m_script.append(replies);
}

void ChatServicePeer::setFallback(const Reply &reply)
{
    QMutexLocker lock(&m_mutex);
    m_fallback = reply;
}

int ChatServicePeer::pendingReplies() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_script.size());
}

QList<ChatServicePeer::Request> ChatServicePeer::requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

int ChatServicePeer::requestCount() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_requests.size());
}

int ChatServicePeer::connectionCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_accepted;
}

void ChatServicePeer::refuseConnections()
{
    if (m_server)
        m_server->close();
}

void ChatServicePeer::releaseStalls()
{
    for (const Stall &stall : std::as_const(m_stalled)) {
        if (stall.socket)
            stall.socket->abort();
    }
    m_stalled.clear();
}

void ChatServicePeer::resumeStalls()
{
    const QList<Stall> stalled = std::exchange(m_stalled, {});
    for (const Stall &stall : stalled)
        sendNext(stall.socket, stall.writes, stall.next, stall.delayMs);
}

void ChatServicePeer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        // Small writes go out at once; Nagle plus delayed ACKs would add 40 ms.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto *connection = new Connection{socket, {}, false};
        {
            QMutexLocker lock(&m_mutex);
            ++m_accepted;
        }
        m_connections.insert(socket, connection);
        connect(socket, &QTcpSocket::readyRead, this, [this, connection] { onReadyRead(connection); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            delete m_connections.take(socket);
            socket->deleteLater();
        });
    }
}

void ChatServicePeer::onReadyRead(Connection *connection)
{
    connection->buffer += connection->socket->readAll();
    // A TLS hello is not HTTP: answered as a plain server does.
    if (connection->buffer.startsWith('\x16') && !connection->responding) {
        connection->responding = true;
        connection->socket->write("HTTP/1.1 400 Bad Request\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
        connection->socket->disconnectFromHost();
        return;
    }
    while (!connection->responding) {
        const qsizetype headEnd = connection->buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        Request request;
        const QList<QByteArray> lines = connection->buffer.left(headEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.path = requestLine.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines.at(i).indexOf(':');
            if (colon > 0)
                request.headers.insert(lines.at(i).left(colon).trimmed().toLower(), lines.at(i).mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length", "0").toLongLong();
        if (connection->buffer.size() < headEnd + 4 + length)
            return;
        request.body = connection->buffer.mid(headEnd + 4, length);
        connection->buffer.remove(0, headEnd + 4 + length);

        Reply reply;
        int index = 0;
        {
            QMutexLocker lock(&m_mutex);
            m_requests.append(request);
            index = int(m_requests.size()) - 1;
            reply = m_script.isEmpty() ? m_fallback : m_script.takeFirst();
        }
        emit requestReceived(index);
        respond(connection, reply);
    }
}

void ChatServicePeer::respond(Connection *connection, const Reply &reply)
{
    connection->responding = true;
    const bool noBody = reply.status == 204 || reply.status == 304;

    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    if (!noBody) {
        head += "Content-Type: " + reply.contentType + "\r\n";
        switch (reply.framing) {
        case Framing::Chunked: head += "Transfer-Encoding: chunked\r\n"; break;
        case Framing::ContentLength: head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n"; break;
        case Framing::CloseDelimited: head += "Connection: close\r\n"; break;
        }
    }
    for (const auto &[name, value] : reply.headers)
        head += name + ": " + value + "\r\n";
    head += "\r\n";

    QList<Write> writes{{head, After::Continue}};
    if (!noBody) {
        const QByteArray &body = reply.body;
        QList<qsizetype> cuts = reply.splitAt;
        if (reply.pieceSize > 0) {
            for (qsizetype at = reply.pieceSize; at < body.size(); at += reply.pieceSize)
                cuts.append(at);
        }
        if (reply.stallAfter >= 0)
            cuts.append(reply.stallAfter);
        if (reply.closeAfter >= 0)
            cuts.append(reply.closeAfter);
        cuts.append(body.size());
        std::sort(cuts.begin(), cuts.end());
        cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());

        qsizetype from = 0;
        for (const qsizetype cut : std::as_const(cuts)) {
            if (cut < from || cut > body.size())
                continue;
            const QByteArray piece = body.mid(from, cut - from);
            Write write;
            if (!piece.isEmpty()) {
                write.bytes = reply.framing == Framing::Chunked
                    ? QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n"
                    : piece;
            }
            from = cut;
            if (cut == reply.stallAfter)
                write.after = After::Stall;
            else if (cut == reply.closeAfter)
                write.after = After::Close;
            writes.append(write);
            if (write.after == After::Close)
                break;
        }
        // The end of the body (also after a stall, for resumeStalls()).
        if (writes.last().after != After::Close) {
            if (reply.framing == Framing::Chunked)
                writes.append({"0\r\n\r\n", After::Finish});
            else
                writes.append({QByteArray(), reply.framing == Framing::CloseDelimited ? After::Close : After::Finish});
        }
    } else {
        writes.last().after = After::Finish;
    }

    sendNext(connection->socket, std::make_shared<const QList<Write>>(std::move(writes)), 0, reply.pieceDelayMs);
}

void ChatServicePeer::sendNext(QPointer<QTcpSocket> socket, std::shared_ptr<const QList<Write>> writes,
                               qsizetype index, int delayMs)
{
    if (!socket || index >= writes->size())
        return;
    const Write &write = writes->at(index);
    if (!write.bytes.isEmpty()) {
        socket->write(write.bytes);
        socket->flush();
    }
    switch (write.after) {
    case After::Continue:
        QTimer::singleShot(delayMs, socket, [this, socket, writes, index, delayMs] {
            sendNext(socket, writes, index + 1, delayMs);
        });
        return;
    case After::Stall:
        m_stalled.append({socket, writes, index + 1, delayMs});
        emit stalled();
        return;
    case After::Close:
        socket->disconnectFromHost();
        return;
    case After::Finish:
        if (Connection *connection = m_connections.value(socket.data())) {
            connection->responding = false;
            if (!connection->buffer.isEmpty() || socket->bytesAvailable() > 0)
                QTimer::singleShot(0, socket, [this, connection] { onReadyRead(connection); });
        }
        return;
    }
}

QByteArray ChatServicePeer::event(const QJsonObject &chunk, const QByteArray &lineEnd)
{
    return "data: " + QJsonDocument(chunk).toJson(QJsonDocument::Compact) + lineEnd + lineEnd;
}

namespace {

// JSON as a service writes it that escapes every character beyond ASCII:
// a lone half of a surrogate pair is written as its own escape.
void writeEscaped(const QJsonValue &value, QByteArray &out)
{
    switch (value.type()) {
    case QJsonValue::Object: {
        out += '{';
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (it != object.begin())
                out += ',';
            writeEscaped(it.key(), out);
            out += ':';
            writeEscaped(it.value(), out);
        }
        out += '}';
        break;
    }
    case QJsonValue::Array: {
        out += '[';
        const QJsonArray array = value.toArray();
        for (qsizetype i = 0; i < array.size(); ++i) {
            if (i > 0)
                out += ',';
            writeEscaped(array.at(i), out);
        }
        out += ']';
        break;
    }
    case QJsonValue::String: {
        out += '"';
        for (const QChar c : value.toString()) {
            if (c == u'"' || c == u'\\')
                out += '\\' + QByteArray(1, char(c.unicode()));
            else if (c.unicode() >= 0x20 && c.unicode() < 0x7f)
                out += char(c.unicode());
            else
                out += "\\u" + QByteArray::number(c.unicode(), 16).rightJustified(4, '0');
        }
        out += '"';
        break;
    }
    default: // numbers, true, false, null
        out += QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).chopped(1).sliced(1);
        break;
    }
}

} // namespace

QByteArray ChatServicePeer::escapedEvent(const QJsonObject &chunk)
{
    QByteArray json;
    writeEscaped(chunk, json);
    return "data: " + json + "\n\n";
}

QByteArray ChatServicePeer::doneEvent(const QByteArray &lineEnd)
{
    return "data: [DONE]" + lineEnd + lineEnd;
}

QJsonObject ChatServicePeer::contentChunk(const QString &text)
{
    return QJsonObject{{"choices", QJsonArray{QJsonObject{{"index", 0}, {"delta", QJsonObject{{"content", text}}}}}}};
}

QJsonObject ChatServicePeer::finishChunk(const QString &reason)
{
    return QJsonObject{
        {"choices", QJsonArray{QJsonObject{{"index", 0}, {"delta", QJsonObject{}}, {"finish_reason", reason}}}}};
}

QJsonObject ChatServicePeer::toolCallChunk(int index, const QString &id, const QString &name, const QString &arguments)
{
    QJsonObject function;
    if (!name.isNull())
        function.insert("name", name);
    if (!arguments.isNull())
        function.insert("arguments", arguments);
    QJsonObject call{{"index", index}, {"function", function}};
    if (!id.isNull()) {
        call.insert("id", id);
        call.insert("type", "function");
    }
    return QJsonObject{
        {"choices", QJsonArray{QJsonObject{{"index", 0}, {"delta", QJsonObject{{"tool_calls", QJsonArray{call}}}}}}}};
}

ChatServicePeer::Reply ChatServicePeer::sseReply(const QByteArray &body)
{
    Reply reply;
    reply.body = body;
    return reply;
}

ChatServicePeer::Reply ChatServicePeer::textReply(const QString &text, int fragments)
{
    QByteArray body;
    const qsizetype n = std::max(1, fragments);
    const qsizetype step = std::max<qsizetype>(1, (text.size() + n - 1) / n);
    for (qsizetype at = 0; at < text.size(); at += step)
        body += event(contentChunk(text.mid(at, step)));
    body += event(finishChunk(QStringLiteral("stop")));
    body += doneEvent();
    return sseReply(body);
}

ChatServicePeer::Reply ChatServicePeer::toolCallReply(const QList<ToolCall> &calls, const QString &text)
{
    QByteArray body;
    if (!text.isEmpty())
        body += event(contentChunk(text));
    for (int i = 0; i < calls.size(); ++i) {
        body += event(toolCallChunk(i, calls.at(i).id, calls.at(i).name, QStringLiteral("")));
        body += event(toolCallChunk(i, QString(), QString(), calls.at(i).arguments));
    }
    body += event(finishChunk(QStringLiteral("tool_calls")));
    body += doneEvent();
    return sseReply(body);
}

ChatServicePeer::Reply ChatServicePeer::errorReply(int status, const QByteArray &body)
{
    Reply reply;
    reply.status = status;
    reply.contentType = "application/json";
    reply.body = body;
    reply.framing = Framing::ContentLength;
    return reply;
}

} // namespace testsupport
