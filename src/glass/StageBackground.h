#pragma once

#include "glass/Backdrop.h"
#include "glass/BackdropBlur.h"
#include "glass/KenBurnsMotion.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

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
    KenBurnsPose pose() const;
    qreal mediaOpacity() const;   // the fade of the stage switching on or off
    qreal veilOpacity() const;    // 0 when no veil is drawn
    LoopingVideoBackground *video() const { return m_video; }

    // The veil is drawn only above this opacity.
    static bool veilVisible(double overlayOpacity) { return overlayOpacity > 0.001; }
    // The blur of the glass, in logical pixels, and how much smaller the copy is.
    static constexpr qreal kBlurRadius = 28;
    static constexpr int kDownscale = 4;

    const BackdropFrame &backdropFrame() const override;
    QWidget *backdropWidget() override { return this; }

    // The blurred copy of the current image is ready (or there is none to make).
    bool isBackdropReady() const;

    // Where the image is drawn before the pose is applied: centred, filling
    // the area, and large enough that the pose's shift leaves no edge bare.
    static QRectF coverRect(QSizeF image, QSizeF area, const KenBurnsPose &pose);

signals:
    // What the glass shows changed (media, pose, veil, skin).
    void backdropChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

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
    void ensureTicking();
    qint64 now() const { return m_clock.elapsed(); }
    // Tells the glass; steps of the slow motion only now and then (force: always).
    void backdropMoved(bool force);
    QTransform poseTransform(const KenBurnsPose &pose) const;

    QPointer<stage::BackgroundSettings> m_settings;
    QPointer<StyleStore> m_styles;
    QElapsedTimer m_clock;
    QTimer m_ticker;
    bool m_syncPending = false;
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

    mutable BackdropFrame m_frame;
    quint64 m_revision = 1;
    qint64 m_revisedAt = 0;
};

} // namespace glass
