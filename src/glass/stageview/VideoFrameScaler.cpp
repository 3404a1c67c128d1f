#include "glass/stageview/VideoFrameScaler.h"

#include <QVideoFrame>

#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <cmath>

namespace glass {

namespace {

// The YUV -> RGB matrix of a frame, in 16.16 fixed point.
struct Matrix {
    int yOffset = 16;
    int y = 0, rv = 0, gu = 0, gv = 0, bu = 0;
};

Matrix matrixFor(QVideoFrameFormat::ColorSpace space, QVideoFrameFormat::ColorRange range, int height)
{
    if (space == QVideoFrameFormat::ColorSpace_Undefined)
        space = height >= 720 ? QVideoFrameFormat::ColorSpace_BT709 : QVideoFrameFormat::ColorSpace_BT601;
    double kr = 0.299, kb = 0.114;
    if (space == QVideoFrameFormat::ColorSpace_BT709) {
        kr = 0.2126;
        kb = 0.0722;
    } else if (space == QVideoFrameFormat::ColorSpace_BT2020) {
        kr = 0.2627;
        kb = 0.0593;
    }
    const double kg = 1 - kr - kb;
    // Video range unless the frame says otherwise, as decoders deliver it.
    const bool full = range == QVideoFrameFormat::ColorRange_Full;
    const double ys = full ? 1.0 : 255.0 / 219.0;
    const double cs = full ? 1.0 : 255.0 / 224.0;
    auto fixed = [](double v) { return int(std::lround(v * 65536)); };
    Matrix m;
    m.yOffset = full ? 0 : 16;
    m.y = fixed(ys);
    m.rv = fixed(2 * (1 - kr) * cs);
    m.bu = fixed(2 * (1 - kb) * cs);
    m.gu = fixed(2 * kb * (1 - kb) / kg * cs);
    m.gv = fixed(2 * kr * (1 - kr) / kg * cs);
    return m;
}

// Where a frame's three channels lie: Y, U, V (or R, G, B) planes, with
// step bytes between two samples of a row.
struct Channels {
    const uchar *c[3] = {};
    qsizetype stride[3] = {};
    int step = 1;
    bool rgb = false;   // the three are R, G and B at the frame's size
    int cw = 0, ch = 0; // the size of the second and third planes
};

// The byte of R, G and B in a pixel of each 32-bit packed layout (the names
// give the bytes in memory order). Ours rather than Qt's table, which maps
// some of these to an image format of the other byte order.
bool packedOffsets(QVideoFrameFormat::PixelFormat format, int (&at)[3])
{
    using F = QVideoFrameFormat;
    switch (format) {
    case F::Format_ARGB8888:
    case F::Format_ARGB8888_Premultiplied:
    case F::Format_XRGB8888:
        at[0] = 1, at[1] = 2, at[2] = 3;
        return true;
    case F::Format_BGRA8888:
    case F::Format_BGRA8888_Premultiplied:
    case F::Format_BGRX8888:
        at[0] = 2, at[1] = 1, at[2] = 0;
        return true;
    case F::Format_ABGR8888:
    case F::Format_XBGR8888:
        at[0] = 3, at[1] = 2, at[2] = 1;
        return true;
    case F::Format_RGBA8888:
    case F::Format_RGBX8888:
        at[0] = 0, at[1] = 1, at[2] = 2;
        return true;
    default:
        return false;
    }
}

// The channels of planes, or false when one is missing or a stride is
// shorter than the row it must hold.
bool channelsOf(const VideoFrameScaler::Planes &f, Channels &p)
{
    const int w = f.size.width();
    const int h = f.size.height();
    if (w <= 0 || h <= 0 || f.count < 1 || !f.bits[0])
        return false;
    const auto fits = [&](int plane, qsizetype row) {
        return plane < f.count && f.bits[size_t(plane)] && f.strides[size_t(plane)] >= row;
    };
    p.cw = (w + 1) / 2;
    p.ch = (h + 1) / 2;
    int at[3];
    if (packedOffsets(f.format, at)) {
        if (!fits(0, qsizetype(w) * 4))
            return false;
        for (int k = 0; k < 3; ++k) {
            p.c[k] = f.bits[0] + at[k];
            p.stride[k] = f.strides[0];
        }
        p.step = 4;
        p.rgb = true;
        p.cw = w;
        p.ch = h;
        return true;
    }
    if (!fits(0, w))
        return false;
    p.c[0] = f.bits[0];
    p.stride[0] = f.strides[0];
    switch (f.format) {
    case QVideoFrameFormat::Format_YUV420P:
    case QVideoFrameFormat::Format_YV12: {
        if (!fits(1, p.cw) || !fits(2, p.cw))
            return false;
        // Each chroma plane with its own stride: the two need not match.
        const int u = f.format == QVideoFrameFormat::Format_YUV420P ? 1 : 2;
        const int v = 3 - u;
        p.c[1] = f.bits[size_t(u)];
        p.stride[1] = f.strides[size_t(u)];
        p.c[2] = f.bits[size_t(v)];
        p.stride[2] = f.strides[size_t(v)];
        return true;
    }
    case QVideoFrameFormat::Format_NV12:
    case QVideoFrameFormat::Format_NV21: {
        if (!fits(1, qsizetype(p.cw) * 2))
            return false;
        const bool nv12 = f.format == QVideoFrameFormat::Format_NV12;
        p.c[1] = f.bits[1] + (nv12 ? 0 : 1);
        p.c[2] = f.bits[1] + (nv12 ? 1 : 0);
        p.stride[1] = p.stride[2] = f.strides[1];
        p.step = 2;
        return true;
    }
    default:
        return false;
    }
}

} // namespace

bool VideoFrameScaler::handles(QVideoFrameFormat::PixelFormat format)
{
    int at[3];
    switch (format) {
    case QVideoFrameFormat::Format_YUV420P:
    case QVideoFrameFormat::Format_YV12:
    case QVideoFrameFormat::Format_NV12:
    case QVideoFrameFormat::Format_NV21:
        return true;
    default:
        return packedOffsets(format, at);
    }
}

QRectF VideoFrameScaler::visibleRect(QSizeF source, QSizeF target)
{
    if (source.isEmpty() || target.isEmpty())
        return {};
    const double scale = std::max(target.width() / source.width(), target.height() / source.height());
    const QSizeF seen(std::min(source.width(), target.width() / scale),
                      std::min(source.height(), target.height() / scale));
    return QRectF(QPointF((source.width() - seen.width()) / 2, (source.height() - seen.height()) / 2), seen);
}

void VideoFrameScaler::makeTaps(Taps &taps, double from, double step, int n, int planeSize, int total)
{
    // Every output sample reads the same number of source samples (some
    // weigh nothing), so the loops below have a fixed length.
    taps.stride = std::min(planeSize, step >= 1 ? int(std::ceil(step)) + 1 : 2);
    const int t = taps.stride;
    taps.first.assign(size_t(n), 0);
    taps.weights.assign(size_t(n) * size_t(t), 0);
    std::vector<double> w(static_cast<size_t>(t));
    for (int i = 0; i < n; ++i) {
        std::fill(w.begin(), w.end(), 0.0);
        int first = 0;
        if (step >= 1) {
            // Shrinking: each source sample weighs what of it the output sample covers.
            const double a = std::clamp(from + i * step, 0.0, double(planeSize));
            const double b = std::clamp(from + (i + 1) * step, a, double(planeSize));
            first = std::clamp(int(std::floor(a)), 0, planeSize - t);
            for (int k = 0; k < t; ++k)
                w[size_t(k)] = std::max(0.0, std::min(b, first + k + 1.0) - std::max(a, double(first + k)));
        } else {
            // Growing: linear between the two nearest samples.
            const double c = std::clamp(from + (i + 0.5) * step - 0.5, 0.0, double(planeSize - 1));
            first = std::clamp(int(std::floor(c)), 0, planeSize - t);
            const double f = std::clamp(c - first, 0.0, 1.0);
            w[0] = 1 - f;
            if (t > 1)
                w[1] = f;
        }
        double covered = 0;
        for (double v : w)
            covered += v;
        int *out = taps.weights.data() + size_t(i) * size_t(t);
        int sum = 0, heaviest = 0;
        for (int k = 0; k < t; ++k) {
            out[k] = covered > 0 ? int(std::lround(w[size_t(k)] / covered * total)) : (k == 0 ? total : 0);
            sum += out[k];
            if (out[k] > out[heaviest])
                heaviest = k;
        }
        out[heaviest] += total - sum; // rounding must not brighten or darken
        taps.first[size_t(i)] = first;
    }
}

namespace {

// One row across: dst[i] = the taps over src (a column filtered down, 8.7
// fixed point, under weights summing to 256) -> a byte.
void filterRowAny(const quint16 *src, const int *first, const int *weights, const qint16 *weights4, int t, int n,
                  uchar *dst)
{
    int i = 0;
#ifdef __SSE2__
    if (t <= 4) {
        // Eight outputs at a time: four samples each (those past the taps
        // weigh nothing), multiplied and summed in pairs, the pairs summed
        // and the eight bytes stored at once.
        const auto *column = reinterpret_cast<const qint16 *>(src);
        const auto four = [&](int at) {
            const auto pair = [&](int k) {
                const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(column + first[k]));
                const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(column + first[k + 1]));
                const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i *>(weights4 + size_t(k) * 4));
                return _mm_castsi128_ps(_mm_madd_epi16(_mm_unpacklo_epi64(a, b), w));
            };
            const __m128 lo = pair(at), hi = pair(at + 2);
            const __m128i sum = _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0))),
                                              _mm_castps_si128(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1))));
            return _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(1 << 14)), 15);
        };
        for (; i + 7 < n; i += 8) {
            const __m128i words = _mm_packs_epi32(four(i), four(i + 4));
            _mm_storel_epi64(reinterpret_cast<__m128i *>(dst + i), _mm_packus_epi16(words, words));
        }
        for (; i + 1 < n; i += 2) {
            const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(column + first[i]));
            const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(column + first[i + 1]));
            const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i *>(weights4 + size_t(i) * 4));
            const __m128i m = _mm_madd_epi16(_mm_unpacklo_epi64(a, b), w);
            const __m128i s = _mm_add_epi32(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(2, 3, 0, 1)));
            dst[i] = uchar((_mm_cvtsi128_si32(s) + (1 << 14)) >> 15);
            dst[i + 1] = uchar((_mm_cvtsi128_si32(_mm_unpackhi_epi64(s, s)) + (1 << 14)) >> 15);
        }
    }
#else
    Q_UNUSED(weights4);
#endif
    for (; i < n; ++i) {
        const quint16 *s = src + first[i];
        const int *w = weights + i * t;
        int sum = 1 << 14;
        for (int k = 0; k < t; ++k)
            sum += s[k] * w[k];
        dst[i] = uchar(sum >> 15);
    }
}

// The per-pixel loops, built for the wider vector units too where the
// processor has them.
#define MOONSHELF_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))

MOONSHELF_VECTOR_CLONES
void accumulate(quint16 *column, const uchar *in, int n, int weight)
{
    for (int i = 0; i < n; ++i)
        column[i] = quint16(column[i] + in[i] * weight);
}

// A colour laid over the picture: each channel becomes (c * keep + add) / 256.
struct Tint {
    int keep = 256;
    int addR = 0, addG = 0, addB = 0;
};

Tint tintFor(const QColor &color)
{
    Tint t;
    if (!color.isValid() || color.alpha() == 0)
        return t;
    const QColor c = color.toRgb();
    const int share = std::clamp(int(std::lround(c.alphaF() * 256)), 0, 256);
    t.keep = 256 - share;
    t.addR = c.red() * share + 128;
    t.addG = c.green() * share + 128;
    t.addB = c.blue() * share + 128;
    return t;
}

MOONSHELF_VECTOR_CLONES
void convertRow(const uchar *ys, const int *ur, const int *vr, int n, const Matrix &m, const Tint &t, quint32 *line)
{
    for (int i = 0; i < n; ++i) {
        const int y = (ys[i] - m.yOffset) * m.y + (1 << 15);
        const int u = ur[i], v = vr[i];
        const int r = std::clamp((y + m.rv * v) >> 16, 0, 255);
        const int g = std::clamp((y - m.gu * u - m.gv * v) >> 16, 0, 255);
        const int b = std::clamp((y + m.bu * u) >> 16, 0, 255);
        line[i] = 0xff000000u | (quint32((r * t.keep + t.addR) >> 8) << 16) | (quint32((g * t.keep + t.addG) >> 8) << 8)
                  | quint32((b * t.keep + t.addB) >> 8);
    }
}

MOONSHELF_VECTOR_CLONES
void tintRow(const uchar *rs, const uchar *gs, const uchar *bs, int n, const Tint &t, quint32 *line)
{
    for (int i = 0; i < n; ++i)
        line[i] = 0xff000000u | (quint32((rs[i] * t.keep + t.addR) >> 8) << 16)
                  | (quint32((gs[i] * t.keep + t.addG) >> 8) << 8) | quint32((bs[i] * t.keep + t.addB) >> 8);
}

// A chroma row at the output's width, each sample serving two pixels, centred on 0.
MOONSHELF_VECTOR_CLONES
void widenChroma(const uchar *us, const uchar *vs, int n, int *ur, int *vr)
{
    for (int c = 0; c < n / 2; ++c) {
        const int u = us[c] - 128, v = vs[c] - 128;
        ur[2 * c] = u;
        ur[2 * c + 1] = u;
        vr[2 * c] = v;
        vr[2 * c + 1] = v;
    }
    if (n % 2) {
        ur[n - 1] = us[n / 2] - 128;
        vr[n - 1] = vs[n / 2] - 128;
    }
}

// Samples step bytes apart (an interleaved chroma plane) gathered into a row of their own.
template <int Step>
void spread(const uchar *src, int n, uchar *dst)
{
    for (int i = 0; i < n; ++i)
        dst[i] = src[i * Step];
}

} // namespace

const VideoFrameScaler::Plan &VideoFrameScaler::planFor(int planeW, int planeH, QRectF area, int dstW, int dstH)
{
    for (size_t i = 0; i < m_plans.size(); ++i) {
        const Plan &p = m_plans[i];
        if (p.planeW == planeW && p.planeH == planeH && p.dstW == dstW && p.dstH == dstH && p.area == area) {
            if (i > 0)
                std::rotate(m_plans.begin(), m_plans.begin() + qsizetype(i), m_plans.begin() + qsizetype(i) + 1);
            return m_plans.front();
        }
    }
    // Two outputs (the frame and its small copy) of two plane sizes each.
    constexpr size_t kKept = 8;
    if (m_plans.size() >= kKept)
        m_plans.pop_back();
    m_plans.insert(m_plans.begin(), Plan{});
    Plan &p = m_plans.front();
    p.planeW = planeW;
    p.planeH = planeH;
    p.dstW = dstW;
    p.dstH = dstH;
    p.area = area;
    makeTaps(p.tx, area.x(), area.width() / dstW, dstW, planeW, 256);
    // Down with weights summing to 128: a column then fits 15 bits.
    makeTaps(p.ty, area.y(), area.height() / dstH, dstH, planeH, 128);
    // Only the columns some output sample reads.
    p.col0 = p.tx.first.front();
    p.cols = p.tx.first.back() + p.tx.stride - p.col0;
    for (int &f : p.tx.first)
        f -= p.col0;
    p.weights4.assign(size_t(dstW) * 4 + 4, 0);
    if (p.tx.stride <= 4)
        for (int i = 0; i < dstW; ++i)
            for (int k = 0; k < p.tx.stride; ++k)
                p.weights4[size_t(i) * 4 + size_t(k)] = qint16(p.tx.weights[size_t(i) * size_t(p.tx.stride) + size_t(k)]);
    return p;
}

void VideoFrameScaler::resample(const uchar *plane, qsizetype stride, int pixelStep, int planeW, int planeH,
                                QRectF area, int dstW, int dstH, uchar *dst)
{
    const Plan &p = planFor(planeW, planeH, area, dstW, dstH);
    const int cols = p.cols;
    // Four samples are read from each output's first one: room past the end.
    m_column.assign(size_t(cols) + 4, 0);
    m_packed.resize(pixelStep == 1 ? 0 : size_t(p.ty.stride) * size_t(cols));
    for (int j = 0; j < dstH; ++j) {
        // Down first, over whole rows of bytes (which vectorises)...
        std::fill(m_column.begin(), m_column.begin() + cols, 0);
        quint16 *column = m_column.data();
        const int *w = p.ty.weights.data() + size_t(j) * size_t(p.ty.stride);
        for (int k = 0; k < p.ty.stride; ++k) {
            const int weight = w[k];
            if (weight == 0)
                continue;
            const uchar *in = plane + qsizetype(p.ty.first[size_t(j)] + k) * stride + qsizetype(p.col0) * pixelStep;
            if (pixelStep != 1) {
                uchar *packed = m_packed.data() + size_t(k) * size_t(cols);
                if (pixelStep == 2)
                    spread<2>(in, cols, packed);
                else
                    spread<4>(in, cols, packed);
                in = packed;
            }
            accumulate(column, in, cols, weight);
        }
        // ...then across, on the one row that made.
        filterRowAny(column, p.tx.first.data(), p.tx.weights.data(), p.weights4.data(), p.tx.stride, dstW,
                     dst + size_t(j) * size_t(dstW));
    }
}

QImage &VideoFrameScaler::outputImage(QSize size)
{
    // Three are enough: the one shown, the one being made, one to spare.
    constexpr size_t kKept = 3;
    for (QImage &image : m_outputs)
        if (image.size() == size && image.isDetached())
            return image;
    std::erase_if(m_outputs, [size](const QImage &image) { return image.size() != size && image.isDetached(); });
    if (m_outputs.size() >= kKept)
        m_outputs.erase(m_outputs.begin());
    m_outputs.emplace_back(size, QImage::Format_RGB32);
    return m_outputs.back();
}

QImage VideoFrameScaler::fill(const QVideoFrame &source, QSize target, QColor tint)
{
    if (!source.isValid() || target.isEmpty() || source.size().isEmpty())
        return {};
    QVideoFrame frame = source; // shares the buffer; mapping needs a non-const handle
    if (!frame.map(QVideoFrame::ReadOnly))
        return {};
    Planes planes;
    planes.format = frame.pixelFormat();
    planes.size = frame.size();
    planes.count = std::min(frame.planeCount(), 3);
    for (int k = 0; k < planes.count; ++k) {
        planes.bits[size_t(k)] = frame.bits(k);
        planes.strides[size_t(k)] = frame.bytesPerLine(k);
    }
    planes.colorSpace = frame.surfaceFormat().colorSpace();
    planes.colorRange = frame.surfaceFormat().colorRange();
    QImage out = fill(planes, target, tint);
    frame.unmap();
    return out;
}

QImage VideoFrameScaler::fill(const Planes &planes, QSize target, QColor tint)
{
    Channels p;
    if (target.isEmpty() || !channelsOf(planes, p))
        return {};
    const int w = planes.size.width();
    const int h = planes.size.height();
    const QRectF seen = visibleRect(QSizeF(w, h), QSizeF(target));
    const int W = target.width(), H = target.height();
    // Chroma at half the size, as it came; R, G and B at the full size.
    const int CW = p.rgb ? W : (W + 1) / 2, CH = p.rgb ? H : (H + 1) / 2;
    m_y.resize(size_t(W) * size_t(H));
    m_u.resize(size_t(CW) * size_t(CH));
    m_v.resize(size_t(CW) * size_t(CH));
    resample(p.c[0], p.stride[0], p.rgb ? p.step : 1, w, h, seen, W, H, m_y.data());
    const double sx = double(p.cw) / w, sy = double(p.ch) / h;
    const QRectF cSeen(seen.x() * sx, seen.y() * sy, seen.width() * sx, seen.height() * sy);
    resample(p.c[1], p.stride[1], p.step, p.cw, p.ch, cSeen, CW, CH, m_u.data());
    resample(p.c[2], p.stride[2], p.step, p.cw, p.ch, cSeen, CW, CH, m_v.data());

    const Tint t = tintFor(tint);
    QImage &image = outputImage(target);
    if (p.rgb) {
        for (int j = 0; j < H; ++j) {
            const size_t row = size_t(j) * size_t(W);
            tintRow(m_y.data() + row, m_u.data() + row, m_v.data() + row, W, t,
                    reinterpret_cast<quint32 *>(image.scanLine(j)));
        }
        return image;
    }
    const Matrix m = matrixFor(planes.colorSpace, planes.colorRange, h);
    m_uRow.resize(size_t(W));
    m_vRow.resize(size_t(W));
    int *ur = m_uRow.data();
    int *vr = m_vRow.data();
    for (int j = 0; j < H; ++j) {
        if (j % 2 == 0) {
            // Each chroma sample serves two pixels across (and two rows down).
            const uchar *us = m_u.data() + size_t(j / 2) * size_t(CW);
            const uchar *vs = m_v.data() + size_t(j / 2) * size_t(CW);
            widenChroma(us, vs, W, ur, vr);
        }
        convertRow(m_y.data() + size_t(j) * size_t(W), ur, vr, W, m, t,
                   reinterpret_cast<quint32 *>(image.scanLine(j)));
    }
    return image;
}

} // namespace glass
