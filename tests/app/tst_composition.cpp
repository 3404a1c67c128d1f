#include "app/FilePeek.h"
#include "app/MessageComposer.h"
#include "app/PartialReply.h"
#include "app/ToolPaths.h"
#include "model/ChatRecords.h"
#include "support/TestMain.h"

#include <QTemporaryDir>

#include <sys/stat.h>

using app::MessageComposer;
using model::AttachedFile;

namespace {

AttachedFile textFile(const QString &display, std::optional<QString> inlineContent, qint64 bytes)
{
    AttachedFile a;
    a.id = QUuid::createUuid();
    a.url = QUrl::fromLocalFile(QStringLiteral("/p/") + display);
    a.displayPath = display;
    a.inlineContent = std::move(inlineContent);
    a.byteCount = bytes;
    a.originalByteCount = bytes;
    return a;
}

AttachedFile imageFile(const QString &path, qint64 staged, qint64 original, bool owned = true,
                       std::optional<QString> mime = QStringLiteral("image/webp"))
{
    AttachedFile a;
    a.id = QUuid::createUuid();
    a.url = QUrl::fromLocalFile(path);
    a.displayPath = QFileInfo(path).fileName();
    a.byteCount = staged;
    a.originalByteCount = original;
    a.isImage = true;
    a.mimeType = std::move(mime);
    a.isOwnedTemp = owned;
    return a;
}

QString writeBytes(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

const QString kHeader = QStringLiteral("\n\n---\n**Attached files** (paths relative to the open project when possible):");

} // namespace

class TestComposition : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void textAttachments_data()
    {
        QTest::addColumn<QString>("draft");
        QTest::addColumn<QList<AttachedFile>>("attachments");
        QTest::addColumn<QString>("expected");

        QTest::newRow("no attachments returns draft exactly") << QStringLiteral("  hi  ") << QList<AttachedFile>{}
                                                              << QStringLiteral("  hi  ");
        QTest::newRow("empty draft no attachments") << QString() << QList<AttachedFile>{} << QString();
        QTest::newRow("empty draft inline file")
            << QString() << QList<AttachedFile>{textFile(QStringLiteral("notes.txt"), QStringLiteral("one line"), 8)}
            << QStringLiteral("Use the attached files as context.") + kHeader
                   + QStringLiteral("\n\n### `notes.txt`\n```\none line\n```");
        QTest::newRow("not inlined note")
            << QStringLiteral("look") << QList<AttachedFile>{textFile(QStringLiteral("big.bin"), std::nullopt, 123456)}
            << QStringLiteral("look") + kHeader
                   + QStringLiteral("\n\n### `big.bin`\n_(not inlined; 123456 bytes; use `read_file` on `big.bin` if "
                                    "inside the project)_");
        QTest::newRow("backticks in content are not escaped")
            << QStringLiteral("x") << QList<AttachedFile>{textFile(QStringLiteral("a.md"), QStringLiteral("```js\n```"), 9)}
            << QStringLiteral("x") + kHeader + QStringLiteral("\n\n### `a.md`\n```\n```js\n```\n```");
        // A name's line breaks and backticks would end the line or the code
        // span: the heading and the note get the same cleaned name.
        QTest::newRow("control characters replaced in the heading and the note")
            << QStringLiteral("x")
            << QList<AttachedFile>{textFile(QStringLiteral("a\nb\r\tc\u2028d\u0085e.txt"), std::nullopt, 3)}
            << QStringLiteral("x") + kHeader
                   + QStringLiteral("\n\n### `a\uFFFDb\uFFFD\uFFFDc\uFFFDd\uFFFDe.txt`\n_(not inlined; 3 bytes; use "
                                    "`read_file` on `a\uFFFDb\uFFFD\uFFFDc\uFFFDd\uFFFDe.txt` if inside the project)_");
        QTest::newRow("backticks replaced in the heading and the note")
            << QStringLiteral("x") << QList<AttachedFile>{textFile(QStringLiteral("a`)_\n# b`.txt"), std::nullopt, 3)}
            << QStringLiteral("x") + kHeader
                   + QStringLiteral("\n\n### `a\uFFFD)_\uFFFD# b\uFFFD.txt`\n_(not inlined; 3 bytes; use "
                                    "`read_file` on `a\uFFFD)_\uFFFD# b\uFFFD.txt` if inside the project)_");
        const QString exact(60000, QLatin1Char('a'));
        QTest::newRow("60000 characters inlined whole")
            << QStringLiteral("x") << QList<AttachedFile>{textFile(QStringLiteral("a"), exact, 60000)}
            << QStringLiteral("x") + kHeader + QStringLiteral("\n\n### `a`\n```\n") + exact + QStringLiteral("\n```");
        QTest::newRow("60001 characters cut and marked")
            << QStringLiteral("x") << QList<AttachedFile>{textFile(QStringLiteral("a"), exact + QLatin1Char('b'), 60001)}
            << QStringLiteral("x") + kHeader + QStringLiteral("\n\n### `a`\n```\n") + exact
                   + QStringLiteral("\n…(truncated)\n```");
        // An emoji at the cut stays whole instead of leaving half a surrogate pair.
        const QString emojis = QString(59999, QLatin1Char('a')) + QStringLiteral("\U0001F600\U0001F600");
        QTest::newRow("cut at a character boundary")
            << QStringLiteral("x") << QList<AttachedFile>{textFile(QStringLiteral("e"), emojis, 1)}
            << QStringLiteral("x") + kHeader + QStringLiteral("\n\n### `e`\n```\n") + QString(59999, QLatin1Char('a'))
                   + QStringLiteral("\U0001F600\n…(truncated)\n```");
    }
    void textAttachments()
    {
        QFETCH(QString, draft);
        QFETCH(QList<AttachedFile>, attachments);
        QFETCH(QString, expected);
        const QString got = MessageComposer::compose(draft, attachments, true, {});
        QCOMPARE(got, expected);
        QCOMPARE(MessageComposer::compose(draft, attachments, false, {}), got);
    }

    void displayCleanupReadsComposedText()
    {
        const QString composed = MessageComposer::compose(
            QString(), {textFile(QStringLiteral("src/a.c"), QStringLiteral("int x;"), 6),
                        textFile(QStringLiteral("b.bin"), std::nullopt, 9)},
            false, {});
        QCOMPARE(model::ChatMessage::stripAttachmentChrome(composed),
                 QStringLiteral("\U0001F4CE src/a.c\n\U0001F4CE b.bin"));
    }

    void images()
    {
        QTemporaryDir dir;
        const QByteArray small(100, 'x');
        const QByteArray atLimit(49152, 'y');
        const QByteArray overLimit(49153, 'z');
        const QString smallPath = writeBytes(dir, QStringLiteral("s.webp"), small);
        const QString atPath = writeBytes(dir, QStringLiteral("at.webp"), atLimit);
        const QString overPath = writeBytes(dir, QStringLiteral("over.jpg"), overLimit);

        int compressCalls = 0;
        const MessageComposer::Compressor compress = [&](const QByteArray &bytes) {
            ++compressCalls;
            [&] { QCOMPARE(bytes.size(), overLimit.size()); }();
            return std::optional<MessageComposer::Recompressed>({QByteArray(10, 'c'), QStringLiteral("image/webp")});
        };

        QList<AttachedFile> list{imageFile(smallPath, 100, 5000),
                                 imageFile(atPath, 49152, 90000),
                                 imageFile(overPath, 49153, 2000000, true, QStringLiteral("image/jpeg")),
                                 imageFile(smallPath, 100, 5000, true, std::nullopt),
                                 imageFile(smallPath, 100, 5000)};
        const QString sent = MessageComposer::compose(QStringLiteral("see"), list, true, compress);
        QCOMPARE(compressCalls, 1);

        const QString expected =
            QStringLiteral("see") + kHeader + QStringLiteral("\n\n### `s.webp`\n![screenshot](data:image/webp;base64,")
            + QString::fromLatin1(small.toBase64())
            + QStringLiteral(")\n_(compressed 100 B for model; original 5000 B; temp, not stored in history)_")
            + QStringLiteral("\n\n### `at.webp`\n![screenshot](data:image/webp;base64,")
            + QString::fromLatin1(atLimit.toBase64())
            + QStringLiteral(")\n_(compressed 49152 B for model; original 90000 B; temp, not stored in history)_")
            // Recompressed here: the data URL names the new type.
            + QStringLiteral("\n\n### `over.jpg`\n![screenshot](data:image/webp;base64,")
            + QString::fromLatin1(QByteArray(10, 'c').toBase64())
            + QStringLiteral(")\n_(compressed 10 B for model; original 2000000 B; temp, not stored in history)_")
            + QStringLiteral("\n\n### `s.webp`\n![screenshot](data:image/jpeg;base64,")
            + QString::fromLatin1(small.toBase64())
            + QStringLiteral(")\n_(compressed 100 B for model; original 5000 B; temp, not stored in history)_")
            + QStringLiteral("\n\n### `s.webp`\n_(image staged 100 B from 5000 B original; path `s.webp`)_");
        QCOMPARE(sent, expected);

        const QString stored = MessageComposer::compose(QStringLiteral("see"), list, false, compress);
        QCOMPARE(compressCalls, 1); // storage form reads no file
        QVERIFY(!stored.contains(QStringLiteral("data:image")));
        QCOMPARE(stored.count(QStringLiteral("_(image staged ")), 5);
    }

    // The model's text can be made from bytes read earlier, after the
    // staged files are gone; only owned images are asked for.
    void imagesFromBytesReadEarlier()
    {
        const QByteArray bytes(64, 'p');
        QList<AttachedFile> list{imageFile(QStringLiteral("/gone/a.webp"), 64, 900),
                                 imageFile(QStringLiteral("/gone/b.webp"), 64, 900, false)};
        QStringList asked;
        const MessageComposer::Reader read = [&](const QUrl &url) -> std::optional<QByteArray> {
            asked.append(url.toLocalFile());
            return bytes;
        };
        const QString got = MessageComposer::compose(QStringLiteral("d"), list, true, {}, read);
        QCOMPARE(asked, QStringList{QStringLiteral("/gone/a.webp")});
        QCOMPARE(got, QStringLiteral("d") + kHeader + QStringLiteral("\n\n### `a.webp`\n![screenshot](data:image/webp;base64,")
                          + QString::fromLatin1(bytes.toBase64())
                          + QStringLiteral(")\n_(compressed 64 B for model; original 900 B; temp, not stored in history)_")
                          + QStringLiteral("\n\n### `b.webp`\n_(image staged 64 B from 900 B original; path `b.webp`)_"));
        // A folder is no readable image.
        QTemporaryDir dir;
        QVERIFY(!MessageComposer::readStaged(QUrl::fromLocalFile(dir.path())));
    }

    void imageFallbacks_data()
    {
        QTest::addColumn<bool>("owned");
        QTest::addColumn<qint64>("staged");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("compressWorks");
        QTest::addColumn<QString>("note");
        QTest::newRow("not owned") << false << qint64(10) << true << true
                                   << QStringLiteral("\n_(image staged 10 B from 20 B original; path `i.png`)_");
        QTest::newRow("zero bytes gives path note") << false << qint64(0) << true << true
                                                    << QStringLiteral("\n_(image path: `%1`)_");
        QTest::newRow("unreadable staged file") << true << qint64(10) << false << true
                                                << QStringLiteral("\n_(image staged 10 B from 20 B original; path `i.png`)_");
        QTest::newRow("recompression fails") << true << qint64(60000) << true << false
                                             << QStringLiteral("\n_(image staged 60000 B from 20 B original; path `i.png`)_");
    }
    // Image notes carry the name (or the path) cleaned as the heading is.
    void imageNotesCleanNames_data()
    {
        QTest::addColumn<qint64>("staged");
        QTest::addColumn<QString>("note");
        QTest::newRow("staged note") << qint64(10)
                                     << QStringLiteral("\n_(image staged 10 B from 20 B original; path `%1`)_");
        QTest::newRow("path note") << qint64(0) << QStringLiteral("\n_(image path: `%2`)_");
    }
    void imageNotesCleanNames()
    {
        QFETCH(qint64, staged);
        QFETCH(QString, note);
        const QString name = QStringLiteral("shot`)_\n![x](y).png");
        const QString clean = QStringLiteral("shot\uFFFD)_\uFFFD![x](y).png");
        const AttachedFile a = imageFile(QStringLiteral("/tmp/dir\r/") + name, staged, 20, false);
        const QString got = MessageComposer::compose(QStringLiteral("d"), {a}, false, {});
        QCOMPARE(got, QStringLiteral("d") + kHeader + QStringLiteral("\n\n### `") + clean + QStringLiteral("`")
                          + QString(note).replace(QStringLiteral("%1"), clean)
                                .replace(QStringLiteral("%2"), QStringLiteral("/tmp/dir\uFFFD/") + clean));
        QCOMPARE(got.count(u'\n'), (QStringLiteral("d") + kHeader).count(u'\n') + 3);
    }

    void imageFallbacks()
    {
        QFETCH(bool, owned);
        QFETCH(qint64, staged);
        QFETCH(bool, exists);
        QFETCH(bool, compressWorks);
        QFETCH(QString, note);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("i.png"));
        if (exists)
            writeBytes(dir, QStringLiteral("i.png"), QByteArray(qMax<qint64>(staged, 1), 'q'));
        const AttachedFile a = imageFile(path, staged, 20, owned);
        const MessageComposer::Compressor compress = [&](const QByteArray &) {
            return compressWorks ? std::optional<MessageComposer::Recompressed>({QByteArray(5, 'c'), QStringLiteral("image/jpeg")})
                                 : std::nullopt;
        };
        const QString got = MessageComposer::compose(QStringLiteral("d"), {a}, true, compress);
        const QString expectedNote = note.contains(QStringLiteral("%1")) ? note.arg(path) : note;
        QCOMPARE(got, QStringLiteral("d") + kHeader + QStringLiteral("\n\n### `i.png`") + expectedNote);
    }

    void peek_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("hasContent");
        QTest::addColumn<qint64>("byteCount");
        QTest::addColumn<qint64>("lineCount");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty file has one line") << QByteArray() << true << qint64(0) << qint64(1) << QString();
        QTest::newRow("final newline adds a line") << QByteArray("a\nb\n") << true << qint64(4) << qint64(3) << QString();
        QTest::newRow("400000 bytes shown") << QByteArray(400000, 'a') << true << qint64(400000) << qint64(1) << QString();
        QTest::newRow("400001 bytes too large")
            << QByteArray(400001, 'a') << false << qint64(400001) << qint64(0)
            << QStringLiteral("File too large to peek (400001 bytes). Attach path or use tools.");
        QTest::newRow("invalid utf8") << QByteArray("ab\xff\xfe") << false << qint64(4) << qint64(0)
                                      << QStringLiteral("Binary or non-UTF-8 file.");
    }
    void peek()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, hasContent);
        QFETCH(qint64, byteCount);
        QFETCH(qint64, lineCount);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString path = writeBytes(dir, QStringLiteral("f"), bytes);
        const model::PeekedFile f = app::FilePeek::peek(QUrl::fromLocalFile(path), QStringLiteral("f"));
        QCOMPARE(f.content.has_value(), hasContent);
        QCOMPARE(f.isBinary, !hasContent);
        QCOMPARE(f.byteCount, byteCount);
        QCOMPARE(f.lineCount, lineCount);
        QCOMPARE(f.errorMessage.value_or(QString()), error);
        if (hasContent)
            QCOMPARE(f.content->toUtf8(), bytes);
    }

    void peekRefusesFifoAndFoldersWithoutBlocking()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        for (const QString &path : {fifo, dir.path(), dir.filePath(QStringLiteral("missing"))}) {
            const model::PeekedFile f = app::FilePeek::peek(QUrl::fromLocalFile(path), QStringLiteral("x"));
            QCOMPARE(f.errorMessage.value_or(QString()), QStringLiteral("Could not read file."));
            QVERIFY(!f.content);
        }
    }

    void extractPath_data()
    {
        QTest::addColumn<QString>("preview");
        QTest::addColumn<QString>("path"); // empty: none
        QTest::newRow("json object") << QStringLiteral("{\"path\":\"src/a.c\",\"content\":\"x\"}") << QStringLiteral("src/a.c");
        QTest::newRow("cut inside content") << QStringLiteral("{\"path\": \"src/main.c\", \"content\": \"int ma")
                                            << QStringLiteral("src/main.c");
        QTest::newRow("no path member") << QStringLiteral("{\"command\":\"ls\"}") << QString();
        QTest::newRow("empty path") << QStringLiteral("{\"path\":\"\",\"x\":1") << QString();
        QTest::newRow("whitespace before value") << QStringLiteral("{\"path\" :\n\t \"a b\"") << QStringLiteral("a b");
        QTest::newRow("value not a string") << QStringLiteral("{\"path\": 3, \"x\": \"y\"") << QString();
        QTest::newRow("unclosed value") << QStringLiteral("{\"path\": \"abc") << QString();
    }
    void extractPath()
    {
        QFETCH(QString, preview);
        QFETCH(QString, path);
        const std::optional<QString> got = app::extractToolPath(preview);
        if (path.isEmpty()) {
            QVERIFY2(!got, qPrintable(got.value_or(QString())));
        } else {
            QCOMPARE(got.value_or(QString()), path);
        }
    }

    // The text kept of a reply cut short: what storage allows, then the mark.
    void partialReply_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("kept"); // empty: nothing kept
        const QString mark = app::PartialReply::incompleteMark();
        QTest::newRow("plain text") << QStringLiteral("Half an ans") << "Half an ans" + mark;
        QTest::newRow("spaces only are still text") << QStringLiteral("  ") << "  " + mark;
        QTest::newRow("empty keeps nothing") << QString() << QString();
        QTest::newRow("whole inline image removed")
            << QStringLiteral("a ![x](data:image/png;base64,iVBO=) b") << "a  b" + mark;
        QTest::newRow("cut inside the base64") << QStringLiteral("see ![x](data:image/png;base64,iVBORw0\nKGgo")
                                               << "see " + mark;
        QTest::newRow("cut inside the media type") << QStringLiteral("see ![x](data:image/pn") << "see " + mark;
        QTest::newRow("cut before the comma") << QStringLiteral("see ![x](data:image/png;bas") << "see " + mark;
        QTest::newRow("only a cut image keeps nothing")
            << QStringLiteral("![x](data:image/png;base64,iVBO") << QString();
        QTest::newRow("an image link that is not data stays")
            << QStringLiteral("![x](https://example.org/a.png") << "![x](https://example.org/a.png" + mark;
        QTest::newRow("a whole image before a cut one")
            << QStringLiteral("![a](data:image/png;base64,AA==) then ![b](data:image/jpeg;base64,/9j/")
            << " then " + mark;
    }
    void partialReply()
    {
        QFETCH(QString, text);
        QFETCH(QString, kept);
        const std::optional<QString> got = app::PartialReply::marked(text, app::PartialReply::incompleteMark());
        if (kept.isEmpty())
            QVERIFY2(!got, qPrintable(got.value_or(QString())));
        else
            QCOMPARE(got.value_or(QString()), kept);
        // Storage's own clean-up leaves the marked text as it is.
        if (got) {
            const model::ChatMessage m = model::ChatMessage::make(model::MessageRole::Assistant, *got);
            QCOMPARE(model::ChatMessage::sanitizeForStorage({m}).first().content, *got);
        }
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestComposition)
#include "tst_composition.moc"
