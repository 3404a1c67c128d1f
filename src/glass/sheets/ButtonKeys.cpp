#include "glass/sheets/ButtonKeys.h"

#include "glass/sheets/SheetKeys.h"
#include "glass/sheets/SheetOverlay.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>

namespace glass {

ButtonKeys::ButtonKeys(QObject *parent) : QObject(parent)
{
    qApp->installEventFilter(this);
}

ButtonKeys::~ButtonKeys()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

bool ButtonKeys::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return false;
    auto *button = qobject_cast<QAbstractButton *>(watched);
    if (!button || !button->hasFocus() || !SheetKeys::isAccept(*static_cast<QKeyEvent *>(event)))
        return false;
    // In a sheet Return is the sheet's default action, whichever of its
    // buttons has the keyboard.
    for (const QWidget *w = button->parentWidget(); w; w = w->parentWidget())
        if (qobject_cast<const SheetOverlay *>(w))
            return false;
    // Claimed before any shortcut of the window (a sheet's Return) sees it.
    if (type == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    if (!static_cast<QKeyEvent *>(event)->isAutoRepeat() && button->isEnabled())
        button->click();
    event->accept();
    return true;
}

} // namespace glass
