#pragma once

#include "glass/paint/GlassSurface.h"

namespace glass {

class StyleStore;

class ShadowCache;

// Which layers of a mark to paint: a mark's shadow spills out of its frame,
// so its widget paints the body and a piece around it the shadow.
enum class MarkLayers { all, shadow, body };

// The razevu mark at any size, tinted from the skin; without its image, a
// hammer in the accent gradient.
class RazevuMark : public QWidget {
    Q_OBJECT
public:
    enum class Style { accent, primary, hero };

    // A size × size widget; the style's shadow is painted around it.
    RazevuMark(qreal size, Style style, StyleStore &styles, QWidget *parent = nullptr);

    qreal markSize() const { return m_size; }
    Style style() const { return m_style; }
    QSize sizeHint() const override;

    // Paints the mark in square (size × size). mark null: the hammer. The
    // style's shadows reach outside the square by at most shadowReach(size).
    static void paint(QPainter &painter, const QRectF &square, Style style, const QImage &mark, const stage::UISkin &skin,
                      ShadowCache *cache = nullptr, MarkLayers layers = MarkLayers::all);
    static qreal shadowReach(qreal size);

    // Every pixel of image times color (alpha included), as a colour multiply does.
    static QImage multiplied(const QImage &image, const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    qreal m_size;
    Style m_style;
    QPointer<StyleStore> m_styles;
};

} // namespace glass
