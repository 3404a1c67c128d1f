#pragma once

#include "glass/look/Styles.h"

#include <QColor>
#include <QFont>

namespace settings {

// The settings window's colours and fonts, built from the skin in use. The
// window is opaque (the skin's elevated colour, its header the skin's bg),
// so every text colour is held legible against the surface it stands on:
// primary text at contrast >= 4.5, the fainter roles at >= 3.
struct SettingsLook {
    stage::UISkin skin; // for the glass a few controls stand on
    QColor bg, elevated, elevated2, border;
    QColor text, textSecondary, textTertiary, accent, success, danger;
    QColor warning; // the not-signed-in dot
    bool light = false;

    QFont title;       // the header
    QFont sectionTitle;
    QFont callout;
    QFont subheadline; // the sign-in status line
    QFont caption;
    QFont captionBold;
    QFont caption2;
    QFont code;        // the device code
    QFont badge;

    glass::ButtonStyle prominent, bordered, destructive, plain;
    glass::FieldStyle field;

    static SettingsLook build(const glass::Styles &styles); // pure

    // c with its alpha scaled by opacity.
    static QColor faded(const QColor &c, qreal opacity);
};

} // namespace settings
