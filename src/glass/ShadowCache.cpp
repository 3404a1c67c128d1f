#include "glass/ShadowCache.h"

#include "glass/BackdropBlur.h"
#include "glass/Styles.h"

#include <QPainter>

namespace glass {

ShadowCache::ShadowCache(QObject *parent)
    : QObject(parent)
{
}

ShadowCache &ShadowCache::forStyles(StyleStore &styles)
{
    if (auto *existing = styles.findChild<ShadowCache *>(QString(), Qt::FindDirectChildrenOnly))
        return *existing;
    auto *cache = new ShadowCache(&styles);
    connect(&styles, &StyleStore::changed, cache, &ShadowCache::clear);
    return *cache;
}

QImage ShadowCache::cached(const QString &key, const std::function<QImage()> &make)
{
    auto it = m_images.constFind(key);
    if (it != m_images.constEnd())
        return *it;
    // A window resized by hand passes through many sizes; keep the cache small.
    if (m_images.size() > 256)
        m_images.clear();
    const QImage image = make();
    m_images.insert(key, image);
    return image;
}

QImage ShadowCache::shadow(QSizeF size, const FrostShape &shape, const QColor &color, qreal radius, qreal dpr)
{
    const QSize px = (size * dpr).toSize();
    const QString key = QStringLiteral("shadow:%1x%2:%3:%4:%5:%6:%7")
                            .arg(px.width())
                            .arg(px.height())
                            .arg(int(shape.kind))
                            .arg(shape.cornerRadius * dpr)
                            .arg(color.rgba(), 0, 16)
                            .arg(radius * dpr);
    return cached(key, [&] {
        if (px.isEmpty())
            return QImage();
        QImage mask(px, QImage::Format_ARGB32_Premultiplied);
        mask.fill(Qt::transparent);
        {
            QPainter p(&mask);
            p.setRenderHint(QPainter::Antialiasing);
            FrostShape scaled = shape;
            scaled.cornerRadius *= dpr;
            p.fillPath(scaled.path(QRectF(QPointF(0, 0), QSizeF(px))), Qt::black);
        }
        return BackdropBlur::softMask(mask, color, radius * dpr);
    });
}

void ShadowCache::clear()
{
    m_images.clear();
}

void paintShadow(QPainter &painter, ShadowCache *cache, const QRectF &rect, const FrostShape &shape,
                 const QColor &color, qreal radius, QPointF offset)
{
    if (rect.isEmpty() || color.alpha() == 0)
        return;
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    ShadowCache local;
    const QImage image = (cache ? cache : &local)->shadow(rect.size(), shape, color, radius, dpr);
    if (image.isNull())
        return;
    const qreal margin = BackdropBlur::softMargin(radius * dpr) / dpr;
    painter.drawImage(QRectF(rect.topLeft() + offset - QPointF(margin, margin), QSizeF(image.size()) / dpr), image);
}

} // namespace glass
