#pragma once

#include "glass/GlassSurface.h"

namespace chat {

// The glass of the reply being written. Unlike a finished turn's bubble it
// stays on over any wallpaper, so it is held within the material's band:
// dark glass with light text in the dark skins, light glass for the skins'
// own dark text in the light ones. Painted where exposed only, so a long
// reply never holds an image of its whole height.
class LiveGlass : public glass::GlassSurface {
    Q_OBJECT
public:
    explicit LiveGlass(glass::StyleStore &styles, QWidget *parent = nullptr);

    // Paints nothing at 0.01 or less.
    void setVisibility(double visibility);
    double visibility() const { return m_visibility; }
    // The glass is light (the light skins): text takes the skin's checked colours.
    bool isLight() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double m_visibility = 0;
};

} // namespace chat
