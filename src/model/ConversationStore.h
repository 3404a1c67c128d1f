#pragma once

#include "model/ChatRecords.h"
#include "model/ConversationFile.h"
#include "model/ConversationStoreWriter.h"
#include "model/StoreFile.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QThread>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace model {

// The one holder of all chat sessions and of the selection, kept in
// conversations.json (whole file, written atomically after every change).
// Lives on the main thread. Encoding and writing happen on a writer thread
// of its own, from the newest state: changes made while a write runs are
// saved together by the next one. The destructor and the application's
// aboutToQuit wait for the last write. Once the history is loaded the list
// holds at least one conversation and the selection names one of them.
//
// The history may be read on a thread of its own (Options::loadInBackground),
// so a window can paint before a large file is decoded. Until it arrives the
// list holds only the sessions made meanwhile and the selection is the one
// made meanwhile, if any; nothing is written. When it arrives those sessions
// stay in front of the loaded ones, a selection made meanwhile wins over the
// stored one, and if anything changed meanwhile the whole is written once.
class ConversationStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<model::Conversation> conversations READ conversations WRITE setConversations NOTIFY
                   conversationsChanged)
    Q_PROPERTY(std::optional<QUuid> selectedConversationID READ selectedConversationID WRITE
                   setSelectedConversationID NOTIFY selectedConversationIDChanged)
    Q_PROPERTY(bool isHistoryLoaded READ isHistoryLoaded NOTIFY historyLoaded)

public:
    struct Options {
        QString filePath; // conversations.json; its folder is created when missing
        StoreStreamWriter writer = defaultStoreStreamWriter();
        Clock clock = systemClock();
        // False: each save is on disk (or failed) before the change returns.
        bool writeInBackground = true;
        // True: an existing file is read and decoded on a thread of its own.
        bool loadInBackground = false;
    };

    // The application's store, in the support folder.
    explicit ConversationStore(QObject *parent = nullptr);
    explicit ConversationStore(Options options, QObject *parent = nullptr);
    // Waits for a history still being read when something changed meanwhile.
    ~ConversationStore() override;
    static QString defaultFilePath();

    // False only while the history is read in the background.
    bool isHistoryLoaded() const { return !m_loader; }
    // Takes the history in now, waiting for the reading thread if need be.
    void waitForHistory();

    // Every session, active and archived, in stored order.
    const QList<Conversation> &conversations() const { return m_conversations; }
    // Replaces the list and publishes it; does not save.
    void setConversations(QList<Conversation> conversations);

    std::optional<QUuid> selectedConversationID() const { return m_selectedID; }
    // Saves when the value changed (not while loading). Does not clear the
    // unread flag: select() does.
    void setSelectedConversationID(std::optional<QUuid> id);

    // Not archived: pinned first, then the latest updatedAt; ties keep stored order.
    QList<Conversation> activeConversations() const;
    // Archived, the latest updatedAt first; ties keep stored order.
    QList<Conversation> archivedConversations() const;
    std::optional<Conversation> selectedConversation() const;
    // The first conversation in stored order with this id.
    std::optional<Conversation> conversation(const QUuid &id) const;

    // Session operations. An id that names no conversation changes nothing
    // (beyond what each one documents), and nothing reports a failure.
    void newChat();
    void select(const QUuid &id);
    void rename(const QUuid &id, const QString &title);
    void togglePin(const QUuid &id);
    void archive(const QUuid &id);
    void unarchive(const QUuid &id);
    void deleteConversation(const QUuid &id);
    void fork(const QUuid &id);
    void setUnread(const QUuid &id, bool unread);

    using Change = std::function<void(Conversation &)>;
    // Applies the change to the selected conversation, stamps updatedAt and
    // saves; with nothing selected the change is dropped.
    void updateSelected(const Change &change);
    // Appends, clears the unread flag, and names a placeholder-titled session
    // after its first user message.
    void appendMessage(const ChatMessage &message);
    void replaceMessages(const QList<ChatMessage> &messages);

    // The same three, addressed by id, so a run's results land in the session
    // the run started in whatever is selected meanwhile. False, and nothing
    // changed, when no conversation has that id.
    bool updateConversation(const QUuid &conversationID, const Change &change);
    bool appendMessage(const QUuid &conversationID, const ChatMessage &message);
    bool replaceMessages(const QUuid &conversationID, const QList<ChatMessage> &messages);

    QString filePath() const { return m_filePath; }
    // Waits until the newest state is written (or its write failed), the
    // history taken in first.
    void flush();
    // Why the newest save failed; empty when it succeeded (after flush(),
    // once its result has been delivered to this thread).
    QString lastSaveFailure() const { return m_saveFailures.failure(); }
    // What was found at start-up. Unreadable and undecodable files are moved
    // aside before the first write (see setAsidePath()).
    StoreFileState loadState() const { return m_loadState; }
    QString setAsidePath() const { return m_setAside.setAsidePath(); }
    // True when an unusable file could not be moved aside: the store then
    // works in memory only and never writes the file.
    bool writesBlocked() const { return m_setAside.writesBlocked(); }

    // Titles of an unnamed session; a user message appended to one names it.
    static bool isPlaceholderTitle(const QString &title);

signals:
    // The history read in the background is in the list (sent once).
    void historyLoaded();
    // Any change of the list; what saving and whole-list readers follow.
    void conversationsChanged();
    void selectedConversationIDChanged();
    // A save failed (the folder is read-only, the disk is full...): sent for
    // the first failure of a run, with its reason; a save that succeeds ends
    // the run. The state stays in memory and the next change writes it all.
    void saveFailed(const QString &reason);
    // The same changes one by one, each after conversationsChanged(), so an
    // item model updates the one row concerned. Added: now at its index in
    // conversations(). Changed: any field but a lone appended message.
    // Appended: also stands for the summary fields the append touched
    // (title, unread flag, updatedAt). Replaced: setConversations().
    void conversationAdded(const QUuid &id);
    void conversationChanged(const QUuid &id);
    void conversationRemoved(const QUuid &id);
    void messageAppended(const QUuid &conversationID, const QUuid &messageID);
    void conversationsReplaced();

private:
    // What reading the file found, ready to take in.
    struct Loaded {
        StoreFileState state = StoreFileState::NoFile;
        QList<Conversation> conversations;
        std::optional<QUuid> selectedID; // from the file
        bool cleaned = false;            // the storage clean-up changed a message
    };
    static Loaded readHistory(const QString &path, QThreadPool *pool = nullptr);
    void adopt(Loaded loaded);
    void takeLoadedHistory();
    void save();
    void noteSaveResult(const QString &failure);
    std::optional<qsizetype> indexOf(const QUuid &id) const;
    // A non-null appendedMessageID announces the change as that append.
    bool applyChange(qsizetype index, const Change &change, const QUuid &appendedMessageID = {});
    static void appendTo(Conversation &c, const ChatMessage &message);
    Conversation makeNewSession() const;
    QDateTime now() const { return m_clock(); }

    QList<Conversation> m_conversations;
    std::optional<QUuid> m_selectedID;
    bool m_isLoading = false;
    QString m_filePath;
    Clock m_clock;
    StoreFileState m_loadState = StoreFileState::NoFile;
    FileSetAside m_setAside;
    SaveFailureRun m_saveFailures;
    // The history on its way: the reading thread and what it read.
    std::unique_ptr<QThread> m_loader;
    std::shared_ptr<std::optional<Loaded>> m_loaded;
    bool m_changedWhileLoading = false;
    // Last: destroyed first, so the final write ends before anything else goes.
    ConversationStoreWriter m_writer;
};

} // namespace model
