#include "panels/FileTreeOutline.h"

#include "glass/controls/FocusRing.h"
#include "panels/FileTreeModel.h"
#include "panels/RowKeys.h"

#include <QItemSelectionModel>
#include <QKeyEvent>

namespace panels {

FileTreeOutline::FileTreeOutline(QWidget *parent) : QTreeView(parent)
{
    // Tab reaches it once; a click peeks without taking the keyboard.
    setFocusPolicy(Qt::TabFocus);
    setTabKeyNavigation(false);
    // The ring goes round the current row, drawn by the rows.
    glass::FocusRing::setOwnIndicator(this);
}

void FileTreeOutline::setModel(QAbstractItemModel *model)
{
    QTreeView::setModel(model);
    if (!model)
        return;
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, &FileTreeOutline::keepCurrent);
    // Restored once the view has re-opened its folders.
    if (auto *tree = qobject_cast<FileTreeModel *>(model))
        connect(tree, &FileTreeModel::reloaded, this, &FileTreeOutline::restoreCurrent, Qt::QueuedConnection);
}

QModelIndex FileTreeOutline::rowOf(const QString &path) const
{
    auto *tree = qobject_cast<FileTreeModel *>(model());
    return tree && !path.isEmpty() ? tree->indexForPath(path) : QModelIndex();
}

void FileTreeOutline::keepCurrent()
{
    if (currentIndex().isValid())
        m_kept = currentIndex().data(FileTreeModel::PathRole).toString();
}

void FileTreeOutline::restoreCurrent()
{
    // Only for the keyboard, and only while no row is current: a key may
    // have placed it since the reload.
    if (!hasFocus() || currentIndex().isValid())
        return;
    QModelIndex to = rowOf(m_kept);
    if (!to.isValid() && model())
        to = model()->index(0, 0);
    if (to.isValid())
        selectionModel()->setCurrentIndex(to, QItemSelectionModel::NoUpdate);
    viewport()->update();
}

void FileTreeOutline::keyPressEvent(QKeyEvent *event)
{
    // A key that comes while a reload has just dropped the row: from that row.
    if (!currentIndex().isValid())
        restoreCurrent();
    if (RowKeys::chooses(event)) {
        choose();
        event->accept();
        return;
    }
    if (RowKeys::opensMenu(event)) {
        requestMenu();
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

bool FileTreeOutline::event(QEvent *event)
{
    if (RowKeys::asksMenu(event)) {
        requestMenu();
        event->accept();
        return true;
    }
    return QTreeView::event(event);
}

void FileTreeOutline::choose()
{
    const QModelIndex index = currentIndex();
    if (!index.isValid())
        return;
    if (model()->hasChildren(index))
        setExpanded(index, !isExpanded(index));
    emit rowChosen(index);
}

void FileTreeOutline::requestMenu()
{
    const QModelIndex index = currentIndex();
    if (!index.isValid())
        return;
    const QRect row = visualRect(index);
    emit menuRequested(index, viewport()->mapToGlobal(QPoint(row.left() + 24, row.bottom())));
}

void FileTreeOutline::focusInEvent(QFocusEvent *event)
{
    // First: the view would put a keyboard coming by Tab on its first row.
    QModelIndex to = rowOf(m_kept);
    if (!to.isValid() && m_entry)
        to = m_entry();
    if (!to.isValid() && model())
        to = model()->index(0, 0);
    if (to.isValid()) {
        selectionModel()->setCurrentIndex(to, QItemSelectionModel::NoUpdate);
        scrollTo(to);
    }
    QTreeView::focusInEvent(event);
    viewport()->update();
}

void FileTreeOutline::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTreeView::currentChanged(current, previous);
    RowKeys::dropCurrentWithoutKeyboard(this, current);
}

void FileTreeOutline::focusOutEvent(QFocusEvent *event)
{
    QTreeView::focusOutEvent(event);
    RowKeys::dropCurrentOnLeaving(this, event, [this] { keepCurrent(); });
}

} // namespace panels
