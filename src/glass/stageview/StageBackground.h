#pragma once

#include "glass/paint/Backdrop.h"
#include "glass/paint/BackdropBlur.h"
#include "glass/stageview/KenBurnsMotion.h"
#include "glass/stageview/StageCanvas.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <optional>

class QPainter;

namespace stage {
class BackgroundSettings;
}

namespace glass {

class StyleStore;
class LoopingVideoBackground;

// The backdrop of the main window, under everything else: the skin's
// background colour and, with the stage on, the wallpaper (a still image
// drifting slowly, or a muted looping video) under a veil of that colour.
// It only reads the stage settings. It is also the one source of backdrop
// pixels for the glass above it: it keeps a blurred, downscaled copy of its
// media, made off the UI thread.
class StageBackground : public QWidget, public BackdropProvider {
    Q_OBJECT
public:
    StageBackground(stage::BackgroundSettings &settings, StyleStore &styles, QWidget *parent = nullptr);
    ~StageBackground() override;

    enum class Media { none, image, video };

    // What is drawn now (after the animations of this moment).
    Media media() const;
    // Where the slow motion is now; the stage shows it once it has moved a
    // visible step from the pose shown (shownPose()).
    KenBurnsPose pose() const;
    KenBurnsPose shownPose() const { return m_canvas.shownPose(); }
    qreal mediaOpacity() const;   // the fade of the stage switching on or off
    qreal veilOpacity() const;    // 0 when no veil is drawn
    LoopingVideoBackground *video() const { return m_video; }

    // The veil is drawn only above this opacity.
    static bool veilVisible(double overlayOpacity) { return overlayOpacity > 0.001; }
    // The blur of the glass, in logical pixels, and how much smaller the copy is.
    static constexpr qreal kBlurRadius = 28;
    static constexpr int kDownscale = 4;

    const BackdropFrame &backdropFrame() const override;
    quint64 backdropRevision() const override { return m_revision; }
    QWidget *backdropWidget() override { return this; }
    QMetaObject::Connection followBackdrop(QObject *context, std::function<void()> then) override
    {
        return connect(this, &StageBackground::backdropChanged, context, std::move(then), Qt::QueuedConnection);
    }

    // The blurred copy of the current image is ready (or there is none to make).
    bool isBackdropReady() const;

    // The slow motion is drawn only when it has moved the picture this far
    // (device pixels, at the place it moves most) since the last frame, and
    // the glass is told only this far: it shows the picture blurred.
    static constexpr qreal kVisibleStep = 0.5;
    static constexpr qreal kGlassStep = 3.0;
    // How far the picture moves (device pixels, at the stage's corners, where
    // the zoom adds most) between two poses. 0 without an image.
    qreal stepBetween(const KenBurnsPose &from, const KenBurnsPose &to) const;
    // The window is on screen (shown, exposed, not minimised): only then
    // does anything move.
    bool isOnScreen() const;
    bool isTicking() const { return m_ticker.isActive(); }

    // Where the image is drawn before the pose is applied: centred, filling
    // the area, and large enough that the pose's shift leaves no edge bare.
    static QRectF coverRect(QSizeF image, QSizeF area, const KenBurnsPose &pose);

    // The stage's part that opaque glass above it hides now, in its
    // coordinates: there the stage is not painted (it would be painted over
    // at once).
    QRegion coveredRegion() const;

signals:
    // What the glass shows changed (media, pose, veil, skin).
    void backdropChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Snapshot {
        bool enabled = false;
        bool imagePresent = false;
        qint64 imageKey = 0;
        double overlay = 0;
        bool kenBurns = false;
        QString videoPath; // empty: no video wanted
        int videoRevision = 0;
    };
    Snapshot read() const;
    static bool showsImage(const Snapshot &s);
    void scheduleSync();
    void sync();
    void rebuild();
    void updateVideo();
    void prepareImage();
    void tick();
    // Judged at t (a tick passes its own time: a fade that ends between its
    // frame and this look still gets the tick that publishes its end).
    void ensureTicking(std::optional<qint64> t = std::nullopt);
    // When the next tick of the slow motion is due, in ms from now: once it
    // has moved a visible step, or a glass step.
    int nextStepIn(qint64 t) const;
    qint64 now() const { return m_clock.elapsed(); }
    // The whole stage is drawn again, at the motion's pose of now.
    void redraw();
    // A new video frame: drawn where no glass hides it.
    void redrawVideo();
    // Repaints the stage where no cover hides it.
    void updateUncovered();
    // The same, drawn off the UI thread and shown when it is ready: a step
    // of the drift, which nothing waits for.
    void redrawLater();
    using BakedFrom = StageCanvas::BakedFrom;
    // Everything a frame of the stage is drawn from, so it can be drawn on any thread.
    struct Look {
        QColor bg;
        Media media = Media::none;
        qreal fade = 0;
        QImage picture;    // the image, or the video frame
        // Nothing fades, but the picture is not baked for this look yet: a
        // baked copy (see bake()) would stay good, and is known by this.
        std::optional<BakedFrom> bakeAs;
        QRectF cover;      // where the image goes before the pose
        QTransform placed; // the pose
        qreal veil = 0;
        QSize pixels;
        qreal dpr = 1;
    };
    // Now's look, the picture placed at pose.
    Look look(const KenBurnsPose &pose) const;
    // The stage's colour, fade and veil over a video frame, as one colour.
    QColor videoTint() const;
    // The frame drawn where wanted, left as it was elsewhere; drawn into
    // into when that fits (a former frame), else into a new image.
    static QImage render(const Look &look, const QRegion &wanted, QImage into = {});
    static void paintLook(QPainter &painter, const Look &look, const QRect &area);
    static bool showsPicture(const Look &look);
    // A look without a picture: its one colour, as paintLook lays it.
    static QColor flatColour(const Look &look);
    // The picture with its colour and veil laid on, as paintLook draws them:
    // opaque, so the look that shows it (no veil) draws it without blending,
    // resampled once.
    static QImage bake(const Look &look);
    static void paintLookIn(QPainter &painter, const Look &look, const QRegion &wanted);
    // Tells the glass, at the motion's pose of now; a video frame only now
    // and then (force: at once).
    void backdropMoved(bool force);
    // The window went on or off screen.
    void screenChanged();
    QTransform poseTransform(const KenBurnsPose &pose) const;
    // The image's pixels -> stage coordinates, in a pose.
    QTransform imageTransform(const KenBurnsPose &pose) const;

    QPointer<stage::BackgroundSettings> m_settings;
    QPointer<StyleStore> m_styles;
    QElapsedTimer m_clock;
    QTimer m_ticker;
    QTimer m_glassLater; // a video frame's glass, held back
    bool m_syncPending = false;
    bool m_wasOnScreen = false;
    QPointer<QWidget> m_watchedWindow;
    QPointer<QWindow> m_watchedHandle;
    Snapshot m_last;

    KenBurnsMotion m_motion;
    Tween m_fade;  // media and veil, with the stage switching on or off
    Tween m_veil;  // the veil's own opacity

    QImage m_image;          // the wallpaper as loaded
    QImage m_scaled;         // the same, scaled to fill the stage (device pixels)
    QImage m_blurred;        // its blurred, downscaled copy
    qint64 m_scaledFrom = 0; // the cacheKey of the image the copies were made from
    quint64 m_imageSerial = 0;
    LatestImageWorker m_imageWorker;

    LoopingVideoBackground *m_video = nullptr;
    QString m_videoKey;

    // What is drawn where, and the drift's step being drawn; the scaled
    // copy baked with the colour and veil, once they settle.
    StageCanvas m_canvas{*this};
    KenBurnsPose m_glassPose; // the pose the glass was told
    QImage m_glassVideo;      // the video frame's blurred copy the glass was told

    mutable BackdropFrame m_frame;
    quint64 m_revision = 1;
    qint64 m_revisedAt = 0;
};

} // namespace glass
