#include "app/ToolLogModel.h"

#include <QHash>

namespace app {

ToolLogModel::ToolLogModel(QObject *parent) : QAbstractListModel(parent) {}

int ToolLogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant ToolLogModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const model::ToolLogEntry &entry = m_entries.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return entry.name;
    case EntryRole:
        return QVariant::fromValue(entry);
    case IdRole:
        return entry.id;
    default:
        return {};
    }
}

QHash<int, QByteArray> ToolLogModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(EntryRole, "entry");
    names.insert(IdRole, "id");
    return names;
}

void ToolLogModel::sync(const QList<model::ToolLogEntry> &log)
{
    // Ids of the rows that stay, in the new order.
    QHash<QUuid, qsizetype> incoming;
    for (qsizetype i = 0; i < log.size(); ++i)
        incoming.insert(log.at(i).id, i);

    // Rows gone from the log go first, bottom up.
    for (qsizetype row = m_entries.size() - 1; row >= 0; --row) {
        if (incoming.contains(m_entries.at(row).id))
            continue;
        beginRemoveRows({}, int(row), int(row));
        m_entries.removeAt(row);
        endRemoveRows();
    }

    // What stays must keep its order, with new entries only at the top.
    const qsizetype added = log.size() - m_entries.size();
    bool sameOrder = added >= 0;
    for (qsizetype i = 0; sameOrder && i < m_entries.size(); ++i)
        sameOrder = m_entries.at(i).id == log.at(added + i).id;
    if (!sameOrder) {
        beginResetModel();
        m_entries = log;
        endResetModel();
        return;
    }

    if (added > 0) {
        beginInsertRows({}, 0, int(added - 1));
        m_entries = log.mid(0, added) + m_entries;
        endInsertRows();
    }
    for (qsizetype i = added; i < log.size(); ++i) {
        if (m_entries.at(i) == log.at(i))
            continue;
        m_entries[i] = log.at(i);
        const QModelIndex at = index(int(i));
        emit dataChanged(at, at);
    }
}

} // namespace app
