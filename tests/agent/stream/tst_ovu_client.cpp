#include "agent/stream/FramePacer.h"
#include "agent/stream/OVUClient.h"
#include "agent/stream/RunCancellation.h"
#include "agent/stream/StreamExchange.h"
#include "support/ChatServicePeer.h"
#include "support/TaskWait.h"
#include "support/TestMain.h"

#include <QCoroTask>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QLocale>
#include <QNetworkAccessManager>

using agent::OVUClient;
using agent::OVUClientError;
using agent::RunCancellation;
using agent::TurnResult;
using testsupport::ChatServicePeer;
using Framing = ChatServicePeer::Framing;

Q_DECLARE_METATYPE(Framing)

namespace {

const QJsonArray kMessages{QJsonObject{{"role", "system"}, {"content", "S"}}, QJsonObject{{"role", "user"}, {"content", "hi"}}};

struct Call {
    TurnResult result = TurnResult::failure(OVUClientError::invalidResponse());
    QStringList fragments;
};

} // namespace

class TestOVUClient : public QObject {
    Q_OBJECT

    QNetworkAccessManager m_network;
    std::unique_ptr<ChatServicePeer> m_peer;
    std::unique_ptr<OVUClient> m_client;

    Call call(const QString &token = QStringLiteral("tok"), const QJsonArray &tools = {},
              std::shared_ptr<RunCancellation> cancellation = {})
    {
        Call out;
        auto fragments = std::make_shared<QStringList>();
        out.result = testsupport::waitForTask(m_client->streamComplete(
            token, QStringLiteral("qirv-4.5"), kMessages, tools,
            [fragments](const QString &f) { fragments->append(f); }, std::move(cancellation)));
        out.fragments = *fragments;
        return out;
    }

private slots:
    void init()
    {
        m_network.setRedirectPolicy(QNetworkRequest::SameOriginRedirectPolicy);
        m_network.clearConnectionCache();
        m_peer = std::make_unique<ChatServicePeer>();
        QVERIFY(m_peer->listen());
        m_client = std::make_unique<OVUClient>(m_network, m_peer->endpoint());
    }

    void cleanup()
    {
        m_client.reset();
        m_peer.reset();
    }

    void defaultEndpointFollowsTheOverride()
    {
        qputenv("MOONSHELF_API_BASE", "http://127.0.0.1:9/base/");
        QCOMPARE(OVUClient::defaultEndpoint(), QUrl("http://127.0.0.1:9/base/v1/chat/completions"));
        qunsetenv("MOONSHELF_API_BASE");
    }

    void requestShape()
    {
        m_peer->enqueue(ChatServicePeer::textReply("ok"));
        m_peer->enqueue(ChatServicePeer::textReply("ok"));
        QVERIFY(call().result.ok());
        const QJsonArray tools{QJsonObject{{"type", "function"}}};
        QVERIFY(call(QStringLiteral("k2"), tools).result.ok());

        const auto requests = m_peer->requests();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[0].method, QByteArray("POST"));
        QCOMPARE(requests[0].path, QByteArray("/v1/chat/completions"));
        QCOMPARE(requests[0].headers.value("authorization"), QByteArray("Bearer tok"));
        QCOMPARE(requests[0].headers.value("content-type"), QByteArray("application/json"));
        const QJsonObject plain = requests[0].json();
        QCOMPARE(plain.keys(), (QStringList{"messages", "model", "stream"}));
        QCOMPARE(plain.value("messages").toArray(), kMessages);
        QCOMPARE(plain.value("stream"), QJsonValue(true));
        QCOMPARE(plain.value("model"), QJsonValue("qirv-4.5"));
        const QJsonObject withTools = requests[1].json();
        QCOMPARE(withTools.value("tools").toArray(), tools);
        QCOMPARE(withTools.value("tool_choice"), QJsonValue("auto"));
        QCOMPARE(requests[1].headers.value("authorization"), QByteArray("Bearer k2"));
    }

    void finishedTurnsShareOneConnection()
    {
        for (int i = 0; i < 3; ++i)
            m_peer->enqueue(ChatServicePeer::textReply("t"));
        for (int i = 0; i < 3; ++i) {
            QVERIFY(call().result.ok());
            // A turn is whole at its end mark, but its connection is free
            // only once the rest of the reply has been read and the
            // transfer has ended; a turn sent before that needs another.
            QTRY_VERIFY_WITH_TIMEOUT(
                m_client->findChildren<agent::StreamExchange *>(Qt::FindDirectChildrenOnly).isEmpty(), 30'000);
        }
        QCOMPARE(m_peer->connectionCount(), 1);
    }

    void emptyTokenSendsNothing_data()
    {
        QTest::addColumn<QString>("token");
        QTest::newRow("empty") << QString();
        QTest::newRow("line break would add a header") << QStringLiteral("tok\r\nX-Injected: 1");
        QTest::newRow("NUL would cut the header") << QStringLiteral("tok") + QChar(0) + QStringLiteral("rest");
    }

    void emptyTokenSendsNothing()
    {
        QFETCH(QString, token);
        const Call out = call(token);
        QVERIFY(!out.result.ok());
        QCOMPARE(out.result.error().kind, OVUClientError::Kind::MissingAPIKey);
        QCOMPARE(out.result.error().description(),
                 QStringLiteral("Sign in with Moonshelf or add an API key in Settings (Ctrl+,)."));
        QCOMPARE(m_peer->requestCount(), 0);
    }

    void errorStatuses_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        QTest::newRow("401") << 401 << QByteArray("bad\ntoken")
                             << "Auth failed (401). Sign in with Moonshelf again in Settings. Details: badtoken";
        QTest::newRow("403") << 403 << QByteArray("no")
                             << "Ovu denied access (403). Your Moonshelf session may lack API entitlement for this "
                                "model, or the subscription needs re-auth. Details: no";
        QTest::newRow("404-lines-joined") << 404 << QByteArray("a\nb") << "Ovu API error 404: ab";
        QTest::newRow("429-crlf") << 429 << QByteArray("{\"error\":\r\n\"slow down\"}")
                                  << "Ovu API error 429: slow down";
        // A body that says nothing: the status's reason.
        QTest::newRow("500-empty") << 500 << QByteArray() << "Ovu API error 500: Internal Server Error";
        QTest::newRow("429-blank") << 429 << QByteArray(" \r\n") << "Ovu API error 429: Too Many Requests";
        QTest::newRow("503-empty-json") << 503 << QByteArray(R"({"error":{"message":""}})")
                                        << "Ovu API error 503: Service Unavailable";
        // The service's words, not its markup.
        QTest::newRow("json-error-message")
            << 500 << QByteArray(R"({"error":{"message":"The server is overloaded","type":"server_error"}})")
            << "Ovu API error 500: The server is overloaded";
        QTest::newRow("json-message") << 400 << QByteArray(R"({"message":"Unknown model"})")
                                      << "Ovu API error 400: Unknown model";
        QTest::newRow("json-error-description")
            << 400 << QByteArray(R"({"error":"invalid_request","error_description":"Missing model"})")
            << "Ovu API error 400: Missing model";
        QTest::newRow("json-detail") << 422 << QByteArray(R"({"detail":"Field required"})")
                                     << "Ovu API error 422: Field required";
        QTest::newRow("json-without-known-words") << 500 << QByteArray(R"({"code":7})")
                                                  << "Ovu API error 500: {\"code\":7}";
        QTest::newRow("message-list") << 400 << QByteArray(R"({"error":{"message":["model is required","bad"]}})")
                                      << "Ovu API error 400: model is required";
        QTest::newRow("message-number") << 400 << QByteArray(R"({"error":{"message":12}})") << "Ovu API error 400: 12";
        QTest::newRow("message-object")
            << 400 << QByteArray(R"({"error":{"message":{"message":"nested words"}}})")
            << "Ovu API error 400: nested words";
        QTest::newRow("error-code-only") << 429 << QByteArray(R"({"error":{"code":"rate_limit_exceeded"}})")
                                         << "Ovu API error 429: rate_limit_exceeded";
        QTest::newRow("error-type-only") << 500 << QByteArray(R"({"error":{"type":"server_error","param":null}})")
                                         << "Ovu API error 500: server_error";
        QTest::newRow("top-message-before-error-code")
            << 429 << QByteArray(R"({"error":{"code":429},"message":"Slow down"})") << "Ovu API error 429: Slow down";
        QTest::newRow("detail-list")
            << 422 << QByteArray(R"({"detail":[{"loc":["body","model"],"msg":"field required","type":"missing"}]})")
            << "Ovu API error 422: field required";
        // Only the first 64 KB are read: what they hold is still read.
        QTest::newRow("json-over-64-kb-cut-in-a-value")
            << 400 << "{\"error\":{\"message\":\"Context too long\",\"input\":\"" + QByteArray(100000, 'x') + "\"}}"
            << "Ovu API error 400: Context too long";
        QTest::newRow("json-over-64-kb-message-cut")
            << 400 << "{\"error\":{\"message\":\"" + QByteArray(100000, 'y') + "\"}}"
            << "Ovu API error 400: " + QString(600, u'y') + u'\u2026';
        QTest::newRow("json-over-64-kb-cut-in-a-key")
            << 400 << R"({"error":{"code":"too_long","p":[)" + QByteArray("1,").repeated(40000) + R"(1]}})"
            << "Ovu API error 400: too_long";
        QTest::newRow("html-title")
            << 502
            << QByteArray("<html>\r\n<head><title>502 Bad Gateway</title></head>\r\n<body>\r\n<center><h1>502 Bad "
                          "Gateway</h1></center>\r\n<hr><center>nginx</center>\r\n</body>\r\n</html>\r\n")
            << "Ovu API error 502: 502 Bad Gateway";
        QTest::newRow("html-first-line-of-text")
            << 503
            << QByteArray("<!DOCTYPE html>\n<html><head><style>p{}</style><script>x<1</script></head>"
                          "<body>\n<p>Service &amp; API <b>down</b> &#8212; back soon</p><p>Later</p></body></html>")
            << QString::fromUtf8("Ovu API error 503: Service & API down \xe2\x80\x94 back soon");
        QTest::newRow("text-in-brackets-is-not-json") << 502 << QByteArray("[1] upstream unavailable")
                                                      << "Ovu API error 502: [1] upstream unavailable";
        QTest::newRow("json-nested-beyond-64-kb") << 400 << QByteArray(100000, '[')
                                                  << "Ovu API error 400: " + QString(600, u'[') + u'\u2026';
        QTest::newRow("html-title-in-a-comment-is-not-the-title")
            << 502 << QByteArray("<html><!-- <title>Old page</title> --><head><title>Bad gateway</title></head></html>")
            << "Ovu API error 502: Bad gateway";
        QTest::newRow("html-title-in-a-script-is-not-the-title")
            << 502 << QByteArray("<html><script>t='<title>x</title>'</script><title>Upstream down</title></html>")
            << "Ovu API error 502: Upstream down";
        QTest::newRow("control-characters-removed") << 500 << QByteArray("a\x1b[2Jb\x07" "c\x7f")
                                                    << "Ovu API error 500: a[2Jbc";
        QTest::newRow("json-message-control-characters")
            << 500 << QByteArray(R"({"message":"line one\nline\u0000two\u202e"})")
            << "Ovu API error 500: line one linetwo";
    }

    void errorStatuses()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        m_peer->enqueue(ChatServicePeer::errorReply(status, body));
        const Call out = call();
        QVERIFY(!out.result.ok());
        QCOMPARE(out.result.error().kind, OVUClientError::Kind::HttpStatus);
        QCOMPARE(out.result.error().statusCode, status);
        QCOMPARE(out.result.error().description(), text);
        QVERIFY(out.fragments.isEmpty());
    }

    // A 429 or 503 that says when to try again says it in the error, once.
    void retryAfter_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("retryAfter");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        const QByteArray busy(R"({"error":{"message":"Rate limit reached"}})");
        const QString reached = QStringLiteral("Ovu API error 429: Rate limit reached");
        QTest::newRow("429-seconds") << 429 << QByteArray("30") << busy << reached + ". Try again in 30 s.";
        QTest::newRow("503-minutes-empty-body") << 503 << QByteArray("120") << QByteArray()
                                                << "Ovu API error 503: Service Unavailable. Try again in 2 min.";
        QTest::newRow("an-hour") << 429 << QByteArray("3600") << busy << reached + ". Try again in 60 min.";
        QTest::newRow("beyond-an-hour") << 429 << QByteArray("3601") << QByteArray("Slow down!")
                                        << "Ovu API error 429: Slow down! Try again later.";
        QTest::newRow("huge") << 429 << QByteArray("100000000000000000000000") << busy << reached + ". Try again later.";
        QTest::newRow("blanks-around") << 429 << QByteArray(" \t45 ") << busy << reached + ". Try again in 45 s.";
        QTest::newRow("zero") << 429 << QByteArray("0") << busy << reached;
        for (const char *odd : {"soon", "1e10", "-5", "+30", "3.5", "30s", "0x1E", "1 0"})
            QTest::addRow("%s-ignored", odd) << 429 << QByteArray(odd) << busy << reached;
        const auto httpDate = [](qint64 fromNow, const char *format) {
            return QLocale::c().toString(QDateTime::currentDateTimeUtc().addSecs(fromNow), QString::fromLatin1(format)).toLatin1();
        };
        QTest::newRow("date-ahead") << 503 << httpDate(600, "ddd, dd MMM yyyy hh:mm:ss 'GMT'") << busy
                                    << "Ovu API error 503: Rate limit reached. Try again in 10 min.";
        QTest::newRow("asctime-date-ahead") << 429 << httpDate(1200, "ddd MMM d hh:mm:ss yyyy") << busy
                                            << reached + ". Try again in 20 min.";
        QTest::newRow("date-far-ahead") << 429 << httpDate(86400, "ddd, dd MMM yyyy hh:mm:ss 'GMT'") << busy
                                        << reached + ". Try again later.";
        QTest::newRow("date-passed") << 429 << httpDate(-600, "ddd, dd MMM yyyy hh:mm:ss 'GMT'") << busy << reached;
        QTest::newRow("rfc850-date-ahead") << 429 << httpDate(300, "dddd, dd-MMM-yy hh:mm:ss 'GMT'") << busy
                                           << reached + ". Try again in 5 min.";
        QTest::newRow("rfc850-date-passed") << 429 << QByteArray("Sunday, 06-Nov-94 08:49:37 GMT") << busy << reached;
        QTest::newRow("date-not-in-gmt-ignored") << 429 << httpDate(600, "ddd, dd MMM yyyy hh:mm:ss '+0100'") << busy
                                                 << reached;
        QTest::newRow("words-without-when") << 429 << QByteArray("20")
                                            << QByteArray("Limit: 3 requests per min. Used 3 of 3 this minute")
                                            << "Ovu API error 429: Limit: 3 requests per min. Used 3 of 3 this minute. "
                                               "Try again in 20 s.";
        QTest::newRow("500-not-a-retry-status") << 500 << QByteArray("30") << QByteArray("busy")
                                                << "Ovu API error 500: busy";
        // The service's words already say when.
        for (const char *words : {"Please try again in 20s.", "Try again in 5 minutes", "Retry after 30 seconds.",
                                  "Rate limited; retry in 2s", "Please wait 10 seconds", "Try again in 1m30s.",
                                  "Quota resets at 14:30 UTC.", "Come back after 3 pm", "Try again in a few minutes"}) {
            QTest::addRow("words-say-when: %s", words)
                << 429 << QByteArray("20") << QByteArray(words) << "Ovu API error 429: " + QString::fromLatin1(words);
        }
    }

    void retryAfter()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, retryAfter);
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        ChatServicePeer::Reply reply = ChatServicePeer::errorReply(status, body);
        reply.headers.append({"Retry-After", retryAfter});
        m_peer->enqueue(reply);
        const Call out = call();
        QVERIFY(!out.result.ok());
        QCOMPARE(out.result.error().description(), text);
    }

    // An error body that trickles, or does not come, does not hold the
    // turn: after a few seconds what came is shown.
    void slowErrorBodyEnds_data()
    {
        QTest::addColumn<ChatServicePeer::Reply>("reply");
        QTest::addColumn<QString>("text");
        ChatServicePeer::Reply trickle = ChatServicePeer::errorReply(
            500, "{\"error\":{\"message\":\"The engine is overloaded\",\"trace\":\"" + QByteArray(1400, 't') + "\"}}");
        trickle.pieceSize = 14;
        trickle.pieceDelayMs = 200; // 20 s for the whole body
        QTest::newRow("trickle") << trickle << "Ovu API error 500: The engine is overloaded";
        ChatServicePeer::Reply silent = ChatServicePeer::errorReply(503, "busy");
        silent.stallAfter = 0;
        QTest::newRow("silent") << silent << "Ovu API error 503: Service Unavailable";
    }

    void slowErrorBodyEnds()
    {
        QFETCH(ChatServicePeer::Reply, reply);
        QFETCH(QString, text);
        m_peer->enqueue(reply);
        QElapsedTimer timer;
        timer.start();
        const Call out = call();
        QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(!out.result.ok());
        QCOMPARE(out.result.error().description(), text);
    }

    // A huge error body (or one that never ends) is not read whole: the
    // turn ends after its start, with about 600 characters of it.
    void largeErrorBodyIsCut_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("endless");
        QTest::addColumn<QString>("shown");
        QTest::newRow("4 MB of text") << QByteArray(4 << 20, 'x') << false << QString(600, u'x') + u'\u2026';
        QTest::newRow("endless body") << QByteArray(200'000, 'y') << true << QString(600, u'y') + u'\u2026';
        // A crescent moon: 4 bytes, 2 code units; the read stops inside one.
        const QByteArray moon("\xf0\x9f\x8c\x99");
        QTest::newRow("cut between characters") << "a" + moon.repeated(100'000) << false
                                                << "a" + QString::fromUtf8(moon.repeated(599)) + u'\u2026';
    }

    void largeErrorBodyIsCut()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, endless);
        QFETCH(QString, shown);
        ChatServicePeer::Reply reply = ChatServicePeer::errorReply(500, body);
        reply.framing = Framing::ContentLength;
        if (endless)
            reply.stallAfter = body.size() - 1; // the rest never comes; the connection stays open
        m_peer->enqueue(reply);
        // Long enough that a client waiting for the body's end would be seen.
        m_client->setTransferTimeout(std::chrono::seconds(60));
        QElapsedTimer timer;
        timer.start();
        const Call out = call();
        QVERIFY(timer.elapsed() < 30'000);
        QVERIFY(!out.result.ok());
        QCOMPARE(out.result.error().kind, OVUClientError::Kind::HttpStatus);
        QCOMPARE(out.result.error().description(), QStringLiteral("Ovu API error 500: ") + shown);
    }

    void streamFraming_data()
    {
        QTest::addColumn<Framing>("framing");
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::addColumn<qsizetype>("pieceSize");
        for (const auto &[fname, framing] : {std::pair{"chunked", Framing::Chunked},
                                             std::pair{"content-length", Framing::ContentLength},
                                             std::pair{"close-delimited", Framing::CloseDelimited}}) {
            for (const auto &[ename, end] : {std::pair{"lf", "\n"}, std::pair{"crlf", "\r\n"}}) {
                for (qsizetype piece : {0, 1, 7}) {
                    QTest::addRow("%s-%s-pieces-of-%d", fname, ename, int(piece)) << framing << QByteArray(end) << piece;
                }
            }
        }
    }

    void streamFraming()
    {
        QFETCH(Framing, framing);
        QFETCH(QByteArray, lineEnd);
        QFETCH(qsizetype, pieceSize);
        QByteArray body = ": comment" + lineEnd + "event: message" + lineEnd;
        body += ChatServicePeer::event(ChatServicePeer::contentChunk(QString::fromUtf8("Gr\xc3\xbc\xc3\x9f")), lineEnd);
        body += ChatServicePeer::event(ChatServicePeer::toolCallChunk(1, "b", "read_file", "{\"pa"), lineEnd);
        body += ChatServicePeer::event(ChatServicePeer::contentChunk(QString::fromUtf8(" \xf0\x9f\x8c\x99")), lineEnd);
        body += ChatServicePeer::event(ChatServicePeer::toolCallChunk(0, "a", QString(), "{}"), lineEnd);
        body += ChatServicePeer::event(ChatServicePeer::toolCallChunk(0, QString(), "list_dir", QString()), lineEnd);
        body += ChatServicePeer::event(ChatServicePeer::toolCallChunk(1, QString(), QString(), "th\":1}"), lineEnd);
        body += ChatServicePeer::event(ChatServicePeer::finishChunk("tool_calls"), lineEnd);
        body += ChatServicePeer::doneEvent(lineEnd);
        ChatServicePeer::Reply reply = ChatServicePeer::sseReply(body);
        reply.framing = framing;
        reply.pieceSize = pieceSize;
        m_peer->enqueue(reply);

        const Call out = call();
        QVERIFY2(out.result.ok(), qPrintable(out.result.ok() ? QString() : out.result.error().description()));
        const QString text = QString::fromUtf8("Gr\xc3\xbc\xc3\x9f \xf0\x9f\x8c\x99");
        QCOMPARE(out.result.value().text, text);
        QCOMPARE(out.fragments.join(QString()), text);
        QCOMPARE(out.result.value().finishReason, QStringLiteral("tool_calls"));
        const QList<agent::OVUToolCall> calls{{"a", "list_dir", "{}"}, {"b", "read_file", "{\"path\":1}"}};
        QCOMPARE(out.result.value().toolCalls, calls);
    }

    // Lines the reply may hold, read through the whole client: a leading
    // byte-order mark, a proxy's non-JSON data, odd strings and numbers.
    void oddStreamLines_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text"); // the turn's text, or the failure's
        QTest::addColumn<int>("calls");
        const QByteArray first = ChatServicePeer::event(ChatServicePeer::contentChunk("Hello, "));
        const QByteArray rest = ChatServicePeer::event(ChatServicePeer::contentChunk("world."))
            + ChatServicePeer::event(ChatServicePeer::finishChunk("stop")) + ChatServicePeer::doneEvent();
        QTest::newRow("byte-order-mark") << "\xEF\xBB\xBF" + first + rest << "Hello, world." << 0;
        QTest::newRow("keep-alive-data") << "data: keep-alive\n\n" + first + "data: ping\n" + rest << "Hello, world." << 0;
        QTest::newRow("lone-high-surrogate")
            << first + "data: {\"choices\":[{\"delta\":{\"content\":\"\\ud800!\"}}]}\n\n" + rest
            << QStringLiteral("Hello, \uFFFD!world.") << 0;
        QTest::newRow("pair-cut-between-events")
            << first + ChatServicePeer::escapedEvent(ChatServicePeer::contentChunk(QString(QChar(0xD83D))))
                + ChatServicePeer::escapedEvent(ChatServicePeer::contentChunk(QChar(0xDE00) + QStringLiteral("!"))) + rest
            << QStringLiteral("Hello, \U0001F600!world.") << 0;
        QTest::newRow("number-beyond-double-range")
            << first + "data: {\"usage\":{\"t\":1e400},\"choices\":[{\"delta\":{\"content\":\"big \"}}]}\n\n" + rest
            << "Hello, big world." << 0;
        QTest::newRow("index-just-below-one-is-no-index")
            << ChatServicePeer::event(ChatServicePeer::toolCallChunk(0, "a", "list_dir", "{"))
                   + "data: {\"choices\":[{\"delta\":{\"tool_calls\":[{\"index\":0.99999999999999999999,"
                     "\"function\":{\"arguments\":\"}\"}}]}}]}\n\n"
                   + rest
            << "world." << 1;
        QTest::newRow("only-unreadable-lines") << QByteArray("data: <html>Gateway error</html>\n\ndata: [DONE]\n\n")
                                               << "Ovu API sent part of the reply that could not be read: <html>Gateway error</html>"
                                               << 0;
    }

    void oddStreamLines()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        QFETCH(int, calls);
        ChatServicePeer::Reply reply = ChatServicePeer::sseReply(body);
        reply.pieceSize = 5; // split inside the mark and the lines
        m_peer->enqueue(reply);
        const Call out = call();
        QCOMPARE(out.result.ok() ? out.result.value().text : out.result.error().description(), text);
        if (out.result.ok())
            QCOMPARE(out.result.value().toolCalls.size(), calls);
    }

    void brokenStreams_data()
    {
        QTest::addColumn<ChatServicePeer::Reply>("reply");
        QTest::addColumn<QList<int>>("kinds"); // a failure of one of these kinds
        QTest::addColumn<QString>("textBefore");
        const auto kinds = [](std::initializer_list<OVUClientError::Kind> list) {
            QList<int> out;
            for (const auto k : list)
                out.append(int(k));
            return out;
        };

        const QByteArray partial = ChatServicePeer::event(ChatServicePeer::contentChunk("par"));
        ChatServicePeer::Reply midError = ChatServicePeer::sseReply(
            partial + "data: {\"error\":{\"message\":\"overloaded\"}}\n\n" + ChatServicePeer::doneEvent());
        QTest::newRow("mid-stream-error") << midError << kinds({OVUClientError::Kind::StreamError}) << "par";

        const QByteArray full = partial + ChatServicePeer::event(ChatServicePeer::contentChunk("tial"));
        ChatServicePeer::Reply chunkedClose = ChatServicePeer::sseReply(full);
        chunkedClose.closeAfter = partial.size() + 12; // inside the second data line
        // However the body was framed, a reply cut short says the same.
        QTest::newRow("close-mid-line-chunked")
            << chunkedClose << kinds({OVUClientError::Kind::IncompleteStream}) << "par";

        ChatServicePeer::Reply chunkedCloseAtEvent = ChatServicePeer::sseReply(full);
        chunkedCloseAtEvent.closeAfter = partial.size();
        QTest::newRow("close-between-events-chunked")
            << chunkedCloseAtEvent << kinds({OVUClientError::Kind::IncompleteStream}) << "par";
        ChatServicePeer::Reply plainCloseAtEvent = chunkedCloseAtEvent;
        plainCloseAtEvent.framing = Framing::CloseDelimited;
        QTest::newRow("close-between-events-close-delimited")
            << plainCloseAtEvent << kinds({OVUClientError::Kind::IncompleteStream}) << "par";

        ChatServicePeer::Reply plainClose = chunkedClose;
        plainClose.framing = Framing::CloseDelimited;
        QTest::newRow("close-mid-line-close-delimited")
            << plainClose << kinds({OVUClientError::Kind::IncompleteStream}) << "par";

        QTest::newRow("ends-without-done-or-finish")
            << ChatServicePeer::sseReply(full) << kinds({OVUClientError::Kind::IncompleteStream}) << "partial";

        ChatServicePeer::Reply noContent = ChatServicePeer::sseReply(QByteArray());
        noContent.status = 204;
        QTest::newRow("204-empty") << noContent << kinds({OVUClientError::Kind::IncompleteStream}) << "";
    }

    void brokenStreams()
    {
        QFETCH(ChatServicePeer::Reply, reply);
        QFETCH(QList<int>, kinds);
        QFETCH(QString, textBefore);
        m_peer->enqueue(reply);
        const Call out = call();
        QVERIFY(!out.result.ok());
        QVERIFY2(kinds.contains(int(out.result.error().kind)), qPrintable(out.result.error().description()));
        QCOMPARE(out.fragments.join(QString()), textBefore);
        if (out.result.error().kind == OVUClientError::Kind::IncompleteStream)
            QCOMPARE(out.result.error().description(),
                     QStringLiteral("The reply from Ovu API ended before it was complete. Try again."));
    }

    // A reply below 400 that is not events says what came instead: the
    // service's message of a plain JSON error, else what the body is.
    void plainErrorBody_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<Framing>("framing");
        QTest::addColumn<QByteArray>("encoding"); // the Content-Encoding header, if any
        QTest::addColumn<QString>("text");
        const QString prefix = QStringLiteral("Ovu API reported an error during the reply: ");
        QTest::newRow("object-message-content-length")
            << QByteArray(R"({"error":{"message":"quota exceeded","type":"billing"}})") << Framing::ContentLength
            << QByteArray() << prefix + "quota exceeded";
        QTest::newRow("pretty-printed-chunked") << QByteArray("{\n  \"error\": {\n    \"message\": \"busy\"\n  }\n}\n")
                                                << Framing::Chunked << QByteArray() << prefix + "busy";
        QTest::newRow("string-close-delimited") << QByteArray(R"({"error":"model not found"})") << Framing::CloseDelimited
                                                << QByteArray() << prefix + "model not found";
        QTest::newRow("after-a-byte-order-mark")
            << QByteArray("\xEF\xBB\xBF{\"error\":\"model not found\"}") << Framing::ContentLength << QByteArray()
            << prefix + "model not found";

        const QString json = QStringLiteral("Ovu API answered with a single JSON reply, not a reply stream.");
        QTest::newRow("no-error-member") << QByteArray(R"({"status":"ok"})") << Framing::ContentLength << QByteArray()
                                         << json;
        QTest::newRow("null-error") << QByteArray(R"({"error":null})") << Framing::ContentLength << QByteArray() << json;
        QTest::newRow("whole-reply-not-streamed")
            << QByteArray(R"({"object":"chat.completion","choices":[{"message":{"role":"assistant","content":"Hi"}}]})")
            << Framing::Chunked << QByteArray() << json;
        QTest::newRow("list-beyond-64-kb") << "\n[" + QByteArray(100'000, '1').replace(1, 1, ",") + "]"
                                           << Framing::CloseDelimited << QByteArray() << json;

        const QString page = QStringLiteral("Ovu API answered with a web page, not a reply stream");
        QTest::newRow("sign-in-page-of-a-network")
            << QByteArray("<!DOCTYPE html>\n<html><head><title>Guest Wi-Fi &amp; Login</title></head>"
                          "<body><form>data: none</form></body></html>")
            << Framing::ContentLength << QByteArray() << page + ": Guest Wi-Fi & Login";
        QTest::newRow("page-without-title-after-blank-lines")
            << QByteArray("\r\n\n<html><body><p>Proxy says no</p></body></html>") << Framing::Chunked << QByteArray()
            << page + ": Proxy says no";
        QTest::newRow("xml") << QByteArray("<?xml version=\"1.0\"?><Error/>") << Framing::ContentLength << QByteArray()
                             << page + ".";

        const QString compressed = QStringLiteral("Ovu API answered with compressed data, not a reply stream.");
        const QByteArray events = ChatServicePeer::textReply("Hello").body;
        QTest::newRow("gzip-not-asked-for") << QByteArray("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03") + QByteArray(40, '\x01')
                                            << Framing::Chunked << QByteArray("gzip") << compressed;
        QTest::newRow("gzip-without-its-header") << QByteArray("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03") + QByteArray(40, '\x01')
                                                 << Framing::ContentLength << QByteArray() << compressed;
        QTest::newRow("zlib") << qCompress(events).sliced(4) << Framing::ContentLength << QByteArray() << compressed;
        QTest::newRow("zstd") << QByteArray("\x28\xb5\x2f\xfd\x24\x05\x29\x00") << Framing::ContentLength << QByteArray()
                              << compressed;
        QTest::newRow("declared-br") << events << Framing::Chunked << QByteArray("br") << compressed;

        QTest::newRow("plain-text") << QByteArray("Access denied by policy.\n") << Framing::ContentLength << QByteArray()
                                    << "Ovu API answered with plain text, not a reply stream: Access denied by policy.";
        QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR") << Framing::ContentLength << QByteArray()
                                << "Ovu API answered with binary data, not a reply stream.";
        // Lines an event stream holds are a stream cut short, not text.
        QTest::newRow("only-comments-and-fields") << QByteArray(": keep-alive\nevent: message\nretry: 5\n\n")
                                                  << Framing::Chunked << QByteArray()
                                                  << "The reply from Ovu API ended before it was complete. Try again.";
        QTest::newRow("identity-encoding-is-read") << events << Framing::Chunked << QByteArray("identity") << QString();
    }

    void plainErrorBody()
    {
        QFETCH(QByteArray, body);
        QFETCH(Framing, framing);
        QFETCH(QByteArray, encoding);
        QFETCH(QString, text);
        ChatServicePeer::Reply reply = ChatServicePeer::sseReply(body);
        reply.contentType = "application/json";
        reply.framing = framing;
        if (!encoding.isEmpty())
            reply.headers.append({"Content-Encoding", encoding});
        m_peer->enqueue(reply);
        const Call out = call();
        QCOMPARE(out.result.ok() ? QString() : out.result.error().description(), text);
        if (!out.result.ok())
            QVERIFY(out.fragments.isEmpty());
    }

    // Compressed data is said at once, not after the reply's end.
    void endlessCompressedReplyEndsAtOnce()
    {
        ChatServicePeer::Reply reply = ChatServicePeer::sseReply(qCompress(QByteArray(100'000, 'x')).sliced(4));
        reply.stallAfter = 64;
        m_peer->enqueue(reply);
        m_client->setTransferTimeout(std::chrono::seconds(20));
        QElapsedTimer timer;
        timer.start();
        const Call out = call();
        QVERIFY(!out.result.ok());
        QCOMPARE(out.result.error().cause, OVUClientError::Cause::Compressed);
        QCOMPARE_LT(timer.elapsed(), 10'000);
    }

    // An address the stream cannot use sends nothing and says why; TLS to
    // a plain server says a secure connection could not be made.
    void addressesThatCannotBeUsed_data()
    {
        QTest::addColumn<QString>("address"); // %1: the peer's port
        QTest::addColumn<QString>("text");
        const QString tail = QStringLiteral(" cannot be used: it is not an http or https address. Nothing was sent.");
        QTest::newRow("ftp") << "ftp://127.0.0.1:%1/v1/chat/completions"
                             << "The Ovu API address ftp://127.0.0.1:%1/v1/chat/completions" + tail;
        QTest::newRow("file-with-user-part") << "file://me:secret@/srv/api/v1/chat/completions"
                                             << "The Ovu API address file:///srv/api/v1/chat/completions" + tail;
        QTest::newRow("no-host") << "http:///v1/chat/completions"
                                 << "The Ovu API address http:///v1/chat/completions cannot be used: it names no host. "
                                    "Nothing was sent.";
        QTest::newRow("tls-to-a-plain-server")
            << "https://127.0.0.1:%1/v1/chat/completions"
            << "A secure connection to Ovu API could not be made: the server does not use TLS at this address.";
    }

    void addressesThatCannotBeUsed()
    {
        QFETCH(QString, address);
        QFETCH(QString, text);
        m_client = std::make_unique<OVUClient>(m_network, QUrl(address.arg(m_peer->port())));
        m_client->setTransferTimeout(std::chrono::seconds(20));
        const Call out = call();
        QVERIFY(!out.result.ok());
        QCOMPARE(out.result.error().description(), text.arg(m_peer->port()));
        QCOMPARE(m_peer->requestCount(), 0);
    }

    // The body's last line has no line break: its fragment still reaches
    // the live text, not only the turn.
    void lastLineWithoutLineBreak_data()
    {
        QTest::addColumn<Framing>("framing");
        QTest::newRow("close-delimited") << Framing::CloseDelimited;
        QTest::newRow("content-length") << Framing::ContentLength;
    }

    void lastLineWithoutLineBreak()
    {
        QFETCH(Framing, framing);
        ChatServicePeer::Reply reply = ChatServicePeer::sseReply(
            ChatServicePeer::event(ChatServicePeer::contentChunk("a")) +
            R"(data: {"choices":[{"delta":{"content":"b"},"finish_reason":"stop"}]})");
        reply.framing = framing;
        m_peer->enqueue(reply);
        const Call out = call();
        QVERIFY(out.result.ok());
        QCOMPARE(out.result.value().text, QStringLiteral("ab"));
        QCOMPARE(out.fragments.join(QString()), QStringLiteral("ab"));
    }

    void finishReasonThenBrokenConnectionKeepsTheTurn()
    {
        ChatServicePeer::Reply reply = ChatServicePeer::textReply("whole");
        reply.closeAfter = reply.body.indexOf("[DONE]") - 6; // the end mark never comes
        m_peer->enqueue(reply);
        const Call out = call();
        QVERIFY(out.result.ok());
        QCOMPARE(out.result.value().text, QStringLiteral("whole"));
    }

    void stallTimesOut()
    {
        ChatServicePeer::Reply reply = ChatServicePeer::textReply("slow");
        reply.stallAfter = 10;
        m_peer->enqueue(reply);
        m_client->setTransferTimeout(std::chrono::milliseconds(300));
        const Call out = call();
        QVERIFY(!out.result.ok());
        QCOMPARE(out.result.error().kind, OVUClientError::Kind::TimedOut);
        QCOMPARE(out.result.error().description(), QStringLiteral("The request timed out."));
    }

    // The time-out is for silence, not for the whole reply: a slow reply
    // that keeps sending outlasts it.
    void slowReplyOutlastsTheIdleTimeout()
    {
        ChatServicePeer::Reply reply = ChatServicePeer::textReply("one two three four five six", 6);
        reply.pieceSize = reply.body.size() / 6 + 1;
        reply.pieceDelayMs = 120;
        m_peer->enqueue(reply);
        m_client->setTransferTimeout(std::chrono::milliseconds(400));
        QElapsedTimer timer;
        timer.start();
        const Call out = call();
        QVERIFY2(out.result.ok(), qPrintable(out.result.ok() ? QString() : out.result.error().description()));
        QCOMPARE(out.result.value().text, QStringLiteral("one two three four five six"));
        QVERIFY(timer.elapsed() > 400);
    }

    // A reply of many small events, one write each, reaches the main thread
    // joined, in one call at most once per frame, every fragment in order.
    void fragmentsReachTheMainThreadOncePerFrame()
    {
        ChatServicePeer::Reply reply = ChatServicePeer::textReply(QString(300, u'x'), 300);
        reply.pieceSize = reply.body.indexOf("\n\n") + 2;
        reply.pieceDelayMs = 1;
        m_peer->enqueue(reply);
        int calls = 0;
        QString text;
        QElapsedTimer elapsed;
        elapsed.start();
        const TurnResult result = testsupport::waitForTask(
            m_client->streamComplete("tok", "m", kMessages, {}, [&](const QString &f) {
                text += f;
                ++calls;
            }, {}));
        QVERIFY(result.ok());
        QCOMPARE(text, QString(300, u'x'));
        // The pacer's clock counts whole milliseconds: its frames may be a
        // fraction of one short.
        QVERIFY2(calls <= elapsed.elapsed() / (agent::FramePacer::kFrameMs - 1) + 2,
                 qPrintable(QStringLiteral("%1 calls in %2 ms").arg(calls).arg(elapsed.elapsed())));
    }

    void stalledReplyResumes()
    {
        ChatServicePeer::Reply reply = ChatServicePeer::textReply("held then sent", 3);
        reply.stallAfter = reply.body.indexOf("\n\n") + 2;
        m_peer->enqueue(reply);
        connect(m_peer.get(), &ChatServicePeer::stalled, this, [this] {
            QTimer::singleShot(50, m_peer.get(), [this] { m_peer->resumeStalls(); });
        });
        const Call out = call();
        QVERIFY(out.result.ok());
        QCOMPARE(out.result.value().text, QStringLiteral("held then sent"));
        // What came before the stall was handed on before it ended.
        QCOMPARE(out.fragments.first(), QStringLiteral("held "));
        QCOMPARE(out.fragments.join(QString()), QStringLiteral("held then sent"));
    }

    void refusedConnection()
    {
        m_peer->refuseConnections();
        const Call out = call();
        QVERIFY(!out.result.ok());
        QCOMPARE(out.result.error().kind, OVUClientError::Kind::Transport);
        // The network layer's own text, not wrapped in one of ours.
        QCOMPARE(out.result.error().description(), QStringLiteral("Connection refused"));
    }

    void redirectToAnotherOriginCarriesNoToken()
    {
        ChatServicePeer other;
        QVERIFY(other.listen());
        other.enqueue(ChatServicePeer::textReply("stolen"));
        ChatServicePeer::Reply redirect = ChatServicePeer::errorReply(307, QByteArray());
        redirect.status = 307;
        redirect.headers.append({"Location", other.endpoint().toEncoded()});
        m_peer->enqueue(redirect);
        const Call out = call();
        QVERIFY(!out.result.ok());
        // Said as what it is, not as a reply cut short.
        QCOMPARE(out.result.error().kind, OVUClientError::Kind::Redirect);
        QCOMPARE(out.result.error().description(),
                 QStringLiteral("Ovu API answered with a redirect to 127.0.0.1:%1, which is not followed.")
                     .arg(other.port()));
        QTest::qWait(50);
        QCOMPARE(other.requestCount(), 0);
    }

    void redirectWithoutPlace()
    {
        ChatServicePeer::Reply redirect = ChatServicePeer::errorReply(302, QByteArray("moved"));
        m_peer->enqueue(redirect);
        const Call out = call();
        QVERIFY(!out.result.ok());
        QCOMPARE(out.result.error().description(),
                 QStringLiteral("Ovu API answered with a redirect (302), which is not followed."));
    }

    void cancelDuringStallEndsAtOnce()
    {
        ChatServicePeer::Reply reply = ChatServicePeer::textReply("first and more");
        reply.stallAfter = reply.body.indexOf("\n\n") + 2; // one fragment, then silence
        m_peer->enqueue(reply);
        auto cancellation = std::make_shared<RunCancellation>();
        connect(m_peer.get(), &ChatServicePeer::stalled, cancellation.get(), [cancellation] {
            QTimer::singleShot(20, cancellation.get(), [cancellation] { cancellation->cancel(); });
        });
        QElapsedTimer timer;
        timer.start();
        const Call out = call(QStringLiteral("tok"), {}, cancellation);
        QVERIFY(!out.result.ok());
        QVERIFY(out.result.error().isCancellation());
        QCOMPARE(out.fragments, QStringList{"first and more"});
        QVERIFY(timer.elapsed() < 5000);
    }

    void noFragmentAfterCancel()
    {
        m_peer->enqueue(ChatServicePeer::textReply("abcdefghij", 10));
        auto cancellation = std::make_shared<RunCancellation>();
        QStringList seen;
        auto task = m_client->streamComplete("tok", "m", kMessages, {}, [&seen, cancellation](const QString &f) {
            seen.append(f);
            cancellation->cancel();
        }, cancellation);
        const TurnResult result = testsupport::waitForTask(std::move(task));
        QVERIFY(!result.ok());
        QVERIFY(result.error().isCancellation());
        QCOMPARE(seen.size(), 1);
        QVERIFY(QStringLiteral("abcdefghij").startsWith(seen.first()));
    }

    void destroyingTheClientEndsTheTurn()
    {
        ChatServicePeer::Reply reply = ChatServicePeer::textReply("x");
        reply.stallAfter = 0;
        m_peer->enqueue(reply);
        connect(m_peer.get(), &ChatServicePeer::stalled, this, [this] { m_client.reset(); });
        const TurnResult result =
            testsupport::waitForTask(m_client->streamComplete("tok", "m", kMessages, {}, [](const QString &) {}, {}));
        QVERIFY(!result.ok());
        QVERIFY(result.error().isCancellation());
        QVERIFY(!m_client);
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestOVUClient)
#include "tst_ovu_client.moc"
