#include "glass/paint/FrostShapeBackground.h"

#include "glass/paint/GlassPainter.h"

#include <QPainter>

namespace glass {

FrostShapeBackground::FrostShapeBackground(QirvTheme::FrostRole role, FrostShape shape, bool stroke,
                                           bool strokeStrong, StyleStore &styles, QWidget *parent)
    : GlassSurface(styles, parent)
    , m_role(role)
    , m_shape(shape)
    , m_stroke(stroke)
    , m_strokeStrong(strokeStrong)
{
}

FrostShapeBackground *FrostShapeBackground::install(QWidget *host, QirvTheme::FrostRole role, FrostShape shape,
                                                    bool stroke, bool strokeStrong, StyleStore &styles)
{
    auto *background = new FrostShapeBackground(role, shape, stroke, strokeStrong, styles, host->parentWidget());
    attachToHost(background, host, HostFollower::Placement::behind);
    return background;
}

void FrostShapeBackground::setShape(FrostShape shape)
{
    m_shape = shape;
    invalidate();
}

void FrostShapeBackground::setStroke(bool stroke, bool strong)
{
    m_stroke = stroke;
    m_strokeStrong = strong;
    invalidate();
}

QRegion FrostShapeBackground::solidRegion() const
{
    return m_shape.solidRegion(rect());
}

void FrostShapeBackground::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    paintCached(p, [this](QPainter &c, const BackdropFrame *backdrop, QPointF origin) {
        GlassPainter::frostShape(c, QRectF(rect()), m_shape, m_role, m_stroke, m_strokeStrong, skin(), backdrop,
                                 origin);
    });
}

FrostPanelBackground::FrostPanelBackground(QirvTheme::FrostRole role, StyleStore &styles, QWidget *parent)
    : GlassSurface(styles, parent)
    , m_role(role)
{
    // It covers every pixel of its rectangle: the stage below need not paint there.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

FrostPanelBackground *FrostPanelBackground::install(QWidget *host, QirvTheme::FrostRole role, StyleStore &styles)
{
    auto *background = new FrostPanelBackground(role, styles, host->parentWidget());
    attachToHost(background, host, HostFollower::Placement::behind);
    return background;
}

void FrostPanelBackground::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    paintCached(p, [this](QPainter &c, const BackdropFrame *backdrop, QPointF origin) {
        GlassPainter::frostPanel(c, QRectF(rect()), m_role, skin(), backdrop, origin);
    });
}

VisualEffectView::VisualEffectView(QirvTheme::WindowMaterial material, BlendingMode blendingMode, State state,
                                   StyleStore &styles, QWidget *parent)
    : GlassSurface(styles, parent)
    , m_material(material)
    , m_blendingMode(blendingMode)
    , m_state(state)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void VisualEffectView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    paintCached(p, [this](QPainter &c, const BackdropFrame *backdrop, QPointF origin) {
        QPainterPath all;
        all.addRect(QRectF(rect()));
        GlassPainter::visualEffect(c, all, m_material, skin().isLight(), backdrop, origin);
    });
}

} // namespace glass
