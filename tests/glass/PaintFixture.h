#pragma once

// Shared set-up of the painting tests: skins of our own, stage settings in
// a temporary folder with a real stage image, and a place for the PNGs.

#include "glass/look/Styles.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"
#include "support/PaintHelpers.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <cmath>
#include <memory>

namespace painttest {

inline QString stageImagePath()
{
    return QStringLiteral(MOONSHELF_SOURCE_DIR "/resources/default-stage.webp");
}

// A bright wallpaper with hard detail, where blur and tints are easy to see:
// colour bands with a fine checker on top.
inline QImage colourfulWallpaper(QSize size = QSize(1280, 800))
{
    return testsupport::checkeredBands(QColor(230, 60, 40), QColor(240, 200, 40), QColor(30, 90, 230), 110, size);
}

// One skin file in dir.
inline void writeSkin(const QString &dir, const QString &id, const QString &elevated, const QString &accent,
                      const QString &bg = QStringLiteral("#0A0C0F"))
{
    QDir().mkpath(dir);
    QFile f(QDir(dir).filePath(id + QStringLiteral(".json")));
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write a skin file");
    f.write(QStringLiteral(R"({"id":"%1","name":"%1","version":1,"kind":"dark","colors":{
      "bg":"%4","sidebar":"#10141A","elevated":"%2","elevated2":"#1B222C","border":"#2A3340",
      "borderStrong":"#3A4656","text":"#E8ECF2","textSecondary":"#8B96A8","textTertiary":"#5C6778",
      "accent":"%3","accentSoft":"#8AA4B833","userBubble":"#FFFFFF12","danger":"#F25247","success":"#4DD17A",
      "accentGradientStart":"#FF9E38","accentGradientEnd":"#F2611F"}})")
                .arg(id, elevated, accent, bg)
                .toUtf8());
}

struct Fixture {
    QTemporaryDir dir;
    std::unique_ptr<stage::SkinStore> skins;
    std::unique_ptr<stage::BackgroundSettings> bg;
    std::unique_ptr<glass::StyleStore> styles; // built from skins, as main() does

    // Skins: the built-ins plus "redwash" (elevated pure red, accent green),
    // "bluebase" (a blue colour) and "seethrough" (a half-clear colour).
    // Stage: on, with the shipped stage image (or firstRunImage).
    explicit Fixture(const QImage &wallpaper = QImage())
    {
        QString firstRunImage = stageImagePath();
        if (!wallpaper.isNull()) {
            firstRunImage = dir.filePath(QStringLiteral("wallpaper.png"));
            wallpaper.save(firstRunImage);
        }
        writeSkin(dir.filePath(QStringLiteral("skins")), QStringLiteral("redwash"), QStringLiteral("#FF0000"),
                  QStringLiteral("#00FF00"));
        writeSkin(dir.filePath(QStringLiteral("skins")), QStringLiteral("bluebase"), QStringLiteral("#151A22"),
                  QStringLiteral("#8AA4B8"), QStringLiteral("#1030C0"));
        writeSkin(dir.filePath(QStringLiteral("skins")), QStringLiteral("seethrough"), QStringLiteral("#1B222C"),
                  QStringLiteral("#8AA4B8"), QStringLiteral("#20609F80"));
        skins = std::make_unique<stage::SkinStore>(
            stage::SkinStore::Sources{dir.filePath(QStringLiteral("none")), dir.filePath(QStringLiteral("skins"))});
        skins->select(QStringLiteral("default")); // an earlier test's choice is in the settings
        styles = std::make_unique<glass::StyleStore>(*skins);
        stage::BackgroundSettings::Config config;
        config.supportDirectory = dir.filePath(QStringLiteral("support"));
        config.firstRunImage = firstRunImage;
        config.randomImageBase = QUrl(QStringLiteral("http://127.0.0.1:9"));
        bg = std::make_unique<stage::BackgroundSettings>(config);
    }
};

inline QString savePng(const QImage &image, const QString &name)
{
    const QString path = QDir(testsupport::outputDirectory()).filePath(name + QStringLiteral(".png"));
    image.save(path);
    return path;
}

inline double distance(QRgb a, QRgb b)
{
    const double dr = qRed(a) - qRed(b), dg = qGreen(a) - qGreen(b), db = qBlue(a) - qBlue(b);
    return std::sqrt(dr * dr + dg * dg + db * db);
}

// Mean absolute difference between neighbouring pixels in rect: high for
// sharp detail, low for a blur.
inline double roughness(const QImage &image, const QRect &rect)
{
    double sum = 0;
    int n = 0;
    for (int y = rect.top(); y < rect.bottom(); ++y)
        for (int x = rect.left(); x < rect.right(); ++x) {
            sum += distance(image.pixel(x, y), image.pixel(x + 1, y));
            ++n;
        }
    return n ? sum / n : 0;
}

} // namespace painttest
