#include "glass/paint/BackdropSheet.h"

#include <QPainter>
#include <QWidget>

namespace glass {

namespace {
// A list shows up to three materials at a time (the user's turns, the
// assistant's and the reply being written), two more while looks
// cross-fade; each layer is as large as the host, so few are kept.
constexpr size_t kMaxLayers = 5;
} // namespace

BackdropSheet::BackdropSheet(QWidget *host)
    : QObject(host)
    , m_host(host)
{
}

BackdropSheet *BackdropSheet::find(const QWidget *widget)
{
    for (const QWidget *w = widget ? widget->parentWidget() : nullptr; w; w = w->parentWidget()) {
        if (auto *sheet = w->findChild<BackdropSheet *>(QString(), Qt::FindDirectChildrenOnly))
            return sheet;
        if (w->isWindow())
            break;
    }
    return nullptr;
}

BackdropSheet::Layer &BackdropSheet::layerFor(quint64 material)
{
    for (auto it = m_layers.begin(); it != m_layers.end(); ++it) {
        if (it->material != material)
            continue;
        if (it + 1 != m_layers.end())
            std::rotate(it, it + 1, m_layers.end());
        return m_layers.back();
    }
    if (m_layers.size() >= kMaxLayers) {
        m_layers.erase(m_layers.begin());
        ++m_generation;
    }
    Layer layer;
    layer.material = material;
    layer.image = QImage(m_key.pixels, QImage::Format_RGB32);
    layer.image.setDevicePixelRatio(m_key.dpr);
    m_layers.push_back(std::move(layer));
    return m_layers.back();
}

BackdropSheet::Layer *BackdropSheet::update(const QWidget *widget, const QRect &area, quint64 material,
                                            const Draw &draw, QRect *wanted, QPoint *offset)
{
    if (!m_host || !widget || area.isEmpty())
        return nullptr;
    const BackdropLocation where = locateBackdrop(m_host);
    const qreal dpr = m_host->devicePixelRatioF();
    const Key key{where.provider, where.provider ? where.provider->backdropRevision() : 0, where.origin,
                  (QSizeF(m_host->size()) * dpr).toSize(), dpr};
    if (!(key == m_key)) {
        // What a layer holds at a place does not depend on the host's size:
        // a host that only changes size within its layers (a side panel
        // dragged) keeps them, less what now lies outside it; a layer the
        // host outgrew starts over.
        Key sameSize = key;
        sameSize.pixels = m_key.pixels;
        const bool onlyResized = sameSize == m_key;
        m_key = key;
        ++m_generation;
        if (!onlyResized) {
            m_layers.clear();
        } else {
            const QRect hostRect = m_host->rect();
            std::erase_if(m_layers, [&](const Layer &layer) {
                return layer.image.width() < key.pixels.width() || layer.image.height() < key.pixels.height();
            });
            for (Layer &layer : m_layers)
                layer.valid &= hostRect;
        }
    }
    *offset = widget->mapTo(m_host.data(), QPoint(0, 0));
    // Only the host's own area is kept; a piece reaching past it draws nothing there.
    *wanted = area.translated(*offset) & m_host->rect();
    if (wanted->isEmpty())
        return nullptr;
    Layer &layer = layerFor(material);
    const QRegion missing = QRegion(*wanted) - layer.valid;
    if (!missing.isEmpty()) {
        const BackdropFrame *frame = where.provider ? &where.provider->backdropFrame() : nullptr;
        QPainter p(&layer.image);
        for (const QRect &r : missing) {
            p.save();
            p.setClipRect(r);
            draw(p, frame, where.origin, QRectF(r));
            p.restore();
        }
        layer.valid += missing;
        ++m_layerDraws;
    }
    return &layer;
}

void BackdropSheet::prepare(const QWidget *widget, const QRect &area, quint64 material, const Draw &draw)
{
    QRect wanted;
    QPoint offset;
    update(widget, area, material, draw, &wanted, &offset);
}

void BackdropSheet::paint(QPainter &painter, const QWidget *widget, const QRect &area, quint64 material,
                          const Draw &draw)
{
    QRect wanted;
    QPoint offset;
    Layer *layer = update(widget, area, material, draw, &wanted, &offset);
    if (!layer)
        return;
    const qreal dpr = m_key.dpr;
    const QRectF source(QPointF(wanted.topLeft()) * dpr, QSizeF(wanted.size()) * dpr);
    painter.drawImage(QRectF(wanted.translated(-offset)), layer->image, source);
}

} // namespace glass
