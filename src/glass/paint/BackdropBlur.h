#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QSize>

#include <cmath>
#include <functional>

namespace glass {

// Pure image work behind the glass: safe on any thread.
namespace BackdropBlur {

// Three box passes of this radius (in pixels) approximate a Gaussian with a
// standard deviation of about the radius. Edges repeat their outer pixels.
// Works in place on ARGB32_Premultiplied (other formats are converted).
void boxBlur(QImage &image, int radius);

// A gentle lift: enough for colours to glow through the frost, not so
// much that a busy photo turns garish.
inline constexpr qreal kSaturation = 1.2;

// Scales source to target (aspect fill is the caller's business), blurs it
// with radius pixels of the target, and lifts the saturation the way a
// frosted material makes colours glow through.
QImage backdropCopy(const QImage &source, QSize target, qreal radius, qreal saturation = kSaturation);

// A soft shadow or halo: the alpha of mask, coloured, blurred by radius,
// inside a margin wide enough for the blur.
QImage softMask(const QImage &mask, const QColor &color, qreal radius);
inline int softMargin(qreal radius) { return int(std::ceil(radius * 1.5)) + 1; }

} // namespace BackdropBlur

// Runs image jobs off the UI thread, one at a time. While one runs, a newer
// submission replaces any older waiting one, and only the result of the
// newest submission is delivered: a stale result is dropped.
class LatestImageWorker : public QObject {
    Q_OBJECT
public:
    explicit LatestImageWorker(QObject *parent = nullptr);
    ~LatestImageWorker() override;

    // A job may make several images (a frame and its blurred copy). tag
    // comes back with the result, so the caller knows what it asked for.
    using Job = std::function<QList<QImage>()>;
    void submit(Job job, quint64 tag);
    // Forgets waiting work and makes any running result stale.
    void cancel();
    bool isBusy() const { return m_running; }

signals:
    void finished(const QList<QImage> &images, quint64 tag);

private:
    void startNext();

    bool m_running = false;
    quint64 m_latestSerial = 0;
    Job m_pending;
    quint64 m_pendingTag = 0;
    bool m_hasPending = false;
};

} // namespace glass
