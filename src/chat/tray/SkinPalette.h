#pragma once

#include "stage/UISkin.h"

#include <QAbstractButton>

namespace glass {
class StyleStore;
}

namespace chat {

// The name on a tile: at the full size when it fits, else at 0.8 of it,
// else cut with an ellipsis. Returns the pixel size used.
int skinNamePixelSize(const QFont &base, const QString &name, int width, QString *shown = nullptr);

// The skin palette: a grid of every skin the store loaded, each tile a
// miniature in that skin's own colours, the chosen one ticked. Pressing a
// tile selects its skin; the popover stays open and recolours at once.
// The keyboard starts on the skin in use.
class SkinPalettePopover : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 320;

    explicit SkinPalettePopover(glass::StyleStore &styles, QWidget *parent = nullptr);

    // The tile of the skin in use (the first one when none is ticked).
    QWidget *selectedTile() const;
};

// One tile: the chrome in the colours of the skin in use, the miniature in
// the tile skin's own.
class SkinTile : public QAbstractButton {
    Q_OBJECT
public:
    SkinTile(const stage::UISkin &skin, glass::StyleStore &styles, QWidget *parent = nullptr);
    const stage::UISkin &skin() const { return m_skin; }
    bool isSelected() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    // Checked tells a screen reader which row is ticked; a click asks for the
    // choice and the tick follows the store, not the click.
    void nextCheckState() override {}

private:
    glass::StyleStore &m_styles;
    stage::UISkin m_skin;
};

} // namespace chat
