// The real executable on an X server of its own, driven by keys sent through
// X as a person types them, against the loopback chat service; what the keys
// did is read from what the app stores and sends. MOONSHELF_KEYS_DISPLAY
// names a running server instead, to watch it.

#include "support/ChatServicePeer.h"
#include "support/TestMain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

using testsupport::ChatServicePeer;

// The app under the sanitizers runs a few times slower: what it is given
// time for grows with it.
const int kSlow = testsupport::timeScale();

QString dataFile(const QString &name)
{
    return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/com.ovu.QirvMac/") + name;
}

QSettings defaults()
{
    return {qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/com.ovu/QirvMac.conf"), QSettings::IniFormat};
}

QJsonObject stored()
{
    QFile f(dataFile(QStringLiteral("conversations.json")));
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
}

bool write(const QString &path, const QByteArray &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.setPermissions(QFile::ReadOwner | QFile::WriteOwner) && f.write(text) > 0;
}

} // namespace

class TestWindowKeys : public QObject {
    Q_OBJECT

    QProcess m_server, m_app;
    QString m_xdotool;
    ChatServicePeer m_peer;
    QTemporaryDir m_project;

    // xdotool with these arguments (keys typed 80 ms apart).
    bool x(QStringList args)
    {
        if (args.first() == u"key" || args.first() == u"type")
            args.insert(1, QStringLiteral("--delay")), args.insert(2, QStringLiteral("80"));
        QProcess p;
        p.start(m_xdotool, args);
        return p.waitForFinished(30000) && p.exitCode() == 0;
    }
    bool keys(const QString &names) { return x(QStringList{QStringLiteral("key")} + names.split(u' ')); }
    static QString selected() { return stored().value(QStringLiteral("selectedConversationID")).toString(); }

private slots:
    void initTestCase()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        m_xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
        if (xvfb.isEmpty() || m_xdotool.isEmpty())
            QSKIP("needs Xvfb and xdotool");
        QString display = qEnvironmentVariable("MOONSHELF_KEYS_DISPLAY");
        if (display.isEmpty()) {
            // The server writes the display it chose once it listens.
            m_server.start(xvfb, QStringLiteral("-displayfd 1 -screen 0 1600x1000x24 -nolisten tcp").split(u' '));
            QTRY_VERIFY_WITH_TIMEOUT(m_server.canReadLine() || m_server.state() == QProcess::NotRunning, 20000);
            display = QStringLiteral(":") + QString::fromLatin1(m_server.readLine().trimmed());
            QVERIFY2(display.size() > 1, m_server.readAllStandardError().constData());
        }
        qputenv("DISPLAY", display.toLatin1());

        // Past the first-run sheet, signed in, asking before writes, in a
        // project, on a skin that is not the palette's first.
        QVERIFY(QDir().mkpath(dataFile(QString())) && m_project.isValid());
        QVERIFY(write(m_project.filePath(QStringLiteral("notes.txt")), "kiwi-123\n"));
        QVERIFY(write(dataFile(QStringLiteral("settings.json")),
                      R"({"hasCompletedOnboarding":true,"toolGuardMode":"ask"})"));
        QVERIFY(write(dataFile(QStringLiteral("moonshelf_session.json")),
                      R"({"accessToken":"t","expiresAt":"2099-01-01T00:00:00Z","clientId":"c","source":"oauth"})"));
        defaults().setValue(QStringLiteral("workspaceBookmark"), m_project.path());
        defaults().setValue(QStringLiteral("uiSkinID"), QStringLiteral("daylight"));
        QVERIFY(m_peer.listen());
        m_peer.enqueue(ChatServicePeer::toolCallReply({{"c1", "write_file", R"({"path":"new.txt","content":"x"})"}}));
        m_peer.enqueue(ChatServicePeer::textReply(QStringLiteral("Done.")));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("MOONSHELF_API_BASE"), m_peer.baseUrl().toString());
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:")); // never the user's bus
        m_app.setProcessEnvironment(env);
        m_app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_app.start(QStringLiteral(MOONSHELF_EXECUTABLE), {});
        QVERIFY(m_app.waitForStarted(10000));
        QVERIFY(x(QStringLiteral("search --sync --onlyvisible --name ^Moonshelf.Mac$ windowfocus --sync").split(u' ')));
        QTest::qWait(800);
    }

    void cleanupTestCase()
    {
        for (QProcess *p : {&m_app, &m_server}) { // only what this test started
            p->terminate();
            if (p->state() != QProcess::NotRunning && !p->waitForFinished(5000))
                p->kill();
        }
    }

    // A draft written while the card comes: Escape answers nothing; Tab to
    // the card, and Escape there denies.
    void journeyByKeys()
    {
        QVERIFY(x({QStringLiteral("type"), QStringLiteral("go")}) && keys(QStringLiteral("Return")));
        QTRY_COMPARE_WITH_TIMEOUT(m_peer.requestCount(), 1, 15000 * kSlow);
        QTest::qWait(3000 * kSlow); // the card comes and takes the keyboard
        QVERIFY(x({QStringLiteral("type"), QStringLiteral("next")})); // goes on into the composer
        QVERIFY(keys(QStringLiteral("Escape")));
        QTest::qWait(1500 * kSlow);
        QCOMPARE(m_peer.requestCount(), 1);
        QVERIFY(keys(QStringLiteral("Tab Escape")));
        QTRY_COMPARE_WITH_TIMEOUT(m_peer.requestCount(), 2, 15000 * kSlow);
        QVERIFY(m_peer.requests().last().body.contains("User denied this tool call."));
        QVERIFY(!QFile::exists(m_project.filePath(QStringLiteral("new.txt"))));
        QTest::qWait(1000 * kSlow); // the run ends; the keyboard is back in the composer

        // Tab reaches the skin chip (the palette opens on the skin in use),
        // past the tray the title bar's New Session, then the sidebar's
        // list: Down and Return pick the older session, Shift+F10 opens its
        // menu, whose first entry pins it.
        QVERIFY(keys(QStringLiteral("Tab Tab Tab Tab Return Return"))); // project, permissions, model, skin
        QTest::qWait(400);
        QCOMPARE(defaults().value(QStringLiteral("uiSkinID")).toString(), QStringLiteral("daylight"));
        QVERIFY(keys(QStringLiteral("Tab Return Escape")));
        QTRY_COMPARE_WITH_TIMEOUT(defaults().value(QStringLiteral("uiSkinID")).toString(), QStringLiteral("golden-default"),
                                  5000);

        // Eye, wallpaper, microphone, send; sidebar, files, tools, export, open folder, New Session.
        const QString first = selected();
        QVERIFY(keys(QStringList(10, QStringLiteral("Tab")).join(u' ') + QStringLiteral(" Return")));
        QTRY_COMPARE_WITH_TIMEOUT(stored().value(QStringLiteral("conversations")).toArray().size(), 2, 5000);
        QVERIFY(selected() != first);

        // The new session's composer has the keyboard (a space typed now
        // would have pressed New Session again); back from it: the welcome
        // card's two chips, the sidebar's tip and Settings, the list.
        QVERIFY(keys(QStringList(5, QStringLiteral("shift+Tab")).join(u' ') + QStringLiteral(" Down Return")));
        QTRY_COMPARE_WITH_TIMEOUT(selected(), first, 5000);
        QVERIFY(keys(QStringLiteral("shift+F10")));
        QTest::qWait(400);
        QVERIFY(keys(QStringLiteral("Down Return")));
        const auto pinned = [&] {
            for (const QJsonValue &c : stored().value(QStringLiteral("conversations")).toArray())
                if (c[QStringLiteral("id")].toString() == first)
                    return c[QStringLiteral("isPinned")].toBool();
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(pinned(), 5000);
    }

    // Journeys by keys alone, each from a new session (Ctrl+N puts the
    // keyboard in its composer): what the keys reach and what pressing
    // there does, read from what the app sends and stores.
    // keys: xdotool key names, "type:text" (spaces as "_"), "wait:ms".
    // expected: "sent:TEXT" the last request carries TEXT from the person,
    // "requests:+N" that many more requests, "window:TITLE" a window shows,
    // "guard:MODE" the stored tool guard.
    void keysReachEverything_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("expected");
        // -- the window's last keyboard gaps --
        // The tray's eight stops lead on to the title bar's Sidebar button.
        QTest::newRow("Ctrl+N from a title-bar button: the words typed next are the new session's")
            << "Tab Tab Tab Tab Tab Tab Tab Tab Tab ctrl+n type:a_b ctrl+Return" << "Fine." << "sent:a b";
        // Retry goes as the run starts: the keyboard is back in the composer.
        QTest::newRow("a finished reply's Retry takes the keyboard, then gives it to the composer")
            << "type:hello ctrl+Return wait:2500 shift+Tab Return wait:2500 type:again ctrl+Return" << "Fine."
            << "requests:+3;sent:again";
        // Back from the composer: the welcome card's two chips, the tip, Settings.
        QTest::newRow("Return on the sidebar footer's Settings opens the settings window")
            << "shift+Tab shift+Tab shift+Tab shift+Tab Return" << "" << "window:Settings";
        // The file tree comes between the sidebar and the welcome card.
        QTest::newRow("the file tree is a Tab stop, and its row menu attaches a file")
            << "ctrl+b wait:800 shift+Tab shift+Tab shift+Tab Home shift+F10 wait:400 Down Down Return wait:400 "
               "Tab Tab Tab Tab type:see ctrl+Return ctrl+b"
            << "Fine." << "sent:see|kiwi-123";
        QTest::newRow("the permissions popover opens on the level in use: Return keeps it")
            << "Tab Tab Return wait:400 Down Return wait:400 Return wait:400 Return" << "" << "guard:balanced";
    }
    void keysReachEverything()
    {
        QFETCH(QString, keys);
        QFETCH(QString, reply);
        QFETCH(QString, expected);
        if (!reply.isEmpty())
            for (int i = 0; i < 3; ++i) // a retry asks again
                m_peer.enqueue(ChatServicePeer::textReply(reply));
        const int requests = m_peer.requestCount();
        QVERIFY(x(QStringLiteral("search --sync --onlyvisible --name ^Moonshelf.Mac$ windowfocus --sync").split(u' ')));
        QVERIFY(this->keys(QStringLiteral("ctrl+n")));
        QTest::qWait(500 * kSlow);
        for (const QString &step : keys.split(u' ')) {
            if (step.startsWith(u"type:"))
                QVERIFY(x({QStringLiteral("type"), step.mid(5).replace(u'_', u' ')}));
            else if (step.startsWith(u"wait:"))
                QTest::qWait(step.mid(5).toInt() * kSlow);
            else
                QVERIFY(this->keys(step));
        }
        for (const QString &one : expected.split(u';'))
            if (check(one, requests); QTest::currentTestFailed())
                return;
        QTest::qWait(1000 * kSlow); // the reply ends before the next journey
    }

private:
    // One check of a journey's end (see keysReachEverything_data).
    void check(const QString &expected, int requests)
    {
        const QString what = expected.section(u':', 0, 0), value = expected.section(u':', 1);
        if (what == u"sent") {
            QTRY_VERIFY_WITH_TIMEOUT(m_peer.requestCount() > requests, 15000 * kSlow);
            QTest::qWait(300 * kSlow);
            const QJsonArray messages = m_peer.requests().last().json().value(QStringLiteral("messages")).toArray();
            QVERIFY(!messages.isEmpty());
            const QString said = messages.last().toObject().value(QStringLiteral("content")).toString();
            for (const QString &part : value.split(u'|'))
                QVERIFY2(said.contains(part), qPrintable(said));
        } else if (what == u"requests") {
            QTRY_COMPARE_WITH_TIMEOUT(m_peer.requestCount(), requests + value.toInt(), 15000 * kSlow);
        } else if (what == u"window") {
            QVERIFY2(x(QStringList{QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                                   QStringLiteral("--name"), QLatin1Char('^') + value + QLatin1Char('$')}),
                     "the window did not show");
            QVERIFY(this->keys(QStringLiteral("Escape")));
            QTest::qWait(400 * kSlow);
        } else if (what == u"guard") {
            QTest::qWait(500 * kSlow); // written once the popover closes
            QFile f(dataFile(QStringLiteral("settings.json")));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(QJsonDocument::fromJson(f.readAll()).object().value(QStringLiteral("toolGuardMode")).toString(), value);
        } else {
            QFAIL(qPrintable(QStringLiteral("no such check: ") + expected));
        }
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestWindowKeys)
#include "tst_window_keys.moc"
