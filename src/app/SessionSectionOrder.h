#pragma once

#include <QSortFilterProxyModel>

namespace app {

class SessionListModel;

// The sessions of one sidebar section in the section's order, kept sorted
// as rows change. SessionFilterModel searches over it.
class SessionSectionOrder : public QSortFilterProxyModel {
    Q_OBJECT

public:
    SessionSectionOrder(SessionListModel &sessions, bool archived, QObject *parent = nullptr);

    void setArchived(bool archived);
    bool archived() const { return m_archived; }
    // The list row behind a row of this model.
    int listRow(int row) const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    SessionListModel &m_sessions;
    bool m_archived = false;
};

} // namespace app
