#include "platform/InstanceChannel.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

namespace platform {

namespace {

const QByteArray kRaise = "raise\n";
const QByteArray kRaised = "raised\n";
// A Unix socket's path holds at most 107 bytes.
constexpr qsizetype kMaxSocketPath = 100;

} // namespace

QString InstanceChannel::socketPath(const QString &directory)
{
    const QString beside = QDir(directory).filePath(QStringLiteral("moonshelf.socket"));
    if (QFile::encodeName(beside).size() <= kMaxSocketPath)
        return beside;
    // A deep support folder: the user's runtime folder, named after it.
    const QByteArray tag =
        QCryptographicHash::hash(QFile::encodeName(QDir(directory).absolutePath()), QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    return QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation))
        .filePath(QStringLiteral("moonshelf-%1.socket").arg(QString::fromLatin1(tag)));
}

InstanceChannel::InstanceChannel(const QString &directory, QObject *parent)
    : QObject(parent), m_path(socketPath(directory))
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &InstanceChannel::answer);
}

bool InstanceChannel::listen()
{
    QLocalServer::removeServer(m_path);
    return m_server.listen(m_path);
}

void InstanceChannel::answer()
{
    while (QLocalSocket *peer = m_server.nextPendingConnection()) {
        connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        // A peer that never says its line is not kept.
        QTimer::singleShot(std::chrono::seconds(5), peer, &QObject::deleteLater);
        const auto request = [this, peer] {
            if (!peer->canReadLine())
                return;
            const bool raise = peer->readLine(64) == kRaise;
            if (raise)
                peer->write(kRaised);
            peer->disconnectFromServer();
            if (raise)
                emit raiseRequested();
        };
        connect(peer, &QLocalSocket::readyRead, this, request);
        request();
    }
}

bool InstanceChannel::askToRaise(const QString &directory, std::chrono::milliseconds patience)
{
    const QString path = socketPath(directory);
    const QDeadlineTimer deadline(patience);
    while (true) {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime())))) {
            socket.write(kRaise);
            while (!socket.canReadLine() && socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            }
            return socket.canReadLine() && socket.readLine(64) == kRaised;
        }
        // Not listening yet: the running instance may still be starting.
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
}

} // namespace platform
