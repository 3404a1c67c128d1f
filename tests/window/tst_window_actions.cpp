#include "WindowKit.h"

#include "agent/files/WorkspaceManager.h"
#include "chat/markdown/MarkdownTextView.h"
#include "model/ConversationStore.h"
#include "support/TestMain.h"
#include "window/ActionRegistry.h"
#include "window/MainWindow.h"
#include "window/SettingsHost.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>

using window::Command;
using Peer = testsupport::ChatServicePeer;

namespace {

// "File/New Session" and the like: where each action stands in the menus.
QStringList menuPaths(QMenuBar *bar)
{
    QStringList out;
    for (QAction *top : bar->actions()) {
        for (QAction *item : top->menu()->actions())
            out.append(top->text() + QLatin1Char('/') + (item->isSeparator() ? QStringLiteral("-") : item->text()));
    }
    return out;
}

// Sends a key to the focused widget of the window, as a person would.
void press(QWidget *window, const QKeySequence &keys)
{
    QWidget *target = window->focusWidget() ? window->focusWidget() : window;
    QTest::keySequence(target, keys);
}

} // namespace

class TestWindowActions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void menus()
    {
        windowtest::WindowKit kit;
        const QStringList expected{
            "File/New Session", "File/Open Project Folder\u2026", "File/Export Session\u2026", "File/-",
            "File/Command Palette\u2026", "File/Toggle Sidebar", "File/Toggle Files", "File/Toggle Tools",
            "File/-", "File/Stop", "File/-", "File/Settings\u2026", "File/-", "File/Quit",
            "Help/About Moonshelf Mac"};
        QCOMPARE(menuPaths(kit.window().menuBar()), expected);
        // Every command is a window action, so its key works with the menu hidden.
        for (QAction *a : kit.window().actions().actions())
            QVERIFY2(static_cast<QWidget &>(kit.window()).actions().contains(a), qPrintable(a->text()));
    }

    void commands_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<bool>("enabledIdle");
        QTest::addColumn<QString>("effect");
        const auto row = [](Command c, const char *id, const char *text, const char *keys, bool enabled,
                            const char *effect) {
            QTest::newRow(id) << c << QString::fromLatin1(id) << QString::fromUtf8(text) << QString::fromLatin1(keys)
                              << enabled << QString::fromLatin1(effect);
        };
        row(Command::about, "about", "About Moonshelf Mac", "", true, "about");
        row(Command::newSession, "new-session", "New Session", "Ctrl+N", true, "new-session");
        row(Command::openProjectFolder, "open-project", "Open Project Folder\u2026", "Ctrl+O", true, "open-folder");
        row(Command::exportSession, "export", "Export Session\u2026", "Ctrl+Shift+E", true, "export");
        row(Command::commandPalette, "command-palette", "Command Palette\u2026", "Ctrl+K", true, "palette");
        row(Command::toggleSidebar, "toggle-sidebar", "Toggle Sidebar", "Ctrl+Alt+S", true, "sidebar");
        row(Command::toggleFiles, "toggle-files", "Toggle Files", "Ctrl+B", true, "files");
        row(Command::toggleTools, "toggle-tools", "Toggle Tools", "Ctrl+Shift+L", true, "tools");
        row(Command::stop, "stop", "Stop", "Esc", false, "stop");
        row(Command::settings, "settings", "Settings\u2026", "Ctrl+,", true, "settings");
        row(Command::quit, "quit", "Quit", "Ctrl+Q", true, "quit");
    }

    // Each command's text, key and enabled state, then its effect when its
    // key is pressed in the window.
    void commands()
    {
        QFETCH(Command, command);
        QFETCH(QString, id);
        QFETCH(QString, text);
        QFETCH(QString, keys);
        QFETCH(bool, enabledIdle);
        QFETCH(QString, effect);

        windowtest::WindowKit kit;
        window::MainWindow &w = kit.window();
        app::AppViewModel &vm = kit.vm();
        QAction *action = w.actions().action(command);
        QCOMPARE(action->objectName(), id);
        QCOMPARE(action->text(), text);
        QCOMPARE(action->shortcut().toString(QKeySequence::PortableText), keys);
        QCOMPARE(action->isEnabled(), enabledIdle);
        QVERIFY(kit.showActive());

        const auto fire = [&] {
            if (action->shortcut().isEmpty())
                action->trigger();
            else
                press(&w, action->shortcut());
        };

        if (effect == "about") {
            QSignalSpy shown(&w, &window::MainWindow::aboutShown);
            fire();
            QCOMPARE(shown.size(), 1);
            auto *panel = shown.first().first().value<QWidget *>();
            QVERIFY(panel->isVisible());
            const QString all = [&] {
                QStringList texts;
                for (QLabel *l : panel->findChildren<QLabel *>())
                    texts.append(l->text());
                return texts.join('|');
            }();
            QVERIFY2(all.contains(QStringLiteral("Built by Dulmar")), qPrintable(all));
            panel->close();
        } else if (effect == "new-session") {
            const qsizetype before = vm.conversations().conversations().size();
            const auto selected = vm.conversations().selectedConversationID();
            fire();
            QCOMPARE(vm.conversations().conversations().size(), before + 1);
            QVERIFY(vm.conversations().selectedConversationID() != selected);
        } else if (effect == "open-folder") {
            // Cancelled: the project stays, the tree still reloads.
            QUuid refresh = vm.fileTreeRefresh();
            fire();
            QTRY_VERIFY(vm.fileTreeRefresh() != refresh);
            QCOMPARE(kit.panels().folders.size(), 1);
            QCOMPARE(vm.workspace().rootPath(), kit.projectPath());
            // Chosen: the project changes.
            QTemporaryDir other;
            kit.panels().folderAnswer = other.path();
            refresh = vm.fileTreeRefresh();
            fire();
            QTRY_VERIFY(vm.fileTreeRefresh() != refresh);
            QCOMPARE(vm.workspace().rootPath(), other.path());
        } else if (effect == "export") {
            fire();
            QTRY_COMPARE(kit.panels().saves.size(), 1);
        } else if (effect == "palette") {
            fire();
            QVERIFY(vm.showCommandPalette());
        } else if (effect == "sidebar" || effect == "files" || effect == "tools") {
            const auto flags = [&vm] {
                return QList<bool>{vm.showSidebar(), vm.showProjectPanel(), vm.showToolLog()};
            };
            const QList<bool> start = flags();
            const int which = effect == "sidebar" ? 0 : effect == "files" ? 1 : 2;
            fire();
            QList<bool> once = start;
            once[which] = !once[which];
            QCOMPARE(flags(), once); // each toggle leaves the other two panels alone
            fire();
            QCOMPARE(flags(), start);
        } else if (effect == "stop") {
            // Idle: Escape does nothing.
            fire();
            QVERIFY(!vm.isRunning());
            // Running: Escape stops the run and the command is disabled again.
            Peer::Reply stalling = Peer::textReply(QStringLiteral("partial"));
            stalling.stallAfter = 10;
            kit.peer().enqueue(stalling);
            vm.setDraft(QStringLiteral("go"));
            vm.send();
            QVERIFY(vm.isRunning());
            QVERIFY(action->isEnabled());
            fire();
            QVERIFY(!vm.isRunning());
            QVERIFY(!action->isEnabled());
        } else if (effect == "settings") {
            fire();
            QVERIFY(w.settings().window());
            QVERIFY(w.settings().window()->isVisible());
            QTRY_VERIFY(!vm.showSettings()); // lowered one turn later
            w.settings().window()->close();
        } else if (effect == "quit") {
            QSignalSpy closed(&w, &window::MainWindow::closedForGood);
            fire();
            QCOMPARE(closed.size(), 1);
            QVERIFY(!w.isVisible());
        }
    }

    // The file manager and the terminal go through the desktop layer with
    // the folder as data (never as shell text); without a project both ask
    // for one. What cannot be started is told, with the path to copy.
    void projectActions_data()
    {
        QTest::addColumn<bool>("inProject");
        QTest::addColumn<bool>("terminalWorks");
        QTest::addColumn<bool>("fileManagerWorks");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<int>("folderPanels");
        QTest::addColumn<QString>("told");
        const QString noTerminal = "No terminal could be started in %1 (install one, or name it in TERMINAL). ";
        const QString noFileManager = "No file manager could be started to show %1. Copy the path to open it yourself.";
        QTest::newRow("reveal") << true << true << true << "finder" << QStringList{"reveal %1"} << 0 << "";
        QTest::newRow("terminal") << true << true << true << "terminal" << QStringList{"terminal %1"} << 0 << "";
        QTest::newRow("no terminal: shown in the file manager, and told")
            << true << false << true << "terminal" << QStringList{"terminal %1", "reveal %1"} << 0
            << noTerminal + "The file manager shows the folder instead.";
        QTest::newRow("no terminal, no file manager")
            << true << false << false << "terminal" << QStringList{"terminal %1", "reveal %1"} << 0
            << noTerminal + noFileManager;
        QTest::newRow("no file manager") << true << true << false << "finder" << QStringList{"reveal %1"} << 0
                                         << noFileManager;
        QTest::newRow("reveal without project asks for one")
            << false << true << true << "finder" << QStringList{} << 1 << "";
        QTest::newRow("terminal without project asks for one")
            << false << true << true << "terminal" << QStringList{} << 1 << "";
    }

    void projectActions()
    {
        QFETCH(bool, inProject);
        QFETCH(bool, terminalWorks);
        QFETCH(bool, fileManagerWorks);
        QFETCH(QString, action);
        QFETCH(QStringList, calls);
        QFETCH(int, folderPanels);
        QFETCH(QString, told);
        windowtest::WindowKit kit(inProject);
        kit.desktop().terminalWorks = terminalWorks;
        kit.desktop().fileManagerWorks = fileManagerWorks;
        const QUuid refresh = kit.vm().fileTreeRefresh();
        if (action == "finder")
            kit.vm().revealProjectInFinder();
        else
            kit.vm().openProjectInTerminal();
        QTRY_COMPARE(kit.panels().folders.size(), folderPanels);
        if (folderPanels)
            QTRY_VERIFY(kit.vm().fileTreeRefresh() != refresh);
        for (QString &c : calls)
            c = c.arg(kit.projectPath());
        QCOMPARE(kit.desktop().calls, calls);
        QCOMPARE(kit.vm().errorMessage().value_or(QString()), told.isEmpty() ? QString() : told.arg(kit.projectPath()));
    }

    // A link in a reply opens in the browser; without one, the window says
    // so with the address.
    void replyLinks_data()
    {
        QTest::addColumn<bool>("browserWorks");
        QTest::addColumn<QString>("told");
        QTest::newRow("opens") << true << "";
        QTest::newRow("no browser")
            << false << "No browser could be started to open https://example.org/x. Copy the address into a browser "
                        "yourself.";
    }

    void replyLinks()
    {
        QFETCH(bool, browserWorks);
        QFETCH(QString, told);
        windowtest::WindowKit kit;
        kit.desktop().browserWorks = browserWorks;
        model::ConversationStore &store = kit.vm().conversations();
        store.appendMessage(*store.selectedConversationID(), model::ChatMessage::make(model::MessageRole::User, "hi"));
        store.appendMessage(*store.selectedConversationID(),
                            model::ChatMessage::make(model::MessageRole::Assistant,
                                                     "[linklinklinklinklink](https://example.org/x) after"));
        QVERIFY(kit.show());
        chat::MarkdownTextView *reply = nullptr;
        QTRY_VERIFY((reply = [&]() -> chat::MarkdownTextView * {
            for (auto *v : kit.window().findChildren<chat::MarkdownTextView *>())
                if (v->isVisible() && v->text().startsWith("[linklink"))
                    return v;
            return nullptr;
        }()));
        QTest::mouseClick(reply, Qt::LeftButton, {}, QPoint(10, 8));
        QCOMPARE(kit.desktop().calls, QStringList{"url https://example.org/x"});
        QCOMPARE(kit.vm().errorMessage().value_or(QString()), told);
    }

    // Escape while an approval card shows denies the call and the run goes
    // on; the menu's Stop (a click, not the key) stops the run.
    void escapeDeniesApprovalFirst()
    {
        windowtest::WindowKit kit;
        app::AppViewModel &vm = kit.vm();
        window::MainWindow &w = kit.window();
        QVERIFY(kit.showActive());
        vm.setToolGuard(model::ToolGuardMode::Ask);
        kit.peer().enqueue(Peer::toolCallReply(
            {{"c1", "write_file", "{\"path\":\"new.txt\",\"content\":\"x\"}"}}, QStringLiteral("Let me write.")));
        Peer::Reply stalling = Peer::textReply(QStringLiteral("after the denial"));
        stalling.stallAfter = 12;
        kit.peer().enqueue(stalling);
        vm.setDraft(QStringLiteral("go"));
        vm.send();
        QTRY_VERIFY(vm.pendingApproval().has_value());

        w.activateWindow(); // the card's transient parts may have taken it offscreen
        QTRY_VERIFY(QApplication::activeWindow() == &w);
        press(&w, QKeySequence(Qt::Key_Escape));
        QVERIFY(!vm.pendingApproval().has_value());
        QVERIFY(vm.isRunning()); // denied, not stopped
        QTRY_VERIFY(!vm.streamingText().isEmpty() && kit.peer().requests().size() == 2);
        QVERIFY(!QFile::exists(kit.projectPath() + QStringLiteral("/new.txt")));

        w.actions().action(Command::stop)->trigger(); // as from the menu
        QVERIFY(!vm.isRunning());
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestWindowActions)
#include "tst_window_actions.moc"
