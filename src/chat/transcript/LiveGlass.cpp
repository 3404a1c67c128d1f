#include "chat/transcript/LiveGlass.h"

#include "glass/BackdropSheet.h"
#include "glass/FrostShape.h"
#include "glass/GlassPainter.h"
#include "glass/PaintBands.h"
#include "glass/QirvTheme.h"
#include "glass/Styles.h"

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
    const MessageChrome::TurnGlass look = turnGlass();
    glass::BackdropSheet *sheet = glass::BackdropSheet::find(this);
    const std::optional<QRect> shown = cachedDecoration(sheet, exposed);
    if (!shown)
        m_decoration = QImage();
    if (sheet)
        MessageChrome::prepareFromSheet(*sheet, this, exposed, look);
    // In bands: the raster engine would hand each tall fill to its thread
    // pool, and a frame of streaming has several.
    glass::paintInBands(p, exposed, [&](const QRect &band) {
        const QRectF drawn = MessageChrome::shapeInView(whole, QRectF(band));
        if (sheet) {
            MessageChrome::paintFromSheet(p, *sheet, this, band, drawn, look);
        } else {
            const glass::BackdropLocation where = backdrop();
            p.save();
            p.setClipPath(MessageChrome::bubbleShape(drawn), Qt::IntersectClip);
            MessageChrome::paintGlass(p, drawn, look, where.provider ? &where.provider->backdropFrame() : nullptr,
                                      where.origin);
            p.restore();
        }
        if (shown)
            p.drawImage(QRectF(band), m_decoration,
                        QRectF(QPointF(band.topLeft() - shown->topLeft()) * m_decorationKey.dpr,
                               QSizeF(band.size()) * m_decorationKey.dpr));
        else
            paintDecoration(p, drawn);
    });
}

void LiveGlass::paintDecoration(QPainter &p, const QRectF &drawn)
{
    MessageChrome::assistantDecoration(p, QRectF(rect()), m_visibility, skin(), drawn);
    if (isLight()) // the white rim is lost on light glass: a dark hairline instead
        glass::GlassPainter::innerBorder(p, drawn, glass::FrostShape::roundedRectangle(kRadius), styles().card.stroke, 1.0);
}

std::optional<QRect> LiveGlass::cachedDecoration(glass::BackdropSheet *sheet, const QRect &exposed)
{
    // Only in a list, and at full opacity: a fade draws each layer at its
    // opacity, which a flattened picture would not.
    if (!sheet || !sheet->host() || m_opacity < 1)
        return std::nullopt;
    const QRect shown = rect() & sheet->host()->rect().translated(-mapTo(sheet->host(), QPoint()));
    if (!shown.contains(exposed))
        return std::nullopt;
    const glass::Styles &s = styles();
    const DecorationKey key{size(),
                            shown,
                            glass::QirvTheme::color(s.skin.colors.accent).rgba(),
                            s.card.stroke.rgba(),
                            isLight(),
                            m_visibility,
                            devicePixelRatioF()};
    if (!(key == m_decorationKey) || m_decoration.isNull()) {
        m_decorationKey = key;
        m_decoration = QImage((QSizeF(shown.size()) * key.dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
        m_decoration.setDevicePixelRatio(key.dpr);
        m_decoration.fill(Qt::transparent);
        QPainter d(&m_decoration);
        d.setRenderHint(QPainter::Antialiasing);
        d.translate(-shown.topLeft());
        glass::paintInBands(d, shown, [&](const QRect &band) {
            paintDecoration(d, MessageChrome::shapeInView(QRectF(rect()), QRectF(band)));
        });
    }
    return shown;
}

} // namespace chat
