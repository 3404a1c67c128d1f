#include "glass/paint/GlassPainter.h"
#include "glass/paint/PaintBands.h"

#include "glass/paint/GlassMaterial.h"

#include <QPainter>

namespace glass::GlassPainter {

using QirvTheme::FillMaterial;
using QirvTheme::WindowMaterial;

QColor windowMaterialTint(WindowMaterial material, bool light)
{
    // Light materials: a pale frost that lifts dark wallpapers towards paper.
    if (light) {
        switch (material) {
        case WindowMaterial::sidebar: return QColor(246, 246, 248, 90);
        case WindowMaterial::headerView: return QColor(248, 248, 250, 96);
        case WindowMaterial::popover: return QColor(250, 250, 252, 100);
        case WindowMaterial::menu: return QColor(250, 250, 252, 90);
        case WindowMaterial::hudWindow: return QColor(242, 242, 245, 110);
        }
    }
    // Dark materials: a grey frost over the blur that dims bright wallpapers
    // and lifts dark ones a little; the heads-up material is the darkest.
    switch (material) {
    case WindowMaterial::sidebar: return QColor(58, 58, 64, 40);
    case WindowMaterial::headerView: return QColor(54, 54, 60, 46);
    case WindowMaterial::popover: return QColor(64, 64, 70, 46);
    case WindowMaterial::menu: return QColor(70, 70, 76, 42);
    case WindowMaterial::hudWindow: return QColor(30, 30, 34, 56);
    }
    return QColor(58, 58, 64, 40);
}

QColor fillMaterialTint(FillMaterial material, bool light)
{
    if (light) {
        switch (material) {
        case FillMaterial::ultraThin: return QColor(255, 255, 255, 26);
        case FillMaterial::thin: return QColor(255, 255, 255, 44);
        case FillMaterial::regular: return QColor(255, 255, 255, 60);
        }
    }
    switch (material) {
    case FillMaterial::ultraThin: return QColor(22, 22, 26, 18);
    case FillMaterial::thin: return QColor(22, 22, 26, 32);
    case FillMaterial::regular: return QColor(22, 22, 26, 46);
    }
    return QColor(22, 22, 26, 46);
}

void visualEffect(QPainter &painter, const QPainterPath &clip, WindowMaterial material, bool light,
                  const BackdropFrame *backdrop, QPointF origin, qreal opacity)
{
    if (clip.isEmpty() || opacity <= 0)
        return;
    painter.save();
    painter.setOpacity(painter.opacity() * opacity);
    const QRectF area = clip.boundingRect();
    GlassMaterial::paintHeld(painter, clip, light, [&](QPainter &p) {
        if (backdrop)
            paintBackdrop(p, *backdrop, origin, area);
        else
            p.fillRect(area, light ? QColor(236, 236, 240) : QColor(16, 16, 20));
        p.fillRect(area, windowMaterialTint(material, light));
    });
    painter.restore();
}

void frostShape(QPainter &painter, const QRectF &rect, const FrostShape &shape, QirvTheme::FrostRole role, bool stroke,
                bool strokeStrong, const stage::UISkin &skin, const BackdropFrame *backdrop, QPointF origin)
{
    const QPainterPath path = shape.path(rect);
    if (path.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const bool light = skin.isLight();
    visualEffect(painter, path, QirvTheme::windowMaterial(role), light, backdrop, origin);
    const QColor tint = fillMaterialTint(QirvTheme::fillMaterial(role), light);
    const QColor wash = QirvTheme::wash(role, skin);
    QColor accent = QirvTheme::color(skin.colors.accent);
    accent.setAlphaF(accent.alphaF() * 0.04f);
    // The three washes as one: the path is rasterised once, not three times.
    const QColor washes = QirvTheme::layered(accent, QirvTheme::layered(wash, tint));
    // In bands: a glass shape repaints with every frame of a video stage.
    paintInBands(painter, path.boundingRect().toAlignedRect(), [&](const QRect &) {
        painter.fillPath(path, washes);
    }, kPathBandRows);
    if (stroke)
        innerBorder(painter, rect, shape,
                    light ? QColor::fromRgbF(0, 0, 0, strokeStrong ? 0.12f : 0.08f)
                          : QColor::fromRgbF(1, 1, 1, strokeStrong ? 0.2f : 0.14f),
                    1.0);
    painter.restore();
}

void frostPanel(QPainter &painter, const QRectF &rect, QirvTheme::FrostRole role, const stage::UISkin &skin,
                const BackdropFrame *backdrop, QPointF origin)
{
    QPainterPath path;
    path.addRect(rect);
    visualEffect(painter, path, QirvTheme::windowMaterial(role), skin.isLight(), backdrop, origin);
    QColor wash = QirvTheme::wash(role, skin);
    wash.setAlphaF(wash.alphaF() * 0.65f);
    QColor accent = QirvTheme::color(skin.colors.accent);
    accent.setAlphaF(accent.alphaF() * 0.04f);
    painter.fillRect(rect, QirvTheme::layered(accent, wash));
}

void innerBorder(QPainter &painter, const QRectF &rect, const FrostShape &shape, const QBrush &brush, qreal width)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(brush, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const QPainterPath outline = shape.inset(rect, width / 2);
    // In bands: a tall outline's spans would go to the engine's threads.
    paintInBands(painter, outline.boundingRect().toAlignedRect().adjusted(-2, -2, 2, 2),
                 [&](const QRect &) { painter.drawPath(outline); }, kPathBandRows);
    painter.restore();
}

void innerBorderSides(QPainter &painter, const QRectF &rect, const QRect &rows, const QBrush &brush, qreal width)
{
    if (rows.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(brush, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    painter.setPen(pen);
    painter.setClipRect(rows, Qt::IntersectClip);
    // Past the rows at both ends, so no cap falls inside them.
    const qreal top = rows.top() - 2, bottom = rows.bottom() + 3;
    const qreal half = width / 2;
    painter.drawLine(QLineF(rect.left() + half, top, rect.left() + half, bottom));
    painter.drawLine(QLineF(rect.right() - half, top, rect.right() - half, bottom));
    painter.restore();
}

void glassCardBorder(QPainter &painter, const QRectF &rect, const FrostShape &shape)
{
    QLinearGradient g(rect.topLeft(), rect.bottomRight());
    g.setColorAt(0, QColor::fromRgbF(1, 1, 1, 0.16f));
    g.setColorAt(1, QColor::fromRgbF(1, 1, 1, 0.04f));
    innerBorder(painter, rect, shape, g, 0.8);
}

void fieldBorder(QPainter &painter, const QRectF &rect, const FrostShape &shape, bool emphasized, const stage::UISkin &skin)
{
    if (emphasized) {
        QColor accent = QirvTheme::color(skin.colors.accent);
        accent.setAlphaF(accent.alphaF() * 0.45f);
        innerBorder(painter, rect, shape, accent, 1.2);
    } else {
        innerBorder(painter, rect, shape, QColor::fromRgbF(1, 1, 1, 0.12f), 0.6);
    }
}

} // namespace glass::GlassPainter
