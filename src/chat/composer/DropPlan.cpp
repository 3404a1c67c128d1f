#include "chat/composer/DropPlan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>

#include <cerrno>
#include <sys/stat.h>

namespace chat::DropPlanning {

const QStringList &imageTypes()
{
    static const QStringList types{QStringLiteral("image/png"), QStringLiteral("image/jpeg"),
                                   QStringLiteral("image/gif"), QStringLiteral("image/webp"),
                                   QStringLiteral("image/tiff")};
    return types;
}

QString suggestedName(const QString &mimeType)
{
    QString extension = QStringLiteral("png");
    if (mimeType == QLatin1String("image/jpeg"))
        extension = QStringLiteral("jpg");
    else if (mimeType == QLatin1String("image/gif"))
        extension = QStringLiteral("gif");
    else if (mimeType == QLatin1String("image/webp"))
        extension = QStringLiteral("webp");
    else if (mimeType == QLatin1String("image/tiff"))
        extension = QStringLiteral("tiff");
    return QStringLiteral("Screenshot.") + extension;
}

namespace {

QList<QUrl> localFiles(const QMimeData &data)
{
    QList<QUrl> files;
    if (!data.hasUrls())
        return files;
    for (const QUrl &url : data.urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            files.append(url);
    }
    return files;
}

// The first of the named image types the data offers, else any other
// image type it carries (staged under a .png name, sniffed when staged).
std::optional<QString> imageType(const QMimeData &data)
{
    const QStringList formats = data.formats();
    for (const QString &type : imageTypes()) {
        if (formats.contains(type))
            return type;
    }
    for (const QString &format : formats) {
        if (format.startsWith(QLatin1String("image/")))
            return format;
    }
    return std::nullopt;
}

} // namespace

bool acceptsDrag(const QMimeData &data)
{
    return offersAttachable(data) || data.hasText();
}

bool offersAttachable(const QMimeData &data)
{
    return !localFiles(data).isEmpty() || imageType(data);
}

DropPlan plan(const QMimeData &data)
{
    DropPlan result;
    result.files = localFiles(data);
    if (!result.files.isEmpty())
        return result;
    if (const std::optional<QString> type = imageType(data)) {
        QByteArray bytes = data.data(*type);
        if (!bytes.isEmpty())
            result.image = DroppedImage{std::move(bytes), *type, suggestedName(*type)};
    }
    return result;
}

DroppedFileKind classify(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        // Any other failure (no permission, say) is left to staging, which
        // reports it with the system's own words.
        return errno == ENOENT || errno == ENOTDIR ? DroppedFileKind::Missing : DroppedFileKind::Regular;
    }
    if (S_ISREG(st.st_mode))
        return DroppedFileKind::Regular;
    if (S_ISDIR(st.st_mode))
        return DroppedFileKind::Folder;
    return DroppedFileKind::Special;
}

QString refusalText(const QList<std::pair<QString, DroppedFileKind>> &refused)
{
    if (refused.isEmpty())
        return {};
    if (refused.size() > 1) {
        return QStringLiteral("Could not attach %1 of the dropped items: only regular files can be attached.")
            .arg(refused.size());
    }
    const QString name = QFileInfo(QDir::cleanPath(refused.first().first)).fileName();
    switch (refused.first().second) {
    case DroppedFileKind::Folder:
        return QStringLiteral("Could not attach \u201C%1\u201D: it is a folder. Drop the files inside it instead.")
            .arg(name);
    case DroppedFileKind::Missing:
        return QStringLiteral("Could not attach \u201C%1\u201D: it no longer exists.").arg(name);
    case DroppedFileKind::Special:
    case DroppedFileKind::Regular:
        break;
    }
    return QStringLiteral("Could not attach \u201C%1\u201D: it is not a regular file.").arg(name);
}

} // namespace chat::DropPlanning
