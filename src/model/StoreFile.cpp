#include "model/StoreFile.h"

#include "platform/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace model {

FileRead readStoreFile(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        // Only a missing entry is a first start; EACCES, EIO and friends are not.
        if (errno == ENOENT || errno == ENOTDIR)
            return {StoreFileState::NoFile, {}};
        return {StoreFileState::Unreadable, {}};
    }
    QFile file(path);
    if (!S_ISREG(st.st_mode) || !file.open(QIODevice::ReadOnly))
        return {StoreFileState::Unreadable, {}};
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {StoreFileState::Unreadable, {}};
    return {StoreFileState::Loaded, std::move(bytes)};
}

StoreFileWriter defaultStoreFileWriter()
{
    return [](const QString &path, const QByteArray &bytes) { return platform::writeFileAtomically(path, bytes); };
}

StoreStreamWriter defaultStoreStreamWriter()
{
    return [](const QString &path, const platform::ByteSource &source) {
        return platform::writeFileAtomically(path, source);
    };
}

Clock systemClock()
{
    return [] { return QDateTime::currentDateTimeUtc(); };
}

bool FileSetAside::prepareWrite(const QString &path, const QDateTime &now)
{
    if (m_blocked)
        return false;
    if (!m_armed)
        return true;
    const QByteArray source = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(source.constData(), &st) != 0 && errno == ENOENT) {
        // Gone meanwhile: nothing left to protect.
        m_armed = false;
        return true;
    }
    const QString base = path + QStringLiteral(".unreadable-") + now.toUTC().toString(u"yyyyMMdd'T'HHmmss'Z'");
    for (int n = 1; n <= 20; ++n) {
        const QString target = n == 1 ? base : base + QLatin1Char('-') + QString::number(n);
        if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
            continue;
        if (::rename(source.constData(), QFile::encodeName(target).constData()) == 0) {
            m_armed = false;
            m_setAsidePath = target;
            return true;
        }
        m_blockReason = QFileInfo(path).fileName() + QStringLiteral(" could not be moved aside: ")
                        + QString::fromLocal8Bit(std::strerror(errno));
        break;
    }
    if (m_blockReason.isEmpty())
        m_blockReason = QFileInfo(path).fileName() + QStringLiteral(" could not be moved aside");
    m_blocked = true;
    return false;
}

} // namespace model
