#include "glass/paint/BackdropBlur.h"

#include <QPainter>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>
#include <QFutureWatcher>

#include <algorithm>
#include <cmath>
#include <vector>

namespace glass {

namespace BackdropBlur {

namespace {

// One box pass along a line of n pixels, step apart in src, into the contiguous dst.
void boxLine(const quint32 *src, quint32 *dst, int n, qsizetype step, int r)
{
    const int window = 2 * r + 1;
    quint32 sa = 0, sr = 0, sg = 0, sb = 0;
    auto at = [&](int i) { return src[qsizetype(std::clamp(i, 0, n - 1)) * step]; };
    for (int i = -r; i <= r; ++i) {
        const quint32 p = at(i);
        sa += p >> 24; sr += (p >> 16) & 0xff; sg += (p >> 8) & 0xff; sb += p & 0xff;
    }
    for (int i = 0; i < n; ++i) {
        dst[i] = ((sa / window) << 24) | ((sr / window) << 16) | ((sg / window) << 8) | (sb / window);
        const quint32 in = at(i + r + 1);
        const quint32 out = at(i - r);
        sa += (in >> 24) - (out >> 24);
        sr += ((in >> 16) & 0xff) - ((out >> 16) & 0xff);
        sg += ((in >> 8) & 0xff) - ((out >> 8) & 0xff);
        sb += (in & 0xff) - (out & 0xff);
    }
}

} // namespace

void boxBlur(QImage &image, int radius)
{
    if (radius <= 0 || image.isNull())
        return;
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = image.width();
    const int h = image.height();
    const qsizetype stride = image.bytesPerLine() / 4;
    quint32 *bits = reinterpret_cast<quint32 *>(image.bits());
    std::vector<quint32> line(size_t(std::max(w, h)));
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y) {
            quint32 *row = bits + y * stride;
            boxLine(row, line.data(), w, 1, radius);
            std::copy(line.begin(), line.begin() + w, row);
        }
        for (int x = 0; x < w; ++x) {
            boxLine(bits + x, line.data(), h, stride, radius);
            for (int y = 0; y < h; ++y)
                bits[y * stride + x] = line[size_t(y)];
        }
    }
}

QImage backdropCopy(const QImage &source, QSize target, qreal radius, qreal saturation)
{
    if (source.isNull() || target.isEmpty())
        return {};
    QImage out = source.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                     .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    boxBlur(out, std::max(1, int(std::lround(radius))));
    if (!qFuzzyCompare(saturation, 1.0)) {
        for (int y = 0; y < out.height(); ++y) {
            quint32 *row = reinterpret_cast<quint32 *>(out.scanLine(y));
            for (int x = 0; x < out.width(); ++x) {
                const quint32 p = row[x];
                const int a = int(p >> 24);
                const double r = (p >> 16) & 0xff, g = (p >> 8) & 0xff, b = p & 0xff;
                const double lum = 0.2126 * r + 0.7152 * g + 0.0722 * b;
                auto mix = [&](double c) { return quint32(std::clamp(int(lum + (c - lum) * saturation), 0, a)); };
                row[x] = (quint32(a) << 24) | (mix(r) << 16) | (mix(g) << 8) | mix(b);
            }
        }
    }
    return out;
}

QImage softMask(const QImage &mask, const QColor &color, qreal radius)
{
    const int margin = softMargin(radius);
    QImage out(mask.size() + QSize(2 * margin, 2 * margin), QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(1);
    out.fill(Qt::transparent);
    {
        QPainter p(&out);
        p.drawImage(margin, margin, mask);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(out.rect(), color);
    }
    boxBlur(out, std::max(1, int(std::lround(radius / 2))));
    return out;
}

} // namespace BackdropBlur

LatestImageWorker::LatestImageWorker(QObject *parent)
    : QObject(parent)
{
}

// A running job holds no pointer to us (jobs capture values only); its
// watcher is our child and goes with us, and the job's result is dropped.
LatestImageWorker::~LatestImageWorker() = default;

void LatestImageWorker::submit(Job job, quint64 tag)
{
    m_pending = std::move(job);
    m_pendingTag = tag;
    m_hasPending = true;
    if (!m_running)
        startNext();
}

void LatestImageWorker::cancel()
{
    m_hasPending = false;
    m_pending = {};
    ++m_latestSerial;
}

void LatestImageWorker::startNext()
{
    if (!m_hasPending)
        return;
    m_hasPending = false;
    const quint64 serial = m_latestSerial;
    const quint64 tag = m_pendingTag;
    auto job = std::move(m_pending);
    m_pending = {};
    m_running = true;
    auto *watcher = new QFutureWatcher<QList<QImage>>(this);
    connect(watcher, &QFutureWatcher<QList<QImage>>::finished, this, [this, watcher, serial, tag] {
        const QList<QImage> images = watcher->result();
        watcher->deleteLater();
        m_running = false;
        // Cancelled meanwhile: stale. A newer waiting job does not make this
        // one stale (a video would starve); the tag tells the caller what it is.
        if (serial == m_latestSerial)
            emit finished(images, tag);
        startNext();
    });
    watcher->setFuture(QtConcurrent::run([job = std::move(job)] { return job(); }));
}

} // namespace glass
