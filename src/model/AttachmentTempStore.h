#pragma once

#include "model/AttachmentTempStoreRead.h"
#include "model/ImageRecompressor.h"
#include "model/RunRecords.h"
#include "platform/Result.h"

#include <QByteArray>
#include <QFuture>
#include <QString>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <optional>
#include <variant>

namespace model {

// Checks attachments against the limits of one message, recompresses images
// into a private staging folder, and reads small text files for inlining.
// Holds nothing but its folder, so every operation may run on a worker.
class AttachmentTempStore {
public:
    struct IngestError {
        enum class Kind { FileTooLarge, TooMany, TotalTooLarge, DecodeFailed, WriteFailed };
        Kind kind = Kind::DecodeFailed;
        qint64 size = 0; // for FileTooLarge: the size in bytes

        static IngestError fileTooLarge(qint64 size) { return {Kind::FileTooLarge, size}; }
        static IngestError tooMany() { return {Kind::TooMany, 0}; }
        static IngestError totalTooLarge() { return {Kind::TotalTooLarge, 0}; }
        static IngestError decodeFailed() { return {Kind::DecodeFailed, 0}; }
        static IngestError writeFailed() { return {Kind::WriteFailed, 0}; }

        QString description() const;
        friend bool operator==(const IngestError &, const IngestError &) = default;
    };
    using CompressedImage = model::CompressedImage;
    // A limit refusal, or a user's file that could not be looked at or read.
    using StageFileFailure = std::variant<IngestError, FileReadError>;
    using StageFileResult = platform::Result<StagedAttachment, StageFileFailure>;
    using StageImageResult = platform::Result<StagedAttachment, IngestError>;

    static constexpr qint64 kMaxAttachments = 10;
    static constexpr qint64 kMaxFileBytes = 12'582'912;
    static constexpr qint64 kMaxTotalBytes = 25'165'824;
    static constexpr qint64 kImageCountedBytes = ImageRecompressor::kTargetBytes;
    static constexpr qint64 kMaxInlineBytes = 80'000;
    static constexpr char kFolderName[] = "MoonshelfMac-attachments";

    // The process's store in the runtime folder, made (and purged) on first use.
    static AttachmentTempStore &shared();
    static QString defaultRootDirectory();

    // Creates the folder and empties it of files left by an earlier process.
    explicit AttachmentTempStore(QString rootDirectory);

    const QString &rootDirectory() const { return m_root; }

    // currentCount: attachments already staged; currentTotalBytes: the sum of
    // their byteCount values.
    [[nodiscard]] StageFileResult stageFile(const QUrl &url, const QString &displayPath, qint64 currentCount,
                                            qint64 currentTotalBytes) const;
    [[nodiscard]] StageImageResult stageImage(const QByteArray &data, const QString &suggestedName,
                                              qint64 currentCount, qint64 currentTotalBytes) const;

    // The same on a worker thread, to be awaited from the UI thread.
    [[nodiscard]] QCoro::Task<StageFileResult> stageFileAsync(QUrl url, QString displayPath, qint64 currentCount,
                                                              qint64 currentTotalBytes) const;
    [[nodiscard]] QCoro::Task<StageImageResult> stageImageAsync(QByteArray data, QString suggestedName,
                                                                qint64 currentCount, qint64 currentTotalBytes) const;

    // Removes a staged image's file; a user's own file, or anything outside
    // the staging folder, is never touched.
    void deleteOwned(const StagedAttachment &attachment) const;

    // Removes every visible entry of the staging folder.
    void purgeAll() const;

    static std::optional<CompressedImage> compressImage(const QByteArray &bytes);

    // By the name's extension, lower-cased.
    static bool isImageFileName(const QString &path);

private:
    // The folder exists, is a real directory (not a symlink) and is ours.
    bool folderIsUsable() const;
    std::optional<QString> writeStaged(const QString &suggestedName, const CompressedImage &image) const;

    QString m_root;
};

QString describe(const AttachmentTempStore::StageFileFailure &failure);

} // namespace model
