#include "model/ConversationStore.h"

#include "model/ConversationFileSplit.h"
#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <sys/resource.h>

namespace model {

namespace {

// The history reader's nice value (per thread on Linux): it gets a third of
// the UI thread's share of a core both want.
constexpr int kReaderNice = 5;

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

QString ConversationStore::defaultFilePath()
{
    return QDir(platform::AppPaths::supportDirectory()).filePath(QStringLiteral("conversations.json"));
}

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

    if (options.loadInBackground && QFileInfo::exists(m_filePath)) {
        m_loaded = std::make_shared<std::optional<Loaded>>();
        m_loader.reset(QThread::create([this, path = m_filePath, slot = m_loaded] {
            // The window's first frames need a core for the UI thread and
            // the shared pool (images are scaled there): the helpers leave
            // two cores, and the reader yields a busy core to the UI thread
            // with a lower priority, which the helpers it starts inherit.
            ::setpriority(PRIO_PROCESS, 0, std::max(::getpriority(PRIO_PROCESS, 0), kReaderNice));
            QThreadPool helpers;
            helpers.setMaxThreadCount(std::max(2, QThread::idealThreadCount() - 2));
            *slot = readHistory(path, &helpers);
            QMetaObject::invokeMethod(this, &ConversationStore::takeLoadedHistory, Qt::QueuedConnection);
        }));
        m_loader->setObjectName(QStringLiteral("conversation history reader"));
        m_loader->start();
        return;
    }
    adopt(readHistory(m_filePath));
}

ConversationStore::~ConversationStore()
{
    if (!m_loader)
        return;
    // What changed meanwhile is written together with the history; with
    // nothing changed the file stays as it is. Listeners may be half gone.
    blockSignals(true);
    if (m_changedWhileLoading)
        waitForHistory();
    else
        m_loader->wait();
}

ConversationStore::Loaded ConversationStore::readHistory(const QString &path, QThreadPool *pool)
{
    Loaded loaded;
    // A large file's conversations are decoded while the rest is read.
    ConversationChunks chunks(pool);
    FileRead read =
        readStoreFile(path, [&chunks](const QByteArray &bytes, qsizetype done) { chunks.feed(bytes, done); });
    loaded.state = read.state;
    if (read.state != StoreFileState::Loaded)
        return loaded;
    std::optional<ConversationFileContent> whole = chunks.finish(read.bytes);
    if (!whole) {
        auto decoded = decodeConversationEnvelope(std::move(read.bytes), pool);
        if (!decoded) {
            loaded.state = StoreFileState::Undecodable;
            return loaded;
        }
        whole = std::move(decoded.value());
    }
    ConversationFileContent &content = *whole;
    loaded.conversations = std::move(content.conversations);
    if (!content.wasBareArray)
        loaded.selectedID = content.selectedConversationID;
    // Inline images never stay in stored history; written once if any went.
    for (qsizetype i : std::as_const(content.mayHoldInlineImages)) {
        const QList<ChatMessage> &stored = loaded.conversations[i].messages;
        QList<ChatMessage> cleaned = ChatMessage::sanitizeForStorage(stored);
        if (!sameContents(cleaned, stored)) {
            loaded.conversations[i].messages = std::move(cleaned);
            loaded.cleaned = true;
        }
    }
    return loaded;
}

void ConversationStore::takeLoadedHistory()
{
    if (!m_loader)
        return; // already taken in by waitForHistory()
    m_loader->wait();
    m_loader.reset();
    std::optional<Loaded> loaded = std::move(*m_loaded);
    m_loaded.reset();
    adopt(std::move(*loaded));
    emit historyLoaded();
}

void ConversationStore::waitForHistory()
{
    takeLoadedHistory();
}

void ConversationStore::adopt(Loaded loaded)
{
    m_loadState = loaded.state;
    if (loaded.state == StoreFileState::Unreadable || loaded.state == StoreFileState::Undecodable)
        m_setAside.arm(true);

    // Sessions made while the history was read stay in front of it, and a
    // selection made meanwhile wins over the stored one.
    const bool changedMeanwhile = std::exchange(m_changedWhileLoading, false);
    if (!loaded.conversations.isEmpty()) {
        m_isLoading = true;
        QList<Conversation> all = std::move(loaded.conversations);
        if (!m_conversations.isEmpty())
            all = m_conversations + all;
        setConversations(std::move(all));
        if (!m_selectedID)
            setSelectedConversationID(loaded.selectedID);
        if (loaded.cleaned)
            save();
        m_isLoading = false;
    }

    if (m_conversations.isEmpty()) {
        const Conversation first = makeNewSession();
        setConversations({first});
        setSelectedConversationID(first.id);
        save();
        return;
    }
    if (changedMeanwhile)
        save();
    if (m_selectedID && indexOf(*m_selectedID))
        return;
    const QList<Conversation> active = activeConversations();
    setSelectedConversationID(active.isEmpty() ? m_conversations.first().id : active.first().id);
}

void ConversationStore::save()
{
    // A file written now would lack the history still on its way.
    if (m_loader) {
        m_changedWhileLoading = true;
        return;
    }
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
    waitForHistory();
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
