#include "support/WebImagePeer.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QTcpSocket>
#include <QtEndian>

#include <memory>

namespace testsupport {

namespace {

QByteArray reasonFor(int status)
{
    switch (status) {
    case 200: return "OK";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char ch : data) {
        crc ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

} // namespace

WebImagePeer::WebImagePeer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &WebImagePeer::onConnection);
    m_server.listen(QHostAddress::LocalHost, 0);
}

void WebImagePeer::route(const QString &path, const Reply &reply)
{
    m_routes.insert(path, reply);
}

QUrl WebImagePeer::base() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()));
}

QUrl WebImagePeer::url(const QString &path) const
{
    return QUrl(base().toString() + path);
}

void WebImagePeer::release(const QString &path)
{
    const QList<QPointer<QTcpSocket>> sockets = m_held.take(path);
    for (const QPointer<QTcpSocket> &socket : sockets) {
        if (socket)
            send(socket, m_routes.value(path));
    }
}

int WebImagePeer::heldCount(const QString &path) const
{
    return int(m_held.value(path).size());
}

void WebImagePeer::onConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadable(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void WebImagePeer::onReadable(QTcpSocket *socket)
{
    QByteArray buffer = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", buffer);
    if (!buffer.contains("\r\n\r\n"))
        return;
    socket->setProperty("request", QByteArray());
    const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
    const QString path = requestLine.size() >= 2 ? QString::fromLatin1(requestLine.at(1)) : QString();
    m_requests.append(path);
    emit requested(path);

    const auto it = m_routes.constFind(path);
    if (it == m_routes.constEnd() && m_others) {
        send(socket, *m_others);
        return;
    }
    if (it == m_routes.constEnd()) {
        send(socket, Reply{404, "text/plain", "no such image", {}, false, 0});
        return;
    }
    if (it->held) {
        m_held[path].append(socket);
        return;
    }
    send(socket, *it);
}

void WebImagePeer::send(QTcpSocket *socket, const Reply &reply)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonFor(reply.status) + "\r\n";
    head += "Content-Type: " + reply.contentType + "\r\n";
    head += "Connection: close\r\n";
    if (!reply.location.isEmpty())
        head += "Location: " + reply.location + "\r\n";
    if (reply.streamedBytes == 0) {
        const qint64 length = reply.declaredLength >= 0 ? reply.declaredLength : reply.body.size();
        head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    }
    head += "\r\n";
    socket->write(head);
    if (reply.streamedBytes > 0) {
        // No length: the body ends when the connection closes, so only
        // counting while reading can stop it. Fed as the client drains it.
        auto remaining = std::make_shared<qint64>(reply.streamedBytes);
        const auto feed = [socket, remaining] {
            static const QByteArray chunk(256 * 1024, 'x');
            while (*remaining > 0 && socket->bytesToWrite() < 2 * chunk.size()) {
                socket->write(chunk.left(int(qMin<qint64>(chunk.size(), *remaining))));
                *remaining -= chunk.size();
            }
            if (*remaining <= 0 && socket->bytesToWrite() == 0)
                socket->disconnectFromHost();
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, feed);
        feed();
        return;
    }
    socket->write(reply.body);
    socket->disconnectFromHost();
}

QByteArray WebImagePeer::imageBody(const char *format, QSize size, QColor color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    // A second colour in one corner, so scaled or rotated copies are told apart.
    for (int y = 0; y < size.height() / 4; ++y)
        for (int x = 0; x < size.width() / 4; ++x)
            image.setPixelColor(x, y, Qt::white);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(95);
    writer.write(image);
    return bytes;
}

QByteArray WebImagePeer::pngBomb(quint32 width, quint32 height)
{
    QByteArray png = imageBody("png", QSize(4, 4), Qt::black);
    // IHDR: 8 signature bytes, 4 length, 4 type, then width and height.
    qToBigEndian(width, png.data() + 16);
    qToBigEndian(height, png.data() + 20);
    const quint32 crc = crc32(png.mid(12, 17));
    qToBigEndian(crc, png.data() + 29);
    return png;
}

} // namespace testsupport
