#include "app/SessionSectionOrder.h"

#include "app/SessionListModel.h"

namespace app {

SessionSectionOrder::SessionSectionOrder(SessionListModel &sessions, bool archived, QObject *parent)
    : QSortFilterProxyModel(parent), m_sessions(sessions), m_archived(archived)
{
    // Re-sorted and re-filtered as rows change: a rename, pin or new
    // message moves the session to its place.
    setDynamicSortFilter(true);
    setSourceModel(&sessions);
    sort(0, Qt::AscendingOrder);
}

void SessionSectionOrder::setArchived(bool archived)
{
    if (archived == m_archived)
        return;
    m_archived = archived;
    invalidate();
}

int SessionSectionOrder::listRow(int row) const
{
    return mapToSource(index(row, 0)).row();
}

// Rows are read from the list directly, not through QVariants: a sort
// compares thousands of pairs.
bool SessionSectionOrder::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    return !sourceParent.isValid() && m_sessions.summaryAt(sourceRow).isArchived == m_archived;
}

bool SessionSectionOrder::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const model::Conversation &l = m_sessions.summaryAt(left.row());
    const model::Conversation &r = m_sessions.summaryAt(right.row());
    if (!m_archived && l.isPinned != r.isPinned)
        return l.isPinned;
    if (l.updatedAt != r.updatedAt)
        return l.updatedAt > r.updatedAt;
    // Stored order decides ties, whatever order the sort visits rows in.
    return left.row() < right.row();
}

} // namespace app
