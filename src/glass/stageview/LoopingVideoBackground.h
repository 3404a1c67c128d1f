#pragma once

#include "glass/paint/BackdropBlur.h"

#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QSize>

#include <memory>

class QMediaPlayer;
class QVideoFrame;
class QVideoSink;

namespace glass {

class VideoFrameScaler;

// The stage's video: a muted player that loops one file without end,
// decoded into a video sink (never a native video window, which nothing
// could be drawn over). Each frame is converted to RGB at the stage's size,
// filling it, off the UI thread; the glass's blurred copy is made at the
// rate the glass follows the video. Only one frame is ever in
// flight: frames that come while one is converted, or before the last one
// was drawn, are dropped rather than queued, so the decoder holds no more
// than that one buffer and slow machines show fewer frames instead of
// falling behind.
class LoopingVideoBackground : public QObject {
    Q_OBJECT
public:
    explicit LoopingVideoBackground(const QString &path, QObject *parent = nullptr);
    ~LoopingVideoBackground() override;

    QString path() const { return m_path; }

    // The stage's size in device pixels, and the blur radius for the glass
    // copy, in those pixels.
    void setTarget(QSize pixels, qreal blurRadius);
    // What the stage lays over the video (its fade and veil, as one colour
    // whose alpha is its share): frames are made with it laid on, so the
    // stage only copies them. Frames made before a change keep the old one.
    void setTint(const QColor &tint) { m_tint = tint; }
    QColor tint() const { return m_tint; }

    // The latest prepared frame (filling the target, cropped, tinted) and a
    // blurred, downscaled copy without the tint. Null until the first frame.
    QImage frame() const { return m_frame; }
    QImage blurredFrame() const { return m_blurred; }

    // The stage drew the latest frame: the next one may be converted.
    void frameDrawn() { m_awaitingDraw = false; }

    // For tests and the benchmark.
    int framesShown() const { return m_framesShown; }
    int loopsCompleted() const { return m_loops; }
    QMediaPlayer *player() const { return m_player; }

    // The end-of-playback handler: back to the start and play on.
    void loop();
    // Held while the stage is off screen: nothing is decoded then.
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }

    // The part of the blurred copy that matches the frame (it keeps its aspect).
    static constexpr int kBlurDownscale = 4;
    // The glass shows the video blurred: a new copy this often is enough.
    static constexpr qint64 kBlurredEveryMs = 100;
    // A frame the stage did not draw within this long (it was covered, or
    // the UI thread was busy) no longer holds the next one back.
    static constexpr qint64 kDrawWaitMs = 100;

signals:
    void frameReady();
    void failed(const QString &reason);

private:
    void onFrame(const QVideoFrame &frame);

    QString m_path;
    QMediaPlayer *m_player = nullptr;
    QVideoSink *m_sink = nullptr;
    LatestImageWorker m_worker;
    std::shared_ptr<VideoFrameScaler> m_scaler; // used by one job at a time
    QElapsedTimer m_delivered; // since the last frame was handed to the stage
    QElapsedTimer m_blurredAt; // since the last blurred copy was asked for
    bool m_awaitingDraw = false;
    QSize m_target;
    qreal m_blurRadius = 7;
    QColor m_tint;
    quint64 m_targetSerial = 0;
    QImage m_frame;
    QImage m_blurred;
    int m_framesShown = 0;
    int m_loops = 0;
    bool m_paused = false;
};

} // namespace glass
