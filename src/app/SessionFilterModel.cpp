#include "app/SessionFilterModel.h"

#include "app/SessionListModel.h"

namespace app {

SessionFilterModel::SessionFilterModel(SessionListModel &sessions, bool archived, QObject *parent)
    : QSortFilterProxyModel(parent), m_archived(archived)
{
    // Re-sorted and re-filtered as rows change: a rename, pin or new
    // message moves the session to its place.
    setDynamicSortFilter(true);
    setSourceModel(&sessions);
    sort(0, Qt::AscendingOrder);
}

void SessionFilterModel::setSearch(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed == m_search)
        return;
    m_search = trimmed;
    invalidateFilter();
}

void SessionFilterModel::setArchived(bool archived)
{
    if (archived == m_archived)
        return;
    m_archived = archived;
    invalidate();
}

bool SessionFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const QModelIndex at = sourceModel()->index(sourceRow, 0, sourceParent);
    if (at.data(SessionListModel::IsArchivedRole).toBool() != m_archived)
        return false;
    return m_search.isEmpty() ||
           at.data(SessionListModel::TitleRole).toString().contains(m_search, Qt::CaseInsensitive);
}

bool SessionFilterModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    if (!m_archived) {
        const bool leftPinned = left.data(SessionListModel::IsPinnedRole).toBool();
        const bool rightPinned = right.data(SessionListModel::IsPinnedRole).toBool();
        if (leftPinned != rightPinned)
            return leftPinned;
    }
    const QDateTime leftDate = left.data(SessionListModel::UpdatedAtRole).toDateTime();
    const QDateTime rightDate = right.data(SessionListModel::UpdatedAtRole).toDateTime();
    if (leftDate != rightDate)
        return leftDate > rightDate;
    // Stored order decides ties, whatever order the sort visits rows in.
    return left.row() < right.row();
}

} // namespace app
