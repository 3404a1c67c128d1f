// The stock chrome over the window (a dialog, a menu, a tooltip) as a
// person meets it after changing the skin: light under a light skin, dark
// under a dark one, with text that reads on it.

#include "WindowKit.h"

#include "panels/SessionRowDelegate.h"
#include "panels/SessionSections.h"
#include "panels/SidebarView.h"
#include "stage/SkinStore.h"
#include "model/ConversationStore.h"
#include "support/TestMain.h"
#include "window/ContentView.h"
#include "window/MainWindow.h"
#include "window/PanelSlot.h"

#include <QFileDialog>
#include <QHelpEvent>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QToolTip>

using windowtest::WindowKit;

namespace {

QWidget *visibleTopLevel(const std::function<bool(QWidget *)> &is)
{
    QWidget *found = nullptr;
    (void)QTest::qWaitFor([&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible() && is(w))
                found = w;
        return found != nullptr;
    });
    return found && QTest::qWaitForWindowExposed(found) ? found : nullptr;
}

// The lightness of the colour most of the picture has.
double groundLightness(const QImage &image)
{
    QList<double> lightness;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            lightness.append(QColor(image.pixel(x, y)).lightnessF());
    std::sort(lightness.begin(), lightness.end());
    return lightness.isEmpty() ? -1 : lightness.at(lightness.size() / 2);
}

} // namespace

class TestWindowChrome : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void followsTheSkin_data()
    {
        QTest::addColumn<QString>("piece");
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QString>("before"); // the skin the window starts in
        for (const char *piece : {"folder dialog", "menu", "tooltip"}) {
            QTest::newRow(qPrintable(QStringLiteral("%1, light").arg(QLatin1String(piece))))
                << piece << "daylight" << "graphite";
            QTest::newRow(qPrintable(QStringLiteral("%1, dark").arg(QLatin1String(piece))))
                << piece << "graphite" << "paper";
        }
    }
    void followsTheSkin()
    {
        QFETCH(QString, piece);
        QFETCH(QString, skin);
        QFETCH(QString, before);
        WindowKit kit(false, false, WindowKit::Panels::real);
        kit.skins().select(before);
        QVERIFY(kit.show());
        window::MainWindow &w = kit.window();
        kit.skins().select(skin);
        QCOMPARE(kit.skins().current().id, skin);
        const bool light = kit.skins().current().isLight();

        QWidget *shown = nullptr;
        if (piece == u"folder dialog") {
            QTest::keySequence(w.focusWidget() ? w.focusWidget() : &w, QKeySequence(Qt::CTRL | Qt::Key_O));
            shown = visibleTopLevel([](QWidget *t) { return qobject_cast<QFileDialog *>(t) != nullptr; });
        } else if (piece == u"menu") {
            QMenu *menu = w.menuBar()->actions().first()->menu();
            QVERIFY(menu);
            menu->popup(w.mapToGlobal(QPoint(40, 40)));
            shown = visibleTopLevel([menu](QWidget *t) { return t == menu; });
        } else {
            // The "⋮" of the selected session says what it is.
            auto *sidebar = qobject_cast<panels::SidebarView *>(windowtest::panelSlot(w.content(), QStringLiteral("sidebar"))->view());
            QVERIFY(sidebar);
            auto *found = sidebar->findChild<QListView *>(QStringLiteral("sessionList"));
            QVERIFY(found);
            QListView &list = *found;
            auto *sections = qobject_cast<panels::SessionSectionsModel *>(list.model());
            QVERIFY(sections);
            const int row = sections->rowOfSession(*kit.vm().conversations().selectedConversationID());
            const QPoint at =
                panels::SessionRowDelegate::menuButtonRect(list.visualRect(sections->index(row))).center();
            QTest::mouseMove(list.viewport(), at);
            QHelpEvent help(QEvent::ToolTip, at, list.viewport()->mapToGlobal(at));
            QCoreApplication::sendEvent(list.viewport(), &help);
            shown = visibleTopLevel([](QWidget *t) { return t->inherits("QTipLabel"); });
        }
        QVERIFY(shown);
        QTest::qWait(50);
        const QImage shot = shown->grab().toImage();
        shot.save(QDir(testsupport::outputDirectory())
                      .filePath(QStringLiteral("stock-%1-%2.png").arg(QString(piece).replace(u' ', u'-'), skin)));
        const double ground = groundLightness(shot);
        QVERIFY2(light ? ground > 0.7 : ground < 0.3, qPrintable(QString::number(ground)));
        // Its text reads on it.
        QVERIFY(windowtest::strongestContrast(shot, shot.rect().adjusted(2, 2, -2, -2)) >= 7.0);
        shown->close();
        QToolTip::hideText();
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestWindowChrome)
#include "tst_window_chrome.moc"
