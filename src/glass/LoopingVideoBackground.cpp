#include "glass/LoopingVideoBackground.h"

#include <QMediaPlayer>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>

namespace glass {

namespace {

// Scales to fill target (keeping the aspect) and crops the overflow evenly.
QImage fillCrop(const QImage &image, QSize target)
{
    if (image.isNull() || target.isEmpty())
        return image;
    const QImage scaled = image.scaled(target, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const QPoint offset((scaled.width() - target.width()) / 2, (scaled.height() - target.height()) / 2);
    return scaled.copy(QRect(offset, target)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

LoopingVideoBackground::LoopingVideoBackground(const QString &path, QObject *parent)
    : QObject(parent)
    , m_path(path)
    , m_player(new QMediaPlayer(this))
    , m_sink(new QVideoSink(this))
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
        m_blurred = images.at(1);
        ++m_framesShown;
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
    if (!frame.isValid() || m_target.isEmpty())
        return;
    const QSize target = m_target;
    const qreal radius = m_blurRadius;
    m_worker.submit(
        [frame, target, radius] {
            // QVideoFrame is implicitly shared; mapping it for conversion is safe on a worker.
            const QImage full = fillCrop(frame.toImage(), target);
            if (full.isNull())
                return QList<QImage>();
            const QSize small = (target / LoopingVideoBackground::kBlurDownscale).expandedTo(QSize(1, 1));
            return QList<QImage>{full, BackdropBlur::backdropCopy(full, small, radius)};
        },
        m_targetSerial);
}

} // namespace glass
