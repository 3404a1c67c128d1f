#include "model/AttachmentTempStore.h"

#include "model/AttachmentTempStoreNaming.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/RegularFile.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

namespace model {

namespace {

// Whether one more attachment, counted at `counted` bytes, would pass the
// staged total; written so that no sum can overflow.
bool exceedsTotal(qint64 currentTotalBytes, qint64 counted)
{
    return currentTotalBytes > AttachmentTempStore::kMaxTotalBytes - counted;
}

// The whole text when the bytes are valid UTF-8, else nothing. Stateless, so
// a sequence cut off at the end counts as invalid.
std::optional<QString> strictUtf8(const QByteArray &bytes)
{
    return platform::decodeUtf8Strict(bytes, platform::Bom::Drop);
}

QString cleanAbsolute(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

AttachmentTempStore &AttachmentTempStore::shared()
{
    static AttachmentTempStore store(defaultRootDirectory());
    return store;
}

QString AttachmentTempStore::defaultRootDirectory()
{
    return QDir(platform::AppPaths::runtimeDirectory()).filePath(QString::fromLatin1(kFolderName));
}

AttachmentTempStore::AttachmentTempStore(QString rootDirectory)
    : m_root(cleanAbsolute(rootDirectory))
{
    purgeAll(); // refuses a folder that is not ours; staging then fails with writeFailed
}

bool AttachmentTempStore::isImageFileName(const QString &path)
{
    static const QStringList extensions{QStringLiteral("png"),  QStringLiteral("jpg"),  QStringLiteral("jpeg"),
                                        QStringLiteral("gif"),  QStringLiteral("webp"), QStringLiteral("heic"),
                                        QStringLiteral("tif"),  QStringLiteral("tiff"), QStringLiteral("bmp")};
    return extensions.contains(AttachmentNaming::lowerExtension(path));
}

bool AttachmentTempStore::folderIsUsable() const
{
    return platform::AppPaths::ensurePrivateDirectory(m_root);
}

std::optional<CompressedImage> AttachmentTempStore::compressImage(const QByteArray &bytes)
{
    return ImageRecompressor::compress(bytes);
}

AttachmentTempStore::StageImageResult AttachmentTempStore::stageImage(const QByteArray &data,
                                                                      const QString &suggestedName,
                                                                      qint64 currentCount,
                                                                      qint64 currentTotalBytes) const
{
    if (currentCount > kMaxAttachments - 1)
        return StageImageResult::failure(IngestError::tooMany());
    const qint64 size = data.size();
    if (size > kMaxFileBytes)
        return StageImageResult::failure(IngestError::fileTooLarge(size));
    // An image counts at most at the recompression target, whatever it weighs now.
    if (exceedsTotal(currentTotalBytes, qMin(size, kImageCountedBytes)))
        return StageImageResult::failure(IngestError::totalTooLarge());

    const std::optional<CompressedImage> compressed = compressImage(data);
    if (!compressed)
        return StageImageResult::failure(IngestError::decodeFailed());

    const std::optional<QString> path = writeStaged(suggestedName, *compressed);
    if (!path)
        return StageImageResult::failure(IngestError::writeFailed());

    StagedAttachment staged;
    staged.id = QUuid::createUuid();
    staged.url = QUrl::fromLocalFile(*path);
    staged.displayPath = QFileInfo(*path).fileName();
    staged.byteCount = compressed->data.size();
    staged.isImage = true;
    staged.originalByteCount = size;
    staged.mimeType = compressed->mimeType;
    staged.isOwnedTemp = true;
    return staged;
}

std::optional<QString> AttachmentTempStore::writeStaged(const QString &suggestedName,
                                                        const CompressedImage &image) const
{
    if (!folderIsUsable())
        return std::nullopt;
    // Eight UUID characters rarely collide; when they do, never replace a staged file.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const QString path =
            QDir(m_root).filePath(AttachmentNaming::stagedFileName(suggestedName, image.utiPreferredExtension));
        const QFileInfo info(path);
        if (info.exists() || info.isSymLink())
            continue;
        if (!platform::writeFileAtomically(path, image.data, platform::WriteOptions{0600, false}).isEmpty())
            return std::nullopt;
        return path;
    }
    return std::nullopt;
}

AttachmentTempStore::StageFileResult AttachmentTempStore::stageFile(const QUrl &url, const QString &displayPath,
                                                                    qint64 currentCount,
                                                                    qint64 currentTotalBytes) const
{
    const auto fail = [](StageFileFailure error) { return StageFileResult::failure(std::move(error)); };
    if (currentCount > kMaxAttachments - 1)
        return fail(IngestError::tooMany());
    if (!url.isLocalFile())
        return fail(FileReadError{url.toDisplayString(), QStringLiteral("not a local file")});
    const QString path = cleanAbsolute(url.toLocalFile());

    // Looked at before anything is read: a FIFO or device never blocks us, and
    // a huge file is refused without being read.
    const auto size = AttachmentRead::regularFileSize(path);
    if (!size)
        return fail(size.error());
    if (*size > kMaxFileBytes)
        return fail(IngestError::fileTooLarge(*size));

    if (isImageFileName(path)) {
        // One byte over the limit is enough to tell a file that grew meanwhile.
        const auto data = AttachmentRead::readAtMost(path, kMaxFileBytes + 1);
        if (!data)
            return fail(data.error());
        auto staged = stageImage(*data, QFileInfo(path).fileName(), currentCount, currentTotalBytes);
        if (!staged)
            return fail(staged.error());
        return std::move(staged).value();
    }

    if (exceedsTotal(currentTotalBytes, qMin(*size, kMaxInlineBytes)))
        return fail(IngestError::totalTooLarge());

    std::optional<QString> inlineText;
    if (*size <= kMaxInlineBytes) {
        // Read one byte past the limit: a file that grew since the size was
        // taken is not inlined half.
        const auto data = AttachmentRead::readAtMost(path, kMaxInlineBytes + 1);
        if (data && data->size() <= kMaxInlineBytes)
            inlineText = strictUtf8(*data);
    }

    StagedAttachment staged;
    staged.id = QUuid::createUuid();
    staged.url = QUrl::fromLocalFile(path);
    staged.displayPath = displayPath;
    staged.byteCount = *size;
    staged.isImage = false;
    staged.originalByteCount = *size;
    staged.isOwnedTemp = false;
    staged.inlineContent = std::move(inlineText);
    return staged;
}

void AttachmentTempStore::deleteOwned(const StagedAttachment &attachment) const
{
    if (!attachment.isOwnedTemp || !attachment.url.isLocalFile())
        return;
    // Only a direct child of our own folder goes, whatever the record claims.
    const QFileInfo info(cleanAbsolute(attachment.url.toLocalFile()));
    if (info.absolutePath() != m_root || !folderIsUsable())
        return;
    if (info.isSymLink() || info.isFile())
        QFile::remove(info.absoluteFilePath());
}

void AttachmentTempStore::purgeAll() const
{
    // Never empty a folder that is a symlink or someone else's: that would
    // delete whatever it points at.
    if (!folderIsUsable())
        return;
    const QFileInfoList entries =
        QDir(m_root).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.absoluteFilePath()).removeRecursively();
        else
            QFile::remove(entry.absoluteFilePath());
    }
}

} // namespace model
