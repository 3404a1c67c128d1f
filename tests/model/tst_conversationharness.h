#pragma once

// Shared by the conversation store tests: a store in a temporary folder with
// a clock that moves one second per reading and a writer that counts,
// writing synchronously.

#include "model/ChatRecordsJson.h"
#include "model/ConversationStore.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QTemporaryDir>

#include <memory>

namespace testing {

inline const QDateTime kStart(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC);

struct ConversationHarness {
    QTemporaryDir dir;
    int writes = 0;
    QDateTime now = kStart;
    // Counts stay exact only when false: the writer thread merges queued states.
    bool background = false;

    QString path() const { return dir.filePath(QStringLiteral("support/conversations.json")); }

    model::ConversationStore::Options options()
    {
        return {path(),
                [this](const QString &p, const platform::ByteSource &b) {
                    ++writes;
                    return platform::writeFileAtomically(p, b);
                },
                [this] {
                    now = now.addSecs(1);
                    return now;
                },
                // By default each change is on disk before it returns, so writes
                // can be counted and the file read at once.
                background};
    }

    std::unique_ptr<model::ConversationStore> open() { return std::make_unique<model::ConversationStore>(options()); }

    void put(const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path()).absolutePath());
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    QByteArray read() const
    {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QJsonObject envelope() const { return QJsonDocument::fromJson(read()).object(); }
};

inline model::Conversation conversation(const QString &title, int updatedOffsetSecs, bool pinned = false,
                                        bool archived = false)
{
    model::Conversation c;
    c.id = QUuid::createUuid();
    c.title = title;
    c.createdAt = kStart.addSecs(-100000);
    c.updatedAt = kStart.addSecs(updatedOffsetSecs - 50000);
    c.isPinned = pinned;
    c.isArchived = archived;
    return c;
}

inline model::ChatMessage message(model::MessageRole role, const QString &content)
{
    model::ChatMessage m = model::ChatMessage::make(role, content);
    m.createdAt = kStart.addSecs(-1000);
    return m;
}

// The envelope as the store writes it, for files a test puts in place.
inline QByteArray envelopeOf(const QList<model::Conversation> &list, std::optional<QUuid> selected)
{
    return model::ConversationFileEncoder().encode(list, selected);
}

inline QStringList titles(const QList<model::Conversation> &list)
{
    QStringList out;
    for (const auto &c : list)
        out.append(c.title);
    return out;
}

} // namespace testing
