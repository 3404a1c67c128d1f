// One 1080p YUV 4:2:0 video frame made into the stage's picture, CPU time
// per frame: the CPU scaler at the stage's usual sizes, and beside it, in
// the same run, what the stage did before (Qt's conversion to a full-size
// image, then a smooth scale and crop), and the two libraries that could do
// the scaler's work: libyuv (its planes scaled with a box filter, then
// converted at the target's size, its fastest arrangement) and libswscale
// (an area scale into BGRA in one call), neither laying a veil. Prints
// "name value unit" lines, the median of the runs (each run converts a
// different frame content). The scaler stays while both cost more.
#include "glass/stageview/VideoFrameScaler.h"

#include <QGuiApplication>
#include <QVideoFrame>

#include <libyuv/convert_argb.h>
#include <libyuv/scale.h>
extern "C" {
#include <libswscale/swscale.h>
}

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
    SwsContext *sws = nullptr;
    for (QSize target : {QSize(1280, 800), QSize(1920, 1200), QSize(2560, 1600), QSize(320, 200)}) {
        const int W = target.width(), H = target.height();
        const double ms = medianMs(runs, [&](int i) { (void)scaler.fill(frames[size_t(i)], target, veil); });
        std::printf("video_frames.scaler_1080p_to_%dx%d %.2f ms\n", W, H, ms);

        // The part of the frame shown, on whole chroma samples.
        const QRect seen = VideoFrameScaler::visibleRect(QSizeF(1920, 1080), QSizeF(target)).toAlignedRect();
        const int x = seen.x() & ~1, y = seen.y() & ~1, w = seen.width() & ~1, h = seen.height() & ~1;
        std::vector<uint8_t> py(size_t(W) * size_t(H)), pu(size_t((W + 1) / 2) * size_t((H + 1) / 2)), pv(pu.size());
        QImage argb(target, QImage::Format_ARGB32);
        const double yuv = medianMs(runs, [&](int i) {
            QVideoFrame frame = frames[size_t(i)];
            frame.map(QVideoFrame::ReadOnly);
            const auto at = [&](int plane, int ax, int ay) {
                return frame.bits(plane) + qsizetype(ay) * frame.bytesPerLine(plane) + ax;
            };
            libyuv::I420Scale(at(0, x, y), frame.bytesPerLine(0), at(1, x / 2, y / 2), frame.bytesPerLine(1),
                              at(2, x / 2, y / 2), frame.bytesPerLine(2), w, h, py.data(), W, pu.data(), (W + 1) / 2,
                              pv.data(), (W + 1) / 2, W, H, libyuv::kFilterBox);
            libyuv::I420ToARGB(py.data(), W, pu.data(), (W + 1) / 2, pv.data(), (W + 1) / 2, argb.bits(),
                               int(argb.bytesPerLine()), W, H);
            frame.unmap();
        });
        std::printf("video_frames.libyuv_1080p_to_%dx%d %.2f ms\n", W, H, yuv);
        sws = sws_getCachedContext(sws, w, h, AV_PIX_FMT_YUV420P, W, H, AV_PIX_FMT_BGRA, SWS_AREA, nullptr, nullptr,
                                   nullptr);
        const double swscale = medianMs(runs, [&](int i) {
            QVideoFrame frame = frames[size_t(i)];
            frame.map(QVideoFrame::ReadOnly);
            const uint8_t *src[3];
            int strides[3];
            for (int k = 0; k < 3; ++k) {
                const int shift = k == 0 ? 0 : 1;
                src[k] = frame.bits(k) + qsizetype(y >> shift) * frame.bytesPerLine(k) + (x >> shift);
                strides[k] = frame.bytesPerLine(k);
            }
            uint8_t *dst[1] = {argb.bits()};
            const int dstStride[1] = {int(argb.bytesPerLine())};
            sws_scale(sws, src, strides, 0, h, dst, dstStride);
            frame.unmap();
        });
        std::printf("video_frames.swscale_1080p_to_%dx%d %.2f ms\n", W, H, swscale);
        if (target == QSize(1280, 800)) {
            std::printf("video_frames.libyuv_over_scaler_1280x800 %.2f x\n", yuv / ms);
            std::printf("video_frames.swscale_over_scaler_1280x800 %.2f x\n", swscale / ms);
        }
    }
    sws_freeContext(sws);
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
