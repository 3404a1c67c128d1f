// The session file, its dates and modes, creation, and the command-line import.
#include "AuthTestKit.h"

#include "auth/InternetDate.h"
#include "auth/OAuthRequest.h"
#include "auth/SessionFile.h"
#include "platform/UserDefaults.h"
#include "support/TestMain.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <thread>

using namespace authtest;
using auth::MoonshelfAuth;
using auth::OAuthSession;

namespace {

QString cliPath()
{
    return QDir::home().filePath(QStringLiteral(".qirv/auth.json"));
}

mode_t modeOf(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

} // namespace

class SessionTest : public QObject {
    Q_OBJECT
private slots:
    void init() { resetStoredState(); }

    void internetDates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: must not read
        const QDateTime base(QDate(2026, 3, 1), QTime(9, 30), Qt::UTC);
        QTest::newRow("whole seconds") << "2026-03-01T09:30:00Z" << base;
        QTest::newRow("fractional seconds") << "2026-03-01T09:30:00.250Z" << base.addMSecs(250);
        QTest::newRow("offset") << "2026-03-01T10:30:00+01:00" << base;
        QTest::newRow("space and no zone (lenient ISO)") << "2026-03-01 09:30:00" << QDateTime();
        QTest::newRow("no zone") << "2026-03-01T09:30:00" << QDateTime();
        QTest::newRow("no day 30 in February") << "2026-02-30T09:30:00Z" << QDateTime();
        QTest::newRow("hour 24") << "2026-03-01T24:00:00Z" << QDateTime();
        QTest::newRow("trailing text") << "2026-03-01T09:30:00Zjunk" << QDateTime();
        // What the writer could not write back is not read either.
        QTest::newRow("year 10000 in UTC") << "9999-12-31T23:59:59-01:00" << QDateTime();
        QTest::newRow("year 0 in UTC") << "0001-01-01T00:00:00+01:00" << QDateTime();
        QTest::newRow("last second of the range") << "9999-12-31T23:59:59Z"
                                                  << QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC);
    }
    void internetDates()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        const auto parsed = auth::parseInternetDate(text);
        QCOMPARE(parsed.has_value(), expected.isValid());
        if (parsed)
            QCOMPARE(*parsed, expected);
    }

    // Whatever date a session holds is written so that it reads back.
    void farDatesReadBack_data()
    {
        QTest::addColumn<QDateTime>("expires");
        QTest::addColumn<QDateTime>("readBack");
        const QDateTime latest(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC);
        const QDateTime earliest(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
        QTest::newRow("year 10000") << latest.addSecs(3600) << latest;
        QTest::newRow("year 200000") << QDateTime::fromSecsSinceEpoch(6'000'000'000'000LL, Qt::UTC) << latest;
        QTest::newRow("year 0") << earliest.addSecs(-3600) << earliest;
        QTest::newRow("year -1200") << QDateTime::fromSecsSinceEpoch(-100'000'000'000LL, Qt::UTC) << earliest;
        QTest::newRow("inside the range") << latest.addSecs(-1) << latest.addSecs(-1);
    }
    void farDatesReadBack()
    {
        QFETCH(QDateTime, expires);
        QFETCH(QDateTime, readBack);
        const auto back = auth::decodeSession(auth::encodeSession(sampleSession(expires)));
        QVERIFY2(back.ok(), back.ok() ? "" : qPrintable(back.error()));
        QCOMPARE(back.value().expiresAt, readBack);
    }

    void sessionJsonRoundTrip_data()
    {
        QTest::addColumn<bool>("withOptionals");
        QTest::newRow("all seven fields") << true;
        QTest::newRow("optionals absent are left out") << false;
    }
    void sessionJsonRoundTrip()
    {
        QFETCH(bool, withOptionals);
        OAuthSession s = sampleSession(QDateTime(QDate(2026, 3, 1), QTime(9, 30), Qt::UTC));
        s.userId = QStringLiteral("user-7");
        if (!withOptionals) {
            s.refreshToken.reset();
            s.email.reset();
            s.userId.reset();
        }
        const QByteArray json = auth::encodeSession(s);
        const QJsonObject o = QJsonDocument::fromJson(json).object();
        for (const char *key : {"refreshToken", "email", "userId"})
            QCOMPARE(o.contains(QLatin1String(key)), withOptionals);
        QCOMPARE(o.value(QStringLiteral("expiresAt")).toString(), QStringLiteral("2026-03-01T09:30:00Z"));
        // Indented with sorted keys.
        QVERIFY(json.contains("\n    \"accessToken\""));
        QVERIFY(json.indexOf("\"accessToken\"") < json.indexOf("\"clientId\""));
        QVERIFY(json.indexOf("\"expiresAt\"") < json.indexOf("\"source\""));
        const auto back = auth::decodeSession(json);
        QVERIFY(back.ok());
        SECRET_EQ(back.value(), s);
    }

    void sessionJsonStrictness_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error"); // empty: reads
        const QByteArray rest = R"("clientId":"c","source":"oauth")";
        QTest::newRow("fractional date reads")
            << R"({"accessToken":"t","expiresAt":"2026-03-01T09:30:00.250Z",)" + rest + "}" << QString();
        QTest::newRow("date with a space spoils the file")
            << R"({"accessToken":"t","expiresAt":"2026-03-01 09:30:00",)" + rest + "}"
            << QStringLiteral("Bad date: 2026-03-01 09:30:00");
        QTest::newRow("required key missing") << R"({"accessToken":"t",)" + rest + "}"
                                              << QStringLiteral("Missing key: expiresAt");
        QTest::newRow("bad date is named before a later missing key")
            << QByteArray(R"({"accessToken":"t","expiresAt":"2026-03-01"})") << QStringLiteral("Bad date: 2026-03-01");
        QTest::newRow("token of the wrong type")
            << R"({"accessToken":5,"expiresAt":"2026-03-01T09:30:00Z",)" + rest + "}"
            << QStringLiteral("Missing key: accessToken");
        QTest::newRow("token over 16 KB is no session")
            << "{\"accessToken\":\"" + QByteArray(16 * 1024 + 1, 't') + "\",\"expiresAt\":\"2026-03-01T09:30:00Z\"," + rest + "}"
            << QStringLiteral("Token too large");
        QTest::newRow("null and mistyped optionals read as missing")
            << R"({"accessToken":"t","expiresAt":"2026-03-01T09:30:00Z","email":null,"refreshToken":7,"x":1,)" + rest +
                   "}"
            << QString();
    }
    void sessionJsonStrictness()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        const auto decoded = auth::decodeSession(json);
        QCOMPARE(decoded.ok(), error.isEmpty());
        if (!decoded.ok()) {
            QCOMPARE(decoded.error(), error);
        } else {
            QVERIFY(!decoded.value().email);
            QVERIFY(!decoded.value().refreshToken);
        }
    }

    // The file is 0600 whenever it can be seen, temporary files included,
    // in a 0700 folder; an older 0644 file is replaced by a 0600 one.
    void sessionFileModeAtEveryMoment()
    {
        const QString path = auth::SessionFile::path();
        const QString dir = QFileInfo(path).absolutePath();
        QCOMPARE(modeOf(dir), mode_t(0700));
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("{}");
        }
        ::chmod(QFile::encodeName(path).constData(), 0644);

        std::atomic<bool> stop{false};
        std::atomic<int> looks{0};
        std::atomic<int> wrongModes{0};
        const QByteArray nativeDir = QFile::encodeName(dir);
        std::thread watcher([&] {
            while (!stop) {
                DIR *d = ::opendir(nativeDir.constData());
                if (!d)
                    continue;
                while (dirent *e = ::readdir(d)) {
                    const QByteArray name(e->d_name);
                    if (!name.contains("moonshelf_session.json"))
                        continue;
                    struct stat st {};
                    if (::stat((nativeDir + '/' + name).constData(), &st) == 0) {
                        ++looks;
                        if ((st.st_mode & 07777) != 0600 && name.startsWith('.'))
                            ++wrongModes;
                    }
                }
                ::closedir(d);
            }
        });
        OAuthSession s = sampleSession(QDateTime(QDate(2026, 3, 1), QTime(9, 30), Qt::UTC));
        for (int i = 0; i < 200; ++i) {
            s.accessToken = QStringLiteral("token-%1").arg(i);
            QVERIFY(auth::SessionFile::save(s).isEmpty());
            if (modeOf(path) != 0600)
                ++wrongModes;
        }
        stop = true;
        watcher.join();
        QVERIFY(looks > 0);
        QCOMPARE(wrongModes.load(), 0);
        QCOMPARE(modeOf(path), mode_t(0600));
        QCOMPARE(modeOf(dir), mode_t(0700));
    }

    // Applying a session clears the old error before saving, so a failed
    // save stays visible.
    void failedSaveIsReported()
    {
        platform::UserDefaults::setValue(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut), true);
        AuthRig rig;
        MoonshelfAuth &auth = rig.make();
        QDir().mkpath(auth::SessionFile::path()); // a folder where the file belongs
        writeCliAuth(R"({"a": {"key": "k", "email": "x@y"}})");
        const auto result = auth.importFromQirvCLI();
        QVERIFY(result.ok());
        QVERIFY(auth.session().has_value());
        QVERIFY(auth.lastError().has_value());
        QVERIFY2(auth.lastError()->startsWith(QStringLiteral("Could not save session: ")),
                 qPrintable(*auth.lastError()));
        QCOMPARE(auth.lastStatus(), std::optional(QStringLiteral("Imported Moonshelf session for x@y from ") + cliPath()));
        // The flag is still removed: the user did sign in.
        QVERIFY(!platform::UserDefaults::boolean(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut)));
    }

    // An observer that signs out on the session notice wins: the applied
    // session is not saved, nor the sign-out flag removed.
    void signOutFromTheSessionNotice()
    {
        platform::UserDefaults::setValue(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut), true);
        AuthRig rig;
        MoonshelfAuth &auth = rig.make();
        writeCliAuth(R"({"a": {"key": "k"}})");
        bool once = false;
        connect(&auth, &MoonshelfAuth::sessionChanged, this, [&] {
            if (auth.session() && !once) {
                once = true;
                auth.signOut();
            }
        });
        QVERIFY(auth.importFromQirvCLI().ok());
        QVERIFY(once);
        QVERIFY(!auth.session());
        QVERIFY(!QFileInfo::exists(auth::SessionFile::path()));
        QVERIFY(platform::UserDefaults::boolean(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut)));
        QCOMPARE(auth.lastStatus(), std::optional(QStringLiteral("Signed out")));
        QVERIFY(!auth.isImporting());
    }

    // A file that cannot be removed is emptied, so the next start restores nothing.
    void signOutFileThatCannotBeRemoved()
    {
        QVERIFY(auth::SessionFile::save(sampleSession(QDateTime::currentDateTimeUtc().addDays(1))).isEmpty());
        QVERIFY(auth::SessionFile::load().has_value());
        auth::SessionFile::remove([](const QString &) { return false; });
        QVERIFY(QFileInfo::exists(auth::SessionFile::path()));
        QCOMPARE(QFileInfo(auth::SessionFile::path()).size(), 0);
        QVERIFY(!auth::SessionFile::load().has_value());

        QVERIFY(auth::SessionFile::save(sampleSession(QDateTime::currentDateTimeUtc().addDays(1))).isEmpty());
        auth::SessionFile::remove();
        QVERIFY(!QFileInfo::exists(auth::SessionFile::path()));
    }

    void creation_data()
    {
        QTest::addColumn<bool>("signedOut");
        QTest::addColumn<QByteArray>("sessionFile");
        QTest::addColumn<QByteArray>("cliFile");
        QTest::addColumn<bool>("expectSession");
        QTest::addColumn<QString>("status"); // "-" for absent
        QTest::addColumn<QString>("error");  // "-" for absent
        const QByteArray good = R"({"accessToken":"t","clientId":"c","email":"ada@example.com",)"
                                R"("expiresAt":"2030-01-01T00:00:00Z","source":"oauth"})";
        const QByteArray noEmail = R"({"accessToken":"t","clientId":"c","email":"",)"
                                   R"("expiresAt":"2030-01-01T00:00:00Z","source":"oauth"})";
        const QByteArray badDate = R"({"accessToken":"t","clientId":"c","expiresAt":"2030-01-01 00:00:00","source":"oauth"})";
        const QByteArray cli = R"({"acct": {"key": "k", "email": "cli@example.com"}})";
        // No command-line session file is the common case, not an error.
        QTest::newRow("first start with nothing") << false << QByteArray() << QByteArray() << false << "-" << "-";
        QTest::newRow("a command-line file that is no session is reported")
            << false << QByteArray() << QByteArray("{}") << false << "Import failed"
            << "auth.json is empty or not a JSON object";
        QTest::newRow("after sign-out with nothing") << true << QByteArray() << QByteArray() << false << "-" << "-";
        QTest::newRow("session file restores") << false << good << QByteArray() << true
                                               << "Restored Moonshelf session for ada@example.com" << "-";
        QTest::newRow("empty e-mail") << false << noEmail << QByteArray() << true
                                      << "Restored Moonshelf session for Moonshelf session" << "-";
        QTest::newRow("bad date restores nothing") << true << badDate << QByteArray() << false << "-" << "-";
        QTest::newRow("import at start shows the restore text")
            << false << QByteArray() << cli << true << "Restored Moonshelf session for cli@example.com" << "-";
        QTest::newRow("no import at start after sign-out") << true << QByteArray() << cli << false << "-" << "-";
    }
    void creation()
    {
        QFETCH(bool, signedOut);
        QFETCH(QByteArray, sessionFile);
        QFETCH(QByteArray, cliFile);
        QFETCH(bool, expectSession);
        QFETCH(QString, status);
        QFETCH(QString, error);
        if (signedOut)
            platform::UserDefaults::setValue(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut), true);
        if (!sessionFile.isEmpty()) {
            QFile f(auth::SessionFile::path());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(sessionFile);
        }
        if (!cliFile.isEmpty())
            writeCliAuth(cliFile);
        AuthRig rig;
        MoonshelfAuth &auth = rig.make();
        QCOMPARE(auth.session().has_value(), expectSession);
        const auto text = [](const std::optional<QString> &v) { return v ? *v : QStringLiteral("-"); };
        QCOMPARE(text(auth.lastStatus()), status);
        QCOMPARE(text(auth.lastError()), QString(error).replace(QStringLiteral("%PATH%"), cliPath()));
    }

    // A run's token request with no session anywhere says "not signed in"
    // and leaves the texts shown as they were.
    void tokenRequestWithoutCommandLineFile()
    {
        AuthRig rig;
        MoonshelfAuth &auth = rig.make();
        QCOMPARE(auth.lastError(), std::nullopt);
        const auto token = waitForTask(auth.bearerToken());
        QVERIFY(!token.ok());
        QCOMPARE(token.error().kind, auth::AuthError::Kind::notSignedIn);
        QCOMPARE(auth.lastError(), std::nullopt);
        QCOMPARE(auth.lastStatus(), std::nullopt);
    }

    void cliImport_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("token");    // empty: the import fails
        QTest::addColumn<QString>("clientId");
        QTest::addColumn<QString>("text");     // success: status; failure: lastError ("-" absent)
        QTest::addColumn<QDateTime>("expires");
        const QString builtIn = QString::fromLatin1(auth::OAuth::kClientId);
        const QDateTime sixHours = QDateTime(QDate(2026, 3, 1), QTime(15, 0), Qt::UTC);
        const QDateTime newYear(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);

        QTest::newRow("keyed with its own client id")
            << QByteArray(R"({"acct::ignored": {"key":"tok-k","oidc_client_id":"cid-1","email":"a@b",)"
                          R"("refresh_token":"r","user_id":"u1","expires_at":"2026-01-01T00:00:00Z"}})")
            << "tok-k" << "cid-1" << "Imported Moonshelf session for a@b from %PATH%" << newYear;
        QTest::newRow("client id after the first ::")
            << QByteArray(R"({"prefix::cid-2::x": {"access_token":"tok-a"}})") << "tok-a" << "cid-2::x"
            << "Imported Moonshelf session from %PATH%" << sixHours;
        QTest::newRow("name ending in :: gives an empty client id")
            << QByteArray(R"({"prefix::": {"access_token":"tok-a"}})") << "tok-a" << "" << "Imported Moonshelf session from %PATH%"
            << sixHours;
        QTest::newRow("empty key disqualifies an entry despite access_token")
            << QByteArray(R"({"a": {"key":"","access_token":"a1"}, "b": {"access_token":"b1"}})") << "b1" << builtIn
            << "Imported Moonshelf session from %PATH%" << sixHours;
        QTest::newRow("flat form ignores its oidc_client_id")
            << QByteArray(R"({"access_token":"flat","oidc_client_id":"no","email":"f@x"})") << "flat" << builtIn
            << "Imported Moonshelf session for f@x from %PATH%" << sixHours;
        QTest::newRow("expiry as seconds since 1970")
            << QByteArray(R"({"a": {"key":"k","expires_at":1767225600.5}})") << "k" << builtIn
            << "Imported Moonshelf session from %PATH%" << newYear.addMSecs(500);
        QTest::newRow("unreadable expiry gives six hours")
            << QByteArray(R"({"a": {"key":"k","expires_at":"tomorrow"}})") << "k" << builtIn
            << "Imported Moonshelf session from %PATH%" << sixHours;
        // Expiries the session file cannot hold are taken as its nearest
        // date, so the saved session reads back at the next start.
        const QDateTime latest(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC);
        const QDateTime earliest(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
        QTest::newRow("expiry past year 9999 in UTC")
            << QByteArray(R"({"a": {"key":"k","expires_at":"9999-12-31T23:59:59-01:00"}})") << "k" << builtIn
            << "Imported Moonshelf session from %PATH%" << latest;
        QTest::newRow("expiry before year 1 in UTC")
            << QByteArray(R"({"a": {"key":"k","expires_at":"0001-01-01T00:00:00+01:00"}})") << "k" << builtIn
            << "Imported Moonshelf session from %PATH%" << earliest;
        QTest::newRow("expiry of -100000000000 seconds")
            << QByteArray(R"({"a": {"key":"k","expires_at":-100000000000}})") << "k" << builtIn
            << "Imported Moonshelf session from %PATH%" << earliest;
        QTest::newRow("expiry of 1e300 seconds") << QByteArray(R"({"a": {"key":"k","expires_at":1e300}})") << "k"
                                                 << builtIn << "Imported Moonshelf session from %PATH%" << latest;
        QTest::newRow("e-mail of the wrong type is left out")
            << QByteArray(R"({"a": {"key":"k","email":5}})") << "k" << builtIn << "Imported Moonshelf session from %PATH%"
            << sixHours;

        QTest::newRow("flat form with an empty key") << QByteArray(R"({"access_token":"t","key":""})") << "" << ""
                                                     << "Token field was empty in auth.json" << QDateTime();
        QTest::newRow("empty object") << QByteArray("{}") << "" << "" << "auth.json is empty or not a JSON object"
                                      << QDateTime();
        QTest::newRow("array") << QByteArray("[1]") << "" << "" << "auth.json is empty or not a JSON object" << QDateTime();
        QTest::newRow("no token fields")
            << QByteArray(R"({"foo": {"bar": 1}})") << "" << ""
            << "Found %PATH% but no access token fields (expected \u201ckey\u201d or \u201caccess_token\u201d)."
            << QDateTime();
        QTest::newRow("not JSON leaves the texts alone") << QByteArray("nope{") << "" << "" << "-" << QDateTime();
        QTest::newRow("access token over 16 KB")
            << "{\"a\": {\"key\":\"" + QByteArray(16 * 1024 + 1, 'k') + "\"}}" << "" << ""
            << "A token in auth.json is larger than 16 KB" << QDateTime();
        QTest::newRow("refresh token of 65,536 bytes")
            << "{\"a\": {\"key\":\"k\",\"refresh_token\":\"" + QByteArray(65'536, 'r') + "\"}}" << "" << ""
            << "A token in auth.json is larger than 16 KB" << QDateTime();
    }
    void cliImport()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, token);
        QFETCH(QString, clientId);
        QFETCH(QString, text);
        QFETCH(QDateTime, expires);
        text.replace(QStringLiteral("%PATH%"), cliPath());

        platform::UserDefaults::setValue(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut), true);
        AuthRig rig;
        MoonshelfAuth &auth = rig.make();
        auth.signOut(); // lastStatus "Signed out", to see what a failure leaves
        writeCliAuth(json);
        QList<bool> importing;
        connect(&auth, &MoonshelfAuth::isImportingChanged, this, [&] { importing.append(auth.isImporting()); });

        const auto result = auth.importFromQirvCLI();
        QCOMPARE(importing, (QList<bool>{true, false}));
        QCOMPARE(result.ok(), !token.isEmpty());
        if (result.ok()) {
            QCOMPARE(result.value(), text);
            QCOMPARE(auth.lastStatus(), std::optional(text));
            QVERIFY(!auth.lastError());
            QVERIFY(auth.session().has_value());
            SECRET_EQ(auth.session()->accessToken, token);
            QCOMPARE(auth.session()->clientId, clientId);
            QCOMPARE(auth.session()->source, QStringLiteral("qirv_cli"));
            QCOMPARE(auth.session()->expiresAt, expires);
            // The imported session is on disk, reads back the same, and the
            // sign-out flag is gone.
            QVERIFY(auth::SessionFile::load().has_value());
            OAuthSession stored = *auth.session();
            stored.expiresAt = stored.expiresAt.addMSecs(-stored.expiresAt.time().msec()); // whole seconds in the file
            SECRET_EQ(*auth::SessionFile::load(), stored);
            QVERIFY(!platform::UserDefaults::boolean(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut)));
            return;
        }
        QVERIFY(!auth.session().has_value());
        if (text == QLatin1String("-")) {
            QCOMPARE(result.error().kind, auth::AuthError::Kind::badJson);
            QVERIFY(!auth.lastError());
            QCOMPARE(auth.lastStatus(), std::optional(QStringLiteral("Signed out")));
        } else {
            QCOMPARE(auth.lastError(), std::optional(text));
            QCOMPARE(auth.lastStatus(), std::optional(QStringLiteral("Import failed")));
            QCOMPARE(result.error().description(),
                     QStringLiteral("Could not read a Moonshelf session from ~/.qirv/auth.json."));
        }
    }

    void cliImportFileProblems()
    {
        platform::UserDefaults::setValue(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut), true);
        QVERIFY(auth::SessionFile::save(sampleSession(QDateTime(QDate(2030, 1, 1), QTime(0, 0), Qt::UTC))).isEmpty());
        AuthRig rig;
        MoonshelfAuth &auth = rig.make();
        const auto before = auth.session();
        QVERIFY(before.has_value());

        auto missing = auth.importFromQirvCLI();
        QVERIFY(!missing.ok());
        QCOMPARE(missing.error().description(),
                 QStringLiteral("No ~/.qirv/auth.json found. Use \u201cSign in with Moonshelf\u201d, or log in with "
                                "the Qirv CLI first."));

        QDir().mkpath(cliPath()); // a folder cannot be read as a file
        auto unreadable = auth.importFromQirvCLI();
        QVERIFY(!unreadable.ok());
        const QString prefix = QStringLiteral("Could not read ") + cliPath() + QStringLiteral(": ");
        QVERIFY(auth.lastError() && auth.lastError()->startsWith(prefix));
        QCOMPARE(unreadable.error().description(), QStringLiteral("Read failed: ") + *auth.lastError());
        QCOMPARE(auth.lastStatus(), std::optional(QStringLiteral("Import failed")));
        // A failed import leaves the earlier session signed in.
        SECRET_EQ(auth.session(), before);

        // A file too large for a session is refused unread; the session stays.
        QDir(cliPath()).removeRecursively();
        writeCliAuth("{\"a\": {\"key\":\"k\"}, \"pad\": \"" + QByteArray(300'000, 'p') + "\"}");
        auto huge = auth.importFromQirvCLI();
        QVERIFY(!huge.ok());
        QCOMPARE(auth.lastError(),
                 std::optional(QStringLiteral("Could not read ") + cliPath() + QStringLiteral(": The file is larger than 256 KB")));
        SECRET_EQ(auth.session(), before);
        SECRET_EQ(auth::SessionFile::load(), before);
    }

    // No credential is taken from a file the model's tools can reach: one
    // whose real place is in the open project (a link planted at its place
    // leads there) or a hard link on the project's file system. Links that
    // lead elsewhere keep working, as does anything while no project is open.
    void credentialReachedThroughTheProject_data()
    {
        QTest::addColumn<QString>("file");  // under the home folder; "session": the app's session file
        QTest::addColumn<QString>("placed"); // folder-link, file-link, hard-link, elsewhere, no-project
        QTest::addColumn<QString>("why");   // empty: taken
        const QString inside = QStringLiteral("It lies in the open project folder %ROOT%, where tools can read and change it");
        QTest::newRow("command-line session, its folder linked into the project") << ".qirv/auth.json" << "folder-link" << inside;
        QTest::newRow("command-line session, linked into the project") << ".qirv/auth.json" << "file-link" << inside;
        QTest::newRow("command-line session, hard link of a project file")
            << ".qirv/auth.json" << "hard-link" << "It has other names on the file system of the open project folder %ROOT%";
        QTest::newRow("command-line session, linked elsewhere") << ".qirv/auth.json" << "elsewhere" << "";
        QTest::newRow("command-line session, no project open") << ".qirv/auth.json" << "no-project" << "";
        QTest::newRow("key file, its folder linked into the project") << ".qirv/api_key" << "folder-link" << inside;
        QTest::newRow("key file, linked elsewhere") << ".config/qirv/api_key" << "elsewhere" << "";
        QTest::newRow("session file, linked into the project") << "session" << "file-link" << inside;
        QTest::newRow("session file, linked elsewhere") << "session" << "elsewhere" << "";
    }
    void credentialReachedThroughTheProject()
    {
        QFETCH(QString, file);
        QFETCH(QString, placed);
        QFETCH(QString, why);
        QTemporaryDir project;
        QTemporaryDir elsewhere;
        const QString bookmark = QString::fromLatin1(platform::UserDefaults::kWorkspaceBookmark);
        const QString place = file == u"session" ? auth::SessionFile::path() : QDir::home().filePath(file);
        const auto cleanUp = qScopeGuard([&] {
            platform::UserDefaults::remove(bookmark);
            QFile::remove(place);
            QFile::remove(QFileInfo(place).absolutePath()); // a link, never followed
        });
        if (placed != u"no-project")
            platform::UserDefaults::setValue(bookmark, project.path());
        const QDateTime expiry(QDate(2030, 1, 1), QTime(0, 0), Qt::UTC);
        const QByteArray bytes = file == u"session" ? auth::encodeSession(sampleSession(expiry))
                                 : file.endsWith(u"auth.json") ? QByteArray(R"({"a": {"key": "planted-token"}})")
                                                               : QByteArray("planted-key");
        const QString target = (placed == u"elsewhere" ? elsewhere.path() : project.path()) + QStringLiteral("/.loot/") + QFileInfo(place).fileName();
        QVERIFY(QDir().mkpath(QFileInfo(target).absolutePath()));
        QFile written(target);
        QVERIFY(written.open(QIODevice::WriteOnly) && written.write(bytes) == bytes.size());
        written.close();
        QVERIFY(QDir().mkpath(QFileInfo(place).absolutePath()));
        QFile::remove(place);
        if (placed == u"folder-link") {
            QDir(QFileInfo(place).absolutePath()).removeRecursively();
            QVERIFY(QFile::link(QFileInfo(target).absolutePath(), QFileInfo(place).absolutePath()));
        } else if (placed == u"hard-link") {
            if (::link(QFile::encodeName(target).constData(), QFile::encodeName(place).constData()) != 0)
                QSKIP("the home and temporary folders lie on different file systems");
        } else {
            QVERIFY(QFile::link(target, place));
        }
        why.replace(QStringLiteral("%ROOT%"), QFileInfo(project.path()).canonicalFilePath());

        AuthRig rig;
        MoonshelfAuth &auth = rig.make();
        if (file == u"session") {
            QCOMPARE(auth.session().has_value(), why.isEmpty());
            // A new session replaces the link: nothing is written where it led.
            writeCliAuth(R"({"a": {"key": "imported-token"}})");
            QVERIFY(auth.importFromQirvCLI().ok());
            QCOMPARE(auth.lastError(), std::nullopt);
            QFile kept(target);
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), bytes);
            return;
        }
        if (file.endsWith(u"api_key")) {
            const auto imported = waitForTask(rig.secrets->importFromEnvironmentOrConfigFiles());
            QCOMPARE(imported.ok(), why.isEmpty());
            return;
        }
        const auto imported = auth.importFromQirvCLI();
        QCOMPARE(imported.ok(), why.isEmpty());
        if (!why.isEmpty()) {
            QCOMPARE(auth.lastError(), std::optional(QStringLiteral("Could not read ") + place + QStringLiteral(": ") + why));
            QVERIFY(!auth.session());
        }
    }
};

MOONSHELF_TEST_GUILESS_MAIN(SessionTest)
#include "tst_auth_session.moc"
