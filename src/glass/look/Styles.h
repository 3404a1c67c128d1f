#pragma once

#include "glass/look/QirvTheme.h"
#include "stage/UISkin.h"

#include <QColor>
#include <QFont>
#include <QMargins>
#include <QObject>
#include <QPalette>

namespace stage {
class SkinStore;
}

namespace glass {

// The looks a widget is given. Built from the skin's sixteen colours; every
// text colour is legible (contrast >= 4.5 for primary text, >= 3 for the
// fainter roles) on the glass the painter puts behind it, whatever the backdrop.

struct TextStyle {
    QFont font; // pixel sized
    QColor color;
};

struct ButtonStyle {
    QFont font;
    QColor text, textDisabled;
    QColor fill, fillHover, fillPressed, fillDisabled;
    QColor stroke;
    qreal radius = 8;
    QMargins padding;
    int height = 28;
};

struct FieldStyle {
    QFont font;
    QColor text, placeholder, fill, fillFocus, stroke, strokeFocus, selection;
    qreal radius = 8;
    QMargins padding;
};

struct PanelStyle {
    QirvTheme::FrostRole role = QirvTheme::FrostRole::panel;
    qreal radius = 12;
    QColor stroke; // the hairline inside the edge
    QColor wash;   // the skin's tint over the material
};

struct Styles {
    stage::UISkin skin;
    bool light = false; // a light material with dark text

    // The glass tone text is laid out against (the material's middle), and
    // the tone at the band's edge the text colours were checked against.
    QColor glass, glassEdge;

    TextStyle title, headline, body, secondary, tertiary, caption, mono, link;
    // secondaryButton and chipButton: the names secondary and chip are taken
    // by the text style and the chip panel.
    ButtonStyle primary, secondaryButton, plain, destructive, chipButton;
    ButtonStyle tinted;         // accent label on a faint accent fill (a suggested action)
    ButtonStyle quietDestructive; // danger label on the secondary fill
    FieldStyle field;
    PanelStyle sidebar, panel, card, chip, popover, sheet;
    QColor accent, danger, success, warning, separator, selection, scrim;
    QColor focusRing; // the skin's accent, made to stand out from the glass
    QColor text, textSecondary, textTertiary; // the colours of body, secondary and tertiary

    static Styles build(const stage::UISkin &skin); // pure

    // A Fusion palette for what sits on this glass (menus, carets, plain
    // widgets): light text on the dark material, dark text on the light one.
    QPalette palette() const;
};

// Holds the Styles of the skin in use; rebuilt on the skin store's change signal.
class StyleStore : public QObject {
    Q_OBJECT
public:
    explicit StyleStore(stage::SkinStore &skins, QObject *parent = nullptr);

    stage::SkinStore &skins() const { return m_skins; }
    const Styles &styles() const { return m_styles; }

    // The desktop's wish for less motion: decorative animations stay still.
    bool reduceMotion() const { return m_reduceMotion; }
    void setReduceMotion(bool reduce);

signals:
    void changed(); // after styles() holds the new skin's values
    void reduceMotionChanged(bool reduce);

private:
    void rebuild();

    stage::SkinStore &m_skins;
    Styles m_styles;
    bool m_reduceMotion = false;
};

} // namespace glass
