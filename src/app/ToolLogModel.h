#pragma once

#include "model/RunRecords.h"

#include <QAbstractListModel>
#include <QList>

namespace app {

// The tool activity log, newest first, one row per tool call. A new status
// of a call already listed is a dataChanged of its row; a new call is one
// inserted row.
class ToolLogModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        EntryRole = Qt::UserRole + 1, // model::ToolLogEntry
        IdRole,                       // QUuid
    };
    Q_ENUM(Role)

    explicit ToolLogModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Brings the rows to the controller's log with the fewest changes:
    // entries new at the top are inserted, replaced ones changed in place,
    // gone ones removed; a log in another order is reset.
    void sync(const QList<model::ToolLogEntry> &log);
    // The rows, newest first.
    QList<model::ToolLogEntry> entries() const;

    // Equal in every field, as operator== but cheaper on shared text.
    static bool sameEntry(const model::ToolLogEntry &a, const model::ToolLogEntry &b);

private:
    const model::ToolLogEntry &at(qsizetype row) const;
    bool syncInOrder(const QList<model::ToolLogEntry> &log);
    void syncAny(const QList<model::ToolLogEntry> &log);
    void replaceAll(const QList<model::ToolLogEntry> &log);

    // Oldest first, so a new call is an append: row r is the r-th from the end.
    QList<model::ToolLogEntry> m_oldestFirst;
};

} // namespace app
