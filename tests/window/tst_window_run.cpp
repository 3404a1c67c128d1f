#include "WindowKit.h"

#include "model/ConversationStore.h"
#include "support/TestMain.h"
#include "window/ActionRegistry.h"
#include "window/ContentView.h"
#include "window/MainWindow.h"
#include "window/TitleButton.h"
#include "window/TitleStrip.h"

#include <QPlainTextEdit>

using Peer = testsupport::ChatServicePeer;

namespace {

// A visible widget of the window whose class has this name.
QWidget *shown(QWidget *root, const char *className)
{
    for (QWidget *w : root->findChildren<QWidget *>()) {
        if (qstrcmp(w->metaObject()->className(), className) == 0 && w->isVisible())
            return w;
    }
    return nullptr;
}

} // namespace

// One whole run through the window against the loopback chat service: typed
// and sent from the composer, streamed, stopped at an approval card that
// Escape denies, streamed again and stopped from the title bar. What the
// window shows along the way is kept as a log of events.
class TestWindowRun : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sendStreamApproveStop()
    {
        windowtest::WindowKit kit;
        app::AppViewModel &vm = kit.vm();
        window::MainWindow &w = kit.window();
        vm.setToolGuard(model::ToolGuardMode::Ask);
        QVERIFY(kit.showActive());

        window::TitleButton *stopButton = windowtest::titleButton(w.content()->titleStrip(), QStringLiteral("Stop"));
        QAction *stopAction = w.actions().action(window::Command::stop);
        QStringList log;
        bool streamed = false;
        bool waiting = false;
        connect(&vm, &app::AppViewModel::isRunningChanged, &w, [&] {
            log.append(QStringLiteral("%1 (stop button %2, Stop %3)")
                           .arg(vm.isRunning() ? "running" : "idle", stopButton->isEnabled() ? "on" : "off",
                                stopAction->isEnabled() ? "on" : "off"));
            streamed = false;
        });
        connect(&vm, &app::AppViewModel::streamingTextChanged, &w, [&] {
            if (!streamed && waiting == false && log.contains(QStringLiteral("card gone"))
                && !vm.streamingText().endsWith(QStringLiteral("rite."))) {
                log.append(QStringLiteral("streaming \"...%1\"").arg(vm.streamingText().right(5)));
                streamed = true;
            }
        });
        connect(&vm, &app::AppViewModel::pendingApprovalChanged, &w, [&] {
            if (waiting == vm.pendingApproval().has_value())
                return; // told again, nothing changed
            waiting = vm.pendingApproval().has_value();
            // The streamed text reaches views at most once a frame, so the
            // text so far is read here rather than waited for.
            log.append(vm.pendingApproval() ? QStringLiteral("approval %1 after \"...%2\"")
                                                  .arg(vm.pendingApproval()->name, vm.streamingText().right(5))
                                            : QStringLiteral("approval answered"));
            streamed = vm.pendingApproval().has_value();
        });

        kit.peer().enqueue(Peer::toolCallReply({{"c1", "write_file", "{\"path\":\"new.txt\",\"content\":\"x\"}"}},
                                               QStringLiteral("Let me write.")));
        // After the denial: streams a first piece, then goes silent with the connection open.
        const QByteArray head = Peer::event(Peer::contentChunk(QStringLiteral("Writing something else")));
        Peer::Reply stalling = Peer::sseReply(head + Peer::event(Peer::finishChunk(QStringLiteral("stop")))
                                              + Peer::doneEvent());
        stalling.stallAfter = head.size();
        kit.peer().enqueue(stalling);

        auto *composer = qobject_cast<QPlainTextEdit *>(shown(&w, "chat::ComposerField"));
        QVERIFY(composer);
        composer->setFocus();
        QTest::keyClicks(composer, QStringLiteral("go"));
        QTest::keyClick(composer, Qt::Key_Return);
        QTRY_VERIFY(vm.pendingApproval().has_value());
        QTRY_VERIFY(shown(&w, "chat::ApprovalCard"));
        log.append(QStringLiteral("card shown"));

        w.activateWindow();
        QTRY_VERIFY(QApplication::activeWindow() == &w);
        QTest::keyClick(w.focusWidget() ? w.focusWidget() : &w, Qt::Key_Escape);
        QTRY_VERIFY(!shown(&w, "chat::ApprovalCard"));
        log.append(QStringLiteral("card gone"));
        QTRY_VERIFY(streamed);

        stopButton->click();
        QTRY_VERIFY(!vm.isRunning());

        const QStringList expected{
            "running (stop button on, Stop on)",
            "approval write_file after \"...rite.\"",
            "card shown",
            "approval answered",
            "card gone",
            "streaming \"... else\"",
            "idle (stop button off, Stop off)",
        };
        QCOMPARE(log.join(QStringLiteral(" / ")), expected.join(QStringLiteral(" / ")));
        QVERIFY(!QFile::exists(kit.projectPath() + QStringLiteral("/new.txt"))); // denied, never written
        const QList<model::ChatMessage> kept =
            vm.conversations().selectedConversation().value_or(model::Conversation{}).messages;
        QCOMPARE(apptest::roles(kept), (QStringList{"user", "assistant", "tool", "assistant"}));
        QCOMPARE(kept.first().content, QStringLiteral("go"));
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestWindowRun)
#include "tst_window_run.moc"
