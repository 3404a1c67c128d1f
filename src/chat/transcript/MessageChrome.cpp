#include "chat/transcript/MessageChrome.h"

#include "glass/paint/Backdrop.h"
#include "glass/paint/BackdropSheet.h"
#include "glass/look/Contrast.h"
#include "glass/paint/FrostShape.h"
#include "glass/paint/GlassMaterial.h"
#include "glass/paint/GlassPainter.h"
#include "glass/paint/PaintBands.h"
#include "glass/look/QirvTheme.h"
#include "glass/look/Styles.h"

#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>
#include <optional>

namespace chat {

namespace {

using glass::QirvTheme::color;
using glass::QirvTheme::withOpacity;

// The material's tints: what lies behind shows through them, blurred.
const QColor kDarkTint(24, 24, 30, 110);
const QColor kLightTint(242, 242, 245, 110);

void glassIn(QPainter &p, const QPainterPath &shape, const MessageChrome::TurnGlass &look,
             const glass::BackdropFrame *backdrop, QPointF origin)
{
    p.save();
    p.setClipPath(shape, Qt::IntersectClip);
    MessageChrome::paintGlass(p, shape.boundingRect(), look, backdrop, origin);
    p.restore();
}

QColor assistantRim(double v);

// rect: the whole bubble; drawn: the stretch of its shape that is drawn.
void assistantDecor(QPainter &p, const QRectF &rect, const QRectF &drawn, double v, const stage::UISkin &skin)
{
    const glass::FrostShape shape = glass::FrostShape::roundedRectangle(MessageChrome::kBubbleRadius);
    const QPainterPath path = shape.path(drawn);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(path, MessageChrome::assistantGradient(rect, v, skin));
    glass::GlassPainter::innerBorder(p, drawn, shape, assistantRim(v), 0.6);
    p.restore();
}

} // namespace

QLinearGradient MessageChrome::assistantGradient(const QRectF &rect, double v, const stage::UISkin &skin)
{
    const QColor accent = color(skin.colors.accent);
    QLinearGradient gradient(rect.topLeft(), rect.bottomRight());
    gradient.setColorAt(0, withOpacity(accent, 0.12 * v));
    gradient.setColorAt(1, withOpacity(accent, 0.04 * v));
    return gradient;
}

namespace {

QColor assistantRim(double v)
{
    return withOpacity(Qt::white, 0.10 * v);
}

void userDecor(QPainter &p, const QRectF &drawn, double v)
{
    const glass::FrostShape shape = glass::FrostShape::roundedRectangle(MessageChrome::kBubbleRadius);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    glass::GlassPainter::innerBorder(p, drawn, shape, withOpacity(Qt::white, 0.12 * v), 0.6);
    p.restore();
}

} // namespace

double MessageChrome::materialOpacity(double v)
{
    return 0.78 * v;
}

quint64 MessageChrome::TurnGlass::key() const
{
    // The opacity in millionths takes 20 bits; the colour sits above the light bit.
    return (quint64(fill.rgba()) << 21) | (quint64(light) << 20) | quint64(std::llround(opacity * 1e6) & 0xFFFFF);
}

bool MessageChrome::readsOnLightGlass(const QColor &ink)
{
    const auto on = [&](bool light) {
        const QColor edge = glass::QirvTheme::materialBand(light).edge;
        return glass::Contrast::ratio(glass::Contrast::over(ink, edge), edge);
    };
    return on(true) > on(false);
}

QColor MessageChrome::assistantFill(double v, const stage::UISkin &skin)
{
    return withOpacity(color(skin.colors.accent), 0.16 * v);
}

QColor MessageChrome::userFill(double v, const stage::UISkin &skin)
{
    return withOpacity(color(skin.colors.userBubble), 0.55 * v);
}

MessageChrome::TurnGlass MessageChrome::assistantGlass(double v, const stage::UISkin &skin)
{
    return {readsOnLightGlass(assistantTextColor(v, skin)), materialOpacity(v), assistantFill(v, skin)};
}

MessageChrome::TurnGlass MessageChrome::userGlass(double v, const stage::UISkin &skin)
{
    return {readsOnLightGlass(userTextColor(v, skin)), materialOpacity(v), userFill(v, skin)};
}

void MessageChrome::paintGlass(QPainter &p, const QRectF &area, const TurnGlass &look,
                               const glass::BackdropFrame *backdrop, QPointF origin)
{
    if (area.isEmpty())
        return;
    // Held at an eighth of the size: the blurred backdrop and the flat tints
    // carry nothing finer, and holding costs per pixel. The grid is the
    // stage's, so stretches painted apart (a sheet's regions, a bubble on its
    // own) sample the same pixels and meet without a seam; one cell of margin
    // keeps the smooth scaling inside the image.
    constexpr int kStep = 8;
    const QRectF onStage = area.translated(origin);
    const QPoint first(int(std::floor(onStage.left() / kStep)) - 1, int(std::floor(onStage.top() / kStep)) - 1);
    const QPoint last(int(std::ceil(onStage.right() / kStep)) + 1, int(std::ceil(onStage.bottom() / kStep)) + 1);
    QImage small(last.x() - first.x(), last.y() - first.y(), QImage::Format_ARGB32_Premultiplied);
    const QRectF covered(QPointF(first * kStep) - origin, QSizeF(small.size() * kStep));
    {
        QPainter s(&small);
        s.scale(1.0 / kStep, 1.0 / kStep);
        s.translate(-covered.topLeft());
        if (backdrop)
            glass::paintBackdrop(s, *backdrop, origin, covered);
        else
            s.fillRect(covered, glass::QirvTheme::materialBand(look.light).tone);
        const QColor tint = look.light ? kLightTint : kDarkTint;
        s.fillRect(covered, withOpacity(tint, tint.alphaF() * std::clamp(look.opacity, 0.0, 1.0)));
        if (look.fill.alpha() > 0)
            s.fillRect(covered, look.fill);
    }
    glass::GlassMaterial::holdInBand(small, look.light);
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setClipRect(area, Qt::IntersectClip);
    p.drawImage(covered, small);
    p.restore();
}

double MessageChrome::bubbleVisibility(bool wallpaperOn, double overlayOpacity)
{
    if (!wallpaperOn)
        return 0;
    const double v = (0.55 - overlayOpacity) / 0.55;
    if (!(v > 0)) // also not a number
        return 0;
    return std::min(v, 1.0);
}

double MessageChrome::liveBubbleVisibility(bool wallpaperOn, double overlayOpacity)
{
    return std::max(bubbleVisibility(wallpaperOn, overlayOpacity), wallpaperOn ? 0.85 : 0.0);
}

QColor MessageChrome::assistantTextColor(double v, const stage::UISkin &skin)
{
    if (v > 0.5)
        return withOpacity(Qt::white, 0.9);
    return skin.isLight() ? color(QStringLiteral("#1A1A22")) : color(skin.colors.text);
}

QColor MessageChrome::assistantSecondaryColor(double v, const stage::UISkin &skin)
{
    if (v > 0.5)
        return withOpacity(Qt::white, 0.7);
    return skin.isLight() ? color(QStringLiteral("#4A4A58")) : color(skin.colors.textSecondary);
}

QColor MessageChrome::userTextColor(double v, const stage::UISkin &skin)
{
    if (v > 0.5)
        return withOpacity(color(skin.colors.text), 0.92);
    return skin.isLight() ? color(QStringLiteral("#1A1A22")) : color(skin.colors.text);
}

QPainterPath MessageChrome::bubbleShape(const QRectF &rect)
{
    return glass::FrostShape::roundedRectangle(MessageChrome::kBubbleRadius).path(rect);
}

QRectF MessageChrome::shapeInView(const QRectF &rect, const QRectF &exposed)
{
    constexpr qreal kBeyond = MessageChrome::kBubbleRadius + 4;
    QRectF drawn = rect;
    // A cut end lies out of sight, and a real end keeps room for both its
    // corners: a few rows exposed at the very end would otherwise get a
    // shape too short for its radius.
    const qreal top = std::min(exposed.top() - kBeyond, rect.bottom() - 2 * kBeyond);
    const qreal bottom = std::max(exposed.bottom() + kBeyond, rect.top() + 2 * kBeyond);
    if (top > rect.top())
        drawn.setTop(top);
    if (bottom < rect.bottom())
        drawn.setBottom(bottom);
    return drawn.height() > 0 ? drawn : rect;
}

void MessageChrome::assistantDecoration(QPainter &p, const QRectF &rect, double v, const stage::UISkin &skin,
                                        const QRectF &drawn)
{
    if (v > 0.01)
        assistantDecor(p, rect, drawn.isValid() ? drawn : rect, v, skin);
}

QRect MessageChrome::straightRows(const QSize &bubble)
{
    // Rows that touch a corner's curve (an antialiased row included) are not straight.
    const int end = int(std::ceil(MessageChrome::kBubbleRadius)) + 1;
    if (bubble.height() <= 2 * end)
        return {};
    return QRect(0, end, bubble.width(), bubble.height() - 2 * end);
}

std::array<QRect, 3> MessageChrome::aroundStraightRows(const QRect &area, const QRect &straight)
{
    if (straight.isEmpty())
        return {area, QRect(), QRect()};
    const auto rows = [&](int top, int bottom) {
        return bottom < top ? QRect() : area & QRect(area.left(), top, area.width(), bottom - top + 1);
    };
    return {rows(area.top(), straight.top() - 1), rows(straight.top(), straight.bottom()),
            rows(straight.bottom() + 1, area.bottom())};
}

void MessageChrome::assistantDecorationStraight(QPainter &p, const QRectF &rect, const QRect &part, double v,
                                                const stage::UISkin &skin)
{
    if (v <= 0.01 || part.isEmpty())
        return;
    p.save();
    p.setClipRect(part, Qt::IntersectClip);
    // Whole pixels inside the shape: the fill the shape gets there, unshaped.
    p.fillRect(part, MessageChrome::assistantGradient(rect, v, skin));
    glass::GlassPainter::innerBorderSides(p, rect, part, assistantRim(v), 0.6);
    p.restore();
}

void MessageChrome::userDecoration(QPainter &p, const QRectF &rect, double v, const QRectF &drawn)
{
    if (v > 0.01)
        userDecor(p, drawn.isValid() ? drawn : rect, v);
}

void MessageChrome::assistantBubble(QPainter &p, const QRectF &rect, double v, const stage::UISkin &skin,
                                    const glass::BackdropFrame *backdrop, QPointF origin)
{
    if (v <= 0.01)
        return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    glassIn(p, bubbleShape(rect), assistantGlass(v, skin), backdrop, origin);
    assistantDecor(p, rect, rect, v, skin);
    p.restore();
}

void MessageChrome::userBubble(QPainter &p, const QRectF &rect, double v, const stage::UISkin &skin,
                               const glass::BackdropFrame *backdrop, QPointF origin)
{
    if (v <= 0.01)
        return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    glassIn(p, bubbleShape(rect), userGlass(v, skin), backdrop, origin);
    userDecor(p, rect, v);
    p.restore();
}

namespace {

glass::BackdropSheet::Draw sheetDraw(const MessageChrome::TurnGlass &look)
{
    return [look](QPainter &layer, const glass::BackdropFrame *frame, QPointF origin, const QRectF &r) {
        MessageChrome::paintGlass(layer, r, look, frame, origin);
    };
}

} // namespace

void MessageChrome::prepareFromSheet(glass::BackdropSheet &sheet, const QWidget *bubble, const QRect &exposed,
                                     const TurnGlass &look)
{
    sheet.prepare(bubble, exposed, look.key(), sheetDraw(look));
}

void MessageChrome::copyStraightFromSheet(QPainter &p, glass::BackdropSheet &sheet, const QWidget *bubble,
                                          const QRect &part, const TurnGlass &look)
{
    sheet.paint(p, bubble, part, look.key(), sheetDraw(look));
}

void MessageChrome::paintFromSheet(QPainter &p, glass::BackdropSheet &sheet, const QWidget *bubble,
                                   const QRect &exposed, const QRectF &drawn, const TurnGlass &look)
{
    const glass::BackdropSheet::Draw draw = sheetDraw(look);
    // The held glass of all that is exposed at once: holding has a cost per
    // stroke (a margin around it), the copies below have none.
    sheet.prepare(bubble, exposed, look.key(), draw);
    const auto material = [&](const QRect &area, bool shaped) {
        if (area.isEmpty())
            return;
        p.save();
        if (shaped) {
            p.setRenderHint(QPainter::Antialiasing);
            p.setClipRect(area, Qt::IntersectClip);
            // The engine rasterises a clip over all of its path: only the
            // stretch of the shape around these rows, the same there.
            QRectF near = shapeInView(QRectF(bubble->rect()), QRectF(area));
            near.setTop(std::max(near.top(), drawn.top()));
            near.setBottom(std::min(near.bottom(), drawn.bottom()));
            p.setClipPath(bubbleShape(near), Qt::IntersectClip);
        }
        sheet.paint(p, bubble, area, look.key(), draw);
        p.restore();
    };
    // Only the rounded ends need the shape's clip; between them the shape
    // is the plain rectangle, copied straight (a clipped copy costs several
    // times as much).
    const auto [above, straight, below] = aroundStraightRows(exposed, straightRows(bubble->size()));
    material(above, true);
    material(straight, false);
    material(below, true);
}

MarkdownStyle MessageChrome::markdownStyle(const glass::Styles &styles, const QColor &ink, qreal lineSpacing)
{
    const stage::SkinColors &c = styles.skin.colors;
    MarkdownStyle st;
    st.body = styles.body.font;
    st.body.setPixelSize(15);
    st.lineSpacing = lineSpacing;
    st.mono = styles.mono.font;
    st.mono.setPixelSize(12);
    st.label = styles.caption.font;
    st.label.setWeight(QFont::DemiBold);
    st.ink = ink;
    st.link = styles.link.color.isValid() ? styles.link.color : color(c.accent);
    // Light text means glass over the wallpaper: the link is lightened to match.
    if (ink.lightnessF() > 0.7 && st.link.lightnessF() < 0.6)
        st.link = QColor::fromHslF(st.link.hslHueF(), st.link.hslSaturationF(), 0.75);
    st.codeText = color(c.text);
    st.codeHeaderFill = withOpacity(color(c.elevated2), 0.65);
    st.codeFill = withOpacity(color(c.elevated), 0.9);
    // A skin whose cards are nearly clear leaves the header on the turn's
    // glass: a label too faint for that glass's band is moved away from it
    // just far enough.
    st.codeLabel = color(c.textSecondary);
    {
        using glass::Contrast::over;
        // The band's edge under the assistant's accent wash at its thickest.
        const QColor edge = over(withOpacity(color(c.accent), 0.12),
                                 glass::QirvTheme::materialBand(readsOnLightGlass(ink)).edge);
        const QColor header = over(st.codeHeaderFill, over(st.codeFill, edge));
        constexpr double kGoal = 3.2;
        if (glass::Contrast::ratio(over(st.codeLabel, header), header) < kGoal)
            st.codeLabel = glass::Contrast::ensure(st.codeLabel, header, kGoal);
    }
    st.codeStroke = withOpacity(Qt::white, 0.1);
    st.selection = styles.selection;
    st.rule = color(c.border);
    st.cacheTag = QStringLiteral("%1|%2|%3|%4|%5")
                      .arg(styles.skin.id, ink.name(QColor::HexArgb), st.body.toString(), st.mono.toString())
                      .arg(lineSpacing);
    return st;
}

BubbleFrame::BubbleFrame(Kind kind, glass::StyleStore &styles, QWidget *parent)
    : glass::GlassSurface(styles, parent), m_kind(kind)
{
}

void BubbleFrame::setVisibility(double visibility)
{
    m_visibility = visibility;
    setShown(visibility, visibility, 0, visibility > 0.01 ? 1 : 0);
    update();
}

void BubbleFrame::setShown(double look, double next, double mix, double opacity)
{
    if (look == m_look && next == m_next && mix == m_mix && opacity == m_opacity)
        return;
    m_look = look;
    m_next = next;
    m_mix = mix;
    m_opacity = opacity;
    update();
}

QRegion BubbleFrame::solidRegion() const
{
    if (m_opacity < 1 || m_look <= 0.01)
        return {};
    return MessageChrome::straightRows(size());
}

void BubbleFrame::paintEvent(QPaintEvent *event)
{
    if (m_opacity <= 0)
        return;
    QPainter p(this);
    const stage::UISkin &s = skin();
    const qreal opacity = std::min(m_opacity, 1.0);
    // The next look over this one, cross-fading: each look is a layer of
    // its own, drawn once and copied at every frame.
    const bool blending = m_mix > 0 && m_next != m_look;
    const std::pair<double, qreal> looks[] = {{m_look, opacity}, {m_next, blending ? opacity * m_mix : 0}};
    glass::BackdropSheet *sheet = glass::BackdropSheet::find(this);
    if (!sheet) {
        const glass::BackdropLocation where = backdrop();
        const glass::BackdropFrame *frame = where.provider ? &where.provider->backdropFrame() : nullptr;
        for (const auto &[v, alpha] : looks) {
            if (alpha <= 0)
                continue;
            p.setOpacity(alpha);
            if (m_kind == Kind::Assistant)
                MessageChrome::assistantBubble(p, QRectF(rect()), v, s, frame, where.origin);
            else
                MessageChrome::userBubble(p, QRectF(rect()), v, s, frame, where.origin);
        }
        return;
    }
    // In a scrolling list the material comes from the list's sheet: one copy
    // per bubble a frame instead of resampling the wallpaper. A bubble much
    // taller than the view (a long reply) shapes only the stretch in view.
    const QRect exposed = event->rect() & rect();
    // Each look's material once a paint, not once a band: it weighs the
    // text's contrast on both kinds of glass.
    std::optional<MessageChrome::TurnGlass> glasses[2];
    for (int i = 0; i < 2; ++i)
        if (looks[i].first > 0.01 && looks[i].second > 0) {
            glasses[i] = turnGlass(s, looks[i].first);
            MessageChrome::prepareFromSheet(*sheet, this, exposed, *glasses[i]);
        }
    // In bands: the raster engine would hand each tall copy to its thread
    // pool, which costs more than the copy.
    glass::paintInBands(p, exposed, [&](const QRect &band) {
        const QRectF drawn = MessageChrome::shapeInView(QRectF(rect()), QRectF(band));
        for (int i = 0; i < 2; ++i) {
            if (!glasses[i])
                continue;
            p.setOpacity(looks[i].second);
            MessageChrome::paintFromSheet(p, *sheet, this, band, drawn, *glasses[i]);
        }
        // The faint decoration changes over at half way, drawn once per look.
        p.setOpacity(opacity);
        paintDecoration(p, s, drawn, blending && m_mix >= 0.5 ? m_next : m_look);
    });
}

MessageChrome::TurnGlass BubbleFrame::turnGlass(const stage::UISkin &skin, double look) const
{
    const auto glassAt = [&](double v) {
        return m_kind == Kind::Assistant ? MessageChrome::assistantGlass(v, skin) : MessageChrome::userGlass(v, skin);
    };
    // Held for the text's colour, whichever look is drawn.
    MessageChrome::TurnGlass held = glassAt(look);
    held.light = glassAt(m_visibility).light;
    return held;
}

void BubbleFrame::paintDecoration(QPainter &p, const stage::UISkin &s, const QRectF &drawn, double v)
{
    // Kept as an image up to a few screens' worth; a taller bubble is drawn
    // where it is seen instead of holding an image of its whole height.
    constexpr int kMostCachedHeight = 1024;
    if (height() > kMostCachedHeight) {
        m_decoration = QImage();
        if (m_kind == Kind::Assistant)
            MessageChrome::assistantDecoration(p, QRectF(rect()), v, s, drawn);
        else
            MessageChrome::userDecoration(p, QRectF(rect()), v, drawn);
        return;
    }
    const qreal dpr = devicePixelRatioF();
    const DecorationKey key{(QSizeF(size()) * dpr).toSize(), v, glass::QirvTheme::color(s.colors.accent).rgba()};
    if (!(key == m_decorationKey) || m_decoration.isNull()) {
        m_decorationKey = key;
        m_decoration = QImage(key.pixels, QImage::Format_ARGB32_Premultiplied);
        m_decoration.setDevicePixelRatio(dpr);
        m_decoration.fill(Qt::transparent);
        QPainter d(&m_decoration);
        glass::paintInBands(d, rect(), [&](const QRect &band) {
            const QRectF shape = MessageChrome::shapeInView(QRectF(rect()), QRectF(band));
            if (m_kind == Kind::Assistant)
                MessageChrome::assistantDecoration(d, QRectF(rect()), v, s, shape);
            else
                MessageChrome::userDecoration(d, QRectF(rect()), v, shape);
        });
    }
    p.drawImage(QPointF(0, 0), m_decoration);
}

} // namespace chat
