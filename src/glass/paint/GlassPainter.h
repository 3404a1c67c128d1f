#pragma once

#include "glass/paint/Backdrop.h"
#include "glass/paint/FrostShape.h"
#include "glass/look/QirvTheme.h"

#include <QBrush>
#include <QColor>
#include <QRectF>

class QPainter;

namespace glass {

class ShadowCache;

// The one painter of glass. Every surface is a stack of layers from the
// bottom up; these functions paint them in the surface's own coordinates.
// backdrop may be null (a window without a stage): then the layers lie over
// a dark base.
namespace GlassPainter {

// The materials, dark or (for light skins) light: a tint over the blurred
// backdrop (what a visual-effect view adds) and a translucent fill (thin to thick).
QColor windowMaterialTint(QirvTheme::WindowMaterial material, bool light = false);
QColor fillMaterialTint(QirvTheme::FillMaterial material, bool light = false);

// What lies behind, blurred, then the window material's tint, held within
// the material's band so text stays legible: a visual-effect view, within
// the window, active. Clipped to clip.
void visualEffect(QPainter &painter, const QPainterPath &clip, QirvTheme::WindowMaterial material, bool light,
                  const BackdropFrame *backdrop, QPointF origin, qreal opacity = 1.0);

// FrostShapeBackground: the visual effect clipped to the shape, the fill
// material, the wash, accent at 0.04, and (only with stroke) the inner
// hairline, white 0.2 when strong, else 0.14 (black 0.12 and 0.08 on light glass).
void frostShape(QPainter &painter, const QRectF &rect, const FrostShape &shape, QirvTheme::FrostRole role,
                bool stroke, bool strokeStrong, const stage::UISkin &skin, const BackdropFrame *backdrop, QPointF origin);

// FrostPanelBackground: the visual effect, the wash at a further 0.65, accent at 0.04.
void frostPanel(QPainter &painter, const QRectF &rect, QirvTheme::FrostRole role, const stage::UISkin &skin,
                const BackdropFrame *backdrop, QPointF origin);

// A border drawn inside shape (inset by half the width).
void innerBorder(QPainter &painter, const QRectF &rect, const FrostShape &shape, const QBrush &brush, qreal width);

// The two straight sides of innerBorder over rows (whose top and bottom
// lie between the shape's rounded corners): the same pen down the same
// lines, without stroking the whole outline for a few rows.
void innerBorderSides(QPainter &painter, const QRectF &rect, const QRect &rows, const QBrush &brush, qreal width);

// The overlays of a glass card and of a text field.
void glassCardBorder(QPainter &painter, const QRectF &rect, const FrostShape &shape);
void fieldBorder(QPainter &painter, const QRectF &rect, const FrostShape &shape, bool emphasized, const stage::UISkin &skin);

} // namespace GlassPainter
} // namespace glass
