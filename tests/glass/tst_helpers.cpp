#include "glass/SheetKeys.h"
#include "glass/SpinnerRing.h"
#include "glass/SymbolIcons.h"
#include "support/TestMain.h"

#include <QKeyEvent>
#include <QRegularExpression>
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
};

MOONSHELF_TEST_WIDGETS_MAIN(TestHelpers)
#include "tst_helpers.moc"
