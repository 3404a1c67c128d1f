#include "glass/stageview/LoopingVideoBackground.h"

#include "glass/stageview/VideoFrameScaler.h"

#include <QMediaPlayer>
#include <QPainter>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>

namespace glass {


LoopingVideoBackground::LoopingVideoBackground(const QString &path, QObject *parent)
    : QObject(parent)
    , m_path(path)
    , m_player(new QMediaPlayer(this))
    , m_sink(new QVideoSink(this))
    , m_scaler(std::make_shared<VideoFrameScaler>())
{
    // No audio output is attached, so the player can never make a sound.
    m_player->setVideoSink(m_sink);
    connect(m_sink, &QVideoSink::videoFrameChanged, this, &LoopingVideoBackground::onFrame);
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
        if (status == QMediaPlayer::EndOfMedia)
            loop();
    });
    connect(m_player, &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error, const QString &reason) { emit failed(reason); });
    connect(&m_worker, &LatestImageWorker::finished, this, [this](const QList<QImage> &images, quint64 tag) {
        if (tag != m_targetSerial || images.size() != 2)
            return; // made for a size the stage no longer has
        m_frame = images.at(0);
        if (!images.at(1).isNull())
            m_blurred = images.at(1);
        ++m_framesShown;
        m_awaitingDraw = true;
        m_delivered.start();
        emit frameReady();
    });
    m_player->setSource(QUrl::fromLocalFile(path));
    m_player->play();
}

LoopingVideoBackground::~LoopingVideoBackground()
{
    m_player->stop();
}

void LoopingVideoBackground::setTarget(QSize pixels, qreal blurRadius)
{
    if (pixels == m_target && qFuzzyCompare(blurRadius, m_blurRadius))
        return;
    m_target = pixels;
    m_blurRadius = blurRadius;
    ++m_targetSerial;
}

void LoopingVideoBackground::loop()
{
    ++m_loops;
    m_player->setPosition(0);
    if (!m_paused)
        m_player->play();
}

void LoopingVideoBackground::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    if (paused)
        m_player->pause();
    else
        m_player->play();
}

void LoopingVideoBackground::onFrame(const QVideoFrame &frame)
{
    if (!frame.isValid() || m_target.isEmpty() || m_paused)
        return;
    // One frame in flight, and none the screen would not show: the decoder
    // gets its buffer back at once.
    if (m_worker.isBusy() || (m_awaitingDraw && m_delivered.isValid() && m_delivered.elapsed() < kDrawWaitMs))
        return;
    const bool blurred = !m_blurredAt.isValid() || m_blurredAt.elapsed() >= kBlurredEveryMs || m_blurred.isNull();
    if (blurred)
        m_blurredAt.start();
    const QSize target = m_target;
    const QSize small = (target / kBlurDownscale).expandedTo(QSize(1, 1));
    const qreal radius = m_blurRadius;
    const QColor tint = m_tint;
    m_worker.submit(
        [frame, target, small, radius, tint, blurred, scaler = m_scaler] {
            QImage full, little;
            if (VideoFrameScaler::handles(frame.pixelFormat())) {
                full = scaler->fill(frame, target, tint);
                if (blurred)
                    little = scaler->fill(frame, small);
            } else {
                // A format of its own: Qt's conversion, then the same fill.
                const QImage image = frame.toImage();
                if (!image.isNull()) {
                    const QImage seen = image.copy(VideoFrameScaler::visibleRect(image.size(), target).toAlignedRect());
                    full = seen.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                               .convertToFormat(QImage::Format_RGB32);
                    QPainter(&full).fillRect(full.rect(), tint.isValid() ? tint : QColor(Qt::transparent));
                    if (blurred)
                        little = seen.scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                }
            }
            if (full.isNull())
                return QList<QImage>();
            return QList<QImage>{full, little.isNull() ? QImage() : BackdropBlur::backdropCopy(little, small, radius)};
        },
        m_targetSerial);
}

} // namespace glass
