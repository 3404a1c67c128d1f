#include "model/ChatRecordsJson.h"
#include "model/IsoDate.h"
#include "model/RunRecords.h"
#include "model/SettingsRecords.h"
#include "model/Utf8Check.h"
#include "support/TestMain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

using namespace model;

class TestChatRecords : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void messageDecoding_data();
    void messageDecoding();
    void absentOptionalsStayAbsentAndEmptyToolCallsStay();
    void conversationFlagsDefaultFalseAndAreWritten();
    void roundTripKeepsEveryField();
    void loneSurrogateIsWrittenAsValidText();
    void isoDates_data();
    void isoDates();
    void invalidDatesStillWriteReadableText();
    void sanitizeForStorage_data();
    void sanitizeForStorage();
    void stripAttachmentChrome_data();
    void stripAttachmentChrome();
    void utf8Check_data();
    void utf8Check();
    void rawTexts();
    void attachmentCopiesKeepEveryField();
};

namespace {

constexpr char kId[] = "6F9619FF-8B86-D011-B42D-00C04FC964FF";

QByteArray message(const QByteArray &fields)
{
    return R"({"id":"6f9619ff-8b86-d011-b42d-00c04fc964ff","role":"user","content":"hi",)" + fields + "}";
}

// Keys of the objects at one indentation in the order written.
QStringList keysAtIndent(const QByteArray &json, int spaces)
{
    static const QRegularExpression re(QStringLiteral(R"re(^( *)"(\w+)" :)re"), QRegularExpression::MultilineOption);
    QStringList keys;
    for (auto it = re.globalMatch(QString::fromUtf8(json)); it.hasNext();) {
        const auto m = it.next();
        if (m.capturedLength(1) == spaces)
            keys.append(m.captured(2));
    }
    return keys;
}

} // namespace


void TestChatRecords::messageDecoding_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("ok");
    const QByteArray date = R"("createdAt":"2024-03-01T10:20:30Z")";
    QTest::newRow("minimal") << message(date) << true;
    QTest::newRow("unknown keys ignored") << message(date + R"(,"extra":[1,{"a":null}])") << true;
    QTest::newRow("null optionals read absent") << message(date + R"(,"toolCallId":null,"toolCalls":null)") << true;
    QTest::newRow("offset zone accepted") << message(R"("createdAt":"2024-03-01T12:20:30+02:00")") << true;
    QTest::newRow("unknown role") << QByteArray(message(date)).replace("\"user\"", "\"moderator\"") << false;
    QTest::newRow("role in other case") << QByteArray(message(date)).replace("\"user\"", "\"User\"") << false;
    QTest::newRow("role wrong type") << QByteArray(message(date)).replace("\"user\"", "1") << false;
    QTest::newRow("content wrong type") << QByteArray(message(date)).replace("\"hi\"", "42") << false;
    QTest::newRow("content null") << QByteArray(message(date)).replace("\"hi\"", "null") << false;
    QTest::newRow("missing createdAt") << message(R"("x":1)") << false;
    QTest::newRow("fractional seconds") << message(R"("createdAt":"2024-03-01T10:20:30.5Z")") << false;
    QTest::newRow("zone-less date") << message(R"("createdAt":"2024-03-01T10:20:30")") << false;
    QTest::newRow("date only") << message(R"("createdAt":"2024-03-01")") << false;
    QTest::newRow("impossible day") << message(R"("createdAt":"2023-02-29T10:20:30Z")") << false;
    QTest::newRow("date as number") << message(R"("createdAt":700000000)") << false;
    QTest::newRow("toolCallId wrong type") << message(date + R"(,"toolCallId":7)") << false;
    QTest::newRow("toolCalls not a list") << message(date + R"(,"toolCalls":{})") << false;
    QTest::newRow("tool call missing name")
        << message(date + R"(,"toolCalls":[{"id":"c1","argumentsJSON":"{}"}])") << false;
    QTest::newRow("braced uuid")
        << QByteArray(message(date)).replace("\"6f9619ff-8b86-d011-b42d-00c04fc964ff\"",
                                             "\"{6f9619ff-8b86-d011-b42d-00c04fc964ff}\"")
        << false;
    QTest::newRow("uppercase uuid")
        << QByteArray(message(date)).replace("6f9619ff-8b86-d011-b42d-00c04fc964ff", kId) << true;
    QTest::newRow("not an object") << QByteArray("[]") << false;
    QTest::newRow("truncated") << message(date).chopped(1) << false;
}

void TestChatRecords::messageDecoding()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, ok);
    const auto decoded = decodeChatMessage(json);
    QCOMPARE(decoded.ok(), ok);
    if (ok) {
        QCOMPARE(decoded->id, QUuid::fromString(QLatin1String(kId)));
        QCOMPARE(decoded->createdAt, QDateTime(QDate(2024, 3, 1), QTime(10, 20, 30), Qt::UTC));
    } else {
        QVERIFY(!decoded.error().text().isEmpty());
    }
}

void TestChatRecords::absentOptionalsStayAbsentAndEmptyToolCallsStay()
{
    const auto plain = decodeChatMessage(message(R"("createdAt":"2024-03-01T10:20:30Z")"));
    QVERIFY(plain.ok());
    QVERIFY(!plain->toolCallId);
    QVERIFY(!plain->toolCalls);
    const QByteArray written = encodeJson(plain.value());
    QVERIFY(!written.contains("toolCallId"));
    QVERIFY(!written.contains("toolCalls"));

    const auto empty = decodeChatMessage(message(R"("createdAt":"2024-03-01T10:20:30Z","toolCalls":[])"));
    QVERIFY(empty.ok());
    QVERIFY(empty->toolCalls.has_value());
    QVERIFY(empty->toolCalls->isEmpty());
    const QJsonObject back = QJsonDocument::fromJson(encodeJson(empty.value())).object();
    QVERIFY(back.value(QLatin1String("toolCalls")).isArray());
    QCOMPARE(back.value(QLatin1String("toolCalls")).toArray().size(), 0);
}

void TestChatRecords::conversationFlagsDefaultFalseAndAreWritten()
{
    const QByteArray json = R"({"id":"6f9619ff-8b86-d011-b42d-00c04fc964ff","title":"Plan","messages":[],)"
                            R"("createdAt":"2024-03-01T10:20:30Z","updatedAt":"2024-03-02T10:20:30Z"})";
    const auto c = decodeConversation(json);
    QVERIFY(c.ok());
    QVERIFY(!c->isPinned && !c->isArchived && !c->isUnread);
    const QByteArray written = encodeJson(c.value());
    QCOMPARE(keysAtIndent(written, 2),
             QStringList({"createdAt", "id", "isArchived", "isPinned", "isUnread", "messages", "title",
                          "updatedAt"}));
    QVERIFY(written.contains(R"("isPinned" : false)"));

    QVERIFY(!decodeConversation(QByteArray(json).replace(R"("messages":[])", R"("messages":[],"isPinned":"yes")"))
                 .ok());
    const auto badMessage = decodeConversation(QByteArray(json).replace(
        R"("messages":[])", R"("messages":[)" + message(R"("createdAt":"2024-03-01T10:20:30.123Z")") + "]"));
    QVERIFY(!badMessage.ok());
    QCOMPARE(badMessage.error().where, QStringLiteral("messages[0].createdAt"));
}

void TestChatRecords::roundTripKeepsEveryField()
{
    // Every character class the writer has to escape or encode.
    QString tricky = QStringLiteral("quote \" backslash \\ slash / tab \t cr \r nl \n emoji \U0001F680 é ");
    for (char16_t c = 0; c < 0x20; ++c)
        tricky += QChar(c);
    ChatMessage m = ChatMessage::make(MessageRole::Assistant, tricky);
    m.createdAt = QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5, 678), Qt::UTC);
    m.toolCalls = QList<ToolCallRecord>{{QStringLiteral("call_1"), QStringLiteral("read_file"),
                                         QStringLiteral(R"({"path":"a \"b\".c"})")}};
    Conversation c;
    c.id = QUuid::createUuid();
    c.title = QStringLiteral("Ünïcode \U0001F4CE title");
    c.createdAt = QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59), Qt::UTC);
    c.updatedAt = QDateTime(QDate(2024, 1, 1), QTime(0, 0, 0), Qt::OffsetFromUTC, 3600);
    c.isPinned = true;
    c.isUnread = true;
    ChatMessage toolMessage = ChatMessage::make(MessageRole::Tool, QStringLiteral("result"));
    toolMessage.toolCallId = QStringLiteral("call_1");
    toolMessage.createdAt = m.createdAt.addSecs(1);
    c.messages = {m, toolMessage};

    const QByteArray json = encodeJson(c);
    // Any conforming parser reads what the writer wrote.
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    QCOMPARE(parseError.error, QJsonParseError::NoError);
    QCOMPARE(doc.object().value(QLatin1String("messages")).toArray().at(0).toObject().value(
                 QLatin1String("content")).toString(),
             tricky);

    const auto back = decodeConversation(json);
    QVERIFY2(back.ok(), qPrintable(back.ok() ? QString() : back.error().text()));
    Conversation expected = c;
    expected.messages[0].createdAt = QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC); // whole seconds
    expected.messages[1].createdAt = QDateTime(QDate(2024, 1, 2), QTime(3, 4, 6), Qt::UTC);
    QCOMPARE(back.value(), expected);
    QVERIFY(json.contains(R"("updatedAt" : "2023-12-31T23:00:00Z")"));
    QCOMPARE(keysAtIndent(json, 6), QStringList({"content", "createdAt", "id", "role", "toolCalls", "content",
                                                 "createdAt", "id", "role", "toolCallId"}));
    QCOMPARE(keysAtIndent(json, 10), QStringList({"argumentsJSON", "id", "name"}));
}

void TestChatRecords::loneSurrogateIsWrittenAsValidText()
{
    ChatMessage m = ChatMessage::make(MessageRole::User, QString(QChar(0xD800)) + u'x');
    const auto back = decodeChatMessage(encodeJson(m));
    QVERIFY(back.ok());
    QCOMPARE(back->content, QString(QChar(0xFFFD)) + u'x');
}

void TestChatRecords::isoDates_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QDateTime>("expected");
    const QDateTime noon(QDate(2024, 2, 29), QTime(12, 0, 0), Qt::UTC);
    QTest::newRow("zulu") << QByteArray("2024-02-29T12:00:00Z") << noon;
    QTest::newRow("negative offset") << QByteArray("2024-02-29T07:30:00-04:30") << noon;
    QTest::newRow("fraction") << QByteArray("2024-02-29T12:00:00.000Z") << QDateTime();
    QTest::newRow("no zone") << QByteArray("2024-02-29T12:00:00") << QDateTime();
    QTest::newRow("space separator") << QByteArray("2024-02-29 12:00:00Z") << QDateTime();
    QTest::newRow("hour 24") << QByteArray("2024-02-29T24:00:00Z") << QDateTime();
    QTest::newRow("compact offset") << QByteArray("2024-02-29T12:00:00+0000") << QDateTime();
}

void TestChatRecords::isoDates()
{
    QFETCH(QByteArray, text);
    QFETCH(QDateTime, expected);
    const auto parsed = IsoDate::parse(text);
    QCOMPARE(parsed.has_value(), expected.isValid());
    if (parsed)
        QCOMPARE(*parsed, expected);
}

void TestChatRecords::invalidDatesStillWriteReadableText()
{
    // A date the reader refuses would make the whole file unreadable.
    for (const QDateTime &d : {QDateTime(), QDateTime(QDate(12000, 1, 1), QTime(0, 0), Qt::UTC)})
        QVERIFY(IsoDate::parse(IsoDate::format(d)).has_value());
    QCOMPARE(IsoDate::format(QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9, 999), Qt::UTC)),
             QByteArray("2024-05-06T07:08:09Z"));
}

void TestChatRecords::sanitizeForStorage_data()
{
    QTest::addColumn<MessageRole>("role");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("expected");
    const QString image = QStringLiteral("![shot](data:image/png;base64,iVBORw0KGgo=\n AAAA)");
    const QString text = QStringLiteral("first\n") + image + QStringLiteral("\nthird");
    QTest::newRow("user image removed, newlines kept") << MessageRole::User << text
                                                        << QStringLiteral("first\n\nthird");
    QTest::newRow("assistant image removed") << MessageRole::Assistant << image + QStringLiteral(" tail")
                                             << QStringLiteral(" tail");
    QTest::newRow("tool message untouched") << MessageRole::Tool << text << text;
    QTest::newRow("system message untouched") << MessageRole::System << text << text;
    const QString noBase64 = QStringLiteral("![x](data:image/png,iVBORw0KGgo=)");
    QTest::newRow("data url without base64 kept") << MessageRole::User << noBase64 << noBase64;
    const QString remote = QStringLiteral("![x](https://example.invalid/a.png) data:image");
    QTest::newRow("remote image kept") << MessageRole::User << remote << remote;
    QTest::newRow("two images, note kept")
        << MessageRole::User << image + QStringLiteral("\n_(screenshot attached, not stored)_\n") + image
        << QStringLiteral("\n_(screenshot attached, not stored)_\n");
}

void TestChatRecords::sanitizeForStorage()
{
    QFETCH(MessageRole, role);
    QFETCH(QString, content);
    QFETCH(QString, expected);
    ChatMessage m = ChatMessage::make(role, content);
    m.toolCallId = QStringLiteral("call");
    const QList<ChatMessage> out = ChatMessage::sanitizeForStorage({m, m});
    QCOMPARE(out.size(), 2);
    QCOMPARE(out[1].content, expected);
    ChatMessage kept = m;
    kept.content = expected;
    QCOMPARE(out[0], kept); // id, role, tool fields and date unchanged
}

void TestChatRecords::stripAttachmentChrome_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    const QString block = QStringLiteral("\n\n---\n**Attached files** (paths relative to the open project when "
                                         "possible):\n\n### `src/main.c`\n```c\nint main;\n```\n");
    QTest::newRow("typed text and one file")
        << QStringLiteral("Fix the build") + block << QStringLiteral("Fix the build\n\n\U0001F4CE src/main.c");
    QTest::newRow("placeholder text and two files")
        << QStringLiteral("Use the attached files as context.") + block + QStringLiteral("### `b.txt`\n")
        << QStringLiteral("\U0001F4CE src/main.c\n\U0001F4CE b.txt");
    QTest::newRow("marker alone") << QStringLiteral("**Attached files**") << QString();
    QTest::newRow("first marker of the list wins")
        << QStringLiteral("a **Attached files** ### `x`\n\n---\n**Attached files**\n### `y`")
        << QStringLiteral("a **Attached files** ### `x`\n\n\U0001F4CE y");
    QTest::newRow("notes dropped without marker")
        << QStringLiteral("hello\n  _(image staged as a.webp)_\n\n_(not inlined: big.bin)_\n\tkeep _(image path: x)")
        << QStringLiteral("hello\n\n\tkeep _(image path: x)");
    QTest::newRow("carriage return not trimmed")
        << QStringLiteral("\r_(image staged)_\nok") << QStringLiteral("\r_(image staged)_\nok");
    QTest::newRow("head keeps its notes when a marker exists")
        << QStringLiteral("_(image staged)_") + block << QStringLiteral("_(image staged)_\n\n\U0001F4CE src/main.c");
}

void TestChatRecords::stripAttachmentChrome()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(ChatMessage::stripAttachmentChrome(text), expected);
}

MOONSHELF_TEST_GUILESS_MAIN(TestChatRecords)
#include "tst_chatrecords.moc"

void TestChatRecords::utf8Check_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::newRow("ascii") << QByteArray("plain text") << true;
    QTest::newRow("two three four bytes") << QByteArray("\xC3\xA9 \xE2\x86\x92 \xF0\x9F\x9A\x80") << true;
    QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << false;
    QTest::newRow("overlong three") << QByteArray("\xE0\x80\xAF") << false;
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << false;
    QTest::newRow("past U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << false;
    QTest::newRow("cut at the end") << QByteArray("abc\xE2\x86") << false;
    QTest::newRow("stray continuation") << QByteArray("abc\x80") << false;
    // Long runs take the sixteen-byte path and, past a few megabytes, the thread pool.
    QTest::newRow("fault after a long run") << QByteArray(40, 'a') + "\xFF" + QByteArray(40, 'b') << false;
    QByteArray big(9 << 20, 'x');
    big.replace(5 << 20, 4, "\xF0\x9F\x9A\x80");
    QTest::newRow("large valid, sequence near a cut") << big << true;
    big[(8 << 20) + 3] = '\xC3';
    QTest::newRow("large with one fault") << big << false;
}

void TestChatRecords::utf8Check()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    QCOMPARE(isValidUtf8(bytes), valid);
}

namespace {

// Every case in declaration order beside its stored text; an unknown text
// (the right one in another case) gives nothing.
template <typename E, std::size_t N>
void checkRawTexts(const std::array<E, N> &all, const QStringList &texts)
{
    QCOMPARE(qsizetype(N), texts.size());
    for (std::size_t i = 0; i < N; ++i) {
        QCOMPARE(toRaw(all[i]), texts[qsizetype(i)]);
        QCOMPARE(fromRaw<E>(texts[qsizetype(i)]), std::optional(all[i]));
        QCOMPARE(fromRaw<E>(texts[qsizetype(i)].toUpper()), std::nullopt);
    }
    QCOMPARE(fromRaw<E>(u""), std::nullopt);
}

} // namespace

void TestChatRecords::rawTexts()
{
    checkRawTexts(kAllMessageRoles, {"system", "user", "assistant", "tool"});
    checkRawTexts(kAllPolicyModes, {"tiered", "powerUser"});
    checkRawTexts(kAllToolGuardModes, {"ask", "balanced", "yolo"});
    checkRawTexts(kAllToolRisks, {"read", "write", "shell"});
    checkRawTexts(kAllToolLogStatuses, {"pending", "approved", "denied", "running", "success", "failure"});
}

void TestChatRecords::attachmentCopiesKeepEveryField()
{
    // Distinct values in every field, so two swapped fields of one type show.
    const StagedAttachment staged{QUuid::createUuid(),
                                  QUrl::fromLocalFile(QStringLiteral("/tmp/a.webp")),
                                  QStringLiteral("a.webp"),
                                  11,
                                  true,
                                  22,
                                  QStringLiteral("image/webp"),
                                  true,
                                  QStringLiteral("inline")};
    const AttachedFile chip = AttachedFile::fromStaged(staged);
    QCOMPARE(chip.byteCount, 11);
    QCOMPARE(chip.originalByteCount, 22);
    QCOMPARE(chip.mimeType, std::optional<QString>(QStringLiteral("image/webp")));
    QCOMPARE(chip.inlineContent, std::optional<QString>(QStringLiteral("inline")));
    QCOMPARE(chip.displayPath, QStringLiteral("a.webp"));
    QCOMPARE(chip.toStaged(), staged);
    StagedAttachment other = staged;
    other.isImage = false;
    QVERIFY(AttachedFile::fromStaged(other) != chip);
}
