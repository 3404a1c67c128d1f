#include "WindowKit.h"

#include "glass/stageview/StageBackground.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"
#include "support/TestMain.h"
#include "window/ContentView.h"
#include "window/MainWindow.h"
#include "window/TitleButton.h"
#include "window/TitleStrip.h"

#include <QDir>
#include <QImage>

// The window as a person sees it, in a dark and a light skin over the night
// stage and a bright wallpaper: the title strip's symbols must stand out
// from whatever the stage shows under them.
class TestWindowPicture : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void titleStripReadable_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<bool>("bright");
        for (const char *skin : {"graphite", "daylight"}) {
            QTest::newRow(qPrintable(QStringLiteral("%1 over the night stage").arg(skin))) << skin << false;
            QTest::newRow(qPrintable(QStringLiteral("%1 over a bright wallpaper").arg(skin))) << skin << true;
        }
    }

    void titleStripReadable()
    {
        QFETCH(QString, skin);
        QFETCH(bool, bright);
        windowtest::WindowKit kit;
        kit.skins().select(skin);
        QCOMPARE(kit.skins().selectedID(), skin);
        stage::BackgroundSettings &background = kit.background();
        QTemporaryDir dir;
        if (bright)
            QVERIFY(windowtest::pickWallpaper(background, windowtest::brightImage(dir.path())));
        background.setIsEnabled(true);
        background.reloadImage();
        QVERIFY(kit.show());
        QVERIFY(kit.waitForStage());

        const QImage shot = kit.window().grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QString name = QStringLiteral("window-%1-%2.png").arg(skin, bright ? "bright" : "night");
        shot.save(QDir(testsupport::outputDirectory()).filePath(name));

        window::TitleStrip *strip = kit.window().content()->titleStrip();
        for (window::TitleButton *button : {windowtest::titleButton(strip, QStringLiteral("Sidebar")), windowtest::titleButton(strip, QStringLiteral("New Session"))}) {
            // The symbol's own square, clear of the button's edges.
            const QRect area = QRect(button->mapTo(&kit.window(), QPoint(0, 0)), button->size()).adjusted(6, 5, -6, -5);
            const double c = windowtest::strongestContrast(shot, area);
            QVERIFY2(c >= 3.0, qPrintable(QStringLiteral("%1: contrast %2").arg(button->toolTip()).arg(c)));
        }
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestWindowPicture)
#include "tst_window_picture.moc"
