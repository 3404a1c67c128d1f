#include "support/OAuthServerPeer.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace testsupport {

QByteArray OAuthServerPeer::Request::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

QString OAuthServerPeer::Request::field(const QString &name) const
{
    for (const auto &[key, value] : form) {
        if (key == name)
            return value;
    }
    return {};
}

OAuthServerPeer::OAuthServerPeer(QObject *parent) : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server->nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                m_buffers.remove(socket);
                socket->deleteLater();
            });
        }
    });
}

OAuthServerPeer::~OAuthServerPeer() = default;

bool OAuthServerPeer::listen()
{
    return m_server->listen(QHostAddress::LocalHost, 0);
}

QUrl OAuthServerPeer::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server->serverPort()));
}

void OAuthServerPeer::enqueue(const QByteArray &path, Reply reply)
{
    m_queues[path].enqueue(std::move(reply));
}

void OAuthServerPeer::setFallback(const QByteArray &path, Reply reply)
{
    m_fallbacks.insert(path, std::move(reply));
}

void OAuthServerPeer::release()
{
    const auto held = std::exchange(m_held, {});
    for (const auto &[socket, reply] : held) {
        if (socket)
            answer(socket, reply);
    }
}

QList<OAuthServerPeer::Request> OAuthServerPeer::requestsTo(const QByteArray &path) const
{
    QList<Request> out;
    for (const Request &r : m_requests) {
        if (r.path == path)
            out.append(r);
    }
    return out;
}

QList<QPair<QString, QString>> OAuthServerPeer::decodeForm(const QByteArray &body)
{
    QList<QPair<QString, QString>> out;
    if (body.isEmpty())
        return out;
    const auto decode = [](QByteArray part) {
        part.replace('+', ' ');
        return QString::fromUtf8(QByteArray::fromPercentEncoding(part));
    };
    for (const QByteArray &pair : body.split('&')) {
        const qsizetype eq = pair.indexOf('=');
        if (eq < 0)
            out.append({decode(pair), QString()});
        else
            out.append({decode(pair.left(eq)), decode(pair.mid(eq + 1))});
    }
    return out;
}

void OAuthServerPeer::onReadyRead(QTcpSocket *socket)
{
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    // Connections are kept alive: one buffer may hold several requests.
    for (;;) {
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        Request request;
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.path = requestLine.value(1);
        qsizetype contentLength = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = line.left(colon).trimmed();
            const QByteArray value = line.mid(colon + 1).trimmed();
            request.headers.append({name, value});
            if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
                contentLength = value.toLongLong();
        }
        if (buffer.size() < headerEnd + 4 + contentLength)
            return;
        request.rawBody = buffer.mid(headerEnd + 4, contentLength);
        buffer.remove(0, headerEnd + 4 + contentLength);
        request.form = decodeForm(request.rawBody);
        m_requests.append(request);

        Reply reply;
        auto queue = m_queues.find(request.path);
        if (queue != m_queues.end() && !queue->isEmpty())
            reply = queue->dequeue();
        else if (m_fallbacks.contains(request.path))
            reply = m_fallbacks.value(request.path);
        else
            reply = json(404, R"({"error":"unscripted"})");

        emit requestReceived(int(m_requests.size() - 1));
        if (reply.hang)
            continue;
        if (reply.held) {
            m_held.append({QPointer<QTcpSocket>(socket), reply});
            continue;
        }
        answer(socket, reply);
    }
}

void OAuthServerPeer::answer(QTcpSocket *socket, const Reply &reply)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + " Scripted\r\n";
    out += "Content-Type: " + reply.contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    out += "\r\n";
    out += reply.body;
    socket->write(out);
}

} // namespace testsupport
