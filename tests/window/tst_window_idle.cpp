#include "WindowKit.h"

#include "chat/tray/ComposerTray.h"
#include "glass/stageview/StageBackground.h"
#include "stage/BackgroundSettings.h"
#include "support/TestMain.h"
#include "window/ContentView.h"
#include "window/MainWindow.h"

#include <QHash>

namespace {

// Every paint and timer event of the application while it is installed.
class EventTally : public QObject {
public:
    QHash<QByteArray, int> timers; // by receiver class
    QHash<QByteArray, int> painted; // by receiver class
    int paints = 0;
    EventTally() { qApp->installEventFilter(this); }
    ~EventTally() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint || event->type() == QEvent::UpdateRequest) {
            ++paints;
            ++painted[watched->metaObject()->className()];
        }
        else if (event->type() == QEvent::Timer)
            ++timers[watched->metaObject()->className()];
        return false;
    }
};

} // namespace

// A window nobody can see costs nothing: the drifting stage stops, nothing
// paints and nothing wakes the application; shown again, it moves on.
class TestWindowIdle : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void offScreenWindowRestsAndComesBack_data()
    {
        QTest::addColumn<bool>("minimise");
        QTest::newRow("hidden") << false;
        // Offscreen, a minimised window stays exposed and active: its caret
        // blinks on. What is looked at there is the stage.
        QTest::newRow("minimised") << true;
    }
    void offScreenWindowRestsAndComesBack()
    {
        QFETCH(bool, minimise);
        windowtest::WindowKit kit;
        kit.background().setAnimateKenBurns(true);
        window::MainWindow &w = kit.window();
        QVERIFY(kit.show());
        glass::StageBackground *stage = w.content()->findChild<glass::StageBackground *>(QStringLiteral("stage"));
        QTRY_VERIFY_WITH_TIMEOUT(stage->media() == glass::StageBackground::Media::image, 10'000);
        QTRY_VERIFY(stage->isTicking());
        // The window's one-off animations (the tray's intro glow) are over.
        auto *tray = w.findChild<chat::ComposerTray *>();
        QVERIFY(tray);
        QTRY_COMPARE_WITH_TIMEOUT(tray->introGlow(), 0.0, 20'000);

        if (minimise)
            w.showMinimized();
        else
            w.hide();
        QTest::qWait(100); // the window's own last turn
        QVERIFY(!stage->isOnScreen());
        {
            EventTally tally;
            QTest::qWait(1500);
            if (!minimise) {
                QVERIFY2(tally.paints == 0, tally.painted.keys().join(' ').constData());
                QVERIFY2(tally.timers.isEmpty(), tally.timers.keys().join(' ').constData());
            }
        }
        QVERIFY(!stage->isTicking());

        // Back on screen: the motion goes on and the stage draws it.
        const glass::KenBurnsPose before = stage->shownPose();
        w.showNormal();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_VERIFY(stage->isTicking());
        QTRY_VERIFY_WITH_TIMEOUT(!(stage->shownPose() == before), 3000);
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestWindowIdle)
#include "tst_window_idle.moc"
