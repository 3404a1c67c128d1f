#include "chat/transcript/LiveGlass.h"

#include "glass/paint/BackdropSheet.h"
#include "glass/paint/PaintBands.h"
#include "glass/look/QirvTheme.h"
#include "glass/look/Styles.h"

#include <QPaintEvent>
#include <QPainter>

namespace chat {

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

QRegion LiveGlass::solidRegion() const
{
    if (m_visibility <= 0.01 || m_opacity < 1)
        return {};
    return MessageChrome::straightRows(size());
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
    const MessageChrome::TurnGlass look = turnGlass();
    glass::BackdropSheet *sheet = glass::BackdropSheet::find(this);
    if (sheet)
        MessageChrome::prepareFromSheet(*sheet, this, exposed, look);
    // The decorated glass is kept (WashedRows) and copied. A frame of
    // streaming repaints the whole bubble whenever the list follows a new
    // line, and shaping the ends, or washing the glass again, cost more than
    // all the rest of the bubble.
    const QRect straight = sheet ? MessageChrome::straightRows(size()) : QRect();
    const WashedRows::Decor decor{m_visibility, skin(), isLight() ? styles().card.stroke : QColor()};
    // In bands: the raster engine would hand each tall fill to its thread
    // pool, and a frame of streaming has several.
    const bool kept = sheet && m_opacity >= 1 && WashedRows::suits(devicePixelRatioF());
    glass::paintInBands(p, exposed, [&](const QRect &band) {
        const auto [above, plain, below] = MessageChrome::aroundStraightRows(band, straight);
        if (kept) {
            m_washed.paintStraight(p, *sheet, this, plain, look, decor);
            for (const QRect &end : {above, below})
                if (!m_washed.paintEnd(p, *sheet, this, end, look, decor))
                    paintRows(p, sheet, end, look, decor);
            return;
        }
        if (!plain.isEmpty()) {
            // Fading, the glass and the wash each at the opacity; or drawn
            // afresh at a fractional scale.
            MessageChrome::copyStraightFromSheet(p, *sheet, this, plain, look);
            decor.paintStraight(p, QRectF(rect()), plain);
        }
        paintRows(p, sheet, above, look, decor);
        paintRows(p, sheet, below, look, decor);
    });
}

void LiveGlass::hideEvent(QHideEvent *event)
{
    glass::GlassSurface::hideEvent(event);
    m_washed.clear();
}

void LiveGlass::paintRows(QPainter &p, glass::BackdropSheet *sheet, const QRect &rows,
                          const MessageChrome::TurnGlass &look, const WashedRows::Decor &decor)
{
    if (rows.isEmpty())
        return;
    p.save();
    p.setClipRect(rows, Qt::IntersectClip);
    const QRectF drawn = MessageChrome::shapeInView(QRectF(rect()), QRectF(rows));
    if (sheet) {
        MessageChrome::paintFromSheet(p, *sheet, this, rows, drawn, look);
    } else {
        const glass::BackdropLocation where = backdrop();
        p.save();
        p.setClipPath(MessageChrome::bubbleShape(drawn), Qt::IntersectClip);
        MessageChrome::paintGlass(p, drawn, look, where.provider ? &where.provider->backdropFrame() : nullptr,
                                  where.origin);
        p.restore();
    }
    decor.paintShaped(p, QRectF(rect()), drawn);
    p.restore();
}

} // namespace chat
