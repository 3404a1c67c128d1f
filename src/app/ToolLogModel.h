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
    const QList<model::ToolLogEntry> &entries() const { return m_entries; }

private:
    QList<model::ToolLogEntry> m_entries;
};

} // namespace app
