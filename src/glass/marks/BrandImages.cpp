#include "glass/marks/BrandImages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QImageReader>
#include <QtConcurrent/QtConcurrentRun>

#include <mutex>

namespace glass::BrandImages {

namespace {

QImage decodeFile(const QString &path)
{
    const QFileInfo file(path);
    if (!file.exists())
        return {};
    // First as its name says: guessing from the content loads and asks
    // every image plugin installed, which costs a start its first frame.
    QImageReader named(path, file.suffix().toLower().toLatin1());
    named.setAutoDetectImageFormat(false);
    named.setAutoTransform(true);
    const QImage image = named.read();
    if (!image.isNull())
        return image;
    QImageReader reader(path);
    reader.setAutoTransform(true);
    return reader.read(); // null when it does not decode
}

QImage resource(const Lookup &lookup, const QString &name, const QString &extension)
{
    for (const QString &dir : lookup.resourceDirectories) {
        const QImage image = decodeFile(QDir(dir).filePath(name + QLatin1Char('.') + extension));
        if (!image.isNull())
            return image;
    }
    return {};
}

QImage named(const Lookup &lookup, const QString &name)
{
    return lookup.namedImage ? lookup.namedImage(name) : QImage();
}

} // namespace

Lookup Lookup::defaults()
{
    Lookup lookup;
    lookup.resourceDirectories = {QStringLiteral(":/brand")};
    lookup.namedImage = [](const QString &name) {
        const QIcon icon = QIcon::fromTheme(name);
        return icon.isNull() ? QImage() : icon.pixmap(1024, 1024).toImage();
    };
    lookup.bundlePath = QCoreApplication::applicationDirPath();
    return lookup;
}

QImage loadIcon(const Lookup &lookup)
{
    for (const QString &dir : lookup.resourceDirectories) {
        const QImage image = decodeFile(QDir(dir).filePath(QStringLiteral("AppIcon-1024.png")));
        if (!image.isNull())
            return image;
    }
    for (const QString &name : {QStringLiteral("AppIcon-1024"), QStringLiteral("AppIcon"),
                               QStringLiteral("app-icon-final")}) {
        QImage image = resource(lookup, name, QStringLiteral("png"));
        if (image.isNull())
            image = named(lookup, name);
        if (!image.isNull())
            return image;
    }
    for (const QString &name : {QStringLiteral("AppIconPower"), QStringLiteral("AppIcon")}) {
        const QImage image = resource(lookup, name, QStringLiteral("icns"));
        if (!image.isNull())
            return image;
    }
    if (QFileInfo(lookup.bundlePath).suffix() == QLatin1String("app")) {
        const QIcon icon = QFileIconProvider().icon(QFileInfo(lookup.bundlePath));
        if (!icon.isNull())
            return icon.pixmap(256, 256).toImage();
    }
    return {};
}

QImage loadRazevuMark(const Lookup &lookup)
{
    for (const QString &name : {QStringLiteral("razevu-mark"), QStringLiteral("RazevuMark")}) {
        QImage image = named(lookup, name);
        if (image.isNull())
            image = resource(lookup, name, QStringLiteral("png"));
        if (!image.isNull())
            return image;
    }
    return {};
}

QImage appIcon()
{
    static const QImage image = loadIcon(Lookup::defaults());
    return image;
}

QImage razevuMark()
{
    static const QImage image = loadRazevuMark(Lookup::defaults());
    return image;
}

void decodeAhead()
{
    static std::once_flag started;
    // The local static is made once, whichever thread comes first.
    std::call_once(started, [] { (void)QtConcurrent::run([] { appIcon(); }); });
}

} // namespace glass::BrandImages
