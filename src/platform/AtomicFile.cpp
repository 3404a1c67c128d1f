#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

QString errnoText(const char *what)
{
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(what), QString::fromLocal8Bit(std::strerror(errno)));
}

constexpr char kTemporaryInfix[] = ".moonshelf-tmp.";

// mkstemp's six characters.
bool isTemporarySuffix(QStringView suffix)
{
    if (suffix.size() != 6)
        return false;
    for (const QChar c : suffix) {
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80))
            return false;
    }
    return true;
}

// The temporary name of an atomic write: only this writer makes it, so a
// person's ".conversations.json.backup" is never taken for one.
QByteArray temporaryTemplate(const QString &path)
{
    const QFileInfo info(path);
    return QFile::encodeName(info.absolutePath()) + "/." + QFile::encodeName(info.fileName()) + kTemporaryInfix
           + "XXXXXX";
}

bool isTemporaryOf(QStringView entry, QStringView name)
{
    const QLatin1String infix(kTemporaryInfix);
    return entry.size() == 1 + name.size() + infix.size() + 6 && entry.startsWith(u'.')
           && entry.sliced(1).startsWith(name) && entry.sliced(1 + name.size()).startsWith(infix)
           && isTemporarySuffix(entry.sliced(1 + name.size() + infix.size()));
}

} // namespace

int removeLeftoverTemporaryFiles(const QString &dir, const QStringList &fileNames)
{
    int removed = 0;
    const QDir folder(dir);
    const QStringList entries = folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString &entry : entries) {
        bool ours = false;
        for (const QString &name : fileNames) {
            if (isTemporaryOf(entry, name)) {
                ours = true;
                break;
            }
        }
        if (!ours)
            continue;
        const QByteArray native = QFile::encodeName(folder.filePath(entry));
        struct stat st {};
        if (::lstat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        if (::unlink(native.constData()) == 0)
            ++removed;
    }
    return removed;
}

bool writeAllToFd(int fd, QByteArrayView bytes)
{
    const char *data = bytes.data();
    qsizetype size = bytes.size();
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

namespace {

// Small pieces go out together: one system call for many of them.
bool writeFromSource(int fd, const ByteSource &source)
{
    constexpr qsizetype kGather = 64 * 1024;
    QByteArray gathered;
    const ByteSink sink = [fd, &gathered](QByteArrayView piece) {
        if (gathered.size() + piece.size() <= kGather) {
            gathered.append(piece);
            return true;
        }
        if (!writeAllToFd(fd, gathered))
            return false;
        gathered.resize(0);
        if (piece.size() >= kGather)
            return writeAllToFd(fd, piece);
        gathered.append(piece);
        return true;
    };
    return source(sink) && writeAllToFd(fd, gathered);
}

} // namespace

QString writeFileAtomically(const QString &path, const QByteArray &bytes, const WriteOptions &options)
{
    return writeFileAtomically(path, ByteSource([&bytes](const ByteSink &sink) { return sink(bytes); }), options);
}

QString writeFileAtomically(const QString &path, const ByteSource &source, const WriteOptions &options)
{
    const QByteArray target = QFile::encodeName(path);
    mode_t mode = 0644;
    if (options.mode) {
        mode = *options.mode;
    } else {
        struct stat st {};
        if (::stat(target.constData(), &st) == 0)
            mode = st.st_mode & 07777;
    }

    QByteArray tmpl = temporaryTemplate(path);
    // mkstemp creates the file 0600; fchmod before the first byte if the mode differs.
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        return errnoText("create");
    bool ok = (mode == 0600 || ::fchmod(fd, mode) == 0);
    ok = ok && writeFromSource(fd, source);
    if (ok && options.sync)
        ok = ::fsync(fd) == 0;
    const QString failure = ok ? QString() : errnoText("write");
    ::close(fd);
    if (!ok) {
        ::unlink(tmpl.constData());
        return failure;
    }
    if (::rename(tmpl.constData(), target.constData()) != 0) {
        const QString err = errnoText("rename");
        ::unlink(tmpl.constData());
        return err;
    }
    return {};
}

} // namespace platform
