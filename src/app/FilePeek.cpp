#include "app/FilePeek.h"

#include <QFile>
#include <QStringDecoder>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace app::FilePeek {

namespace {

model::PeekedFile failed(const QUrl &url, const QString &displayPath, qint64 size, const QString &message)
{
    model::PeekedFile f;
    f.id = QUuid::createUuid();
    f.url = url;
    f.displayPath = displayPath;
    f.isBinary = true;
    f.byteCount = size;
    f.lineCount = 0;
    f.errorMessage = message;
    return f;
}

} // namespace

model::PeekedFile peek(const QUrl &url, const QString &displayPath)
{
    const QByteArray native = QFile::encodeName(url.toLocalFile());
    const QString unreadable = QStringLiteral("Could not read file.");

    // Looked at before it is opened: opening a device or a FIFO can block
    // or have effects of its own.
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return failed(url, displayPath, 0, unreadable);
    // O_NONBLOCK and a second look, in case the path was swapped meanwhile.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return failed(url, displayPath, 0, unreadable);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return failed(url, displayPath, 0, unreadable);
    }
    if (st.st_size > kPeekLimitBytes) {
        ::close(fd);
        return failed(url, displayPath, st.st_size,
                      QStringLiteral("File too large to peek (%1 bytes). Attach path or use tools.").arg(st.st_size));
    }

    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return failed(url, displayPath, 0, unreadable);
    const QByteArray bytes = file.read(kPeekLimitBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return failed(url, displayPath, 0, unreadable);
    // The file may have grown since the stat.
    if (bytes.size() > kPeekLimitBytes)
        return failed(url, displayPath, bytes.size(),
                      QStringLiteral("File too large to peek (%1 bytes). Attach path or use tools.").arg(bytes.size()));

    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return failed(url, displayPath, bytes.size(), QStringLiteral("Binary or non-UTF-8 file."));

    model::PeekedFile f;
    f.id = QUuid::createUuid();
    f.url = url;
    f.displayPath = displayPath;
    f.content = text;
    f.isBinary = false;
    f.byteCount = bytes.size();
    f.lineCount = text.count(QLatin1Char('\n')) + 1;
    return f;
}

} // namespace app::FilePeek
