#pragma once

#include "app/LiveActivity.h"
#include "model/ChatRecords.h"
#include "model/RunRecords.h"

#include <QAbstractListModel>
#include <QList>
#include <QUuid>

#include <optional>

namespace app {

// What the chat column lists: the selected session's messages, then one
// live row while that session's run is in flight, then one approval row
// while that run waits for an answer. Fed by the controller; a streaming
// fragment reaches it at most once per frame and is one dataChanged of
// the live row.
class MessageListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum class RowKind { Message, Live, Approval };
    Q_ENUM(RowKind)

    enum Role {
        KindRole = Qt::UserRole + 1, // RowKind
        MessageRole,                 // model::ChatMessage (message rows)
        IdRole,                      // QUuid: the message's, or liveRowID() / approvalRowID()
        LiveTextRole,                // QString (live row)
        LiveActivityRole,            // app::LiveActivity (live row)
        ApprovalRole,                // model::PendingApproval (approval row)
    };
    Q_ENUM(Role)

    explicit MessageListModel(QObject *parent = nullptr);

    static QUuid liveRowID();
    static QUuid approvalRowID();

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Another session (or none): every row is replaced.
    void showConversation(std::optional<QUuid> id, const QList<model::ChatMessage> &messages);
    // New messages of the session shown: an unchanged start is kept, rows
    // whose message changed get dataChanged, the rest is replaced.
    void updateMessages(const QList<model::ChatMessage> &messages);
    std::optional<QUuid> conversationID() const { return m_conversationID; }

    // The live row: shown or not, its text and activity.
    void setLive(bool shown, const QString &text, const LiveActivity &activity);
    void setApproval(const std::optional<model::PendingApproval> &approval);
    // -1 when the row is not there.
    int liveRow() const;
    int approvalRow() const;

private:
    std::optional<QUuid> m_conversationID;
    QList<model::ChatMessage> m_messages;
    bool m_liveShown = false;
    QString m_liveText;
    LiveActivity m_activity;
    std::optional<model::PendingApproval> m_approval;
};

} // namespace app
