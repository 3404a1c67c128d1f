#include "support/TestMain.h"

#include "window/AfterFirstFrame.h"

#include <QWidget>

#include <memory>

class TestAfterFirstFrame : public QObject {
    Q_OBJECT

private slots:
    void runsOnceAfterTheWindowsFirstPaint_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<int>("runs");
        QTest::newRow("window shown") << "show" << 1;
        QTest::newRow("window shown and painted again") << "repaint" << 1;
        QTest::newRow("window never shown") << "nothing" << 0;
        QTest::newRow("window closed before it was shown") << "delete" << 0;
    }

    void runsOnceAfterTheWindowsFirstPaint()
    {
        QFETCH(QString, then);
        QFETCH(int, runs);
        auto window = std::make_unique<QWidget>();
        window->resize(120, 80);
        // Its child covers it: the child's paint is the window's frame.
        auto *child = new QWidget(window.get());
        child->setAutoFillBackground(true);
        child->resize(120, 80);
        int count = 0;
        window::afterFirstFrame(*window, [&count] { ++count; });

        // Another window's frame is not this one's.
        QWidget other;
        other.resize(60, 40);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        QTest::qWait(20);
        QCOMPARE(count, 0);

        if (then != u"nothing" && then != u"delete") {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            QTRY_COMPARE(count, 1);
        }
        if (then == u"repaint") {
            child->repaint();
            window->hide();
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            child->repaint();
        }
        if (then == u"delete")
            window.reset();
        QTest::qWait(20);
        QCOMPARE(count, runs);
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestAfterFirstFrame)
#include "tst_after_first_frame.moc"
