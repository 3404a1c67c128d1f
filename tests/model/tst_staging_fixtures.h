#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QSize>

// Real image files built at test time.
namespace fixtures {

// Smooth gradients with mild noise: compresses like a photograph.
QImage photoLike(QSize size, quint32 seed = 1);

// Per-pixel noise: defeats every encoder's size target.
QImage noise(QSize size, quint32 seed = 1);

QByteArray encode(const QImage &image, const char *format, int quality = -1);

// A JPEG whose EXIF orientation tag says how to turn it upright.
QByteArray withExifOrientation(const QByteArray &jpeg, quint16 orientation);

// An animated GIF (looping), one flat colour per frame.
QByteArray animatedGif(QSize size, const QList<QColor> &frames);

// HEIC through libheif's HEVC encoder; empty when no encoder is available.
QByteArray heic(const QImage &image);

// A small valid PNG whose header declares width x height (a decompression bomb).
QByteArray pngDeclaring(quint32 width, quint32 height);

// A real JPEG with the frame header patched to declare width x height.
QByteArray jpegDeclaring(quint16 width, quint16 height, bool progressive = false);

// A wide, real sequential JPEG of 20000 x 4000 pixels (about 5 MB): smooth
// bands with fine texture, in grey.
QByteArray panoramaJpeg();

// A GIF header and image descriptor of width x height with almost no data.
QByteArray gifDeclaring(quint16 width, quint16 height);

// bytes followed by padding up to exactly `total` bytes (readers ignore data past the end).
QByteArray paddedTo(QByteArray bytes, qsizetype total);

} // namespace fixtures
