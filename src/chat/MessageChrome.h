#pragma once

#include "chat/MarkdownStyle.h"
#include "glass/GlassSurface.h"
#include "stage/UISkin.h"

#include <QColor>
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
    Kind m_kind;
    double m_visibility = 0;
};

} // namespace chat
