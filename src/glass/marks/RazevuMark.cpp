#include "glass/marks/RazevuMark.h"

#include "glass/look/Styles.h"
#include "glass/paint/BackdropBlur.h"
#include "glass/marks/BrandImages.h"
#include "glass/look/QirvTheme.h"
#include "glass/paint/ShadowCache.h"
#include "glass/look/SymbolIcons.h"

#include <QPainter>

#include <cmath>

namespace glass {

namespace {

// The image fitted (aspect kept) into a size × size square, at device pixels.
QImage fitted(const QImage &image, qreal size, qreal dpr)
{
    const int px = std::max(1, int(std::lround(size * dpr)));
    QImage out(px, px, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSizeF fit = QSizeF(image.size()).scaled(QSizeF(px, px), Qt::KeepAspectRatio);
    p.drawImage(QRectF(QPointF((px - fit.width()) / 2, (px - fit.height()) / 2), fit), image);
    return out;
}

// A blurred copy of image's shape in color, drawn under square moved by offset.
void imageShadow(QPainter &p, const QRectF &square, const QImage &image, const QColor &color, qreal radius,
                 QPointF offset, qreal dpr)
{
    const QImage soft = BackdropBlur::softMask(image, color, radius * dpr);
    const qreal margin = BackdropBlur::softMargin(radius * dpr) / dpr;
    p.drawImage(QRectF(square.topLeft() + offset - QPointF(margin, margin), QSizeF(soft.size()) / dpr), soft);
}

} // namespace

RazevuMark::RazevuMark(qreal size, Style style, StyleStore &styles, QWidget *parent)
    : QWidget(parent)
    , m_size(size)
    , m_style(style)
    , m_styles(&styles)
{
    setFixedSize(sizeHint());
    connect(&styles, &StyleStore::changed, this, qOverload<>(&QWidget::update));
    if (style == Style::primary)
        return; // no shadow
    const QPointer<StyleStore> skinStore = m_styles;
    auto *shadow = paintAround(this, int(std::ceil(shadowReach(size))), [size, style, skinStore](QPainter &p, const QRectF &square) {
        if (!skinStore)
            return;
        paint(p, QRectF(square.topLeft(), QSizeF(size, size)), style, BrandImages::razevuMark(), skinStore->styles().skin,
              &ShadowCache::forStyles(*skinStore), MarkLayers::shadow);
    });
    connect(&styles, &StyleStore::changed, shadow, qOverload<>(&QWidget::update));
}

QSize RazevuMark::sizeHint() const
{
    const int side = int(std::ceil(m_size));
    return QSize(side, side);
}

qreal RazevuMark::shadowReach(qreal)
{
    // The hero shadow: radius 16, 4 down.
    return BackdropBlur::softMargin(16) + 4;
}

QImage RazevuMark::multiplied(const QImage &image, const QColor &color)
{
    QImage out = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const float a = color.alphaF();
    const float r = color.redF() * a, g = color.greenF() * a, b = color.blueF() * a;
    for (int y = 0; y < out.height(); ++y) {
        QRgb *row = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = row[x];
            row[x] = qRgba(int(qRed(p) * r), int(qGreen(p) * g), int(qBlue(p) * b), int(qAlpha(p) * a));
        }
    }
    return out;
}

void RazevuMark::paint(QPainter &painter, const QRectF &square, Style style, const QImage &mark, const stage::UISkin &skin,
                       ShadowCache *, MarkLayers layers)
{
    const bool shadow = layers != MarkLayers::body;
    const bool body = layers != MarkLayers::shadow;
    const qreal size = square.width();
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (mark.isNull()) {
        // The hammer symbol at 0.85 of the size, in the accent gradient; no style.
        if (body) {
            const qreal glyph = size * 0.85;
            const QRectF box(square.center() - QPointF(glyph / 2, glyph / 2), QSizeF(glyph, glyph));
            const QImage hammer = SymbolIcons::render(
                QStringLiteral("hammer.fill"), box.size(),
                QirvTheme::accentGradient(QRectF(QPointF(0, 0), box.size()), skin), dpr);
            painter.drawImage(box, hammer);
        }
        painter.restore();
        return;
    }
    const QImage image = fitted(mark, size, dpr);
    const QColor accent = QirvTheme::color(skin.colors.accent);
    switch (style) {
    case Style::accent: {
        const QImage tinted = multiplied(image, accent);
        if (shadow)
            imageShadow(painter, square, tinted, QirvTheme::withOpacity(accent, 0.35), 4, QPointF(0, 1), dpr);
        if (body)
            painter.drawImage(square, tinted);
        break;
    }
    case Style::primary:
        if (body)
            painter.drawImage(square, multiplied(image, QirvTheme::color(skin.colors.text)));
        break;
    case Style::hero: {
        // Shadow, image and a warm glow, then the whole warmed once more. The
        // last multiply is per pixel, so it may be applied to the shadow and
        // to the body apart.
        const QColor warm = QColor::fromRgbF(1.0f, 0.62f, 0.28f);
        if (shadow) {
            const QImage soft = multiplied(BackdropBlur::softMask(image, QirvTheme::withOpacity(accent, 0.5), 16 * dpr), warm);
            const qreal margin = BackdropBlur::softMargin(16 * dpr) / dpr;
            painter.drawImage(QRectF(square.topLeft() + QPointF(0, 4) - QPointF(margin, margin),
                                     QSizeF(soft.size()) / dpr),
                              soft);
        }
        if (body) {
            QImage layer = image.copy();
            {
                QPainter lp(&layer);
                lp.setCompositionMode(QPainter::CompositionMode_Plus);
                lp.setOpacity(0.35);
                lp.drawImage(0, 0, multiplied(image, QColor::fromRgbF(1.0f, 0.55f, 0.15f)));
            }
            painter.drawImage(square, multiplied(layer, warm));
        }
        break;
    }
    }
    painter.restore();
}

void RazevuMark::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p, QRectF(0, 0, m_size, m_size), m_style, BrandImages::razevuMark(),
          m_styles ? m_styles->styles().skin : stage::UISkin::steel(), m_styles ? &ShadowCache::forStyles(*m_styles) : nullptr,
          MarkLayers::body);
}

} // namespace glass
