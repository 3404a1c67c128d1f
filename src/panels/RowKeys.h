#pragma once

#include <QContextMenuEvent>
#include <QKeyEvent>

// The keys a panel's rows answer alike, in the session list, the file tree
// and the tool log.
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

} // namespace panels::RowKeys
