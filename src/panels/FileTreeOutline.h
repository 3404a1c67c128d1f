#pragma once

#include <QTreeView>

#include <functional>

namespace panels {

// The project outline with the keyboard: one Tab stop; the arrow keys,
// Home, End and the page keys move among the rows, Left and Right close and
// open folders; Return or Space peeks at a file or opens and closes a
// folder; the menu key or Shift+F10 asks for the row's menu. The current
// row is ringed while the outline holds the keyboard and is current only
// then, so a reader hears no focused row once the keyboard has left; the
// keyboard comes back to the row it left.
class FileTreeOutline : public QTreeView {
    Q_OBJECT
public:
    explicit FileTreeOutline(QWidget *parent = nullptr);

    // The outline of a FileTreeModel; rows are known by their paths, which
    // outlive a reload.
    void setModel(QAbstractItemModel *model) override;

    // Where the keyboard lands when it has no row to come back to (the
    // peeked file's row); the first row otherwise.
    void setEntryRow(std::function<QModelIndex()> entry) { m_entry = std::move(entry); }

signals:
    void rowChosen(const QModelIndex &index);
    void menuRequested(const QModelIndex &index, const QPoint &globalPos);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    void choose();
    void requestMenu();
    QModelIndex rowOf(const QString &path) const;
    void keepCurrent();
    void restoreCurrent();

    std::function<QModelIndex()> m_entry;
    QString m_kept; // the keyboard's row, across a reload or while away
};

} // namespace panels
