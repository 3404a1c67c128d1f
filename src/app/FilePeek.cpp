#include "app/FilePeek.h"

#include "platform/RegularFile.h"

#include <QFile>

#include <sys/stat.h>

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
    const QString path = url.toLocalFile();
    const QString unreadable = QStringLiteral("Could not read file.");
    const auto tooLarge = [&](qint64 size) {
        return failed(url, displayPath, size,
                      QStringLiteral("File too large to peek (%1 bytes). Attach path or use tools.").arg(size));
    };

    // Looked at before it is opened: opening a device or a FIFO can block
    // or have effects of its own.
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return failed(url, displayPath, 0, unreadable);
    if (st.st_size > kPeekLimitBytes)
        return tooLarge(st.st_size);

    const auto read = platform::readRegularFile(path, kPeekLimitBytes + 1);
    if (!read)
        return failed(url, displayPath, 0, unreadable);
    const QByteArray &bytes = read->bytes;
    // The file may have grown since the stat.
    if (bytes.size() > kPeekLimitBytes)
        return tooLarge(qMax<qint64>(bytes.size(), read->size));

    const std::optional<QString> text = platform::decodeUtf8Strict(bytes, platform::Bom::Drop);
    if (!text)
        return failed(url, displayPath, bytes.size(), QStringLiteral("Binary or non-UTF-8 file."));

    model::PeekedFile f;
    f.id = QUuid::createUuid();
    f.url = url;
    f.displayPath = displayPath;
    f.content = *text;
    f.isBinary = false;
    f.byteCount = bytes.size();
    f.lineCount = text->count(QLatin1Char('\n')) + 1;
    return f;
}

} // namespace app::FilePeek
