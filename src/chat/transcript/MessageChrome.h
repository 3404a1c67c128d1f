#pragma once

#include <array>

#include "chat/markdown/MarkdownStyle.h"
#include "glass/paint/GlassSurface.h"
#include "stage/UISkin.h"

#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRectF>

class QPainter;

namespace glass {
class BackdropSheet;
class StyleStore;
struct Styles;
} // namespace glass

namespace chat {

// The shared look of chat turns, driven by one bubble visibility: 0 with
// the wallpaper off, else (0.55 - veil) / 0.55 clamped to 0...1. Above 0.5
// the bubbles are glass over the wallpaper with light text; otherwise the
// skin's own text colours are used. Whatever the text colour, the glass
// behind it is held in the material band that colour reads on.
namespace MessageChrome {

// The glass behind a turn's text: the blurred backdrop under the
// material's tint and the turn's own colour, then held within the band.
struct TurnGlass {
    bool light = false;  // light glass, for dark text
    double opacity = 0;  // the material's tint
    QColor fill;         // the turn's colour over the material
    // Tells the looks apart (the layers of a backdrop sheet).
    quint64 key() const;
    bool operator==(const TurnGlass &) const = default;
};

double bubbleVisibility(bool wallpaperOn, double overlayOpacity);
// The reply being written: at least 0.85 with the wallpaper on, whatever
// its veil; 0 with it off.
double liveBubbleVisibility(bool wallpaperOn, double overlayOpacity);
QColor assistantTextColor(double visibility, const stage::UISkin &skin);
QColor assistantSecondaryColor(double visibility, const stage::UISkin &skin);
QColor userTextColor(double visibility, const stage::UISkin &skin);
// Whether ink reads better on the light band than on the dark one.
bool readsOnLightGlass(const QColor &ink);
TurnGlass assistantGlass(double visibility, const stage::UISkin &skin);
TurnGlass userGlass(double visibility, const stage::UISkin &skin);
// The assistant's wash over its glass: the accent, thinning from the
// bubble's top left to its bottom right.
QLinearGradient assistantGradient(const QRectF &rect, double visibility, const stage::UISkin &skin);
// The turns' flat colours over their material.
QColor assistantFill(double visibility, const stage::UISkin &skin);
QColor userFill(double visibility, const stage::UISkin &skin);
// The held glass over area, opaque whatever lies behind; with no backdrop
// a plain tone of the band stands in. Unclipped.
void paintGlass(QPainter &painter, const QRectF &area, const TurnGlass &look, const glass::BackdropFrame *backdrop,
                QPointF origin);
// Draws nothing at a visibility of 0.01 or less.
void assistantBubble(QPainter &painter, const QRectF &rect, double visibility, const stage::UISkin &skin,
                     const glass::BackdropFrame *backdrop, QPointF origin);
void userBubble(QPainter &painter, const QRectF &rect, double visibility, const stage::UISkin &skin,
                const glass::BackdropFrame *backdrop, QPointF origin);
// The bubbles' corner.
inline constexpr qreal kBubbleRadius = 18;
// A bubble's two layers: the held glass (paintGlass, clipped to
// bubbleShape) and the decoration over it (the assistant's gradient, the
// rim). The bubbles above draw both.
QPainterPath bubbleShape(const QRectF &rect);
double materialOpacity(double visibility);
// drawn (when valid) limits the shape to a stretch of rect, as shapeInView gives it.
void assistantDecoration(QPainter &painter, const QRectF &rect, double visibility, const stage::UISkin &skin,
                         const QRectF &drawn = {});
void userDecoration(QPainter &painter, const QRectF &rect, double visibility, const QRectF &drawn = {});
// The stretch of a bubble's shape worth drawing for what is exposed: the
// ends of a bubble cut off by it stay beyond it, rounded corners and all,
// so the pixels in view are the ones the whole shape gives.
QRectF shapeInView(const QRectF &rect, const QRectF &exposed);
// The held glass of bubble (inside a scrolling list) over exposed, copied
// from the list's backdrop sheet, so scrolling and growing only copy:
// drawn is the stretch of the shape to clip to (shapeInView).
void paintFromSheet(QPainter &painter, glass::BackdropSheet &sheet, const QWidget *bubble, const QRect &exposed,
                    const QRectF &drawn, const TurnGlass &look);
// The rows of a bubble of this size between its rounded ends, full width:
// there its shape is the plain rectangle. Empty for a bubble too short.
QRect straightRows(const QSize &bubble);
// area cut at those rows: the rows above them, among them and below them
// (each empty where area has none). Without straight rows, all of it above.
std::array<QRect, 3> aroundStraightRows(const QRect &area, const QRect &straight);
// The assistant's decoration over part (within straightRows of rect) as
// plain fills and lines: the pixels assistantDecoration gives there, without
// filling and stroking the rounded shape.
void assistantDecorationStraight(QPainter &painter, const QRectF &rect, const QRect &part, double visibility,
                                 const stage::UISkin &skin);
// The held glass over part (within straightRows) copied from the sheet
// unshaped: there the shape covers whole pixels.
void copyStraightFromSheet(QPainter &painter, glass::BackdropSheet &sheet, const QWidget *bubble, const QRect &part,
                           const TurnGlass &look);
// Has the sheet hold that glass over exposed at once, for a bubble about to
// copy it in several bands (holding costs a margin per stroke).
void prepareFromSheet(glass::BackdropSheet &sheet, const QWidget *bubble, const QRect &exposed, const TurnGlass &look);
// The Markdown look of a turn with its text colour: replies have 6 px
// between lines, the person's bubbles kUserLineSpacing.
inline constexpr qreal kReplyLineSpacing = 6;
inline constexpr qreal kUserLineSpacing = 5;
MarkdownStyle markdownStyle(const glass::Styles &styles, const QColor &ink, qreal lineSpacing = kReplyLineSpacing);

} // namespace MessageChrome

// A widget that draws a turn's bubble behind its children.
class BubbleFrame : public glass::GlassSurface {
    Q_OBJECT
public:
    enum class Kind { User, Assistant };
    BubbleFrame(Kind kind, glass::StyleStore &styles, QWidget *parent = nullptr);
    // The visibility the bubble's text is coloured for; the bubble is drawn
    // at it, whole, until setShown() says otherwise.
    void setVisibility(double visibility);
    double visibility() const { return m_visibility; }
    // While the visibility changes: the look drawn now at an opacity, and
    // the next look over it at mix of that opacity. The glass stays held
    // for the text's colour.
    void setShown(double look, double next, double mix, double opacity);
    double shownLook() const { return m_look; }
    double shownNext() const { return m_next; }
    double shownMix() const { return m_mix; }
    double shownOpacity() const { return m_opacity; }
    // The straight rows between the ends while the shown look is drawn at full opacity.
    QRegion solidRegion() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void paintDecoration(QPainter &painter, const stage::UISkin &skin, const QRectF &drawn, double look);
    MessageChrome::TurnGlass turnGlass(const stage::UISkin &skin, double look) const;

    Kind m_kind;
    double m_visibility = 0;
    double m_look = 0;
    double m_next = 0;
    double m_mix = 0;
    double m_opacity = 0;
    // The decoration depends on the size and the look only, never on where
    // the bubble stands, so it survives scrolling.
    QImage m_decoration;
    struct DecorationKey {
        QSize pixels;
        double visibility = 0;
        QRgb accent = 0;
        bool operator==(const DecorationKey &) const = default;
    } m_decorationKey;
};

} // namespace chat
