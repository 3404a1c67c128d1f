#pragma once

#include <QSortFilterProxyModel>
#include <QString>

namespace app {

class SessionListModel;

// One section of the sidebar over a SessionListModel: the active sessions
// (pinned first, then the latest updatedAt) or the archived ones (the
// latest updatedAt first; pins do not count). Ties keep the stored order.
// The search keeps the sessions whose title holds the trimmed text,
// ignoring case; messages are not searched.
class SessionFilterModel : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit SessionFilterModel(SessionListModel &sessions, bool archived, QObject *parent = nullptr);

    // The text as typed; blanks around it do not count.
    void setSearch(const QString &text);
    const QString &search() const { return m_search; }
    void setArchived(bool archived);
    bool archived() const { return m_archived; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    QString m_search; // trimmed
    bool m_archived = false;
};

} // namespace app
