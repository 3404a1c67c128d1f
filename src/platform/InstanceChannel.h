#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <chrono>

namespace platform {

// How a second start reaches the running instance: a local socket beside
// the instance lock, open to this user only. The second start asks the
// running one to bring its window forward instead of staying unseen.
class InstanceChannel : public QObject {
    Q_OBJECT
public:
    // The running instance's end, for the support folder whose lock it holds.
    explicit InstanceChannel(const QString &directory, QObject *parent = nullptr);

    // Starts answering. Whoever holds the lock owns the socket, so one left
    // behind by a crash is replaced. False (with nothing said) when the
    // socket cannot be made: second starts then only print their line.
    bool listen();

    // A second start: asks the running instance to come forward, trying for
    // at most `patience` (it may still be starting). True once it answered.
    static bool askToRaise(const QString &directory, std::chrono::milliseconds patience);

    // Where the socket of the support folder lives.
    static QString socketPath(const QString &directory);

Q_SIGNALS:
    void raiseRequested();

private:
    void answer();

    QString m_path;
    QLocalServer m_server;
};

} // namespace platform
