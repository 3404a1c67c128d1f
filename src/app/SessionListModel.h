#pragma once

#include "model/ChatRecords.h"

#include <QAbstractListModel>
#include <QList>
#include <QUuid>

#include <optional>

namespace model {
class ConversationStore;
}

namespace app {

// One row per conversation, active and archived, in the store's stored
// order; SessionFilterModel sorts and splits them into the sidebar's
// sections. Follows the store's one-by-one notices, so an append, rename
// or deletion touches one row and never resets the list.
class SessionListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        IdRole = Qt::UserRole + 1, // QUuid
        TitleRole,                 // QString, also Qt::DisplayRole
        IsPinnedRole,              // bool
        IsArchivedRole,            // bool
        IsUnreadRole,              // bool
        UpdatedAtRole,             // QDateTime
        IsSelectedRole,            // bool
        ConversationRole,          // model::Conversation without its messages
    };
    Q_ENUM(Role)

    explicit SessionListModel(model::ConversationStore &store, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The row holding that conversation, or -1.
    int rowOf(const QUuid &id) const;
    // The conversation of a row, without its messages.
    const model::Conversation &summaryAt(int row) const { return m_rows.at(row); }

private:
    static model::Conversation summaryOf(const model::Conversation &c);
    void reload();
    void onAdded(const QUuid &id);
    void onChanged(const QUuid &id);
    void onRemoved(const QUuid &id);
    void onSelectionChanged();

    model::ConversationStore &m_store;
    QList<model::Conversation> m_rows; // summaries, messages left out
    std::optional<QUuid> m_selected;
};

} // namespace app
