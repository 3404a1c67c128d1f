#include "chat/LiveGlass.h"

#include "glass/BackdropSheet.h"
#include "glass/FrostShape.h"
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

void LiveGlass::setOpacity(double opacity)
{
    if (opacity == m_opacity)
        return;
    m_opacity = opacity;
    update();
}

bool LiveGlass::isLight() const
{
    return styles().light;
}

MessageChrome::TurnGlass LiveGlass::turnGlass() const
{
    // The dark skins keep their bubble's material; the light ones get a
    // pale frost as thick as the reply is visible. The accent wash goes
    // under the hold too, as on a finished bubble.
    const bool light = isLight();
    return {light, light ? m_visibility : MessageChrome::materialOpacity(m_visibility),
            MessageChrome::assistantFill(m_visibility, skin())};
}

void LiveGlass::paintEvent(QPaintEvent *event)
{
    if (m_visibility <= 0.01 || m_opacity <= 0)
        return;
    const QRect exposed = event->rect() & rect();
    if (exposed.isEmpty())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(std::min(m_opacity, 1.0));
    const QRectF whole(rect());
    const QRectF drawn = MessageChrome::shapeInView(whole, QRectF(exposed));
    const MessageChrome::TurnGlass look = turnGlass();
    if (glass::BackdropSheet *sheet = glass::BackdropSheet::find(this)) {
        MessageChrome::paintFromSheet(p, *sheet, this, exposed, drawn, look);
    } else {
        const glass::BackdropLocation where = backdrop();
        p.save();
        p.setClipPath(MessageChrome::bubbleShape(drawn), Qt::IntersectClip);
        MessageChrome::paintGlass(p, drawn, look, where.provider ? &where.provider->backdropFrame() : nullptr,
                                  where.origin);
        p.restore();
    }
    MessageChrome::assistantDecoration(p, whole, m_visibility, skin(), drawn);
    if (isLight()) // the white rim is lost on light glass: a dark hairline instead
        glass::GlassPainter::innerBorder(p, drawn, glass::FrostShape::roundedRectangle(kRadius), styles().card.stroke, 1.0);
}

} // namespace chat
