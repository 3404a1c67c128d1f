#pragma once

#include <QAbstractListModel>
#include <QString>

namespace app {
class SessionFilterModel;
}

namespace panels {

// The sidebar's list as one flat column over the two section models: the
// "Sessions" header, the active sessions (or a line saying why there are
// none), then, while any archived session matches, the "Archived" toggle
// and, when expanded, the archived sessions. Session rows answer every role
// of the session models; a change of one session is a change of its row,
// and anything that moves rows (search, sort, add, remove) resets the list.
// Until the stored history is read, the line reads that it is loading.
class SessionSectionsModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum class RowKind { sectionHeader, emptyText, archivedToggle, session };
    Q_ENUM(RowKind)
    enum Role {
        KindRole = Qt::UserRole + 100, // RowKind
        InArchiveRole,                 // bool: a session row of the archived group
        ExpandedRole,                  // bool: the toggle's state
    };

    SessionSectionsModel(app::SessionFilterModel &active, app::SessionFilterModel &archived, QObject *parent = nullptr);

    // The search text as typed: it decides which empty line shows.
    void setSearchText(const QString &text);
    // While the stored history is still read, an empty list says so rather
    // than that there are no sessions.
    void setHistoryLoading(bool loading);
    void setArchivedExpanded(bool expanded);
    bool archivedExpanded() const { return m_expanded; }

    static QString emptyText(const QString &searchAsTyped);
    static QString loadingText() { return QStringLiteral("Loading sessions…"); }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    RowKind kindAt(int row) const;
    // The session models' index behind a session row; invalid for the others.
    QModelIndex sourceIndex(int row) const;
    // The row of a session, or -1 when it is not listed.
    int rowOfSession(const QVariant &id) const;

private:
    void watch(app::SessionFilterModel &source, bool archived);
    void beginChange();
    void endChange();
    void onSourceDataChanged(bool archived, const QModelIndex &topLeft, const QModelIndex &bottomRight,
                             const QList<int> &roles);
    int activeRows() const;
    int archivedFirstRow() const; // the first archived session row
    bool hasArchivedGroup() const;

    app::SessionFilterModel &m_active;
    app::SessionFilterModel &m_archived;
    QString m_search;
    bool m_loading = false;
    bool m_expanded = false;
    int m_changing = 0; // nested announcements of the two sources
};

} // namespace panels
