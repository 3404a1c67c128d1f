#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QQueue>
#include <QString>
#include <QUrl>

class QTcpServer;
class QTcpSocket;

namespace testsupport {

// An OAuth authorization server of our own on 127.0.0.1, speaking HTTP/1.1.
// Each path answers from its queue of scripted replies, then with its
// fallback. Every request is recorded with its raw body and the form as a
// standard form decoder reads it ('+' is a space, '&' splits).
class OAuthServerPeer : public QObject {
    Q_OBJECT
public:
    struct Reply {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
        bool hang = false; // never answer
        bool held = false; // answer when release() is called
    };

    struct Request {
        QByteArray method;
        QByteArray path;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray rawBody;
        QList<QPair<QString, QString>> form;

        QByteArray header(const QByteArray &name) const;
        // The decoded value of a form field; null when absent.
        QString field(const QString &name) const;
    };

    static Reply json(int status, const QByteArray &body) { return Reply{status, body, "application/json", false, false}; }

    explicit OAuthServerPeer(QObject *parent = nullptr);
    ~OAuthServerPeer() override;

    bool listen();
    // http://127.0.0.1:port
    QUrl baseUrl() const;

    void enqueue(const QByteArray &path, Reply reply);
    void setFallback(const QByteArray &path, Reply reply);
    // Sends the replies scripted as held.
    void release();

    const QList<Request> &requests() const { return m_requests; }
    QList<Request> requestsTo(const QByteArray &path) const;
    int heldCount() const { return int(m_held.size()); }

    static QList<QPair<QString, QString>> decodeForm(const QByteArray &body);

signals:
    void requestReceived(int index);

private:
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const Reply &reply);

    QTcpServer *m_server = nullptr;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QHash<QByteArray, QQueue<Reply>> m_queues;
    QHash<QByteArray, Reply> m_fallbacks;
    QList<QPair<QPointer<QTcpSocket>, Reply>> m_held;
    QList<Request> m_requests;
};

} // namespace testsupport
