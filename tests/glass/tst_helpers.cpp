#include "glass/sheets/OpenFileChoice.h"
#include "glass/sheets/SheetKeys.h"
#include "glass/controls/SpinnerRing.h"
#include "glass/look/SymbolIcons.h"
#include "support/TestMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

using namespace std::chrono_literals;

class TestHelpers : public QObject {
    Q_OBJECT
private slots:
    void sheetKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("accept");
        QTest::addColumn<bool>("sheetKey");
        QTest::newRow("return") << int(Qt::Key_Return) << int(Qt::NoModifier) << true << true;
        QTest::newRow("keypad enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << true << true;
        QTest::newRow("escape") << int(Qt::Key_Escape) << int(Qt::NoModifier) << false << true;
        QTest::newRow("ctrl+return is the window's") << int(Qt::Key_Return) << int(Qt::ControlModifier) << false
                                                     << false;
        QTest::newRow("shift+escape") << int(Qt::Key_Escape) << int(Qt::ShiftModifier) << false << false;
        QTest::newRow("a letter") << int(Qt::Key_A) << int(Qt::NoModifier) << false << false;
    }

    void sheetKeys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, accept);
        QFETCH(bool, sheetKey);
        const auto mods = Qt::KeyboardModifiers(modifiers);
        QKeyEvent press(QEvent::KeyPress, key, mods);
        QCOMPARE(glass::SheetKeys::isAccept(press), accept);
        QCOMPARE(glass::SheetKeys::isSheetKey(press), sheetKey);

        // Only a ShortcutOverride of a sheet key is claimed, and then accepted.
        QKeyEvent shortcut(QEvent::ShortcutOverride, key, mods);
        shortcut.ignore();
        QCOMPARE(glass::SheetKeys::claimShortcutOverride(&shortcut), sheetKey);
        QCOMPARE(shortcut.isAccepted(), sheetKey);
        press.ignore();
        QVERIFY(!glass::SheetKeys::claimShortcutOverride(&press));
        QVERIFY(!press.isAccepted());
    }

    // A symbol that is not there gives nothing, quietly: no file is asked
    // for (Qt warns "Cannot open file" for each one, on every paint).
    void missingSymbolsAreQuiet_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty name") << QString();
        QTest::newRow("unknown name") << QStringLiteral("no.such.symbol");
        QTest::newRow("a path, not a name") << QStringLiteral("../icons/xmark");
    }
    void missingSymbolsAreQuiet()
    {
        QFETCH(QString, name);
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        QVERIFY(!glass::SymbolIcons::exists(name));
        QVERIFY(glass::SymbolIcons::render(name, QSizeF(12, 12), Qt::black, 2.0).isNull());
        QVERIFY(glass::SymbolIcons::pixmap(name, 12, Qt::black, 1.0).isNull());
        QVERIFY(glass::SymbolIcons::icon(name, Qt::black).isNull());
        QVERIFY(!glass::SymbolIcons::render(QStringLiteral("xmark"), QSizeF(12, 12), Qt::black).isNull());
    }

    // A symbol asked for again (as views do on every paint) comes in the
    // colour, size and pixel ratio asked for, whatever was asked before.
    void symbolsAskedAgain_data()
    {
        QTest::addColumn<QColor>("firstColor");
        QTest::addColumn<qreal>("firstDpr");
        QTest::addColumn<QColor>("color");
        QTest::addColumn<qreal>("dpr");
        QTest::newRow("same again") << QColor(Qt::red) << 1.0 << QColor(Qt::red) << 1.0;
        QTest::newRow("another colour") << QColor(Qt::red) << 1.0 << QColor(Qt::blue) << 1.0;
        QTest::newRow("the same colour, half transparent") << QColor(Qt::red) << 1.0 << QColor(255, 0, 0, 128) << 1.0;
        QTest::newRow("another pixel ratio") << QColor(Qt::red) << 1.0 << QColor(Qt::red) << 2.0;
    }
    void symbolsAskedAgain()
    {
        QFETCH(QColor, firstColor);
        QFETCH(qreal, firstDpr);
        QFETCH(QColor, color);
        QFETCH(qreal, dpr);
        const QString name = QStringLiteral("xmark");
        (void)glass::SymbolIcons::render(name, QSizeF(16, 16), firstColor, firstDpr);
        const QImage again = glass::SymbolIcons::render(name, QSizeF(16, 16), color, dpr);
        QCOMPARE(again.size(), QSize(16, 16) * dpr);
        QCOMPARE(again.devicePixelRatio(), dpr);
        // The most opaque pixel shows the colour asked for.
        QColor strongest(Qt::transparent);
        for (int y = 0; y < again.height(); ++y)
            for (int x = 0; x < again.width(); ++x)
                if (again.pixelColor(x, y).alpha() > strongest.alpha())
                    strongest = again.pixelColor(x, y);
        QCOMPARE(strongest.alpha(), color.alpha());
        QCOMPARE(strongest.rgb(), color.rgb());
    }

    // The ring turns only while its widget is on screen.
    void spinnerTicksWhileShown()
    {
        QWidget host;
        glass::SpinnerRing ring(&host, 5ms);
        QTest::qWait(40);
        QCOMPARE(ring.angle(), 0);
        host.show();
        QTRY_VERIFY(ring.angle() != 0);
        host.hide();
        QCoreApplication::processEvents();
        const int stopped = ring.angle();
        QTest::qWait(40);
        QCOMPARE(ring.angle(), stopped);
    }

    // The real file dialog, answered as a person would; once it has closed
    // the window behind it holds the keyboard again (the offscreen platform,
    // like X with no window manager, gives it back to nothing by itself).
    void fileChoiceGivesTheKeyboardBack_data()
    {
        QTest::addColumn<bool>("choose");
        QTest::newRow("cancelled with Escape") << false;
        QTest::newRow("a file chosen with Return") << true;
    }
    void fileChoiceGivesTheKeyboardBack()
    {
        QFETCH(bool, choose);
        QTemporaryDir dir;
        const QString picture = dir.filePath(QStringLiteral("stage.png"));
        QFile file(picture);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();

        QWidget window;
        window.resize(400, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        bool answered = false;
        QElapsedTimer waited;
        waited.start();
        QTimer driver;
        driver.setInterval(20);
        connect(&driver, &QTimer::timeout, &window, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isActiveWindow()) {
                if (waited.elapsed() > 10000)
                    driver.stop(); // no dialog came: the test fails below
                return;
            }
            driver.stop();
            answered = true;
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            if (choose && name) {
                name->setText(picture);
                QTest::keyClick(name, Qt::Key_Return);
            } else {
                QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, Qt::Key_Escape);
            }
            // A dialog the keys did not close must not hold the test forever.
            QTimer::singleShot(5000, dialog, &QDialog::reject);
        });
        driver.start();
        const QString chosen = glass::chooseFileToOpen(&window, QStringLiteral("Choose image"),
                                                      {QStringLiteral("Images (*.png)")});
        QVERIFY(answered);
        QCOMPARE(chosen, choose ? picture : QString());
        QTRY_VERIFY(window.isActiveWindow());
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestHelpers)
#include "tst_helpers.moc"
