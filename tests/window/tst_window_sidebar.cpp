#include "WindowKit.h"

#include "glass/sheets/SheetOverlay.h"
#include "glass/controls/StyledButton.h"
#include "glass/controls/StyledField.h"
#include "model/ConversationStore.h"
#include "model/SettingsStore.h"
#include "palette/CommandPaletteView.h"
#include "panels/DeleteSessionSheet.h"
#include "panels/RenameSheet.h"
#include "panels/SessionSections.h"
#include "panels/SidebarView.h"
#include "settings/OnboardingSheet.h"
#include "support/NamedWidget.h"
#include "support/TestMain.h"
#include "window/ContentView.h"
#include "window/MainWindow.h"
#include "window/PanelSlot.h"

#include <QSignalSpy>

namespace {

// A key as the user types it: to whatever has focus in the window.
void type(window::MainWindow &w, Qt::Key key)
{
    QTest::keyClick(w.focusWidget() ? w.focusWidget() : static_cast<QWidget *>(&w), key);
    QCoreApplication::processEvents();
}

} // namespace

// The sidebar and the onboarding sheet in the main window: the sheets open
// in the window's overlay and keep Return and Escape from the window's own
// commands (Escape also stops a run there).
class TestWindowSidebar : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void renameInWindow_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("title");
        QTest::newRow("Return renames") << int(Qt::Key_Return) << "first, renamed";
        QTest::newRow("Escape keeps the title") << int(Qt::Key_Escape) << "first";
    }
    void renameInWindow()
    {
        QFETCH(int, key);
        QFETCH(QString, title);
        windowtest::WindowKit kit;
        QVERIFY(kit.show());
        window::MainWindow &w = kit.window();
        auto *sidebar = qobject_cast<panels::SidebarView *>(windowtest::panelSlot(w.content(), QStringLiteral("sidebar"))->view());
        QVERIFY(sidebar);
        model::ConversationStore &store = kit.vm().conversations();
        store.rename(store.selectedConversationID().value(), "first");
        const QUuid id = *store.selectedConversationID();

        sidebar->openRename(id);
        glass::SheetOverlay *sheets = w.content()->sheets();
        auto *sheet = qobject_cast<panels::RenameSheet *>(sheets->content());
        QVERIFY(sheet);
        QVERIFY(w.isActiveWindow() || QTest::qWaitForWindowActive(&w));
        QCOMPARE(w.focusWidget(), static_cast<QWidget *>(sheet->field()));
        sheet->field()->end(false);
        QTest::keyClicks(sheet->field(), ", renamed");
        type(w, Qt::Key(key));
        QVERIFY(!sheets->isOpen());
        QCOMPARE(store.conversation(id)->title, title);
    }

    // A sheet asked for while another is open: the flags and what the
    // window shows agree (onboarding wins, the palette waits behind it).
    void sheetOverAnOpenSheet_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("then");
        QTest::addColumn<QString>("shown");
        QTest::newRow("palette over rename") << "rename" << "palette" << "palette";
        QTest::newRow("onboarding over palette") << "palette" << "onboarding" << "onboarding";
        QTest::newRow("palette under onboarding") << "onboarding" << "palette" << "onboarding";
        QTest::newRow("rename over palette") << "palette" << "rename" << "rename";
    }
    void sheetOverAnOpenSheet()
    {
        QFETCH(QString, first);
        QFETCH(QString, then);
        QFETCH(QString, shown);
        windowtest::WindowKit kit;
        QVERIFY(kit.show());
        window::MainWindow &w = kit.window();
        app::AppViewModel &vm = kit.vm();
        auto *sidebar = qobject_cast<panels::SidebarView *>(windowtest::panelSlot(w.content(), QStringLiteral("sidebar"))->view());
        QVERIFY(sidebar);
        const QUuid id = *vm.conversations().selectedConversationID();
        for (const QString &step : {first, then}) {
            if (step == "rename")
                sidebar->openRename(id);
            else if (step == "palette")
                vm.setShowCommandPalette(true);
            else
                vm.setShowOnboarding(true);
            QCoreApplication::processEvents();
        }
        QWidget *content = w.content()->sheets()->content();
        QVERIFY(content);
        QCOMPARE(bool(qobject_cast<panels::RenameSheet *>(content)), shown == "rename");
        QCOMPARE(bool(qobject_cast<palette::CommandPaletteView *>(content)), shown == "palette");
        QCOMPARE(bool(qobject_cast<settings::OnboardingSheet *>(content)), shown == "onboarding");
        QCOMPARE(vm.showOnboarding(), shown == "onboarding");
        // The palette flag stays up while it waits behind the welcome sheet.
        QCOMPARE(vm.showCommandPalette(), shown == "palette" || (shown == "onboarding" && first == "palette")
                                              || (shown == "onboarding" && then == "palette"));
    }

    // Delete asks in the window's sheet; Escape there keeps the session,
    // and a run going on meanwhile is not stopped by it.
    void deleteInWindow_data()
    {
        QTest::addColumn<bool>("running");
        QTest::newRow("idle") << false;
        QTest::newRow("while a reply streams") << true;
    }
    void deleteInWindow()
    {
        QFETCH(bool, running);
        windowtest::WindowKit kit;
        QVERIFY(kit.show());
        window::MainWindow &w = kit.window();
        if (running) {
            testsupport::ChatServicePeer::Reply stalling =
                testsupport::ChatServicePeer::textReply(QStringLiteral("partial"));
            stalling.stallAfter = 10;
            kit.peer().enqueue(stalling);
            kit.vm().setDraft(QStringLiteral("go"));
            kit.vm().send();
            QVERIFY(kit.vm().isRunning());
        }
        auto *sidebar = qobject_cast<panels::SidebarView *>(windowtest::panelSlot(w.content(), QStringLiteral("sidebar"))->view());
        QVERIFY(sidebar);
        const QUuid id = *kit.vm().conversations().selectedConversationID();
        sidebar->openDelete(id);
        QVERIFY(qobject_cast<panels::DeleteSessionSheet *>(w.content()->sheets()->content()));
        QVERIFY(w.isActiveWindow() || QTest::qWaitForWindowActive(&w));
        type(w, Qt::Key_Escape);
        QVERIFY(!w.content()->sheets()->isOpen());
        QVERIFY(kit.vm().conversations().conversation(id));
        QCOMPARE(kit.vm().isRunning(), running);
        kit.vm().stop();
    }

    // The welcome sheet: Escape leaves it up; Return is "Let's build";
    // "Open Settings first…" ends with the settings window asked for.
    void onboardingInWindow_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Return") << "return";
        QTest::newRow("Open Settings first") << "settings";
    }
    void onboardingInWindow()
    {
        QFETCH(QString, how);
        windowtest::WindowKit kit;
        QVERIFY(kit.show());
        window::MainWindow &w = kit.window();
        app::AppViewModel &vm = kit.vm();
        vm.setShowOnboarding(true);
        auto *sheet = qobject_cast<settings::OnboardingSheet *>(w.content()->sheets()->content());
        QVERIFY(sheet);
        QVERIFY(w.isActiveWindow() || QTest::qWaitForWindowActive(&w));
        type(w, Qt::Key_Escape);
        QVERIFY(w.content()->sheets()->isOpen());
        QVERIFY(vm.showOnboarding());

        QSignalSpy settingsAsked(&vm, &app::AppViewModel::showSettingsChanged);
        if (how == "return") {
            type(w, Qt::Key_Return);
        } else {
            REQUIRE_NAMED(settingsFirst, glass::StyledButton, sheet, QStringLiteral("Open Settings first\u2026"));
            settingsFirst->click();
        }
        QCoreApplication::processEvents();
        QVERIFY(!w.content()->sheets()->isOpen());
        QVERIFY(!vm.showOnboarding());
        QVERIFY(vm.settingsStore().settings().hasCompletedOnboarding);
        QCOMPARE(settingsAsked.isEmpty(), how == "return");
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestWindowSidebar)
#include "tst_window_sidebar.moc"
