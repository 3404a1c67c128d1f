#include "settings/SettingsLook.h"

#include "glass/look/Contrast.h"
#include "glass/look/QirvTheme.h"

namespace settings {

namespace {

QFont pixelFont(const QFont &base, int pixels, QFont::Weight weight = QFont::Normal)
{
    QFont f = base;
    f.setPixelSize(pixels);
    f.setWeight(weight);
    return f;
}

} // namespace

QColor SettingsLook::faded(const QColor &c, qreal opacity)
{
    return glass::QirvTheme::withOpacity(c, opacity);
}

SettingsLook SettingsLook::build(const glass::Styles &styles)
{
    using glass::Contrast::ensure;
    using glass::Contrast::over;
    const auto hex = [](const QString &hexText) { return glass::QirvTheme::color(hexText); };
    const stage::SkinColors &colors = styles.skin.colors;

    SettingsLook l;
    l.skin = styles.skin;
    l.light = styles.light;
    l.bg = hex(colors.bg);
    l.elevated = over(hex(colors.elevated), l.bg);
    l.elevated2 = over(hex(colors.elevated2), l.elevated);
    l.border = hex(colors.border);
    // Checked against the darker-or-lighter of the two surfaces text sits on
    // (cards and fields), whichever is closer to the text.
    const auto legible = [&](const QColor &fg, double ratio) {
        return ensure(ensure(fg, l.elevated, ratio), l.elevated2, ratio);
    };
    l.text = legible(hex(colors.text), 4.5);
    l.textSecondary = legible(hex(colors.textSecondary), 4.5);
    l.textTertiary = legible(hex(colors.textTertiary), 3.0);
    l.accent = legible(hex(colors.accent), 3.0);
    l.success = legible(hex(colors.success), 3.0);
    l.danger = legible(hex(colors.danger), 3.0);
    l.warning = l.light ? QColor(0xC2, 0x5E, 0x00) : QColor(0xFF, 0x9F, 0x0A);

    const QFont base = styles.body.font;
    l.title = pixelFont(base, 18, QFont::DemiBold);
    l.sectionTitle = pixelFont(base, 12, QFont::DemiBold);
    l.callout = pixelFont(base, 13);
    l.subheadline = pixelFont(base, 13, QFont::Medium);
    l.caption = pixelFont(base, 11);
    l.captionBold = pixelFont(base, 11, QFont::DemiBold);
    l.caption2 = pixelFont(base, 10);
    l.code = pixelFont(styles.mono.font, 16, QFont::DemiBold);
    l.badge = pixelFont(base, 9, QFont::Bold);

    // Buttons stand on the opaque card: their fills are composed over it
    // and their labels checked against the result.
    const auto onCard = [&](glass::ButtonStyle s) {
        for (QColor *fill : {&s.fill, &s.fillHover, &s.fillPressed, &s.fillDisabled})
            *fill = over(*fill, l.elevated);
        s.text = ensure(s.text, s.fill, 4.5);
        s.textDisabled = ensure(s.textDisabled, s.fillDisabled, 2.0);
        s.height = 28;
        return s;
    };
    l.prominent = onCard(styles.primary);
    l.bordered = onCard(styles.secondaryButton);
    l.bordered.stroke = l.border;
    l.destructive = onCard(styles.secondaryButton);
    l.destructive.stroke = l.border;
    l.destructive.text = ensure(hex(colors.danger), l.destructive.fill, 4.5);
    l.plain = onCard(styles.plain);

    l.field = styles.field;
    l.field.fill = l.elevated2;
    l.field.fillFocus = l.elevated2;
    l.field.stroke = l.border;
    l.field.text = ensure(l.text, l.elevated2, 4.5);
    l.field.placeholder = ensure(hex(colors.textTertiary), l.elevated2, 3.0);
    return l;
}

} // namespace settings
