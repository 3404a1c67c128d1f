#include "agent/files/ConfinedOpen.h"
#include "agent/files/ConfinedWrite.h"
#include "agent/files/WorkspaceManager.h"
#include "platform/UserDefaults.h"
#include "support/TestMain.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

using namespace agent;

namespace {

// A project p beside a sibling p2 and a folder outside, with hostile links.
struct Tree {
    QTemporaryDir tmp;
    QString base;
    QString root;

    Tree()
    {
        // The temporary folder itself may sit behind a link: compare real paths.
        base = QFileInfo(tmp.path()).canonicalFilePath();
        root = base + QStringLiteral("/p");
        for (const char *d : {"p/src", "p2", "outside"})
            QDir().mkpath(base + u'/' + QLatin1String(d));
        touch(QStringLiteral("p/src/a.txt"));
        touch(QStringLiteral("outside/secret"));
        link(base + QStringLiteral("/outside"), QStringLiteral("p/escape"));
        link(base + QStringLiteral("/outside/not-yet"), QStringLiteral("p/dangling"));
        link(root + QStringLiteral("/later.txt"), QStringLiteral("p/dangling_in"));
        link(QStringLiteral("loop_b"), QStringLiteral("p/loop_a"));
        link(QStringLiteral("loop_a"), QStringLiteral("p/loop_b"));
        link(QStringLiteral(".."), QStringLiteral("p/up"));
        link(QStringLiteral("src"), QStringLiteral("p/inner"));
        link(QStringLiteral("../p2"), QStringLiteral("p/sibling"));
        link(root + QStringLiteral("/src"), QStringLiteral("p/abs_inner"));
        link(QStringLiteral("src/../src/a.txt"), QStringLiteral("p/file_link"));
        link(base + QStringLiteral("/outside/secret"), QStringLiteral("p/secret_link"));
    }
    void touch(const QString &rel)
    {
        QFile f(base + u'/' + rel);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    void link(const QString &target, const QString &rel)
    {
        QVERIFY(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(base + u'/' + rel).constData()) == 0);
    }
};

QString outcome(const WorkspaceManager &ws, const QString &path)
{
    const auto r = ws.resolvePath(path);
    return r ? r.value() : r.error().description();
}

} // namespace

class TestWorkspace : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { platform::UserDefaults::remove(QString::fromLatin1(WorkspaceManager::kBookmarkKey)); }

    void noFolderRefusesEveryPath()
    {
        WorkspaceManager ws;
        QVERIFY(!ws.hasRoot());
        QCOMPARE(outcome(ws, QStringLiteral(".")), QStringLiteral("Open a project folder first (Ctrl+O)."));
        QCOMPARE(outcome(ws, QStringLiteral("/etc/hosts")), QStringLiteral("Open a project folder first (Ctrl+O)."));
    }

    void confinement_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected"); // relative to the root, or "OUT"
        QTest::newRow("dot is the root") << "." << "";
        QTest::newRow("empty is the root") << "" << "";
        QTest::newRow("relative file") << "src/a.txt" << "/src/a.txt";
        QTest::newRow("absolute inside") << "@/src" << "/src";
        QTest::newRow("parent") << "../x" << "OUT";
        QTest::newRow("standardized before the test") << "a/../../x" << "OUT";
        QTest::newRow("missing folder then dot-dot") << "nope/../src" << "/src";
        QTest::newRow("sibling sharing the prefix") << "@2/a" << "OUT";
        QTest::newRow("system file") << "/etc/hosts" << "OUT";
        QTest::newRow("link to outside folder") << "escape/secret" << "OUT";
        QTest::newRow("linked parent of a new file") << "escape/new.txt" << "OUT";
        QTest::newRow("dangling link to outside") << "dangling" << "OUT";
        QTest::newRow("dangling link inside") << "dangling_in" << "/later.txt";
        QTest::newRow("link loop") << "loop_a" << "OUT";
        QTest::newRow("below a link loop") << "loop_b/x" << "OUT";
        QTest::newRow("link to the parent") << "up/p2" << "OUT";
        QTest::newRow("link to the parent back in") << "up/p/src" << "/src";
        QTest::newRow("relative link to sibling") << "sibling/a" << "OUT";
        QTest::newRow("link inside") << "inner/a.txt" << "/src/a.txt";
        QTest::newRow("tilde is a literal folder") << "~/x" << "/~/x";
        QTest::newRow("new nested file") << "new/dir/file.txt" << "/new/dir/file.txt";
        QTest::newRow("through a file") << "src/a.txt/x" << "/src/a.txt/x";
    }
    void confinement()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        Tree tree;
        WorkspaceManager ws;
        ws.setWorkspace(tree.root);
        path.replace(u'@', tree.root);
        const QString want = expected == u"OUT" ? QStringLiteral("Path escapes the project workspace: ") + path
                                                : tree.root + expected;
        QCOMPARE(outcome(ws, path), want);
    }

    // The walk the file tools read through, given paths as they might look
    // after a link was swapped in: links are followed only while they stay inside.
    void confinedOpen_data()
    {
        QTest::addColumn<QString>("path"); // below the root
        QTest::addColumn<int>("want");     // ConfinedOpen::Want
        QTest::addColumn<QString>("expected"); // "ok", "escape", "dir", "special" or an errno name
        const int file = int(ConfinedOpen::Want::File);
        const int dir = int(ConfinedOpen::Want::Directory);
        QTest::newRow("plain file") << "src/a.txt" << file << "ok";
        QTest::newRow("the root as a folder") << "" << dir << "ok";
        QTest::newRow("the root as a file") << "" << file << "dir";
        QTest::newRow("relative link inside") << "inner/a.txt" << file << "ok";
        QTest::newRow("absolute link inside") << "abs_inner/a.txt" << file << "ok";
        QTest::newRow("final link inside") << "file_link" << file << "ok";
        QTest::newRow("link to an outside folder") << "escape/secret" << file << "escape";
        QTest::newRow("link to an outside folder, listed") << "escape" << dir << "escape";
        QTest::newRow("final link to an outside file") << "secret_link" << file << "escape";
        QTest::newRow("link to the parent") << "up/p/src/a.txt" << file << "escape";
        QTest::newRow("link to a sibling") << "sibling" << dir << "escape";
        QTest::newRow("dangling link out") << "dangling" << file << "escape";
        QTest::newRow("dangling link in") << "dangling_in" << file << "ENOENT";
        QTest::newRow("link loop") << "loop_a" << file << "ELOOP";
        QTest::newRow("file as a folder") << "src/a.txt/x" << file << "ENOTDIR";
        QTest::newRow("file listed") << "src/a.txt" << dir << "ENOTDIR";
        QTest::newRow("folder read") << "src" << file << "dir";
        QTest::newRow("fifo refused unopened") << "fifo" << file << "special";
        QTest::newRow("name longer than any folder holds") << QString(256, u'n') << file << "ENAMETOOLONG";
    }
    void confinedOpen()
    {
        QFETCH(QString, path);
        QFETCH(int, want);
        QFETCH(QString, expected);
        Tree tree;
        QVERIFY(::mkfifo(QFile::encodeName(tree.root + QStringLiteral("/fifo")).constData(), 0600) == 0);
        const QString target = path.isEmpty() ? tree.root : tree.root + u'/' + path;
        const auto opened = ConfinedOpen::open(tree.root, target, ConfinedOpen::Want(want));
        QString got = QStringLiteral("ok");
        if (!opened) {
            using Kind = ConfinedOpen::Failure::Kind;
            const ConfinedOpen::Failure &f = opened.error();
            const int e = f.error;
            got = f.kind == Kind::Escape       ? QStringLiteral("escape")
                  : f.kind == Kind::Directory  ? QStringLiteral("dir")
                  : f.kind == Kind::NotRegular ? QStringLiteral("special")
                  : e == ENOENT                ? QStringLiteral("ENOENT")
                  : e == ELOOP                 ? QStringLiteral("ELOOP")
                  : e == ENOTDIR               ? QStringLiteral("ENOTDIR")
                  : e == ENAMETOOLONG          ? QStringLiteral("ENAMETOOLONG")
                                               : QString::number(e);
        } else {
            struct stat st {};
            QVERIFY(::fstat(opened->get(), &st) == 0);
            QCOMPARE(S_ISDIR(st.st_mode), want == int(ConfinedOpen::Want::Directory));
        }
        QCOMPARE(got, expected);
    }

    void rootBehindALinkAcceptsItsFiles()
    {
        Tree tree;
        const QString viaLink = tree.base + QStringLiteral("/p-link");
        QVERIFY(QFile::link(tree.root, viaLink));
        WorkspaceManager ws;
        ws.setWorkspace(viaLink);
        QCOMPARE(ws.rootPath(), viaLink); // kept as opened, as shown
        QCOMPARE(outcome(ws, QStringLiteral("src/a.txt")), tree.root + QStringLiteral("/src/a.txt"));
        QCOMPARE(outcome(ws, viaLink + QStringLiteral("/src")), tree.root + QStringLiteral("/src"));
    }

    // The folder that was opened is the project: another made at its path
    // later is not.
    void rootThatIsGoneConfinesNothing_data()
    {
        QTest::addColumn<QString>("replacement"); // at the folder's path
        QTest::newRow("folder removed") << "";
        QTest::newRow("folder replaced by a file") << "file";
        QTest::newRow("folder replaced by another folder") << "folder";
    }
    void rootThatIsGoneConfinesNothing()
    {
        QFETCH(QString, replacement);
        Tree tree;
        WorkspaceManager ws;
        ws.setWorkspace(tree.root);
        QVERIFY(QDir(tree.root).removeRecursively());
        if (replacement == u"file")
            tree.touch(QStringLiteral("p"));
        else if (replacement == u"folder")
            QVERIFY(QDir().mkpath(tree.root + QStringLiteral("/src")));
        QCOMPARE(outcome(ws, QStringLiteral("anything")), QStringLiteral("Open a project folder first (Ctrl+O)."));
        QCOMPARE(outcome(ws, tree.root), QStringLiteral("Open a project folder first (Ctrl+O)."));
    }

    // Renamed, with a link left at its old path, the folder opened stays the
    // project, and its bookmark follows it.
    void movedFolderStaysTheProject()
    {
        Tree tree;
        tree.touch(QStringLiteral("p/a.txt"));
        WorkspaceManager ws;
        ws.setWorkspace(tree.root);
        const QString moved = tree.root + QStringLiteral("-moved");
        QVERIFY(QDir().rename(tree.root, moved));
        QVERIFY(QDir().mkpath(tree.root + QStringLiteral("-elsewhere")));
        QVERIFY(QFile::link(tree.root + QStringLiteral("-elsewhere"), tree.root));
        const QString place = QFileInfo(moved).canonicalFilePath();
        QCOMPARE(outcome(ws, QStringLiteral("a.txt")), place + QStringLiteral("/a.txt"));
        QCOMPARE(platform::UserDefaults::value(QString::fromLatin1(WorkspaceManager::kBookmarkKey)).toString(), place);
    }

    void filesystemRootWorks()
    {
        WorkspaceManager ws;
        ws.setWorkspace(QStringLiteral("/"));
        QCOMPARE(outcome(ws, QStringLiteral("/etc")), QStringLiteral("/etc"));
        QCOMPARE(outcome(ws, QStringLiteral("../..")), QStringLiteral("/"));
    }

    void bookmarkSurvivesRestart()
    {
        Tree tree;
        {
            WorkspaceManager ws;
            QSignalSpy rootSpy(&ws, &WorkspaceManager::rootChanged);
            QSignalSpy bookmarkSpy(&ws, &WorkspaceManager::bookmarkDataChanged);
            ws.setWorkspace(QUrl::fromLocalFile(tree.root + QStringLiteral("/src/..")));
            QCOMPARE(ws.rootPath(), tree.root);
            QCOMPARE(ws.rootURL(), QUrl::fromLocalFile(tree.root));
            QCOMPARE(rootSpy.count(), 1);
            QCOMPARE(bookmarkSpy.count(), 1);
        }
        WorkspaceManager again;
        QCOMPARE(again.rootPath(), tree.root);
        QCOMPARE(again.bookmarkData(), tree.root.toUtf8());
    }

    void restoreFailsWhenNoLongerAFolder()
    {
        Tree tree;
        { WorkspaceManager ws; ws.setWorkspace(tree.root); }
        QVERIFY(QDir(tree.root).removeRecursively());
        WorkspaceManager again;
        QVERIFY(!again.hasRoot());
        QVERIFY(again.bookmarkData().isEmpty());
        // The stored entry stays, so a folder that comes back opens again.
        QCOMPARE(platform::UserDefaults::value(QString::fromLatin1(WorkspaceManager::kBookmarkKey)).toString(), tree.root);
    }

    void staleBookmarkIsReplaced()
    {
        Tree tree;
        platform::UserDefaults::setValue(QString::fromLatin1(WorkspaceManager::kBookmarkKey), tree.root + QStringLiteral("/./src/../"));
        WorkspaceManager ws;
        QCOMPARE(ws.rootPath(), tree.root);
        QCOMPARE(platform::UserDefaults::value(QString::fromLatin1(WorkspaceManager::kBookmarkKey)).toString(), tree.root);
    }

    // Opening a project removes the temporaries that writes interrupted
    // before this start left in it, and nothing else.
    void writeLeftoversSweptOnOpen()
    {
        QTemporaryDir tmp;
        const QString base = QFileInfo(tmp.path()).canonicalFilePath();
        const QString root = base + QStringLiteral("/p");
        QVERIFY(QDir().mkpath(root + QStringLiteral("/deep/er")));
        QVERIFY(QDir().mkpath(base + QStringLiteral("/outside")));
        const QByteArray made = ConfinedWrite::temporaryName();
        QVERIFY(ConfinedWrite::isTemporaryName(made)); // the sweep knows what the writer makes
        const QString leftover = QString::fromLatin1(made);
        enum Kind { File, Folder, Link };
        struct Entry {
            QString path; // below base
            Kind kind;
            bool old;
            bool removed;
        };
        const QList<Entry> entries{
            {QStringLiteral("p/") + leftover, File, true, true},
            {QStringLiteral("p/deep/er/.moonshelf-write-00000000000000ff.tmp"), File, true, true},
            {QStringLiteral("p/.moonshelf-write-backup.tmp"), File, true, false},
            {QStringLiteral("p/deep/.moonshelf-write-00000000000000FF.tmp"), File, true, false},
            {QStringLiteral("p/.ms-1x2y3z"), File, true, false},
            {QStringLiteral("p/notes.txt"), File, true, false},
            {QStringLiteral("p/.moonshelf-write-0000000000000001.tmp"), Folder, true, false},
            {QStringLiteral("p/.moonshelf-write-0000000000000002.tmp"), Link, true, false},
            {QStringLiteral("outside/.moonshelf-write-0000000000000003.tmp"), File, true, false},
        };
        // Through a link to a folder outside, nothing is touched.
        QVERIFY(QFile::link(base + QStringLiteral("/outside"), root + QStringLiteral("/out")));
        const timespec hourAgo{::time(nullptr) - 3600, 0};
        const timespec times[2]{hourAgo, hourAgo};
        for (const Entry &e : entries) {
            const QByteArray path = QFile::encodeName(base + u'/' + e.path);
            if (e.kind == Folder)
                QVERIFY(::mkdir(path.constData(), 0700) == 0);
            else if (e.kind == Link)
                QVERIFY(::symlink("notes.txt", path.constData()) == 0);
            else
                QVERIFY(QFile(QString::fromUtf8(path)).open(QIODevice::WriteOnly));
            QVERIFY(::utimensat(AT_FDCWD, path.constData(), times, AT_SYMLINK_NOFOLLOW) == 0);
        }
        // Another user's file of that name is not ours to remove.
        const QByteArray theirs = QFile::encodeName(root + QStringLiteral("/.moonshelf-write-0000000000000005.tmp"));
        const bool asRoot = ::geteuid() == 0;
        if (asRoot) {
            QVERIFY(QFile(QString::fromUtf8(theirs)).open(QIODevice::WriteOnly));
            QVERIFY(::chown(theirs.constData(), 65534, 65534) == 0);
            QVERIFY(::utimensat(AT_FDCWD, theirs.constData(), times, 0) == 0);
        }
        WorkspaceManager ws;
        // A write of this run, going on while the project opens.
        const QString current = root + QStringLiteral("/.moonshelf-write-0000000000000004.tmp");
        QVERIFY(QFile(current).open(QIODevice::WriteOnly));
        QSignalSpy swept(&ws, &WorkspaceManager::writeLeftoversRemoved);
        ws.setWorkspace(root);
        QVERIFY(swept.wait(10000));
        QCOMPARE(swept.first().first().toInt(), 2);
        for (const Entry &e : entries)
            QVERIFY2(QFileInfo(base + u'/' + e.path).isSymLink() || QFileInfo::exists(base + u'/' + e.path) != e.removed, qPrintable(e.path));
        QVERIFY(QFileInfo::exists(current));
        QCOMPARE(QFileInfo::exists(QString::fromUtf8(theirs)), asRoot);
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestWorkspace)
#include "tst_workspace.moc"
