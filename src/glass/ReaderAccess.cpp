#include "glass/ReaderAccess.h"

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

// A widget's children as Qt's own interface lists them, less those hidden
// from readers. The list is built anew for every question, so it never holds
// a widget that is gone.
class FilteredWidget : public QAccessibleWidget {
public:
    using QAccessibleWidget::QAccessibleWidget;

    // A widget hidden from readers (or inside one) is no object of theirs:
    // an invalid interface carries none of its events to the bus either, so
    // a mark shown, hidden or renamed says nothing.
    bool isValid() const override
    {
        if (!QAccessibleWidget::isValid())
            return false;
        for (const QWidget *w = widget(); w; w = w->parentWidget())
            if (isHiddenFromReaders(w))
                return false;
        return true;
    }

    int childCount() const override { return int(children().size()); }

    QAccessibleInterface *child(int index) const override
    {
        const QList<QWidget *> list = children();
        return index >= 0 && index < list.size() ? QAccessible::queryAccessibleInterface(list.at(index)) : nullptr;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child || !child->object() || !child->object()->isWidgetType())
            return -1;
        return int(children().indexOf(static_cast<QWidget *>(child->object())));
    }

private:
    QList<QWidget *> children() const
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
            if (w->isWindow() || qobject_cast<QFocusFrame *>(w) || w->objectName() == u"qt_rubberband" || w->objectName() == u"qt_spinbox_lineedit")
                continue;
            if (isHiddenFromReaders(w))
                continue;
            list.append(w);
        }
        return list;
    }
};

} // namespace

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
    return new FilteredWidget(static_cast<QWidget *>(object), QAccessible::Client);
}

QAccessibleInterface *accessiblePlainWidget(const QString &className, QObject *object)
{
    // Reached by every widget class of ours that Qt has no interface for.
    if (className != u"QWidget" || !object || !object->isWidgetType())
        return nullptr;
    return new FilteredWidget(static_cast<QWidget *>(object));
}

void installReaderAccess()
{
    QAccessible::installFactory(accessiblePlainWidget);
    QAccessible::installFactory(accessibleScrollArea);
}

} // namespace glass
