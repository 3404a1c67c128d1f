#include "agent/tools/ApprovalPreview.h"
#include "agent/files/WorkspaceManager.h"
#include "agent/tools/ToolRouter.h"
#include "platform/UserDefaults.h"
#include "support/TestMain.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace agent;

namespace {

QString json(const QJsonObject &o)
{
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

// Swaps a folder for a link to outside and back, again and again, on a
// thread of its own until stopped.
class FolderSwapper {
public:
    FolderSwapper(const QString &folder, const QString &outside, std::chrono::microseconds pause)
        : m_folder(QFile::encodeName(folder)), m_real(QFile::encodeName(folder + QStringLiteral("-real"))),
          m_outside(QFile::encodeName(outside)), m_thread([this, pause] {
              while (!m_stop) {
                  ::rename(m_folder.constData(), m_real.constData());
                  ::symlink(m_outside.constData(), m_folder.constData());
                  std::this_thread::sleep_for(pause);
                  ::unlink(m_folder.constData());
                  ::rename(m_real.constData(), m_folder.constData());
                  std::this_thread::sleep_for(pause);
              }
          })
    {
    }
    ~FolderSwapper() { stop(); }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    const QByteArray m_folder, m_real, m_outside;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void put(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace

class TestFileTools : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_root;
    QString m_outside;
    WorkspaceManager *m_ws = nullptr;
    ToolRouter *m_router = nullptr;

    ToolExecutionResult run(const QString &name, const QString &args)
    {
        return QCoro::waitFor(m_router->execute(name, args));
    }
    ToolExecutionResult run(const QString &name, const QJsonObject &args) { return run(name, json(args)); }
    QString at(const QString &rel) const { return m_root + u'/' + rel; }

private Q_SLOTS:
    void init()
    {
        const QString base = QFileInfo(m_tmp.path()).canonicalFilePath();
        m_root = base + QStringLiteral("/project");
        m_outside = base + QStringLiteral("/outside");
        QDir(m_root).removeRecursively();
        QDir(m_outside).removeRecursively();
        QDir().mkpath(m_root);
        QDir().mkpath(m_outside);
        m_ws = new WorkspaceManager(this);
        m_ws->setWorkspace(m_root);
        m_router = new ToolRouter(m_ws, this);
    }
    void cleanup()
    {
        delete m_router;
        delete m_ws;
    }

    void dispatchFailures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("expected"); // empty: the parser's own text
        QTest::newRow("array is not an object") << "list_dir" << "[]" << "Invalid tool arguments JSON";
        QTest::newRow("bare string") << "list_dir" << "\"x\"" << "";
        QTest::newRow("not json") << "list_dir" << "not json" << "";
        QTest::newRow("unknown tool") << "delete_all" << "{}" << "Unknown tool: delete_all";
        QTest::newRow("names are case-sensitive") << "List_Dir" << "{}" << "Unknown tool: List_Dir";
        QTest::newRow("arguments parsed before the name") << "delete_all" << "{oops" << "";
        QTest::newRow("read without path") << "read_file" << "{\"path\":3}" << "Missing path";
        QTest::newRow("write without content") << "write_file" << "{\"path\":\"a\"}" << "Missing path or content";
        QTest::newRow("edit without new_string") << "str_replace" << "{\"path\":\"a\",\"old_string\":\"x\"}"
                                                 << "Missing path, old_string, or new_string";
        QTest::newRow("shell without command") << "run_shell" << "{\"command\":[\"ls\"]}" << "Missing command";
    }
    void dispatchFailures()
    {
        QFETCH(QString, name);
        QFETCH(QString, args);
        QFETCH(QString, expected);
        const ToolExecutionResult r = run(name, args);
        QVERIFY(r.isError);
        if (expected.isEmpty()) {
            QVERIFY(!r.output.isEmpty());
            QVERIFY(r.output != u"Invalid tool arguments JSON");
        } else {
            QCOMPARE(r.output, expected);
        }
    }

    void listDirSortsAndSizes()
    {
        put(at(QStringLiteral("b.txt")), "abc");
        QDir().mkpath(at(QStringLiteral("A")));
        put(at(QStringLiteral("a.md")), "");
        put(at(QStringLiteral(".hidden")), "x");
        QVERIFY(QFile::link(m_outside, at(QStringLiteral("link"))));
        const QString expected = QStringLiteral("A/\na.md (0 B)\nb.txt (3 B)\nlink (%1 B)").arg(m_outside.toUtf8().size());
        for (const QString &args : {QStringLiteral("{}"), QStringLiteral("{\"path\":5}"), QStringLiteral("{\"path\":\".\"}")})
            QCOMPARE(run(QStringLiteral("list_dir"), args), ToolExecutionResult::success(expected));
    }

    void listDirEmptyAndFailures()
    {
        put(at(QStringLiteral("dots/.a")), "x");
        put(at(QStringLiteral("file.txt")), "x");
        QCOMPARE(run(QStringLiteral("list_dir"), QJsonObject{{"path", "dots"}}), ToolExecutionResult::success("(empty)"));
        const ToolExecutionResult onFile = run(QStringLiteral("list_dir"), QJsonObject{{"path", "file.txt"}});
        QVERIFY(onFile.isError);
        QVERIFY(onFile.output.contains(u"Not a directory"));
        QCOMPARE(run(QStringLiteral("list_dir"), QJsonObject{{"path", ".."}}),
                 ToolExecutionResult::failure("Path escapes the project workspace: .."));
    }

    void readFileLimits_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("isError");
        QTest::newRow("exactly the cap") << QByteArray(400000, 'a') << QString(400000, u'a') << false;
        QTest::newRow("one byte over the cap") << QByteArray(400001, 'a')
                                               << "File too large (400001 bytes). Read a smaller file or use shell head/tail." << true;
        QTest::newRow("not utf-8") << QByteArray("ok\xff\xfe") << "File is not valid UTF-8 text." << true;
        QTest::newRow("overlong encoding is not utf-8") << QByteArray("\xc0\xaf") << "File is not valid UTF-8 text." << true;
        QTest::newRow("sequence cut at the end is not utf-8") << QByteArray("ok\xe2\x82") << "File is not valid UTF-8 text." << true;
        QTest::newRow("encoded surrogate is not utf-8") << QByteArray("\xed\xa0\x80") << "File is not valid UTF-8 text." << true;
        QTest::newRow("empty file") << QByteArray() << QString() << false;
        QTest::newRow("byte order mark and CRLF kept") << QByteArray("\xef\xbb\xbfx\r\ny") << QStringLiteral("\ufeffx\r\ny") << false;
    }
    void readFileLimits()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QFETCH(bool, isError);
        put(at(QStringLiteral("f")), bytes);
        QCOMPARE(run(QStringLiteral("read_file"), QJsonObject{{"path", "f"}}), (ToolExecutionResult{expected, isError}));
    }

    void readFileNeverBlocksOnAFifo()
    {
        QVERIFY(::mkfifo(QFile::encodeName(at(QStringLiteral("pipe"))).constData(), 0600) == 0);
        QDir().mkpath(at(QStringLiteral("dir")));
        for (const char *name : {"pipe", "dir"}) {
            QElapsedTimer t;
            t.start();
            const ToolExecutionResult r = run(QStringLiteral("read_file"), QJsonObject{{"path", QLatin1String(name)}});
            QVERIFY(r.isError);
            QVERIFY(t.elapsed() < 5000);
        }
    }

    // A FIFO swapped in for the file between the type check and the open is
    // never opened: a writer waiting on it is never woken.
    void fifoSwappedInIsNeverOpened()
    {
        put(at(QStringLiteral("f.txt")), "text");
        const QByteArray file = QFile::encodeName(at(QStringLiteral("f.txt")));
        const QByteArray spare = QFile::encodeName(at(QStringLiteral("spare")));
        // The writer's own name for the FIFO, which the exchanges never move.
        const QByteArray fifo = QFile::encodeName(m_outside + QStringLiteral("/fifo"));
        QVERIFY(::mkfifo(fifo.constData(), 0600) == 0);
        QVERIFY(::link(fifo.constData(), spare.constData()) == 0);
        std::atomic<bool> stop{false};
        std::atomic<int> woken{0};
        std::thread writer([&] {
            while (!stop) {
                const int fd = ::open(fifo.constData(), O_WRONLY | O_CLOEXEC);
                if (fd >= 0 && !stop)
                    ++woken;
                if (fd >= 0)
                    ::close(fd);
            }
        });
        std::thread swapper([&] {
            while (!stop)
                ::renameat2(AT_FDCWD, file.constData(), AT_FDCWD, spare.constData(), RENAME_EXCHANGE);
        });
        int text = 0;
        for (int i = 0; i < 3000; ++i) {
            const ToolExecutionResult r = run(QStringLiteral("read_file"), QJsonObject{{"path", "f.txt"}});
            text += r == ToolExecutionResult::success("text");
        }
        stop = true;
        swapper.join();
        // The writer's last open waits for a reader: this one.
        const int last = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        writer.join();
        ::close(last);
        QCOMPARE(woken.load(), 0);
        QVERIFY(text > 0);
    }

    void writeFileCreatesFoldersAndCountsBytes()
    {
        QCOMPARE(run(QStringLiteral("write_file"), QJsonObject{{"path", "new/dir/file.txt"}, {"content", "é"}}),
                 ToolExecutionResult::success("Wrote 2 bytes to new/dir/file.txt"));
        QCOMPARE(contents(at(QStringLiteral("new/dir/file.txt"))), QByteArray("é"));
        QCOMPARE(run(QStringLiteral("write_file"), QJsonObject{{"path", "./empty"}, {"content", ""}}),
                 ToolExecutionResult::success("Wrote 0 bytes to ./empty"));
        QCOMPARE(contents(at(QStringLiteral("empty"))), QByteArray());
        for (const char *folder : {".", "new"}) {
            const ToolExecutionResult onFolder = run(QStringLiteral("write_file"), QJsonObject{{"path", QLatin1String(folder)}, {"content", "x"}});
            QVERIFY(onFolder.isError);
            QVERIFY2(onFolder.output.contains(u"Is a directory"), qPrintable(onFolder.output));
        }
    }

    void writeFileKeepsMode()
    {
        put(at(QStringLiteral("run.sh")), "old");
        QVERIFY(::chmod(QFile::encodeName(at(QStringLiteral("run.sh"))).constData(), 0750) == 0);
        QVERIFY(!run(QStringLiteral("write_file"), QJsonObject{{"path", "run.sh"}, {"content", "new"}}).isError);
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(at(QStringLiteral("run.sh"))).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0750));
        QCOMPARE(contents(at(QStringLiteral("run.sh"))), QByteArray("new"));

        // A new file follows the user's umask, as any other program's would.
        const mode_t previous = ::umask(077);
        const bool failed = run(QStringLiteral("write_file"), QJsonObject{{"path", "private.txt"}, {"content", "x"}}).isError;
        ::umask(previous);
        QVERIFY(!failed);
        QVERIFY(::stat(QFile::encodeName(at(QStringLiteral("private.txt"))).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0600));
    }

    void writesNeverLeaveTheProject_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::newRow("write_file") << "write_file";
        QTest::newRow("str_replace") << "str_replace";
    }
    void writesNeverLeaveTheProject()
    {
        QFETCH(QString, tool);
        put(m_outside + QStringLiteral("/victim"), "keep");
        QVERIFY(QFile::link(m_outside, at(QStringLiteral("out"))));
        QVERIFY(QFile::link(m_outside + QStringLiteral("/victim"), at(QStringLiteral("victim-link"))));
        QVERIFY(QFile::link(m_outside + QStringLiteral("/fresh"), at(QStringLiteral("dangling"))));
        for (const char *path : {"out/victim", "victim-link", "dangling", "out/sub/new", "../outside/victim"}) {
            const QJsonObject args{{"path", QLatin1String(path)}, {"content", "x"}, {"old_string", "keep"}, {"new_string", "x"}};
            QCOMPARE(run(tool, args), ToolExecutionResult::failure(QStringLiteral("Path escapes the project workspace: ") + QLatin1String(path)));
        }
        QCOMPARE(contents(m_outside + QStringLiteral("/victim")), QByteArray("keep"));
        QCOMPARE(QDir(m_outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{"victim"});
    }

    // A folder swapped for a link to outside while writes go on: each write
    // either lands inside or fails, never outside.
    void linkSwappedInDuringWrites()
    {
        QDir().mkpath(at(QStringLiteral("sw")));
        FolderSwapper swapper(at(QStringLiteral("sw")), m_outside, std::chrono::microseconds(50));
        int written = 0;
        for (int i = 0; i < 400; ++i) {
            if (!run(QStringLiteral("write_file"), QJsonObject{{"path", "sw/f.txt"}, {"content", "x"}}).isError)
                ++written;
        }
        swapper.stop();
        QVERIFY(!QFileInfo::exists(m_outside + QStringLiteral("/f.txt")));
        QVERIFY(QDir(m_outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
        QVERIFY(written > 0);
    }

    // The file itself swapped for a link to a file outside: the write replaces
    // the link or refuses, and never writes through it.
    void finalLinkSwappedInDuringWrites()
    {
        put(m_outside + QStringLiteral("/victim"), "keep");
        const QByteArray name = QFile::encodeName(at(QStringLiteral("f.txt")));
        const QByteArray victim = QFile::encodeName(m_outside + QStringLiteral("/victim"));
        std::atomic<bool> stop{false};
        std::thread swapper([&] {
            while (!stop) {
                ::unlink(name.constData());
                ::symlink(victim.constData(), name.constData());
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
        });
        for (int i = 0; i < 400; ++i)
            (void)run(QStringLiteral("write_file"), QJsonObject{{"path", "f.txt"}, {"content", "x"}});
        stop = true;
        swapper.join();
        QCOMPARE(contents(m_outside + QStringLiteral("/victim")), QByteArray("keep"));
    }

    // A folder of the project swapped for a link to an outside folder while
    // the model reads: every read either sees the project's file or fails.
    void readsNeverLeaveTheProject_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("args");
        QTest::addColumn<bool>("preview"); // through the approval preview, not the tool
        QTest::newRow("read_file") << "read_file" << R"({"path":"sw/f.txt"})" << false;
        QTest::newRow("list_dir") << "list_dir" << R"({"path":"sw"})" << false;
        QTest::newRow("str_replace") << "str_replace" << R"({"path":"sw/f.txt","old_string":"nothing","new_string":"x"})" << false;
        QTest::newRow("write_file preview") << "write_file" << R"({"path":"sw/f.txt","content":"x"})" << true;
        QTest::newRow("str_replace preview") << "str_replace" << R"({"path":"sw/f.txt","old_string":"side","new_string":"x"})" << true;
    }
    void readsNeverLeaveTheProject()
    {
        QFETCH(QString, tool);
        QFETCH(QString, args);
        QFETCH(bool, preview);
        put(at(QStringLiteral("sw/f.txt")), "inside");
        // The outside file holds what the edits look for: reading it would show.
        put(m_outside + QStringLiteral("/f.txt"), "SECRET side nothing");
        put(m_outside + QStringLiteral("/only-outside.txt"), "SECRET");
        FolderSwapper swapper(at(QStringLiteral("sw")), m_outside, std::chrono::microseconds(20));
        int leaks = 0;
        int insideSeen = 0;
        QString leaked;
        for (int i = 0; i < 3000; ++i) {
            const QString out = preview ? ApprovalPreview::build(tool, args, *m_ws).preview : run(tool, args).output;
            if (out.contains(u"SECRET") || out.contains(u"only-outside") || out.startsWith(u"Replaced")) {
                ++leaks;
                leaked = out;
            }
            if (out.contains(u"inside") || out.contains(u"f.txt (6 B)") || out.contains(u"not found") || out.contains(u"  in\n"))
                ++insideSeen;
        }
        swapper.stop();
        QVERIFY2(leaks == 0, qPrintable(QStringLiteral("%1 reads outside, e.g. %2").arg(leaks).arg(leaked)));
        QVERIFY(insideSeen > 0);
        QCOMPARE(contents(at(QStringLiteral("sw/f.txt"))), QByteArray("inside"));
        QCOMPARE(contents(m_outside + QStringLiteral("/f.txt")), QByteArray("SECRET side nothing"));
    }

    // Any name a folder can hold is written (the temporary name is short);
    // a longer one fails with the platform's own text, not as an escape.
    void longNames_data()
    {
        QTest::addColumn<int>("length");
        QTest::newRow("248 bytes") << 248;
        QTest::newRow("255 bytes, the most a folder holds") << 255;
        QTest::newRow("256 bytes") << 256;
        QTest::newRow("300 bytes in a new folder") << -300;
    }
    void longNames()
    {
        QFETCH(int, length);
        const bool inFolder = length < 0;
        const QString name = QString(qAbs(length), u'n');
        const QString path = inFolder ? name + QStringLiteral("/f.txt") : name;
        const QString tooLong = QString::fromLocal8Bit(std::strerror(ENAMETOOLONG));
        const ToolExecutionResult wrote = run(QStringLiteral("write_file"), QJsonObject{{"path", path}, {"content", "a\n"}});
        const ToolExecutionResult read = run(QStringLiteral("read_file"), QJsonObject{{"path", path}});
        const ToolExecutionResult edited = run(QStringLiteral("str_replace"), QJsonObject{{"path", path}, {"old_string", "a"}, {"new_string", "b"}});
        if (qAbs(length) <= NAME_MAX) {
            QCOMPARE(wrote, ToolExecutionResult::success(QStringLiteral("Wrote 2 bytes to ") + path));
            QCOMPARE(read, ToolExecutionResult::success("a\n"));
            QCOMPARE(edited, ToolExecutionResult::success(QStringLiteral("Replaced first occurrence in ") + path));
            QCOMPARE(contents(at(path)), QByteArray("b\n"));
        } else {
            for (const ToolExecutionResult &r : {wrote, read, edited}) {
                QVERIFY(r.isError);
                QVERIFY2(r.output.endsWith(QStringLiteral(": ") + tooLong), qPrintable(r.output));
                QVERIFY(!r.output.contains(u"escapes"));
            }
        }
        // Nothing but the written file is left behind.
        QCOMPARE(QDir(m_root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 qAbs(length) <= NAME_MAX ? QStringList{name} : QStringList());
    }

    // A path longer than the system takes in one call is written, read,
    // listed and overwritten alike; a deep one holds no descriptor per folder.
    void pathsPastTheSystemLimit_data()
    {
        QTest::addColumn<int>("folders");
        QTest::addColumn<int>("nameLength");
        QTest::newRow("25 folders of 200 bytes") << 25 << 200;
        QTest::newRow("2100 one-byte folders, past the open-file limit") << 2100 << 1;
    }
    void pathsPastTheSystemLimit()
    {
        QFETCH(int, folders);
        QFETCH(int, nameLength);
        QString dir;
        for (int i = 0; i < folders; ++i)
            dir += QString(nameLength, QChar(u'a' + i % 26)) + u'/';
        const QString path = dir + QStringLiteral("f.txt");
        QVERIFY(path.toUtf8().size() > PATH_MAX);
        struct rlimit previous {};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &previous) == 0);
        struct rlimit lowered = previous;
        lowered.rlim_cur = std::min<rlim_t>(previous.rlim_cur, 512);
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &lowered) == 0);
        const auto edit = [&](const char *from, const char *to) {
            return run(QStringLiteral("str_replace"), QJsonObject{{"path", path}, {"old_string", from}, {"new_string", to}});
        };
        const QList<ToolExecutionResult> results{
            run(QStringLiteral("write_file"), QJsonObject{{"path", path}, {"content", "one\n"}}),
            run(QStringLiteral("read_file"), QJsonObject{{"path", path}}),
            run(QStringLiteral("list_dir"), QJsonObject{{"path", dir}}),
            edit("one", "two"),
            run(QStringLiteral("write_file"), QJsonObject{{"path", path}, {"content", "three\n"}}),
            run(QStringLiteral("read_file"), QJsonObject{{"path", m_root + u'/' + path}}),
        };
        ::setrlimit(RLIMIT_NOFILE, &previous);
        // Too deep for the file system helpers of the test's own clean-up.
        QCOMPARE(QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), at(dir.section(u'/', 0, 0))}), 0);
        const QList<ToolExecutionResult> expected{
            ToolExecutionResult::success(QStringLiteral("Wrote 4 bytes to ") + path),
            ToolExecutionResult::success("one\n"),
            ToolExecutionResult::success("f.txt (4 B)"),
            ToolExecutionResult::success(QStringLiteral("Replaced first occurrence in ") + path),
            ToolExecutionResult::success(QStringLiteral("Wrote 6 bytes to ") + path),
            ToolExecutionResult::success("three\n"),
        };
        for (qsizetype i = 0; i < expected.size(); ++i)
            QCOMPARE(results[i], expected[i]);
    }

    // A name that is not UTF-8 is shown with \xNN for its stray bytes, and
    // that shown name reaches the very bytes again.
    void namesThatAreNotUtf8_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("folder"); // the name is a folder holding f.txt
        QTest::newRow("latin-1 letter") << QByteArray("caf\xe9.txt") << "caf\\xE9.txt" << false;
        QTest::newRow("valid letters beside a stray byte") << QByteArray("\xc3\xa9t\xff") << "\xc3\xa9t\\xFF" << false;
        QTest::newRow("sequence cut short") << QByteArray("a\xe2\x82") << "a\\xE2\\x82" << false;
        QTest::newRow("backslash in such a name") << QByteArray("a\\x\xfe") << "a\\x5Cx\\xFE" << false;
        QTest::newRow("a literal backslash name stays itself") << QByteArray("caf\\xE9") << "caf\\xE9" << false;
        QTest::newRow("folder") << QByteArray("dir\xa0") << "dir\\xA0" << true;
    }
    void namesThatAreNotUtf8()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, shown);
        QFETCH(bool, folder);
        const QByteArray native = QFile::encodeName(m_root) + '/' + name;
        const QByteArray file = folder ? native + "/f.txt" : native;
        // Names the test's own clean-up could not spell.
        const auto removeRaw = qScopeGuard([&] {
            ::unlink(file.constData());
            ::rmdir(native.constData());
        });
        if (folder)
            QVERIFY(::mkdir(native.constData(), 0700) == 0);
        const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, "old\n", 4), ssize_t(4));
        ::close(fd);
        const QString path = folder ? shown + QStringLiteral("/f.txt") : shown;

        QCOMPARE(run(QStringLiteral("list_dir"), QJsonObject{}),
                 ToolExecutionResult::success(folder ? shown + u'/' : shown + QStringLiteral(" (4 B)")));
        QCOMPARE(run(QStringLiteral("read_file"), QJsonObject{{"path", path}}), ToolExecutionResult::success("old\n"));
        QCOMPARE(run(QStringLiteral("str_replace"), QJsonObject{{"path", path}, {"old_string", "old"}, {"new_string", "new"}}),
                 ToolExecutionResult::success(QStringLiteral("Replaced first occurrence in ") + path));
        QFile raw;
        const int readFd = ::open(file.constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(readFd >= 0 && raw.open(readFd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        QCOMPARE(raw.readAll(), QByteArray("new\n"));
        QCOMPARE(run(QStringLiteral("write_file"), QJsonObject{{"path", path}, {"content", "x"}}),
                 ToolExecutionResult::success(QStringLiteral("Wrote 1 bytes to ") + path));
        // Written over the same file, not beside it under a look-alike name.
        QCOMPARE(run(QStringLiteral("list_dir"), QJsonObject{{"path", folder ? shown : QStringLiteral(".")}}),
                 ToolExecutionResult::success(folder ? QStringLiteral("f.txt (1 B)") : shown + QStringLiteral(" (1 B)")));
    }

    void strReplaceFirstOccurrenceOnly()
    {
        put(at(QStringLiteral("f.txt")), "one two one");
        QCOMPARE(run(QStringLiteral("str_replace"), QJsonObject{{"path", "f.txt"}, {"old_string", "one"}, {"new_string", "1"}}),
                 ToolExecutionResult::success("Replaced first occurrence in f.txt"));
        QCOMPARE(contents(at(QStringLiteral("f.txt"))), QByteArray("1 two one"));
    }

    void strReplaceNotFound_data()
    {
        QTest::addColumn<QString>("oldString");
        QTest::newRow("absent") << "three";
        QTest::newRow("empty old_string") << "";
        QTest::newRow("case differs") << "ONE";
    }
    void strReplaceNotFound()
    {
        QFETCH(QString, oldString);
        put(at(QStringLiteral("f.txt")), "one two");
        QCOMPARE(run(QStringLiteral("str_replace"), QJsonObject{{"path", "f.txt"}, {"old_string", oldString}, {"new_string", "x"}}),
                 ToolExecutionResult::failure("old_string not found in f.txt"));
        QCOMPARE(contents(at(QStringLiteral("f.txt"))), QByteArray("one two"));
    }

    void strReplaceKeepsEveryOtherByte_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("oldString");
        QTest::addColumn<QString>("newString");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf" "a=1\n") << "a=1" << "a=2" << QByteArray("\xef\xbb\xbf" "a=2\n");
        QTest::newRow("CRLF line ends") << QByteArray("x\r\ny\r\nz\r\n") << "y" << "Y" << QByteArray("x\r\nY\r\nz\r\n");
        QTest::newRow("decomposed letter found by precomposed") << QByteArray("caf" "e\xcc\x81" " ok") << "café" << "tea"
                                                                << QByteArray("tea ok");
        QTest::newRow("equivalent spelling before the exact one") << QByteArray("cafe\xcc\x81 caf\xc3\xa9") << "café" << "tea"
                                                                 << QByteArray("tea caf\xc3\xa9");
        QTest::newRow("precomposed letter found by decomposed") << QByteArray("x caf\xc3\xa9") << QStringLiteral("cafe\u0301") << "tea"
                                                                << QByteArray("x tea");
        QTest::newRow("accent is part of the letter") << QByteArray("e\xcc\x81 e") << "e" << "x" << QByteArray("e\xcc\x81 x");
        QTest::newRow("multi-byte neighbours") << QByteArray("ä→b←ü") << "b" << "βeta" << QByteArray("ä→βeta←ü");
    }
    void strReplaceKeepsEveryOtherByte()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, oldString);
        QFETCH(QString, newString);
        QFETCH(QByteArray, after);
        put(at(QStringLiteral("f")), before);
        QVERIFY(!run(QStringLiteral("str_replace"), QJsonObject{{"path", "f"}, {"old_string", oldString}, {"new_string", newString}}).isError);
        QCOMPARE(contents(at(QStringLiteral("f"))), after);
    }

    // A model writes line feeds; a file whose line breaks are all CR LF keeps them.
    void strReplaceLineBreaks_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("oldString");
        QTest::addColumn<QString>("newString");
        QTest::addColumn<QByteArray>("after"); // empty: not found, file untouched
        QTest::newRow("multi-line edit of a CRLF file") << QByteArray("a\r\nb\r\nc\r\n") << "a\nb" << "x\ny\nz"
                                                       << QByteArray("x\r\ny\r\nz\r\nc\r\n");
        QTest::newRow("trailing line feed") << QByteArray("a\r\nb\r\n") << "a\n" << "A\n" << QByteArray("A\r\nb\r\n");
        QTest::newRow("leading line feed") << QByteArray("a\r\nb") << "\nb" << "\nB\n" << QByteArray("a\r\nB\r\n");
        QTest::newRow("CRLF search text, line-feed replacement") << QByteArray("a\r\nb\r\n") << "a\r\nb" << "x\ny"
                                                                << QByteArray("x\r\ny\r\n");
        QTest::newRow("one-line search, multi-line replacement") << QByteArray("a\r\nb\r\n") << "b" << "b\nc\nd"
                                                                << QByteArray("a\r\nb\r\nc\r\nd\r\n");
        QTest::newRow("replacement mixing both styles") << QByteArray("a\r\nb\r\n") << "a" << "x\r\ny\nz"
                                                       << QByteArray("x\r\ny\r\nz\r\nb\r\n");
        QTest::newRow("mixed file searched exactly") << QByteArray("a\r\nb\nc") << "a\nb" << "x" << QByteArray();
        QTest::newRow("mixed file, exact match") << QByteArray("a\r\nb\nc") << "b\nc" << "x\ny" << QByteArray("a\r\nx\ny");
        QTest::newRow("line-feed file unchanged") << QByteArray("a\nb\n") << "a\nb" << "x\ny" << QByteArray("x\ny\n");
        QTest::newRow("CRLF file, other bytes kept") << QByteArray("\xef\xbb\xbfé\r\nb\r\n") << "é\nb" << "ü\nβ"
                                                     << QByteArray("\xef\xbb\xbfü\r\nβ\r\n");
    }
    void strReplaceLineBreaks()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, oldString);
        QFETCH(QString, newString);
        QFETCH(QByteArray, after);
        put(at(QStringLiteral("f")), before);
        const ToolExecutionResult r = run(QStringLiteral("str_replace"), QJsonObject{{"path", "f"}, {"old_string", oldString}, {"new_string", newString}});
        QCOMPARE(r.isError, after.isEmpty());
        QCOMPARE(contents(at(QStringLiteral("f"))), after.isEmpty() ? before : after);
    }

    void strReplaceRefusesNonText()
    {
        put(at(QStringLiteral("bin")), "a\xff" "b");
        QCOMPARE(run(QStringLiteral("str_replace"), QJsonObject{{"path", "bin"}, {"old_string", "a"}, {"new_string", "c"}}),
                 ToolExecutionResult::failure("File is not valid UTF-8 text."));
        QCOMPARE(contents(at(QStringLiteral("bin"))), QByteArray("a\xff" "b"));
        const ToolExecutionResult missing = run(QStringLiteral("str_replace"), QJsonObject{{"path", "nope"}, {"old_string", "a"}, {"new_string", "c"}});
        QVERIFY(missing.isError);
        QVERIFY(missing.output.contains(u"No such file"));
    }

    void noFolder()
    {
        ToolRouter detached(nullptr);
        QCOMPARE(QCoro::waitFor(detached.execute(QStringLiteral("rm"), QStringLiteral("{}"))), ToolExecutionResult::failure("Unknown tool: rm"));
        QCOMPARE(QCoro::waitFor(detached.execute(QStringLiteral("read_file"), QStringLiteral(R"({"path":"a"})"))),
                 ToolExecutionResult::failure("Open a project folder first (Ctrl+O)."));
        platform::UserDefaults::remove(QString::fromLatin1(WorkspaceManager::kBookmarkKey));
        WorkspaceManager empty;
        ToolRouter router(&empty);
        for (const char *tool : {"list_dir", "read_file", "write_file", "str_replace", "run_shell"}) {
            const QString args = QStringLiteral(R"({"path":"a","content":"","old_string":"a","new_string":"b","command":"true"})");
            QCOMPARE(QCoro::waitFor(router.execute(QLatin1String(tool), args)),
                     ToolExecutionResult::failure("Open a project folder first (Ctrl+O)."));
        }
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestFileTools)
#include "tst_filetools.moc"
