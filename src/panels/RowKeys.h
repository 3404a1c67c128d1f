#pragma once

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>

// The keys a panel's rows answer alike, in the session list, the file tree
// and the tool log, and their rule that a row is current only while the
// keyboard is in the list (a reader would hear a current row as focused).
namespace panels::RowKeys {

// What the person held: the keypad's flag is not a key of theirs.
inline Qt::KeyboardModifiers held(const QKeyEvent *event)
{
    return event->modifiers() & ~Qt::KeypadModifier;
}

// Return, Enter or Space alone: the row's own action.
inline bool chooses(const QKeyEvent *event)
{
    const int key = event->key();
    return (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) && held(event) == Qt::NoModifier;
}

// The menu key alone, or Shift+F10: the row's menu.
inline bool opensMenu(const QKeyEvent *event)
{
    return (event->key() == Qt::Key_Menu && held(event) == Qt::NoModifier) ||
           (event->key() == Qt::Key_F10 && held(event) == Qt::ShiftModifier);
}

// A context menu the keyboard asked for: the menu key may come so.
inline bool asksMenu(const QEvent *event)
{
    return event->type() == QEvent::ContextMenu &&
           static_cast<const QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard;
}

// After a change of the current row: one a click made without the keyboard
// is dropped, once the click is done.
inline void dropCurrentWithoutKeyboard(QAbstractItemView *view, const QModelIndex &current)
{
    if (!current.isValid() || view->hasFocus())
        return;
    QMetaObject::invokeMethod(view, [view] {
        if (!view->hasFocus() && view->selectionModel())
            view->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }, Qt::QueuedConnection);
}

// When the keyboard leaves: the current row is dropped, after keep() has
// kept it for the keyboard's return. A row's own menu keeps it current.
template <typename Keep>
void dropCurrentOnLeaving(QAbstractItemView *view, const QFocusEvent *event, Keep keep)
{
    if (event->reason() != Qt::PopupFocusReason && view->selectionModel()) {
        keep();
        view->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
    view->viewport()->update();
}

} // namespace panels::RowKeys
