#pragma once

// Chat views over a real stage, for measuring what is painted behind text:
// one skin, one wallpaper, one veil, and a list with its backdrop sheet as
// in the transcript. Needs MOONSHELF_SOURCE_DIR.

#include "support/PaintHelpers.h"

#include "chat/markdown/MarkdownRenderCache.h"
#include "chat/transcript/MessageRowContext.h"
#include "glass/paint/BackdropSheet.h"
#include "glass/look/Contrast.h"
#include "glass/stageview/StageBackground.h"
#include "glass/look/Styles.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"

#include <QFileInfo>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace chattest {

inline const QString kSkinDir = QStringLiteral(MOONSHELF_SOURCE_DIR "/resources/skins");
inline const QString kDefaultStage = QStringLiteral(MOONSHELF_SOURCE_DIR "/resources/default-stage.webp");

// The lowest contrast of ink (composited over each pixel) against any pixel of box.
inline double worstContrast(const QImage &glass, const QRect &box, const QColor &ink)
{
    double worst = 21;
    const QRect inside = box & glass.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QColor under(glass.pixel(x, y));
            worst = std::min(worst, glass::Contrast::ratio(glass::Contrast::over(ink, under), under));
        }
    return worst;
}

// Pale sky bands under large bright blobs with white stripes: a sunny photo
// at its brightest.
inline QImage brightPicture()
{
    QImage image(1280, 800, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, 800);
    sky.setColorAt(0, QColor(170, 215, 255));
    sky.setColorAt(1, QColor(255, 250, 225));
    p.fillRect(image.rect(), sky);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    QRandomGenerator rng(4242);
    for (int i = 0; i < 90; ++i) {
        p.setBrush(QColor::fromHsv(int(rng.bounded(360)), 60 + int(rng.bounded(140)), 215 + int(rng.bounded(41))));
        const int r = 30 + int(rng.bounded(140));
        p.drawEllipse(QPointF(rng.bounded(1280), rng.bounded(800)), r, r * (0.5 + rng.bounded(1.0)));
    }
    for (int x = 0; x < 1280; x += 28)
        p.fillRect(x, 0, 4, 800, QColor(255, 255, 255, 150));
    return image;
}

// The backdrops' files ("stage", "white", "black", "busy", "bright"),
// written once for all rows of a test.
class Wallpapers {
public:
    QString file(const QString &backdrop)
    {
        if (backdrop == QLatin1String("stage"))
            return kDefaultStage;
        const QString path = m_dir.filePath(backdrop + QStringLiteral(".png"));
        if (QFileInfo::exists(path))
            return path;
        QImage plain(1280, 800, QImage::Format_RGB32);
        plain.fill(backdrop == QLatin1String("black") ? Qt::black : Qt::white);
        const QImage chosen = backdrop == QLatin1String("busy")     ? testsupport::busyPhoto()
                              : backdrop == QLatin1String("bright") ? brightPicture()
                                                                     : plain;
        return chosen.save(path) ? path : QString();
    }

private:
    QTemporaryDir m_dir;
};

// Rows "skin/backdrop/veil" for every shipped skin, at the veils a bubble
// shows at: none, thin, 0.275 (where the text colour turns) and the
// first-run value (-1). Returns the number of skins.
inline qsizetype addSkinBackdropVeilRows(std::initializer_list<const char *> backdrops)
{
    QTest::addColumn<QString>("skin");
    QTest::addColumn<QString>("backdrop");
    QTest::addColumn<double>("veil");
    const QStringList ids = testsupport::skinIds(kSkinDir);
    for (const QString &id : ids)
        for (const char *backdrop : backdrops)
            for (const double veil : {0.0, 0.1, 0.275, -1.0})
                QTest::newRow(qPrintable(QStringLiteral("%1/%2/%3")
                                             .arg(id, QLatin1String(backdrop),
                                                  veil < 0 ? QStringLiteral("default") : QString::number(veil))))
                    << id << QString::fromLatin1(backdrop) << veil;
    return ids.size();
}

// A window of the given size: the stage over the whole of it and, over
// that, `list` with its backdrop sheet. veil below 0 keeps the first-run
// value. The window is destroyed before the stores its views use.
struct StagedChat {
    StagedChat(const QString &skin, const QString &wallpaper, double veil, QSize size)
    {
        skins = std::make_unique<stage::SkinStore>(
            stage::SkinStore::Sources{kSkinDir, dir.filePath(QStringLiteral("user-skins"))});
        skins->select(skin);
        styles = std::make_unique<glass::StyleStore>(*skins);
        stage::BackgroundSettings::Config config;
        config.supportDirectory = dir.filePath(QStringLiteral("support"));
        config.firstRunImage = wallpaper;
        config.randomImageBase = QUrl(QStringLiteral("http://127.0.0.1:9"));
        background = std::make_unique<stage::BackgroundSettings>(config);
        background->setAnimateKenBurns(false);
        if (veil >= 0)
            background->setOverlayOpacity(veil);
        background->setIsEnabled(true);
        window = std::make_unique<QWidget>();
        window->resize(size);
        stageView = new glass::StageBackground(*background, *styles, window.get());
        stageView->setGeometry(window->rect());
        list = new QWidget(window.get());
        list->setGeometry(window->rect());
        new glass::BackdropSheet(list);
    }

    chat::MessageRowContext context() { return {*styles, *background, cache, nullptr}; }

    // Shown, with the wallpaper loaded and blurred (polled finely: the
    // rows are many and the blur is quick).
    bool showAndWait()
    {
        window->show();
        return QTest::qWaitForWindowExposed(window.get())
               && QTest::qWaitFor([this] { return stageView->isBackdropReady(); }, 5000)
               && QTest::qWaitFor([this] { return stageView->mediaOpacity() == 1.0; }, 5000);
    }

    // Until the stage's veil has reached `veil` and the stage holds still, its
    // last frame handed to the glass (how long that takes depends on the machine).
    bool waitForVeil(double veil)
    {
        return QTest::qWaitFor(
            [this, veil] { return qFuzzyCompare(stageView->veilOpacity(), veil) && !stageView->isTicking(); }, 10000);
    }

    QTemporaryDir dir;
    std::unique_ptr<stage::SkinStore> skins;
    std::unique_ptr<glass::StyleStore> styles;
    std::unique_ptr<stage::BackgroundSettings> background;
    chat::MarkdownRenderCache cache;
    std::unique_ptr<QWidget> window;
    glass::StageBackground *stageView = nullptr;
    QWidget *list = nullptr;
};

} // namespace chattest
