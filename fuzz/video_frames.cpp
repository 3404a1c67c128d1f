// The stage's frame converter reads only inside a frame's planes, whatever
// their sizes and strides: each plane is an allocation of its own that ends
// at its last sample, so a read past it is caught. Beyond that: a frame of
// one colour fills the target with one colour, and packed RGB comes out
// between the darkest and the lightest sample of each channel.
#include "FuzzCheck.h"

#include "glass/stageview/VideoFrameScaler.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

using F = QVideoFrameFormat;
constexpr F::PixelFormat kFormats[] = {
    F::Format_YUV420P,  F::Format_YV12,     F::Format_NV12,     F::Format_NV21,
    F::Format_RGBA8888, F::Format_RGBX8888, F::Format_BGRA8888, F::Format_BGRA8888_Premultiplied,
    F::Format_BGRX8888, F::Format_ARGB8888, F::Format_ARGB8888_Premultiplied, F::Format_XRGB8888,
    F::Format_ABGR8888, F::Format_XBGR8888,
};

struct Input {
    const uint8_t *data;
    size_t size;
    uint8_t next() { return size ? (--size, *data++) : 0; }
};

bool packed(F::PixelFormat format)
{
    return format != F::Format_YUV420P && format != F::Format_YV12 && format != F::Format_NV12
           && format != F::Format_NV21;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Input in{data, size};
    const F::PixelFormat format = kFormats[in.next() % std::size(kFormats)];
    const bool uniform = in.next() & 1;
    const int w = 1 + in.next() % 48, h = 1 + in.next() % 48;
    const QSize target(1 + in.next() % 64, 1 + in.next() % 64);
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;

    std::vector<int> rowBytes, rows;
    if (packed(format)) {
        rowBytes = {w * 4};
        rows = {h};
    } else if (format == F::Format_NV12 || format == F::Format_NV21) {
        rowBytes = {w, cw * 2};
        rows = {h, ch};
    } else {
        rowBytes = {w, cw, cw};
        rows = {h, ch, ch};
    }
    glass::VideoFrameScaler::Planes planes;
    planes.format = format;
    planes.size = QSize(w, h);
    planes.count = int(rowBytes.size());
    std::vector<std::unique_ptr<uint8_t[]>> buffers;
    uint8_t lo = 255, hi = 0;
    for (size_t k = 0; k < rowBytes.size(); ++k) {
        const qsizetype stride = rowBytes[k] + in.next() % 24;
        const size_t bytes = size_t(stride) * size_t(rows[k] - 1) + size_t(rowBytes[k]);
        buffers.emplace_back(new uint8_t[bytes]);
        const uint8_t fill = in.next();
        for (size_t b = 0; b < bytes; ++b)
            buffers.back()[b] = uniform ? fill : in.next();
        for (size_t b = 0; b < bytes; ++b) {
            lo = std::min(lo, buffers.back()[b]);
            hi = std::max(hi, buffers.back()[b]);
        }
        planes.bits[k] = buffers.back().get();
        planes.strides[k] = stride;
    }

    glass::VideoFrameScaler scaler;
    const QImage out = scaler.fill(planes, target);
    fuzz::check(out.size() == target, "every frame with rows that fit its strides is converted");
    const QRgb first = out.pixel(0, 0);
    for (int j = 0; j < out.height(); ++j)
        for (int i = 0; i < out.width(); ++i) {
            const QRgb c = out.pixel(i, j);
            if (uniform)
                fuzz::check(c == first, "a frame of one colour fills the target with one colour");
            if (packed(format))
                for (const int channel : {qRed(c), qGreen(c), qBlue(c)})
                    fuzz::check(channel >= lo && channel <= hi, "packed RGB stays within its samples",
                                QStringLiteral("%1 outside %2..%3").arg(channel).arg(lo).arg(hi));
        }
    return 0;
}
