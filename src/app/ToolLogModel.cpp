#include "app/ToolLogModel.h"

#include <QHash>

namespace app {

namespace {
bool sameText(const QString &a, const QString &b)
{
    return a.size() == b.size() && (a.constData() == b.constData() || a == b);
}
} // namespace

bool ToolLogModel::sameEntry(const model::ToolLogEntry &a, const model::ToolLogEntry &b)
{
    // Every field of the entry; the status, the one that usually changes,
    // first, and text shared between both lists is not compared character
    // by character.
    return a.id == b.id && a.status == b.status && sameText(a.name, b.name)
        && sameText(a.argumentsPreview, b.argumentsPreview) && sameText(a.resultPreview, b.resultPreview)
        && a.timestamp == b.timestamp;
}

ToolLogModel::ToolLogModel(QObject *parent) : QAbstractListModel(parent) {}

int ToolLogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_oldestFirst.size());
}

const model::ToolLogEntry &ToolLogModel::at(qsizetype row) const
{
    return m_oldestFirst.at(m_oldestFirst.size() - 1 - row);
}

QList<model::ToolLogEntry> ToolLogModel::entries() const
{
    return {m_oldestFirst.crbegin(), m_oldestFirst.crend()};
}

QVariant ToolLogModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const model::ToolLogEntry &entry = at(index.row());
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
    if (!syncInOrder(log))
        syncAny(log);
}

void ToolLogModel::replaceAll(const QList<model::ToolLogEntry> &log)
{
    // Room to grow: new calls are appended at the end, and a full list
    // would be moved as a whole by the next one.
    m_oldestFirst.clear();
    m_oldestFirst.reserve(log.size() + log.size() / 2 + 16);
    for (auto it = log.crbegin(); it != log.crend(); ++it)
        m_oldestFirst.append(*it);
}

bool ToolLogModel::syncInOrder(const QList<model::ToolLogEntry> &log)
{
    // The usual change: a status replaced in place and perhaps new calls on
    // top. One pass over the rows, no hashing; rows are replaced in place and
    // new ones appended to the stored (oldest first) order, so the others are
    // neither copied, moved nor freed.
    const qsizetype rows = m_oldestFirst.size();
    const qsizetype added = log.size() - rows;
    if (added < 0)
        return false;
    QList<int> changed;
    for (qsizetype row = 0; row < rows; ++row) {
        const model::ToolLogEntry &was = at(row);
        const model::ToolLogEntry &now = log.at(added + row);
        if (was.id != now.id)
            return false;
        if (!sameEntry(was, now))
            changed.append(int(added + row));
    }
    if (added > 0) {
        beginInsertRows({}, 0, int(added - 1));
        if (rows == 0) {
            replaceAll(log);
        } else {
            for (qsizetype i = added - 1; i >= 0; --i)
                m_oldestFirst.append(log.at(i));
        }
        endInsertRows();
    }
    for (const int row : std::as_const(changed)) {
        m_oldestFirst[m_oldestFirst.size() - 1 - row] = log.at(row);
        const QModelIndex at = index(row);
        emit dataChanged(at, at);
    }
    return true;
}

void ToolLogModel::syncAny(const QList<model::ToolLogEntry> &log)
{
    // Ids of the rows that stay, in the new order.
    QHash<QUuid, qsizetype> incoming;
    for (qsizetype i = 0; i < log.size(); ++i)
        incoming.insert(log.at(i).id, i);

    // Rows gone from the log go first, bottom up.
    for (qsizetype row = m_oldestFirst.size() - 1; row >= 0; --row) {
        if (incoming.contains(at(row).id))
            continue;
        beginRemoveRows({}, int(row), int(row));
        m_oldestFirst.removeAt(m_oldestFirst.size() - 1 - row);
        endRemoveRows();
    }
    if (!syncInOrder(log)) {
        // What stays is in another order.
        beginResetModel();
        replaceAll(log);
        endResetModel();
    }
}

} // namespace app
