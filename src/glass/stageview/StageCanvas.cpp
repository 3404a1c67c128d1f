#include "glass/stageview/StageCanvas.h"

#include "glass/paint/PaintBands.h"

#include <QPainter>
#include <QWidget>

#include <utility>

namespace glass {

StageCanvas::StageCanvas(QWidget &stage)
    : m_stage(stage)
{
    QObject::connect(&m_worker, &LatestImageWorker::finished, &stage,
                     [this](const QList<QImage> &images, quint64 serial) { land(images, serial); });
}

void StageCanvas::redraw(const KenBurnsPose &pose)
{
    ++m_serial; // a step being drawn is stale now
    m_shownPose = pose;
    m_image = QImage();
    m_drawn = QRegion();
    m_pose = pose;
}

void StageCanvas::resized()
{
    m_image = QImage();
    m_drawn = QRegion();
}

void StageCanvas::step(const KenBurnsPose &pose, const QRegion &region, Job job, std::optional<BakedFrom> bake)
{
    const quint64 serial = ++m_serial;
    m_shownPose = pose;
    // A stage hidden whole costs nothing now.
    if (region.isEmpty()) {
        m_drawn = QRegion();
        m_pose = pose;
        return;
    }
    m_pendingDrawn = region;
    m_pendingPose = pose;
    m_shownWhilePending = QRegion();
    if (bake)
        m_pendingBake = *bake;
    m_worker.submit([job = std::move(job), into = std::exchange(m_spare, QImage())]() mutable {
        return job(std::move(into));
    }, serial);
}

void StageCanvas::land(const QList<QImage> &images, quint64 serial)
{
    if (serial != m_serial || images.isEmpty())
        return; // drawn for a stage that has changed since
    if (images.size() > 1) {
        m_baked = images.at(1);
        m_bakedFrom = m_pendingBake;
    }
    // The frame shown until now is drawn over for a later step.
    m_spare = std::exchange(m_image, images.first());
    m_drawn = m_pendingDrawn;
    m_pose = m_pendingPose;
    // What was uncovered when the step was asked for, and what was shown
    // meanwhile from the former frame (glass moved away).
    m_landed = m_pendingDrawn + std::exchange(m_shownWhilePending, QRegion());
    m_stage.update(m_landed);
}

void StageCanvas::uncover(const QRegion &region, const Draw &draw)
{
    const qreal dpr = m_stage.devicePixelRatioF();
    const QSize pixels = (QSizeF(m_stage.size()) * dpr).toSize();
    if (m_image.isNull() || m_image.size() != pixels) {
        m_image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_image.setDevicePixelRatio(dpr);
        m_drawn = QRegion();
        m_pose = m_shownPose;
    }
    if (const QRegion missing = region - m_drawn; !missing.isEmpty()) {
        QPainter p(&m_image);
        draw(p, m_pose, missing);
        m_drawn += missing;
    }
    if (m_worker.isBusy())
        m_shownWhilePending += region - m_pendingDrawn;
}

void StageCanvas::paint(QPainter &p, const QRegion &region) const
{
    const qreal dpr = m_stage.devicePixelRatioF();
    p.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect &r : region)
        paintInBands(p, r, [&](const QRect &band) {
            p.drawImage(QRectF(band), m_image, QRectF(QPointF(band.topLeft()) * dpr, QSizeF(band.size()) * dpr));
        });
}

bool StageCanvas::takeLanded(const QRegion &asked)
{
    const bool landed = !m_landed.isEmpty() && (asked - m_landed).isEmpty();
    m_landed = QRegion();
    return landed;
}

QImage StageCanvas::baked(const BakedFrom &from) const
{
    return !m_baked.isNull() && m_bakedFrom == from ? m_baked : QImage();
}

} // namespace glass
