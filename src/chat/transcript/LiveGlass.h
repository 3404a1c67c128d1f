#pragma once

#include "chat/transcript/MessageChrome.h"
#include "glass/GlassSurface.h"

#include <QImage>

#include <optional>

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

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // The decoration and border of the part of the bubble the list shows,
    // kept as one picture per size, place and skin: a frame of streaming
    // copies its glass from the list's sheet and this picture under the few
    // lines of text that changed, instead of filling and stroking the whole
    // shape again.
    // The part of the bubble the picture holds, brought up to date; none
    // when exposed is to be drawn directly.
    std::optional<QRect> cachedDecoration(glass::BackdropSheet *sheet, const QRect &exposed);
    void paintDecoration(QPainter &p, const QRectF &drawn);

    double m_visibility = 0;
    double m_opacity = 1;
    struct DecorationKey {
        QSize size;
        QRect shown;
        QRgb accent = 0, stroke = 0;
        bool light = false;
        double visibility = 0;
        qreal dpr = 1;
        bool operator==(const DecorationKey &) const = default;
    };
    DecorationKey m_decorationKey;
    QImage m_decoration;
};

} // namespace chat
