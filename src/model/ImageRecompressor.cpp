#include "model/ImageRecompressor.h"

#include "model/HeifDecoder.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

#include <algorithm>

namespace model::ImageRecompressor {

namespace {

// The formats of the attachment image set that Qt decodes. Others Qt might
// sniff (TGA, WBMP, XPM, SVG...) are refused: random bytes can pass their
// weak signatures, and SVG is a document, not a photo.
bool isAcceptedQtFormat(const QByteArray &format)
{
    static const QByteArrayList accepted{"png", "jpeg", "jpg", "gif", "webp", "tiff", "tif", "bmp"};
    return accepted.contains(format.toLower());
}

bool withinDecodeBudget(QSize size, const QByteArray &bytes, const QByteArray &format)
{
    if (!size.isValid() || size.isEmpty())
        return false;
    const qint64 pixels = qint64(size.width()) * size.height();
    if (pixels <= kMaxSourcePixels)
        return true;
    // Progressive JPEG keeps coefficients for every pixel; only sequential
    // frames stay small when decoded scaled.
    return format == "jpeg" && pixels <= kMaxScaledJpegPixels && bytes.size() >= pixels / kMinPixelsPerByte
        && isSequentialJpeg(bytes);
}

std::optional<QImage> decodeWithQt(QImageReader &reader, const QByteArray &bytes)
{
    const QSize size = reader.size();
    if (!withinDecodeBudget(size, bytes, reader.format().toLower()))
        return std::nullopt;
    const QSize target = targetSize(size);
    if (target != size)
        reader.setScaledSize(target);
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    return image;
}

// Rows are 8 bits per channel, premultiplied when there is alpha.
QImage toEightBit(const QImage &image)
{
    const QImage::Format format =
        image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    return image.format() == format ? image : image.convertToFormat(format);
}

// JPEG has no alpha: lay the image on white (not the black that dropping
// alpha would give). A fresh image also leaves the source's text chunks behind.
QImage onWhite(const QImage &image)
{
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    {
        QPainter painter(&flat);
        painter.drawImage(0, 0, image);
    }
    flat.setColorSpace(image.colorSpace());
    return flat;
}

CompressedImage webp(QByteArray data)
{
    return {std::move(data), QStringLiteral("image/webp"), QStringLiteral("webp")};
}

CompressedImage jpeg(QByteArray data)
{
    return {std::move(data), QStringLiteral("image/jpeg"), QStringLiteral("jpg")};
}

} // namespace

bool isSequentialJpeg(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return false;
    // Walk the marker segments up to the frame header.
    qsizetype i = 2;
    while (i + 3 < n) {
        if (p[i] != 0xFF)
            return false;
        const uchar marker = p[i + 1];
        if (marker == 0xFF) { // fill byte
            ++i;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { // no length
            i += 2;
            continue;
        }
        if (marker == 0xC0 || marker == 0xC1)
            return true;
        const bool otherFrame = marker >= 0xC2 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (otherFrame || marker == 0xDA || marker == 0xD9)
            return false;
        const qsizetype length = (qsizetype(p[i + 2]) << 8) | p[i + 3];
        if (length < 2)
            return false;
        i += 2 + length;
    }
    return false;
}

QSize targetSize(QSize source)
{
    const qint64 w = qMax(source.width(), 1);
    const qint64 h = qMax(source.height(), 1);
    const qint64 longest = std::max(w, h);
    if (longest <= kMaxSide)
        return QSize(int(w), int(h));
    // Integer arithmetic: floor of the exact ratio, so the longest side is exactly kMaxSide.
    return QSize(int(std::max<qint64>(w * kMaxSide / longest, 1)), int(std::max<qint64>(h * kMaxSide / longest, 1)));
}

std::optional<QImage> decode(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return std::nullopt;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);

    std::optional<QImage> image;
    if (reader.canRead() && isAcceptedQtFormat(reader.format()))
        image = decodeWithQt(reader, bytes);
    else if (HeifDecoder::recognises(bytes))
        image = HeifDecoder::decode(bytes, kMaxSourcePixels, targetSize);
    if (!image)
        return std::nullopt;

    // Some readers ignore the scaled size; the cap holds either way.
    const QSize target = targetSize(image->size());
    if (target != image->size())
        *image = image->scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

std::optional<QByteArray> encode(const QImage &image, const char *format, int quality)
{
    QByteArray out;
    QBuffer buffer(&out);
    if (!buffer.open(QIODevice::WriteOnly))
        return std::nullopt;
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    if (!writer.write(image) || out.isEmpty())
        return std::nullopt;
    return out;
}

std::optional<CompressedImage> compressDecoded(const QImage &decoded)
{
    return compressDecoded(decoded, encode);
}

std::optional<CompressedImage> compressDecoded(const QImage &decoded, const Encoder &encoder)
{
    if (decoded.isNull())
        return std::nullopt;
    const QImage image = toEightBit(decoded);

    if (auto first = encoder(image, "webp", kFirstQuality)) {
        if (first->size() <= kTargetBytes)
            return webp(std::move(*first));
        if (auto second = encoder(image, "webp", kSecondQuality); second && second->size() <= kTargetBytes)
            return webp(std::move(*second));
    }

    const QImage flat = onWhite(image);
    auto first = encoder(flat, "jpeg", kFirstQuality);
    if (!first)
        return std::nullopt;
    if (first->size() <= kTargetBytes)
        return jpeg(std::move(*first));
    if (auto second = encoder(flat, "jpeg", kSecondQuality))
        return jpeg(std::move(*second));
    return jpeg(std::move(*first));
}

std::optional<CompressedImage> compress(const QByteArray &bytes)
{
    const std::optional<QImage> image = decode(bytes);
    if (!image)
        return std::nullopt;
    return compressDecoded(*image);
}

} // namespace model::ImageRecompressor
