#include "PaintFixture.h"

#include "glass/paint/BackdropBlur.h"
#include "glass/paint/FrostShape.h"
#include "glass/paint/FrostShapeBackground.h"
#include "glass/paint/GlassSurface.h"
#include "glass/stageview/KenBurnsMotion.h"
#include "glass/stageview/LoopingVideoBackground.h"
#include "glass/paint/SidebarGlassBackground.h"
#include "glass/stageview/StageBackground.h"
#include "glass/stageview/StageCanvas.h"
#include "support/TestMain.h"

#include <QApplication>
#include <QThread>
#include <QElapsedTimer>
#include <QGraphicsOpacityEffect>
#include <QPaintEvent>
#include <QMediaPlayer>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>

#include <qcoro/qcorotask.h>

using namespace stage;
using namespace glass;
using painttest::Fixture;
using Media = StageBackground::Media;

Q_DECLARE_METATYPE(glass::KenBurnsPose)

namespace {

struct Scene {
    QWidget window;
    StageBackground *stage;
    Scene(Fixture &f, QSize size = QSize(640, 400))
    {
        window.resize(size);
        stage = new StageBackground(*f.bg, *f.styles, &window);
        stage->setGeometry(window.rect());
        window.show();
    }
    QImage grab() { return window.grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

// Lets queued work (the stage's coalesced look at the settings) run.
void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

bool samePose(const KenBurnsPose &a, const KenBurnsPose &b)
{
    // Loose enough for a busy machine: the motion starts very slowly.
    return std::abs(a.scale - b.scale) < 2e-3 && std::abs(a.x - b.x) < 0.2 && std::abs(a.y - b.y) < 0.2;
}

// A short clip of colour bars, made with ffmpeg; empty when ffmpeg is missing.
QString makeClip(const QString &dir, const QString &source = QStringLiteral("testsrc2=size=320x180:rate=25"))
{
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty())
        return {};
    const QString path = QDir(dir).filePath(QStringLiteral("clip.mp4"));
    QProcess p;
    p.start(ffmpeg, {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
                     QStringLiteral("lavfi"), QStringLiteral("-i"),
                     source, QStringLiteral("-t"), QStringLiteral("0.6"),
                     QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), path});
    if (!p.waitForFinished(30'000) || p.exitCode() != 0)
        return {};
    return path;
}

// Glass that says which part of it is opaque and paints itself blue, at an opacity.
class CoverGlass : public GlassSurface {
public:
    using GlassSurface::GlassSurface;
    QRegion opaque;
    qreal alpha = 1;
    QRegion solidRegion() const override { return opaque; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setOpacity(alpha);
        p.fillRect(rect(), Qt::blue);
    }
};

// A panel above the stage at (100, 50) holding a cover at (20, 10), 200 x 150,
// opaque in its rows 20 to 129.
struct CoveredScene : Scene {
    QWidget *panel;
    CoverGlass *cover;
    explicit CoveredScene(Fixture &f, QSize size = QSize(640, 400))
        : Scene(f, size)
    {
        panel = new QWidget(&window);
        panel->setGeometry(100, 50, 300, 200);
        cover = new CoverGlass(*f.styles, panel);
        cover->setGeometry(20, 10, 200, 150);
        cover->opaque = QRect(0, 20, 200, 110);
        panel->show();
    }
};

} // namespace

class StageTest : public QObject {
    Q_OBJECT
private slots:
    void kenBurnsTimeline_data()
    {
        QTest::addColumn<qint64>("at");
        QTest::addColumn<double>("scale");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::newRow("start-pose") << qint64(0) << 1.0 << -6.0 << 8.0;
        QTest::newRow("halfway-out") << qint64(12'000) << 1.03 << 2.0 << 1.0;
        QTest::newRow("end-pose-after-24s") << qint64(24'000) << 1.06 << 10.0 << -6.0;
        QTest::newRow("back-at-start-after-48s") << qint64(48'000) << 1.0 << -6.0 << 8.0;
        QTest::newRow("forever") << qint64(24'000 * 41) << 1.06 << 10.0 << -6.0;
    }
    void kenBurnsTimeline()
    {
        QFETCH(qint64, at);
        QFETCH(double, scale);
        QFETCH(double, x);
        QFETCH(double, y);
        KenBurnsMotion motion;
        motion.start(1000);
        QVERIFY(samePose(motion.poseAt(1000 + at), KenBurnsPose{scale, x, y}));
    }

    // The worker behind the stage's blurred copies: one job at a time, a
    // newer submission replaces a waiting one, and a cancelled one is dropped.
    // Every pose of the motion still covers the whole stage with the image;
    // at rest the image just fills it.
    void coverRectCoversTheStageInEveryPose_data()
    {
        QTest::addColumn<QSizeF>("image");
        QTest::addColumn<KenBurnsPose>("pose");
        const QList<std::pair<const char *, QSizeF>> images{
            {"same shape", QSizeF(1600, 1000)}, {"wide", QSizeF(3000, 1000)}, {"tall", QSizeF(800, 1600)}};
        const QList<std::pair<const char *, KenBurnsPose>> poses{
            {"rest", KenBurnsPose::rest()},
            {"start", KenBurnsPose::start()},
            {"end", KenBurnsPose::end()},
            {"between", KenBurnsPose::between(KenBurnsPose::start(), KenBurnsPose::end(), 0.3)},
            {"settling", KenBurnsPose::between(KenBurnsPose::start(), KenBurnsPose::rest(), 0.5)}};
        for (const auto &[imageName, image] : images)
            for (const auto &[poseName, pose] : poses)
                QTest::addRow("%s, %s", imageName, poseName) << image << pose;
    }
    void coverRectCoversTheStageInEveryPose()
    {
        QFETCH(QSizeF, image);
        QFETCH(KenBurnsPose, pose);
        const QSizeF area(640, 400);
        const QRectF cover = StageBackground::coverRect(image, area, pose);
        QVERIFY(qFuzzyCompare(cover.width() / cover.height(), image.width() / image.height()));
        // The pose: a zoom about the stage's centre, then the shift.
        const QPointF c(area.width() / 2, area.height() / 2);
        const QRectF shown((cover.topLeft() - c) * pose.scale + c + QPointF(pose.x, pose.y), cover.size() * pose.scale);
        constexpr qreal eps = 1e-6;
        QVERIFY2(shown.left() <= eps && shown.top() <= eps && shown.right() >= area.width() - eps
                     && shown.bottom() >= area.height() - eps,
                 qPrintable(QStringLiteral("%1,%2 %3x%4").arg(shown.x()).arg(shown.y()).arg(shown.width()).arg(shown.height())));
        if (pose == KenBurnsPose::rest())
            QVERIFY(qFuzzyCompare(cover.width(), area.width()) || qFuzzyCompare(cover.height(), area.height()));
    }

    // At the start pose (shifted down, not zoomed) the top row is image, not skin colour.
    void startPoseLeavesNoBandAtTheTop()
    {
        QImage red(1600, 1000, QImage::Format_RGB32);
        red.fill(QColor(200, 20, 20));
        Fixture f(red);
        f.bg->setOverlayOpacity(0);
        Scene scene(f);
        QTRY_VERIFY(scene.stage->media() == Media::image && scene.stage->isBackdropReady());
        const QImage shot = scene.grab();
        for (const QPoint at : {QPoint(320, 0), QPoint(320, 7), QPoint(639, 200), QPoint(0, 200), QPoint(320, 399)})
            QVERIFY2(painttest::distance(shot.pixel(at), QColor(200, 20, 20).rgb()) < 10,
                     qPrintable(QStringLiteral("%1,%2: %3").arg(at.x()).arg(at.y()).arg(QColor(shot.pixel(at)).name())));
    }

    void imageWorkerDropsStaleWork()
    {
        LatestImageWorker worker;
        QList<quint64> delivered;
        connect(&worker, &LatestImageWorker::finished, this,
                [&](const QList<QImage> &, quint64 tag) { delivered << tag; });
        auto slow = [](int ms) {
            return [ms] {
                QThread::msleep(ms);
                return QList<QImage>{QImage(4, 4, QImage::Format_ARGB32_Premultiplied)};
            };
        };
        worker.submit(slow(150), 1);
        worker.submit(slow(1), 2); // waits, then is replaced
        worker.submit(slow(1), 3);
        QTRY_COMPARE(delivered, (QList<quint64>{1, 3}));
        worker.submit(slow(150), 4);
        worker.cancel(); // e.g. the image went away
        worker.submit(slow(1), 5);
        QTRY_COMPARE(delivered, (QList<quint64>{1, 3, 5}));
        QTest::qWait(200);
        QCOMPARE(delivered, (QList<quint64>{1, 3, 5}));
    }

    // A worker that goes while its job runs delivers nothing and leaves
    // nothing behind that could touch it.
    void workerDestroyedWhileItsJobRuns()
    {
        auto *worker = new LatestImageWorker;
        bool delivered = false;
        connect(worker, &LatestImageWorker::finished, this, [&] { delivered = true; });
        worker->submit(
            [] {
                QThread::msleep(150);
                return QList<QImage>{QImage(8, 8, QImage::Format_ARGB32_Premultiplied)};
            },
            1);
        QVERIFY(worker->isBusy());
        delete worker;
        QTest::qWait(300);
        QVERIFY(!delivered);
    }

    void kenBurnsSettlesToRestIn200ms()
    {
        KenBurnsMotion motion;
        motion.start(0);
        motion.settle(30'000); // on the way back
        const KenBurnsPose from = motion.poseAt(30'000);
        QVERIFY(!samePose(from, KenBurnsPose::rest()));
        const KenBurnsPose mid = motion.poseAt(30'100);
        QVERIFY(mid.scale < from.scale && mid.scale > 1.0);
        QVERIFY(samePose(motion.poseAt(30'200), KenBurnsPose::rest()));
        QVERIFY(!motion.isAnimating(30'250));
    }

    // The stage leaves unpainted only what a cover will paint over in the
    // same pass: glass hidden, beneath the stage, kept from repainting,
    // drawn through an effect or cut by its parent covers that much less.
    void coveredRegionIsWhatOpaqueGlassAboveHides_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QRegion>("covered");
        const QRect whole(120, 80, 200, 110);
        QTest::newRow("opaque glass above") << "" << QRegion(whole);
        QTest::newRow("nothing opaque") << "translucent" << QRegion();
        QTest::newRow("hidden") << "hidden" << QRegion();
        QTest::newRow("beneath the stage") << "stage raised" << QRegion();
        QTest::newRow("through an effect") << "effect" << QRegion();
        QTest::newRow("updates held") << "updates off" << QRegion();
        QTest::newRow("cut by its parent") << "parent shorter" << QRegion(QRect(120, 80, 200, 70));
    }
    void coveredRegionIsWhatOpaqueGlassAboveHides()
    {
        QFETCH(QString, change);
        QFETCH(QRegion, covered);
        Fixture f;
        CoveredScene scene(f);
        if (change == QLatin1String("translucent"))
            scene.cover->opaque = QRegion();
        else if (change == QLatin1String("hidden"))
            scene.cover->hide();
        else if (change == QLatin1String("stage raised"))
            scene.stage->raise();
        else if (change == QLatin1String("effect"))
            scene.panel->setGraphicsEffect(new QGraphicsOpacityEffect(scene.panel));
        else if (change == QLatin1String("updates off"))
            scene.panel->setUpdatesEnabled(false);
        else if (change == QLatin1String("parent shorter"))
            scene.panel->resize(300, 100);
        QCOMPARE(scene.stage->coveredRegion(), covered);
    }

    // Under a cover the picture is the cover's own; once the cover turns
    // translucent the stage shows through it again.
    void coverPaintsWhatTheStageLeaves_data()
    {
        QTest::addColumn<bool>("translucentLater");
        QTest::newRow("opaque") << false;
        QTest::newRow("turned translucent") << true;
    }
    void coverPaintsWhatTheStageLeaves()
    {
        QFETCH(bool, translucentLater);
        Fixture f;
        f.bg->setOverlayOpacity(0);
        CoveredScene scene(f);
        scene.cover->hide();
        settle();
        const QImage bare = scene.grab();
        scene.cover->show();
        QVERIFY(!scene.stage->coveredRegion().isEmpty());
        if (translucentLater) {
            scene.cover->alpha = 0.5;
            scene.cover->opaque = QRegion();
        }
        const QImage shot = scene.grab();
        for (const QPoint &at : {QPoint(130, 90), QPoint(300, 180), QPoint(210, 140)}) {
            const QRgb under = bare.pixel(at), got = shot.pixel(at);
            if (!translucentLater) {
                QCOMPARE(got, QColor(Qt::blue).rgb());
                continue;
            }
            // Half blue over the stage's own pixel.
            QVERIFY2(std::abs(qRed(got) - qRed(under) / 2) <= 2 && std::abs(qGreen(got) - qGreen(under) / 2) <= 2
                         && std::abs(qBlue(got) - (qBlue(under) + 255) / 2) <= 2,
                     qPrintable(QStringLiteral("%1 over %2").arg(QColor(got).name(), QColor(under).name())));
        }
    }

    void stageOffDrawsOnlyTheSkinColour_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<double>("overlay");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("with-veil") << "default" << 0.8 << QColor(0x0A, 0x0C, 0x0F);
        QTest::newRow("without-veil") << "default" << 0.0 << QColor(0x0A, 0x0C, 0x0F);
        // A skin colour that lets through what is under the window: black.
        QTest::newRow("see-through skin") << "seethrough" << 0.8 << QColor(16, 48, 80);
    }
    void stageOffDrawsOnlyTheSkinColour()
    {
        QFETCH(QString, skin);
        QFETCH(double, overlay);
        QFETCH(QColor, colour);
        Fixture f;
        f.skins->select(skin);
        f.bg->setOverlayOpacity(overlay);
        f.bg->setIsEnabled(false);
        QVERIFY(!f.bg->loadedImage().isNull()); // an image is loaded, yet not shown
        Scene scene(f);
        settle();
        QCOMPARE(scene.stage->media(), Media::none);
        const QImage shot = scene.grab();
        for (int y = 0; y < shot.height(); y += 37)
            for (int x = 0; x < shot.width(); x += 41)
                QVERIFY2(painttest::distance(shot.pixel(x, y), colour.rgb()) <= 1.8,
                         qPrintable(QColor(shot.pixel(x, y)).name()));
    }

    void veilThreshold_data()
    {
        QTest::addColumn<double>("overlay");
        QTest::addColumn<bool>("drawn");
        QTest::newRow("0.001-none") << 0.001 << false;
        QTest::newRow("0.0011-drawn") << 0.0011 << true;
        QTest::newRow("zero-none") << 0.0 << false;
        QTest::newRow("0.35-drawn") << 0.35 << true;
    }
    void veilThreshold()
    {
        QFETCH(double, overlay);
        QFETCH(bool, drawn);
        Fixture f;
        f.bg->setOverlayOpacity(overlay);
        Scene scene(f);
        settle();
        QCOMPARE(scene.stage->veilOpacity() > 0, drawn);
        if (drawn)
            QCOMPARE(scene.stage->veilOpacity(), overlay);
        QCOMPARE(scene.stage->backdropFrame().veil.alphaF() > 0, drawn);
    }

    void veilChangesEaseOut()
    {
        Fixture f;
        f.bg->setOverlayOpacity(0.2);
        Scene scene(f);
        settle();
        QElapsedTimer clock;
        clock.start();
        f.bg->setOverlayOpacity(0.8);
        settle();
        if (clock.elapsed() < 80) // unless the machine stalled past the animation
            QVERIFY(scene.stage->veilOpacity() < 0.8); // on its way
        QTRY_COMPARE_WITH_TIMEOUT(scene.stage->veilOpacity(), 0.8, 1000);
    }

    void useVideoWithoutPathShowsTheImage()
    {
        Fixture f;
        Scene scene(f);
        settle();
        QCOMPARE(scene.stage->media(), Media::image);
        f.bg->setUseVideo(true); // video mode, but no video file
        settle();
        QCOMPARE(scene.stage->media(), Media::image);
        f.bg->clearBackground(); // no image either
        f.bg->setIsEnabled(true);
        f.bg->setUseVideo(true);
        settle();
        QCOMPARE(scene.stage->media(), Media::none);
        const QImage shot = scene.grab();
        QCOMPARE(shot.pixel(320, 200), QColor(0x0A, 0x0C, 0x0F).rgb()); // colour, and a veil of the same colour
    }

    void realVideoIsPreferredDeliversFramesAndLoops()
    {
        Fixture f;
        const QString clip = makeClip(f.dir.path());
        if (clip.isEmpty())
            QSKIP("ffmpeg is not installed");
        f.bg->setOverlayOpacity(0.1);
        Scene scene(f);
        QCoro::waitFor(f.bg->pickLocalVideo(clip));
        settle();
        QCOMPARE(scene.stage->media(), Media::video);
        LoopingVideoBackground *video = scene.stage->video();
        QVERIFY(video);
        QVERIFY(!video->player()->audioOutput()); // no output: it can never make a sound
        QTRY_VERIFY_WITH_TIMEOUT(video->framesShown() >= 3, 10'000);
        QTRY_VERIFY_WITH_TIMEOUT(video->loopsCompleted() >= 1, 10'000);
        const int framesAtLoop = video->framesShown();
        QTRY_VERIFY_WITH_TIMEOUT(video->framesShown() > framesAtLoop + 2, 10'000); // plays on after the loop

        // The frame fills the stage, and the glass sees its blurred copy.
        auto *chip = new FrostShapeBackground(QirvTheme::FrostRole::chip, FrostShape::capsule(), true, false,
                                              *f.styles, &scene.window);
        chip->setGeometry(200, 160, 240, 60);
        chip->show();
        QVERIFY(!scene.stage->backdropFrame().blurred.isNull());
        const QImage shot = scene.grab();
        painttest::savePng(shot, QStringLiteral("stage-video"));
        QVERIFY(painttest::distance(shot.pixel(60, 60), QColor(0x0A, 0x0C, 0x0F).rgb()) > 40);

        // Leaving video mode removes the player.
        f.bg->clearBackground();
        QTRY_VERIFY(!scene.stage->video());
    }

    // The player (which loads the media backend) is made once the window
    // is on screen, never on the way to its first frame; once made, it
    // stays (paused) while the window is hidden.
    // Over a playing video, what lies on opaque glass is drawn again only
    // when the glass is told of a new blurred frame (ten times a second),
    // not with every frame; what lies over the bare stage is drawn with
    // every frame.
    void videoFramesSpareWhatLiesOnGlass()
    {
        Fixture f;
        const QString clip = makeClip(f.dir.path(), QStringLiteral("testsrc2=size=320x180:rate=50"));
        if (clip.isEmpty())
            QSKIP("ffmpeg is not installed");
        Scene scene(f);
        auto *glassPane = new FrostShapeBackground(QirvTheme::FrostRole::card, FrostShape::roundedRectangle(12), true,
                                                   false, *f.styles, &scene.window);
        glassPane->setGeometry(100, 100, 300, 200);
        struct Probe : QWidget {
            int paints = 0;
            using QWidget::QWidget;
            void paintEvent(QPaintEvent *) override { ++paints; }
        };
        auto *onGlass = new Probe(&scene.window);
        onGlass->setGeometry(200, 150, 40, 40);
        auto *onStage = new Probe(&scene.window);
        onStage->setGeometry(500, 320, 40, 40);
        glassPane->show();
        onGlass->show();
        onStage->show();
        QCoro::waitFor(f.bg->pickLocalVideo(clip));
        settle();
        LoopingVideoBackground *video = scene.stage->video();
        QVERIFY(video);
        QTRY_VERIFY_WITH_TIMEOUT(video->framesShown() >= 3, 10'000);
        const int frames = video->framesShown(), glassPaints = onGlass->paints, stagePaints = onStage->paints;
        const quint64 revision = scene.stage->backdropFrame().revision;
        QTRY_VERIFY_WITH_TIMEOUT(onGlass->paints > glassPaints + 1 && video->framesShown() >= frames + 20, 10'000);
        const int shown = video->framesShown() - frames;
        const int told = int(scene.stage->backdropFrame().revision - revision);
        QVERIFY2(onStage->paints - stagePaints >= shown / 2,
                 qPrintable(QStringLiteral("%1 paints for %2 frames").arg(onStage->paints - stagePaints).arg(shown)));
        QVERIFY2(onGlass->paints - glassPaints <= told + 2 && told < shown,
                 qPrintable(QStringLiteral("%1 paints for %2 frames, %3 blurred frames")
                                .arg(onGlass->paints - glassPaints).arg(shown).arg(told)));
    }

    void videoPlayerWaitsForTheScreen()
    {
        Fixture f;
        const QString clip = makeClip(f.dir.path());
        if (clip.isEmpty())
            QSKIP("ffmpeg is not installed");
        QCoro::waitFor(f.bg->pickLocalVideo(clip));
        QWidget window;
        window.resize(640, 400);
        auto *stage = new StageBackground(*f.bg, *f.styles, &window);
        stage->setGeometry(window.rect());
        settle();
        QCOMPARE(stage->media(), Media::video);
        QVERIFY(!stage->video());
        window.show();
        QTRY_VERIFY(stage->video());
        LoopingVideoBackground *video = stage->video();
        window.hide();
        settle();
        QCOMPARE(stage->video(), video);
        QTRY_VERIFY(video->isPaused());
    }

    // A video frame comes with the stage's veil laid on: what the window
    // shows is the frame under the skin's colour at the veil's opacity.
    void videoFramesCarryTheVeil_data()
    {
        QTest::addColumn<double>("overlay");
        QTest::newRow("no veil") << 0.0;
        QTest::newRow("half") << 0.5;
        QTest::newRow("nearly opaque") << 0.95;
    }

    void videoFramesCarryTheVeil()
    {
        QFETCH(double, overlay);
        Fixture f;
        const QString clip = makeClip(f.dir.path(), QStringLiteral("color=c=white:size=320x180:rate=25"));
        if (clip.isEmpty())
            QSKIP("ffmpeg is not installed");
        f.bg->setOverlayOpacity(overlay);
        Scene scene(f);
        QCoro::waitFor(f.bg->pickLocalVideo(clip));
        settle();
        QTRY_VERIFY_WITH_TIMEOUT(scene.stage->video() && scene.stage->video()->framesShown() >= 3, 10'000);
        const QColor bg(0x0A, 0x0C, 0x0F);
        const QColor expected = QColor::fromRgbF(1 - overlay + bg.redF() * overlay, 1 - overlay + bg.greenF() * overlay,
                                                 1 - overlay + bg.blueF() * overlay);
        const QRgb shown = scene.grab().pixel(320, 200);
        QVERIFY2(painttest::distance(shown, expected.rgb()) < 12,
                 qPrintable(QStringLiteral("%1 against %2").arg(QColor(shown).name(), expected.name())));
    }

    // Glass that stands opaque over the stage is not repainted with it: it
    // must be drawn again when what it shows of the stage changes for good
    // (the stage switched off, its veil changed), or it keeps a stale
    // backdrop: a hidden video's last blurred frame on the sidebar.
    void glassFollowsTheStageSettling_data()
    {
        QTest::addColumn<QString>("surface");
        QTest::addColumn<QString>("media");
        QTest::addColumn<QString>("change");
        QTest::newRow("sidebar, video hidden") << "sidebar" << "video" << "hide";
        QTest::newRow("panel, video hidden") << "panel" << "video" << "hide";
        QTest::newRow("panel, image hidden") << "panel" << "image" << "hide";
        QTest::newRow("panel, veil thickened") << "panel" << "image" << "veil";
        QTest::newRow("chip, veil thickened") << "chip" << "image" << "veil";
    }
    void glassFollowsTheStageSettling()
    {
        QFETCH(QString, surface);
        QFETCH(QString, media);
        QFETCH(QString, change);
        Fixture f;
        if (media == u"video") {
            const QString clip = makeClip(f.dir.path());
            if (clip.isEmpty())
                QSKIP("ffmpeg is not installed");
            QCoro::waitFor(f.bg->pickLocalVideo(clip));
        }
        f.bg->setOverlayOpacity(0.1);
        Scene scene(f);
        auto *host = new QWidget(&scene.window);
        host->setGeometry(0, 0, 220, 400);
        QWidget *glassPiece = nullptr;
        if (surface == u"sidebar")
            glassPiece = SidebarGlassBackground::install(host, *f.bg, *f.styles);
        else if (surface == u"panel")
            glassPiece = FrostPanelBackground::install(host, QirvTheme::FrostRole::panel, *f.styles);
        else
            glassPiece = FrostShapeBackground::install(host, QirvTheme::FrostRole::chip, FrostShape::capsule(), true,
                                                       false, *f.styles);
        host->show();
        settle();
        if (media == u"video")
            QTRY_VERIFY_WITH_TIMEOUT(scene.stage->video() && scene.stage->video()->framesShown() >= 2, 10'000);
        QTRY_VERIFY(scene.stage->mediaOpacity() == 1.0);

        // What the stage showed the glass at its last paint.
        struct Painted : QObject {
            StageBackground *stage = nullptr;
            bool media = false;
            qreal opacity = -1;
            QRgb veil = 0;
            bool eventFilter(QObject *, QEvent *e) override
            {
                if (e->type() == QEvent::Paint) {
                    const BackdropFrame &frame = stage->backdropFrame();
                    media = !frame.blurred.isNull();
                    opacity = frame.mediaOpacity;
                    veil = frame.veil.rgba();
                }
                return false;
            }
        } painted;
        painted.stage = scene.stage;
        glassPiece->installEventFilter(&painted);

        if (change == u"hide")
            f.bg->setIsEnabled(false);
        else
            f.bg->setOverlayOpacity(0.5);
        // Once the stage has settled, the glass's last paint shows it settled.
        const auto paintedAsNow = [&] {
            const BackdropFrame &now = scene.stage->backdropFrame();
            return painted.media == !now.blurred.isNull() && painted.opacity == now.mediaOpacity
                   && painted.veil == now.veil.rgba();
        };
        // A video's player is stopped and deleted on the way, which takes the
        // UI thread some 300 ms at rest and seconds on a busy machine.
        if (change == u"hide")
            QTRY_VERIFY_WITH_TIMEOUT(scene.stage->mediaOpacity() == 0.0 && !painted.media && paintedAsNow(), 10'000);
        else
            QTRY_VERIFY_WITH_TIMEOUT(std::abs(scene.stage->veilOpacity() - 0.5) < 1e-9 && paintedAsNow(), 3000);
        painttest::savePng(scene.grab(), QStringLiteral("stage-settled-%1-%2-%3").arg(surface, media, change));
    }

    // The stage (and its player) destroyed while frames are being prepared,
    // over and over: nothing may reach the dead objects.
    void stageDestroyedWhileFramesAreInFlight()
    {
        Fixture f;
        const QString clip = makeClip(f.dir.path());
        if (clip.isEmpty())
            QSKIP("ffmpeg is not installed");
        QCoro::waitFor(f.bg->pickLocalVideo(clip));
        for (int round = 0; round < 3; ++round) {
            auto scene = std::make_unique<Scene>(f);
            settle();
            QVERIFY(scene->stage->video());
            QTRY_VERIFY_WITH_TIMEOUT(scene->stage->video()->framesShown() >= 1, 10'000);
            QSignalSpy frame(scene->stage->video(), &LoopingVideoBackground::frameReady);
            QVERIFY(frame.wait(5'000)); // the next frame is being made right after this one
            scene.reset();
        }
        QTest::qWait(300); // late results of the dropped work come and go
    }

    void switchingTheStageFadesUnlessTheImageComesOrGoes()
    {
        Fixture f;
        Scene scene(f);
        settle();
        QCOMPARE(scene.stage->mediaOpacity(), 1.0);
        QElapsedTimer clock;
        clock.start();
        f.bg->setIsEnabled(false); // same image: fades out
        settle();
        if (clock.elapsed() < 150) // unless the machine stalled past the fade
            QVERIFY(scene.stage->mediaOpacity() > 0);
        QTRY_COMPARE_WITH_TIMEOUT(scene.stage->mediaOpacity(), 0.0, 1000);
        f.bg->setIsEnabled(true);
        settle();
        QTRY_COMPARE_WITH_TIMEOUT(scene.stage->mediaOpacity(), 1.0, 1000);

        f.bg->clearBackground(); // off and image gone together: at once
        settle();
        QCOMPARE(scene.stage->mediaOpacity(), 0.0);
        QCOMPARE(scene.stage->media(), Media::none);
    }

    // The glass copies the backdrop only when told it changed: the last word
    // of a fade (stage off, veil moved) must be the finished frame.
    void glassHearsTheEndOfAFade_data()
    {
        QTest::addColumn<bool>("veil");
        QTest::newRow("stage off") << false;
        QTest::newRow("veil moved") << true;
    }
    void glassHearsTheEndOfAFade()
    {
        QFETCH(bool, veil);
        Fixture f;
        f.bg->setAnimateKenBurns(false); // only the fade ticks
        Scene scene(f);
        settle();
        QTRY_VERIFY(scene.stage->isBackdropReady());
        qreal heard = -1;
        connect(scene.stage, &StageBackground::backdropChanged, scene.stage, [&] {
            heard = veil ? scene.stage->veilOpacity() : scene.stage->mediaOpacity();
        });
        if (veil)
            f.bg->setOverlayOpacity(0.8);
        else
            f.bg->setIsEnabled(false);
        settle();
        const qreal end = veil ? 0.8 : 0.0;
        QTRY_COMPARE_WITH_TIMEOUT(veil ? scene.stage->veilOpacity() : scene.stage->mediaOpacity(), end, 1000);
        QTRY_COMPARE(heard, end); // told on the ticker's last turn
    }

    void motionOffSettlesAndOnRestartsFromTheStartPose()
    {
        Fixture f;
        Scene scene(f);
        settle();
        QVERIFY(f.bg->animateKenBurns());
        QTest::qWait(50);
        QVERIFY(!samePose(scene.stage->pose(), KenBurnsPose::rest()));
        f.bg->setAnimateKenBurns(false);
        settle();
        QTRY_VERIFY_WITH_TIMEOUT(samePose(scene.stage->pose(), KenBurnsPose::rest()), 1000);
        f.bg->setAnimateKenBurns(true);
        settle();
        QVERIFY(samePose(scene.stage->pose(), KenBurnsPose::start()));
    }

    // The image coming on screen again (the stage switched off and on)
    // starts its motion over, as at first display.
    void imageShownAgainRestartsTheMotion()
    {
        Fixture f;
        Scene scene(f);
        settle();
        f.bg->setIsEnabled(false);
        settle();
        QTest::qWait(500);
        const qreal drift = std::abs(scene.stage->pose().x - KenBurnsPose::start().x);
        QVERIFY(drift > 0);
        f.bg->setIsEnabled(true);
        settle();
        QCOMPARE(scene.stage->media(), Media::image);
        QVERIFY2(std::abs(scene.stage->pose().x - KenBurnsPose::start().x) < drift / 4,
                 qPrintable(QString::number(drift)));
    }

    void skinChangeRebuildsTheStage()
    {
        Fixture f;
        f.bg->setOverlayOpacity(1.0);
        Scene scene(f);
        settle();
        QTest::qWait(400);
        // Barely moved yet (the curve starts slowly), but moved.
        QVERIFY(!(scene.stage->pose() == KenBurnsPose::start()));
        f.skins->select(QStringLiteral("bluebase"));
        settle();
        QVERIFY(samePose(scene.stage->pose(), KenBurnsPose::start()));
        // A full veil of the new background colour covers the wallpaper.
        QCOMPARE(scene.grab().pixel(320, 200), QColor(0x10, 0x30, 0xC0).rgb());
    }

    // Another image of the same size replaces the old one at once, not
    // after its prepared copy is ready; a paint that comes before the
    // event loop has run again (a window's first frame) has it too.
    void anotherImageShowsAtOnce_data()
    {
        QTest::addColumn<bool>("eventsFirst");
        QTest::newRow("events run before the paint") << true;
        QTest::newRow("painted before any event runs") << false;
    }

    void anotherImageShowsAtOnce()
    {
        QFETCH(bool, eventsFirst);
        Fixture f(painttest::colourfulWallpaper(QSize(2560, 1600)));
        f.bg->setAnimateKenBurns(false);
        f.bg->setOverlayOpacity(0);
        Scene scene(f);
        QTRY_VERIFY(scene.stage->isBackdropReady());
        QImage red(2560, 1600, QImage::Format_RGB32);
        red.fill(QColor(200, 20, 20));
        const QString current = f.bg->currentImagePath().isEmpty() ? f.bg->currentImageFilePath()
                                                                   : f.bg->currentImagePath();
        QVERIFY(red.save(current, "PNG"));
        f.bg->reloadImage();
        if (eventsFirst)
            settle();
        const QRgb shown = scene.grab().pixel(320, 200);
        QVERIFY2(painttest::distance(shown, QColor(200, 20, 20).rgb()) < 10, qPrintable(QColor(shown).name()));
        QTRY_VERIFY(scene.stage->isBackdropReady());
    }

    // The slow drift is drawn only when it has moved a visible step: a few
    // frames a second at most, each a small step, not thirty a second.
    void driftIsDrawnInVisibleSteps()
    {
        Fixture f(painttest::colourfulWallpaper());
        Scene scene(f, QSize(1280, 800));
        QTRY_VERIFY(scene.stage->isBackdropReady());
        QList<KenBurnsPose> shown;
        struct PaintSpy : QObject {
            std::function<void()> onPaint;
            bool eventFilter(QObject *, QEvent *e) override
            {
                if (e->type() == QEvent::Paint)
                    onPaint();
                return false;
            }
        } spy;
        spy.onPaint = [&] {
            if (shown.isEmpty() || !(shown.last() == scene.stage->shownPose()))
                shown.append(scene.stage->shownPose());
        };
        scene.stage->installEventFilter(&spy);
        QTest::qWait(4000);
        scene.stage->removeEventFilter(&spy);
        QVERIFY2(shown.size() >= 3, qPrintable(QString::number(shown.size()))); // it moves
        QVERIFY2(shown.size() <= 24, qPrintable(QString::number(shown.size())));
        for (qsizetype i = 1; i < shown.size(); ++i) {
            const qreal step = scene.stage->stepBetween(shown[i - 1], shown[i]);
            // A late timer may make one step a little longer; never a jump.
            QVERIFY2(step <= 2 * StageBackground::kVisibleStep, qPrintable(QString::number(step)));
        }
    }

    // A step of the drift is drawn only where no glass hides the stage;
    // whatever the glass then uncovers is drawn too, of a piece with the
    // rest: no hole, no old frame, no seam. After several steps the frames
    // are drawn into the memory of former ones, never drawn under the cover.
    void driftUncoveredLaterIsWhole_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QRect>("looked"); // in the window, under the cover as it was
        QTest::addColumn<int>("steps");    // of the drift before the change
        const QRect underCover(120, 80, 200, 110);
        QTest::newRow("cover hidden") << "hidden" << underCover << 1;
        QTest::newRow("cover moved away") << "moved" << underCover << 1;
        QTest::newRow("cover turned translucent") << "translucent" << underCover << 1;
        QTest::newRow("whole stage was covered") << "whole hidden" << QRect(0, 0, 1280, 800) << 1;
        QTest::newRow("cover hidden after frames drawn into former ones") << "hidden" << underCover << 4;
        QTest::newRow("cover moved after frames drawn into former ones") << "moved" << underCover << 4;
    }
    void driftUncoveredLaterIsWhole()
    {
        QFETCH(QString, change);
        QFETCH(QRect, looked);
        QFETCH(int, steps);
        // A smooth wallpaper: neighbouring pixels differ by a level or two.
        QImage wallpaper(1280, 800, QImage::Format_RGB32);
        for (int y = 0; y < wallpaper.height(); ++y)
            for (int x = 0; x < wallpaper.width(); ++x)
                wallpaper.setPixel(x, y, qRgb(40 + x * 200 / 1280, 40 + y * 200 / 800, 160));
        Fixture f(wallpaper);
        f.bg->setOverlayOpacity(0);
        CoveredScene scene(f, QSize(1280, 800));
        if (change == QLatin1String("whole hidden")) {
            scene.panel->setGeometry(scene.window.rect());
            scene.cover->setGeometry(scene.panel->rect());
            scene.cover->opaque = scene.cover->rect();
        }
        QTRY_VERIFY(scene.stage->isBackdropReady());
        settle();
        QVERIFY(!scene.stage->coveredRegion().isEmpty());
        scene.grab(); // the stage drawn once where uncovered
        for (int step = 0; step < steps; ++step) {
            const KenBurnsPose before = scene.stage->shownPose();
            QTRY_VERIFY_WITH_TIMEOUT(!(scene.stage->shownPose() == before), 8000);
            QTest::qWait(150); // the step's frame, drawn off the UI thread, lands
            scene.grab();
        }

        if (change == QLatin1String("hidden") || change == QLatin1String("whole hidden"))
            scene.cover->hide();
        else if (change == QLatin1String("moved"))
            scene.panel->move(100, 500);
        else if (change == QLatin1String("translucent")) {
            scene.cover->alpha = 0.5;
            scene.cover->opaque = QRegion();
        }
        const QImage shot = scene.grab();
        int worst = 0;
        QPoint at;
        for (int y = looked.top(); y < looked.bottom(); ++y)
            for (int x = looked.left(); x < looked.right(); ++x) {
                const QRgb p = shot.pixel(x, y);
                for (const QRgb q : {shot.pixel(x + 1, y), shot.pixel(x, y + 1)}) {
                    const int d = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                            std::abs(qBlue(p) - qBlue(q))});
                    if (d > worst) {
                        worst = d;
                        at = QPoint(x, y);
                    }
                }
            }
        QVERIFY2(worst <= 3, qPrintable(QStringLiteral("a step of %1 at %2,%3").arg(worst).arg(at.x()).arg(at.y())));
    }

    // A landed step of the drift repaints the stage where it was drawn and
    // where the former frame was shown meanwhile (glass moved off it), and
    // nothing more: glass over the rest is left alone. That one repaint is
    // not looked over for glass again; a step overtaken repaints nothing.
    void landedStepRepaintsWhatItDrewAndWhatWasShownMeanwhile_data()
    {
        QTest::addColumn<QRegion>("drawn");   // where the step is drawn
        QTest::addColumn<QRegion>("shown");   // painted from the former frame meanwhile
        QTest::addColumn<bool>("overtaken");  // the look changed before it landed
        QTest::addColumn<QRegion>("repainted");
        const QRegion step = QRegion(0, 0, 120, 100) + QRegion(120, 60, 80, 40);
        const QRect moved(140, 10, 40, 30);
        QTest::newRow("nothing shown meanwhile") << step << QRegion() << false << step;
        QTest::newRow("shown within the step") << step << QRegion(10, 10, 30, 30) << false << step;
        QTest::newRow("glass moved off a part") << step << QRegion(moved) << false << step + moved;
        QTest::newRow("overtaken") << step << QRegion(moved) << true << QRegion();
    }
    void landedStepRepaintsWhatItDrewAndWhatWasShownMeanwhile()
    {
        QFETCH(QRegion, drawn);
        QFETCH(QRegion, shown);
        QFETCH(bool, overtaken);
        QFETCH(QRegion, repainted);
        QWidget stage;
        QRegion painted;
        testsupport::PaintRecorder recorder(&painted);
        stage.installEventFilter(&recorder);
        stage.resize(200, 100);
        stage.show();
        QVERIFY(QTest::qWaitForWindowExposed(&stage));
        StageCanvas canvas(stage);
        const auto fill = [](QPainter &p, const KenBurnsPose &, const QRegion &r) {
            for (const QRect &part : r)
                p.fillRect(part, Qt::red);
        };
        canvas.redraw(KenBurnsPose::start());
        canvas.uncover(QRegion(stage.rect()), fill);
        QTRY_VERIFY((QRegion(stage.rect()) - painted).isEmpty()); // shown once whole
        painted = QRegion();

        QImage frame(200, 100, QImage::Format_ARGB32_Premultiplied);
        frame.fill(Qt::green);
        canvas.step(KenBurnsPose::rest(), drawn, [frame](QImage) { return QList<QImage>{frame}; }, std::nullopt);
        QVERIFY(canvas.isStepping()); // it lands once the event loop runs
        canvas.uncover(shown, fill);
        if (overtaken)
            canvas.redraw(KenBurnsPose::end());
        QTRY_VERIFY(!canvas.isStepping());
        if (!repainted.isEmpty())
            QTRY_VERIFY(!painted.isEmpty());
        QTest::qWait(30);
        QCOMPARE(painted, repainted);
        QCOMPARE(canvas.drawn(), overtaken ? QRegion() : drawn);
        QCOMPARE(canvas.takeLanded(repainted), !overtaken);
        QVERIFY(!canvas.takeLanded(repainted)); // taken once
    }

    // Each frame of the drift shows the veil over the picture over the
    // skin's colour, once each: the first frame, the step that prepares the
    // settled picture for the steps after it, and a step drawn from that.
    void driftFramesLayerColourPictureAndVeilOnce_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QColor>("picture");
        QTest::addColumn<double>("veil");
        QTest::newRow("opaque picture, veil") << "default" << QColor(200, 120, 40) << 0.35;
        QTest::newRow("no veil") << "bluebase" << QColor(200, 120, 40) << 0.0;
        QTest::newRow("translucent picture over a blue skin") << "bluebase" << QColor(250, 250, 250, 100) << 0.6;
    }
    void driftFramesLayerColourPictureAndVeilOnce()
    {
        QFETCH(QString, skin);
        QFETCH(QColor, picture);
        QFETCH(double, veil);
        QImage wallpaper(320, 200, QImage::Format_ARGB32);
        wallpaper.fill(picture);
        Fixture f(wallpaper);
        f.skins->select(skin);
        f.bg->setOverlayOpacity(veil);
        Scene scene(f);
        QTRY_VERIFY(scene.stage->isBackdropReady());
        settle();

        const QColor bg = QirvTheme::color(f.styles->styles().skin.colors.bg);
        const QColor shown = QColor::fromRgba(f.bg->loadedImage().pixel(0, 0));
        const auto over = [](double top, double under, double alpha) { return top * alpha + under * (1 - alpha); };
        const auto expected = [&](auto channel) {
            const double pictured = over(channel(shown), channel(bg), shown.alphaF());
            return over(channel(bg), pictured, veil);
        };
        const QColor want = QColor::fromRgbF(float(expected([](const QColor &c) { return c.redF(); })),
                                             float(expected([](const QColor &c) { return c.greenF(); })),
                                             float(expected([](const QColor &c) { return c.blueF(); })));
        for (const QString &frame : {QStringLiteral("first"), QStringLiteral("preparing step"),
                                     QStringLiteral("prepared step")}) {
            if (frame != QLatin1String("first")) {
                const KenBurnsPose before = scene.stage->shownPose();
                QTRY_VERIFY_WITH_TIMEOUT(!(scene.stage->shownPose() == before), 8000);
                QTest::qWait(150); // the step's frame, drawn off the UI thread, lands
            }
            const QRgb got = scene.grab().pixel(320, 200);
            QVERIFY2(painttest::distance(got, want.rgb()) <= 3,
                     qPrintable(frame + QStringLiteral(": ") + QColor(got).name() + QStringLiteral(" not ")
                                + want.name()));
        }
    }

    void imageStageRendersWithMotion()
    {
        Fixture f(painttest::colourfulWallpaper());
        Scene scene(f, QSize(960, 600));
        QTRY_VERIFY(scene.stage->isBackdropReady());
        const QImage first = scene.grab();
        painttest::savePng(first, QStringLiteral("stage-image"));
        // The wallpaper drifts: the same place shows a different picture a
        // little later, once it has moved a visible step (the curve starts slowly).
        QTRY_VERIFY_WITH_TIMEOUT(first != scene.grab(), 5000);
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(StageTest)
#include "tst_stage.moc"
