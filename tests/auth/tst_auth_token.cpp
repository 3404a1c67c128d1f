// The bearer token of a run: refresh, order of sources, sign-out and the races.
#include "AuthTestKit.h"

#include "auth/OAuthRequest.h"
#include "auth/SessionFile.h"
#include "platform/UserDefaults.h"
#include "support/OAuthServerPeer.h"
#include "support/TestMain.h"

#include <QSignalSpy>

using namespace authtest;
using auth::MoonshelfAuth;
using auth::OAuthSession;
using testsupport::OAuthServerPeer;

namespace {

const QByteArray kTokenPath = "/oauth2/token";

void setSignedOutFlag(bool on)
{
    const QString key = QString::fromLatin1(platform::UserDefaults::kExplicitSignOut);
    if (on)
        platform::UserDefaults::setValue(key, true);
    else
        platform::UserDefaults::remove(key);
}

bool signedOutFlag()
{
    return platform::UserDefaults::boolean(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut));
}

} // namespace

class TokenTest : public ServerTestCase {
    Q_OBJECT

    // An object whose session (saved to its file) expires `secondsLeft` from the clock's now.
    MoonshelfAuth &makeWithSession(qint64 secondsLeft, std::optional<QString> refreshToken = QStringLiteral("refresh-1"))
    {
        m_rig = std::make_unique<AuthRig>();
        OAuthSession s = sampleSession(m_rig->clock.current.addSecs(secondsLeft));
        s.refreshToken = refreshToken;
        if (!auth::SessionFile::save(s).isEmpty())
            qFatal("cannot write the session file");
        return m_rig->make();
    }

    MoonshelfAuth &makeWithoutSession()
    {
        setSignedOutFlag(true);
        m_rig = std::make_unique<AuthRig>();
        return m_rig->make();
    }

private slots:
    void init() { QVERIFY(startServer()); }
    void cleanup() { stopServer(); }

    void refreshMargin_data()
    {
        QTest::addColumn<qint64>("secondsLeft");
        QTest::addColumn<bool>("hasRefreshToken");
        QTest::addColumn<bool>("refreshed");
        QTest::newRow("121 s left: used as it is") << qint64(121) << true << false;
        QTest::newRow("120 s left: refreshed") << qint64(120) << true << true;
        QTest::newRow("119 s left: refreshed") << qint64(119) << true << true;
        QTest::newRow("expired: refreshed") << qint64(-600) << true << true;
        QTest::newRow("expired without refresh token: stale token") << qint64(-600) << false << false;
    }
    void refreshMargin()
    {
        QFETCH(qint64, secondsLeft);
        QFETCH(bool, hasRefreshToken);
        QFETCH(bool, refreshed);
        m_peer->setFallback(kTokenPath, OAuthServerPeer::json(200, R"({"access_token":"access-2"})"));
        MoonshelfAuth &auth = makeWithSession(secondsLeft, hasRefreshToken ? std::optional(QStringLiteral("refresh-1"))
                                                                           : std::nullopt);
        const auto token = waitForTask(auth.bearerToken());
        QVERIFY(token.ok());
        SECRET_EQ(token.value(), refreshed ? QStringLiteral("access-2") : QStringLiteral("access-1"));
        QCOMPARE(m_peer->requestsTo(kTokenPath).size(), refreshed ? 1 : 0);
        QVERIFY(!auth.lastError());
    }

    void refreshReplies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("refreshAfter");
        QTest::addColumn<qint64>("lifetime"); // 0: session unchanged
        QTest::addColumn<QString>("error");   // "-": none
        QTest::newRow("new tokens and expiry") << 200 << QByteArray(R"({"access_token":"access-2","refresh_token":"refresh-2","expires_in":100})")
                                               << "refresh-2" << qint64(100) << "-";
        QTest::newRow("no refresh token keeps the old, six hours")
            << 200 << QByteArray(R"({"access_token":"access-2"})") << "refresh-1" << qint64(21600) << "-";
        QTest::newRow("empty refresh token keeps the old")
            << 200 << QByteArray(R"({"access_token":"access-2","refresh_token":"","expires_in":7.5})") << "refresh-1"
            << qint64(21600) << "-";
        QTest::newRow("refused with a description")
            << 400 << QByteArray(R"({"error":"invalid_grant","error_description":"Token revoked"})") << "refresh-1"
            << qint64(0) << "Session expired. Sign in again. (Token revoked)";
        QTest::newRow("refused with an error word") << 400 << QByteArray(R"({"error":"invalid_grant"})") << "refresh-1"
                                                    << qint64(0) << "Session expired. Sign in again. (invalid_grant)";
        // Without words of its own, the status and what came say what failed.
        QTest::newRow("refused in plain text") << 401 << QByteArray("go away") << "refresh-1" << qint64(0)
                                               << "Session expired. Sign in again. (Ovu auth answered 401: go away)";
        QTest::newRow("refused with bytes that are not text") << 500 << QByteArray("\xff\xfe") << "refresh-1" << qint64(0)
                                                              << "Session expired. Sign in again. (Ovu auth answered 500)";
        QTest::newRow("refused with a cut-off UTF-8 sequence")
            << 500 << QByteArray("no\xc3") << "refresh-1" << qint64(0)
            << "Session expired. Sign in again. (Ovu auth answered 500)";
        QTest::newRow("refused with an empty body") << 400 << QByteArray() << "refresh-1" << qint64(0)
                                                    << "Session expired. Sign in again. (Ovu auth answered 400)";
        QTest::newRow("refused with an empty description")
            << 400 << QByteArray(R"({"error_description":" ","error":"invalid_grant"})") << "refresh-1" << qint64(0)
            << "Session expired. Sign in again. (invalid_grant)";
        // The service's words, not a page of markup.
        QTest::newRow("refused with an HTML page")
            << 502 << QByteArray("<!DOCTYPE html><html><head><title>Bad Gateway</title></head><body>x</body></html>")
            << "refresh-1" << qint64(0) << "Session expired. Sign in again. (Ovu auth answered 502: Bad Gateway)";
        QTest::newRow("refused with a huge body")
            << 500 << QByteArray(2 << 20, 'y') << "refresh-1" << qint64(0)
            << "Session expired. Sign in again. (Ovu auth answered 500: " + QString(600, u'y') + u'\u2026' + ")";
        QTest::newRow("200 with a web page")
            << 200 << QByteArray("<html><head><title>Sign in</title></head></html>") << "refresh-1" << qint64(0)
            << "Session expired. Sign in again. (The answer from Ovu auth was a web page, not JSON: \u201cSign in\u201d)";
        QTest::newRow("200 too long to read, small token")
            << 200 << "{\"access_token\":\"a\",\"x\":\"" + QByteArray(300'000, 'x') + "\"}" << "refresh-1" << qint64(0)
            << "Session expired. Sign in again. (The answer from Ovu auth was over 256 KB, too large to read)";
        QTest::newRow("200 without a token") << 200 << QByteArray(R"({"token_type":"Bearer"})") << "refresh-1"
                                             << qint64(0)
                                             << "Session expired. Sign in again. (The answer from Ovu auth held no access token)";
        // A token too large to send is not taken: the session stays as it was.
        QTest::newRow("new access token of 65,536 bytes")
            << 200 << QByteArray("{\"access_token\":\"") + QByteArray(65'536, 'a') + "\"}" << "refresh-1" << qint64(0)
            << "Session expired. Sign in again. (Ovu auth sent a token larger than 16 KB)";
        QTest::newRow("new refresh token over 16 KB")
            << 200 << QByteArray("{\"access_token\":\"access-2\",\"refresh_token\":\"") + QByteArray(16 * 1024 + 1, 'r') + "\"}"
            << "refresh-1" << qint64(0) << "Session expired. Sign in again. (Ovu auth sent a token larger than 16 KB)";
        QTest::newRow("token with another status than 200")
            << 201 << QByteArray(R"({"access_token":"x","error":"odd"})") << "refresh-1" << qint64(0)
            << "Session expired. Sign in again. (odd)";
    }
    void refreshReplies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, refreshAfter);
        QFETCH(qint64, lifetime);
        QFETCH(QString, error);
        m_peer->enqueue(kTokenPath, OAuthServerPeer::json(status, body));
        MoonshelfAuth &auth = makeWithSession(60);
        const OAuthSession before = *auth.session();
        const auto token = waitForTask(auth.bearerToken());
        QVERIFY(token.ok());
        QVERIFY(auth.session().has_value());
        SECRET_EQ(auth.session()->refreshToken, std::optional(refreshAfter));
        if (lifetime == 0) {
            // A failed refresh keeps the stale session, in memory and on disk.
            SECRET_EQ(token.value(), QStringLiteral("access-1"));
            SECRET_EQ(*auth.session(), before);
            QCOMPARE(auth.lastError(), std::optional(error));
        } else {
            SECRET_EQ(token.value(), QStringLiteral("access-2"));
            QCOMPARE(auth.session()->expiresAt, m_rig->clock.current.addSecs(lifetime));
            QCOMPARE(auth.session()->email, before.email);
            QCOMPARE(auth.session()->clientId, before.clientId);
            QVERIFY(!auth.lastError());
        }
        SECRET_EQ(auth::SessionFile::load(), auth.session());
        // The refresh grant carries the session's own client.
        const auto sent = m_peer->requestsTo(kTokenPath);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0].field(QStringLiteral("grant_type")), QStringLiteral("refresh_token"));
        QCOMPARE(sent[0].field(QStringLiteral("client_id")), QStringLiteral("client-x"));
    }

    void emptyRefreshToken()
    {
        MoonshelfAuth &auth = makeWithSession(-10, QString());
        const auto token = waitForTask(auth.bearerToken());
        QVERIFY(token.ok());
        SECRET_EQ(token.value(), QStringLiteral("access-1"));
        QCOMPARE(auth.lastError(), std::optional(QStringLiteral("Session expired. Sign in again. (No refresh token. Sign in again.)")));
        QVERIFY(m_peer->requests().isEmpty());
    }

    void refreshTransportFailure()
    {
        QVERIFY(pointAtClosedPort());
        MoonshelfAuth &auth = makeWithSession(-10);
        const auto token = waitForTask(auth.bearerToken());
        QVERIFY(token.ok());
        SECRET_EQ(token.value(), QStringLiteral("access-1"));
        QVERIFY(auth.lastError() && auth.lastError()->contains(QStringLiteral("refused"), Qt::CaseInsensitive));
    }

    // Only letters, digits and -._~ travel unencoded.
    void formEncoding_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("space") << "b c" << QByteArray("b%20c");
        QTest::newRow("plus would arrive as a space") << "a+b" << QByteArray("a%2Bb");
        QTest::newRow("ampersand and equals would split the body") << "c&d=e" << QByteArray("c%26d%3De");
        QTest::newRow("slash and question mark") << "f/g?h" << QByteArray("f%2Fg%3Fh");
        QTest::newRow("unreserved stay") << "Az09-._~" << QByteArray("Az09-._~");
        QTest::newRow("non-ASCII as UTF-8 bytes") << "\u00e9" << QByteArray("%C3%A9");
    }
    void formEncoding()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, encoded);
        SECRET_EQ(auth::OAuth::formBody({{QStringLiteral("a"), value}}), QByteArray("a=") + encoded);

        // And as the server reads a refresh grant, byte for byte.
        m_peer->enqueue(kTokenPath, OAuthServerPeer::json(200, R"({"access_token":"access-2"})"));
        MoonshelfAuth &auth = makeWithSession(0, QStringLiteral("rt:") + value);
        QVERIFY(waitForTask(auth.bearerToken()).ok());
        const auto sent = m_peer->requestsTo(kTokenPath);
        QCOMPARE(sent.size(), 1);
        SECRET_EQ(sent[0].rawBody,
                  QByteArray("grant_type=refresh_token&refresh_token=rt%3A") + encoded + "&client_id=client-x");
        SECRET_EQ(sent[0].field(QStringLiteral("refresh_token")), QStringLiteral("rt:") + value);
        QCOMPARE(sent[0].header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
    }

    void sourcesInOrder_data()
    {
        QTest::addColumn<QString>("sessionToken"); // "-": no session file
        QTest::addColumn<bool>("cliFile");
        QTest::addColumn<QString>("key");          // "-": no key
        QTest::addColumn<QString>("expected");     // "-": notSignedIn
        QTest::newRow("session before key") << "access-1" << true << "sk-1" << "access-1";
        QTest::newRow("empty session token gives way to the key") << "" << false << "sk-1" << "sk-1";
        QTest::newRow("token with line breaks is made header-safe") << "acc\r\nX-Evil: 1" << false << "-"
                                                                    << "accX-Evil: 1";
        QTest::newRow("command-line session before key, even after sign-out") << "-" << true << "sk-1" << "cli-token";
        QTest::newRow("key when there is no session") << "-" << false << "sk-1" << "sk-1";
        QTest::newRow("empty key is no token") << "-" << false << "" << "-";
        QTest::newRow("nothing") << "-" << false << "-" << "-";
    }
    void sourcesInOrder()
    {
        QFETCH(QString, sessionToken);
        QFETCH(bool, cliFile);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        MoonshelfAuth &auth = makeWithoutSession();
        QVERIFY(!auth.session());
        // Stored after creation: bearerToken must find them itself.
        if (sessionToken != QLatin1String("-")) {
            OAuthSession s = sampleSession(m_rig->clock.current.addDays(1));
            s.accessToken = sessionToken;
            QVERIFY(auth::SessionFile::save(s).isEmpty());
        }
        if (cliFile)
            writeCliAuth(R"({"acct": {"key": "cli-token", "expires_at": "2030-01-01T00:00:00Z"}})");
        if (key != QLatin1String("-"))
            QVERIFY(waitForTask(auth.secrets().saveAPIKey(key)).ok());

        const auto token = waitForTask(auth.bearerToken());
        QCOMPARE(token.ok(), expected != QLatin1String("-"));
        if (token.ok())
            SECRET_EQ(token.value(), expected);
        else
            QCOMPARE(token.error(), auth::AuthError::notSignedIn());
        if (expected == QLatin1String("cli-token"))
            QVERIFY(!signedOutFlag());
    }

    void modeDescription_data()
    {
        QTest::addColumn<QString>("email"); // "-": no session
        QTest::addColumn<QString>("key");   // "-": no key
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<QString>("mode");
        QTest::newRow("session with e-mail") << "ada@example.com" << "-" << true << "Moonshelf \u00b7 ada@example.com";
        QTest::newRow("session with empty e-mail") << "" << "-" << true << "Moonshelf \u00b7 Moonshelf session";
        QTest::newRow("key only") << "-" << "sk" << true << "API key";
        QTest::newRow("nothing") << "-" << "-" << false << "Not signed in";
    }
    void modeDescription()
    {
        QFETCH(QString, email);
        QFETCH(QString, key);
        QFETCH(bool, signedIn);
        QFETCH(QString, mode);
        if (email != QLatin1String("-")) {
            OAuthSession s = sampleSession(QDateTime::currentDateTimeUtc().addDays(1));
            s.email = email;
            QVERIFY(auth::SessionFile::save(s).isEmpty());
        }
        setSignedOutFlag(true);
        m_rig = std::make_unique<AuthRig>();
        if (key != QLatin1String("-"))
            m_rig->keyring->item = key.toUtf8();
        MoonshelfAuth &auth = m_rig->make();
        QCOMPARE(auth.isSignedIn(), signedIn);
        QCOMPARE(auth.authModeDescription(), mode);
    }

    // Sign-out ends the session but not the key; the next process does not
    // import at start, but its first run does.
    void signOutAndNextProcess()
    {
        MoonshelfAuth &auth = makeWithSession(3600);
        m_rig->keyring->item = QByteArray("sk-1");
        QCoro::waitFor(auth.secrets().reload());
        auth.signOut();
        QVERIFY(!auth.session());
        QVERIFY(!QFileInfo::exists(auth::SessionFile::path()));
        QVERIFY(signedOutFlag());
        QCOMPARE(auth.lastStatus(), std::optional(QStringLiteral("Signed out")));
        QVERIFY(auth.isSignedIn());
        QCOMPARE(auth.authModeDescription(), QStringLiteral("API key"));

        writeCliAuth(R"({"acct": {"key": "cli-token", "email": "cli@example.com"}})");
        m_rig->auth.reset();
        MoonshelfAuth &next = m_rig->make();
        QVERIFY(!next.session());
        QVERIFY(!next.lastStatus());
        const auto token = waitForTask(next.bearerToken());
        QVERIFY(token.ok());
        SECRET_EQ(token.value(), QStringLiteral("cli-token"));
        QVERIFY(!signedOutFlag());
    }

    // A keyring that was locked at start is asked again by the next run.
    void keyringUnlockedAfterStart()
    {
        setSignedOutFlag(true);
        m_rig = std::make_unique<AuthRig>();
        m_rig->keyring->item = QByteArray("sk-1");
        m_rig->keyring->mode = FakeKeyringState::Mode::locked;
        MoonshelfAuth &auth = m_rig->make();
        QCOMPARE(auth.secrets().keyState(), auth::SecretsStore::KeyState::unavailable);
        QVERIFY(!auth.isSignedIn());
        QVERIFY(!waitForTask(auth.bearerToken()).ok());

        m_rig->keyring->mode = FakeKeyringState::Mode::normal;
        const auto token = waitForTask(auth.bearerToken());
        QVERIFY(token.ok());
        SECRET_EQ(token.value(), QStringLiteral("sk-1"));
        QVERIFY(auth.isSignedIn());
    }

    // Sign-out ends with a change notice even when no published field moved
    // (the flag did; the controller recopies its fields on the notice).
    void signOutAlwaysNotifies()
    {
        MoonshelfAuth &auth = makeWithoutSession();
        auth.signOut();
        QSignalSpy changed(&auth, &MoonshelfAuth::changed);
        auth.signOut();
        QCOMPARE(changed.count(), 1);
    }

    // Two runs at once share one refresh.
    void oneRefreshInFlight()
    {
        OAuthServerPeer::Reply held = OAuthServerPeer::json(200, R"({"access_token":"access-2"})");
        held.held = true;
        m_peer->enqueue(kTokenPath, held);
        MoonshelfAuth &auth = makeWithSession(10);
        auto first = auth.bearerToken();
        auto second = auth.bearerToken();
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->heldCount(), 1, 10000);
        QTest::qWait(20);
        m_peer->release();
        const auto a = waitForTask(std::move(first));
        const auto b = waitForTask(std::move(second));
        QVERIFY(a.ok() && b.ok());
        SECRET_EQ(a.value(), QStringLiteral("access-2"));
        SECRET_EQ(b.value(), QStringLiteral("access-2"));
        QCOMPARE(m_peer->requestsTo(kTokenPath).size(), 1);
    }

    // A refresh applies its result only to the session it refreshed.
    void sessionChangedDuringRefresh_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<int>("status");
        QTest::newRow("sign-out wins over a refreshed token") << "signOut" << 200;
        QTest::newRow("sign-out wins over a refused refresh") << "signOut" << 400;
        QTest::newRow("a new session wins over a refreshed token") << "import" << 200;
    }
    void sessionChangedDuringRefresh()
    {
        QFETCH(QString, meanwhile);
        QFETCH(int, status);
        OAuthServerPeer::Reply held = OAuthServerPeer::json(
            status, status == 200 ? QByteArray(R"({"access_token":"access-2"})") : QByteArray(R"({"error":"invalid_grant"})"));
        held.held = true;
        m_peer->enqueue(kTokenPath, held);
        MoonshelfAuth &auth = makeWithSession(10);
        auto run = auth.bearerToken();
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->heldCount(), 1, 10000);
        if (meanwhile == QLatin1String("signOut")) {
            auth.signOut();
        } else {
            writeCliAuth(R"({"acct": {"key": "cli-token"}})");
            QVERIFY(auth.importFromQirvCLI().ok());
        }
        m_peer->release();
        const auto token = waitForTask(std::move(run));
        QVERIFY(!auth.lastError());
        if (meanwhile == QLatin1String("signOut")) {
            QVERIFY(!token.ok());
            QVERIFY(!auth.session());
            QVERIFY(!auth::SessionFile::load());
            QCOMPARE(auth.lastStatus(), std::optional(QStringLiteral("Signed out")));
        } else {
            QVERIFY(token.ok());
            SECRET_EQ(token.value(), QStringLiteral("cli-token"));
            SECRET_EQ(auth.session()->accessToken, QStringLiteral("cli-token"));
            SECRET_EQ(auth::SessionFile::load()->accessToken, QStringLiteral("cli-token"));
        }
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TokenTest)
#include "tst_auth_token.moc"
