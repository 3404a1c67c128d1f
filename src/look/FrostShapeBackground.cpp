#include "look/FrostShapeBackground.h"

#include "look/GlassPainter.h"

#include <QPainter>

namespace look {

FrostShapeBackground::FrostShapeBackground(QirvTheme::FrostRole role, FrostShape shape, bool stroke,
                                           bool strokeStrong, QWidget *parent, SkinStore *skins)
    : GlassSurface(parent, skins)
    , m_role(role)
    , m_shape(shape)
    , m_stroke(stroke)
    , m_strokeStrong(strokeStrong)
{
}

FrostShapeBackground *FrostShapeBackground::install(QWidget *host, QirvTheme::FrostRole role, FrostShape shape,
                                                    bool stroke, bool strokeStrong, SkinStore *skins)
{
    auto *background = new FrostShapeBackground(role, shape, stroke, strokeStrong, host, skins);
    attachToHost(background, host, HostFollower::Placement::behind);
    return background;
}

void FrostShapeBackground::setRole(QirvTheme::FrostRole role)
{
    m_role = role;
    update();
}

void FrostShapeBackground::setShape(FrostShape shape)
{
    m_shape = shape;
    update();
}

void FrostShapeBackground::setStroke(bool stroke, bool strong)
{
    m_stroke = stroke;
    m_strokeStrong = strong;
    update();
}

void FrostShapeBackground::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const BackdropLocation where = backdrop();
    GlassPainter::frostShape(p, QRectF(rect()), m_shape, m_role, m_stroke, m_strokeStrong, skin(),
                             where.provider ? &where.provider->backdropFrame() : nullptr, where.origin);
}

FrostPanelBackground::FrostPanelBackground(QirvTheme::FrostRole role, QWidget *parent, SkinStore *skins)
    : GlassSurface(parent, skins)
    , m_role(role)
{
}

FrostPanelBackground *FrostPanelBackground::install(QWidget *host, QirvTheme::FrostRole role, SkinStore *skins)
{
    auto *background = new FrostPanelBackground(role, host, skins);
    attachToHost(background, host, HostFollower::Placement::behind);
    return background;
}

void FrostPanelBackground::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const BackdropLocation where = backdrop();
    GlassPainter::frostPanel(p, QRectF(rect()), m_role, skin(),
                             where.provider ? &where.provider->backdropFrame() : nullptr, where.origin);
}

VisualEffectView::VisualEffectView(QirvTheme::WindowMaterial material, BlendingMode blendingMode, State state,
                                   QWidget *parent, SkinStore *skins)
    : GlassSurface(parent, skins)
    , m_material(material)
    , m_blendingMode(blendingMode)
    , m_state(state)
{
}

void VisualEffectView::setMaterial(QirvTheme::WindowMaterial material)
{
    m_material = material;
    update();
}

void VisualEffectView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    QPainterPath all;
    all.addRect(QRectF(rect()));
    const BackdropLocation where = backdrop();
    GlassPainter::visualEffect(p, all, m_material, where.provider ? &where.provider->backdropFrame() : nullptr,
                               where.origin);
}

} // namespace look
