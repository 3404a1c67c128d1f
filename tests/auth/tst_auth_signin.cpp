// The device-code sign-in against an authorization server of our own.
#include "AuthTestKit.h"

#include "auth/Clock.h"
#include "auth/OAuthRequest.h"
#include "auth/SessionFile.h"
#include "platform/UserDefaults.h"
#include "support/OAuthServerPeer.h"
#include "support/TestMain.h"

#include <QJsonDocument>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

using namespace authtest;
using auth::MoonshelfAuth;
using testsupport::OAuthServerPeer;

namespace {

const QByteArray kDevicePath = "/oauth2/device/code";
const QByteArray kTokenPath = "/oauth2/token";

QByteArray deviceReply(const QByteArray &extra = R"("interval":5)")
{
    QByteArray body = R"({"device_code":"dc-1","user_code":"ABCD-EFGH")";
    if (!extra.isEmpty())
        body += ',' + extra;
    return body + '}';
}

const QByteArray kPending = R"({"error":"authorization_pending"})";
const QByteArray kTokens = R"({"access_token":"at-1","refresh_token":"rt-1","expires_in":3600,"email":"ada@example.com"})";

// "status body" lines into scripted replies.
void script(OAuthServerPeer &peer, const QStringList &replies)
{
    for (const QString &line : replies) {
        const qsizetype space = line.indexOf(QLatin1Char(' '));
        peer.enqueue(kTokenPath, OAuthServerPeer::json(line.left(space).toInt(), line.mid(space + 1).toUtf8()));
    }
}

// The JSON parser's own words for a body.
QString parserText(const QByteArray &body)
{
    QJsonParseError parseError{};
    QJsonDocument::fromJson(body, &parseError);
    return parseError.errorString();
}

QString text(const std::optional<QString> &value)
{
    return value ? *value : QStringLiteral("-");
}

} // namespace

class SignInTest : public ServerTestCase {
    Q_OBJECT

    MoonshelfAuth &makeAuth()
    {
        m_rig = std::make_unique<AuthRig>();
        return m_rig->make();
    }

    // Runs a sign-in until it is no longer under way.
    void signInToTheEnd(MoonshelfAuth &auth)
    {
        // A real event loop: QTRY's polling sleeps between rounds, which
        // would make hundreds of polls slow.
        QEventLoop loop;
        connect(&auth, &MoonshelfAuth::isSigningInChanged, &loop, [&] {
            if (!auth.isSigningIn())
                loop.quit();
        });
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        auth.startDeviceSignIn();
        if (auth.isSigningIn())
            loop.exec();
        QVERIFY(!auth.isSigningIn());
    }

private slots:
    void init()
    {
        QVERIFY(startServer());
        // No import noise at creation.
        platform::UserDefaults::setValue(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut), true);
    }
    void cleanup() { stopServer(); }

    void signInSucceeds_data()
    {
        QTest::addColumn<QByteArray>("tokens");
        QTest::addColumn<QString>("status");
        QTest::addColumn<qint64>("lifetime");
        QTest::newRow("with e-mail") << kTokens << "Signed in with Moonshelf as ada@example.com." << qint64(3600);
        QTest::newRow("without e-mail or expiry lasts six hours")
            << QByteArray(R"({"access_token":"at-1"})") << "Signed in with Moonshelf." << qint64(21600);
    }
    void signInSucceeds()
    {
        QFETCH(QByteArray, tokens);
        QFETCH(QString, status);
        QFETCH(qint64, lifetime);
        m_peer->enqueue(kDevicePath, OAuthServerPeer::json(200, deviceReply(
                                                                    R"("interval":5,"expires_in":600,)"
                                                                    "\"verification_uri\":\"https://example.test/device\","
                                                                    "\"verification_uri_complete\":\"https://example.test/device?c=1\"")));
        script(*m_peer, {QStringLiteral("400 ") + QString::fromUtf8(kPending), QStringLiteral("200 ") + QString::fromUtf8(tokens)});
        MoonshelfAuth &auth = makeAuth();

        QStringList log;
        const auto record = [&](const char *name, const QString &value) {
            log.append(QString::fromLatin1(name) + QLatin1Char('=') + value);
        };
        connect(&auth, &MoonshelfAuth::isSigningInChanged, this, [&] { record("signingIn", auth.isSigningIn() ? "yes" : "no"); });
        connect(&auth, &MoonshelfAuth::signInUserCodeChanged, this, [&] { record("code", text(auth.signInUserCode())); });
        connect(&auth, &MoonshelfAuth::signInVerificationURLChanged, this, [&] {
            record("url", auth.signInVerificationURL() ? auth.signInVerificationURL()->toString() : QStringLiteral("-"));
        });
        connect(&auth, &MoonshelfAuth::lastStatusChanged, this, [&] { record("status", text(auth.lastStatus())); });
        connect(&auth, &MoonshelfAuth::lastErrorChanged, this, [&] { record("error", text(auth.lastError())); });
        connect(&auth, &MoonshelfAuth::sessionChanged, this, [&] { record("session", auth.session() ? "set" : "none"); });

        const QDateTime start = m_rig->clock.current;
        signInToTheEnd(auth);
        QCOMPARE(log, (QStringList{
                          "signingIn=yes", "status=Starting Moonshelf sign-in\u2026", "code=ABCD-EFGH",
                          "url=https://example.test/device?c=1", "status=Approve code ABCD-EFGH in your browser",
                          "session=set", "status=" + status, "signingIn=no", "code=-", "url=-"}));
        QCOMPARE(m_rig->desktop.opened, (QList<QUrl>{QUrl(QStringLiteral("https://example.test/device?c=1"))}));
        QCOMPARE(m_rig->clock.sleptSeconds, (QList<qint64>{5, 5}));

        QVERIFY(auth.session().has_value());
        const auth::OAuthSession &s = *auth.session();
        SECRET_EQ(s.accessToken, QStringLiteral("at-1"));
        QCOMPARE(s.expiresAt, start.addSecs(10 + lifetime));
        QCOMPARE(s.clientId, QString::fromLatin1(auth::OAuth::kClientId));
        QCOMPARE(s.source, QStringLiteral("oauth"));
        QVERIFY(!s.userId);
        SECRET_EQ(auth::SessionFile::load(), auth.session());
        QVERIFY(!platform::UserDefaults::boolean(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut)));

        // The requests, byte for byte.
        const auto device = m_peer->requestsTo(kDevicePath);
        QCOMPARE(device.size(), 1);
        QCOMPARE(device[0].method, QByteArray("POST"));
        QCOMPARE(device[0].header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        SECRET_EQ(device[0].rawBody, QByteArray("client_id=7f3e2a91-0c5d-4e86-b2a4-9d1c6e8f3b57&scope=openid%20profile%"
                                               "20email%20offline_access%20qirv-cli%3Aaccess%20api%3Aaccess"));
        QVERIFY(device[0].header("Authorization").isEmpty());
        const auto polls = m_peer->requestsTo(kTokenPath);
        QCOMPARE(polls.size(), 2);
        QCOMPARE(polls[0].field(QStringLiteral("grant_type")),
                 QStringLiteral("urn:ietf:params:oauth:grant-type:device_code"));
        SECRET_EQ(polls[0].field(QStringLiteral("device_code")), QStringLiteral("dc-1"));
        QCOMPARE(polls[0].field(QStringLiteral("client_id")), QString::fromLatin1(auth::OAuth::kClientId));
    }

    // Which page the browser gets; only web pages are opened.
    void verificationPage_data()
    {
        QTest::addColumn<QByteArray>("fields");
        QTest::addColumn<QString>("opened"); // empty: none
        QTest::newRow("only verification_uri") << QByteArray("\"verification_uri\":\"https://example.test/a\"")
                                               << "https://example.test/a";
        QTest::newRow("complete wins")
            << QByteArray("\"verification_uri\":\"https://example.test/a\",\"verification_uri_complete\":\"https://example.test/b\"")
            << "https://example.test/b";
        QTest::newRow("neither") << QByteArray() << QString();
        QTest::newRow("not a string") << QByteArray(R"("verification_uri":7)") << QString();
        QTest::newRow("not a web page") << QByteArray("\"verification_uri\":\"file:///etc/passwd\"") << QString();
    }
    void verificationPage()
    {
        QFETCH(QByteArray, fields);
        QFETCH(QString, opened);
        m_peer->enqueue(kDevicePath, OAuthServerPeer::json(200, deviceReply(fields)));
        MoonshelfAuth &auth = makeAuth();
        m_rig->clock.hold = true;
        auth.startDeviceSignIn();
        QTRY_COMPARE_WITH_TIMEOUT(m_rig->clock.sleptSeconds.size(), 1, 10000);
        QCOMPARE(auth.signInUserCode(), std::optional(QStringLiteral("ABCD-EFGH")));
        QCOMPARE(auth.signInVerificationURL().has_value(), !opened.isEmpty());
        QCOMPARE(m_rig->desktop.opened, opened.isEmpty() ? QList<QUrl>() : QList<QUrl>{QUrl(opened)});
        auth.cancelSignIn();
        m_rig->clock.release();
    }

    void intervals_data()
    {
        QTest::addColumn<QByteArray>("interval");
        QTest::addColumn<QStringList>("replies");
        QTest::addColumn<QList<qint64>>("sleeps");
        const QString pending = QStringLiteral("400 ") + QString::fromUtf8(kPending);
        const QString ok = QStringLiteral("200 ") + QString::fromUtf8(kTokens);
        const QString slow = QStringLiteral("400 {\"error\":\"slow_down\"}");
        QTest::newRow("missing gives 5") << QByteArray() << QStringList{pending, ok} << QList<qint64>{5, 5};
        QTest::newRow("1 is raised to the floor of 3") << QByteArray(R"("interval":1)") << QStringList{pending, ok}
                                                       << QList<qint64>{3, 3};
        QTest::newRow("0 is raised to 3") << QByteArray(R"("interval":0)") << QStringList{ok} << QList<qint64>{3};
        QTest::newRow("4 stays") << QByteArray(R"("interval":4)") << QStringList{pending, ok} << QList<qint64>{4, 4};
        QTest::newRow("fractional counts as missing") << QByteArray(R"("interval":2.5)") << QStringList{ok}
                                                      << QList<qint64>{5};
        QTest::newRow("text counts as missing") << QByteArray(R"("interval":"2")") << QStringList{ok} << QList<qint64>{5};
        QTest::newRow("slow_down keeps adding 5") << QByteArray(R"("interval":5)") << QStringList{slow, slow, pending, ok}
                                                  << QList<qint64>{5, 10, 15, 15};
    }
    void intervals()
    {
        QFETCH(QByteArray, interval);
        QFETCH(QStringList, replies);
        QFETCH(QList<qint64>, sleeps);
        m_peer->enqueue(kDevicePath, OAuthServerPeer::json(200, deviceReply(interval)));
        script(*m_peer, replies);
        MoonshelfAuth &auth = makeAuth();
        signInToTheEnd(auth);
        QVERIFY2(auth.session().has_value(), qPrintable(text(auth.lastError())));
        QCOMPARE(m_rig->clock.sleptSeconds, sleeps);
    }

    // A poll that comes early draws slow_down from a strict server: the
    // real clock never wakes before its time, though its timers are coarse.
    void systemClockNeverWakesEarly()
    {
        for (const int ms : {180, 400}) {
            QElapsedTimer elapsed;
            elapsed.start();
            QCoro::waitFor(auth::systemClock().sleep(std::chrono::milliseconds(ms)));
            QVERIFY2(elapsed.elapsed() >= ms, qPrintable(QString::number(elapsed.elapsed())));
        }
    }

    void pollOutcomes_data()
    {
        QTest::addColumn<QStringList>("replies");
        QTest::addColumn<QString>("error"); // "-": signed in
        const QString pending = QStringLiteral("400 ") + QString::fromUtf8(kPending);
        const QString ok = QStringLiteral("200 ") + QString::fromUtf8(kTokens);
        QTest::newRow("access_denied") << QStringList{pending, "400 {\"error\":\"access_denied\"}"}
                                       << "Sign-in denied (access_denied).";
        QTest::newRow("expired_token") << QStringList{"400 {\"error\":\"expired_token\"}"}
                                       << "Sign-in denied (expired_token).";
        // The standard's other final answers end the sign-in at once too.
        for (const char *word : {"invalid_request", "invalid_client", "invalid_grant", "unauthorized_client",
                                 "unsupported_grant_type", "invalid_scope"}) {
            QTest::addRow("%s ends at once", word)
                << QStringList{pending, QStringLiteral("400 {\"error\":\"%1\"}").arg(QLatin1String(word))}
                << QStringLiteral("Sign-in denied (%1).").arg(QLatin1String(word));
        }
        QTest::newRow("missing error keeps polling") << QStringList{"400 {\"error_description\":\"x\"}", ok} << "-";
        QTest::newRow("200 without a token keeps polling")
            << QStringList{"200 {\"error\":\"authorization_pending\"}", ok} << "-";
        QTest::newRow("token with another status than 200 is refused")
            << QStringList{"201 {\"access_token\":\"x\"}", "400 {\"error\":\"access_denied\"}"}
            << "Sign-in denied (access_denied).";
        QTest::newRow("not JSON and unknown words keep polling")
            << QStringList{"502 <html>bad gateway</html>", "400 {\"error\":\"teapot\"}", "400 {\"error\":5}", ok} << "-";
        QTest::newRow("empty access token is accepted") << QStringList{"200 {\"access_token\":\"\"}"} << "-";
        // A token that could never be sent is refused before it is stored.
        const QString tooLarge = QStringLiteral("Ovu auth sent a token larger than 16 KB; it was not saved.");
        QTest::newRow("access token over 16 KB")
            << QStringList{QStringLiteral("200 {\"access_token\":\"%1\"}").arg(QString(16 * 1024 + 1, u'a'))} << tooLarge;
        QTest::newRow("access token of 65,536 bytes")
            << QStringList{QStringLiteral("200 {\"access_token\":\"%1\"}").arg(QString(65'536, u'a'))} << tooLarge;
        QTest::newRow("refresh token over 16 KB")
            << QStringList{QStringLiteral("200 {\"access_token\":\"a\",\"refresh_token\":\"%1\"}").arg(QString(20'000, u'r'))}
            << tooLarge;
        QTest::newRow("token of exactly 16 KB is taken")
            << QStringList{QStringLiteral("200 {\"access_token\":\"%1\"}").arg(QString(16 * 1024, u'a'))} << "-";
        // An answer that cannot be read ends the sign-in and says what came;
        // a gateway's or a busy server's is asked again.
        QTest::newRow("small token in a reply too long to read")
            << QStringList{QStringLiteral("200 {\"access_token\":\"a\",\"x\":\"%1\"}").arg(QString(300'000, u'x'))}
            << "The answer from Ovu auth was over 256 KB, too large to read.";
        QTest::newRow("web page with 200")
            << QStringList{pending, "200 <!DOCTYPE html><html><head><title>Sign in &amp; go</title></head><body>x</body></html>"}
            << "The answer from Ovu auth was a web page, not JSON: \u201cSign in & go\u201d.";
        QTest::newRow("XML with 403")
            << QStringList{"403 <?xml version=\"1.0\"?><Error><Message>Access denied</Message></Error>"}
            << "The answer from Ovu auth was not JSON: \u201cAccess denied\u201d.";
        QTest::newRow("busy server and time-out keep polling")
            << QStringList{"503 Service Unavailable", "429 slow down", "408 ", "500 {\"access_token\":", ok} << "-";
    }
    void pollOutcomes()
    {
        QFETCH(QStringList, replies);
        QFETCH(QString, error);
        m_peer->enqueue(kDevicePath, OAuthServerPeer::json(200, deviceReply()));
        script(*m_peer, replies);
        MoonshelfAuth &auth = makeAuth();
        signInToTheEnd(auth);
        QCOMPARE(m_peer->requestsTo(kTokenPath).size(), replies.size());
        if (error == QLatin1String("-")) {
            QVERIFY(auth.session().has_value());
            QVERIFY(auth.lastStatus()->startsWith(QStringLiteral("Signed in with Moonshelf")));
            return;
        }
        QVERIFY(!auth.session());
        QCOMPARE(auth.lastError(), std::optional(error));
        QCOMPARE(auth.lastStatus(), std::optional(QStringLiteral("Sign-in failed")));
        // The code stays shown after a failure.
        QCOMPARE(auth.signInUserCode(), std::optional(QStringLiteral("ABCD-EFGH")));
    }

    // Without expires_in the code lasts 1800 s; the deadline is tested
    // before each sleep.
    void codeExpires()
    {
        m_peer->enqueue(kDevicePath, OAuthServerPeer::json(200, deviceReply()));
        m_peer->setFallback(kTokenPath, OAuthServerPeer::json(400, kPending));
        MoonshelfAuth &auth = makeAuth();
        const QDateTime start = m_rig->clock.current;
        signInToTheEnd(auth);
        QCOMPARE(auth.lastError(), std::optional(QStringLiteral("Sign-in timed out. Try again and approve in the browser.")));
        QCOMPARE(auth.lastStatus(), std::optional(QStringLiteral("Sign-in failed")));
        QCOMPARE(m_peer->requestsTo(kTokenPath).size(), 1800 / 5);
        QCOMPARE(m_rig->clock.current, start.addSecs(1800));
    }

    void deviceCodeFailures_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("error"); // "<parser>": the JSON parser's text
        QTest::newRow("server error with body") << 500 << QByteArray("oops") << "Device code failed: oops";
        // The service's words, not its markup, and never a whole page.
        QTest::newRow("HTML page gives its title")
            << 502 << QByteArray("<html><head><title>502 Bad Gateway</title></head><body><h1>x</h1></body></html>")
            << "Device code failed: 502 Bad Gateway";
        QTest::newRow("JSON error gives its description")
            << 400 << QByteArray(R"({"error":"invalid_client","error_description":"Unknown client"})")
            << "Device code failed: Unknown client";
        QTest::newRow("a megabyte is cut short") << 500 << QByteArray(1 << 20, 'x')
                                                 << "Device code failed: " + QString(600, u'x') + u'\u2026';
        QTest::newRow("body not UTF-8") << 400 << QByteArray("\xff\xfe") << "Device code failed: ";
        QTest::newRow("not JSON") << 200 << QByteArray("nope")
                                  << "The answer from Ovu auth was not JSON: \u201cnope\u201d.";
        QTest::newRow("web page")
            << 200 << QByteArray("<html><head><title>Captive portal</title></head><body><p>Log in</p></body></html>")
            << "The answer from Ovu auth was a web page, not JSON: \u201cCaptive portal\u201d.";
        QTest::newRow("web page without a title") << 200 << QByteArray("<!doctype html>\n<body></body>")
                                                  << "The answer from Ovu auth was a web page, not JSON.";
        QTest::newRow("ten megabytes") << 200 << "{\"device_code\":\"" + QByteArray(10 << 20, 'd') + "\"}"
                                       << "The answer from Ovu auth was over 256 KB, too large to read.";
        QTest::newRow("broken JSON") << 200 << QByteArray(R"({"device_code":"d",)")
                                     << "The answer from Ovu auth was not valid JSON (<parser>).";
        QTest::newRow("empty") << 200 << QByteArray() << "The answer from Ovu auth was empty.";
        QTest::newRow("bytes that are not text") << 200 << QByteArray("\xff\xfe\x01")
                                                 << "The answer from Ovu auth was not JSON.";
        QTest::newRow("not an object") << 200 << QByteArray("[]") << "Unexpected response from Ovu auth.";
        QTest::newRow("no user code") << 200 << QByteArray(R"({"device_code":"d"})")
                                      << "Unexpected response from Ovu auth.";
        QTest::newRow("device code of the wrong type") << 200 << QByteArray(R"({"device_code":5,"user_code":"u"})")
                                                       << "Unexpected response from Ovu auth.";
    }
    void deviceCodeFailures()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, error);
        error.replace(QStringLiteral("<parser>"), parserText(body));
        m_peer->enqueue(kDevicePath, OAuthServerPeer::json(status, body));
        MoonshelfAuth &auth = makeAuth();
        signInToTheEnd(auth);
        QCOMPARE(auth.lastError(), std::optional(error));
        QCOMPARE(auth.lastStatus(), std::optional(QStringLiteral("Sign-in failed")));
        QVERIFY(m_peer->requestsTo(kTokenPath).isEmpty());
    }

    void transportFailure()
    {
        QVERIFY(pointAtClosedPort());
        MoonshelfAuth &auth = makeAuth();
        signInToTheEnd(auth);
        QVERIFY(auth.lastError() && auth.lastError()->contains(QStringLiteral("refused"), Qt::CaseInsensitive));
        QCOMPARE(auth.lastStatus(), std::optional(QStringLiteral("Sign-in failed")));
    }

    // Cancel during the wait: the task ends and writes nothing more.
    void cancelWhileWaiting()
    {
        m_peer->enqueue(kDevicePath, OAuthServerPeer::json(200, deviceReply()));
        m_peer->setFallback(kTokenPath, OAuthServerPeer::json(200, kTokens));
        MoonshelfAuth &auth = makeAuth();
        m_rig->clock.hold = true;
        auth.startDeviceSignIn();
        QTRY_COMPARE_WITH_TIMEOUT(m_rig->clock.sleptSeconds.size(), 1, 10000);
        auth.cancelSignIn();
        QVERIFY(!auth.isSigningIn());
        QVERIFY(!auth.signInUserCode());
        QCOMPARE(auth.lastStatus(), std::optional(QStringLiteral("Sign-in cancelled")));
        m_rig->clock.hold = false;
        m_rig->clock.release();
        QTest::qWait(50);
        QVERIFY(m_peer->requestsTo(kTokenPath).isEmpty());
        QVERIFY(!auth.session());
        QCOMPARE(auth.lastStatus(), std::optional(QStringLiteral("Sign-in cancelled")));
    }

    // Cancel while a request hangs, then sign in again.
    void cancelDuringHangingRequest_data()
    {
        QTest::addColumn<bool>("deviceCodeHangs");
        QTest::newRow("token request hangs") << false;
        QTest::newRow("device-code request hangs") << true;
    }
    void cancelDuringHangingRequest()
    {
        QFETCH(bool, deviceCodeHangs);
        OAuthServerPeer::Reply hang;
        hang.hang = true;
        if (deviceCodeHangs) {
            m_peer->enqueue(kDevicePath, hang);
        } else {
            m_peer->enqueue(kDevicePath, OAuthServerPeer::json(200, deviceReply()));
            m_peer->enqueue(kTokenPath, hang);
        }
        MoonshelfAuth &auth = makeAuth();
        auth.startDeviceSignIn();
        if (deviceCodeHangs)
            QTRY_COMPARE_WITH_TIMEOUT(m_peer->requestsTo(kDevicePath).size(), 1, 10000);
        else
            QTRY_COMPARE_WITH_TIMEOUT(m_peer->requestsTo(kTokenPath).size(), 1, 10000);
        auth.cancelSignIn();
        QVERIFY(!auth.isSigningIn());
        QCOMPARE(auth.lastStatus(), std::optional(QStringLiteral("Sign-in cancelled")));
        QVERIFY(!auth.lastError());

        m_peer->enqueue(kDevicePath, OAuthServerPeer::json(200, deviceReply()));
        m_peer->enqueue(kTokenPath, OAuthServerPeer::json(200, kTokens));
        signInToTheEnd(auth);
        QVERIFY(auth.session().has_value());
        QCOMPARE(auth.lastStatus(), std::optional(QStringLiteral("Signed in with Moonshelf as ada@example.com.")));
    }

    // A restarted sign-in is not overwritten by the old one.
    void restartIsNotOverwritten()
    {
        m_peer->enqueue(kDevicePath, OAuthServerPeer::json(200, deviceReply()));
        m_peer->enqueue(kDevicePath,
                        OAuthServerPeer::json(200, R"({"device_code":"dc-2","user_code":"WXYZ-0000","interval":5})"));
        m_peer->setFallback(kTokenPath, OAuthServerPeer::json(200, kTokens));
        MoonshelfAuth &auth = makeAuth();
        m_rig->clock.hold = true;
        auth.startDeviceSignIn();
        QTRY_COMPARE_WITH_TIMEOUT(m_rig->clock.sleptSeconds.size(), 1, 10000);
        QStringList statuses;
        connect(&auth, &MoonshelfAuth::lastStatusChanged, this, [&] { statuses.append(text(auth.lastStatus())); });
        auth.startDeviceSignIn();
        QTRY_COMPARE_WITH_TIMEOUT(m_rig->clock.sleptSeconds.size(), 2, 10000);
        m_rig->clock.hold = false;
        m_rig->clock.release(); // both tasks wake
        QTRY_VERIFY_WITH_TIMEOUT(!auth.isSigningIn(), 10000);
        QTest::qWait(20);
        QCOMPARE(statuses, (QStringList{"Starting Moonshelf sign-in\u2026", "Approve code WXYZ-0000 in your browser",
                                        "Signed in with Moonshelf as ada@example.com."}));
        const auto polls = m_peer->requestsTo(kTokenPath);
        QCOMPARE(polls.size(), 1);
        SECRET_EQ(polls[0].field(QStringLiteral("device_code")), QStringLiteral("dc-2"));
    }

    // A token reply that arrives after cancel or sign-out signs nobody in.
    void lateTokenReply_data()
    {
        QTest::addColumn<bool>("signOut");
        QTest::newRow("after sign-out") << true;
        QTest::newRow("after cancel") << false;
    }
    void lateTokenReply()
    {
        QFETCH(bool, signOut);
        m_peer->enqueue(kDevicePath, OAuthServerPeer::json(200, deviceReply()));
        OAuthServerPeer::Reply held = OAuthServerPeer::json(200, kTokens);
        held.held = true;
        m_peer->enqueue(kTokenPath, held);
        MoonshelfAuth &auth = makeAuth();
        auth.startDeviceSignIn();
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->heldCount(), 1, 10000);
        if (signOut)
            auth.signOut();
        else
            auth.cancelSignIn();
        m_peer->release();
        QTest::qWait(50);
        QVERIFY(!auth.session());
        QVERIFY(!auth::SessionFile::load());
        QCOMPARE(auth.lastStatus(), std::optional(signOut ? QStringLiteral("Signed out") : QStringLiteral("Sign-in cancelled")));
        QVERIFY(!auth.isSigningIn());
    }

    // The object may go away while its sign-in waits on the network or a sleep.
    void objectGoneMidSignIn_data()
    {
        QTest::addColumn<bool>("duringSleep");
        QTest::newRow("during a hanging request") << false;
        QTest::newRow("during a sleep") << true;
    }
    void objectGoneMidSignIn()
    {
        QFETCH(bool, duringSleep);
        m_peer->enqueue(kDevicePath, OAuthServerPeer::json(200, deviceReply()));
        OAuthServerPeer::Reply hang;
        hang.hang = true;
        m_peer->setFallback(kTokenPath, hang);
        MoonshelfAuth &auth = makeAuth();
        m_rig->clock.hold = duringSleep;
        auth.startDeviceSignIn();
        if (duringSleep)
            QTRY_COMPARE_WITH_TIMEOUT(m_rig->clock.sleptSeconds.size(), 1, 10000);
        else
            QTRY_COMPARE_WITH_TIMEOUT(m_peer->requestsTo(kTokenPath).size(), 1, 10000);
        m_rig->auth.reset();
        m_rig->clock.release();
        QTest::qWait(50);
        QCOMPARE(m_peer->requestsTo(kTokenPath).size(), duringSleep ? 0 : 1);
    }

    // A failed sign-in leaves an earlier session signed in.
    void failureKeepsEarlierSession()
    {
        QVERIFY(auth::SessionFile::save(sampleSession(QDateTime(QDate(2030, 1, 1), QTime(0, 0), Qt::UTC))).isEmpty());
        m_peer->enqueue(kDevicePath, OAuthServerPeer::json(200, deviceReply()));
        script(*m_peer, {QStringLiteral("400 {\"error\":\"access_denied\"}")});
        MoonshelfAuth &auth = makeAuth();
        const auto before = auth.session();
        QVERIFY(before.has_value());
        signInToTheEnd(auth);
        SECRET_EQ(auth.session(), before);
        QCOMPARE(auth.lastStatus(), std::optional(QStringLiteral("Sign-in failed")));
    }
};

MOONSHELF_TEST_GUILESS_MAIN(SignInTest)
#include "tst_auth_signin.moc"
