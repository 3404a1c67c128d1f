#include "glass/controls/FocusInView.h"

#include <QApplication>
#include <QFocusEvent>
#include <QScrollArea>

namespace glass {

FocusInView::FocusInView(QObject *parent) : QObject(parent)
{
    qApp->installEventFilter(this);
}

FocusInView::~FocusInView()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

void FocusInView::reveal(QWidget *control)
{
    for (QWidget *w = control ? control->parentWidget() : nullptr; w && !w->isWindow(); w = w->parentWidget()) {
        if (auto *area = qobject_cast<QScrollArea *>(w); area && area->widget() && area->widget()->isAncestorOf(control))
            area->ensureWidgetVisible(control, kMargin, kMargin);
        else if (auto *rows = dynamic_cast<RevealsControls *>(w))
            rows->revealControl(control);
    }
}

bool FocusInView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::FocusIn || !watched->isWidgetType())
        return false;
    switch (static_cast<QFocusEvent *>(event)->reason()) {
    case Qt::MouseFocusReason:       // what was clicked is in view
    case Qt::ActiveWindowFocusReason: // a window coming back keeps its page
    case Qt::PopupFocusReason:
        return false;
    default:
        break;
    }
    reveal(static_cast<QWidget *>(watched));
    return false;
}

} // namespace glass
