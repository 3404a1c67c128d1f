// Limits, names, user files and the staging folder.
#include "model/AttachmentTempStore.h"
#include "model/AttachmentTempStoreNaming.h"
#include "platform/AppPaths.h"
#include "support/TaskWait.h"
#include "support/TestMain.h"
#include "tst_staging_fixtures.h"

#include <QEventLoop>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace model;
using Store = AttachmentTempStore;
using Kind = Store::IngestError::Kind;

namespace {

mode_t modeOf(const QString &path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A file of `size` bytes without writing them (sparse).
void sizedFile(const QString &path, qint64 size)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(f.resize(size));
}

QStringList visibleEntries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

class TestStaging : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QByteArray m_png = fixtures::encode(fixtures::photoLike(QSize(64, 48)), "png");

    QString root() const { return m_dir.filePath(QStringLiteral("staging")); }
    QString userFile(const QString &name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void init() { QDir(root()).removeRecursively(); }

    void errorTexts_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("fileTooLarge carries the size")
            << int(Kind::FileTooLarge) << QStringLiteral("File too large (12582913 bytes). Max 12 MB per drop.");
        QTest::newRow("tooMany") << int(Kind::TooMany) << QStringLiteral("Max 10 attachments. Remove some first.");
        QTest::newRow("totalTooLarge") << int(Kind::TotalTooLarge)
                                       << QStringLiteral("Attachments would exceed 24 MB staged total.");
        QTest::newRow("decodeFailed") << int(Kind::DecodeFailed) << QStringLiteral("Could not read that image.");
        QTest::newRow("writeFailed") << int(Kind::WriteFailed)
                                     << QStringLiteral("Could not stage attachment in temp storage.");
    }
    void errorTexts()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QCOMPARE((Store::IngestError{Kind(kind), 12582913}.description()), text);
    }

    // Limits of stageImage, checked in the order count, size, total.
    void imageLimits_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<int>("expected"); // -1: staged
        const QByteArray tooBig = fixtures::paddedTo(m_png, 12'582'913);
        QTest::newRow("ten staged: tooMany before the size") << tooBig << qint64(10) << qint64(0) << int(Kind::TooMany);
        QTest::newRow("nine staged: accepted") << m_png << qint64(9) << qint64(0) << -1;
        QTest::newRow("12582912 bytes passes the size test")
            << fixtures::paddedTo(m_png, 12'582'912) << qint64(0) << qint64(0) << -1;
        QTest::newRow("12582913 bytes: fileTooLarge") << tooBig << qint64(0) << qint64(0) << int(Kind::FileTooLarge);
        QTest::newRow("10 MB image counts as 49152 against 25100000")
            << fixtures::paddedTo(m_png, 10'000'000) << qint64(0) << qint64(25'100'000) << -1;
        QTest::newRow("total exactly at the limit") << fixtures::paddedTo(m_png, 60'000) << qint64(0)
                                                    << qint64(25'165'824 - 49'152) << -1;
        QTest::newRow("one byte over the total") << fixtures::paddedTo(m_png, 60'000) << qint64(0)
                                                 << qint64(25'165'824 - 49'151) << int(Kind::TotalTooLarge);
        QTest::newRow("small image counts at its own size")
            << m_png << qint64(0) << qint64(25'165'824 - m_png.size()) << -1;
        QTest::newRow("total near the integer limit does not overflow")
            << m_png << qint64(0) << std::numeric_limits<qint64>::max() << int(Kind::TotalTooLarge);
        QTest::newRow("not an image") << QByteArray("hello, world") << qint64(0) << qint64(0)
                                      << int(Kind::DecodeFailed);
    }
    void imageLimits()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, count);
        QFETCH(qint64, total);
        QFETCH(int, expected);
        const Store store(root());
        const auto result = store.stageImage(bytes, QStringLiteral("p.png"), count, total);
        if (expected < 0) {
            QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : result.error().description()));
            QCOMPARE(result->originalByteCount, qint64(bytes.size()));
            QVERIFY(result->isImage && result->isOwnedTemp && !result->inlineContent);
            QVERIFY(QFileInfo::exists(result->url.toLocalFile()));
        } else {
            QVERIFY(!result.ok());
            QCOMPARE(int(result.error().kind), expected);
            if (Kind(expected) == Kind::FileTooLarge)
                QCOMPARE(result.error().size, qint64(bytes.size()));
            QVERIFY2(visibleEntries(root()).isEmpty(), "a refused image wrote something");
        }
    }

    void fileLimits_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<int>("expected"); // -1: staged
        QTest::newRow("12582912 bytes accepted") << qint64(12'582'912) << qint64(0) << qint64(0) << -1;
        QTest::newRow("12582913 bytes refused") << qint64(12'582'913) << qint64(0) << qint64(0)
                                                << int(Kind::FileTooLarge);
        QTest::newRow("10 MB file counts as 80000 against 25100000")
            << qint64(10'000'000) << qint64(0) << qint64(25'100'000) << int(Kind::TotalTooLarge);
        QTest::newRow("total exactly at the limit") << qint64(100'000) << qint64(0) << qint64(25'165'824 - 80'000)
                                                    << -1;
        QTest::newRow("small file counts at its size") << qint64(100) << qint64(0) << qint64(25'165'724) << -1;
        QTest::newRow("ten staged: tooMany") << qint64(100) << qint64(10) << qint64(0) << int(Kind::TooMany);
    }
    void fileLimits()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, count);
        QFETCH(qint64, total);
        QFETCH(int, expected);
        const QString path = userFile(QStringLiteral("data.bin"));
        sizedFile(path, size);
        const Store store(root());
        const auto result = store.stageFile(QUrl::fromLocalFile(path), QStringLiteral("data.bin"), count, total);
        if (expected < 0) {
            QVERIFY(result.ok());
            QCOMPARE(result->byteCount, size);
            QCOMPARE(result->originalByteCount, size);
            QCOMPARE(result->url, QUrl::fromLocalFile(path));
            QCOMPARE(result->displayPath, QStringLiteral("data.bin"));
            QVERIFY(!result->isImage && !result->isOwnedTemp && !result->mimeType);
        } else {
            QVERIFY(!result.ok());
            const auto *error = std::get_if<Store::IngestError>(&result.error());
            QVERIFY(error);
            QCOMPARE(int(error->kind), expected);
            if (Kind(expected) == Kind::FileTooLarge)
                QCOMPARE(error->description(), QStringLiteral("File too large (12582913 bytes). Max 12 MB per drop."));
        }
        QVERIFY(QFileInfo::exists(path));
    }

    void tooManyBeforeLookingAtTheFile()
    {
        const Store store(root());
        const auto result = store.stageFile(QUrl::fromLocalFile(userFile(QStringLiteral("missing.png"))),
                                            QStringLiteral("missing.png"), 10, 0);
        QVERIFY(!result.ok());
        QCOMPARE(std::get<Store::IngestError>(result.error()), Store::IngestError::tooMany());
    }

    void inlineText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("inlined");
        QTest::newRow("80000 bytes inlined") << QByteArray(80'000, 'a') << true;
        QTest::newRow("80001 bytes not inlined") << QByteArray(80'001, 'a') << false;
        QTest::newRow("80000 bytes of two-byte characters") << QString(40'000, QChar(0xE9)).toUtf8() << true;
        QTest::newRow("empty file inlined as empty text") << QByteArray() << true;
        QTest::newRow("invalid byte") << QByteArray("abc\xFF def") << false;
        QTest::newRow("overlong slash") << QByteArray("a\xC0\xAF") << false;
        QTest::newRow("encoded surrogate") << QByteArray("a\xED\xA0\x80") << false;
        QTest::newRow("sequence cut off at the end") << QByteArray("price \xE2\x82") << false;
    }
    void inlineText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, inlined);
        const QString path = userFile(QStringLiteral("notes.txt"));
        writeFile(path, bytes);
        const Store store(root());
        const auto result = store.stageFile(QUrl::fromLocalFile(path), QStringLiteral("notes.txt"), 0, 0);
        QVERIFY(result.ok());
        QCOMPARE(result->inlineContent.has_value(), inlined);
        if (inlined)
            QCOMPARE(result->inlineContent->toUtf8(), bytes);
        QCOMPARE(result->byteCount, qint64(bytes.size()));
    }

    // Only regular files are read: anything else is refused at once.
    void notRegularFilesRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("fifo named like text") << QStringLiteral("fifo.txt");
        QTest::newRow("fifo named like an image") << QStringLiteral("fifo.png");
        QTest::newRow("folder") << QStringLiteral("folder");
        QTest::newRow("missing file") << QStringLiteral("missing.txt");
        QTest::newRow("device") << QStringLiteral("/dev/zero");
    }
    void notRegularFilesRefused()
    {
        QFETCH(QString, kind);
        QString path = kind.startsWith(QLatin1Char('/')) ? kind : userFile(kind);
        if (kind.startsWith(QStringLiteral("fifo"))) {
            QFile::remove(path);
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == QStringLiteral("folder")) {
            QDir().mkpath(path);
        }
        const Store store(root());
        const auto result = store.stageFile(QUrl::fromLocalFile(path), kind, 0, 0);
        QVERIFY(!result.ok());
        QVERIFY(std::holds_alternative<FileReadError>(result.error()));
        QVERIFY(describe(result.error()).startsWith(QStringLiteral("Could not read")));
        QVERIFY(visibleEntries(root()).isEmpty());
    }

    void imageRecognisedByExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("isImage");
        QTest::newRow("capital PNG") << QStringLiteral("SHOT.PNG") << true;
        QTest::newRow("jpeg") << QStringLiteral("a.b.jpeg") << true;
        QTest::newRow("no extension, image content") << QStringLiteral("README") << false;
        QTest::newRow("hidden name is not an extension") << QStringLiteral(".png") << false;
        QTest::newRow("text extension") << QStringLiteral("shot.png.txt") << false;
    }
    void imageRecognisedByExtension()
    {
        QFETCH(QString, name);
        QFETCH(bool, isImage);
        const QString path = userFile(name);
        writeFile(path, m_png);
        const Store store(root());
        const auto result = store.stageFile(QUrl::fromLocalFile(path), name, 0, 0);
        QVERIFY(result.ok());
        QCOMPARE(result->isImage, isImage);
        QCOMPARE(result->isOwnedTemp, isImage);
        if (isImage) {
            QCOMPARE(QFileInfo(result->url.toLocalFile()).absolutePath(), QDir::cleanPath(root()));
            QCOMPARE(result->displayPath, QFileInfo(result->url.toLocalFile()).fileName());
        }
        QCOMPARE(QFile(path).size(), qint64(m_png.size()));
    }

    void baseNames_data()
    {
        QTest::addColumn<QString>("suggested");
        QTest::addColumn<QString>("base");
        QTest::newRow("colons become dashes") << QStringLiteral("Shot 10:42:01.png") << QStringLiteral("Shot 10-42-01");
        QTest::newRow("last path component") << QStringLiteral("a/b/photo.png") << QStringLiteral("photo");
        QTest::newRow("trailing slash") << QStringLiteral("a/photo.png/") << QStringLiteral("photo");
        QTest::newRow("empty name gives drop") << QString() << QStringLiteral("drop");
        QTest::newRow("only the last dot's extension") << QStringLiteral("archive.tar.png")
                                                       << QStringLiteral("archive.tar");
        QTest::newRow("no extension kept whole") << QStringLiteral("photo") << QStringLiteral("photo");
        QTest::newRow("control characters replaced") << QStringLiteral("bad\nname\t\u0085x.png")
                                                     << QStringLiteral("bad-name--x");
        QTest::newRow("line separator replaced") << QStringLiteral("a\u2028b.png") << QStringLiteral("a-b");
    }
    void baseNames()
    {
        QFETCH(QString, suggested);
        QFETCH(QString, base);
        QCOMPARE(AttachmentNaming::baseName(suggested), base);
    }

    // The staged name always fits NAME_MAX, cut between whole characters.
    void longNamesCut_data()
    {
        QTest::addColumn<QString>("unit");
        QTest::newRow("ascii") << QStringLiteral("a");
        QTest::newRow("two-byte letters") << QStringLiteral("\u00E9");
        QTest::newRow("emoji family (one character of 18 bytes)")
            << QStringLiteral("\U0001F469\u200D\U0001F469\u200D\U0001F467");
        QTest::newRow("e with combining accent") << QStringLiteral("e\u0301");
    }
    void longNamesCut()
    {
        QFETCH(QString, unit);
        QString suggested;
        for (int i = 0; i < 400; ++i)
            suggested += unit;
        const QString base = AttachmentNaming::baseName(suggested + QStringLiteral(".png"));
        QVERIFY(!base.isEmpty());
        QVERIFY(base.toUtf8().size() <= AttachmentNaming::kMaxBaseBytes);
        QCOMPARE(base.size() % unit.size(), 0);
        QVERIFY(suggested.startsWith(base));

        const Store store(root());
        const auto result = store.stageImage(m_png, suggested + QStringLiteral(".png"), 0, 0);
        QVERIFY(result.ok());
        QVERIFY(QFile::encodeName(result->displayPath).size() <= 255 - 8); // room for the writer's temp name
    }

    void stagedNameShape()
    {
        const Store store(root());
        const auto result = store.stageImage(m_png, QStringLiteral("Screen Shot 10:42.png"), 0, 0);
        QVERIFY(result.ok());
        static const QRegularExpression shape(QStringLiteral("^[0-9A-F]{8}-Screen Shot 10-42\\.(webp|jpg)$"));
        QVERIFY2(shape.match(result->displayPath).hasMatch(), qPrintable(result->displayPath));
        QCOMPARE(result->displayPath.endsWith(QStringLiteral(".webp")),
                 result->mimeType == QStringLiteral("image/webp"));
        QCOMPARE(modeOf(result->url.toLocalFile()), mode_t(0600));
        QCOMPARE(modeOf(root()), mode_t(0700));
        QCOMPARE(QFileInfo(result->url.toLocalFile()).size(), result->byteCount);
    }

    void userFilesNeverDeleted()
    {
        const QString text = userFile(QStringLiteral("keep.txt"));
        const QString image = userFile(QStringLiteral("keep.png"));
        writeFile(text, "mine");
        writeFile(image, m_png);
        const Store store(root());
        const auto stagedText = store.stageFile(QUrl::fromLocalFile(text), QStringLiteral("keep.txt"), 0, 0);
        const auto stagedImage = store.stageFile(QUrl::fromLocalFile(image), QStringLiteral("keep.png"), 1, 0);
        QVERIFY(stagedText.ok() && stagedImage.ok());

        store.deleteOwned(*stagedText);
        store.deleteOwned(*stagedImage);
        QVERIFY(QFileInfo::exists(text));
        QVERIFY(QFileInfo::exists(image));
        QVERIFY(!QFileInfo::exists(stagedImage->url.toLocalFile()));

        // A record that wrongly claims ownership of a user's file.
        StagedAttachment forged = *stagedText;
        forged.isOwnedTemp = true;
        store.deleteOwned(forged);
        forged.url = QUrl::fromLocalFile(root() + QStringLiteral("/../keep.txt"));
        store.deleteOwned(forged);
        QVERIFY(QFileInfo::exists(text));
    }

    void purgeStaysInsideTheFolder()
    {
        const QString outside = userFile(QStringLiteral("outside"));
        QDir().mkpath(outside);
        writeFile(outside + QStringLiteral("/precious.txt"), "x");
        {
            const Store store(root());
            QVERIFY(store.stageImage(m_png, QStringLiteral("a.png"), 0, 0).ok());
            QDir().mkpath(root() + QStringLiteral("/sub/deeper"));
            writeFile(root() + QStringLiteral("/sub/deeper/f"), "x");
            QVERIFY(QFile::link(outside, root() + QStringLiteral("/link")));
            writeFile(root() + QStringLiteral("/.hidden"), "x");
        }
        // A new store (a new process) purges what the last one left; hidden
        // entries are not listed, so they stay.
        const Store store(root());
        QCOMPARE(visibleEntries(root()), QStringList());
        QVERIFY(QFileInfo::exists(root() + QStringLiteral("/.hidden")));
        QVERIFY(QFileInfo::exists(outside + QStringLiteral("/precious.txt")));
    }

    void symlinkedFolderRefused()
    {
        const QString real = userFile(QStringLiteral("real"));
        QDir().mkpath(real);
        writeFile(real + QStringLiteral("/precious.txt"), "x");
        QFile::remove(root());
        QVERIFY(QFile::link(real, root()));
        const Store store(root());
        QVERIFY(QFileInfo::exists(real + QStringLiteral("/precious.txt")));
        const auto result = store.stageImage(m_png, QStringLiteral("a.png"), 0, 0);
        QVERIFY(!result.ok());
        QCOMPARE(result.error(), Store::IngestError::writeFailed());
        QCOMPARE(QDir(real).entryList(QDir::Files), QStringList{QStringLiteral("precious.txt")});
        QFile::remove(root());
    }

    void sharedLivesInTheRuntimeFolder()
    {
        QCOMPARE(Store::shared().rootDirectory(),
                 QDir::cleanPath(platform::AppPaths::runtimeDirectory() + QStringLiteral("/MoonshelfMac-attachments")));
        QVERIFY(QFileInfo(Store::shared().rootDirectory()).isDir());
    }

    void asyncFormsGiveTheSameResults()
    {
        const Store store(root());
        const QString text = userFile(QStringLiteral("async.txt"));
        writeFile(text, "hello");
        const auto file = testsupport::waitForTask(store.stageFileAsync(QUrl::fromLocalFile(text), QStringLiteral("async.txt"), 0, 0));
        QVERIFY(file.ok());
        QCOMPARE(file->inlineContent, std::optional<QString>(QStringLiteral("hello")));

        const auto image = testsupport::waitForTask(store.stageImageAsync(m_png, QStringLiteral("a.png"), 0, 0));
        QVERIFY(image.ok());
        QVERIFY(QFileInfo::exists(image->url.toLocalFile()));
        const auto refused = testsupport::waitForTask(store.stageImageAsync(QByteArray("nope"), QStringLiteral("a.png"), 0, 0));
        QCOMPARE(refused.error(), Store::IngestError::decodeFailed());
    }
};

MOONSHELF_TEST_GUI_MAIN(TestStaging)
#include "tst_staging.moc"
