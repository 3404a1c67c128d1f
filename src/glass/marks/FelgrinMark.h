#pragma once

#include "glass/paint/GlassSurface.h"

namespace glass {

class StyleStore;

class ShadowCache;

// The crew mark: a glowing star, shown under a finished reply. It fills a
// square of 1.6 × size.
class FelgrinMark : public QWidget {
    Q_OBJECT
public:
    enum class Style { resting, accent, hero };

    FelgrinMark(qreal size, Style style, StyleStore &styles, QWidget *parent = nullptr);

    qreal markSize() const { return m_size; }
    Style style() const { return m_style; }
    QSize sizeHint() const override;

    static QColor halo(Style style, const stage::UISkin &skin);
    static QColor starFill(Style style, const stage::UISkin &skin);
    static qreal frameSide(qreal size) { return size * 1.6; }
    static qreal haloDiameter(qreal size) { return size * 1.55; }

    // Paints the mark for size, centred in frame (frameSide(size) square).
    static void paint(QPainter &painter, const QRectF &frame, qreal size, Style style, const stage::UISkin &skin,
                      ShadowCache *cache = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    qreal m_size;
    Style m_style;
    QPointer<StyleStore> m_styles;
};

} // namespace glass
