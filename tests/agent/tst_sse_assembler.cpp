#include "agent/SseAssembler.h"
#include "support/TestMain.h"

using agent::OVUAssistantTurn;
using agent::OVUClientError;
using agent::OVUToolCall;
using agent::SseAssembler;

namespace {

// JSON written with single quotes, so it reads without escapes.
QByteArray q(const char *text)
{
    return QByteArray(text).replace('\'', '"');
}

struct Outcome {
    QStringList fragments;
    std::optional<OVUAssistantTurn> turn;
    std::optional<OVUClientError> error;
};

Outcome feedInPieces(const QByteArray &body, const QList<qsizetype> &cuts)
{
    SseAssembler assembler;
    Outcome out;
    qsizetype from = 0;
    for (qsizetype cut : cuts) {
        out.fragments += assembler.feed(QByteArrayView(body).sliced(from, cut - from));
        from = cut;
    }
    out.fragments += assembler.feed(QByteArrayView(body).sliced(from));
    auto result = assembler.finish();
    if (result.ok())
        out.turn = result.value();
    else
        out.error = result.error();
    return out;
}

Outcome feedWhole(const QByteArray &body)
{
    return feedInPieces(body, {});
}

QByteArray content(const QByteArray &text)
{
    return q("data: {'choices':[{'index':0,'delta':{'content':'") + text + q("'}}]}") + "\n\n";
}

const QByteArray kStop = q("data: {'choices':[{'index':0,'delta':{},'finish_reason':'stop'}]}") + "\n\n";
const QByteArray kDone = "data: [DONE]\n\n";

} // namespace

class TestSseAssembler : public QObject {
    Q_OBJECT

private slots:
    void framingVariants_data()
    {
        QTest::addColumn<QByteArray>("body");
        const QByteArray lf = ": keep-alive comment\n"
                              "event: message\n"
                              "id: 7\n" +
            content("Hello, ") + content("w\xc3\xb6rld \xf0\x9f\x8c\x99") + kStop + kDone;
        QByteArray crlf = lf;
        crlf.replace("\n", "\r\n");
        QByteArray cr = lf;
        cr.replace("\n", "\r");
        QTest::newRow("lf") << lf;
        QTest::newRow("crlf") << crlf;
        QTest::newRow("lone-cr") << cr;
        QTest::newRow("no-space-after-colon") << QByteArray(lf).replace("data: ", "data:");
        QTest::newRow("no-trailing-newline-after-done") << lf.chopped(2);
    }

    void framingVariants()
    {
        QFETCH(QByteArray, body);
        const Outcome whole = feedWhole(body);
        QVERIFY(whole.turn);
        QCOMPARE(whole.turn->text, QString::fromUtf8("Hello, w\xc3\xb6rld \xf0\x9f\x8c\x99"));
        QCOMPARE(whole.turn->finishReason, QStringLiteral("stop"));
        QCOMPARE(whole.fragments, (QStringList{"Hello, ", QString::fromUtf8("w\xc3\xb6rld \xf0\x9f\x8c\x99")}));

        // Every byte offset: inside "data:", inside a UTF-8 sequence, between CR and LF.
        for (qsizetype k = 0; k <= body.size(); ++k) {
            const Outcome split = feedInPieces(body, {k});
            QVERIFY2(split.turn && *split.turn == *whole.turn, qPrintable(QString::number(k)));
            QVERIFY2(split.fragments == whole.fragments, qPrintable(QString::number(k)));
        }
        QList<qsizetype> everyByte;
        for (qsizetype k = 1; k < body.size(); ++k)
            everyByte.append(k);
        const Outcome bytewise = feedInPieces(body, everyByte);
        QVERIFY(bytewise.turn);
        QCOMPARE(*bytewise.turn, *whole.turn);
    }

    void dataLines_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("complete");
        QTest::newRow("done-with-blanks-and-tabs") << content("a") + "data: \t [DONE] \t\n" + content("b") << "a" << true;
        QTest::newRow("done-with-unicode-spaces")
            << content("a") + "data:\xc2\xa0[DONE]\xe3\x80\x80\n" + content("b") << "a" << true;
        QTest::newRow("capital-D-skipped") << q("Data: {'choices':[{'delta':{'content':'x'}}]}") + "\n" + content("a") + kStop
                                            << "a" << true;
        QTest::newRow("space-before-prefix-skipped")
            << q(" data: {'choices':[{'delta':{'content':'x'}}]}") + "\n" + content("a") + kStop << "a" << true;
        QTest::newRow("non-object-choices-skipped")
            << q("data: {'choices':[1,{'delta':{'content':'x'}}]}") + "\n" + content("a") + kStop << "a" << true;
        QTest::newRow("empty-and-null-content")
            << q("data: {'choices':[{'delta':{'content':''}}]}") + "\n" + q("data: {'choices':[{'delta':{'content':null}}]}") + "\n" +
                kStop
            << "" << true;
        QTest::newRow("finish-reason-null-keeps-earlier")
            << q("data: {'choices':[{'delta':{},'finish_reason':'tool_calls'}]}") + "\n" +
               q("data: {'choices':[{'delta':{},'finish_reason':null}]}") + "\n"
            << "" << true;
        QTest::newRow("top-level-shapes-skipped")
            << "data: []\ndata: {}\ndata: \"x\"\ndata: 3\n" + q("data: {'choices':[]}") + "\n" + q("data: {'choices':{}}") +
                "\n" + content("a") + kStop
            << "a" << true;
        // The parser must not recurse per level: this used to overflow the stack.
        QTest::newRow("deeply-nested-line-read")
            << q("data: {'choices':[{'delta':{'content':'a'},'x':") + QByteArray(200'000, '[') +
                QByteArray(200'000, ']') + "}]}\n" + kStop
            << "a" << true;
        // What the fast parser refuses is read by the lenient one, the same way.
        QTest::newRow("bad-utf8-in-content-read-as-replacement")
            << QByteArray("data: {\"choices\":[{\"delta\":{\"content\":\"a\xff" "b\"}}]}\n\n") + kStop
            << QString::fromUtf8("a\xef\xbf\xbd" "b") << true;
        QTest::newRow("number-too-large-for-64-bits")
            << q("data: {'x':123456789012345678901234567890,'choices':[{'delta':{'content':'n'}}]}") + "\n" + kStop
            << "n" << true;
        QTest::newRow("ends-without-done-or-finish") << content("a") + content("b") << "" << false;
        QTest::newRow("empty-body") << QByteArray() << "" << false;
        QTest::newRow("closed-in-middle-of-line") << content("a") + q("data: {'choices':[{'delta':{'con") << ""
                                                  << false;
        QTest::newRow("closed-in-middle-of-a-joined-event")
            << content("a") + q("data: {'choices':[{'delta':\ndata: {'con") << "" << false;
    }

    void dataLines()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        QFETCH(bool, complete);
        const Outcome out = feedWhole(body);
        if (!complete) {
            QVERIFY(out.error);
            QCOMPARE(out.error->kind, OVUClientError::Kind::IncompleteStream);
            return;
        }
        QVERIFY(out.turn);
        QCOMPARE(out.turn->text, text);
        QCOMPARE(out.fragments.join(QString()), text);
        QVERIFY(!out.fragments.contains(QString()));
    }

    // JSON spread over several data lines of one event is joined with line
    // feeds, in every framing and however the bytes arrive.
    void joinedDataLines_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        const QByteArray two = q("data: {'choices':[{'index':0,\ndata:  'delta':{'content':'joined'}}]}\n\n");
        QTest::newRow("two-lines") << content("a ") + two + kStop + kDone << "a joined";
        QTest::newRow("two-lines-crlf") << QByteArray(content("a ") + two + kStop + kDone).replace("\n", "\r\n") << "a joined";
        QTest::newRow("four-lines-then-end-of-body")
            << q("data: {'choices':\ndata: [{'delta':\ndata: {'content':'x'}}],\ndata: 'model':'m'}\n") + kStop
            << "x";
        QTest::newRow("no-blank-line-between-events")
            << q("data: {'choices':[{'delta':\ndata: {'content':'p'}}]}\n") + content("q") + kStop << "pq";
        QTest::newRow("comment-inside-the-event")
            << q("data: {'choices':[{'delta':\n: keep-alive\ndata: {'content':'c'}}]}\n\n") + kStop << "c";
    }

    void joinedDataLines()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        QList<qsizetype> everyByte;
        for (qsizetype k = 1; k < body.size(); ++k)
            everyByte.append(k);
        for (const Outcome &out : {feedWhole(body), feedInPieces(body, everyByte)}) {
            QVERIFY2(out.turn, out.error ? qPrintable(out.error->description()) : "no turn");
            QCOMPARE(out.turn->text, text);
            QCOMPARE(out.fragments.join(QString()), text);
        }
    }

    // Data that is not JSON, even joined with the rest of its event, fails
    // the turn with what it was, instead of being dropped while the turn
    // seems to succeed.
    void unreadableDataIsReported_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("fragments");
        QTest::newRow("one-line") << content("a") + "data: {nope\n\n" + content("b") + kStop + kDone << "{nope"
                                  << QStringList{"a"};
        QTest::newRow("two-lines-still-broken")
            << content("a") + q("data: {'choices':\ndata: oops}\n\n") + kStop << QString::fromUtf8(q("{'choices': oops}"))
            << QStringList{"a"};
        QTest::newRow("event-not-ended-at-the-end-of-the-body") << content("a") + "data: {'cut\n" << "{'cut"
                                                                << QStringList{"a"};
        QTest::newRow("before-done") << content("a") + "data: [1,\n" + kDone << "[1," << QStringList{"a"};
        QTest::newRow("control-characters-not-shown") << QByteArray("data: {\x1b[31mred\n\n") << "{[31mred"
                                                      << QStringList{};
        QTest::newRow("long-data-shown-short")
            << "data: {" + QByteArray(10'000, 'z') + "\n\n" << "{" + QString(119, u'z') + u'\u2026' << QStringList{};
        // Deep nesting: reported, and no recursion on the stack.
        QTest::newRow("deeply-nested") << "data: " + QByteArray(1'000'000, '[') + "\n\n" + content("b") + kStop
                                       << QString(120, u'[') + u'\u2026' << QStringList{};
    }

    void unreadableDataIsReported()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, shown);
        QFETCH(QStringList, fragments);
        const Outcome out = feedWhole(body);
        QVERIFY(out.error);
        QCOMPARE(out.error->kind, OVUClientError::Kind::MalformedEvent);
        QCOMPARE(out.error->description(),
                 QStringLiteral("Ovu API sent part of the reply that could not be read: ") + shown);
        QCOMPARE(out.fragments, fragments);
    }

    void toolCalls_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QList<OVUToolCall>>("calls");
        auto call = [](const QByteArray &inner) {
            return q("data: {'choices':[{'delta':{'tool_calls':[") + inner + "]}}]}\n";
        };
        QTest::newRow("out-of-order-index")
            << call(q("{'index':1,'id':'b','function':{'name':'read_file','arguments':'{\\'path\\':'}}")) +
                   call(q("{'index':0,'id':'a','function':{'name':'list_dir','arguments':'{}'}}")) +
                   call(q("{'index':1,'function':{'arguments':'\\'x\\'}'}}")) + kStop
            << QList<OVUToolCall>{{"a", "list_dir", "{}"}, {"b", "read_file", q("{'path':'x'}")}};
        QTest::newRow("name-arrives-late")
            << call(q("{'index':0,'id':'a','function':{'arguments':'{\\'a\\''}}")) +
                   call(q("{'index':0,'function':{'name':'run_shell','arguments':':1}'}}")) + kStop
            << QList<OVUToolCall>{{"a", "run_shell", q("{'a':1}")}};
        QTest::newRow("no-name-dropped-no-id-generated")
            << call(q("{'index':0,'id':'a','function':{'arguments':'{}'}}")) +
                   call(q("{'index':2,'function':{'name':'list_dir','arguments':'{}'}}")) + kStop
            << QList<OVUToolCall>{{"call_2", "list_dir", "{}"}};
        QTest::newRow("empty-id-keeps-earlier-nonempty-replaces")
            << call(q("{'index':0,'id':'first','function':{'name':'list_dir'}}")) +
                   call(q("{'index':0,'id':'','function':{'arguments':'{'}}")) +
                   call(q("{'index':1,'id':'x','function':{'name':'read_file'}}")) +
                   call(q("{'index':1,'id':'y','function':{'arguments':'}'}}")) + kStop
            << QList<OVUToolCall>{{"first", "list_dir", "{"}, {"y", "read_file", "}"}};
        QTest::newRow("missing-index-merges-into-zero")
            << call(q("{'id':'a','function':{'name':'list_dir','arguments':'{'}}")) +
                   call(q("{'function':{'arguments':'}'}}")) + kStop
            << QList<OVUToolCall>{{"a", "list_dir", "{}"}};
        QTest::newRow("index-as-whole-double-and-out-of-range")
            << call(q("{'index':1.0,'id':'a','function':{'name':'list_dir','arguments':'{}'}}")) +
                   call(q("{'index':18446744073709551615,'id':'b','function':{'name':'read_file','arguments':'x'}}")) +
                   call(q("{'index':1e300,'function':{'arguments':'y'}}")) + kStop
            << QList<OVUToolCall>{{"b", "read_file", "xy"}, {"a", "list_dir", "{}"}};
        QTest::newRow("tool-calls-not-a-list-ignored")
            << q("data: {'choices':[{'delta':{'tool_calls':{'index':0}}}]}") + "\n" + kStop << QList<OVUToolCall>{};
    }

    void toolCalls()
    {
        QFETCH(QByteArray, body);
        QFETCH(QList<OVUToolCall>, calls);
        const Outcome out = feedWhole(body);
        QVERIFY(out.turn);
        QCOMPARE(out.turn->toolCalls, calls);
    }

    void streamErrorEndsTheTurn()
    {
        SseAssembler assembler;
        const QStringList first = assembler.feed(content("partial") +
                                                 q("data: {'error':{'message':'overloaded','type':'server'}}") + "\n" +
                                                 content("late") + kStop);
        QCOMPARE(first, QStringList{"partial"});
        QVERIFY(assembler.failure());
        QVERIFY(assembler.feed(content("later")).isEmpty());
        const auto result = assembler.finish();
        QVERIFY(!result.ok());
        QCOMPARE(result.error(), OVUClientError::streamError("overloaded"));
        QCOMPARE(result.error().description(),
                 QStringLiteral("Ovu API reported an error during the reply: overloaded"));
    }

    void streamErrorTexts_data()
    {
        QTest::addColumn<QByteArray>("error");
        QTest::addColumn<QString>("text");
        const QString head = QStringLiteral("Ovu API reported an error during the reply");
        QTest::newRow("object-message") << q("{'message':'slow down','code':429}") << head + ": slow down";
        QTest::newRow("plain-string") << q("'gone'") << head + ": gone";
        QTest::newRow("object-without-message") << q("{'code':500}") << head + q(": {'code':500}");
        QTest::newRow("empty-string") << q("''") << head + ".";
        // Too deep to write back as text: still a failure, and no crash.
        QTest::newRow("deeply-nested") << QByteArray(100'000, '[') + QByteArray(100'000, ']') << head + ".";
    }

    void streamErrorTexts()
    {
        QFETCH(QByteArray, error);
        QFETCH(QString, text);
        SseAssembler assembler;
        (void)assembler.feed("data: {\"error\":" + error + "}\n");
        const auto result = assembler.finish();
        QVERIFY(!result.ok());
        QCOMPARE(result.error().kind, OVUClientError::Kind::StreamError);
        QCOMPARE(result.error().description(), text);
    }

    void endOfBodyGivesTheLastFragment()
    {
        SseAssembler assembler;
        QCOMPARE(assembler.feed(content("a") + q("data: {'choices':[{'delta':{'content':'b'},'finish_reason':'stop'}]}")),
                 QStringList{"a"});
        QCOMPARE(assembler.endOfBody(), QStringList{"b"});
        QVERIFY(assembler.endOfBody().isEmpty()); // read once
        QCOMPARE(assembler.finish().value().text, QStringLiteral("ab"));
    }

    void nothingAfterDoneIsRead()
    {
        SseAssembler assembler;
        QCOMPARE(assembler.feed(content("a") + kDone), QStringList{"a"});
        QVERIFY(assembler.isDone());
        QVERIFY(assembler.feed(content("b")).isEmpty());
        QCOMPARE(assembler.finish().value().text, QStringLiteral("a"));
    }

    void longArgumentInManyPieces()
    {
        // A long line arriving in small pieces must not be rescanned per piece.
        const QString argument = QString(300'000, u'x');
        const QByteArray body = q("data: {'choices':[{'delta':{'tool_calls':[{'index':0,'id':'c','function':{'name':'write_file','arguments':'") +
            argument.toUtf8() + "\"}}]}}]}\n" + kStop + kDone;
        QList<qsizetype> cuts;
        for (qsizetype k = 100; k < body.size(); k += 100)
            cuts.append(k);
        const Outcome out = feedInPieces(body, cuts);
        QVERIFY(out.turn);
        QCOMPARE(out.turn->toolCalls.value(0).arguments.size(), argument.size());
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestSseAssembler)
#include "tst_sse_assembler.moc"
