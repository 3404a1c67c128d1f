#pragma once

#include "glass/marks/RazevuMark.h"

namespace glass {

class StyleStore;

class ShadowCache;

// The application icon at any size, optionally as a rounded tile with a
// hairline; without an icon image, the razevu mark stands in.
class AppIconMark : public QWidget {
    Q_OBJECT
public:
    // A size × size widget; the shadow is painted around it.
    AppIconMark(qreal size, bool rounded, StyleStore &styles, QWidget *parent = nullptr);

    qreal markSize() const { return m_size; }
    bool rounded() const { return m_rounded; }
    QSize sizeHint() const override;

    // Paints into square. icon null: the razevu mark (accent style), which
    // itself falls back to the hammer when mark is null too. The shadow
    // follows what is drawn (the tile as clipped) and reaches outside the
    // square by at most shadowReach(size).
    static void paint(QPainter &painter, const QRectF &square, bool rounded, const QImage &icon, const QImage &mark,
                      const stage::UISkin &skin, ShadowCache *cache = nullptr, MarkLayers layers = MarkLayers::all);
    static qreal shadowReach(qreal size);

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    qreal m_size;
    bool m_rounded;
    QPointer<StyleStore> m_styles;
};

} // namespace glass
