#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/Graphemes.h"
#include "platform/InstanceLock.h"
#include "platform/RegularFile.h"
#include "platform/ServiceHosts.h"
#include "platform/UserDefaults.h"
#include "support/TestMain.h"

#include <QProcess>

#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

namespace {

mode_t modeOf(const QString &path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

} // namespace

class TestPlatform : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void supportDirectoryIsPrivate()
    {
        const QString dir = AppPaths::supportDirectory();
        QVERIFY(dir.endsWith(QStringLiteral("/.local/share/com.ovu.QirvMac")));
        QVERIFY(QFileInfo(dir).isDir());
        QCOMPARE(modeOf(dir), mode_t(0700));
    }

    void ensurePrivateDirectoryRefusesSymlink()
    {
        QTemporaryDir tmp;
        const QString target = tmp.filePath(QStringLiteral("real"));
        QDir().mkpath(target);
        const QString link = tmp.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(target, link));
        QVERIFY(!AppPaths::ensurePrivateDirectory(link));
        QVERIFY(AppPaths::ensurePrivateDirectory(target));
    }

    void atomicWriteModes_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::addColumn<int>("existingMode");
        QTest::addColumn<int>("requested"); // -1: keep
        QTest::addColumn<int>("expected");
        QTest::newRow("new file private") << false << 0 << 0600 << 0600;
        QTest::newRow("new file keep defaults to 0644") << false << 0 << -1 << 0644;
        QTest::newRow("replace keeps executable mode") << true << 0755 << -1 << 0755;
        QTest::newRow("replace world-readable with private") << true << 0644 << 0600 << 0600;
    }
    void atomicWriteModes()
    {
        QFETCH(bool, existing);
        QFETCH(int, existingMode);
        QFETCH(int, requested);
        QFETCH(int, expected);
        QTemporaryDir tmp;
        const QString path = tmp.filePath(QStringLiteral("f.json"));
        if (existing) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old");
            f.close();
            ::chmod(QFile::encodeName(path).constData(), mode_t(existingMode));
        }
        WriteOptions options;
        options.mode = requested < 0 ? std::nullopt : std::optional<mode_t>(mode_t(requested));
        QCOMPARE(writeFileAtomically(path, "new bytes", options), QString());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("new bytes"));
        QCOMPARE(modeOf(path), mode_t(expected));
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temp left
    }

    // A file made while it is written holds its pieces in order, whatever
    // their sizes: small ones are gathered, large ones go out on their own.
    void atomicWriteOfPieces_data()
    {
        QTest::addColumn<QList<int>>("sizes");
        QTest::newRow("no parts") << QList<int>{};
        QTest::newRow("one empty part") << QList<int>{0};
        QTest::newRow("small parts") << QList<int>{1, 7, 0, 300};
        QTest::newRow("small parts past the gathering room") << QList<int>(40, 3000);
        QTest::newRow("a large part between small ones") << QList<int>{5, 200'000, 9, 65'536, 1};
        QTest::newRow("a part that just fills the room") << QList<int>{65'535, 1, 2};
    }
    void atomicWriteOfPieces()
    {
        QFETCH(QList<int>, sizes);
        QByteArrayList pieces;
        for (int i = 0; i < sizes.size(); ++i)
            pieces.append(QByteArray(sizes[i], char('a' + i % 26)));
        QTemporaryDir tmp;
        const QString path = tmp.filePath(QStringLiteral("f.json"));
        const ByteSource source = [&pieces](const ByteSink &sink) {
            for (const QByteArray &piece : std::as_const(pieces)) {
                if (!sink(piece))
                    return false;
            }
            return true;
        };
        QCOMPARE(writeFileAtomically(path, source), QString());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), pieces.join());
    }

    // A source that gives up leaves the old file as it was and no
    // temporary file behind.
    void atomicWriteOfPiecesThatFails()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath(QStringLiteral("f.json"));
        QCOMPARE(writeFileAtomically(path, "old"), QString());
        const ByteSource failing = [](const ByteSink &sink) { return sink(QByteArray(100'000, 'x')) && false; };
        QVERIFY(!writeFileAtomically(path, failing).isEmpty());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("old"));
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void atomicWriteFailureKeepsOldFile()
    {
        QTemporaryDir tmp;
        const QString dir = tmp.filePath(QStringLiteral("ro"));
        QDir().mkpath(dir);
        const QString path = dir + QStringLiteral("/f");
        QCOMPARE(writeFileAtomically(path, "old"), QString());
        ::chmod(QFile::encodeName(dir).constData(), 0500);
        const QString err = writeFileAtomically(path, "new");
        ::chmod(QFile::encodeName(dir).constData(), 0700);
        if (::geteuid() == 0)
            QSKIP("root writes into read-only folders");
        QVERIFY(!err.isEmpty());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("old"));
    }

    // Only what an interrupted atomic write of a named file leaves is removed.
    void leftoverTemporaryFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind"); // file, symlink, folder
        QTest::addColumn<bool>("removed");
        QTest::newRow("temporary of a store file") << ".conversations.json.moonshelf-tmp.aB3xZ9" << "file" << true;
        QTest::newRow("temporary of another named file") << ".settings.json.moonshelf-tmp.000000" << "file" << true;
        QTest::newRow("the store file itself") << "conversations.json" << "file" << false;
        QTest::newRow("a person's backup of a store file") << ".conversations.json.backup" << "file" << false;
        QTest::newRow("a person's six-letter copy") << ".settings.json.aB3xZ9" << "file" << false;
        QTest::newRow("five characters") << ".conversations.json.moonshelf-tmp.aB3xZ" << "file" << false;
        QTest::newRow("seven characters") << ".conversations.json.moonshelf-tmp.aB3xZ90" << "file" << false;
        QTest::newRow("not mkstemp's characters") << ".conversations.json.moonshelf-tmp.aB-xZ9" << "file" << false;
        QTest::newRow("no leading dot") << "conversations.json.moonshelf-tmp.aB3xZ9" << "file" << false;
        QTest::newRow("a file not ours") << ".notes.json.moonshelf-tmp.aB3xZ9" << "file" << false;
        QTest::newRow("a symlink is left") << ".conversations.json.moonshelf-tmp.sYmL1n" << "symlink" << false;
        QTest::newRow("a folder is left") << ".conversations.json.moonshelf-tmp.f0lder" << "folder" << false;
    }
    void leftoverTemporaryFiles()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(bool, removed);
        QTemporaryDir tmp;
        QTemporaryDir elsewhere;
        const QString path = tmp.filePath(name);
        const QString target = elsewhere.filePath(QStringLiteral("keep"));
        QCOMPARE(writeFileAtomically(target, "keep"), QString());
        if (kind == QLatin1String("file"))
            QCOMPARE(writeFileAtomically(path, "partial"), QString());
        else if (kind == QLatin1String("symlink"))
            QVERIFY(QFile::link(target, path));
        else
            QVERIFY(QDir().mkpath(path));
        const int count = removeLeftoverTemporaryFiles(tmp.path(), {QStringLiteral("conversations.json"),
                                                                    QStringLiteral("settings.json")});
        QCOMPARE(count, removed ? 1 : 0);
        QCOMPARE(QFileInfo::exists(path) || QFileInfo(path).isSymLink(), !removed);
        QVERIFY(QFileInfo::exists(target)); // a link's target is never touched
    }

    // Folders are private from the moment they exist, parents included.
    void privateDirectoryFromTheStart()
    {
        QTemporaryDir tmp;
        const mode_t old = ::umask(022);
        const QString leaf = tmp.filePath(QStringLiteral("a/b/c"));
        const QString failure = AppPaths::makePrivateDirectory(leaf);
        ::umask(old);
        QCOMPARE(failure, QString());
        for (const char *dir : {"a", "a/b", "a/b/c"})
            QCOMPARE(modeOf(tmp.filePath(QString::fromLatin1(dir))), mode_t(0700));
        // A folder made wider by someone else is narrowed again.
        ::chmod(QFile::encodeName(leaf).constData(), 0755);
        QCOMPARE(AppPaths::makePrivateDirectory(leaf), QString());
        QCOMPARE(modeOf(leaf), mode_t(0700));
    }

    void privateDirectoryRefusals()
    {
        QTemporaryDir tmp;
        const QString file = tmp.filePath(QStringLiteral("plain"));
        QCOMPARE(writeFileAtomically(file, "x"), QString());
        QCOMPARE(AppPaths::makePrivateDirectory(file), file + QStringLiteral(" is not a folder"));
        const QString theirs = tmp.filePath(QStringLiteral("theirs"));
        QVERIFY(QDir().mkpath(theirs));
        if (::chown(QFile::encodeName(theirs).constData(), 65534, 65534) != 0)
            QSKIP("only root can give a folder away");
        QCOMPARE(AppPaths::makePrivateDirectory(theirs), theirs + QStringLiteral(" belongs to another user"));
    }

    void graphemes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("ascii") << QStringLiteral("hello") << 5 << 3 << QStringLiteral("hel");
        QTest::newRow("empty") << QString() << 0 << 3 << QString();
        QTest::newRow("past end") << QStringLiteral("ab") << 2 << 10 << QStringLiteral("ab");
        QTest::newRow("crlf is one") << QStringLiteral("a\r\nb") << 3 << 2 << QStringLiteral("a\r\n");
        QTest::newRow("combining accent") << QStringLiteral("e\u0301e\u0301") << 2 << 1 << QStringLiteral("e\u0301");
        QTest::newRow("surrogate pair") << QStringLiteral("\U0001F4CEx") << 2 << 1 << QStringLiteral("\U0001F4CE");
        QTest::newRow("family emoji")
            << QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467!") << 2 << 1
            << QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
        QTest::newRow("flag") << QStringLiteral("\U0001F1EB\U0001F1F7ab") << 3 << 1 << QStringLiteral("\U0001F1EB\U0001F1F7");
    }
    void graphemes()
    {
        QFETCH(QString, text);
        QFETCH(int, count);
        QFETCH(int, n);
        QFETCH(QString, prefix);
        QCOMPARE(Graphemes::count(text), qsizetype(count));
        QCOMPARE(Graphemes::prefix(text, n), prefix);
        QCOMPARE(Graphemes::prefix(text, 0), QString());
        QCOMPARE(Graphemes::suffix(text, count), text);
    }

    void instanceLockRefusesSecondHolder()
    {
        QTemporaryDir tmp;
        InstanceLock first(tmp.path());
        QVERIFY(first.tryLock());
        InstanceLock second(tmp.path());
        QVERIFY(!second.tryLock());
        QCOMPARE(second.ownerPid(), QCoreApplication::applicationPid());
    }

    void userDefaultsRoundTrip()
    {
        UserDefaults::setValue(QString::fromLatin1(UserDefaults::kExplicitSignOut), true);
        QVERIFY(UserDefaults::boolean(QString::fromLatin1(UserDefaults::kExplicitSignOut)));
        UserDefaults::remove(QString::fromLatin1(UserDefaults::kExplicitSignOut));
        QVERIFY(!UserDefaults::boolean(QString::fromLatin1(UserDefaults::kExplicitSignOut)));
        // Lives in the temporary HOME, not the user's.
        QVERIFY(QFileInfo::exists(QDir::homePath() + QStringLiteral("/.config/com.ovu/QirvMac.conf")));
    }

    void boundedRead_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("whole file") << QByteArray("hello") << qint64(10) << QByteArray("hello");
        QTest::newRow("cut at the cap") << QByteArray("hello") << qint64(3) << QByteArray("hel");
        QTest::newRow("empty file") << QByteArray() << qint64(3) << QByteArray();
        QTest::newRow("large file, one byte over") << QByteArray(200000, 'x') << qint64(150001)
                                                 << QByteArray(150001, 'x');
    }
    void boundedRead()
    {
        QFETCH(QByteArray, content);
        QFETCH(qint64, maxBytes);
        QFETCH(QByteArray, expected);
        QTemporaryDir tmp;
        const QString path = tmp.filePath(QStringLiteral("f"));
        QCOMPARE(writeFileAtomically(path, content), QString());
        const auto read = readRegularFile(path, maxBytes);
        QVERIFY(read.ok());
        QCOMPARE(read->bytes, expected);
        QCOMPARE(read->size, qint64(content.size()));
    }

    void boundedReadRefusesWhatIsNotAFile()
    {
        QTemporaryDir tmp;
        const QString fifo = tmp.filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const auto pipe = readRegularFile(fifo, 10); // must not block
        QVERIFY(!pipe.ok());
        QCOMPARE(pipe.error().kind, RegularFileError::Kind::NotRegular);
        const auto dir = readRegularFile(tmp.path(), 10);
        QVERIFY(!dir.ok());
        QCOMPARE(dir.error().reason(), QStringLiteral("Is a directory"));
        const QString target = tmp.filePath(QStringLiteral("t"));
        QCOMPARE(writeFileAtomically(target, "x"), QString());
        const QString link = tmp.filePath(QStringLiteral("l"));
        QVERIFY(QFile::link(target, link));
        // A link to a file is read through: peeked and attached files may be links.
        const auto followed = readRegularFile(link, 10);
        QVERIFY(followed.ok());
        QCOMPARE(followed->bytes, QByteArray("x"));
    }

    void strictUtf8_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("valid");
        QTest::newRow("ascii") << QByteArray("abc") << true;
        QTest::newRow("two-byte") << QByteArray("\xc3\xa9") << true;
        QTest::newRow("bad byte") << QByteArray("a\xff") << false;
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << false;
        QTest::newRow("cut at the end") << QByteArray("a\xe2\x82") << false;
        QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80") << false;
    }
    void strictUtf8()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, valid);
        QCOMPARE(decodeUtf8Strict(bytes).has_value(), valid);
        const QByteArray withBom = "\xef\xbb\xbf" + bytes;
        if (valid) {
            QCOMPARE(decodeUtf8Strict(withBom, Bom::Keep)->at(0), QChar(0xFEFF));
            QCOMPARE(*decodeUtf8Strict(withBom, Bom::Drop), *decodeUtf8Strict(bytes));
        }
    }

    void serviceHostOverride()
    {
        qputenv("MOONSHELF_API_BASE", "http://127.0.0.1:4000");
        QCOMPARE(ServiceHosts::apiBase(), QUrl(QStringLiteral("http://127.0.0.1:4000")));
        qunsetenv("MOONSHELF_API_BASE");
        QCOMPARE(ServiceHosts::apiBase().scheme(), QStringLiteral("https"));
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
