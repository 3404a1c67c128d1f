#include "agent/stream/SseAssembler.h"
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
    out.fragments += assembler.endOfBody(); // as the client does
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
        // The format ignores one mark before the first line.
        QTest::newRow("byte-order-mark") << "\xEF\xBB\xBF" + lf;
        QTest::newRow("byte-order-mark-then-data-at-once") << "\xEF\xBB\xBF" + lf.mid(lf.indexOf("data:"));
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
        QTest::newRow("second-byte-order-mark-is-text")
            << "\xEF\xBB\xBF\xEF\xBB\xBF" + content("x") + content("a") + kStop << "a" << true;
        // A lone surrogate is a replacement character wherever it stands;
        // a number out of range in a member not read ends nothing.
        const QString fffd(QChar(0xFFFD));
        QTest::newRow("lone-high-surrogate") << content("a\\ud800b") + kStop << "a" + fffd + "b" << true;
        QTest::newRow("lone-low-surrogate") << content("a\\uDC00b") + kStop << "a" + fffd + "b" << true;
        QTest::newRow("high-surrogate-before-letter") << content("\\ud83d\\u0041") + kStop << fffd + "A" << true;
        QTest::newRow("surrogates-reversed") << content("\\udc00\\ud800") + kStop << fffd + fffd << true;
        QTest::newRow("surrogate-pair-kept") << content("\\ud83c\\udf19") + kStop
                                             << QString::fromUtf8("\xf0\x9f\x8c\x99") << true;
        // A service that escapes what is not ASCII may cut a reply between
        // the halves of a pair: they join across events, and only a half
        // that never meets its other half is a replacement character.
        const QString grin = QString::fromUtf8("\xf0\x9f\x98\x80");
        QTest::newRow("pair-cut-between-events") << content("a\\ud83d") + content("\\ude00b") + kStop << "a" + grin + "b"
                                                 << true;
        QTest::newRow("pair-cut-with-a-tool-call-between")
            << content("\\ud83d") + q("data: {'choices':[{'delta':{'tool_calls':[{'index':0,'function':{'arguments':'{}'}}]}}]}")
                + "\n" + content("\\ude00") + kStop
            << grin << true;
        QTest::newRow("pair-cut-read-by-the-lenient-parser")
            << QByteArray("data: {\"pad\":\"\xff\",\"choices\":[{\"delta\":{\"content\":\"a\\ud83d\"}}]}\n\n")
                + content("\\ude00") + kStop
            << "a" + grin << true;
        QTest::newRow("high-half-never-met-at-the-body-end") << content("a\\ud83d") + kStop << "a" + fffd << true;
        QTest::newRow("high-half-never-met-before-done") << content("a\\ud83d") + kDone << "a" + fffd << true;
        QTest::newRow("high-half-then-other-text") << content("a\\ud83d") + content("b") + kStop << "a" + fffd + "b"
                                                   << true;
        QTest::newRow("high-half-then-high-half") << content("\\ud83d") + content("\\ud83d") + content("\\ude00") + kStop
                                                  << fffd + grin << true;
        QTest::newRow("low-half-without-high") << content("\\ude00b") + kStop << fffd + "b" << true;
        // The noncharacter U+FDD0 in the text is text, beside a cut pair too.
        QTest::newRow("noncharacter-beside-a-cut-pair")
            << content("\\uFDD0\xef\xb7\x90\\ud83d") + content("\\ude00\\ufdd0") + kStop
            << QString(2, QChar(0xFDD0)) + grin + QChar(0xFDD0) << true;
        QTest::newRow("lone-surrogate-in-member-not-read")
            << q("data: {'x':'\\udbff','choices':[{'delta':{'content':'k'}}]}") + "\n" + kStop << "k" << true;
        for (const char *number : {"1e400", "-1e400", "1E+99999999999", "0e9407370957", "12e-9999999999"}) {
            QTest::addRow("number-%s-in-member-not-read", number)
                << q("data: {'x':[") + number + q("],'choices':[{'delta':{'content':'n'}}]}") + "\n" + kStop << "n"
                << true;
        }
        QTest::newRow("integer-of-400-digits-in-member-not-read")
            << q("data: {'x':") + QByteArray(400, '7') + q(",'choices':[{'delta':{'content':'n'}}]}") + "\n" + kStop
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
        QTest::newRow("twelve-lines-read-at-the-event-end")
            << q("data: {\ndata: 'choices'\ndata: :\ndata: [\ndata: {\ndata: 'delta'\ndata: :\ndata: {\ndata: 'content'\n"
                 "data: :\ndata: 'twelve'\ndata: }}]}\n\n") + kStop
            << "twelve";
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

    // Data that is not JSON, even joined with the rest of its event, is
    // skipped and the reply goes on.
    void unreadableDataIsSkipped_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("fragments");
        QTest::newRow("keep-alive-event") << "data: keep-alive\n\n" + content("a") + kStop + kDone << QStringList{"a"};
        QTest::newRow("keep-alive-line-right-before-a-chunk")
            << content("a") + "data: keep-alive\n" + content("b") + kStop << QStringList{"a", "b"};
        QTest::newRow("several-lines-right-before-a-chunk")
            << "data: ping\ndata: : \ndata: OPENROUTER PROCESSING\n" + content("a") + kStop << QStringList{"a"};
        QTest::newRow("broken-object") << content("a") + "data: {nope\n\n" + content("b") + kStop + kDone
                                       << QStringList{"a", "b"};
        QTest::newRow("two-lines-still-broken") << content("a") + q("data: {'choices':\ndata: oops}\n\n") + kStop
                                                << QStringList{"a"};
        QTest::newRow("before-done") << content("a") + "data: [1,\n" + kDone << QStringList{"a"};
        QTest::newRow("deeply-nested") << "data: " + QByteArray(1'000'000, '[') + "\n\n" + content("b") + kStop
                                       << QStringList{"b"};
        QTest::newRow("tool-call-after-it")
            << "data: undefined\n" + q("data: {'choices':[{'delta':{'tool_calls':[{'index':0,'function':{'name':'list_dir'}}]}}]}") +
                   "\n" + kStop
            << QStringList{};
    }

    void unreadableDataIsSkipped()
    {
        QFETCH(QByteArray, body);
        QFETCH(QStringList, fragments);
        QList<qsizetype> everyByte;
        for (qsizetype k = 1; k < body.size() && body.size() < 10'000; ++k)
            everyByte.append(k);
        for (const Outcome &out : {feedWhole(body), feedInPieces(body, everyByte)}) {
            QVERIFY2(out.turn, out.error ? qPrintable(out.error->description()) : "no turn");
            QCOMPARE(out.fragments, fragments);
            QCOMPARE(out.turn->text, fragments.join(QString()));
        }
    }

    // A reply of skipped lines only, with neither text nor a tool call,
    // fails with the first of them; one cut short with text says so.
    void onlySkippedLinesFail_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        const QString unreadable = QStringLiteral("Ovu API sent part of the reply that could not be read: ");
        QTest::newRow("first-of-several") << "data: keep-alive\n\ndata: {other\n\n" + kStop << unreadable + "keep-alive";
        QTest::newRow("first-line-of-a-joined-event")
            << q("data: {'choices':\ndata: oops}\n\n") + kDone << unreadable + q("{'choices':");
        QTest::newRow("cut-short-too") << QByteArray("data: ping\n\n") << unreadable + "ping";
        QTest::newRow("tool-call-without-name-is-nothing")
            << "data: ping\n" + q("data: {'choices':[{'delta':{'tool_calls':[{'index':0,'id':'a'}]}}]}") + "\n" + kStop
            << unreadable + "ping";
        QTest::newRow("control-characters-not-shown") << QByteArray("data: {\x1b[31mred\n\n") + kStop
                                                      << unreadable + "{[31mred";
        QTest::newRow("long-data-shown-short") << "data: {" + QByteArray(10'000, 'z') + "\n\n" + kStop
                                               << unreadable + "{" + QString(119, u'z') + u'\u2026';
        QTest::newRow("deeply-nested") << "data: " + QByteArray(1'000'000, '[') + "\n\n" + kStop
                                       << unreadable + QString(120, u'[') + u'\u2026';
        const QString cutShort = QStringLiteral("The reply from Ovu API ended before it was complete. Try again.");
        QTest::newRow("event-not-ended-at-the-end-of-the-body") << content("a") + "data: {'cut\n" << cutShort;
        QTest::newRow("cut-inside-the-last-line") << QByteArray("data: {'cut") << cutShort;
    }

    void onlySkippedLinesFail()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        const Outcome out = feedWhole(body);
        QVERIFY(out.error);
        QCOMPARE(out.error->description(), text);
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
        // An index that is not an integer merges into 0, read from the
        // number's text, not from a double that rounds it.
        for (const char *index : {"0.99999999999999999999", "-1.5", "1.5", "1e400", "0e9407370957", "9223372036854775808",
                                  "'1'", "1.0000000000000000000001", "-0.0", "-9223372036854775809"}) {
            QTest::addRow("index-%s-is-0", index)
                << call(q("{'index':0,'id':'a','function':{'name':'list_dir','arguments':'{'}}")) +
                       call(q("{'index':") + q(index) + q(",'function':{'arguments':'}'}}")) + kStop
                << QList<OVUToolCall>{{"a", "list_dir", "{}"}};
        }
        for (const char *index : {"1.0", "1e0", "100e-2", "0.1e1", "1.000000000000000000000"}) {
            QTest::addRow("index-%s-is-1", index)
                << call(q("{'index':0,'id':'a','function':{'name':'list_dir','arguments':'{}'}}")) +
                       call(q("{'index':") + index + q(",'id':'b','function':{'name':'read_file','arguments':'x'}}")) + kStop
                << QList<OVUToolCall>{{"a", "list_dir", "{}"}, {"b", "read_file", "x"}};
        }
        // Any integer is an index of its own; a negative one sorts first.
        for (const char *index : {"-1", "-1.0", "-1e0", "-100e-2"}) {
            QTest::addRow("index-%s-is-its-own-call", index)
                << call(q("{'index':0,'id':'a','function':{'name':'list_dir','arguments':'{}'}}")) +
                       call(q("{'index':") + index + q(",'function':{'name':'read_file','arguments':'x'}}")) + kStop
                << QList<OVUToolCall>{{"call_-1", "read_file", "x"}, {"a", "list_dir", "{}"}};
        }
        QTest::newRow("index-9223372036854775807-kept")
            << call(q("{'index':9223372036854775807,'function':{'name':'list_dir','arguments':'{}'}}")) + kStop
            << QList<OVUToolCall>{{"call_9223372036854775807", "list_dir", "{}"}};
        // Halves of a pair join within one call's arguments, never across calls.
        const QString grin = QString::fromUtf8("\xf0\x9f\x98\x80");
        const QString fffd(QChar::ReplacementCharacter);
        QTest::newRow("pair-cut-between-argument-pieces")
            << call(q("{'index':0,'id':'a','function':{'name':'write_file','arguments':'x\\ud83d'}}")) +
                   call(q("{'index':0,'function':{'arguments':'\\ude00y'}}")) + kStop
            << QList<OVUToolCall>{{"a", "write_file", "x" + grin + "y"}};
        QTest::newRow("halves-in-two-calls-stay-apart")
            << call(q("{'index':0,'id':'a','function':{'name':'write_file','arguments':'x\\ud83d'}}")) +
                   call(q("{'index':1,'id':'b','function':{'name':'write_file','arguments':'\\ude00y'}}")) + kStop
            << QList<OVUToolCall>{{"a", "write_file", "x" + fffd}, {"b", "write_file", fffd + "y"}};
        QTest::newRow("halves-in-id-and-name-are-replaced")
            << call(q("{'index':0,'id':'a\\ud83d','function':{'name':'\\ude00w'}}")) + kStop
            << QList<OVUToolCall>{{"a" + fffd, fffd + "w", ""}};
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
        // A bad byte in a member not read sends each line to the other
        // parser; the calls stay the same.
        const Outcome lenient = feedWhole(QByteArray(body).replace("data: {", "data: {\"pad\":\"\xff\","));
        QVERIFY(lenient.turn);
        QCOMPARE(lenient.turn->toolCalls, calls);
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
        QTest::newRow("object-without-message") << q("{'code':500}") << head + ": 500";
        QTest::newRow("type-only") << q("{'type':'server_error','param':null}") << head + ": server_error";
        QTest::newRow("message-list") << q("{'message':['first','second']}") << head + ": first";
        QTest::newRow("message-number") << q("{'message':42,'code':'x'}") << head + ": 42";
        QTest::newRow("message-object") << q("{'message':{'text':'t','msg':'inner'}}") << head + ": inner";
        QTest::newRow("no-words-shown-as-json") << q("{'retry':true}") << head + q(": {'retry':true}");
        QTest::newRow("holds-nothing") << q("{'message':'','code':null}") << head + ".";
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
