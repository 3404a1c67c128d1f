#include "chat/LiveGlass.h"

#include "chat/MessageChrome.h"
#include "glass/FrostShape.h"
#include "glass/GlassMaterial.h"
#include "glass/GlassPainter.h"

#include <QPaintEvent>
#include <QPainter>

namespace chat {

namespace {

constexpr qreal kRadius = 18; // the bubbles' corner

} // namespace

LiveGlass::LiveGlass(glass::StyleStore &styles, QWidget *parent)
    : glass::GlassSurface(styles, parent)
{
}

void LiveGlass::setVisibility(double visibility)
{
    if (visibility == m_visibility)
        return;
    m_visibility = visibility;
    update();
}

bool LiveGlass::isLight() const
{
    return styles().light;
}

void LiveGlass::paintEvent(QPaintEvent *event)
{
    if (m_visibility <= 0.01)
        return;
    const QRect exposed = event->rect() & rect();
    if (exposed.isEmpty())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF whole(rect());
    const QRectF drawn = MessageChrome::shapeInView(whole, QRectF(exposed));
    QPainterPath area;
    area.addRect(QRectF(exposed));
    const QPainterPath clip = MessageChrome::bubbleShape(drawn).intersected(area);
    const glass::BackdropLocation where = backdrop();
    const glass::BackdropFrame *frame = where.provider ? &where.provider->backdropFrame() : nullptr;
    const bool light = isLight();
    const double opacity = MessageChrome::materialOpacity(m_visibility);
    glass::GlassMaterial::paintHeld(p, clip, light, [&](QPainter &layer) {
        const QRectF r = clip.boundingRect();
        // The stage the material lies on, then the bubble's own material:
        // the dark skins keep their bubble, the light ones get a pale frost.
        if (frame)
            glass::paintBackdrop(layer, *frame, where.origin, r);
        else
            layer.fillRect(r, light ? QColor(236, 236, 240) : QColor(16, 16, 20));
        if (light)
            layer.fillRect(r, QColor(242, 242, 245, int(110 * m_visibility)));
        else
            MessageChrome::paintMaterial(layer, r, opacity, frame, where.origin);
    });
    MessageChrome::assistantDecoration(p, whole, m_visibility, skin(), drawn);
    if (light) // the white rim is lost on light glass: a dark hairline instead
        glass::GlassPainter::innerBorder(p, drawn, glass::FrostShape::roundedRectangle(kRadius), styles().card.stroke, 1.0);
}

} // namespace chat
