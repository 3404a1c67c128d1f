#include "glass/marks/FelgrinMark.h"

#include "glass/look/Styles.h"
#include "glass/paint/BackdropBlur.h"
#include "glass/look/QirvTheme.h"
#include "glass/paint/ShadowCache.h"
#include "glass/look/SymbolIcons.h"

#include <QPainter>

#include <cmath>

namespace glass {

FelgrinMark::FelgrinMark(qreal size, Style style, StyleStore &styles, QWidget *parent)
    : QWidget(parent)
    , m_size(size)
    , m_style(style)
    , m_styles(&styles)
{
    setAccessibleName(QStringLiteral("Felgrin"));
    setAccessibleDescription(QStringLiteral("Polish mark. Felgrin’s crew stamp."));
    connect(&styles, &StyleStore::changed, this, qOverload<>(&QWidget::update));
    setFixedSize(sizeHint());
}

QSize FelgrinMark::sizeHint() const
{
    const int side = int(std::ceil(frameSide(m_size)));
    return QSize(side, side);
}

QColor FelgrinMark::halo(Style style, const stage::UISkin &skin)
{
    if (style == Style::hero)
        return QColor::fromRgbF(1.0f, 0.55f, 0.12f);
    return QirvTheme::color(skin.colors.accent);
}

QColor FelgrinMark::starFill(Style style, const stage::UISkin &skin)
{
    switch (style) {
    case Style::resting: return QirvTheme::withOpacity(QirvTheme::color(skin.colors.accent), 0.92);
    case Style::accent: return QirvTheme::color(skin.colors.accent);
    case Style::hero: return QColor::fromRgbF(1.0f, 0.72f, 0.28f);
    }
    return QirvTheme::color(skin.colors.accent);
}

void FelgrinMark::paint(QPainter &painter, const QRectF &frame, qreal size, Style style, const stage::UISkin &skin,
                        ShadowCache *cache)
{
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QPointF c = frame.center();
    const QColor haloColor = halo(style, skin);
    ShadowCache local;
    ShadowCache &images = cache ? *cache : local;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);

    // 1. The halo: a soft disc. Its blur would reach past the mark's square;
    // it fades out towards the square's edge instead of being cut there.
    const qreal d = haloDiameter(size);
    const qreal discMargin = BackdropBlur::softMargin(size * 0.28 * dpr) / dpr;
    const QString haloKey = QStringLiteral("felgrin-halo:%1:%2:%3").arg(size * dpr).arg(frame.width() * dpr)
                                .arg(haloColor.rgba(), 0, 16);
    const QImage disc = images.cached(haloKey, [&] {
        QImage soft = BackdropBlur::softMask(
            [&] {
                QImage mask((QSizeF(d, d) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
                mask.fill(Qt::transparent);
                QPainter mp(&mask);
                mp.setRenderHint(QPainter::Antialiasing);
                mp.setBrush(Qt::black);
                mp.setPen(Qt::NoPen);
                mp.drawEllipse(QRectF(QPointF(0, 0), QSizeF(mask.size())));
                return mask;
            }(),
            QirvTheme::withOpacity(haloColor, 0.35), size * 0.28 * dpr);
        QPainter fp(&soft);
        fp.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        const QPointF centre(soft.width() / 2.0, soft.height() / 2.0);
        QRadialGradient fade(centre, frame.width() / 2 * dpr);
        fade.setColorAt(0.7, Qt::black);
        fade.setColorAt(1, Qt::transparent);
        fp.fillRect(soft.rect(), fade);
        return soft;
    });
    painter.drawImage(QRectF(c - QPointF(d / 2 + discMargin, d / 2 + discMargin), QSizeF(disc.size()) / dpr), disc);

    // 2. The star, with a glow of the halo colour around it.
    const qreal glyph = size * 0.92;
    const QRectF box(c - QPointF(glyph / 2, glyph / 2), QSizeF(glyph, glyph));
    const QString key = QStringLiteral("felgrin:%1:%2:%3:%4").arg(glyph * dpr).arg(int(style))
                            .arg(haloColor.rgba(), 0, 16).arg(starFill(style, skin).rgba(), 0, 16);
    const QImage star = images.cached(key + QStringLiteral(":star"), [&] {
        return SymbolIcons::render(QStringLiteral("star.fill"), box.size(), starFill(style, skin), dpr);
    });
    const QImage glow = images.cached(key + QStringLiteral(":glow"), [&] {
        return star.isNull() ? QImage() : BackdropBlur::softMask(star, QirvTheme::withOpacity(haloColor, 0.55), size * 0.22 * dpr);
    });
    if (!glow.isNull()) {
        const qreal m = BackdropBlur::softMargin(size * 0.22 * dpr) / dpr;
        painter.drawImage(QRectF(box.topLeft() - QPointF(m, m), QSizeF(glow.size()) / dpr), glow);
    }
    painter.drawImage(box, star);

    // 3. The highlight: the star again in a white sheen, added to what is there.
    QLinearGradient sheen(QPointF(0, 0), QPointF(glyph, glyph));
    sheen.setColorAt(0, QColor::fromRgbF(1, 1, 1, 0.75f));
    sheen.setColorAt(0.5, QColor::fromRgbF(1, 1, 1, 0.05f));
    sheen.setColorAt(1, QColor::fromRgbF(1, 1, 1, 0));
    const QImage highlight = images.cached(key + QStringLiteral(":sheen"), [&] {
        return SymbolIcons::render(QStringLiteral("star.fill"), box.size(), sheen, dpr);
    });
    painter.setCompositionMode(QPainter::CompositionMode_Plus);
    painter.setOpacity(0.85);
    painter.drawImage(box, highlight);
    painter.restore();
}

void FelgrinMark::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    paint(p, QRectF(QPointF(0, 0), QSizeF(frameSide(m_size), frameSide(m_size))), m_size, m_style,
          m_styles ? m_styles->styles().skin : stage::UISkin::steel(), m_styles ? &ShadowCache::forStyles(*m_styles) : nullptr);
}

} // namespace glass
