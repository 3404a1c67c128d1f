#include "stage/BackgroundFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace stage::BackgroundFiles {

namespace {

QImage decodeAs(QIODevice *device, const QByteArray &format, qint64 maxPixels, QSize fit)
{
    QImageReader reader(device, format);
    // Told the format, it asks no plugin but the one for it.
    reader.setAutoDetectImageFormat(format.isEmpty());
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > maxPixels)
        return {};
    if (size.isValid() && fit.isValid()) {
        // The size is the stored one; a recorded quarter turn swaps what must cover what.
        const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
        const QSize wanted = coveringSize(size, turned ? fit.transposed() : fit);
        if (wanted != size)
            reader.setScaledSize(wanted);
    }
    // Formats that cannot tell their size up front still stop at the limit.
    const qint64 limitMB = (maxPixels * 4) / (1024 * 1024) + 1;
    reader.setAllocationLimit(int(qMin<qint64>(limitMB, 1 << 20)));
    QImage image = reader.read();
    if (image.isNull() || qint64(image.width()) * image.height() > maxPixels)
        return {};
    return image;
}

QImage decode(QIODevice *device, qint64 maxPixels, QSize fit)
{
    // Telling the content by its first bytes here saves loading and asking
    // every image plugin installed (a wallpaper is read before the window's
    // first frame); what this does not know, or what then fails, is told
    // by Qt as before.
    const QByteArray format = formatOf(device->peek(16));
    if (!format.isEmpty()) {
        const qint64 start = device->pos();
        QImage image = decodeAs(device, format, maxPixels, fit);
        if (!image.isNull() || !device->seek(start))
            return image;
    }
    return decodeAs(device, QByteArray(), maxPixels, fit);
}

bool isDirectlyInside(const QString &path, const QString &dir)
{
    const QFileInfo info(path);
    return info.isAbsolute() && QDir::cleanPath(path) == path
           && QDir::cleanPath(info.absolutePath()) == QDir::cleanPath(dir);
}

} // namespace

QByteArray formatOf(const QByteArray &head)
{
    if (head.startsWith("\xFF\xD8\xFF"))
        return "jpeg";
    if (head.startsWith("\x89PNG\r\n\x1A\n"))
        return "png";
    if (head.startsWith("RIFF") && head.mid(8, 4) == "WEBP")
        return "webp";
    if (head.startsWith("GIF87a") || head.startsWith("GIF89a"))
        return "gif";
    if (head.startsWith("BM"))
        return "bmp";
    return {};
}

QSize coveringSize(QSize size, QSize fit)
{
    if (size.isEmpty() || !fit.isValid() || fit.isEmpty())
        return size;
    const QSize covering = size.scaled(fit, Qt::KeepAspectRatioByExpanding);
    return covering.width() < size.width() ? covering : size;
}

QImage decodeImageBytes(const QByteArray &bytes, qint64 maxPixels, QSize fit)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    return decode(&buffer, maxPixels, fit);
}

QImage decodeImageFile(const QString &path, qint64 maxPixels, QSize fit)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return decode(&file, maxPixels, fit);
}

QByteArray encodeJpeg(const QImage &image, int quality)
{
    if (image.isNull())
        return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    // JPEG has no alpha: flatten onto black rather than leave it to the codec.
    const QImage opaque = image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_RGB32) : image;
    if (!writer.write(opaque))
        return {};
    return bytes;
}

QString historyFileName(qint64 msecsSinceEpoch)
{
    return QStringLiteral("wp-%1.jpg").arg(msecsSinceEpoch);
}

bool isHistoryEntry(const QString &path, const QString &historyDir)
{
    static const QRegularExpression ownName(QStringLiteral("^wp-[0-9]{1,19}\\.jpg$"));
    return isDirectlyInside(path, historyDir) && ownName.match(QFileInfo(path).fileName()).hasMatch();
}

bool isVideoSlot(const QString &path, const QString &supportDir)
{
    const QString name = QFileInfo(path).fileName();
    return isDirectlyInside(path, supportDir) && name.startsWith(QLatin1String("wallpaper-video."))
           && name.size() > int(sizeof("wallpaper-video.") - 1);
}

QString videoSlotExtension(const QString &chosenPath)
{
    const QString name = QFileInfo(chosenPath).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    // A leading dot marks a hidden file, not an extension.
    if (dot <= 0 || dot == name.size() - 1)
        return QStringLiteral("mp4");
    return name.mid(dot + 1);
}

platform::Result<QString, QString> copyToTemporary(const QString &source, const QString &destinationDir)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return platform::Result<QString, QString>::failure(in.errorString());
    QTemporaryFile out(QDir(destinationDir).filePath(QStringLiteral(".incoming-XXXXXX")));
    if (!out.open())
        return platform::Result<QString, QString>::failure(out.errorString());
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(chunk.data(), chunk.size());
        if (n < 0)
            return platform::Result<QString, QString>::failure(in.errorString());
        if (n == 0)
            break;
        if (out.write(chunk.constData(), n) != n)
            return platform::Result<QString, QString>::failure(out.errorString());
    }
    if (!out.flush())
        return platform::Result<QString, QString>::failure(out.errorString());
    out.setAutoRemove(false);
    return out.fileName();
}

QString replaceWith(const QString &temporary, const QString &destination)
{
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(destination).constData()) != 0) {
        const QString error = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(temporary);
        return error;
    }
    return {};
}

QString copyReplacing(const QString &source, const QString &destination)
{
    auto copied = copyToTemporary(source, QFileInfo(destination).absolutePath());
    if (!copied)
        return copied.error();
    return replaceWith(copied.value(), destination);
}

bool isSameFile(const QString &a, const QString &b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

} // namespace stage::BackgroundFiles
