#include "app/SessionFilterModel.h"

#include "app/SessionListModel.h"
#include "app/SessionSectionOrder.h"

namespace app {

SessionFilterModel::SessionFilterModel(SessionListModel &sessions, bool archived, QObject *parent)
    : QSortFilterProxyModel(parent)
    , m_sessions(sessions)
    , m_order(new SessionSectionOrder(sessions, archived, this))
{
    // Not sorted here: rows keep the section's order. A rename still
    // re-runs the search on that row.
    setDynamicSortFilter(true);
    setSourceModel(m_order);
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
    m_order->setArchived(archived);
}

bool SessionFilterModel::archived() const
{
    return m_order->archived();
}

bool SessionFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (sourceParent.isValid())
        return false;
    return m_search.isEmpty()
           || m_sessions.summaryAt(m_order->listRow(sourceRow)).title.contains(m_search, Qt::CaseInsensitive);
}

} // namespace app
