#include "panels/SessionSections.h"

#include "app/SessionFilterModel.h"
#include "app/SessionListModel.h"

namespace panels {

SessionSectionsModel::SessionSectionsModel(app::SessionFilterModel &active, app::SessionFilterModel &archived,
                                           QObject *parent)
    : QAbstractListModel(parent), m_active(active), m_archived(archived)
{
    watch(active, false);
    watch(archived, true);
}

void SessionSectionsModel::watch(app::SessionFilterModel &source, bool archived)
{
    using M = QAbstractItemModel;
    // The two sources announce the same store change one after the other,
    // and a source's layout change wraps the other's: a depth count keeps
    // that one reset.
    for (auto about : {&M::rowsAboutToBeInserted, &M::rowsAboutToBeRemoved})
        connect(&source, about, this, [this] { beginChange(); });
    for (auto done : {&M::rowsInserted, &M::rowsRemoved})
        connect(&source, done, this, [this] { endChange(); });
    connect(&source, &M::rowsAboutToBeMoved, this, [this] { beginChange(); });
    connect(&source, &M::rowsMoved, this, [this] { endChange(); });
    connect(&source, &M::layoutAboutToBeChanged, this, [this] { beginChange(); });
    connect(&source, &M::layoutChanged, this, [this] { endChange(); });
    connect(&source, &M::modelAboutToBeReset, this, [this] { beginChange(); });
    connect(&source, &M::modelReset, this, [this] { endChange(); });
    connect(&source, &M::dataChanged, this,
            [this, archived](const QModelIndex &tl, const QModelIndex &br, const QList<int> &roles) {
                onSourceDataChanged(archived, tl, br, roles);
            });
}

void SessionSectionsModel::beginChange()
{
    if (m_changing++ == 0)
        beginResetModel();
}

void SessionSectionsModel::endChange()
{
    if (m_changing > 0 && --m_changing == 0)
        endResetModel();
}

void SessionSectionsModel::onSourceDataChanged(bool archived, const QModelIndex &topLeft,
                                               const QModelIndex &bottomRight, const QList<int> &roles)
{
    if (m_changing > 0 || !topLeft.isValid() || !bottomRight.isValid())
        return;
    int first = 0;
    if (archived) {
        if (!m_expanded)
            return;
        first = archivedFirstRow();
    } else {
        first = 1;
    }
    emit dataChanged(index(first + topLeft.row()), index(first + bottomRight.row()), roles);
}

QString SessionSectionsModel::emptyText(const QString &searchAsTyped)
{
    // Blanks count here: a search of spaces that lists nothing says "No matches".
    return searchAsTyped.isEmpty() ? QStringLiteral("No sessions yet") : QStringLiteral("No matches");
}

void SessionSectionsModel::setSearchText(const QString &text)
{
    if (text == m_search)
        return;
    const bool wasEmpty = m_search.isEmpty();
    m_search = text;
    if (wasEmpty != m_search.isEmpty() && m_active.rowCount() == 0 && m_changing == 0) {
        const QModelIndex line = index(1);
        emit dataChanged(line, line, {Qt::DisplayRole});
    }
}

void SessionSectionsModel::setHistoryLoading(bool loading)
{
    if (loading == m_loading)
        return;
    m_loading = loading;
    if (m_active.rowCount() == 0 && m_changing == 0) {
        const QModelIndex line = index(1);
        emit dataChanged(line, line, {Qt::DisplayRole});
    }
}

void SessionSectionsModel::setArchivedExpanded(bool expanded)
{
    if (expanded == m_expanded)
        return;
    const int toggle = hasArchivedGroup() ? archivedFirstRow() - 1 : -1;
    const int count = m_archived.rowCount();
    if (toggle >= 0 && count > 0 && m_changing == 0) {
        if (expanded)
            beginInsertRows({}, toggle + 1, toggle + count);
        else
            beginRemoveRows({}, toggle + 1, toggle + count);
        m_expanded = expanded;
        if (expanded)
            endInsertRows();
        else
            endRemoveRows();
    } else {
        m_expanded = expanded;
    }
    if (toggle >= 0 && m_changing == 0) {
        const QModelIndex at = index(toggle);
        emit dataChanged(at, at, {ExpandedRole});
    }
}

int SessionSectionsModel::activeRows() const
{
    return std::max(1, m_active.rowCount());
}

bool SessionSectionsModel::hasArchivedGroup() const
{
    return m_archived.rowCount() > 0;
}

int SessionSectionsModel::archivedFirstRow() const
{
    return 1 + activeRows() + 1;
}

int SessionSectionsModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    int rows = 1 + activeRows();
    if (hasArchivedGroup())
        rows += 1 + (m_expanded ? m_archived.rowCount() : 0);
    return rows;
}

SessionSectionsModel::RowKind SessionSectionsModel::kindAt(int row) const
{
    if (row == 0)
        return RowKind::sectionHeader;
    if (row <= activeRows())
        return m_active.rowCount() == 0 ? RowKind::emptyText : RowKind::session;
    if (row == activeRows() + 1)
        return RowKind::archivedToggle;
    return RowKind::session;
}

QModelIndex SessionSectionsModel::sourceIndex(int row) const
{
    if (row < 0 || row >= rowCount() || kindAt(row) != RowKind::session)
        return {};
    if (row <= activeRows())
        return m_active.index(row - 1, 0);
    return m_archived.index(row - archivedFirstRow(), 0);
}

int SessionSectionsModel::rowOfSession(const QVariant &id) const
{
    for (int row = 1; row <= m_active.rowCount(); ++row)
        if (m_active.index(row - 1, 0).data(app::SessionListModel::IdRole) == id)
            return row;
    if (hasArchivedGroup() && m_expanded) {
        const int first = archivedFirstRow();
        for (int i = 0; i < m_archived.rowCount(); ++i)
            if (m_archived.index(i, 0).data(app::SessionListModel::IdRole) == id)
                return first + i;
    }
    return -1;
}

Qt::ItemFlags SessionSectionsModel::flags(const QModelIndex &index) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return Qt::NoItemFlags;
    switch (kindAt(index.row())) {
    case RowKind::session:
        // Selectable so the open one can be marked selected for screen
        // readers; the list itself lets no click select.
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    case RowKind::archivedToggle:
        return Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    default:
        return Qt::ItemNeverHasChildren;
    }
}

QVariant SessionSectionsModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int row = index.row();
    const RowKind kind = kindAt(row);
    if (role == KindRole)
        return QVariant::fromValue(kind);
    switch (kind) {
    case RowKind::sectionHeader:
        return role == Qt::DisplayRole ? QVariant(QStringLiteral("Sessions")) : QVariant();
    case RowKind::emptyText:
        if (role != Qt::DisplayRole)
            return {};
        return m_loading ? loadingText() : emptyText(m_search);
    case RowKind::archivedToggle:
        if (role == Qt::DisplayRole)
            return QStringLiteral("Archived");
        return role == ExpandedRole ? QVariant(m_expanded) : QVariant();
    case RowKind::session:
        if (role == InArchiveRole)
            return row > activeRows();
        return sourceIndex(row).data(role);
    }
    return {};
}

} // namespace panels
