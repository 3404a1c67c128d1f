#pragma once

#include "stage/UISkin.h"

#include <QColor>
#include <QLinearGradient>
#include <QPalette>
#include <QRectF>

#include <optional>

namespace glass {

// The glass theme: the surface roles with their tints, and the colours every
// glass piece reads from the skin in use each time it draws.
namespace QirvTheme {

// Roles of glass surfaces, in this order.
enum class FrostRole { sidebar, panel, field, chip, card };

// What the blurred backdrop is tinted with (a visual-effect view's material)
// and which translucent fill lies over it, thinnest to thickest.
enum class WindowMaterial { sidebar, headerView, popover, menu, hudWindow };
enum class FillMaterial { ultraThin, thin, regular };

double washOpacity(FrostRole role);
WindowMaterial windowMaterial(FrostRole role);
FillMaterial fillMaterial(FrostRole role);

// The skin's elevated colour at the role's wash opacity.
QColor wash(FrostRole role, const stage::UISkin &skin);

// A skin colour string as a colour (the one conversion every view uses).
QColor color(const QString &skinHex);

// c with its alpha scaled by opacity.
QColor withOpacity(QColor c, qreal opacity);

// Two flat colours laid one over the other, as one colour: filling with it
// once gives what filling with under, then top, gives.
QColor layered(const QColor &top, const QColor &under);

// From accentGradientStart (top leading) to accentGradientEnd (bottom trailing) over rect.
QLinearGradient accentGradient(const QRectF &rect, const stage::UISkin &skin);

// How dark (dark material) or light (light material, for light skins) the
// glass is held whatever lies behind it: the material's own tone, and the
// edge of the band the painted glass never crosses. Text colours are chosen
// against the edge, so they stay legible over any backdrop.
struct MaterialBand {
    QColor tone;
    QColor edge;
};
MaterialBand materialBand(bool light);

// The tones a palette is built from; every other role follows from them.
struct PaletteTones {
    QColor window, text, placeholder; // placeholder is also disabled text
    QColor base, raised;              // fields; buttons, alternate rows, tooltips
    QColor highlight, highlightedText, link, brightText;
    std::optional<QColor> disabledHighlight;
};
QPalette palette(const PaletteTones &tones);

// The application's palette (menus, dialogs, tooltips and the stock
// widgets): the skin's own colours, light under a light skin and dark
// under a dark one, laid over an opaque ground of the skin's kind, with
// every text role held legible on the fills it is drawn on.
QPalette applicationPalette(const stage::UISkin &skin);

} // namespace QirvTheme
} // namespace glass
