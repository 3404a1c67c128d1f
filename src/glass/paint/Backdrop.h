#pragma once

#include <QColor>
#include <QImage>
#include <QObject>
#include <QPointF>
#include <QSizeF>
#include <QTransform>

#include <functional>

class QPainter;
class QWidget;

namespace glass {

// What the stage shows, as the glass sees it: the skin colour, a blurred,
// downscaled copy of the media placed through a transform, and the veil.
// Blur commutes with the stage's placement (a pan and a slight zoom) and
// with a flat veil, so one blurred copy serves every Ken Burns pose.
struct BackdropFrame {
    QColor base;               // the skin's bg, under everything
    QImage blurred;            // null: no media
    QTransform mediaToStage;   // blurred pixels -> stage coordinates
    qreal mediaOpacity = 1.0;  // the stage's fade in and out
    QColor veil;               // alpha already final; transparent: none
    QSizeF stageSize;
    // Moves whenever what the glass would show changed visibly; a surface
    // may keep its rendering while it stays the same.
    quint64 revision = 0;
};

// Anything that owns backdrop pixels (the stage view). Glass surfaces find
// it among their ancestors' children.
class BackdropProvider {
public:
    virtual ~BackdropProvider() = default;
    virtual const BackdropFrame &backdropFrame() const = 0;
    // The frame's revision alone: asked at every copy of a sheet, where
    // the whole frame is needed only to draw.
    virtual quint64 backdropRevision() const { return backdropFrame().revision; }
    virtual QWidget *backdropWidget() = 0;
    // Calls then (queued, in context's thread) whenever the frame changes;
    // the connection ends with context.
    virtual QMetaObject::Connection followBackdrop(QObject *context, std::function<void()> then) = 0;
};

// The part of the backdrop that lies behind a surface whose top-left corner
// sits at origin (stage coordinates), painted in the surface's coordinates.
// The caller sets the clip (the surface's shape).
void paintBackdrop(QPainter &painter, const BackdropFrame &frame, QPointF origin, const QRectF &area);

// Where a glass surface finds its backdrop: the nearest provider that is a
// child of one of its ancestors (or an ancestor itself), and the surface's
// origin in that provider's coordinates. Null when the window has no stage.
struct BackdropLocation {
    BackdropProvider *provider = nullptr;
    QPointF origin;
};
BackdropLocation locateBackdrop(const QWidget *surface);

} // namespace glass
