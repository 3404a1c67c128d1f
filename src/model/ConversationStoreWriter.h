#pragma once

#include "model/ChatRecords.h"
#include "model/ConversationFile.h"
#include "model/StoreFile.h"

#include <QList>
#include <QMutex>
#include <QThread>
#include <QUuid>
#include <QWaitCondition>

#include <functional>
#include <memory>
#include <optional>

namespace model {

// Encodes and writes conversations.json for the store. In the background
// mode one serial thread does both, always from the newest state handed in:
// states queued while a write runs are skipped, so an older state can never
// land after a newer one. The list handed in is an implicitly shared copy,
// so taking it costs the caller next to nothing.
class ConversationStoreWriter {
public:
    struct State {
        QList<Conversation> conversations;
        std::optional<QUuid> selectedID;
    };

    ConversationStoreWriter(QString filePath, StoreStreamWriter writer, bool inBackground);
    // Gets the result of every write (empty: success), on the thread that
    // wrote. Set before the first submit.
    void setResultHandler(std::function<void(const QString &failure)> handler) { m_onResult = std::move(handler); }
    // Writes what is still pending and waits for it.
    ~ConversationStoreWriter();
    ConversationStoreWriter(const ConversationStoreWriter &) = delete;
    ConversationStoreWriter &operator=(const ConversationStoreWriter &) = delete;

    // Background: replaces any state not yet taken and returns at once.
    // Otherwise: encodes and writes before returning.
    void submit(State state);
    // Returns once the newest state submitted is written (or its write failed).
    void flush();

private:
    void run();
    void write(const State &state);

    const QString m_filePath;
    const StoreStreamWriter m_writer;
    const bool m_inBackground;
    std::function<void(const QString &)> m_onResult;
    // Used by one thread at a time: the writer thread, or the caller when
    // not in the background.
    ConversationFileEncoder m_encoder;

    QMutex m_mutex;
    QWaitCondition m_wake; // a state is pending, or stop
    QWaitCondition m_idle; // nothing pending and nothing being written
    std::optional<State> m_pending;
    bool m_busy = false;
    bool m_stop = false;
    std::unique_ptr<QThread> m_thread; // started with the first submit
};

} // namespace model
