#pragma once

#include "glass/BackdropBlur.h"

#include <QImage>
#include <QObject>
#include <QSize>

class QMediaPlayer;
class QVideoFrame;
class QVideoSink;

namespace glass {

// The stage's video: a muted player that loops one file without end,
// decoded into a video sink (never a native video window, which nothing
// could be drawn over). Each frame is scaled to fill the stage and given a
// blurred copy for the glass, off the UI thread; while that work runs, a
// newer frame replaces any waiting one, so slow machines drop frames
// instead of falling behind.
class LoopingVideoBackground : public QObject {
    Q_OBJECT
public:
    explicit LoopingVideoBackground(const QString &path, QObject *parent = nullptr);
    ~LoopingVideoBackground() override;

    QString path() const { return m_path; }

    // The stage's size in device pixels, and the blur radius for the glass
    // copy, in those pixels.
    void setTarget(QSize pixels, qreal blurRadius);

    // The latest prepared frame (filling the target, cropped) and its
    // blurred, downscaled copy. Null until the first frame.
    QImage frame() const { return m_frame; }
    QImage blurredFrame() const { return m_blurred; }

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

signals:
    void frameReady();
    void failed(const QString &reason);

private:
    void onFrame(const QVideoFrame &frame);

    QString m_path;
    QMediaPlayer *m_player = nullptr;
    QVideoSink *m_sink = nullptr;
    LatestImageWorker m_worker;
    QSize m_target;
    qreal m_blurRadius = 7;
    quint64 m_targetSerial = 0;
    QImage m_frame;
    QImage m_blurred;
    int m_framesShown = 0;
    int m_loops = 0;
    bool m_paused = false;
};

} // namespace glass
