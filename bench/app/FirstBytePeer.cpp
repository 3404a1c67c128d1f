#include "FirstBytePeer.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace benchsupport {

namespace {

const QByteArray kReply = "HTTP/1.1 200 OK\r\n"
                          "Content-Type: text/event-stream\r\n"
                          "Connection: close\r\n\r\n"
                          "data: {\"choices\":[{\"index\":0,\"delta\":{\"content\":\"ok\"}}]}\n\n"
                          "data: {\"choices\":[{\"index\":0,\"delta\":{},\"finish_reason\":\"stop\"}]}\n\n"
                          "data: [DONE]\n\n";

// The whole request is in when the headers and Content-Length bytes are.
bool complete(const QByteArray &in)
{
    const qsizetype end = in.indexOf("\r\n\r\n");
    if (end < 0)
        return false;
    qsizetype length = 0;
    for (const QByteArray &line : in.left(end).split('\n')) {
        const QByteArray l = line.trimmed().toLower();
        if (l.startsWith("content-length:"))
            length = l.mid(15).trimmed().toLongLong();
    }
    return in.size() >= end + 4 + length;
}

} // namespace

FirstBytePeer::FirstBytePeer()
{
    m_clock.start();
}

void FirstBytePeer::listen()
{
    m_server = new QTcpServer(this);
    connect(m_server, &QTcpServer::newConnection, this, &FirstBytePeer::onConnection);
    if (m_server->listen(QHostAddress::LocalHost, 0))
        m_port = m_server->serverPort();
}

QUrl FirstBytePeer::endpoint() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/v1/chat/completions").arg(m_port.load()));
}

void FirstBytePeer::resetClock()
{
    m_firstByteNs = -1;
    m_clock.restart();
}

void FirstBytePeer::onConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        auto *buffer = new QByteArray;
        connect(socket, &QObject::destroyed, this, [buffer] { delete buffer; });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            qint64 expected = -1;
            m_firstByteNs.compare_exchange_strong(expected, m_clock.nsecsElapsed());
            buffer->append(socket->readAll());
            if (complete(*buffer)) {
                buffer->clear();
                socket->write(kReply);
                socket->disconnectFromHost();
            }
        });
    }
}

} // namespace benchsupport
