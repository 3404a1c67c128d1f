// A second start reaching the running instance through its socket.

#include "platform/InstanceChannel.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentRun>

using platform::InstanceChannel;

namespace {

// The second start blocks as it asks, so it asks from another thread while
// this one's event loop lets the running instance answer.
bool askFromAnotherThread(const QString &directory, std::chrono::milliseconds patience)
{
    QFuture<bool> asked =
        QtConcurrent::run([directory, patience] { return InstanceChannel::askToRaise(directory, patience); });
    while (!asked.isFinished())
        QTest::qWait(10);
    return asked.result();
}

} // namespace

class TestInstanceChannel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void handover_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("answered");
        QTest::newRow("running instance comes forward") << "listening" << true;
        QTest::newRow("socket left by a crash is replaced") << "stale" << true;
        QTest::newRow("deep support folder uses the runtime folder") << "deep" << true;
        QTest::newRow("nobody listening: no handover") << "none" << false;
    }

    void handover()
    {
        QFETCH(QString, kind);
        QFETCH(bool, answered);
        QTemporaryDir tmp;
        QString directory = tmp.path();
        if (kind == "deep") {
            directory = tmp.filePath(QString(60, QLatin1Char('d')) + QLatin1Char('/') + QString(60, QLatin1Char('e')));
            QVERIFY(QDir().mkpath(directory));
            QVERIFY(!InstanceChannel::socketPath(directory).startsWith(directory));
        } else {
            QCOMPARE(InstanceChannel::socketPath(directory), QDir(directory).filePath("moonshelf.socket"));
        }
        if (kind == "stale") {
            QFile left(InstanceChannel::socketPath(directory));
            QVERIFY(left.open(QIODevice::WriteOnly));
        }

        InstanceChannel running(directory);
        QSignalSpy raised(&running, &InstanceChannel::raiseRequested);
        if (kind != "none")
            QVERIFY(running.listen());
        QCOMPARE(askFromAnotherThread(directory, std::chrono::milliseconds(answered ? 3000 : 300)), answered);
        QCOMPARE(raised.size(), answered ? 1 : 0);
        if (kind != "none") // only this user may connect
            QCOMPARE(QFile::permissions(InstanceChannel::socketPath(directory)) & 0077, QFile::Permissions());
    }

    // Anything but the one request is answered with nothing and raises nothing.
    void strangerIsIgnored()
    {
        QTemporaryDir tmp;
        InstanceChannel running(tmp.path());
        QSignalSpy raised(&running, &InstanceChannel::raiseRequested);
        QVERIFY(running.listen());
        QLocalSocket stranger;
        stranger.connectToServer(InstanceChannel::socketPath(tmp.path()));
        QVERIFY(stranger.waitForConnected(1000));
        stranger.write("quit\n");
        QTRY_COMPARE(stranger.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(stranger.readAll(), QByteArray());
        QCOMPARE(raised.size(), 0);
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestInstanceChannel)
#include "tst_instance_channel.moc"
