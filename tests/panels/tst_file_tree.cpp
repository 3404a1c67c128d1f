#include "panels/FileNode.h"
#include "panels/FileTreeModel.h"
#include "support/TestMain.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

using panels::FileNode;
using panels::FileTreeModel;

namespace {

void touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

// The tree as "name/" for folders (with children in brackets), "name" for files.
QString shape(const QList<FileNode> &nodes)
{
    QStringList parts;
    for (const FileNode &n : nodes) {
        QString s = n.name + (n.isDirectory ? QStringLiteral("/") : QString());
        if (n.children)
            s += u'[' + shape(*n.children) + u']';
        parts << s;
    }
    return parts.join(u' ');
}

} // namespace

class FileTreeTest : public QObject {
    Q_OBJECT
private slots:
    void walk_data()
    {
        QTest::addColumn<QStringList>("files");   // created as files; a trailing "/" makes a folder
        QTest::addColumn<QString>("expected");

        QTest::newRow("order case-insensitive, folders mixed in")
            << QStringList{"b.txt", "A.txt", "c/"} << "A.txt b.txt c/";
        QTest::newRow("no numeric ordering") << QStringList{"file2", "file10"} << "file10 file2";
        QTest::newRow("hidden entries never listed")
            << QStringList{".git/config", ".env", "src/.hidden", "src/main.c"} << "src/[main.c]";
        QTest::newRow("empty folder is a leaf") << QStringList{"empty/"} << "empty/";
        QTest::newRow("folder of only hidden entries is a leaf") << QStringList{"d/.x"} << "d/";
        QTest::newRow("fifth level is listed but not opened")
            << QStringList{"a/b/c/d/e/f.txt"} << "a/[b/[c/[d/[e/]]]]";
    }
    void walk()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        for (const QString &f : files) {
            if (f.endsWith(u'/'))
                QDir().mkpath(dir.filePath(f));
            else
                touch(dir.filePath(f));
        }
        QCOMPARE(shape(FileNode::load(dir.path(), 0, FileTreeModel::maxDepth)), expected);
    }

    void linksAreLeavesAndSpecialFilesAreListed()
    {
        QTemporaryDir dir;
        touch(dir.filePath("src/a.c"));
        // Links to the root, to the parent and to itself never multiply the walk.
        QVERIFY(QFile::link("/", dir.filePath("src/root")));
        QVERIFY(QFile::link("..", dir.filePath("src/up")));
        QVERIFY(QFile::link(dir.filePath("loop"), dir.filePath("loop")));
        QCOMPARE(::mkfifo(dir.filePath("pipe").toLocal8Bit().constData(), 0600), 0);
        QCOMPARE(shape(FileNode::load(dir.path(), 0, FileTreeModel::maxDepth)), "loop pipe src/[a.c root up]");
    }

    void unreadableFolderIsALeaf()
    {
        if (::geteuid() == 0)
            QSKIP("root reads every folder");
        QTemporaryDir dir;
        touch(dir.filePath("locked/x"));
        QFile::setPermissions(dir.filePath("locked"), QFileDevice::WriteOwner);
        QCOMPARE(shape(FileNode::load(dir.path(), 0, 4)), "locked/");
        QFile::setPermissions(dir.filePath("locked"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void modelFollowsTheWalk()
    {
        QTemporaryDir dir;
        touch(dir.filePath("src/main.c"));
        touch(dir.filePath("src/lib/util.c"));
        touch(dir.filePath("README"));
        FileTreeModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy reloaded(&model, &FileTreeModel::reloaded);
        model.setRootPath(dir.path());
        // A burst of requests (one per tool step) is one walk.
        for (int i = 0; i < 10; ++i)
            model.requestReload();
        QTRY_COMPARE(reloaded.count(), 1);
        QTest::qWait(150);
        QCOMPARE(reloaded.count(), 1);

        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.index(0, 0).data().toString(), "README");
        const QModelIndex lib = model.indexForPath(dir.filePath("src/lib"));
        QVERIFY(lib.isValid());
        QCOMPARE(model.parent(lib).data().toString(), "src");
        QCOMPARE(model.index(0, 0, lib).data(FileTreeModel::PathRole).toString(), dir.filePath("src/lib/util.c"));

        model.setHighlightedPaths({dir.filePath("src/lib")});
        QVERIFY(lib.data(FileTreeModel::IsHighlightedRole).toBool());
        QVERIFY(!model.index(0, 0).data(FileTreeModel::IsHighlightedRole).toBool());

        // The old tree stays while the new one loads.
        touch(dir.filePath("NEW"));
        model.requestReload();
        QCOMPARE(model.rowCount(), 2);
        QTRY_COMPARE(model.rowCount(), 3);

        model.setRootPath(QString());
        QCOMPARE(model.rowCount(), 0);
    }
};

MOONSHELF_TEST_GUILESS_MAIN(FileTreeTest)
#include "tst_file_tree.moc"
