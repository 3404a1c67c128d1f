#include "glass/StageBackground.h"

#include "stage/BackgroundSettings.h"
#include "glass/LoopingVideoBackground.h"
#include "glass/QirvTheme.h"
#include "glass/Styles.h"

#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>

namespace glass {

namespace {
constexpr qint64 kFadeMs = 200;  // the stage switching on or off
constexpr qint64 kVeilMs = 120;  // the veil's opacity changing
constexpr int kFrameMs = 33;     // the slow motion needs no more than 30 frames a second
constexpr int kFastFrameMs = 16; // short fades get every frame
} // namespace

StageBackground::StageBackground(stage::BackgroundSettings &settings, StyleStore &styles, QWidget *parent)
    : QWidget(parent)
    , m_settings(&settings)
    , m_styles(&styles)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_clock.start();
    m_ticker.setTimerType(Qt::PreciseTimer);
    connect(&m_ticker, &QTimer::timeout, this, &StageBackground::tick);

    for (auto signal : {&stage::BackgroundSettings::changed, &stage::BackgroundSettings::loadedImageChanged,
                        &stage::BackgroundSettings::videoChanged})
        connect(&settings, signal, this, &StageBackground::scheduleSync);
    connect(&settings, &stage::BackgroundSettings::isEnabledChanged, this, &StageBackground::scheduleSync);
    connect(&settings, &stage::BackgroundSettings::overlayOpacityChanged, this, &StageBackground::scheduleSync);
    connect(&settings, &stage::BackgroundSettings::animateKenBurnsChanged, this, &StageBackground::scheduleSync);
    connect(&settings, &stage::BackgroundSettings::useVideoChanged, this, &StageBackground::scheduleSync);
    // A new skin rebuilds the whole stage: new colours, motion from its start pose.
    connect(&styles, &StyleStore::changed, this, &StageBackground::rebuild);

    connect(&m_imageWorker, &LatestImageWorker::finished, this, [this](const QList<QImage> &images, quint64 tag) {
        if (tag != m_imageSerial || images.size() != 2)
            return;
        m_scaled = images.at(0);
        m_blurred = images.at(1);
        m_scaledFrom = m_image.cacheKey(); // the tag is current: made from this image
        update();
        backdropMoved(true);
    });
    rebuild();
}

StageBackground::~StageBackground() = default;

StageBackground::Snapshot StageBackground::read() const
{
    Snapshot s;
    if (!m_settings)
        return s;
    s.enabled = m_settings->isEnabled();
    const QImage image = m_settings->loadedImage();
    s.imagePresent = !image.isNull();
    s.imageKey = image.isNull() ? 0 : image.cacheKey();
    s.overlay = m_settings->overlayOpacity();
    s.kenBurns = m_settings->animateKenBurns();
    if (m_settings->useVideo() && !m_settings->videoFilePath().isEmpty()) {
        s.videoPath = m_settings->videoFilePath();
        s.videoRevision = m_settings->videoRevision();
    }
    return s;
}

// Changes that arrive together (stage on and image loaded) are looked at
// together, once control returns to the event loop.
void StageBackground::scheduleSync()
{
    if (m_syncPending)
        return;
    m_syncPending = true;
    QTimer::singleShot(0, this, &StageBackground::sync);
}

void StageBackground::sync()
{
    m_syncPending = false;
    const Snapshot next = read();
    const qint64 t = now();
    // An image appearing or going shows at once; nothing of that change is animated.
    const bool presenceChanged = next.imagePresent != m_last.imagePresent;

    if (next.enabled != m_last.enabled) {
        if (presenceChanged)
            m_fade.jump(next.enabled ? 1 : 0);
        else
            m_fade.animate(next.enabled ? 1 : 0, t, kFadeMs);
    }
    if (!qFuzzyCompare(next.overlay, m_last.overlay)) {
        if (presenceChanged)
            m_veil.jump(next.overlay);
        else
            m_veil.animate(next.overlay, t, kVeilMs);
    }
    if (next.imageKey != m_last.imageKey) {
        // Another image is another picture on the stage: its motion starts over.
        m_image = m_settings->loadedImage();
        prepareImage();
        if (next.kenBurns)
            m_motion.start(t);
        else
            m_motion.rest();
    } else if (next.kenBurns != m_last.kenBurns) {
        if (next.kenBurns)
            m_motion.start(t);
        else
            m_motion.settle(t);
    } else if (showsImage(next) && !showsImage(m_last)) {
        // The image comes on screen again (the stage switched on, or video
        // mode left): its motion starts over from the start pose.
        if (next.kenBurns)
            m_motion.start(t);
        else
            m_motion.rest();
    }
    m_last = next;
    updateVideo();
    ensureTicking();
    update();
    backdropMoved(true);
}

bool StageBackground::showsImage(const Snapshot &s)
{
    return s.enabled && s.imagePresent && s.videoPath.isEmpty();
}

void StageBackground::rebuild()
{
    m_last = read();
    m_fade.jump(m_last.enabled ? 1 : 0);
    m_veil.jump(m_last.overlay);
    m_image = m_settings ? m_settings->loadedImage() : QImage();
    prepareImage();
    if (m_last.kenBurns)
        m_motion.start(now());
    else
        m_motion.rest();
    // The video view is part of the stage: it starts over too.
    delete m_video;
    m_video = nullptr;
    m_videoKey.clear();
    updateVideo();
    ensureTicking();
    update();
    backdropMoved(true);
}

void StageBackground::updateVideo()
{
    const bool shown = m_last.enabled || m_fade.at(now()) > 0;
    const QString key = m_last.videoPath.isEmpty() || !shown
                            ? QString()
                            : m_last.videoPath + QLatin1Char('#') + QString::number(m_last.videoRevision);
    if (key == m_videoKey)
        return;
    delete m_video;
    m_video = nullptr;
    m_videoKey = key;
    if (key.isEmpty())
        return;
    m_video = new LoopingVideoBackground(m_last.videoPath, this);
    m_video->setTarget((QSizeF(size()) * devicePixelRatioF()).toSize(), kBlurRadius / kDownscale * devicePixelRatioF());
    connect(m_video, &LoopingVideoBackground::frameReady, this, [this] {
        update();
        backdropMoved(true);
    });
}

QRectF StageBackground::coverRect(QSizeF image, QSizeF area, const KenBurnsPose &pose)
{
    if (image.isEmpty() || area.isEmpty())
        return QRectF(QPointF(0, 0), area);
    // The pose shifts the picture (the start pose by 8 px down at scale 1):
    // it is drawn that much larger, so the shift never bares the stage's edge.
    const qreal scale = pose.scale > 0 ? pose.scale : 1.0;
    const QSizeF needed(std::max(area.width(), (area.width() + 2 * std::abs(pose.x)) / scale),
                        std::max(area.height(), (area.height() + 2 * std::abs(pose.y)) / scale));
    const QSizeF filled = image.scaled(needed, Qt::KeepAspectRatioByExpanding);
    return QRectF(QPointF((area.width() - filled.width()) / 2, (area.height() - filled.height()) / 2), filled);
}

QTransform StageBackground::poseTransform(const KenBurnsPose &pose) const
{
    const QPointF c = QRectF(rect()).center();
    return QTransform::fromTranslate(-c.x(), -c.y()) * QTransform::fromScale(pose.scale, pose.scale)
           * QTransform::fromTranslate(c.x() + pose.x, c.y() + pose.y);
}

void StageBackground::prepareImage()
{
    ++m_imageSerial;
    if (m_image.isNull() || size().isEmpty()) {
        m_imageWorker.cancel();
        m_scaled = QImage();
        m_blurred = QImage();
        return;
    }
    const QSizeF cover = coverRect(m_image.size(), size(), KenBurnsPose::rest()).size();
    const QSize pixels = (cover * devicePixelRatioF()).toSize();
    const QSize small = (cover / kDownscale).toSize().expandedTo(QSize(1, 1));
    const QImage image = m_image;
    m_imageWorker.submit(
        [image, pixels, small] {
            return QList<QImage>{
                image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .convertToFormat(QImage::Format_ARGB32_Premultiplied),
                BackdropBlur::backdropCopy(image, small, kBlurRadius / kDownscale)};
        },
        m_imageSerial);
}

bool StageBackground::isBackdropReady() const
{
    return m_image.isNull() || (!m_blurred.isNull() && !m_imageWorker.isBusy());
}

StageBackground::Media StageBackground::media() const
{
    if (!m_last.enabled && m_fade.at(now()) <= 0)
        return Media::none;
    if (!m_last.videoPath.isEmpty())
        return Media::video;
    if (!m_image.isNull())
        return Media::image;
    return Media::none;
}

KenBurnsPose StageBackground::pose() const
{
    return m_motion.poseAt(now());
}

qreal StageBackground::mediaOpacity() const
{
    return m_fade.at(now());
}

qreal StageBackground::veilOpacity() const
{
    const qreal veil = m_veil.at(now());
    return veilVisible(veil) ? veil * m_fade.at(now()) : 0;
}

const BackdropFrame &StageBackground::backdropFrame() const
{
    const stage::UISkin skin = m_styles ? m_styles->styles().skin : stage::UISkin::steel();
    m_frame.base = QirvTheme::color(skin.colors.bg);
    m_frame.stageSize = size();
    m_frame.revision = m_revision;
    m_frame.mediaOpacity = mediaOpacity();
    m_frame.blurred = QImage();
    switch (media()) {
    case Media::image:
        if (!m_blurred.isNull()) {
            const KenBurnsPose now = pose();
            const QRectF cover = coverRect(m_image.size(), size(), now);
            m_frame.blurred = m_blurred;
            m_frame.mediaToStage = QTransform::fromScale(cover.width() / m_blurred.width(),
                                                         cover.height() / m_blurred.height())
                                   * QTransform::fromTranslate(cover.x(), cover.y()) * poseTransform(now);
        }
        break;
    case Media::video:
        if (m_video && !m_video->blurredFrame().isNull()) {
            const QImage blurred = m_video->blurredFrame();
            m_frame.blurred = blurred;
            m_frame.mediaToStage = QTransform::fromScale(qreal(width()) / blurred.width(),
                                                         qreal(height()) / blurred.height());
        }
        break;
    case Media::none:
        break;
    }
    m_frame.veil = QirvTheme::withOpacity(m_frame.base, veilOpacity());
    return m_frame;
}

void StageBackground::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const stage::UISkin skin = m_styles ? m_styles->styles().skin : stage::UISkin::steel();
    const QColor bg = QirvTheme::color(skin.colors.bg);
    if (bg.alpha() < 255)
        p.fillRect(rect(), Qt::black);
    p.fillRect(rect(), bg);

    const qreal fade = mediaOpacity();
    if (fade <= 0)
        return;
    const Media shown = media();
    if (shown == Media::image) {
        p.save();
        p.setOpacity(fade);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        const KenBurnsPose now = pose();
        p.setTransform(poseTransform(now));
        const QRectF cover = coverRect(m_image.size(), size(), now);
        // The prepared copy, also while a resize waits for a new one (cheap to
        // stretch); a new image shows at once, from the original until then.
        const bool scaledIsCurrent = !m_scaled.isNull() && m_scaledFrom == m_image.cacheKey();
        p.drawImage(cover, scaledIsCurrent ? m_scaled : m_image);
        p.restore();
    } else if (shown == Media::video && m_video && !m_video->frame().isNull()) {
        p.save();
        p.setOpacity(fade);
        p.drawImage(QRectF(rect()), m_video->frame());
        p.restore();
    }
    const qreal veil = veilOpacity();
    if (veil > 0)
        p.fillRect(rect(), QirvTheme::withOpacity(bg, veil));
}

void StageBackground::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    prepareImage();
    if (m_video)
        m_video->setTarget((QSizeF(size()) * devicePixelRatioF()).toSize(),
                           kBlurRadius / kDownscale * devicePixelRatioF());
    backdropMoved(true);
}

void StageBackground::ensureTicking()
{
    const qint64 t = now();
    const bool fading = !m_fade.isDone(t) || !m_veil.isDone(t);
    const bool moving = media() == Media::image && m_motion.isAnimating(t);
    if (!fading && !moving) {
        m_ticker.stop();
        return;
    }
    const int interval = fading ? kFastFrameMs : kFrameMs;
    if (!m_ticker.isActive() || m_ticker.interval() != interval)
        m_ticker.start(interval);
}

void StageBackground::backdropMoved(bool force)
{
    // The slow motion moves the blurred backdrop by a fraction of a pixel a
    // frame: the glass need not follow every frame of it.
    constexpr qint64 kMotionStepMs = 150;
    const qint64 t = now();
    if (!force && t - m_revisedAt < kMotionStepMs)
        return;
    m_revisedAt = t;
    ++m_revision;
    emit backdropChanged();
}

void StageBackground::tick()
{
    update();
    const qint64 t = now();
    // The tick that ends a fade publishes its last frame too, however soon
    // after the one before: the glass would keep a half-faded backdrop.
    const bool wasFading = m_ticker.interval() == kFastFrameMs;
    backdropMoved(wasFading || !m_fade.isDone(t) || !m_veil.isDone(t));
    if (m_fade.isDone(now()))
        updateVideo();
    ensureTicking();
}

} // namespace glass
