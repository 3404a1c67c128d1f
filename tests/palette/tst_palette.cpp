#include "AppTestKit.h"
#include "glass/Styles.h"
#include "palette/CommandPaletteView.h"
#include "palette/PaletteCommand.h"
#include "stage/SkinStore.h"
#include "support/TestMain.h"

#include <QLineEdit>

using palette::PaletteCommand;

namespace {

QStringList ids(const QList<PaletteCommand> &commands)
{
    QStringList out;
    for (const auto &c : commands)
        out << c.id;
    return out;
}

const PaletteCommand &byId(const QList<PaletteCommand> &commands, const QString &id)
{
    for (const auto &c : commands)
        if (c.id == id)
            return c;
    qFatal("no command %s", qPrintable(id));
}

} // namespace

class PaletteTest : public QObject {
    Q_OBJECT
private slots:
    void filter_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("blank lists all") << "   " << QStringList{};
        QTest::newRow("pay matches only the tip title") << "pay" << QStringList{"donate"};
        QTest::newRow("shell matches by keywords") << "shell" << QStringList{"toggle-tools", "terminal"};
        QTest::newRow("file: titles and keyword")
            << "file" << QStringList{"toggle-files", "finder", "clear-attachments", "close-peek"};
        QTest::newRow("query is lower-cased") << "SIDE" << QStringList{"toggle-sidebar"};
        QTest::newRow("no match") << "zzzz" << QStringList{"-"};
    }
    void filter()
    {
        QFETCH(QString, query);
        QFETCH(QStringList, expected);
        apptest::Harness harness;
        auto &vm = harness.make();
        const auto all = PaletteCommand::commands(vm, {});
        QCOMPARE(all.size(), 14);
        const QStringList got = ids(PaletteCommand::filtered(all, query));
        if (expected.isEmpty())
            QCOMPARE(got, ids(all));
        else if (expected == QStringList{"-"})
            QVERIFY(got.isEmpty());
        else
            QCOMPARE(got, expected);
    }

    void projectPathFindsFinder()
    {
        apptest::Harness harness;
        auto &vm = harness.makeInProject();
        const QString tail = harness.projectPath().right(6);
        QCOMPARE(ids(PaletteCommand::filtered(PaletteCommand::commands(vm, {}), tail)), QStringList{"finder"});
    }

    void titlesFollowState()
    {
        apptest::Harness harness;
        auto &vm = harness.make();
        vm.setShowSidebar(true);
        auto c = PaletteCommand::commands(vm, {});
        QCOMPARE(byId(c, "toggle-sidebar").title, "Hide Sidebar");
        QCOMPARE(byId(c, "toggle-sidebar").systemImage, "sidebar.left");
        QCOMPARE(byId(c, "clear-attachments").subtitle, "None pending");
        QCOMPARE(byId(c, "close-peek").subtitle, "No file open");
        QCOMPARE(byId(c, "finder").subtitle, "No project open");
        QCOMPARE(byId(c, "stop").subtitle, "Nothing running");
        vm.setShowSidebar(false);
        QVERIFY(vm.attachImageData(apptest::pngBytes(1), "a.png"));
        QVERIFY(vm.attachImageData(apptest::pngBytes(2), "b.png"));
        c = PaletteCommand::commands(vm, {});
        QCOMPARE(byId(c, "toggle-sidebar").title, "Show Sidebar");
        QCOMPARE(byId(c, "toggle-sidebar").systemImage, "sidebar.right");
        QCOMPARE(byId(c, "clear-attachments").subtitle, "2 file(s) on next send");
    }

    // A window command runs the window's own action, once per opening, after the palette closed.
    void runsOnceAfterClosing()
    {
        apptest::Harness harness;
        auto &vm = harness.make();
        stage::SkinStore skins(stage::SkinStore::defaultSources());
        glass::StyleStore styles(skins);
        QAction settings;
        settings.setObjectName("settings");
        QAction newSession;
        newSession.setObjectName("new-session");
        newSession.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
        QStringList log;
        connect(&newSession, &QAction::triggered, this, [&] { log << QStringLiteral("new session, palette shown: %1").arg(vm.showCommandPalette()); });
        QCOMPARE(byId(PaletteCommand::commands(vm, {&newSession}), "new-session").shortcutHint,
                 QKeySequence(Qt::CTRL | Qt::Key_N).toString(QKeySequence::NativeText));

        vm.setShowCommandPalette(true);
        palette::CommandPaletteView view(vm, styles, {&settings, &newSession});
        view.show();
        view.field().setText("new sess");
        QCOMPARE(view.shownIds(), QStringList{"new-session"});
        QTest::keyClick(&view.field(), Qt::Key_Return);
        QTest::keyClick(&view.field(), Qt::Key_Return);
        QVERIFY(log.isEmpty()); // not inside the key press
        QTRY_COMPARE(log, QStringList{"new session, palette shown: 0"});
        QTest::qWait(20);
        QCOMPARE(log.size(), 1);
    }

    void returnWithNoMatchDoesNothing()
    {
        apptest::Harness harness;
        auto &vm = harness.make();
        stage::SkinStore skins(stage::SkinStore::defaultSources());
        glass::StyleStore styles(skins);
        vm.setShowCommandPalette(true);
        palette::CommandPaletteView view(vm, styles, {});
        view.show();
        view.field().setText("zzzz");
        QVERIFY(view.shownIds().isEmpty());
        QTest::keyClick(&view.field(), Qt::Key_Return);
        QTest::qWait(10);
        QVERIFY(vm.showCommandPalette());
        // Cleared, every command is back; the list never grows past its cap.
        view.field().clear();
        QCOMPARE(view.shownIds().size(), 14);
        QVERIFY(view.sizeHint().height() <= 360 + 120);
        QTest::qWait(0); // rows added to a shown list appear on the next turn
        if (qEnvironmentVariableIsSet("MOONSHELF_TEST_OUTPUT"))
            view.grab().save(qEnvironmentVariable("MOONSHELF_TEST_OUTPUT") + "/palette.png");
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(PaletteTest)
#include "tst_palette.moc"
