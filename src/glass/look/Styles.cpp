#include "glass/look/Styles.h"

#include "glass/look/Contrast.h"
#include "stage/SkinStore.h"

namespace glass {

namespace {

// Targets a little above the thresholds, so a wash or an accent tint over
// the band's edge cannot pull text below them.
constexpr double kPrimary = 7.0;
constexpr double kSecondary = 4.5;
constexpr double kFaint = 3.6;
// A solid button's label is small (12 px): it needs the full ratio at rest.
constexpr double kSolidLabel = 4.5;

QFont font(int pixels, QFont::Weight weight = QFont::Normal)
{
    QFont f;
    f.setPixelSize(pixels);
    f.setWeight(weight);
    return f;
}

QColor alpha(QColor c, qreal opacity)
{
    return QirvTheme::withOpacity(c, opacity);
}

// top laid over base, keeping what shows through a translucent base
// (Contrast::over takes the base as opaque: a faint white fill would turn
// solid white under the pointer).
QColor layered(const QColor &top, const QColor &base)
{
    const QColor t = top.toRgb();
    const QColor b = base.toRgb();
    const double ta = t.alphaF();
    const double ba = b.alphaF() * (1 - ta);
    const double a = ta + ba;
    if (a <= 0)
        return QColor(0, 0, 0, 0);
    const auto mix = [&](double tc, double bc) { return float((tc * ta + bc * ba) / a); };
    return QColor::fromRgbF(mix(t.redF(), b.redF()), mix(t.greenF(), b.greenF()), mix(t.blueF(), b.blueF()),
                            float(a));
}

// The text colour for a solid fill: the skin's bg or text, whichever reads better.
QColor onFill(const QColor &fill, const QColor &a, const QColor &b)
{
    return Contrast::ratio(a, fill) >= Contrast::ratio(b, fill) ? a : b;
}

ButtonStyle button(const QFont &f, const QColor &text, const QColor &fill, bool light, const QColor &glass)
{
    ButtonStyle s;
    s.font = f;
    s.text = text;
    // A solid fill (an accent or danger button) that holds its label under
    // the ratio is moved away from the label at rest already, just enough;
    // the skin's colour stays where it reads.
    s.fill = fill.alpha() == 255 ? Contrast::ensure(fill, text, kSolidLabel) : fill;
    // Hover and press move the fill away from the glass tone; a solid fill
    // moves away from its label instead, so the label only gains contrast
    // under the pointer.
    const QColor towards = light ? QColor(0, 0, 0) : QColor(255, 255, 255);
    const QColor awayFromLabel = Contrast::luminance(Contrast::over(text, s.fill)) > Contrast::luminance(s.fill)
                                     ? QColor(0, 0, 0)
                                     : QColor(255, 255, 255);
    const QColor shift = fill.alpha() == 255 ? awayFromLabel : towards;
    s.fillHover = fill.alpha() == 0 ? alpha(towards, 0.08) : layered(alpha(shift, 0.10), s.fill);
    s.fillPressed = fill.alpha() == 0 ? alpha(towards, 0.14) : layered(alpha(shift, 0.20), s.fill);
    s.fillDisabled = alpha(towards, 0.05);
    s.textDisabled = Contrast::ensure(alpha(text, 0.5), glass, 2.0);
    s.stroke = alpha(towards, 0.12);
    s.padding = QMargins(12, 4, 12, 4);
    return s;
}

PanelStyle panelStyle(QirvTheme::FrostRole role, qreal radius, const stage::UISkin &skin, bool light)
{
    PanelStyle p;
    p.role = role;
    p.radius = radius;
    p.stroke = light ? QColor::fromRgbF(0, 0, 0, 0.10f) : QColor::fromRgbF(1, 1, 1, 0.14f);
    p.wash = QirvTheme::wash(role, skin);
    return p;
}

} // namespace

Styles Styles::build(const stage::UISkin &skin)
{
    Styles s;
    s.skin = skin;
    s.light = skin.isLight();
    const QirvTheme::MaterialBand band = QirvTheme::materialBand(s.light);
    s.glass = Contrast::over(QirvTheme::wash(QirvTheme::FrostRole::panel, skin), band.tone);
    s.glassEdge = band.edge;

    const auto c = [&](const QString &hex) { return QirvTheme::color(hex); };
    // Every text colour is checked against both the middle and the edge of the band.
    const auto legible = [&](const QColor &fg, double ratio) {
        return Contrast::ensure(Contrast::ensure(fg, s.glassEdge, ratio), s.glass, ratio);
    };
    s.text = legible(c(skin.colors.text), kPrimary);
    s.textSecondary = legible(c(skin.colors.textSecondary), kSecondary);
    s.textTertiary = legible(c(skin.colors.textTertiary), kFaint);
    s.accent = c(skin.colors.accent);
    s.danger = legible(c(skin.colors.danger), kSecondary);
    s.success = legible(c(skin.colors.success), kSecondary);
    s.warning = legible(s.light ? QColor(0xB2, 0x6A, 0x00) : QColor(0xFF, 0x9E, 0x38), kSecondary);
    s.separator = s.light ? QColor::fromRgbF(0, 0, 0, 0.10f) : QColor::fromRgbF(1, 1, 1, 0.08f);
    s.selection = alpha(s.accent, 0.30);
    s.focusRing = legible(s.accent, kFaint);
    s.scrim = s.light ? QColor::fromRgbF(0, 0, 0, 0.28f) : QColor::fromRgbF(0, 0, 0, 0.45f);

    s.title = {font(20, QFont::DemiBold), s.text};
    s.headline = {font(13, QFont::DemiBold), s.text};
    s.body = {font(13), s.text};
    s.secondary = {font(12), s.textSecondary};
    s.tertiary = {font(11), s.textTertiary};
    s.caption = {font(10), s.textSecondary};
    QFont mono = font(12);
    mono.setFamily(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::Monospace);
    s.mono = {mono, s.text};
    s.link = {font(13), legible(s.accent, kSecondary)};

    const QColor bg = c(skin.colors.bg);
    const QColor solidAccent = Contrast::over(s.accent, s.glass);
    s.primary = button(font(12, QFont::DemiBold), onFill(solidAccent, Contrast::over(bg, s.glass), s.text), solidAccent,
                       s.light, s.glass);
    s.secondaryButton = button(font(12), s.text, s.light ? alpha(Qt::black, 0.06) : alpha(Qt::white, 0.08), s.light, s.glass);
    s.plain = button(font(12), s.text, Qt::transparent, s.light, s.glass);
    s.plain.stroke = Qt::transparent;
    const QColor solidDanger = Contrast::over(c(skin.colors.danger), s.glass);
    s.destructive = button(font(12, QFont::DemiBold), onFill(solidDanger, QColor(255, 255, 255), QColor(0, 0, 0)),
                           solidDanger, s.light, s.glass);
    s.tinted = button(font(12), s.link.color, alpha(s.accent, s.light ? 0.12 : 0.16), s.light, s.glass);
    s.tinted.stroke = alpha(s.accent, 0.4);
    s.quietDestructive = s.secondaryButton;
    s.quietDestructive.text = s.danger;
    s.chipButton = button(font(11), s.textSecondary, QirvTheme::wash(QirvTheme::FrostRole::chip, skin), s.light, s.glass);
    s.chipButton.radius = 11;
    s.chipButton.height = 22;
    s.chipButton.padding = QMargins(10, 2, 10, 2);

    s.field.font = font(13);
    s.field.text = s.text;
    s.field.placeholder = s.textTertiary;
    s.field.fill = QirvTheme::wash(QirvTheme::FrostRole::field, skin);
    s.field.fillFocus = Contrast::over(alpha(s.light ? Qt::white : Qt::black, 0.10), Contrast::over(s.field.fill, s.glass));
    s.field.stroke = s.light ? QColor::fromRgbF(0, 0, 0, 0.14f) : QColor::fromRgbF(1, 1, 1, 0.12f);
    s.field.strokeFocus = alpha(s.accent, 0.45);
    s.field.selection = s.selection;
    s.field.radius = 8;
    s.field.padding = QMargins(10, 6, 10, 6);

    using Role = QirvTheme::FrostRole;
    s.sidebar = panelStyle(Role::sidebar, 12, skin, s.light);
    s.panel = panelStyle(Role::panel, 12, skin, s.light);
    s.card = panelStyle(Role::card, 16, skin, s.light);
    s.chip = panelStyle(Role::chip, 11, skin, s.light);
    s.popover = panelStyle(Role::card, 16, skin, s.light);
    s.sheet = panelStyle(Role::card, 16, skin, s.light);
    return s;
}

QPalette Styles::palette() const
{
    return QirvTheme::palette({.window = glass,
                               .text = text,
                               .placeholder = textTertiary,
                               .base = Contrast::over(field.fill, glass),
                               .raised = Contrast::over(secondaryButton.fill, glass),
                               .highlight = Contrast::over(selection, glass),
                               .highlightedText = text,
                               .link = link.color,
                               .brightText = light ? Qt::black : Qt::white,
                               .disabledHighlight = std::nullopt});
}

StyleStore::StyleStore(stage::SkinStore &skins, QObject *parent)
    : QObject(parent)
    , m_skins(skins)
    , m_styles(Styles::build(skins.current()))
{
    connect(&skins, &stage::SkinStore::changed, this, &StyleStore::rebuild);
    connect(&skins, &stage::SkinStore::selectedIDChanged, this, &StyleStore::rebuild);
    connect(&skins, &stage::SkinStore::skinsChanged, this, &StyleStore::rebuild);
}

void StyleStore::setReduceMotion(bool reduce)
{
    if (reduce == m_reduceMotion)
        return;
    m_reduceMotion = reduce;
    emit reduceMotionChanged(reduce);
}

void StyleStore::rebuild()
{
    const stage::UISkin current = m_skins.current();
    if (current == m_styles.skin)
        return;
    m_styles = Styles::build(current);
    emit changed();
}

} // namespace glass
