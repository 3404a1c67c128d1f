#pragma once

#include "glass/paint/Backdrop.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRegion>

#include <functional>
#include <vector>

class QPainter;
class QWidget;

namespace glass {

// The backdrop behind a whole area whose content scrolls (a list's
// viewport), drawn once per backdrop revision and shared by the glass
// pieces inside it. A piece moving with the scrolling then copies its part
// of the sheet instead of resampling the blurred wallpaper every frame.
// Each material (a look of its own: opacity, tint) is one layer of the
// sheet, drawn only where a piece asked for it.
class BackdropSheet : public QObject {
    Q_OBJECT
public:
    // Draws a material over area (host coordinates), opaquely: the layers
    // have no alpha, so a copy from them is a plain copy of rows. origin is
    // the host's top-left corner on the stage. The backdrop is null when the
    // window has no stage.
    using Draw = std::function<void(QPainter &, const BackdropFrame *backdrop, QPointF origin, const QRectF &area)>;

    // Becomes a child of host.
    explicit BackdropSheet(QWidget *host);

    QWidget *host() const { return m_host; }
    // The sheet of the nearest ancestor of widget that holds one; null if none.
    static BackdropSheet *find(const QWidget *widget);

    // Paints the layer of material behind widget (a descendant of the
    // host) over area, in widget coordinates; the painter's clip and
    // opacity apply. Materials are told apart by their key.
    void paint(QPainter &painter, const QWidget *widget, const QRect &area, quint64 material, const Draw &draw);
    // Draws what is missing of the layer behind area without painting it:
    // a piece about to copy its part in several strokes has it drawn in
    // one, so a material with a cost per stroke pays it once.
    void prepare(const QWidget *widget, const QRect &area, quint64 material, const Draw &draw);

    // Layers drawn since the sheet was made (for tests and benchmarks).
    int layerDraws() const { return m_layerDraws; }
    // Moves whenever a layer loses what it held (the stage moved, a layer
    // made room for another): a copy of a layer made before is stale then.
    quint64 generation() const { return m_generation; }

private:
    struct Key {
        const void *provider = nullptr;
        quint64 revision = 0;
        QPointF origin;
        QSize pixels;
        qreal dpr = 1;
        bool operator==(const Key &) const = default;
    };
    struct Layer {
        quint64 material = 0;
        QImage image;
        QRegion valid;
    };
    Layer &layerFor(quint64 material);
    // The layer behind area brought up to date; null when nothing of area lies on the host.
    Layer *update(const QWidget *widget, const QRect &area, quint64 material, const Draw &draw, QRect *wanted,
                  QPoint *offset);

    QPointer<QWidget> m_host;
    Key m_key;
    std::vector<Layer> m_layers; // most recently used last
    int m_layerDraws = 0;
    quint64 m_generation = 0;
};

} // namespace glass
