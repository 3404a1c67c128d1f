#pragma once

#include "chat/transcript/MessageChrome.h"
#include "chat/transcript/WashedRows.h"
#include "glass/paint/GlassSurface.h"


namespace glass {
class BackdropSheet;
}

namespace chat {

// The glass of the reply being written. Unlike a finished turn's bubble it
// stays on over any wallpaper, so it is held within the material's band:
// dark glass with light text in the dark skins, light glass for the skins'
// own dark text in the light ones. In the list it copies its glass from the
// list's backdrop sheet, which stays put while the list follows the reply:
// a frame of streaming copies, it does not hold the glass again.
class LiveGlass : public glass::GlassSurface {
    Q_OBJECT
public:
    explicit LiveGlass(glass::StyleStore &styles, QWidget *parent = nullptr);

    // Paints nothing at 0.01 or less.
    void setVisibility(double visibility);
    double visibility() const { return m_visibility; }
    // Drawn at this opacity (while it comes or goes).
    void setOpacity(double opacity);
    double opacity() const { return m_opacity; }
    // The glass is light (the light skins): text takes the skin's checked colours.
    bool isLight() const;

    // The glass behind the reply: the bubble's material and fill, held in
    // the band of the text drawn on it.
    MessageChrome::TurnGlass turnGlass() const;

    // The straight rows between the bubble's ends at full opacity: its glass
    // is opaque there.
    QRegion solidRegion() const override;
    // The decorated glass kept for the straight rows (for tests).
    const WashedRows &washedRows() const { return m_washed; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    // A stretch of whole rows: the glass and the decoration over it.
    void paintRows(QPainter &p, glass::BackdropSheet *sheet, const QRect &rows, const MessageChrome::TurnGlass &look,
                   const WashedRows::Decor &decor);

    double m_visibility = 0;
    double m_opacity = 1;
    WashedRows m_washed;
};

} // namespace chat
