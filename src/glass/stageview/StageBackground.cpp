#include "glass/stageview/StageBackground.h"

#include "stage/BackgroundSettings.h"
#include "glass/stageview/LoopingVideoBackground.h"
#include "glass/paint/PaintBands.h"
#include "glass/look/QirvTheme.h"
#include "glass/stageview/StageCover.h"
#include "glass/look/Styles.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>
#include <utility>

namespace glass {

namespace {
constexpr qint64 kFadeMs = 200;  // the stage switching on or off
constexpr qint64 kVeilMs = 120;  // the veil's opacity changing
constexpr int kFrameMs = 33;     // the slow motion is looked at no more than 30 times a second
constexpr int kLongestWaitMs = 1000; // near the end of a leg it hardly moves
constexpr int kFastFrameMs = 16; // short fades get every frame
constexpr qint64 kVideoGlassMs = 100; // the glass shows the video blurred: ten frames a second do
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
    m_glassLater.setSingleShot(true);
    connect(&m_glassLater, &QTimer::timeout, this, [this] { backdropMoved(true); });

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
        m_canvas.forgetBake();
        m_scaledFrom = m_image.cacheKey(); // the tag is current: made from this image
        redraw();
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
    QTimer::singleShot(0, this, [this] {
        if (m_syncPending) // not taken in by a paint meanwhile
            sync();
    });
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
    redraw();
    backdropMoved(true);
    ensureTicking();
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
    redraw();
    backdropMoved(true);
    ensureTicking();
}

void StageBackground::updateVideo()
{
    const bool shown = m_last.enabled || m_fade.at(now()) > 0;
    const QString key = m_last.videoPath.isEmpty() || !shown
                            ? QString()
                            : m_last.videoPath + QLatin1Char('#') + QString::number(m_last.videoRevision);
    // A player is made once the window is on screen: making one loads the
    // media backend, which the window's first frame need not wait for.
    if (!key.isEmpty() && !m_video && !isOnScreen())
        return;
    if (key == m_videoKey)
        return;
    delete m_video;
    m_video = nullptr;
    m_videoKey = key;
    // The glass drops the gone video's last frame too.
    if (!m_glassVideo.isNull())
        backdropMoved(true);
    if (key.isEmpty())
        return;
    m_video = new LoopingVideoBackground(m_last.videoPath, this);
    m_video->setTarget((QSizeF(size()) * devicePixelRatioF()).toSize(), kBlurRadius / kDownscale * devicePixelRatioF());
    m_video->setPaused(!isOnScreen());
    m_video->setTint(videoTint());
    connect(m_video, &LoopingVideoBackground::frameReady, this, [this] {
        const quint64 glassBefore = m_revision;
        backdropMoved(m_glassVideo.isNull());
        // The glass over the stage shows the frame only when it is told of
        // one; the rest of the time the frame is drawn only where no glass
        // hides it, and what lies over that glass stays as it is.
        if (m_revision == glassBefore)
            redrawVideo();
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

QTransform StageBackground::imageTransform(const KenBurnsPose &pose) const
{
    if (m_image.isNull())
        return {};
    const QRectF cover = coverRect(m_image.size(), size(), pose);
    return QTransform::fromScale(cover.width() / m_image.width(), cover.height() / m_image.height())
           * QTransform::fromTranslate(cover.x(), cover.y()) * poseTransform(pose);
}

qreal StageBackground::stepBetween(const KenBurnsPose &from, const KenBurnsPose &to) const
{
    if (m_image.isNull() || size().isEmpty())
        return 0;
    bool invertible = false;
    const QTransform back = imageTransform(from).inverted(&invertible);
    if (!invertible)
        return 0;
    // Where the pixels at the corners under from go under to; the change is
    // affine, so no point of the stage moves further than a corner's.
    const QTransform move = back * imageTransform(to);
    const QRectF r(rect());
    qreal most = 0;
    for (const QPointF &corner : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()}) {
        const QPointF d = move.map(corner) - corner;
        most = std::max(most, std::hypot(d.x(), d.y()));
    }
    return most * devicePixelRatioF();
}

void StageBackground::prepareImage()
{
    ++m_imageSerial;
    if (m_image.isNull() || size().isEmpty()) {
        m_imageWorker.cancel();
        m_scaled = QImage();
        m_blurred = QImage();
        m_canvas.forgetBake();
        return;
    }
    const QSizeF cover = coverRect(m_image.size(), size(), KenBurnsPose::rest()).size();
    const QSize pixels = (cover * devicePixelRatioF()).toSize();
    const QSize small = (cover / kDownscale).toSize().expandedTo(QSize(1, 1));
    const QImage image = m_image;
    m_imageWorker.submit(
        [image, pixels, small] {
            return QList<QImage>{
                // An opaque picture stays opaque: it is drawn without blending.
                image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                             : QImage::Format_RGB32),
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
            const KenBurnsPose now = m_glassPose;
            const QRectF cover = coverRect(m_image.size(), size(), now);
            m_frame.blurred = m_blurred;
            m_frame.mediaToStage = QTransform::fromScale(cover.width() / m_blurred.width(),
                                                         cover.height() / m_blurred.height())
                                   * QTransform::fromTranslate(cover.x(), cover.y()) * poseTransform(now);
        }
        break;
    case Media::video:
        if (m_video && !m_glassVideo.isNull()) {
            const QImage blurred = m_glassVideo;
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

QColor StageBackground::videoTint() const
{
    // What paintLook lays over the picture (the colour under a fading
    // picture, then the veil), as one colour: the picture keeps
    // fade * (1 - veil) of itself.
    const stage::UISkin skin = m_styles ? m_styles->styles().skin : stage::UISkin::steel();
    QColor bg = QirvTheme::color(skin.colors.bg);
    if (bg.alpha() < 255) {
        const qreal a = bg.alphaF();
        bg = QColor::fromRgbF(bg.redF() * a, bg.greenF() * a, bg.blueF() * a);
    }
    bg.setAlphaF(std::clamp(1.0 - mediaOpacity() * (1.0 - veilOpacity()), 0.0, 1.0));
    return bg;
}

void StageBackground::redraw()
{
    if (m_video)
        m_video->setTint(videoTint());
    m_canvas.redraw(pose());
    updateUncovered();
}

void StageBackground::updateUncovered()
{
    // A cover shows the glass of the last backdrop revision, not the stage:
    // it is repainted when the revision moves (backdropMoved), so a frame of
    // the stage alone leaves it and everything above it alone.
    update(QRegion(rect()) - coveredRegion());
}

void StageBackground::redrawVideo()
{
    m_video->setTint(videoTint());
    updateUncovered();
}

void StageBackground::redrawLater()
{
    const KenBurnsPose next = pose();
    // What glass hides would be painted over at once: it is drawn when
    // something shows it, and a stage hidden whole costs nothing.
    const QRegion uncovered = QRegion(rect()) - coveredRegion();
    const Look wanted = uncovered.isEmpty() ? Look() : look(next);
    m_canvas.step(next, uncovered, [wanted, uncovered](QImage into) {
        if (!wanted.bakeAs)
            return QList<QImage>{render(wanted, uncovered, std::move(into))};
        Look baked = wanted;
        baked.picture = bake(wanted);
        baked.veil = 0;
        return QList<QImage>{render(baked, uncovered, std::move(into)), baked.picture};
    }, wanted.bakeAs);
}

StageBackground::Look StageBackground::look(const KenBurnsPose &pose) const
{
    Look l;
    const stage::UISkin skin = m_styles ? m_styles->styles().skin : stage::UISkin::steel();
    l.bg = QirvTheme::color(skin.colors.bg);
    l.fade = mediaOpacity();
    l.media = l.fade > 0 ? media() : Media::none;
    if (l.media == Media::image) {
        // The prepared copy, also while a resize waits for a new one (cheap to
        // stretch); a new image shows at once, from the original until then.
        const bool scaledIsCurrent = !m_scaled.isNull() && m_scaledFrom == m_image.cacheKey();
        l.picture = scaledIsCurrent ? m_scaled : m_image;
        l.cover = coverRect(m_image.size(), size(), pose);
        l.placed = poseTransform(pose);
    } else if (l.media == Media::video && m_video) {
        l.picture = m_video->frame();
        l.cover = QRectF(rect());
    }
    l.veil = veilOpacity();
    const qint64 t = now();
    const bool settled = m_fade.isDone(t) && m_veil.isDone(t) && l.fade >= 1;
    if (l.media == Media::image && l.picture.cacheKey() == m_scaled.cacheKey() && settled) {
        const BakedFrom from{m_scaled.cacheKey(), l.bg.rgba(), l.veil};
        if (QImage baked = m_canvas.baked(from); !baked.isNull()) {
            // The colour and veil are in the picture already.
            l.picture = std::move(baked);
            l.veil = 0;
        } else {
            l.bakeAs = from;
        }
    }
    l.dpr = devicePixelRatioF();
    l.pixels = (QSizeF(size()) * l.dpr).toSize();
    return l;
}

QImage StageBackground::render(const Look &l, const QRegion &wanted, QImage into)
{
    // A frame's worth of fresh memory at each step costs page faults and
    // zeroing: a former frame no one else holds is drawn over instead.
    QImage canvas = std::move(into);
    if (canvas.size() != l.pixels || canvas.format() != QImage::Format_ARGB32_Premultiplied || !canvas.isDetached())
        canvas = QImage(l.pixels, QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(l.dpr);
    QPainter p(&canvas);
    paintLookIn(p, l, wanted);
    return canvas;
}

void StageBackground::paintLookIn(QPainter &p, const Look &l, const QRegion &wanted)
{
    const QRect whole(QPoint(0, 0), (QSizeF(l.pixels) / l.dpr).toSize());
    // A pixel more around each part: at a fractional scale a part's edge
    // may split a device pixel, which must not stay undrawn. The overlap is
    // drawn the same twice.
    for (const QRect &r : wanted)
        paintLook(p, l, r.adjusted(-1, -1, 1, 1) & whole);
}

QImage StageBackground::bake(const Look &l)
{
    QImage baked(l.picture.size(), QImage::Format_RGB32);
    QPainter p(&baked);
    Look flat = l;
    flat.cover = QRectF(QPointF(0, 0), QSizeF(l.picture.size()));
    flat.placed = QTransform();
    paintLook(p, flat, baked.rect());
    return baked;
}

bool StageBackground::showsPicture(const Look &l)
{
    return l.media != Media::none && !l.picture.isNull();
}

QColor StageBackground::flatColour(const Look &l)
{
    QImage pixel(1, 1, QImage::Format_RGB32);
    QPainter p(&pixel);
    paintLook(p, l, pixel.rect());
    p.end();
    return pixel.pixelColor(0, 0);
}

void StageBackground::paintLook(QPainter &p, const Look &l, const QRect &area)
{
    const bool pictured = showsPicture(l);
    // The picture covers the whole stage: an opaque one at full strength
    // leaves nothing of the colour under it to see.
    const bool hidesColour = pictured && l.fade >= 1 && !l.picture.hasAlphaChannel();
    paintInBands(p, area, [&](const QRect &band) {
        if (!hidesColour && l.bg.alpha() < 255)
            p.fillRect(band, Qt::black);
        if (!hidesColour)
            p.fillRect(band, l.bg);
        if (pictured) {
            p.save();
            p.setOpacity(l.fade);
            p.setRenderHint(QPainter::SmoothPixmapTransform, l.media == Media::image);
            p.setTransform(l.placed, true);
            p.drawImage(l.cover, l.picture);
            p.restore();
        }
        if (l.veil > 0)
            p.fillRect(band, QirvTheme::withOpacity(l.bg, l.veil));
    });
}

QRegion StageBackground::coveredRegion() const
{
    return coveredByGlass(this);
}

void StageBackground::paintEvent(QPaintEvent *event)
{
    // What changed since the last look is taken in before drawing: a
    // wallpaper decoded while the window was being built is in its first
    // frame, not in one after the work that follows that frame.
    if (m_syncPending)
        sync();
    // Under opaque glass nothing of the stage would stay on screen. Only
    // the glass over the part repainted is looked for: a small repaint (a
    // fading button) is as frequent as a large one. The repaint of a landed
    // step of the drift is what was uncovered a moment ago: it is not
    // looked over again (glass that moved onto it since paints over it).
    const QRegion asked = event->region();
    const QRegion region = m_canvas.takeLanded(asked) ? asked : asked - coveredByGlass(this, event->rect());
    QPainter p(this);
    if (media() == Media::video) {
        // A video frame comes at the stage's size with the stage's colour,
        // fade and veil already laid on: it is copied as it is.
        const QImage frame = m_video ? m_video->frame() : QImage();
        if (frame.isNull()) {
            const Look l = look(m_canvas.shownPose());
            for (const QRect &r : region)
                paintLook(p, l, r);
        } else {
            p.setCompositionMode(QPainter::CompositionMode_Source);
            // In bands, as the rest of the stage: one blit of the whole
            // height would be shared out among the engine's threads.
            const QRectF whole(rect());
            for (const QRect &r : region)
                paintInBands(p, r, [&](const QRect &) { p.drawImage(whole, frame); });
            m_video->frameDrawn();
        }
        return;
    }
    // Without a picture the stage is one colour: filled, not copied from a
    // canvas of that colour, which would read as much as it writes.
    if (const Look l = look(m_canvas.shownPose()); !showsPicture(l)) {
        const QColor flat = flatColour(l);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        for (const QRect &r : region)
            paintInBands(p, r, [&](const QRect &band) { p.fillRect(band, flat); });
        return;
    }
    // What repaints over the stage (a streamed line, a caret) gets a copy
    // of its part, not the picture resampled again.
    m_canvas.uncover(region, [this](QPainter &painter, const KenBurnsPose &at, const QRegion &missing) {
        paintLookIn(painter, look(at), missing);
    });
    m_canvas.paint(p, region);
}

void StageBackground::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_canvas.resized();
    prepareImage();
    if (m_video)
        m_video->setTarget((QSizeF(size()) * devicePixelRatioF()).toSize(),
                           kBlurRadius / kDownscale * devicePixelRatioF());
    backdropMoved(true);
}

bool StageBackground::isOnScreen() const
{
    if (!isVisible())
        return false;
    const QWidget *top = window();
    if (top->windowState() & Qt::WindowMinimized)
        return false;
    const QWindow *handle = top->windowHandle();
    return handle && handle->isExposed();
}

void StageBackground::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Minimised and exposed are the window's: watch it for them.
    QWidget *top = window();
    if (m_watchedWindow != top) {
        if (m_watchedWindow)
            m_watchedWindow->removeEventFilter(this);
        m_watchedWindow = top;
        top->installEventFilter(this);
    }
    if (QWindow *handle = top->windowHandle(); handle && m_watchedHandle != handle) {
        if (m_watchedHandle)
            m_watchedHandle->removeEventFilter(this);
        m_watchedHandle = handle;
        handle->installEventFilter(this);
    }
    screenChanged();
}

void StageBackground::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    screenChanged();
}

bool StageBackground::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == m_watchedWindow && event->type() == QEvent::WindowStateChange)
        || (watched == m_watchedHandle && event->type() == QEvent::Expose)) {
        // Told before the window has taken the change in: look once it has.
        QTimer::singleShot(0, this, &StageBackground::screenChanged);
    }
    return QWidget::eventFilter(watched, event);
}

void StageBackground::screenChanged()
{
    const bool onScreen = isOnScreen();
    if (m_video)
        m_video->setPaused(!onScreen);
    if (onScreen == m_wasOnScreen)
        return;
    m_wasOnScreen = onScreen;
    if (onScreen) {
        updateVideo();
        // The motion went on meanwhile: show where it is now.
        redraw();
        backdropMoved(true);
    } else {
        m_glassLater.stop();
    }
    ensureTicking();
}

void StageBackground::ensureTicking(std::optional<qint64> at)
{
    const qint64 t = at.value_or(now());
    const bool onScreen = isOnScreen();
    const bool fading = !m_fade.isDone(t) || !m_veil.isDone(t);
    const bool animating = media() == Media::image && m_motion.isAnimating(t);
    if (!onScreen || (!fading && !animating)) {
        m_ticker.stop();
        return;
    }
    // Fades and the settling of the motion are short: every frame. The
    // slow drift: when it next moves a visible step.
    const int interval = fading || !m_motion.isMoving() ? kFastFrameMs : nextStepIn(t);
    if (!m_ticker.isActive() || m_ticker.interval() != interval)
        m_ticker.start(interval);
}

int StageBackground::nextStepIn(qint64 t) const
{
    for (int dt = kFrameMs; dt < kLongestWaitMs; dt += kFrameMs) {
        const KenBurnsPose then = m_motion.poseAt(t + dt);
        if (stepBetween(m_canvas.shownPose(), then) >= kVisibleStep || stepBetween(m_glassPose, then) >= kGlassStep)
            return dt;
    }
    return kLongestWaitMs;
}

void StageBackground::backdropMoved(bool force)
{
    const qint64 t = now();
    if (!force) {
        // A video frame: the glass follows at its own, lower rate, and
        // always gets the last frame before a pause.
        const qint64 wait = m_revisedAt + kVideoGlassMs - t;
        if (wait > 0) {
            if (!m_glassLater.isActive())
                m_glassLater.start(int(wait));
            return;
        }
    }
    m_glassLater.stop();
    m_revisedAt = t;
    m_glassPose = pose();
    m_glassVideo = m_video ? m_video->blurredFrame() : QImage();
    ++m_revision;
    // The glass over a video stage is drawn again only with the stage below it.
    if (media() == Media::video)
        redraw();
    // The covers show the new revision.
    update(coveredRegion());
    emit backdropChanged();
}

void StageBackground::tick()
{
    const qint64 t = now();
    // The tick that ends a fade publishes its last frame too, however soon
    // after the one before: the glass would keep a half-faded backdrop.
    const bool wasFast = m_ticker.interval() == kFastFrameMs;
    if (wasFast || !m_fade.isDone(t) || !m_veil.isDone(t)) {
        redraw();
        backdropMoved(true);
    } else {
        const KenBurnsPose now = pose();
        if (stepBetween(m_canvas.shownPose(), now) >= kVisibleStep)
            redrawLater();
        if (stepBetween(m_glassPose, now) >= kGlassStep)
            backdropMoved(true);
    }
    if (m_fade.isDone(t))
        updateVideo();
    ensureTicking(t);
}

} // namespace glass
