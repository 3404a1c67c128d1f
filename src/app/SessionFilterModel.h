#pragma once

#include <QSortFilterProxyModel>
#include <QString>

namespace app {

class SessionListModel;
class SessionSectionOrder;

// One section of the sidebar over a SessionListModel: the active sessions
// (pinned first, then the latest updatedAt) or the archived ones (the
// latest updatedAt first; pins do not count). Ties keep the stored order.
// The search keeps the sessions whose title holds the trimmed text,
// ignoring case; messages are not searched.
// The section is sorted once, by an inner proxy that re-sorts only as the
// data changes; this one only filters it, so a keystroke in the search
// compares no rows (thousands of sessions come back without a sort).
class SessionFilterModel : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit SessionFilterModel(SessionListModel &sessions, bool archived, QObject *parent = nullptr);

    // The text as typed; blanks around it do not count.
    void setSearch(const QString &text);
    const QString &search() const { return m_search; }
    void setArchived(bool archived);
    bool archived() const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    SessionListModel &m_sessions;
    SessionSectionOrder *m_order; // the section, sorted (a child)
    QString m_search;             // trimmed
};

} // namespace app
