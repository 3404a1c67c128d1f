#include "glass/paint/ShadowCache.h"

#include "glass/paint/BackdropBlur.h"
#include "glass/look/Styles.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

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

namespace {

// The shadow blurred whole: the shape's mask, coloured and blurred.
QImage blurredShape(QSize px, const FrostShape &deviceShape, const QColor &color, qreal deviceRadius)
{
    QImage mask(px, QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(deviceShape.path(QRectF(QPointF(0, 0), QSizeF(px))), Qt::black);
    }
    return BackdropBlur::softMask(mask, color, deviceRadius);
}

// For each pixel of a side `big` long, the pixel of a side `small` long it
// repeats: the first `keep` + 1 as they are, the last as they are from the
// far end, and every one between as the middle one.
std::vector<int> stretchMap(int big, int small, int keep)
{
    std::vector<int> map(size_t(std::max(big, 0)));
    const int tail = small - keep; // pixels at the far end taken as they are
    for (int i = 0; i < big; ++i)
        map[size_t(i)] = i <= keep ? i : i >= big - tail ? i - (big - small) : keep;
    return map;
}

} // namespace

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
        FrostShape deviceShape = shape;
        deviceShape.cornerRadius *= dpr;
        return stretchedShadow(px, deviceShape, color, radius * dpr);
    });
}

QImage ShadowCache::stretchedShadow(QSize px, const FrostShape &deviceShape, const QColor &color, qreal deviceRadius)
{
    if (px.isEmpty())
        return {};
    // Along a straight side the blur sees the same thing everywhere: past
    // the corners' reach every row (column) of the shadow is the same. So
    // a shape only as long as its corners need is blurred, and its middle
    // is repeated; the pixels are the same as blurring the whole shape.
    qreal corner = 0;
    switch (deviceShape.kind) {
    case FrostShape::Kind::rectangle:
        break;
    case FrostShape::Kind::roundedRectangle:
        corner = std::clamp(deviceShape.cornerRadius, 0.0, std::min(px.width(), px.height()) / 2.0);
        break;
    case FrostShape::Kind::capsule:
        corner = std::min(px.width(), px.height()) / 2.0;
        break;
    case FrostShape::Kind::circle:
        return blurredShape(px, deviceShape, color, deviceRadius);
    }
    // How far one pixel's blur reaches (three box passes), and how much of
    // each end is kept: the corner, its antialiased edge, and that reach.
    const int reach = 3 * std::max(1, int(std::lround(deviceRadius / 2)));
    const int keep = int(std::ceil(corner)) + 2 + reach;
    const QSize small(std::min(px.width(), 2 * keep + 1), std::min(px.height(), 2 * keep + 1));
    if (small == px)
        return blurredShape(px, deviceShape, color, deviceRadius);
    const QImage part = blurredShape(small, deviceShape, color, deviceRadius);
    const int margin = BackdropBlur::softMargin(deviceRadius);
    QImage out(px + QSize(2 * margin, 2 * margin), QImage::Format_ARGB32_Premultiplied);
    const std::vector<int> columns = stretchMap(out.width(), part.width(), margin + keep);
    const std::vector<int> rows = stretchMap(out.height(), part.height(), margin + keep);
    for (int y = 0; y < out.height(); ++y) {
        const auto *from = reinterpret_cast<const quint32 *>(part.constScanLine(rows[size_t(y)]));
        auto *to = reinterpret_cast<quint32 *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            to[x] = from[columns[size_t(x)]];
    }
    return out;
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
