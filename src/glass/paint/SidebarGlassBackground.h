#pragma once

#include "glass/paint/BackdropBlur.h"
#include "glass/paint/GlassSurface.h"

#include <QPointer>

namespace stage {
class BackgroundSettings;
}

namespace glass {


// The session sidebar's layered glass: its own soft view of the wallpaper
// (wider than the sidebar, blurred, under a veil), or a plain tint without
// one; then the sidebar material, a thin fill, the skin's tints and a
// sheen at the top.
class SidebarGlassBackground : public GlassSurface {
    Q_OBJECT
public:
    SidebarGlassBackground(stage::BackgroundSettings &bg, StyleStore &styles, QWidget *parent = nullptr);
    static SidebarGlassBackground *install(QWidget *host, stage::BackgroundSettings &bg, StyleStore &styles);

    // The wallpaper's frame for a sidebar of this size: max(2.6 × width, 720)
    // wide, 1.15 × height tall, centred at (0.42 × width, 0.52 × height).
    static QRectF wallpaperFrame(QSizeF sidebar);
    // Where an image of imageSize lands when it fills that frame (aspect kept).
    static QRectF wallpaperRect(QSizeF sidebar, QSizeF imageSize);
    // The veil over the wallpaper: overlayOpacity × 0.5, kept within 0.08 to 0.35.
    static qreal veilOpacity(double overlayOpacity);
    // The wallpaper layer's opacity, and the plain tint without a wallpaper.
    static qreal wallpaperOpacity(bool lightSkin) { return lightSkin ? 0.55 : 0.88; }
    static qreal plainTintOpacity(bool lightSkin) { return lightSkin ? 0.55 : 0.4; }
    static constexpr qreal kBlurRadius = 24;
    // How far from the stage edge its own wallpaper view fades into the stage's.
    static constexpr qreal kSeamFade = 72;

    // Whether the wallpaper layer is drawn (else the plain tint).
    bool showsWallpaper() const;
    bool isWallpaperReady() const { return !m_blurred.isNull() && m_blurredKey == m_wantedKey; }

    // All of it: its layers lie on the stage's opaque backdrop.
    QRegion solidRegion() const override { return QRegion(rect()); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void refresh();
    void paintLayers(QPainter &p, const BackdropFrame *backdrop, QPointF origin);

    QPointer<stage::BackgroundSettings> m_bg;
    LatestImageWorker m_worker;
    QImage m_blurred;
    QString m_blurredKey;
    QString m_wantedKey;
};

} // namespace glass
