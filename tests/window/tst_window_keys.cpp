// The real moonshelf executable on an X server of its own (Xvfb, its display
// chosen by the server), driven by keys sent through X as a person would
// type them, against the loopback chat service. What the keys did is read
// from what the app stores and from what it sends to the service.

#include "support/ChatServicePeer.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

using testsupport::ChatServicePeer;

QString dataFile(const QString &name)
{
    return QDir(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/com.ovu.QirvMac")).filePath(name);
}

QJsonObject storedSessions()
{
    QFile f(dataFile(QStringLiteral("conversations.json")));
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
}

QString defaultsValue(const char *key, const QString &fallback = {})
{
    const QSettings defaults(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/com.ovu/QirvMac.conf"),
                             QSettings::IniFormat);
    return defaults.value(QLatin1String(key), fallback).toString();
}

} // namespace

class TestWindowKeys : public QObject {
    Q_OBJECT

    QProcess m_server;
    QProcess m_app;
    QString m_display;
    QString m_xdotool;
    ChatServicePeer m_peer;
    QTemporaryDir m_project;

    // Keys as xdotool names them, one after the other; false when it failed.
    bool keys(const QStringList &names)
    {
        QProcess x;
        x.start(m_xdotool, QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("80")} + names);
        return x.waitForFinished(20000) && x.exitCode() == 0;
    }
    bool type(const QString &text)
    {
        QProcess x;
        x.start(m_xdotool, {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"), text});
        return x.waitForFinished(20000) && x.exitCode() == 0;
    }
    static QStringList times(int n, const QString &key) { return QStringList(n, key); }

    // The app a moment to act on what it was sent (its redraws, the fade of a
    // popover): keys typed on are then meant for the new state.
    static void settle(int ms = 400) { QTest::qWait(ms); }

private slots:
    void initTestCase()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        m_xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
        const QString app = QStringLiteral(MOONSHELF_EXECUTABLE);
        if (xvfb.isEmpty() || m_xdotool.isEmpty())
            QSKIP("needs Xvfb and xdotool");
        QVERIFY(QFile::exists(app));

        // An X server already running may be named (to watch the test on it).
        m_display = qEnvironmentVariable("MOONSHELF_KEYS_DISPLAY");
        // Else the server names its display on its output once it listens.
        if (m_display.isEmpty()) {
        m_server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                              QStringLiteral("0"), QStringLiteral("1600x1000x24"), QStringLiteral("-nolisten"),
                              QStringLiteral("tcp")});
        QVERIFY(m_server.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(m_server.canReadLine() || m_server.state() == QProcess::NotRunning, 20000);
        const QByteArray number = m_server.readLine().trimmed();
        QVERIFY2(!number.isEmpty(), m_server.readAllStandardError().constData());
        m_display = QStringLiteral(":") + QString::fromLatin1(number);
        }
        qputenv("DISPLAY", m_display.toLatin1());

        // Past the first-run sheet, asking before every write, in a project.
        QVERIFY(m_project.isValid());
        QDir().mkpath(dataFile(QString()));
        QFile settings(dataFile(QStringLiteral("settings.json")));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(R"({"hasCompletedOnboarding":true,"toolGuardMode":"ask"})");
        settings.close();
        {
            QSettings defaults(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/com.ovu/QirvMac.conf"),
                               QSettings::IniFormat);
            defaults.setValue(QStringLiteral("workspaceBookmark"), m_project.path());
        }

        // Signed in: a session that has not run out (the service takes any token).
        QFile session(dataFile(QStringLiteral("moonshelf_session.json")));
        QVERIFY(session.open(QIODevice::WriteOnly));
        session.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        session.write(R"({"accessToken":"test-token","expiresAt":"2099-01-01T00:00:00Z","clientId":"moonshelf",)"
                      R"("source":"oauth"})");
        session.close();

        QVERIFY(m_peer.listen());
        m_peer.enqueue(ChatServicePeer::toolCallReply(
            {{QStringLiteral("c1"), QStringLiteral("write_file"), QStringLiteral(R"({"path":"new.txt","content":"x"})")}}));
        m_peer.enqueue(ChatServicePeer::textReply(QStringLiteral("Done.")));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("MOONSHELF_API_BASE"), m_peer.baseUrl().toString());
        // Never the session bus of whoever runs the tests.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
        env.remove(QStringLiteral("MOONSHELF_SYSTEM_FRAME"));
        m_app.setProcessEnvironment(env);
        m_app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_app.start(app, {});
        QVERIFY(m_app.waitForStarted(10000));

        QProcess search;
        search.start(m_xdotool, {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                                 QStringLiteral("--name"), QStringLiteral("^Moonshelf Mac$")});
        QVERIFY(search.waitForFinished(30000));
        const QByteArray window = search.readAllStandardOutput().split('\n').value(0).trimmed();
        QVERIFY(!window.isEmpty());
        QProcess focus;
        focus.start(m_xdotool, {QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::fromLatin1(window)});
        QVERIFY(focus.waitForFinished(20000));
        settle(800);
    }

    void cleanupTestCase()
    {
        // Only what this test started.
        for (QProcess *p : {&m_app, &m_server}) {
            if (p->state() == QProcess::NotRunning)
                continue;
            p->terminate();
            if (!p->waitForFinished(5000)) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }

    // A draft being written when the approval card comes: Escape answers
    // nothing; Tab to the card, and Escape there denies.
    void escapeWithDraftAnswersNothing()
    {
        QVERIFY(type(QStringLiteral("go")));
        QVERIFY(keys({QStringLiteral("Return")}));
        QTRY_COMPARE_WITH_TIMEOUT(m_peer.requestCount(), 1, 15000);
        settle(1500); // the card comes and takes the keyboard
        // Typed on the card, the text goes on into the composer.
        QVERIFY(type(QStringLiteral("next")));
        QVERIFY(keys({QStringLiteral("Escape")}));
        settle(1500);
        QCOMPARE(m_peer.requestCount(), 1);
        QVERIFY(!QFile::exists(m_project.filePath(QStringLiteral("new.txt"))));

        QVERIFY(keys({QStringLiteral("Tab"), QStringLiteral("Escape")}));
        QTRY_COMPARE_WITH_TIMEOUT(m_peer.requestCount(), 2, 15000);
        QVERIFY(m_peer.requests().last().body.contains("User denied this tool call."));
        QVERIFY(!QFile::exists(m_project.filePath(QStringLiteral("new.txt"))));
        settle(1000); // the run ends and the keyboard is back in the composer
    }

    // From the composer Tab reaches the skin chip (the palette opens on the
    // skin in use, Tab and Return pick the next one), then past the tray the
    // title bar's buttons (New Session), then the sidebar's list: arrows and
    // Return pick the older session, Shift+F10 opens its menu.
    void tabReachesTheSkinTitleBarAndSessions()
    {
        const QString skin = defaultsValue("uiSkinID", QStringLiteral("default"));
        // Project, permissions, model, skin; Return opens the palette.
        QVERIFY(keys(times(4, QStringLiteral("Tab")) << QStringLiteral("Return")));
        settle();
        QVERIFY(keys({QStringLiteral("Return")})); // on the skin in use: nothing changes
        settle();
        QCOMPARE(defaultsValue("uiSkinID", QStringLiteral("default")), skin);
        QVERIFY(keys({QStringLiteral("Tab"), QStringLiteral("Return")}));
        QTRY_VERIFY_WITH_TIMEOUT(defaultsValue("uiSkinID", skin) != skin, 5000);
        QVERIFY(keys({QStringLiteral("Escape")})); // back on the skin chip
        settle();

        // Eye, wallpaper, microphone, send (a draft is there), then the title
        // bar: sidebar, files, tools, export, open folder, New Session.
        const QString firstID = storedSessions().value(QStringLiteral("selectedConversationID")).toString();
        QVERIFY(!firstID.isEmpty());
        QVERIFY(keys(times(10, QStringLiteral("Tab")) << QStringLiteral("Return")));
        QTRY_COMPARE_WITH_TIMEOUT(storedSessions().value(QStringLiteral("conversations")).toArray().size(), 2, 5000);
        QVERIFY(storedSessions().value(QStringLiteral("selectedConversationID")).toString() != firstID);

        // Minimize, maximize, close, then the sidebar: New session, the
        // project, the search, the list (on the new session); Down, Return.
        QVERIFY(keys(times(7, QStringLiteral("Tab")) << QStringLiteral("Down") << QStringLiteral("Return")));
        QTRY_COMPARE_WITH_TIMEOUT(storedSessions().value(QStringLiteral("selectedConversationID")).toString(), firstID,
                                  5000);
        // Its menu by Shift+F10: the first entry pins it.
        QVERIFY(keys({QStringLiteral("shift+F10")}));
        settle();
        QVERIFY(keys({QStringLiteral("Down"), QStringLiteral("Return")}));
        const auto pinned = [&] {
            for (const QJsonValue &c : storedSessions().value(QStringLiteral("conversations")).toArray())
                if (c.toObject().value(QStringLiteral("id")).toString() == firstID)
                    return c.toObject().value(QStringLiteral("isPinned")).toBool();
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(pinned(), 5000);
        QVERIFY(m_app.state() == QProcess::Running);
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestWindowKeys)
#include "tst_window_keys.moc"
