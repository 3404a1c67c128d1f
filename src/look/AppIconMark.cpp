#include "look/AppIconMark.h"

#include "look/BackdropBlur.h"
#include "look/BrandImages.h"
#include "look/GlassPainter.h"
#include "look/RazevuMark.h"
#include "look/ShadowCache.h"

#include <QPainter>

#include <cmath>

namespace look {

AppIconMark::AppIconMark(qreal size, bool rounded, QWidget *parent, SkinStore *skins)
    : QWidget(parent)
    , m_size(size)
    , m_rounded(rounded)
    , m_skins(skins ? skins : &SkinStore::shared())
{
    setAccessibleName(QStringLiteral("Moonshelf Mac"));
    connect(m_skins, &SkinStore::changed, this, qOverload<>(&QWidget::update));
    connect(m_skins, &SkinStore::selectedIDChanged, this, qOverload<>(&QWidget::update));
    const int reach = int(std::ceil(std::max(shadowReach(size), RazevuMark::shadowReach(size))));
    setContentsMargins(reach, reach, reach, reach);
    setFixedSize(sizeHint());
}

QSize AppIconMark::sizeHint() const
{
    const int side = int(std::ceil(m_size));
    return QSize(side, side).grownBy(contentsMargins());
}

qreal AppIconMark::shadowReach(qreal size)
{
    return BackdropBlur::softMargin(size * 0.08) + size * 0.04;
}

void AppIconMark::paint(QPainter &painter, const QRectF &square, bool rounded, const QImage &icon, const QImage &mark,
                        const UISkin &skin, ShadowCache *cache)
{
    const qreal size = square.width();
    if (icon.isNull()) {
        RazevuMark::paint(painter, square, RazevuMark::Style::accent, mark, skin, cache);
        return;
    }
    const FrostShape shape = rounded ? FrostShape::roundedRectangle(size * 0.22) : FrostShape::rectangle();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // The shadow follows the tile, rounded or square.
    paintShadow(painter, cache, square, shape, QColor::fromRgbF(0, 0, 0, 0.35f), size * 0.08,
                QPointF(0, size * 0.04));
    painter.setClipPath(shape.path(square));
    const QSizeF fit = QSizeF(icon.size()).scaled(square.size(), Qt::KeepAspectRatio);
    painter.drawImage(QRectF(square.center() - QPointF(fit.width() / 2, fit.height() / 2), fit), icon);
    painter.setClipping(false);
    if (rounded)
        GlassPainter::innerBorder(painter, square, shape, QColor::fromRgbF(1, 1, 1, 0.14f), 0.5);
    painter.restore();
}

void AppIconMark::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRectF square(contentsRect().topLeft(), QSizeF(m_size, m_size));
    paint(p, square, m_rounded, BrandImages::appIcon(), BrandImages::razevuMark(),
          m_skins ? m_skins->current() : UISkin::steel(), m_skins ? &ShadowCache::forSkins(m_skins) : nullptr);
}

} // namespace look
