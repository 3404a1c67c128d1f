#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QVideoFrameFormat>

#include <array>
#include <vector>

class QVideoFrame;

namespace glass {

// Turns a decoded video frame into the picture the stage draws: RGB at the
// stage's size, filling it with the aspect kept and the overflow cropped
// evenly. The frame's planes are read on the CPU and scaled while they are
// converted (an area average when shrinking, linear when growing), so a
// frame never makes the round trip through a GPU (or its software stand-in)
// and no full-size RGB copy is ever made. bench_video_frames measures it
// beside libyuv and libswscale doing the same work (without the veil, which
// is laid here in the same pass), so the choice is checked again there.
// Not thread-safe: one scaler converts one frame at a time, on any thread.
class VideoFrameScaler {
public:
    // A frame's planes as mapped: each plane read with its own stride, and
    // no byte of a plane read past its last sample.
    struct Planes {
        QVideoFrameFormat::PixelFormat format = QVideoFrameFormat::Format_Invalid;
        QSize size;
        std::array<const uchar *, 3> bits{};
        std::array<qsizetype, 3> strides{};
        int count = 0;
        QVideoFrameFormat::ColorSpace colorSpace = QVideoFrameFormat::ColorSpace_Undefined;
        QVideoFrameFormat::ColorRange colorRange = QVideoFrameFormat::ColorRange_Unknown;
    };

    // The pixel formats converted here: planar and semi-planar 4:2:0 YUV
    // (what the decoders hand over), and 32-bit RGB. Others go through
    // Qt's own conversion.
    static bool handles(QVideoFrameFormat::PixelFormat format);

    // The frame filling target, as RGB32, with tint (its alpha the share of
    // it) laid over it. Null when the frame cannot be read.
    QImage fill(const QVideoFrame &frame, QSize target, QColor tint = QColor());
    // The same from planes mapped already. Null when a plane is missing or
    // its stride is shorter than its row.
    QImage fill(const Planes &planes, QSize target, QColor tint = QColor());

    // The part of a source of this size that fills target (centred, the
    // overflow cropped evenly), in source pixels.
    static QRectF visibleRect(QSizeF source, QSizeF target);

private:
    struct Taps {
        std::vector<int> first;   // per output sample: first source sample read
        std::vector<int> weights; // stride weights per sample, summing to the total asked for
        int stride = 0;           // source samples each output sample reads
    };
    // Output sample i of n covers plane samples [from + i * step, from + (i + 1) * step).
    static void makeTaps(Taps &taps, double from, double step, int n, int planeSize, int total);
    // How one plane of a size is filtered into an output of a size: the same
    // for every frame of a video, so made once (a frame makes six, its
    // blurred copy six more).
    struct Plan {
        int planeW = 0, planeH = 0, dstW = 0, dstH = 0;
        QRectF area;
        Taps tx, ty;
        int col0 = 0, cols = 0;         // the source columns read
        std::vector<qint16> weights4;   // the taps across, four per output sample
    };
    const Plan &planFor(int planeW, int planeH, QRectF area, int dstW, int dstH);
    // One plane (samples pixelStep bytes apart in a row) into dst, dstW x dstH bytes.
    void resample(const uchar *plane, qsizetype stride, int pixelStep, int planeW, int planeH, QRectF area,
                  int dstW, int dstH, uchar *dst);

    // An image of this size that nobody else holds any more, to write the
    // next frame into: a new 4 MB image per frame costs more in page faults
    // than the conversion itself.
    QImage &outputImage(QSize size);

    std::vector<QImage> m_outputs;
    std::vector<quint16> m_column; // one output row, filtered down, 8.7 fixed point
    std::vector<Plan> m_plans;     // the latest first
    std::vector<uchar> m_packed;   // interleaved chroma rows, gathered
    std::vector<uchar> m_y, m_u, m_v;
    std::vector<int> m_uRow, m_vRow; // a chroma row at the output's width
};

} // namespace glass
