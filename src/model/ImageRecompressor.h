#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

namespace model {

// An image re-encoded small for a message.
struct CompressedImage {
    QByteArray data;
    QString mimeType;              // "image/webp" or "image/jpeg"
    QString utiPreferredExtension; // "webp" or "jpg"

    friend bool operator==(const CompressedImage &, const CompressedImage &) = default;
};

// Decodes any image we accept and re-encodes it through the WebP-then-JPEG
// ladder. Pure functions: safe to run on worker threads.
namespace ImageRecompressor {

inline constexpr int kMaxSide = 1280;
inline constexpr qint64 kTargetBytes = 49'152;
// A few bytes can declare gigapixels; anything above 8192 x 8192 is refused
// before a pixel is decoded (sequential JPEG aside, below).
inline constexpr qint64 kMaxSourcePixels = 8192LL * 8192;
// Sequential JPEG is decoded already scaled (libjpeg's eighths), so its memory
// stays small: panoramas and 100-megapixel photos up to this many pixels pass,
// when the file holds at least one byte per kMinPixelsPerByte declared pixels
// (a bomb's few bytes do not).
inline constexpr qint64 kMaxScaledJpegPixels = 16384LL * 16384;
inline constexpr qint64 kMinPixelsPerByte = 256;
// Qt's 0-100 scale.
inline constexpr int kFirstQuality = 55;
inline constexpr int kSecondQuality = 35;

// The longest side becomes at most kMaxSide; never enlarged; at least 1 x 1.
QSize targetSize(QSize source);

// Decodes from the content (never the name), upright per EXIF, already
// scaled to targetSize. PNG, JPEG, GIF (first frame), WebP, TIFF and BMP go
// through Qt; HEIC/HEIF through libheif. Nothing for anything else, for
// broken data and for images over the pixel budgets above.
std::optional<QImage> decode(const QByteArray &bytes);

// One encode at a quality; nothing when the writer is missing or fails.
std::optional<QByteArray> encode(const QImage &image, const char *format, int quality);

// The ladder: WebP 55, WebP 35, JPEG 55, JPEG 35 (the last kept whatever its
// size). Transparent pixels are laid on white before any JPEG encode.
std::optional<CompressedImage> compressDecoded(const QImage &image);

// The same ladder over another encoder with encode()'s contract.
using Encoder = std::function<std::optional<QByteArray>(const QImage &, const char *format, int quality)>;
std::optional<CompressedImage> compressDecoded(const QImage &image, const Encoder &encoder);

// A JPEG whose frame is sequential (baseline or extended Huffman), which
// libjpeg can decode straight at a fraction of its size.
bool isSequentialJpeg(const QByteArray &bytes);

// decode() then compressDecoded(); nothing when the bytes are not an image.
std::optional<CompressedImage> compress(const QByteArray &bytes);

} // namespace ImageRecompressor
} // namespace model
