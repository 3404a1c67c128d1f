#pragma once

#include "model/RunRecords.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace app {

// Turns the composer's text and staged attachments into the text of one user
// message. The chrome it writes is parsed back by the display clean-up, so
// every fixed text here must stay as it is.
struct MessageComposer {
    struct Recompressed {
        QByteArray bytes;
        QString mimeType;
    };
    using Compressor = std::function<std::optional<Recompressed>(const QByteArray &)>;
    // The whole content of a staged image; nothing when it cannot be read.
    using Reader = std::function<std::optional<QByteArray>(const QUrl &)>;

    static constexpr qsizetype kInlineTextCharacters = 60000;
    static constexpr int kMaxInlineImages = 4;
    static constexpr qsizetype kImageBytesSentAsIs = 49152;

    // Reads staged images from disk.
    static QString compose(const QString &draft, const QList<model::AttachedFile> &attachments, bool inlineImages,
                           const Compressor &compress);
    // Takes staged images from `read`, so the bytes can be read before the
    // files are deleted and the rest done elsewhere.
    static QString compose(const QString &draft, const QList<model::AttachedFile> &attachments, bool inlineImages,
                           const Compressor &compress, const Reader &read);

    // A staged image read whole from disk.
    static std::optional<QByteArray> readStaged(const QUrl &url);
    // Whether compose() with inlineImages would try to read this attachment.
    static bool mayInline(const model::AttachedFile &attachment) { return attachment.isImage && attachment.isOwnedTemp; }
};

} // namespace app
