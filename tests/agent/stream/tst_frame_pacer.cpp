// The stream's frame pacer on a clock moved by hand: bursts are told at
// most once per frame, a lone arrival is told at once, and the end is told
// at once whatever the frame.

#include "agent/stream/FramePacer.h"
#include "support/TestMain.h"

using agent::FramePacer;

class TestFramePacer : public QObject {
    Q_OBJECT

private slots:
    void notices_data()
    {
        // Arrivals and the end in ms on the pacer's clock; the times at
        // which the pacer tells. -1: no end.
        QTest::addColumn<QList<int>>("arrivals");
        QTest::addColumn<int>("endAt");
        QTest::addColumn<QList<int>>("told");

        QTest::newRow("first arrival at once") << QList<int>{0} << -1 << QList<int>{0};
        QTest::newRow("lone arrival after a quiet spell at once") << QList<int>{0, 100} << -1 << QList<int>{0, 100};
        QTest::newRow("arrival a frame later at once") << QList<int>{0, 16} << -1 << QList<int>{0, 16};
        QTest::newRow("arrival inside the frame waits only its rest") << QList<int>{0, 5} << -1 << QList<int>{0, 16};
        QTest::newRow("late in the frame: no second frame") << QList<int>{0, 15} << -1 << QList<int>{0, 16};
        QTest::newRow("burst inside one frame joined")
            << QList<int>{0, 1, 2, 3, 10} << -1 << QList<int>{0, 16};
        QTest::newRow("burst over three frames")
            << QList<int>{0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30, 32, 34, 36, 38, 40} << -1
            << QList<int>{0, 16, 32, 48};
        QTest::newRow("held arrival then a quiet spell") << QList<int>{0, 4, 60} << -1 << QList<int>{0, 16, 60};
        QTest::newRow("end tells what is held at once") << QList<int>{0, 3} << 5 << QList<int>{0, 5};
        QTest::newRow("end right after a notice at once") << QList<int>{0} << 1 << QList<int>{0, 1};
        QTest::newRow("end after a quiet spell at once") << QList<int>{0} << 30 << QList<int>{0, 30};
        QTest::newRow("end alone") << QList<int>{} << 7 << QList<int>{7};
    }

    void notices()
    {
        QFETCH(QList<int>, arrivals);
        QFETCH(int, endAt);
        QFETCH(QList<int>, told);

        qint64 now = 0;
        FramePacer pacer([&now] { return now; });
        QList<int> notices;
        connect(&pacer, &FramePacer::due, this, [&] { notices.append(int(now)); });
        // What the frame's timer does, on the hand-moved clock; a timer
        // that fires a moment early must tell nothing.
        int toldEarly = 0;
        const auto runTimerUntil = [&](qint64 until) {
            while (pacer.heldUntil() && *pacer.heldUntil() <= until) {
                const qint64 at = *pacer.heldUntil();
                now = at - 1;
                const qsizetype before = notices.size();
                pacer.release();
                toldEarly += int(notices.size() - before);
                now = at;
                pacer.release();
            }
        };

        for (const int at : arrivals) {
            runTimerUntil(at);
            now = at;
            pacer.poke();
        }
        if (endAt >= 0) {
            runTimerUntil(endAt);
            now = endAt;
            pacer.flush();
            QVERIFY(!pacer.heldUntil());
        }
        runTimerUntil(std::numeric_limits<qint64>::max());
        QCOMPARE(notices, told);
        QCOMPARE(toldEarly, 0);
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestFramePacer)
#include "tst_frame_pacer.moc"
