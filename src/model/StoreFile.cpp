#include "model/StoreFile.h"

#include "platform/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace model {

FileRead readStoreFile(const QString &path, const std::function<void(const QByteArray &, qsizetype)> &progress)
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
    constexpr qint64 kBlock = 4 << 20;
    if (!progress || st.st_size <= kBlock) {
        QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return {StoreFileState::Unreadable, {}};
        if (progress)
            progress(bytes, bytes.size());
        return {StoreFileState::Loaded, std::move(bytes)};
    }
    QByteArray bytes(qsizetype(st.st_size), Qt::Uninitialized);
    // Filled in place, also while progress keeps a copy sharing it: what
    // it was told is read stays as it is.
    char *const into = bytes.data();
    qsizetype done = 0;
    while (done < bytes.size()) {
        const qint64 got = file.read(into + done, std::min<qint64>(kBlock, bytes.size() - done));
        if (got <= 0)
            break;
        done += got;
        if (done < bytes.size())
            progress(bytes, done);
    }
    if (file.error() != QFileDevice::NoError)
        return {StoreFileState::Unreadable, {}};
    // Changed while read (shorter or longer than it was): as it is now, in
    // an array of its own.
    if (done < bytes.size())
        bytes.truncate(done);
    else if (const QByteArray rest = file.readAll(); !rest.isEmpty())
        bytes.append(rest);
    progress(bytes, bytes.size());
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
