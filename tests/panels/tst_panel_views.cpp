// The file tree and the tool log on a controller of their own: what the
// tree marks after a peek, and the help text of the log's reveal button.

#include "app/AppTestKit.h"
#include "app/AppViewModel.h"
#include "glass/look/Styles.h"
#include "panels/FileTreeModel.h"
#include "panels/FileTreeView.h"
#include "panels/ToolLogList.h"
#include "panels/ToolLogView.h"
#include "stage/SkinStore.h"
#include "support/TestMain.h"

#include <QHelpEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListView>
#include <QToolTip>
#include <QTreeView>

using apptest::Harness;
using Peer = testsupport::ChatServicePeer;

namespace {

struct Looks {
    stage::SkinStore skins{stage::SkinStore::defaultSources()};
    glass::StyleStore styles{skins};
};

// The paths the tree marks, relative to root.
QStringList marked(const panels::FileTreeModel &model, const QString &root, const QModelIndex &parent = {})
{
    QStringList out;
    for (int r = 0; r < model.rowCount(parent); ++r) {
        const QModelIndex index = model.index(r, 0, parent);
        if (index.data(panels::FileTreeModel::IsHighlightedRole).toBool())
            out << index.data(panels::FileTreeModel::PathRole).toString().mid(root.size() + 1);
        out << marked(model, root, index);
    }
    return out;
}

// The help text the view shows at pos; nothing when it does not take the
// request there.
QString toolTipAt(QAbstractItemView &view, const QPoint &pos)
{
    QHelpEvent help(QEvent::ToolTip, pos, view.viewport()->mapToGlobal(pos));
    QCoreApplication::sendEvent(view.viewport(), &help);
    return help.isAccepted() && QToolTip::isVisible() ? QToolTip::text() : QString();
}

// The panel's one tree of files.
QTreeView &tree(panels::FileTreeView &view)
{
    return *view.findChild<QTreeView *>();
}

} // namespace

class PanelViewsTest : public QObject {
    Q_OBJECT
private slots:
    // Clicking files in the tree marks the one peeked, whatever it holds;
    // the file peeked before is no longer marked.
    void treeMarksThePeekedFile_data()
    {
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<QString>("secondName");
        QTest::newRow("binary after text") << QByteArray("\x89PNG\r\n\x1a\n\xff\xfe", 10) << "logo.png";
        QTest::newRow("text after text") << QByteArray("two\n") << "b.txt";
        QTest::newRow("empty file") << QByteArray() << "empty.txt";
    }
    void treeMarksThePeekedFile()
    {
        QFETCH(QByteArray, second);
        QFETCH(QString, secondName);
        Harness h;
        app::AppViewModel &vm = h.makeInProject();
        h.writeProjectFile("a.txt", "one\n");
        h.writeProjectFile(secondName, second);
        Looks looks;
        panels::FileTreeView view(vm, looks.styles);
        view.resize(240, 500);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QString root = h.projectPath();
        auto *files = view.findChild<panels::FileTreeModel *>();
        QVERIFY(files);
        QTRY_VERIFY(files->indexForPath(root + "/" + secondName).isValid());
        const auto click = [&](const QString &name) {
            const QModelIndex index = files->indexForPath(root + "/" + name);
            QTest::mouseClick(tree(view).viewport(), Qt::LeftButton, {}, tree(view).visualRect(index).center());
        };
        click("a.txt");
        QTRY_COMPARE(marked(*files, root), QStringList{"a.txt"});
        click(secondName);
        QTRY_VERIFY(vm.peekedFile() && vm.peekedFile()->displayPath == secondName);
        QCOMPARE(marked(*files, root), QStringList{secondName});
    }

    // "Reveal in Files" says what it does, over the button and nowhere
    // else in the row; where it says so, a click reveals.
    void revealButtonHelp()
    {
        Harness h;
        app::AppViewModel &vm = h.makeInProject();
        h.writeProjectFile("notes/a.txt", "alpha\n");
        h.peer().enqueue(Peer::toolCallReply(
            {{"c1", "read_file",
              QString::fromUtf8(QJsonDocument(QJsonObject{{"path", "notes/a.txt"}}).toJson(QJsonDocument::Compact))}}));
        h.peer().enqueue(Peer::textReply(QStringLiteral("Read it.")));
        vm.setDraft(QStringLiteral("read the notes"));
        vm.send();
        QTRY_VERIFY(!vm.isRunning());
        QCOMPARE(vm.toolLog().size(), 1);

        Looks looks;
        panels::ToolLogView view(vm, looks.styles);
        view.resize(280, 500);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto *found = view.findChild<panels::ToolLogList *>();
        QVERIFY(found);
        QListView &list = *found;
        const QRect row = list.visualRect(list.model()->index(0, 0));
        QVERIFY(row.height() > 40);
        QList<QPoint> helped;
        for (int y = row.top(); y <= row.bottom(); y += 2)
            for (int x = row.left(); x <= row.right(); x += 4) {
                const QString tip = toolTipAt(list, {x, y});
                QVERIFY2(tip.isEmpty() || tip == QStringLiteral("Open the file tree and peek this path"),
                         qPrintable(tip));
                if (!tip.isEmpty())
                    helped << QPoint(x, y);
            }
        QVERIFY(!helped.isEmpty());
        // Only on the button's line at the row's foot, not over the name or the arguments.
        for (const QPoint &p : std::as_const(helped))
            QVERIFY(p.y() > row.center().y());
        QVERIFY(!vm.showProjectPanel());
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, helped.first());
        QTRY_VERIFY(vm.peekedFile());
        QCOMPARE(vm.peekedFile()->displayPath, QStringLiteral("notes/a.txt"));
        QVERIFY(vm.showProjectPanel());
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(PanelViewsTest)
#include "tst_panel_views.moc"
