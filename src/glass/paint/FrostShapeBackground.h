#pragma once

#include "glass/paint/FrostShape.h"
#include "glass/paint/GlassSurface.h"
#include "glass/look/QirvTheme.h"

namespace glass {

// Glass in a shape: the backdrop blurred and tinted, the role's fill
// material and wash, a hint of accent and, with stroke, a hairline border.
// Used as the background of chips, capsules, cards and rows.
class FrostShapeBackground : public GlassSurface {
    Q_OBJECT
public:
    FrostShapeBackground(QirvTheme::FrostRole role, FrostShape shape, bool stroke, bool strokeStrong,
                         StyleStore &styles, QWidget *parent = nullptr);

    // Puts a background behind host's content and keeps it sized with host.
    static FrostShapeBackground *install(QWidget *host, QirvTheme::FrostRole role, FrostShape shape, bool stroke,
                                         bool strokeStrong, StyleStore &styles);

    QirvTheme::FrostRole role() const { return m_role; }
    FrostShape shape() const { return m_shape; }
    bool stroke() const { return m_stroke; }
    bool strokeStrong() const { return m_strokeStrong; }
    void setShape(FrostShape shape);
    void setStroke(bool stroke, bool strong);
    // The shape's inside: the backdrop is painted opaque there.
    QRegion solidRegion() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QirvTheme::FrostRole m_role;
    FrostShape m_shape;
    bool m_stroke;
    bool m_strokeStrong;
};

// The background of a whole panel (file tree, tool log, peek, palette).
class FrostPanelBackground : public GlassSurface {
    Q_OBJECT
public:
    FrostPanelBackground(QirvTheme::FrostRole role, StyleStore &styles, QWidget *parent = nullptr);
    static FrostPanelBackground *install(QWidget *host, QirvTheme::FrostRole role, StyleStore &styles);

    QirvTheme::FrostRole role() const { return m_role; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QirvTheme::FrostRole m_role;
};

// The blurred backdrop with a window material's tint. Only blending within
// the window exists here (nothing outside the window can be seen), and the
// look is the same in every state.
class VisualEffectView : public GlassSurface {
    Q_OBJECT
public:
    enum class BlendingMode { behindWindow, withinWindow };
    enum class State { followsWindowActiveState, active, inactive };

    VisualEffectView(QirvTheme::WindowMaterial material, BlendingMode blendingMode, State state,
                     StyleStore &styles, QWidget *parent = nullptr);

    QirvTheme::WindowMaterial material() const { return m_material; }
    BlendingMode blendingMode() const { return m_blendingMode; }
    State state() const { return m_state; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QirvTheme::WindowMaterial m_material;
    BlendingMode m_blendingMode;
    State m_state;
};

} // namespace glass
