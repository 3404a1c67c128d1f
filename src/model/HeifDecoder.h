#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

// HEIC/HEIF (and AVIF) through libheif: Qt on Debian has no plugin for them.
namespace model::HeifDecoder {

// The bytes start like an ISO-BMFF image file libheif knows.
bool recognises(const QByteArray &bytes);

// The primary image, upright (libheif applies the file's rotation and
// mirroring), scaled to fit(its size), with its ICC profile kept. Nothing for
// broken data or more than maxPixels pixels, checked before decoding.
std::optional<QImage> decode(const QByteArray &bytes, qint64 maxPixels, QSize (*fit)(QSize));

} // namespace model::HeifDecoder
