#pragma once

#include "glass/paint/HairlineRule.h"

#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <QMargins>

namespace glass {
class StyleStore;
struct Styles;
} // namespace glass

namespace chat {

// The building blocks of the composer's tray: the
// capsule context chip, the round icon button, the popover row and the
// fills. Colours are read from the style values at each paint, so a skin
// change recolours them at once.

// The glow value a chip is drawn with: NaN and anything below 0 count as 0,
// anything above 1 as 1.
double clampedGlow(double introGlow);

struct ChipColors {
    QColor border;
    QColor content;
    friend bool operator==(const ChipColors &, const ChipColors &) = default;
};

// The first rule that applies: warning, emphasized, glowing (g > 0.02), resting.
ChipColors contextChipColors(const glass::Styles &styles, bool emphasized, double introGlow, bool warning);

// The fill of a round tray element: the accent at 0.22 when active, the
// skin's elevated colour at 0.28 at rest.
QColor trayFill(const glass::Styles &styles, bool active);

// The resting rim of chips and round buttons: white 0.14 on dark glass,
// black 0.10 on the light glass of light skins (white would vanish there).
QColor trayRim(const glass::Styles &styles);

// The system font of the tray at a pixel size and weight.
QFont trayFont(const glass::Styles &styles, int pixels, QFont::Weight weight = QFont::Normal);

// A help text shown as written: one that Qt would take for rich text (a
// folder or model id holding "<b>" or "<img ...>") is escaped instead.
QString plainToolTip(const QString &text);

// Paints a symbol of resources/icons, centred in box, in one colour.
void paintTraySymbol(QPainter &p, const QString &name, const QRectF &box, const QColor &color);

// The same, through the last image a widget drew: the composer's tray is
// painted again whenever the list scrolls under it, and rendering a symbol
// reads and draws its file each time.
class TraySymbolImage {
public:
    void paint(QPainter &p, const QString &name, const QRectF &box, const QColor &color);

private:
    QString m_name;
    QSizeF m_size;
    QRgb m_color = 0;
    qreal m_dpr = 0;
    QImage m_image;
};

// The outline of a tray element (a round button's disc and rim, a chip's
// capsule rim), drawn once per look and copied after: an antialiased round
// shape makes several spans a row, which the raster engine shares out to
// its thread pool, and the tray is painted again with every frame of a
// video stage. The opacity is part of the look: the layers are laid at it
// one over the other, as they would be drawn directly.
class TrayOutlineImage {
public:
    struct Look {
        QSize size;
        bool round = true; // a disc, else a capsule with no fill
        QRgb fill = 0;
        QRgb rim = 0;
        qreal opacity = 1;
        bool operator==(const Look &) const = default;
    };
    void paint(QPainter &p, const Look &look);
    // Drawn directly, as the picture holds it.
    static void draw(QPainter &p, const Look &look);

private:
    Look m_look;
    qreal m_dpr = 0;
    QImage m_image;
};

// A capsule chip: a symbol and a one-line title on chip glass, never
// stretched or cut. Only the capsule takes presses; Tab reaches it, and
// Return or Space presses it then.
class ContextChip : public QAbstractButton {
    Q_OBJECT
public:
    ContextChip(glass::StyleStore &styles, QWidget *parent = nullptr);

    void setSymbol(const QString &symbol);
    QString symbol() const { return m_symbol; }
    void setLook(bool emphasized, double introGlow, bool warning);
    ChipColors colors() const;
    // A title wider than this is cut with an ellipsis (0: never cut).
    void setMaximumTitleWidth(int pixels);
    QString shownTitle() const;
    // The title as drawn: cut again with an ellipsis when a narrow column
    // squeezes the chip below its size hint, instead of clipped mid-letter.
    QString paintedTitle() const;

    QSize sizeHint() const override;
    // Its symbol alone: a narrow row squeezes the title away first.
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool hitButton(const QPoint &pos) const override;

private:
    void restyle();

    glass::StyleStore &m_styles;
    QString m_symbol;
    TraySymbolImage m_symbolImage;
    TrayOutlineImage m_outline;
    int m_maxTitleWidth = 0;
    bool m_emphasized = false;
    double m_glow = 0;
    bool m_warning = false;
};

// A 26 x 26 round button: a symbol in the tint on a filled disc with a rim.
// Tab reaches it, and Return or Space presses it then.
class TrayIconButton : public QAbstractButton {
    Q_OBJECT
public:
    TrayIconButton(glass::StyleStore &styles, QWidget *parent = nullptr);

    void setSymbol(const QString &symbol);
    QString symbol() const { return m_symbol; }
    void setTint(const QColor &tint);
    QColor tint() const { return m_tint; }
    void setFill(const QColor &fill);
    QColor fill() const { return m_fill; }
    // Invalid: the resting rim.
    void setRim(const QColor &rim);
    void setSymbolPixelSize(int pixels);
    // The whole button drawn at this opacity.
    void setOpacity(qreal opacity);
    qreal opacity() const { return m_opacity; }

    QSize sizeHint() const override { return {26, 26}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool hitButton(const QPoint &pos) const override;
    // A checkable one shows the state it is given: a click asks for the
    // change, which comes back through setChecked once it is made.
    void nextCheckState() override {}

private:
    glass::StyleStore &m_styles;
    QString m_symbol;
    TraySymbolImage m_symbolImage;
    TrayOutlineImage m_outline;
    QColor m_tint;
    QColor m_fill;
    QColor m_rim;
    int m_symbolPixels = 13;
    qreal m_opacity = 1.0;
};

// One labelled action across the whole width of a tray popover; the whole
// padded row takes presses.
class TrayPopoverRow : public QAbstractButton {
    Q_OBJECT
public:
    TrayPopoverRow(const QString &title, const QString &symbol, glass::StyleStore &styles, QWidget *parent = nullptr);

    void setSymbol(const QString &symbol);
    QString symbol() const { return m_symbol; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont font() const;

    glass::StyleStore &m_styles;
    QString m_symbol;
    TraySymbolImage m_symbolImage;
};

// A line of text in a popover, in one of the style's text colours, with
// its own insets.
class TrayText : public QWidget {
    Q_OBJECT
public:
    using Color = QColor (*)(const glass::Styles &);
    TrayText(const QString &text, int pixels, QFont::Weight weight, Color color, glass::StyleStore &styles,
             QWidget *parent = nullptr);
    QString text() const { return m_text; }
    void setInsets(QMargins insets);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

    static QColor tertiary(const glass::Styles &s);
    static QColor primary(const glass::Styles &s);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont font() const;

    glass::StyleStore &m_styles;
    QString m_text;
    int m_pixels;
    QFont::Weight m_weight;
    Color m_color;
    QMargins m_insets;
};

// The separator of a popover: a hairline at 0.35 of the separator tone.
class TrayDivider : public glass::HairlineRule {
    Q_OBJECT
public:
    TrayDivider(glass::StyleStore &styles, QWidget *parent = nullptr);
};

} // namespace chat
