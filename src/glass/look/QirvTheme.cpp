#include "glass/look/QirvTheme.h"

#include "glass/look/Contrast.h"

#include "stage/SkinHex.h"

namespace glass::QirvTheme {

double washOpacity(FrostRole role)
{
    switch (role) {
    case FrostRole::sidebar: return 0.14;
    case FrostRole::panel: return 0.14;
    case FrostRole::field: return 0.26;
    case FrostRole::chip: return 0.12;
    case FrostRole::card: return 0.18;
    }
    return 0.14;
}

WindowMaterial windowMaterial(FrostRole role)
{
    switch (role) {
    case FrostRole::sidebar: return WindowMaterial::sidebar;
    case FrostRole::panel: return WindowMaterial::headerView;
    case FrostRole::field: return WindowMaterial::popover;
    case FrostRole::chip: return WindowMaterial::menu;
    case FrostRole::card: return WindowMaterial::hudWindow;
    }
    return WindowMaterial::sidebar;
}

FillMaterial fillMaterial(FrostRole role)
{
    switch (role) {
    case FrostRole::field: return FillMaterial::thin;
    case FrostRole::chip: return FillMaterial::ultraThin;
    case FrostRole::sidebar:
    case FrostRole::panel:
    case FrostRole::card: return FillMaterial::regular;
    }
    return FillMaterial::regular;
}

QColor color(const QString &skinHex)
{
    return stage::colorFromSkinHex(skinHex);
}

QColor wash(FrostRole role, const stage::UISkin &skin)
{
    return withOpacity(color(skin.colors.elevated), washOpacity(role));
}

QColor withOpacity(QColor c, qreal opacity)
{
    c.setAlphaF(float(c.alphaF() * opacity));
    return c;
}

QColor layered(const QColor &top, const QColor &under)
{
    const QColor t = top.toRgb(), u = under.toRgb();
    const double at = t.alphaF(), au = u.alphaF() * (1 - at);
    const double a = at + au;
    if (a <= 0)
        return QColor(0, 0, 0, 0);
    const auto mix = [&](double ct, double cu) { return float((ct * at + cu * au) / a); };
    return QColor::fromRgbF(mix(t.redF(), u.redF()), mix(t.greenF(), u.greenF()), mix(t.blueF(), u.blueF()), float(a));
}

QLinearGradient accentGradient(const QRectF &rect, const stage::UISkin &skin)
{
    QLinearGradient g(rect.topLeft(), rect.bottomRight());
    g.setColorAt(0, color(skin.colors.accentGradientStart));
    g.setColorAt(1, color(skin.colors.accentGradientEnd));
    return g;
}

MaterialBand materialBand(bool light)
{
    // Grey values: the edge of the dark band still lets a dark wallpaper
    // glow through; the light band stays well above mid grey.
    if (light)
        return {QColor(238, 239, 242), QColor(198, 199, 203)};
    return {QColor(26, 27, 31), QColor(62, 63, 68)};
}

QPalette palette(const PaletteTones &t)
{
    QPalette p;
    p.setColor(QPalette::Window, t.window);
    p.setColor(QPalette::WindowText, t.text);
    p.setColor(QPalette::Base, t.base);
    p.setColor(QPalette::AlternateBase, t.raised);
    p.setColor(QPalette::Text, t.text);
    p.setColor(QPalette::PlaceholderText, t.placeholder);
    p.setColor(QPalette::Button, t.raised);
    p.setColor(QPalette::ButtonText, t.text);
    p.setColor(QPalette::BrightText, t.brightText);
    p.setColor(QPalette::Highlight, t.highlight);
    p.setColor(QPalette::HighlightedText, t.highlightedText);
    p.setColor(QPalette::Link, t.link);
    p.setColor(QPalette::ToolTipBase, t.raised);
    p.setColor(QPalette::ToolTipText, t.text);
    p.setColor(QPalette::Light, t.raised.lighter(130));
    p.setColor(QPalette::Midlight, t.raised.lighter(115));
    p.setColor(QPalette::Mid, t.raised.darker(120));
    p.setColor(QPalette::Dark, t.window.darker(130));
    p.setColor(QPalette::Shadow, Qt::black);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, t.placeholder);
    if (t.disabledHighlight)
        p.setColor(QPalette::Disabled, QPalette::Highlight, *t.disabledHighlight);
    return p;
}

QPalette applicationPalette(const stage::UISkin &skin)
{
    // The skin's colours over an opaque ground of its own kind, so every
    // role is opaque even for skins whose colours carry an opacity.
    const bool light = skin.isLight();
    const QColor bg = Contrast::over(color(skin.colors.bg), light ? QColor(250, 250, 252) : QColor(12, 12, 14));
    const auto on = [&bg](const QString &hex) { return Contrast::over(color(hex), bg); };
    const QColor base = on(skin.colors.elevated);
    const QColor raised = Contrast::over(color(skin.colors.elevated2), base);
    // Text is drawn on the window, on fields and on buttons and tooltips alike.
    const auto legible = [&](const QString &hex, double ratio) {
        QColor c = on(hex);
        for (const QColor &ground : {bg, base, raised})
            c = Contrast::ensure(c, ground, ratio);
        return c;
    };
    // A selected menu item: the accent, under whichever of white and black
    // reads better, moved away from it as far as the small text needs.
    QColor highlight = on(skin.colors.accent);
    const QColor highlightedText =
        Contrast::ratio(Qt::white, highlight) >= Contrast::ratio(Qt::black, highlight) ? QColor(Qt::white) : QColor(Qt::black);
    highlight = Contrast::ensure(highlight, highlightedText, 4.5);
    QColor link = on(skin.colors.accent);
    for (const QColor &ground : {bg, base})
        link = Contrast::ensure(link, ground, 3.0);
    return palette({.window = bg,
                    .text = legible(skin.colors.text, 7.0),
                    .placeholder = legible(skin.colors.textTertiary, 3.0),
                    .base = base,
                    .raised = raised,
                    .highlight = highlight,
                    .highlightedText = highlightedText,
                    .link = link,
                    .brightText = light ? Qt::black : Qt::white,
                    .disabledHighlight = on(skin.colors.textSecondary)});
}

} // namespace glass::QirvTheme
