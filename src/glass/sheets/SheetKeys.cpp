#include "glass/sheets/SheetKeys.h"

#include <QKeyEvent>

namespace glass::SheetKeys {

namespace {
bool plain(const QKeyEvent &key)
{
    return !(key.modifiers() & ~Qt::KeypadModifier);
}
} // namespace

bool isAccept(const QKeyEvent &key)
{
    return plain(key) && (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter);
}

bool isSheetKey(const QKeyEvent &key)
{
    return isAccept(key) || (plain(key) && key.key() == Qt::Key_Escape);
}

bool claimShortcutOverride(QEvent *event)
{
    if (event->type() != QEvent::ShortcutOverride || !isSheetKey(*static_cast<QKeyEvent *>(event)))
        return false;
    event->accept();
    return true;
}

} // namespace glass::SheetKeys
