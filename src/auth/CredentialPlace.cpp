#include "auth/CredentialPlace.h"

#include "platform/UserDefaults.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace auth::CredentialPlace {

namespace {

constexpr int kMaxLinkHops = 40; // as the kernel's own limit

QString realPlace(const QString &path, int &hops)
{
    QString at = QFileInfo(path).absoluteFilePath();
    while (hops++ < kMaxLinkHops) {
        const QFileInfo info(at);
        if (info.isSymLink()) {
            // Absolute, also when the link points at nothing yet.
            at = info.symLinkTarget();
            continue;
        }
        if (info.exists())
            return info.canonicalFilePath();
        // Not there yet: where it would be made.
        if (info.absolutePath() == at)
            return at;
        const QString folder = realPlace(info.absolutePath(), hops);
        if (folder.isEmpty())
            return {};
        return folder == u"/" ? u'/' + info.fileName() : folder + u'/' + info.fileName();
    }
    return {};
}

bool inside(const QString &path, const QString &folder)
{
    return path == folder || path.startsWith(folder == u"/" ? folder : folder + u'/');
}

} // namespace

QString openProject()
{
    const QVariant stored = platform::UserDefaults::value(QString::fromLatin1(platform::UserDefaults::kWorkspaceBookmark));
    return stored.typeId() == QMetaType::QByteArray ? QString::fromUtf8(stored.toByteArray()) : stored.toString();
}

QString realPlace(const QString &path)
{
    int hops = 0;
    return realPlace(path, hops);
}

QString refusal(const QString &path, const QString &project)
{
    if (project.isEmpty())
        return {};
    const QString root = QFileInfo(project).canonicalFilePath();
    if (root.isEmpty())
        return {};
    const QString real = realPlace(path);
    if (real.isEmpty())
        return QStringLiteral("Too many levels of symbolic links");
    if (inside(real, root))
        return QStringLiteral("It lies in the open project folder %1, where tools can read and change it").arg(root);
    struct stat file {};
    struct stat folder {};
    if (::stat(QFile::encodeName(real).constData(), &file) == 0 && S_ISREG(file.st_mode) && file.st_nlink > 1
        && ::stat(QFile::encodeName(root).constData(), &folder) == 0 && file.st_dev == folder.st_dev)
        return QStringLiteral("It has other names on the file system of the open project folder %1").arg(root);
    return {};
}

QString refusalOfOpen(int fd, const QString &project)
{
    return refusal(QStringLiteral("/proc/self/fd/%1").arg(fd), project);
}

} // namespace auth::CredentialPlace
