#include "settings/PageScrollArea.h"

#include <QApplication>

namespace settings {

bool PageScrollArea::focusNextPrevChild(bool next)
{
    const QWidget *had = QApplication::focusWidget();
    if (!had || (had->isVisible() && had->isEnabled()))
        return QScrollArea::focusNextPrevChild(next);
    return QWidget::focusNextPrevChild(false);
}

} // namespace settings
