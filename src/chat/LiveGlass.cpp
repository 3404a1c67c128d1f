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
    connect(&styles, &glass::StyleStore::changed, this, [this] { m_material = QImage(); });
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

void LiveGlass::ensureMaterial(const QRect &exposed)
{
    const glass::BackdropLocation where = backdrop();
    const glass::BackdropFrame *frame = where.provider ? &where.provider->backdropFrame() : nullptr;
    const qreal dpr = devicePixelRatioF();
    const bool light = isLight();
    const MaterialKey key{where.provider, frame ? frame->revision : 0, where.origin, width(), dpr, m_visibility, light};
    if (key == m_key && !m_material.isNull() && m_span.contains(exposed))
        return;
    m_key = key;
    // Slack above and below: a few lines of growth or scrolling reuse it.
    constexpr int kSlack = 128;
    m_span = QRect(0, exposed.top() - kSlack, width(), exposed.height() + 2 * kSlack) & rect();
    m_material = QImage((QSizeF(m_span.size()) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    m_material.setDevicePixelRatio(dpr);
    m_material.fill(Qt::transparent);
    {
        QPainter layer(&m_material);
        layer.translate(-m_span.topLeft());
        const QRectF r(m_span);
        // The stage the material lies on, then the bubble's own material:
        // the dark skins keep their bubble, the light ones get a pale frost;
        // the accent wash goes under the hold too, as on a finished bubble.
        if (frame)
            glass::paintBackdrop(layer, *frame, where.origin, r);
        else
            layer.fillRect(r, light ? QColor(236, 236, 240) : QColor(16, 16, 20));
        if (light)
            layer.fillRect(r, QColor(242, 242, 245, int(110 * m_visibility)));
        else
            MessageChrome::paintMaterial(layer, r, MessageChrome::materialOpacity(m_visibility), frame, where.origin);
        layer.fillRect(r, MessageChrome::assistantFill(m_visibility, skin()));
    }
    glass::GlassMaterial::holdInBand(m_material, light);
}

void LiveGlass::paintEvent(QPaintEvent *event)
{
    if (m_visibility <= 0.01 || m_opacity <= 0) {
        m_material = QImage();
        return;
    }
    const QRect exposed = event->rect() & rect();
    if (exposed.isEmpty())
        return;
    ensureMaterial(exposed);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(std::min(m_opacity, 1.0));
    const QRectF whole(rect());
    const QRectF drawn = MessageChrome::shapeInView(whole, QRectF(exposed));
    p.save();
    p.setClipPath(MessageChrome::bubbleShape(drawn), Qt::IntersectClip);
    p.drawImage(m_span.topLeft(), m_material);
    p.restore();
    MessageChrome::assistantDecoration(p, whole, m_visibility, skin(), drawn);
    if (isLight()) // the white rim is lost on light glass: a dark hairline instead
        glass::GlassPainter::innerBorder(p, drawn, glass::FrostShape::roundedRectangle(kRadius), styles().card.stroke, 1.0);
}

} // namespace chat
