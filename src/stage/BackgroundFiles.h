#pragma once

#include "platform/Result.h"

#include <QByteArray>
#include <QImage>
#include <QString>

namespace stage::BackgroundFiles {

// The history never lists more images than this.
inline constexpr int kHistoryLimit = 200;

// Decodes by content (not by name), applying the orientation the file
// records. An image of more than maxPixels pixels is refused before its
// pixels are decoded, so a small file cannot claim gigabytes. Null on failure.
// With a valid fit, a larger image is decoded straight at the smallest
// size that still covers fit with its aspect kept (cheaper than decoding
// it whole: JPEG and WebP decode scaled); a smaller one at its own size.
QImage decodeImageBytes(const QByteArray &bytes, qint64 maxPixels, QSize fit = QSize());
QImage decodeImageFile(const QString &path, qint64 maxPixels, QSize fit = QSize());

// The image format the first bytes of a file show (jpeg, png, webp, gif,
// bmp), or empty when they show none of these.
QByteArray formatOf(const QByteArray &head);

// The size a source of size is decoded at to cover fit (see above).
QSize coveringSize(QSize size, QSize fit);

// JPEG at the given quality (0-100), full size. Empty on failure.
QByteArray encodeJpeg(const QImage &image, int quality);

// The name of a history file for a moment in milliseconds since 1970.
QString historyFileName(qint64 msecsSinceEpoch);

// A path is one of our history files: directly inside historyDir and named
// wp-<digits>.jpg. Anything else read from background.json is not ours.
bool isHistoryEntry(const QString &path, const QString &historyDir);

// A path is our copied video: directly inside supportDir, named
// wallpaper-video.<ext>.
bool isVideoSlot(const QString &path, const QString &supportDir);

// The extension of the video slot for a chosen file: its own extension
// (unchanged), or "mp4" when it has none.
QString videoSlotExtension(const QString &chosenPath);

// Copies source into a new hidden temporary file in destinationDir and
// returns its path; the error text when the copy fails (nothing is left).
platform::Result<QString, QString> copyToTemporary(const QString &source, const QString &destinationDir);

// Renames a temporary file over destination in one step (the old file
// stays until the new one is in place). Empty on success, else the error.
QString replaceWith(const QString &temporary, const QString &destination);

// Copy, then replace: destination is the old file or the complete new one.
QString copyReplacing(const QString &source, const QString &destination);

// Same file on disk (after resolving links), both existing.
bool isSameFile(const QString &a, const QString &b);

} // namespace stage::BackgroundFiles
