#include "app/MessageListModel.h"

namespace app {

namespace {

bool sameApproval(const model::PendingApproval &a, const model::PendingApproval &b)
{
    return a.id == b.id && a.name == b.name && a.argumentsJSON == b.argumentsJSON && a.risk == b.risk &&
           a.preview == b.preview && a.summary == b.summary;
}

} // namespace

MessageListModel::MessageListModel(QObject *parent) : QAbstractListModel(parent) {}

// Fixed, so a view keeps its widget for the row across updates.
QUuid MessageListModel::liveRowID()
{
    return QUuid(0x5e3c1f0a, 0x7d2b, 0x4c8e, 0x9a, 0x61, 0x1f, 0x0c, 0x0d, 0xe1, 0x10, 0x01);
}

QUuid MessageListModel::approvalRowID()
{
    return QUuid(0x5e3c1f0a, 0x7d2b, 0x4c8e, 0x9a, 0x61, 0x1f, 0x0c, 0x0d, 0xe1, 0x10, 0x02);
}

int MessageListModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return int(m_messages.size()) + (m_liveShown ? 1 : 0) + (m_approval ? 1 : 0);
}

int MessageListModel::liveRow() const
{
    return m_liveShown ? int(m_messages.size()) : -1;
}

int MessageListModel::approvalRow() const
{
    return m_approval ? int(m_messages.size()) + (m_liveShown ? 1 : 0) : -1;
}

QVariant MessageListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int row = index.row();
    if (row < m_messages.size()) {
        const model::ChatMessage &m = m_messages.at(row);
        switch (role) {
        case KindRole:
            return QVariant::fromValue(RowKind::Message);
        case MessageRole:
            return QVariant::fromValue(m);
        case IdRole:
            return m.id;
        case Qt::DisplayRole:
            return m.content;
        default:
            return {};
        }
    }
    if (row == liveRow()) {
        switch (role) {
        case KindRole:
            return QVariant::fromValue(RowKind::Live);
        case IdRole:
            return liveRowID();
        case Qt::DisplayRole:
        case LiveTextRole:
            return m_liveText;
        case LiveActivityRole:
            return QVariant::fromValue(m_activity);
        default:
            return {};
        }
    }
    switch (role) {
    case KindRole:
        return QVariant::fromValue(RowKind::Approval);
    case IdRole:
        return approvalRowID();
    case Qt::DisplayRole:
        return m_approval->summary;
    case ApprovalRole:
        return QVariant::fromValue(*m_approval);
    default:
        return {};
    }
}

QHash<int, QByteArray> MessageListModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(KindRole, "kind");
    names.insert(MessageRole, "message");
    names.insert(IdRole, "id");
    names.insert(LiveTextRole, "liveText");
    names.insert(LiveActivityRole, "liveActivity");
    names.insert(ApprovalRole, "approval");
    return names;
}

void MessageListModel::showConversation(std::optional<QUuid> id, const QList<model::ChatMessage> &messages)
{
    if (id == m_conversationID) {
        updateMessages(messages);
        return;
    }
    beginResetModel();
    m_conversationID = id;
    m_messages = messages;
    endResetModel();
}

void MessageListModel::updateMessages(const QList<model::ChatMessage> &messages)
{
    const qsizetype oldCount = m_messages.size();
    const qsizetype newCount = messages.size();
    qsizetype kept = 0;
    while (kept < oldCount && kept < newCount && m_messages.at(kept).id == messages.at(kept).id)
        ++kept;

    // Same id, new content (a settled tool result, say): one row each.
    for (qsizetype i = 0; i < kept; ++i) {
        if (m_messages.at(i) == messages.at(i))
            continue;
        m_messages[i] = messages.at(i);
        const QModelIndex at = index(int(i));
        emit dataChanged(at, at);
    }
    if (kept < oldCount) {
        beginRemoveRows({}, int(kept), int(oldCount - 1));
        m_messages.remove(kept, oldCount - kept);
        endRemoveRows();
    }
    if (kept < newCount) {
        beginInsertRows({}, int(kept), int(newCount - 1));
        m_messages.append(messages.mid(kept));
        endInsertRows();
    }
}

void MessageListModel::setLive(bool shown, const QString &text, const LiveActivity &activity)
{
    if (shown != m_liveShown) {
        const int row = int(m_messages.size());
        if (shown) {
            beginInsertRows({}, row, row);
            m_liveShown = true;
            m_liveText = text;
            m_activity = activity;
            endInsertRows();
        } else {
            beginRemoveRows({}, row, row);
            m_liveShown = false;
            m_liveText.clear();
            m_activity = {};
            endRemoveRows();
        }
        return;
    }
    if (!shown || (text == m_liveText && activity == m_activity))
        return;
    QList<int> roles;
    if (text != m_liveText)
        roles << LiveTextRole << Qt::DisplayRole;
    if (activity != m_activity)
        roles << LiveActivityRole;
    m_liveText = text;
    m_activity = activity;
    const QModelIndex at = index(liveRow());
    emit dataChanged(at, at, roles);
}

void MessageListModel::setApproval(const std::optional<model::PendingApproval> &approval)
{
    if (approval.has_value() != m_approval.has_value()) {
        const int row = int(m_messages.size()) + (m_liveShown ? 1 : 0);
        if (approval) {
            beginInsertRows({}, row, row);
            m_approval = approval;
            endInsertRows();
        } else {
            beginRemoveRows({}, row, row);
            m_approval.reset();
            endRemoveRows();
        }
        return;
    }
    if (!approval || sameApproval(*approval, *m_approval))
        return;
    m_approval = approval;
    const QModelIndex at = index(approvalRow());
    emit dataChanged(at, at);
}

} // namespace app
