#include "app/MessageComposer.h"

#include "platform/Graphemes.h"

#include <QFile>

namespace app {

namespace {

QString number(qint64 n)
{
    return QString::number(n);
}

// A file name may hold line breaks, other control characters or backticks;
// raw, they would end the line or the code span it stands in and write
// Markdown of their own into the message.
QString cleanPath(const QString &path)
{
    QString out = path;
    for (QChar &c : out) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph || c == u'`')
            c = QChar::ReplacementCharacter;
    }
    return out;
}

} // namespace

std::optional<QByteArray> MessageComposer::readStaged(const QUrl &url)
{
    QFile file(url.toLocalFile());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    // A short read is no whole file.
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

QString MessageComposer::compose(const QString &draft, const QList<model::AttachedFile> &attachments,
                                 bool inlineImages, const Compressor &compress)
{
    return compose(draft, attachments, inlineImages, compress, &MessageComposer::readStaged);
}

QString MessageComposer::compose(const QString &draft, const QList<model::AttachedFile> &attachments,
                                 bool inlineImages, const Compressor &compress, const Reader &read)
{
    if (attachments.isEmpty())
        return draft;

    QString out = draft.isEmpty() ? QStringLiteral("Use the attached files as context.") : draft;
    out += QStringLiteral("\n\n---\n**Attached files** (paths relative to the open project when possible):");

    int inlined = 0;
    for (const model::AttachedFile &a : attachments) {
        out += QStringLiteral("\n\n### `") + cleanPath(a.displayPath) + QStringLiteral("`");
        if (!a.isImage) {
            if (a.inlineContent) {
                QString content = *a.inlineContent;
                if (platform::Graphemes::count(content) > kInlineTextCharacters)
                    content = platform::Graphemes::prefix(content, kInlineTextCharacters)
                              + QStringLiteral("\n…(truncated)");
                out += QStringLiteral("\n```\n") + content + QStringLiteral("\n```");
            } else {
                out += QStringLiteral("\n_(not inlined; ") + number(a.byteCount)
                       + QStringLiteral(" bytes; use `read_file` on `") + cleanPath(a.displayPath)
                       + QStringLiteral("` if inside the project)_");
            }
            continue;
        }

        bool didInline = false;
        if (inlineImages && inlined < kMaxInlineImages && a.isOwnedTemp && read) {
            if (std::optional<QByteArray> bytes = read(a.url)) {
                QString mime = a.mimeType.value_or(QStringLiteral("image/jpeg"));
                bool usable = true;
                if (bytes->size() > kImageBytesSentAsIs) {
                    const std::optional<Recompressed> smaller = compress ? compress(*bytes) : std::nullopt;
                    if (smaller) {
                        *bytes = smaller->bytes;
                        // The data URL must name what the bytes really are.
                        mime = smaller->mimeType;
                    } else {
                        usable = false;
                    }
                }
                if (usable) {
                    out += QStringLiteral("\n![screenshot](data:") + mime + QStringLiteral(";base64,")
                           + QString::fromLatin1(bytes->toBase64()) + QStringLiteral(")");
                    out += QStringLiteral("\n_(compressed ") + number(bytes->size())
                           + QStringLiteral(" B for model; original ") + number(a.originalByteCount)
                           + QStringLiteral(" B; temp, not stored in history)_");
                    ++inlined;
                    didInline = true;
                }
            }
        }
        if (didInline)
            continue;
        if (a.byteCount >= 1) {
            out += QStringLiteral("\n_(image staged ") + number(a.byteCount) + QStringLiteral(" B from ")
                   + number(a.originalByteCount) + QStringLiteral(" B original; path `") + cleanPath(a.displayPath)
                   + QStringLiteral("`)_");
        } else {
            out += QStringLiteral("\n_(image path: `") + cleanPath(a.url.toLocalFile()) + QStringLiteral("`)_");
        }
    }
    return out;
}

} // namespace app
