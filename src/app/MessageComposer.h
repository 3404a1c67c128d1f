#pragma once

#include "model/RunRecords.h"

#include <QByteArray>
#include <QList>
#include <QString>

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

    static constexpr qsizetype kInlineTextCharacters = 60000;
    static constexpr int kMaxInlineImages = 4;
    static constexpr qsizetype kImageBytesSentAsIs = 49152;

    static QString compose(const QString &draft, const QList<model::AttachedFile> &attachments, bool inlineImages,
                           const Compressor &compress);
};

} // namespace app
