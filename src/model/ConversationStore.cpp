#include "model/ConversationStore.h"

#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <algorithm>

namespace model {

namespace {

QString defaultFilePath()
{
    return QDir(platform::AppPaths::supportDirectory()).filePath(QStringLiteral("conversations.json"));
}

bool sameContents(const QList<ChatMessage> &a, const QList<ChatMessage> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].content != b[i].content)
            return false;
    }
    return true;
}

} // namespace

ConversationStore::ConversationStore(QObject *parent) : ConversationStore(Options{defaultFilePath()}, parent) {}

ConversationStore::ConversationStore(Options options, QObject *parent)
    : QObject(parent),
      m_filePath(std::move(options.filePath)),
      m_clock(std::move(options.clock)),
      m_writer(m_filePath, std::move(options.writer), options.writeInBackground)
{
    // Stores that outlive the event loop still flush in their destructor.
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &ConversationStore::flush);

    // The writer may report from its own thread; the notice is sent here.
    m_writer.setResultHandler([this](const QString &failure) {
        if (QThread::currentThread() == thread())
            noteSaveResult(failure);
        else
            QMetaObject::invokeMethod(this, [this, failure] { noteSaveResult(failure); }, Qt::QueuedConnection);
    });

    // A failure shows later as a missing file and failed writes.
    QDir().mkpath(QFileInfo(m_filePath).absolutePath());

    load();

    if (m_conversations.isEmpty()) {
        const Conversation first = makeNewSession();
        setConversations({first});
        setSelectedConversationID(first.id);
        save();
        return;
    }
    if (m_selectedID && indexOf(*m_selectedID))
        return;
    const QList<Conversation> active = activeConversations();
    setSelectedConversationID(active.isEmpty() ? m_conversations.first().id : active.first().id);
}

void ConversationStore::load()
{
    FileRead read = readStoreFile(m_filePath);
    m_loadState = read.state;
    if (read.state == StoreFileState::NoFile)
        return;
    if (read.state == StoreFileState::Unreadable) {
        m_setAside.arm(true);
        return;
    }

    m_isLoading = true;
    auto decoded = decodeConversationFile(std::move(read.bytes));
    if (!decoded) {
        m_loadState = StoreFileState::Undecodable;
        m_setAside.arm(true);
        m_conversations.clear();
        m_isLoading = false;
        return;
    }
    ConversationFileContent &content = decoded.value();
    setConversations(std::move(content.conversations));
    if (!content.wasBareArray)
        setSelectedConversationID(content.selectedConversationID);

    // Inline images never stay in stored history; write once if any went.
    bool changed = false;
    for (qsizetype i : std::as_const(content.mayHoldInlineImages)) {
        const QList<ChatMessage> &stored = m_conversations[i].messages;
        QList<ChatMessage> cleaned = ChatMessage::sanitizeForStorage(stored);
        if (!sameContents(cleaned, stored)) {
            m_conversations[i].messages = std::move(cleaned);
            changed = true;
        }
    }
    if (changed) {
        emit conversationsChanged();
        save();
    }
    m_isLoading = false;
}

void ConversationStore::save()
{
    // Moving a bad file aside happens here, before the first write is queued.
    if (!m_setAside.prepareWrite(m_filePath, now()))
        return noteSaveResult(m_setAside.blockReason());
    m_writer.submit({m_conversations, m_selectedID});
}

void ConversationStore::noteSaveResult(const QString &failure)
{
    if (m_saveFailures.note(failure))
        emit saveFailed(failure);
}

void ConversationStore::flush()
{
    m_writer.flush();
}

void ConversationStore::setConversations(QList<Conversation> conversations)
{
    m_conversations = std::move(conversations);
    emit conversationsChanged();
    emit conversationsReplaced();
}

void ConversationStore::setSelectedConversationID(std::optional<QUuid> id)
{
    const std::optional<QUuid> old = m_selectedID;
    m_selectedID = id;
    if (old == id)
        return;
    emit selectedConversationIDChanged();
    if (!m_isLoading)
        save();
}

QList<Conversation> ConversationStore::activeConversations() const
{
    QList<Conversation> list;
    for (const Conversation &c : m_conversations) {
        if (!c.isArchived)
            list.append(c);
    }
    std::stable_sort(list.begin(), list.end(), [](const Conversation &a, const Conversation &b) {
        if (a.isPinned != b.isPinned)
            return a.isPinned;
        return a.updatedAt > b.updatedAt;
    });
    return list;
}

QList<Conversation> ConversationStore::archivedConversations() const
{
    QList<Conversation> list;
    for (const Conversation &c : m_conversations) {
        if (c.isArchived)
            list.append(c);
    }
    std::stable_sort(list.begin(), list.end(),
                     [](const Conversation &a, const Conversation &b) { return a.updatedAt > b.updatedAt; });
    return list;
}

std::optional<qsizetype> ConversationStore::indexOf(const QUuid &id) const
{
    for (qsizetype i = 0; i < m_conversations.size(); ++i) {
        if (m_conversations[i].id == id)
            return i;
    }
    return std::nullopt;
}

std::optional<Conversation> ConversationStore::conversation(const QUuid &id) const
{
    if (const auto i = indexOf(id))
        return m_conversations[*i];
    return std::nullopt;
}

std::optional<Conversation> ConversationStore::selectedConversation() const
{
    if (!m_selectedID)
        return std::nullopt;
    return conversation(*m_selectedID);
}

} // namespace model
