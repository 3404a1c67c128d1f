#include "tst_staging_fixtures.h"

#include <QBuffer>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QtEndian>

#include <libheif/heif.h>

#include <array>
#include <cmath>
#include <cstring>

namespace fixtures {

namespace {

quint32 crc32(const QByteArray &data)
{
    static const auto table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 c = 0xFFFFFFFFu;
    for (const char byte : data)
        c = table[(c ^ quint8(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void appendBE32(QByteArray &out, quint32 v)
{
    char b[4];
    qToBigEndian(v, b);
    out.append(b, 4);
}

void appendLE16(QByteArray &out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void appendChunk(QByteArray &out, const char *type, const QByteArray &body)
{
    appendBE32(out, quint32(body.size()));
    const QByteArray typed = QByteArray(type, 4) + body;
    out += typed;
    appendBE32(out, crc32(typed));
}

// LZW codes of 8 bits for a 128-entry palette, with a clear code before the
// table would grow to 9 bits: valid GIF data without a real compressor.
QByteArray gifPixels(const QByteArray &indices)
{
    constexpr int clear = 128;
    constexpr int end = 129;
    QByteArray codes;
    codes.append(char(clear));
    int sinceClear = 0;
    for (const char index : indices) {
        if (sinceClear == 100) {
            codes.append(char(clear));
            sinceClear = 0;
        }
        codes.append(index);
        ++sinceClear;
    }
    codes.append(char(end));
    QByteArray out;
    out.append(char(7)); // minimum code size
    for (qsizetype i = 0; i < codes.size(); i += 255) {
        const QByteArray block = codes.mid(i, 255);
        out.append(char(block.size()));
        out += block;
    }
    out.append(char(0));
    return out;
}

} // namespace

QImage photoLike(QSize size, quint32 seed)
{
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator rng(seed);
    const double fx = 6.0 / size.width();
    const double fy = 4.0 / size.height();
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int n = int(rng.bounded(16u)) - 8;
            const int r = int(127 + 100 * std::sin(x * fx + seed)) + n;
            const int g = int(127 + 100 * std::cos(y * fy)) + n;
            const int b = int(127 + 60 * std::sin((x + y) * fx * 0.5)) + n;
            line[x] = qRgb(qBound(0, r, 255), qBound(0, g, 255), qBound(0, b, 255));
        }
    }
    return image;
}

QImage noise(QSize size, quint32 seed)
{
    QImage image(size, QImage::Format_ARGB32);
    QRandomGenerator rng(seed);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = rng.generate() | 0xFF000000u;
    }
    return image;
}

QByteArray encode(const QImage &image, const char *format, int quality)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0)
        writer.setQuality(quality);
    if (!writer.write(image))
        return {};
    return out;
}

QByteArray withExifOrientation(const QByteArray &jpeg, quint16 orientation)
{
    // TIFF header (big-endian), one IFD entry: Orientation (0x0112), SHORT, 1 value.
    QByteArray tiff("MM\x00\x2A\x00\x00\x00\x08", 8);
    tiff += QByteArray("\x00\x01", 2);
    tiff += QByteArray("\x01\x12\x00\x03\x00\x00\x00\x01", 8);
    tiff.append(char(orientation >> 8)).append(char(orientation & 0xFF)).append(2, '\0');
    tiff += QByteArray(4, '\0'); // no next IFD
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray app1("\xFF\xE1", 2);
    const quint16 length = quint16(payload.size() + 2);
    app1.append(char(length >> 8)).append(char(length & 0xFF));
    app1 += payload;
    return jpeg.left(2) + app1 + jpeg.mid(2); // right after SOI
}

QByteArray animatedGif(QSize size, const QList<QColor> &frames)
{
    QByteArray out("GIF89a");
    appendLE16(out, quint16(size.width()));
    appendLE16(out, quint16(size.height()));
    out.append(char(0xF6)); // global table of 128 colours
    out.append(char(0)).append(char(0));
    for (int i = 0; i < 128; ++i) {
        const QColor c = i < frames.size() ? frames[i] : QColor(Qt::black);
        out.append(char(c.red())).append(char(c.green())).append(char(c.blue()));
    }
    out += QByteArray("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    for (int f = 0; f < frames.size(); ++f) {
        out += QByteArray("\x21\xF9\x04\x00\x0A\x00\x00\x00", 8); // 100 ms
        out.append(char(0x2C));
        appendLE16(out, 0);
        appendLE16(out, 0);
        appendLE16(out, quint16(size.width()));
        appendLE16(out, quint16(size.height()));
        out.append(char(0));
        out += gifPixels(QByteArray(qsizetype(size.width()) * size.height(), char(f)));
    }
    out.append(char(0x3B));
    return out;
}

QByteArray heic(const QImage &source)
{
    static const bool initialised = [] {
        heif_init(nullptr);
        return true;
    }();
    Q_UNUSED(initialised);
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    heif_context *context = heif_context_alloc();
    heif_encoder *encoder = nullptr;
    QByteArray out;
    if (heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code == heif_error_Ok) {
        heif_encoder_set_lossy_quality(encoder, 60);
        heif_image *img = nullptr;
        heif_image_create(image.width(), image.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &img);
        heif_image_add_plane(img, heif_channel_interleaved, image.width(), image.height(), 8);
        int stride = 0;
        uint8_t *plane = heif_image_get_plane(img, heif_channel_interleaved, &stride);
        for (int y = 0; y < image.height(); ++y)
            memcpy(plane + qsizetype(y) * stride, image.constScanLine(y), size_t(image.width()) * 3);
        if (heif_context_encode_image(context, img, encoder, nullptr, nullptr).code == heif_error_Ok) {
            heif_writer writer{};
            writer.writer_api_version = 1;
            writer.write = [](heif_context *, const void *data, size_t size, void *user) {
                static_cast<QByteArray *>(user)->append(static_cast<const char *>(data), qsizetype(size));
                return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
            };
            if (heif_context_write(context, &writer, &out).code != heif_error_Ok)
                out.clear();
        }
        heif_image_release(img);
        heif_encoder_release(encoder);
    }
    heif_context_free(context);
    return out;
}

QByteArray pngDeclaring(quint32 width, quint32 height)
{
    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    QByteArray ihdr;
    appendBE32(ihdr, width);
    appendBE32(ihdr, height);
    ihdr += QByteArray("\x08\x06\x00\x00\x00", 5); // 8-bit RGBA
    appendChunk(out, "IHDR", ihdr);
    // A megabyte of zeros squeezes to about a kilobyte; drop qCompress's length prefix.
    appendChunk(out, "IDAT", qCompress(QByteArray(1 << 20, '\0'), 9).mid(4));
    appendChunk(out, "IEND", {});
    return out;
}

QByteArray jpegDeclaring(quint16 width, quint16 height, bool progressive)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(80);
    writer.setProgressiveScanWrite(progressive);
    writer.write(photoLike(QSize(64, 48)));
    for (qsizetype i = 2; i + 9 < jpeg.size(); ++i) {
        if (quint8(jpeg[i]) == 0xFF && (quint8(jpeg[i + 1]) == 0xC0 || quint8(jpeg[i + 1]) == 0xC2)) {
            jpeg[i + 5] = char(height >> 8);
            jpeg[i + 6] = char(height & 0xFF);
            jpeg[i + 7] = char(width >> 8);
            jpeg[i + 8] = char(width & 0xFF);
            break;
        }
    }
    return jpeg;
}

QByteArray panoramaJpeg()
{
    QImage image(20000, 4000, QImage::Format_Grayscale8);
    for (int y = 0; y < image.height(); ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x)
            line[x] = uchar((x / 40 + y / 40 + (x * 7 + y * 13) % 11) & 0xFF);
    }
    return encode(image, "jpeg", 80);
}

QByteArray gifDeclaring(quint16 width, quint16 height)
{
    QByteArray out("GIF89a");
    appendLE16(out, width);
    appendLE16(out, height);
    out.append(char(0xF6)).append(char(0)).append(char(0));
    out += QByteArray(128 * 3, '\0');
    out.append(char(0x2C));
    appendLE16(out, 0);
    appendLE16(out, 0);
    appendLE16(out, width);
    appendLE16(out, height);
    out.append(char(0));
    out += gifPixels(QByteArray(64, '\0'));
    out.append(char(0x3B));
    return out;
}

QByteArray paddedTo(QByteArray bytes, qsizetype total)
{
    if (bytes.size() < total)
        bytes.append(total - bytes.size(), '\0');
    return bytes;
}

} // namespace fixtures
