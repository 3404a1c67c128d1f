#pragma once

#include "platform/AtomicFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>

namespace model {

// What a store found when it read its file at start-up. "No file" is a first
// start; the other failures keep the file from being overwritten.
enum class StoreFileState {
    NoFile,     // nothing at the path: a first start
    Loaded,     // read and decoded
    Unreadable, // present, but reading it failed
    Undecodable // read, but not a valid file of this store
};

struct FileRead {
    StoreFileState state = StoreFileState::NoFile;
    QByteArray bytes; // when the read succeeded
};

// Reads the whole file; tells a missing file from one that cannot be read.
// A large file is read in blocks, and progress is told after each block
// the bytes array (already of the file's size, and not moved after) and how
// much of it is read.
FileRead readStoreFile(const QString &path,
                       const std::function<void(const QByteArray &bytes, qsizetype done)> &progress = {});

// Writes a store's whole file; an empty result is success, else what failed.
// Stores take one so tests can count and fail writes.
using StoreFileWriter = std::function<QString(const QString &path, const QByteArray &bytes)>;
// Atomic, 0600, synced: the default for every store.
StoreFileWriter defaultStoreFileWriter();
// The same for a file made while it is written: the conversation history,
// which is never held whole in memory.
using StoreStreamWriter = std::function<QString(const QString &path, const platform::ByteSource &source)>;
StoreStreamWriter defaultStoreStreamWriter();

// Tells the first failure of a run of failed saves from the rest, so a store
// reports a full disk once, not at every change.
class SaveFailureRun {
public:
    // The result of one save (empty: success); true when it starts a run.
    bool note(const QString &failure)
    {
        const bool starts = !failure.isEmpty() && !m_failing;
        m_failing = !failure.isEmpty();
        m_failure = failure;
        return starts;
    }
    // Why the newest save failed; empty when it succeeded or none ran.
    const QString &failure() const { return m_failure; }

private:
    bool m_failing = false;
    QString m_failure;
};

using Clock = std::function<QDateTime()>;
Clock systemClock();

// Guards a file that the store could not use: before the store's first write
// it is renamed to "<name>.unreadable-<UTC yyyyMMddTHHmmssZ>" beside itself.
// When that fails the store must not write the file at all.
class FileSetAside {
public:
    // Called after loading: whether the file found must be kept.
    void arm(bool keepExisting) { m_armed = keepExisting; }
    // Before each write: true when writing may go ahead (moving the old file
    // aside first if needed). Once moving has failed, stays false.
    bool prepareWrite(const QString &path, const QDateTime &now);
    bool writesBlocked() const { return m_blocked; }
    // Why writes are blocked, for the user.
    QString blockReason() const { return m_blockReason; }
    // Where the old file went, once moved.
    QString setAsidePath() const { return m_setAsidePath; }

private:
    bool m_armed = false;
    bool m_blocked = false;
    QString m_blockReason;
    QString m_setAsidePath;
};

} // namespace model
