#pragma once

#include "chat/MarkdownStyle.h"
#include "glass/GlassSurface.h"
#include "stage/UISkin.h"

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QRectF>

class QPainter;

namespace glass {
class StyleStore;
struct Styles;
} // namespace glass

namespace chat {

// The shared look of chat turns, driven by one bubble visibility: 0 with
// the wallpaper off, else (0.55 - veil) / 0.55 clamped to 0...1. Above 0.5
// the bubbles are glass over the wallpaper with light text; otherwise the
// skin's own text colours are used.
namespace MessageChrome {

double bubbleVisibility(bool wallpaperOn, double overlayOpacity);
QColor assistantTextColor(double visibility, const stage::UISkin &skin);
QColor assistantSecondaryColor(double visibility, const stage::UISkin &skin);
QColor userTextColor(double visibility, const stage::UISkin &skin);
// Draws nothing at a visibility of 0.01 or less.
void assistantBubble(QPainter &painter, const QRectF &rect, double visibility, const stage::UISkin &skin,
                     const glass::BackdropFrame *backdrop, QPointF origin);
void userBubble(QPainter &painter, const QRectF &rect, double visibility, const stage::UISkin &skin,
                const glass::BackdropFrame *backdrop, QPointF origin);
// A bubble's two layers: the material (the blurred backdrop under a dark
// tint, at materialOpacity(visibility), clipped to bubbleShape) and the
// decoration over it (colour wash and rim). The bubbles above draw both.
QPainterPath bubbleShape(const QRectF &rect);
double materialOpacity(double visibility);
// Unclipped over area; with no backdrop a dark fill stands in.
void paintMaterial(QPainter &painter, const QRectF &area, double opacity, const glass::BackdropFrame *backdrop,
                   QPointF origin);
// drawn (when valid) limits the shape to a stretch of rect, as shapeInView gives it.
void assistantDecoration(QPainter &painter, const QRectF &rect, double visibility, const stage::UISkin &skin,
                         const QRectF &drawn = {});
void userDecoration(QPainter &painter, const QRectF &rect, double visibility, const stage::UISkin &skin,
                    const QRectF &drawn = {});
// The stretch of a bubble's shape worth drawing for what is exposed: the
// ends of a bubble cut off by it stay beyond it, rounded corners and all,
// so the pixels in view are the ones the whole shape gives.
QRectF shapeInView(const QRectF &rect, const QRectF &exposed);
// The Markdown look of a turn with its text colour.
MarkdownStyle markdownStyle(const glass::Styles &styles, const QColor &ink);

} // namespace MessageChrome

// A widget that draws a turn's bubble behind its children.
class BubbleFrame : public glass::GlassSurface {
    Q_OBJECT
public:
    enum class Kind { User, Assistant };
    BubbleFrame(Kind kind, glass::StyleStore &styles, QWidget *parent = nullptr);
    void setVisibility(double visibility);
    double visibility() const { return m_visibility; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void paintDecoration(QPainter &painter, const stage::UISkin &skin, const QRectF &drawn);

    Kind m_kind;
    double m_visibility = 0;
    // The decoration depends on the size and the look only, never on where
    // the bubble stands, so it survives scrolling.
    QImage m_decoration;
    struct DecorationKey {
        QSize pixels;
        double visibility = 0;
        QRgb accent = 0, fill = 0;
        bool operator==(const DecorationKey &) const = default;
    } m_decorationKey;
};

} // namespace chat
