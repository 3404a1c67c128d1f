#pragma once

#include <QByteArray>
#include <QColor>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QStringList>
#include <QTcpServer>
#include <QUrl>

#include <optional>

class QTcpSocket;

namespace testsupport {

// A small web server on 127.0.0.1 that serves wallpaper images and the ways
// such a server goes wrong: error codes, a 304 with a body, HTML instead of
// an image, a redirect, a reply held until the test releases it, a body
// larger than any image should be, and an image whose header claims a
// size nobody can decode. Speaks just enough HTTP/1.1 (one request per
// connection) for Qt's network stack.
class WebImagePeer : public QObject {
    Q_OBJECT

public:
    struct Reply {
        int status = 200;
        QByteArray contentType = "image/jpeg";
        QByteArray body;
        QByteArray location;        // sent as Location when set
        bool held = false;          // sent only once release() is called
        qint64 streamedBytes = 0;   // instead of body: this many filler bytes, no Content-Length
        qint64 declaredLength = -1; // Content-Length to claim when not body's own (a cut-off reply)
    };

    explicit WebImagePeer(QObject *parent = nullptr);

    // Serves reply for path (which starts with '/'); any other path is a 404.
    void route(const QString &path, const Reply &reply);
    // Serves reply for every path without a route of its own.
    void routeOthers(const Reply &reply) { m_others = reply; }
    QUrl url(const QString &path) const;
    QUrl base() const;

    // Sends the held replies of path.
    void release(const QString &path);
    int heldCount(const QString &path) const;

    // Paths asked for, in order.
    QStringList requests() const { return m_requests; }

    // Real image bodies.
    static QByteArray imageBody(const char *format, QSize size, QColor color);
    // A valid PNG whose header claims width x height pixels.
    static QByteArray pngBomb(quint32 width, quint32 height);

signals:
    void requested(const QString &path);

private:
    void onConnection();
    void onReadable(QTcpSocket *socket);
    void send(QTcpSocket *socket, const Reply &reply);

    QTcpServer m_server;
    QHash<QString, Reply> m_routes;
    std::optional<Reply> m_others;
    QStringList m_requests;
    QHash<QString, QList<QPointer<QTcpSocket>>> m_held;
};

} // namespace testsupport
