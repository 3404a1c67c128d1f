#include "glass/QirvTheme.h"

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

namespace {

// A skin colour laid over an opaque base, so palette roles stay opaque even
// for skins whose colours carry their own opacity.
QColor over(const QColor &top, const QColor &base)
{
    const float a = top.alphaF();
    return QColor::fromRgbF(top.redF() * a + base.redF() * (1 - a), top.greenF() * a + base.greenF() * (1 - a),
                            top.blueF() * a + base.blueF() * (1 - a));
}

} // namespace

QPalette darkPalette(const stage::UISkin &skin)
{
    const QColor bg = over(color(skin.colors.bg), QColor(12, 12, 14));
    const QColor raised = over(color(skin.colors.elevated), bg);
    const QColor raised2 = over(color(skin.colors.elevated2), bg);
    const QColor text = over(color(skin.colors.text), bg);
    const QColor secondary = over(color(skin.colors.textSecondary), bg);
    const QColor tertiary = over(color(skin.colors.textTertiary), bg);
    const QColor accent = over(color(skin.colors.accent), bg);

    QPalette p;
    p.setColor(QPalette::Window, bg);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, raised);
    p.setColor(QPalette::AlternateBase, raised2);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::PlaceholderText, tertiary);
    p.setColor(QPalette::Button, raised2);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Highlight, accent);
    p.setColor(QPalette::HighlightedText, bg);
    p.setColor(QPalette::Link, accent);
    p.setColor(QPalette::ToolTipBase, raised2);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Light, raised2.lighter(130));
    p.setColor(QPalette::Midlight, raised2.lighter(115));
    p.setColor(QPalette::Mid, raised2.darker(120));
    p.setColor(QPalette::Dark, bg.darker(130));
    p.setColor(QPalette::Shadow, Qt::black);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, tertiary);
    p.setColor(QPalette::Disabled, QPalette::Highlight, secondary);
    return p;
}

} // namespace glass::QirvTheme
