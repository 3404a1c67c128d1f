#include "glass/marks/AppIconMark.h"

#include "glass/look/Styles.h"
#include "glass/paint/BackdropBlur.h"
#include "glass/marks/BrandImages.h"
#include "glass/paint/GlassPainter.h"
#include "glass/paint/ShadowCache.h"

#include <QPainter>

#include <cmath>

namespace glass {

namespace {

// The icon fitted (aspect kept, centred) into a side × side square of device
// pixels and clipped to shape, with antialiased edges.
QImage clippedTile(const QImage &icon, int side, const FrostShape &shape)
{
    QImage out(side, side, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSizeF fit = QSizeF(icon.size()).scaled(QSizeF(side, side), Qt::KeepAspectRatio);
    p.drawImage(QRectF(QPointF((side - fit.width()) / 2, (side - fit.height()) / 2), fit), icon);
    if (shape.kind != FrostShape::Kind::rectangle) {
        QImage mask(out.size(), QImage::Format_ARGB32_Premultiplied);
        mask.fill(Qt::transparent);
        {
            QPainter m(&mask);
            m.setRenderHint(QPainter::Antialiasing);
            m.fillPath(shape.path(QRectF(out.rect())), Qt::black);
        }
        p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        p.drawImage(0, 0, mask);
    }
    return out;
}

} // namespace

AppIconMark::AppIconMark(qreal size, bool rounded, StyleStore &styles, QWidget *parent)
    : QWidget(parent)
    , m_size(size)
    , m_rounded(rounded)
    , m_styles(&styles)
{
    setAccessibleName(QStringLiteral("Moonshelf Mac"));
    setFixedSize(sizeHint());
    connect(&styles, &StyleStore::changed, this, qOverload<>(&QWidget::update));
    const int reach = int(std::ceil(std::max(shadowReach(size), RazevuMark::shadowReach(size))));
    const QPointer<StyleStore> skinStore = m_styles;
    auto *shadow = paintAround(this, reach, [size, rounded, skinStore](QPainter &p, const QRectF &square) {
        if (!skinStore)
            return;
        const QImage icon = BrandImages::appIcon();
        paint(p, QRectF(square.topLeft(), QSizeF(size, size)), rounded, icon,
              icon.isNull() ? BrandImages::razevuMark() : QImage(), skinStore->styles().skin,
              &ShadowCache::forStyles(*skinStore), MarkLayers::shadow);
    });
    connect(&styles, &StyleStore::changed, shadow, qOverload<>(&QWidget::update));
}

QSize AppIconMark::sizeHint() const
{
    const int side = int(std::ceil(m_size));
    return QSize(side, side);
}

qreal AppIconMark::shadowReach(qreal size)
{
    return BackdropBlur::softMargin(size * 0.08) + size * 0.04;
}

void AppIconMark::paint(QPainter &painter, const QRectF &square, bool rounded, const QImage &icon, const QImage &mark,
                        const stage::UISkin &skin, ShadowCache *cache, MarkLayers layers)
{
    if (icon.isNull()) {
        RazevuMark::paint(painter, square, RazevuMark::Style::accent, mark, skin, cache, layers);
        return;
    }
    const qreal size = square.width();
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const FrostShape shape = rounded ? FrostShape::roundedRectangle(size * 0.22) : FrostShape::rectangle();
    FrostShape deviceShape = shape;
    deviceShape.cornerRadius *= dpr;
    const int side = std::max(1, int(std::lround(size * dpr)));
    const qreal radius = size * 0.08 * dpr;

    ShadowCache local;
    ShadowCache &images = cache ? *cache : local;
    const QString key = QStringLiteral("app-icon:%1:%2:%3").arg(icon.cacheKey()).arg(side).arg(int(rounded));
    const QImage tile = images.cached(key, [&] { return clippedTile(icon, side, deviceShape); });

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (layers != MarkLayers::body) {
        // The shadow of what is drawn, as clipped: a tile with see-through
        // margins casts no square shadow around them.
        const QImage shadow = images.cached(key + QStringLiteral(":shadow:%1").arg(radius), [&] {
            return BackdropBlur::softMask(tile, QColor::fromRgbF(0, 0, 0, 0.35f), radius);
        });
        const qreal margin = BackdropBlur::softMargin(radius) / dpr;
        painter.drawImage(QRectF(square.topLeft() + QPointF(0, size * 0.04) - QPointF(margin, margin),
                                 QSizeF(shadow.size()) / dpr),
                          shadow);
    }
    if (layers != MarkLayers::shadow) {
        painter.drawImage(QRectF(square.topLeft(), QSizeF(side, side) / dpr), tile);
        if (rounded)
            GlassPainter::innerBorder(painter, square, shape, QColor::fromRgbF(1, 1, 1, 0.14f), 0.5);
    }
    painter.restore();
}

void AppIconMark::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Shown with its window, the mark paints a few tens of milliseconds
    // later: the icon decodes on the pool meanwhile. A mark that stays
    // hidden (a start into a session) costs the start nothing.
    BrandImages::decodeAhead();
}

void AppIconMark::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QImage icon = BrandImages::appIcon();
    paint(p, QRectF(0, 0, m_size, m_size), m_rounded, icon, icon.isNull() ? BrandImages::razevuMark() : QImage(),
          m_styles ? m_styles->styles().skin : stage::UISkin::steel(), m_styles ? &ShadowCache::forStyles(*m_styles) : nullptr,
          MarkLayers::body);
}

} // namespace glass
