#include "glass/paint/Backdrop.h"

#include <QPainter>
#include <QWidget>

namespace glass {

void paintBackdrop(QPainter &painter, const BackdropFrame &frame, QPointF origin, const QRectF &area)
{
    painter.save();
    // The backdrop is opaque, as the stage is: a see-through skin colour lies on black.
    const QColor base = frame.base.isValid() ? frame.base : QColor(12, 12, 14);
    if (base.alpha() < 255)
        painter.fillRect(area, Qt::black);
    painter.fillRect(area, base);
    if (!frame.blurred.isNull() && frame.mediaOpacity > 0) {
        const QTransform t = frame.mediaToStage * QTransform::fromTranslate(-origin.x(), -origin.y());
        bool invertible = false;
        const QTransform back = t.inverted(&invertible);
        if (invertible) {
            // Only the pixels that land in area are drawn.
            const QRectF source = back.mapRect(area).adjusted(-2, -2, 2, 2).intersected(QRectF(frame.blurred.rect()));
            painter.save();
            painter.setOpacity(painter.opacity() * frame.mediaOpacity);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.setTransform(t, true);
            painter.drawImage(source, frame.blurred, source);
            painter.restore();
        }
    }
    if (frame.veil.alpha() > 0)
        painter.fillRect(area, frame.veil);
    painter.restore();
}

BackdropLocation locateBackdrop(const QWidget *surface)
{
    if (!surface)
        return {};
    const QWidget *window = surface->window();
    for (const QWidget *ancestor = surface->parentWidget(); ancestor; ancestor = ancestor->parentWidget()) {
        if (auto *self = dynamic_cast<BackdropProvider *>(const_cast<QWidget *>(ancestor)); self)
            return {self, surface->mapTo(ancestor, QPointF(0, 0))};
        for (QObject *child : ancestor->children()) {
            auto *provider = dynamic_cast<BackdropProvider *>(child);
            if (!provider || child == surface)
                continue;
            QWidget *stage = provider->backdropWidget();
            const QPointF origin = surface->mapTo(window, QPointF(0, 0)) - stage->mapTo(window, QPointF(0, 0));
            return {provider, origin};
        }
        if (ancestor == window)
            break;
    }
    return {};
}

} // namespace glass
