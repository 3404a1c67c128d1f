#include "glass/paint/SidebarGlassBackground.h"

#include "stage/BackgroundSettings.h"
#include "glass/paint/GlassMaterial.h"
#include "glass/paint/GlassPainter.h"
#include "glass/look/QirvTheme.h"

#include <QPainter>

#include <algorithm>

namespace glass {

namespace {
constexpr int kDownscale = 4;
}

SidebarGlassBackground::SidebarGlassBackground(stage::BackgroundSettings &bg, StyleStore &styles, QWidget *parent)
    : GlassSurface(styles, parent)
    , m_bg(&bg)
{
    setAttribute(Qt::WA_OpaquePaintEvent); // covers its whole rectangle
    connect(&bg, &stage::BackgroundSettings::isEnabledChanged, this, &SidebarGlassBackground::refresh);
    connect(&bg, &stage::BackgroundSettings::loadedImageChanged, this, &SidebarGlassBackground::refresh);
    connect(&bg, &stage::BackgroundSettings::overlayOpacityChanged, this, [this] { invalidate(); });
    connect(&m_worker, &LatestImageWorker::finished, this, [this](const QList<QImage> &images, quint64) {
        if (images.isEmpty())
            return;
        m_blurred = images.first();
        m_blurredKey = images.first().text(QStringLiteral("key"));
        invalidate();
    });
    refresh();
}

SidebarGlassBackground *SidebarGlassBackground::install(QWidget *host, stage::BackgroundSettings &bg, StyleStore &styles)
{
    auto *background = new SidebarGlassBackground(bg, styles, host->parentWidget());
    attachToHost(background, host, HostFollower::Placement::behind);
    return background;
}

QRectF SidebarGlassBackground::wallpaperFrame(QSizeF sidebar)
{
    const qreal w = std::max(2.6 * sidebar.width(), 720.0);
    const qreal h = 1.15 * sidebar.height();
    const QPointF centre(0.42 * sidebar.width(), 0.52 * sidebar.height());
    return QRectF(centre - QPointF(w / 2, h / 2), QSizeF(w, h));
}

QRectF SidebarGlassBackground::wallpaperRect(QSizeF sidebar, QSizeF imageSize)
{
    const QRectF frame = wallpaperFrame(sidebar);
    if (imageSize.isEmpty())
        return frame;
    const QSizeF filled = imageSize.scaled(frame.size(), Qt::KeepAspectRatioByExpanding);
    return QRectF(frame.center() - QPointF(filled.width() / 2, filled.height() / 2), filled);
}

qreal SidebarGlassBackground::veilOpacity(double overlayOpacity)
{
    // Raised to at least 0.08 first, then lowered to at most 0.35.
    return std::min(std::max(overlayOpacity * 0.5, 0.08), 0.35);
}

bool SidebarGlassBackground::showsWallpaper() const
{
    return m_bg && m_bg->isEnabled() && !m_bg->loadedImage().isNull();
}

void SidebarGlassBackground::refresh()
{
    if (!showsWallpaper()) {
        m_wantedKey.clear();
        invalidate();
        return;
    }
    const QImage image = m_bg->loadedImage();
    const QRectF target = wallpaperRect(size(), image.size());
    const QSize small = (target.size() / kDownscale).toSize().expandedTo(QSize(1, 1));
    const QString key = QStringLiteral("%1:%2x%3").arg(image.cacheKey()).arg(small.width()).arg(small.height());
    if (key == m_wantedKey)
        return;
    m_wantedKey = key;
    m_worker.submit(
        [image, small, key] {
            QImage blurred = BackdropBlur::backdropCopy(image, small, kBlurRadius / kDownscale, 1.0);
            blurred.setText(QStringLiteral("key"), key);
            return QList<QImage>{blurred};
        },
        0);
    invalidate();
}

void SidebarGlassBackground::resizeEvent(QResizeEvent *event)
{
    GlassSurface::resizeEvent(event);
    refresh();
}

void SidebarGlassBackground::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintCached(painter, [this](QPainter &p, const BackdropFrame *backdrop, QPointF origin) {
        // Held within the material's band as a whole, sheen included.
        QPainterPath all;
        all.addRect(QRectF(rect()));
        GlassMaterial::paintHeld(p, all, skin().isLight(),
                                 [&](QPainter &layers) { paintLayers(layers, backdrop, origin); });
    });
}

void SidebarGlassBackground::paintLayers(QPainter &p, const BackdropFrame *backdrop, QPointF origin)
{
    const QRectF r(rect());
    const stage::UISkin skin = this->skin();
    const bool light = skin.isLight();
    const QColor bg = QirvTheme::color(skin.colors.bg);
    using QirvTheme::withOpacity;

    // What lies behind the sidebar (the stage), which the sidebar material blurs.
    if (backdrop)
        paintBackdrop(p, *backdrop, origin, r);
    else
        p.fillRect(r, bg);

    // 1. The wallpaper layer, or the plain tint. The layer fades out towards
    // the edge the stage continues from, so the glass meets the stage there
    // with the stage's own colours and no seam.
    if (showsWallpaper()) {
        if (!m_blurred.isNull()) {
            QImage layer(QSize(std::max(1, width()), std::max(1, height())), QImage::Format_ARGB32_Premultiplied);
            layer.fill(Qt::transparent);
            {
                QPainter l(&layer);
                l.setRenderHint(QPainter::SmoothPixmapTransform);
                l.drawImage(wallpaperRect(size(), m_bg->loadedImage().size()), m_blurred);
                l.setCompositionMode(QPainter::CompositionMode_DestinationIn);
                QLinearGradient fade(QPointF(r.right() - kSeamFade, 0), QPointF(r.right(), 0));
                fade.setColorAt(0, Qt::black);
                fade.setColorAt(1, Qt::transparent);
                l.fillRect(r, fade);
            }
            p.save();
            p.setOpacity(wallpaperOpacity(light));
            p.drawImage(r, layer);
            p.restore();
        }
        p.fillRect(r, withOpacity(bg, veilOpacity(m_bg->overlayOpacity())));
    } else {
        p.fillRect(r, withOpacity(bg, plainTintOpacity(light)));
    }
    // 2. The sidebar material at 0.82 (its blur is the layer below, already soft).
    p.fillRect(r, withOpacity(GlassPainter::windowMaterialTint(QirvTheme::WindowMaterial::sidebar, light), 0.82));
    // 3. An ultra-thin fill at 0.22.
    p.fillRect(r, withOpacity(GlassPainter::fillMaterialTint(QirvTheme::FillMaterial::ultraThin, light), 0.22));
    // 4, 5. The skin's elevated and accent tints.
    p.fillRect(r, withOpacity(QirvTheme::color(skin.colors.elevated), 0.06));
    p.fillRect(r, withOpacity(QirvTheme::color(skin.colors.accent), 0.04));
    // 6. A sheen from the top to the middle.
    QLinearGradient sheen(r.topLeft(), QPointF(r.left(), r.center().y()));
    sheen.setColorAt(0, QColor::fromRgbF(1, 1, 1, 0.08f));
    sheen.setColorAt(1, QColor::fromRgbF(1, 1, 1, 0));
    p.fillRect(r, sheen);
}

} // namespace glass
