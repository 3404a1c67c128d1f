#include "app/SessionListModel.h"

#include "model/ConversationStore.h"

namespace app {

SessionListModel::SessionListModel(model::ConversationStore &store, QObject *parent)
    : QAbstractListModel(parent), m_store(store)
{
    using Store = model::ConversationStore;
    connect(&store, &Store::conversationAdded, this, &SessionListModel::onAdded);
    connect(&store, &Store::conversationChanged, this, &SessionListModel::onChanged);
    connect(&store, &Store::messageAppended, this, [this](const QUuid &conversationID, const QUuid &) {
        onChanged(conversationID);
    });
    connect(&store, &Store::conversationRemoved, this, &SessionListModel::onRemoved);
    connect(&store, &Store::conversationsReplaced, this, &SessionListModel::reload);
    connect(&store, &Store::selectedConversationIDChanged, this, &SessionListModel::onSelectionChanged);
    m_selected = store.selectedConversationID();
    for (const model::Conversation &c : store.conversations())
        m_rows.append(summaryOf(c));
}

model::Conversation SessionListModel::summaryOf(const model::Conversation &c)
{
    model::Conversation summary = c;
    // Rows keep no history: a long session would be held twice.
    summary.messages.clear();
    return summary;
}

int SessionListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant SessionListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const model::Conversation &c = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case TitleRole:
        return c.title;
    case IdRole:
        return c.id;
    case IsPinnedRole:
        return c.isPinned;
    case IsArchivedRole:
        return c.isArchived;
    case IsUnreadRole:
        return c.isUnread;
    case UpdatedAtRole:
        return c.updatedAt;
    case IsSelectedRole:
        return m_selected == c.id;
    case ConversationRole:
        return QVariant::fromValue(c);
    default:
        return {};
    }
}

QHash<int, QByteArray> SessionListModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(IdRole, "id");
    names.insert(TitleRole, "title");
    names.insert(IsPinnedRole, "isPinned");
    names.insert(IsArchivedRole, "isArchived");
    names.insert(IsUnreadRole, "isUnread");
    names.insert(UpdatedAtRole, "updatedAt");
    names.insert(IsSelectedRole, "isSelected");
    names.insert(ConversationRole, "conversation");
    return names;
}

int SessionListModel::rowOf(const QUuid &id) const
{
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).id == id)
            return int(i);
    }
    return -1;
}

void SessionListModel::reload()
{
    beginResetModel();
    m_rows.clear();
    for (const model::Conversation &c : m_store.conversations())
        m_rows.append(summaryOf(c));
    m_selected = m_store.selectedConversationID();
    endResetModel();
}

// The handlers read the store's current state rather than trusting the
// notice's order: a listener that changes the store from inside a notice
// makes notices arrive nested.

void SessionListModel::onAdded(const QUuid &id)
{
    if (rowOf(id) >= 0) {
        onChanged(id);
        return;
    }
    const QList<model::Conversation> &all = m_store.conversations();
    qsizetype at = -1;
    for (qsizetype i = 0; i < all.size() && at < 0; ++i) {
        if (all.at(i).id == id)
            at = i;
    }
    if (at < 0)
        return;
    // Same place as in the store, so equal dates keep the stored order.
    const int row = int(std::min(at, m_rows.size()));
    beginInsertRows({}, row, row);
    m_rows.insert(row, summaryOf(all.at(at)));
    endInsertRows();
}

void SessionListModel::onChanged(const QUuid &id)
{
    const int row = rowOf(id);
    const std::optional<model::Conversation> now = m_store.conversation(id);
    if (row < 0) {
        if (now)
            onAdded(id);
        return;
    }
    if (!now) {
        onRemoved(id);
        return;
    }
    model::Conversation summary = summaryOf(*now);
    if (summary == m_rows.at(row))
        return;
    m_rows[row] = std::move(summary);
    const QModelIndex at = index(row);
    emit dataChanged(at, at);
}

void SessionListModel::onRemoved(const QUuid &id)
{
    // The store removes every conversation with that id.
    for (int row = rowOf(id); row >= 0; row = rowOf(id)) {
        beginRemoveRows({}, row, row);
        m_rows.removeAt(row);
        endRemoveRows();
    }
}

void SessionListModel::onSelectionChanged()
{
    const std::optional<QUuid> old = std::exchange(m_selected, m_store.selectedConversationID());
    if (old == m_selected)
        return;
    for (const std::optional<QUuid> &id : {old, m_selected}) {
        if (!id)
            continue;
        if (const int row = rowOf(*id); row >= 0) {
            const QModelIndex at = index(row);
            emit dataChanged(at, at, {IsSelectedRole});
        }
    }
}

} // namespace app
