// One 1080p YUV 4:2:0 video frame made into the stage's picture, CPU time
// per frame: the CPU scaler at the stage's usual sizes, and beside it, in
// the same run, what the stage did before (Qt's conversion to a full-size
// image, then a smooth scale and crop). Prints "name value unit" lines,
// the median of the runs (each run converts a different frame content).
#include "glass/VideoFrameScaler.h"

#include <QGuiApplication>
#include <QVideoFrame>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

using glass::VideoFrameScaler;

namespace {

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// A frame with detail everywhere (a moving pattern plus noise), so no
// shortcut of the scaler's could pass for its real speed.
QVideoFrame makeFrame(int seed)
{
    QVideoFrameFormat format(QSize(1920, 1080), QVideoFrameFormat::Format_YUV420P);
    format.setColorSpace(QVideoFrameFormat::ColorSpace_BT709);
    QVideoFrame frame(format);
    frame.map(QVideoFrame::WriteOnly);
    quint32 noise = 0x9e3779b9u * quint32(seed + 1);
    auto next = [&noise] {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        return noise;
    };
    for (int plane = 0; plane < 3; ++plane) {
        const int w = plane == 0 ? 1920 : 960, h = plane == 0 ? 1080 : 540;
        for (int y = 0; y < h; ++y) {
            uchar *row = frame.bits(plane) + y * frame.bytesPerLine(plane);
            for (int x = 0; x < w; ++x)
                row[x] = uchar(((x + seed * 7) ^ (y * 3)) + (next() & 15));
        }
    }
    frame.unmap();
    return frame;
}

double medianMs(int runs, const std::function<void(int)> &job)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const double t0 = threadCpuMs();
        job(i);
        ms.push_back(threadCpuMs() - t0);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    // The reference path converts through Qt's own machinery, which wants a GUI application.
    QGuiApplication app(argc, argv);
    const int runs = 15;
    std::vector<QVideoFrame> frames;
    for (int i = 0; i < runs; ++i)
        frames.push_back(makeFrame(i));
    VideoFrameScaler scaler;
    const QColor veil = QColor::fromRgbF(0.1, 0.1, 0.12, 0.35);
    for (QSize target : {QSize(1280, 800), QSize(1920, 1200), QSize(2560, 1600), QSize(320, 200)}) {
        const double ms = medianMs(runs, [&](int i) { (void)scaler.fill(frames[size_t(i)], target, veil); });
        std::printf("video_frames.scaler_1080p_to_%dx%d %.2f ms\n", target.width(), target.height(), ms);
    }
    const QSize target(1280, 800);
    const double reference = medianMs(runs, [&](int i) {
        const QImage full = frames[size_t(i)].toImage();
        const QImage scaled = full.scaled(target, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        (void)scaled.copy(QRect(QPoint((scaled.width() - target.width()) / 2, (scaled.height() - target.height()) / 2),
                                target));
    });
    std::printf("video_frames.qt_image_then_scale_1080p_to_1280x800 %.2f ms\n", reference);
    return 0;
}
