#include "glass/sheets/ReaderAccess.h"

#include "glass/sheets/AlertSheet.h"

#include <QAccessibleWidget>
#include <QFocusFrame>
#include <QMenu>
#include <QMenuBar>
#include <QString>
#include <QWidget>

#include <algorithm>

namespace glass {

namespace {

constexpr char kHiddenFromReaders[] = "moonshelfHiddenFromReaders";

// A menu opened from a menu bar or another menu: readers find it there.
bool isSubmenu(const QMenu *menu)
{
    const QList<QObject *> owners = menu->menuAction()->associatedObjects();
    return std::any_of(owners.cbegin(), owners.cend(), [](const QObject *o) {
        return qobject_cast<const QMenu *>(o) || qobject_cast<const QMenuBar *>(o);
    });
}

// Its message, spoken when it comes; its buttons are its children.
class AlertAccess : public ReaderWidget {
public:
    explicit AlertAccess(AlertSheet *sheet)
        : ReaderWidget(sheet, QAccessible::AlertMessage)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        const auto *sheet = static_cast<const AlertSheet *>(object());
        if (t == QAccessible::Name)
            return sheet->title();
        if (t == QAccessible::Description)
            return sheet->message();
        return ReaderWidget::text(t);
    }
};

} // namespace

bool ReaderWidget::isValid() const
{
    // A widget hidden from readers (or inside one) is no object of theirs:
    // an invalid interface carries none of its events to the bus either, so
    // a mark shown, hidden or renamed says nothing.
    if (!QAccessibleWidget::isValid())
        return false;
    for (const QWidget *w = widget(); w; w = w->parentWidget())
        if (isHiddenFromReaders(w))
            return false;
    return true;
}

int ReaderWidget::childCount() const
{
    return int(readerChildren().size());
}

QAccessibleInterface *ReaderWidget::child(int index) const
{
    const QList<QWidget *> list = readerChildren();
    return index >= 0 && index < list.size() ? QAccessible::queryAccessibleInterface(list.at(index)) : nullptr;
}

int ReaderWidget::indexOfChild(const QAccessibleInterface *child) const
{
    if (!child || !child->object() || !child->object()->isWidgetType())
        return -1;
    return int(readerChildren().indexOf(static_cast<QWidget *>(child->object())));
}

QList<QWidget *> ReaderWidget::readerChildren() const
{
    QList<QWidget *> list;
    for (QObject *o : widget()->children()) {
        if (!o->isWidgetType())
            continue;
        auto *w = static_cast<QWidget *>(o);
        // A menu this widget opened (a row's actions) is part of it while
        // it is open: a reader finds it where the person opened it.
        if (auto *menu = qobject_cast<QMenu *>(w)) {
            if (menu->isVisible() && !isHiddenFromReaders(menu) && !isSubmenu(menu))
                list.append(menu);
            continue;
        }
        // The same widgets Qt leaves out: windows of their own, focus
        // frames and its internal helpers.
        if (w->isWindow() || qobject_cast<QFocusFrame *>(w) || w->objectName() == u"qt_rubberband" ||
            w->objectName() == u"qt_spinbox_lineedit")
            continue;
        if (isHiddenFromReaders(w))
            continue;
        list.append(w);
    }
    return list;
}

void hideFromReaders(QWidget *widget)
{
    widget->setProperty(kHiddenFromReaders, true);
}

bool isHiddenFromReaders(const QWidget *widget)
{
    return widget->property(kHiddenFromReaders).toBool();
}

QAccessibleInterface *accessibleScrollArea(const QString &className, QObject *object)
{
    // Text edits and item views have interfaces of their own further down the
    // class chain and never reach these names.
    if (className != u"QAbstractScrollArea" && className != u"QScrollArea")
        return nullptr;
    if (!object || !object->isWidgetType())
        return nullptr;
    return new ReaderWidget(static_cast<QWidget *>(object), QAccessible::Client);
}

QAccessibleInterface *accessiblePlainWidget(const QString &className, QObject *object)
{
    // Reached by every widget class of ours that Qt has no interface for.
    if (className != u"QWidget" || !object || !object->isWidgetType())
        return nullptr;
    return new ReaderWidget(static_cast<QWidget *>(object));
}

QAccessibleInterface *accessibleAlertSheet(const QString &className, QObject *object)
{
    if (className != u"glass::AlertSheet" || !object)
        return nullptr;
    return new AlertAccess(static_cast<AlertSheet *>(object));
}

void installReaderAccess()
{
    QAccessible::installFactory(accessibleAlertSheet);
    QAccessible::installFactory(accessiblePlainWidget);
    QAccessible::installFactory(accessibleScrollArea);
}

} // namespace glass
