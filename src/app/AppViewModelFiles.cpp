#include "app/AppViewModel.h"

#include "agent/files/WorkspaceManager.h"
#include "app/FilePeek.h"
#include "app/MessageComposer.h"
#include "app/ToolPaths.h"
#include "model/AttachmentTempStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QtConcurrent/QtConcurrentMap>

namespace app {

namespace {

QString standardized(const QUrl &url)
{
    return QDir::cleanPath(url.toLocalFile());
}

} // namespace

namespace {

std::optional<MessageComposer::Recompressed> recompress(const QByteArray &bytes)
{
    const auto image = model::AttachmentTempStore::compressImage(bytes);
    if (!image)
        return std::nullopt;
    return MessageComposer::Recompressed{image->data, image->mimeType};
}

} // namespace

QString AppViewModel::composeUserMessage(const QString &draft, const QList<model::AttachedFile> &attachments,
                                         bool inlineImages)
{
    return MessageComposer::compose(draft, attachments, inlineImages, &recompress);
}

QString AppViewModel::composeForModel(const PendingModelText &pending)
{
    const QHash<QUrl, QByteArray> &staged = pending.stagedBytes;
    // Recompressing is the slow part: the images the message inlines when
    // all goes well are recompressed side by side first. One that fails
    // lets a later image in, which is then done on its own.
    QList<QByteArray> large;
    int candidates = 0;
    for (const model::AttachedFile &a : pending.attachments) {
        if (candidates >= MessageComposer::kMaxInlineImages)
            break;
        const auto it = staged.constFind(a.url);
        if (!MessageComposer::mayInline(a) || it == staged.cend())
            continue;
        ++candidates;
        if (it->size() > MessageComposer::kImageBytesSentAsIs && !large.contains(*it))
            large.append(*it);
    }
    const QList<std::optional<MessageComposer::Recompressed>> made =
        QtConcurrent::blockingMapped<QList<std::optional<MessageComposer::Recompressed>>>(large, &recompress);
    const auto compress = [&large, &made](const QByteArray &bytes) {
        const qsizetype at = large.indexOf(bytes);
        return at >= 0 ? made.at(at) : recompress(bytes);
    };

    return MessageComposer::compose(pending.draft, pending.attachments, true, compress,
                                    [&staged](const QUrl &url) -> std::optional<QByteArray> {
                                        const auto it = staged.constFind(url);
                                        if (it == staged.cend())
                                            return std::nullopt;
                                        return *it;
                                    });
}

qint64 AppViewModel::attachedBytes() const
{
    qint64 total = 0;
    for (const model::AttachedFile &a : m_attachments)
        total += a.byteCount;
    return total;
}

std::optional<AppViewModel::AttachTarget> AppViewModel::attachTarget(const QUrl &url) const
{
    QString path = standardized(url);
    if (m_workspace->hasRoot()) {
        const QString root = QDir::cleanPath(m_workspace->rootPath());
        if (path != root && !path.startsWith(root + QLatin1Char('/'))) {
            // A link into the project counts as the project file it names.
            const auto resolved = m_workspace->resolvePath(path);
            if (resolved.ok())
                path = resolved.value();
        }
    }
    for (const model::AttachedFile &a : m_attachments) {
        if (standardized(a.url) == path)
            return std::nullopt;
    }
    const QUrl file = QUrl::fromLocalFile(path);
    // Outside the project the full path is kept: a bare name could lead the
    // model to a different file of the project.
    return AttachTarget{file, relativePath(file).value_or(path)};
}

bool AppViewModel::isImageAttached(const QByteArray &hash) const
{
    for (const model::AttachedFile &a : m_attachments) {
        if (m_imageHashes.value(a.id) == hash)
            return true;
    }
    return false;
}

void AppViewModel::appendAttachment(const model::AttachedFile &file, const QByteArray &imageHash)
{
    if (!imageHash.isEmpty())
        m_imageHashes.insert(file.id, imageHash);
    QList<model::AttachedFile> list = m_attachments;
    list.append(file);
    setAttachments(list);
}

bool AppViewModel::attachFile(const QUrl &url)
{
    const std::optional<AttachTarget> target = attachTarget(url);
    if (!target)
        return false;
    const model::AttachmentTempStore::StageFileResult staged =
        staging().stageFile(target->file, target->displayPath, m_attachments.size(), attachedBytes());
    if (!staged.ok()) {
        setErrorMessage(model::describe(staged.error()));
        return false;
    }
    appendAttachment(model::AttachedFile::fromStaged(staged.value()), {});
    return true;
}

bool AppViewModel::attachImageData(const QByteArray &data, const QString &suggestedName)
{
    if (data.isEmpty())
        return false;
    // The same picture dropped twice, whatever its name says.
    const QByteArray hash = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
    if (isImageAttached(hash))
        return false;
    const model::AttachmentTempStore::StageImageResult staged =
        staging().stageImage(data, suggestedName, m_attachments.size(), attachedBytes());
    if (!staged.ok()) {
        setErrorMessage(staged.error().description());
        return false;
    }
    appendAttachment(model::AttachedFile::fromStaged(staged.value()), hash);
    return true;
}

void AppViewModel::removeAttachment(const QUuid &id)
{
    const auto it = std::find_if(m_attachments.cbegin(), m_attachments.cend(),
                                 [&id](const model::AttachedFile &a) { return a.id == id; });
    if (it == m_attachments.cend())
        return;
    staging().deleteOwned(it->toStaged());
    QList<model::AttachedFile> list = m_attachments;
    list.removeIf([&id](const model::AttachedFile &a) { return a.id == id; });
    m_imageHashes.remove(id);
    setAttachments(list);
}

void AppViewModel::clearAttachments()
{
    for (const model::AttachedFile &a : std::as_const(m_attachments))
        staging().deleteOwned(a.toStaged());
    setAttachments({});
    m_imageHashes.clear();
    staging().purgeAll();
}

void AppViewModel::peekFile(const QUrl &url)
{
    const QString absolute = url.toLocalFile();
    const model::PeekedFile file = FilePeek::peek(url, relativePath(url).value_or(absolute));
    setPeekedFile(file);
    // The tree marks the file being peeked, text or not: a binary file
    // left the previous one marked beside it.
    setHighlightedFilePath(absolute);
}

std::optional<QString> AppViewModel::relativePath(const QUrl &url) const
{
    if (!m_workspace->hasRoot())
        return std::nullopt;
    const QString path = standardized(url);
    const QString root = QDir::cleanPath(m_workspace->rootPath());
    if (path == root)
        return QStringLiteral(".");
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    if (path.startsWith(prefix))
        return path.mid(prefix.size());
    return std::nullopt;
}

std::optional<QString> AppViewModel::extractPath(const QString &toolName, const QString &argumentsPreview)
{
    Q_UNUSED(toolName); // every tool names its file the same way
    return extractToolPath(argumentsPreview);
}

void AppViewModel::copyMessage(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || !m_services.setClipboardText)
        return;
    m_services.setClipboardText(trimmed);
}

} // namespace app
