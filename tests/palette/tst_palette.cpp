#include "AppTestKit.h"
#include "glass/look/Styles.h"
#include "palette/CommandPaletteView.h"
#include "palette/PaletteCommand.h"
#include "stage/BackgroundSettings.h"
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
        // Whole words of a title first, then words that begin with it, in table order.
        QTest::newRow("file: whole words, then words that begin with it")
            << "file" << QStringList{"finder", "close-peek", "toggle-files", "clear-attachments"};
        QTest::newRow("query is lower-cased") << "SIDE" << QStringList{"toggle-sidebar"};
        QTest::newRow("no match") << "zzzz" << QStringList{"-"};
        // The best match of what was typed comes first, wherever its command stands in the table.
        QTest::newRow("wallpaper: the toggle's title before Settings' subtitle")
            << "wallpaper" << QStringList{"wallpaper-toggle", "settings"};
        QTest::newRow("model: Settings by keyword") << "model" << QStringList{"settings"};
        QTest::newRow("titles that begin with it, then a subtitle word")
            << "open" << QStringList{"open-project", "terminal", "finder", "close-peek"};
        QTest::newRow("a whole title before titles that hold it")
            << "export session" << QStringList{"export"};
        QTest::newRow("title words before a subtitle word")
            << "session" << QStringList{"new-session", "export", "toggle-sidebar"};
        QTest::newRow("inside a word last") << "older" << QStringList{"open-project"};
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

    // What was typed, then Return: the best match runs, through the real palette.
    void returnRunsTheBestMatch_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("wallpaperToggled");
        QTest::addColumn<bool>("settingsRaised");
        QTest::newRow("wallpaper toggles the wallpaper") << "wallpaper" << true << false;
        QTest::newRow("WALLPAPER with spaces") << "  WALLPAPER " << true << false;
        QTest::newRow("settings opens Settings") << "settings" << false << true;
        QTest::newRow("safety (Settings' subtitle)") << "safety" << false << true;
    }
    void returnRunsTheBestMatch()
    {
        QFETCH(QString, typed);
        QFETCH(bool, wallpaperToggled);
        QFETCH(bool, settingsRaised);
        apptest::Harness harness;
        auto &vm = harness.make();
        stage::SkinStore skins(stage::SkinStore::defaultSources());
        glass::StyleStore styles(skins);
        const bool wallpaperBefore = vm.background().isEnabled();
        vm.setShowCommandPalette(true);
        palette::CommandPaletteView view(vm, styles, {});
        view.show();
        QTest::keyClicks(&view.field(), typed);
        QTest::keyClick(&view.field(), Qt::Key_Return);
        QTRY_VERIFY(!vm.showCommandPalette());
        QTest::qWait(20);
        QCOMPARE(vm.background().isEnabled() != wallpaperBefore, wallpaperToggled);
        QCOMPARE(vm.showSettings(), settingsRaised);
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
