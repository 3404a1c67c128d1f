#include "model/ConversationStore.h"

#include "platform/Graphemes.h"

namespace model {

namespace {

constexpr qsizetype kMaxTitleFromMessage = 48;
constexpr qsizetype kMaxRenamedTitle = 120;

const QString &newSessionTitle()
{
    static const QString title = QStringLiteral("New session");
    return title;
}

// A reply assembled fragment by fragment keeps the room its string grew
// into (up to its size again); the store holds every message for the
// session's life, so it keeps each text at its own size.
bool hasSpareRoom(const QString &text)
{
    return text.capacity() - text.size() > 64 + text.size() / 16;
}

QList<ChatMessage> withoutSpareRoom(const QList<ChatMessage> &messages)
{
    QList<ChatMessage> out = messages; // shares data until a message changes
    for (qsizetype i = 0; i < out.size(); ++i)
        if (hasSpareRoom(messages[i].content))
            out[i].content.squeeze();
    return out;
}

} // namespace

bool ConversationStore::isPlaceholderTitle(const QString &title)
{
    return title == newSessionTitle() || title == QLatin1String("New build") || title == QLatin1String("New Chat");
}

Conversation ConversationStore::makeNewSession() const
{
    Conversation c;
    c.id = QUuid::createUuid();
    c.title = newSessionTitle();
    c.createdAt = now();
    c.updatedAt = c.createdAt;
    return c;
}

void ConversationStore::newChat()
{
    const Conversation c = makeNewSession();
    m_conversations.prepend(c);
    emit conversationsChanged();
    emit conversationAdded(c.id);
    setSelectedConversationID(c.id);
    save();
}

void ConversationStore::select(const QUuid &id)
{
    setSelectedConversationID(id);
    const auto i = indexOf(id);
    if (!i || !m_conversations[*i].isUnread)
        return;
    m_conversations[*i].isUnread = false;
    emit conversationsChanged();
    emit conversationChanged(id);
    save();
}

void ConversationStore::rename(const QUuid &id, const QString &title)
{
    const QString trimmed = title.trimmed();
    if (trimmed.isEmpty())
        return;
    const auto i = indexOf(id);
    if (!i)
        return;
    Conversation &c = m_conversations[*i];
    c.title = platform::Graphemes::prefix(trimmed, kMaxRenamedTitle);
    c.updatedAt = now();
    emit conversationsChanged();
    emit conversationChanged(id);
    save();
}

void ConversationStore::togglePin(const QUuid &id)
{
    const auto i = indexOf(id);
    if (!i)
        return;
    Conversation &c = m_conversations[*i];
    c.isPinned = !c.isPinned;
    // Pinning and unpinning both bring it to the top of its group.
    c.updatedAt = now();
    emit conversationsChanged();
    emit conversationChanged(id);
    save();
}

void ConversationStore::archive(const QUuid &id)
{
    const auto i = indexOf(id);
    if (!i)
        return;
    Conversation &c = m_conversations[*i];
    c.isArchived = true;
    c.isPinned = false;
    c.updatedAt = now();
    emit conversationsChanged();
    emit conversationChanged(id);
    if (m_selectedID == id) {
        const QList<Conversation> active = activeConversations();
        setSelectedConversationID(active.isEmpty() ? std::nullopt : std::optional(active.first().id));
        if (!m_selectedID) {
            newChat();
            return;
        }
    }
    save();
}

void ConversationStore::unarchive(const QUuid &id)
{
    const auto i = indexOf(id);
    if (!i)
        return;
    Conversation &c = m_conversations[*i];
    c.isArchived = false;
    c.updatedAt = now();
    emit conversationsChanged();
    emit conversationChanged(id);
    save();
}

void ConversationStore::deleteConversation(const QUuid &which)
{
    // A copy: the caller's id may live in the element removed here.
    const QUuid id = which;
    const qsizetype removed = m_conversations.removeIf([&id](const Conversation &c) { return c.id == id; });
    if (removed > 0) {
        emit conversationsChanged();
        emit conversationRemoved(id);
    }
    if (m_selectedID == id) {
        // Unlike archive, this may select an archived session.
        const QList<Conversation> active = activeConversations();
        std::optional<QUuid> next;
        if (!active.isEmpty())
            next = active.first().id;
        else if (!m_conversations.isEmpty())
            next = m_conversations.first().id;
        setSelectedConversationID(next);
    }
    if (m_conversations.isEmpty()) {
        newChat();
        return;
    }
    save();
}

void ConversationStore::fork(const QUuid &id)
{
    const auto i = indexOf(id);
    if (!i)
        return;
    const Conversation &source = m_conversations[*i];
    Conversation copy;
    copy.id = QUuid::createUuid();
    const QString &suffix = Conversation::forkSuffix();
    copy.title = source.title.endsWith(suffix) ? source.title : source.title + suffix;
    copy.createdAt = now();
    copy.updatedAt = copy.createdAt;
    copy.messages = source.messages;
    for (ChatMessage &m : copy.messages)
        m.id = QUuid::createUuid();
    m_conversations.prepend(std::move(copy));
    const QUuid forkID = m_conversations.first().id;
    emit conversationsChanged();
    emit conversationAdded(forkID);
    setSelectedConversationID(forkID);
    save();
}

void ConversationStore::setUnread(const QUuid &id, bool unread)
{
    const auto i = indexOf(id);
    if (!i)
        return;
    m_conversations[*i].isUnread = unread;
    emit conversationsChanged();
    emit conversationChanged(id);
    save();
}

bool ConversationStore::applyChange(qsizetype index, const Change &change, const QUuid &appendedMessageID)
{
    Conversation &c = m_conversations[index];
    change(c);
    // After the change, so it wins over any date the change set.
    c.updatedAt = now();
    // A copy: a listener may change the list.
    const QUuid id = c.id;
    emit conversationsChanged();
    if (appendedMessageID.isNull())
        emit conversationChanged(id);
    else
        emit messageAppended(id, appendedMessageID);
    save();
    return true;
}

void ConversationStore::updateSelected(const Change &change)
{
    if (!m_selectedID)
        return;
    if (const auto i = indexOf(*m_selectedID))
        applyChange(*i, change);
}

bool ConversationStore::updateConversation(const QUuid &conversationID, const Change &change)
{
    const auto i = indexOf(conversationID);
    return i && applyChange(*i, change);
}

void ConversationStore::appendTo(Conversation &c, const ChatMessage &message)
{
    c.messages.append(message);
    if (hasSpareRoom(message.content))
        c.messages.last().content.squeeze();
    c.isUnread = false;
    if (message.role == MessageRole::User && isPlaceholderTitle(c.title)) {
        const QString trimmed = message.content.trimmed();
        // A message of blanks would leave the session without a title.
        if (!trimmed.isEmpty())
            c.title = platform::Graphemes::prefix(trimmed, kMaxTitleFromMessage);
    }
}

void ConversationStore::appendMessage(const ChatMessage &message)
{
    if (m_selectedID)
        appendMessage(*m_selectedID, message);
}

bool ConversationStore::appendMessage(const QUuid &conversationID, const ChatMessage &message)
{
    const auto i = indexOf(conversationID);
    return i && applyChange(*i, [&message](Conversation &c) { appendTo(c, message); }, message.id);
}

void ConversationStore::replaceMessages(const QList<ChatMessage> &messages)
{
    updateSelected([&messages](Conversation &c) { c.messages = withoutSpareRoom(messages); });
}

bool ConversationStore::replaceMessages(const QUuid &conversationID, const QList<ChatMessage> &messages)
{
    return updateConversation(conversationID,
                              [&messages](Conversation &c) { c.messages = withoutSpareRoom(messages); });
}

} // namespace model
