#include "WindowKit.h"

#include "glass/Contrast.h"
#include "glass/StageBackground.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"
#include "support/TestMain.h"
#include "window/ContentView.h"
#include "window/MainWindow.h"
#include "window/TitleButton.h"
#include "window/TitleStrip.h"

#include <QDir>
#include <QImage>

namespace {

double relativeLuminance(QRgb c)
{
    return glass::Contrast::luminance(QColor(c));
}

double contrast(QRgb a, QRgb b)
{
    return glass::Contrast::ratio(QColor(a), QColor(b));
}

// The pixel of the area that stands out most from the area's median, and how much.
double strongestContrast(const QImage &image, const QRect &area)
{
    QList<QRgb> pixels;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            pixels.append(image.pixel(x, y));
    QList<QRgb> byLuminance = pixels;
    std::sort(byLuminance.begin(), byLuminance.end(),
              [](QRgb a, QRgb b) { return relativeLuminance(a) < relativeLuminance(b); });
    const QRgb median = byLuminance.at(byLuminance.size() / 2);
    double best = 1;
    for (QRgb p : pixels)
        best = qMax(best, contrast(p, median));
    return best;
}

QString brightImage(const QString &dir)
{
    QImage image(1600, 1000, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(235 + (x % 20), 232 + (y % 20), 220));
    const QString path = QDir(dir).filePath(QStringLiteral("bright.png"));
    image.save(path);
    return path;
}

} // namespace

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
        if (bright) {
            bool done = false;
            [](stage::BackgroundSettings &bg, QString path, bool &done) -> QCoro::Task<> {
                co_await bg.pickLocalImage(path);
                done = true;
            }(background, brightImage(dir.path()), done);
            QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
        }
        background.setIsEnabled(true);
        background.reloadImage();
        QVERIFY(kit.show());
        glass::StageBackground *stage = kit.window().content()->stage();
        QTRY_VERIFY_WITH_TIMEOUT(stage->media() == glass::StageBackground::Media::image, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(stage->isBackdropReady() && stage->mediaOpacity() > 0.99, 10000);

        const QImage shot = kit.window().grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QString name = QStringLiteral("window-%1-%2.png").arg(skin, bright ? "bright" : "night");
        shot.save(QDir(testsupport::outputDirectory()).filePath(name));

        window::TitleStrip *strip = kit.window().content()->titleStrip();
        for (window::TitleButton *button : {strip->sidebarButton(), strip->newSessionButton()}) {
            // The symbol's own square, clear of the button's edges.
            const QRect area = QRect(button->mapTo(&kit.window(), QPoint(0, 0)), button->size()).adjusted(6, 5, -6, -5);
            const double c = strongestContrast(shot, area);
            QVERIFY2(c >= 3.0, qPrintable(QStringLiteral("%1: contrast %2").arg(button->toolTip()).arg(c)));
        }
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestWindowPicture)
#include "tst_window_picture.moc"
