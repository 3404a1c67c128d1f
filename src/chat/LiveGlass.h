#pragma once

#include "glass/GlassSurface.h"

namespace chat {

// The glass of the reply being written. Unlike a finished turn's bubble it
// stays on over any wallpaper, so it is held within the material's band:
// dark glass with light text in the dark skins, light glass for the skins'
// own dark text in the light ones. Only a stretch around what is exposed is
// kept as an image, so a long reply never holds one of its whole height.
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

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // The held material of a stretch of the block, kept while the backdrop,
    // the block's place and width and the look stay: a repaint under the
    // streaming text or the breathing mark is then a copy, and growth
    // within the slack below costs nothing.
    void ensureMaterial(const QRect &exposed);

    double m_visibility = 0;
    double m_opacity = 1;
    QImage m_material;
    QRect m_span; // what m_material covers, in the block's coordinates
    struct MaterialKey {
        const void *provider = nullptr;
        quint64 revision = 0;
        QPointF origin;
        int width = 0;
        qreal dpr = 1;
        double visibility = 0;
        bool light = false;
        bool operator==(const MaterialKey &) const = default;
    } m_key;
};

} // namespace chat
