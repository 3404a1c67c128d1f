#pragma once

#include <QAccessible>
#include <QAccessibleInterface>
#include <QObject>
#include <QString>
#include <QWidget>

namespace testsupport {

// The name a screen reader announces for the widget: its accessible name,
// or what the widget's accessible interface derives from its text.
inline QString spokenName(QWidget *widget)
{
    if (QAccessibleInterface *face = QAccessible::queryAccessibleInterface(widget))
        return face->text(QAccessible::Name);
    return widget->accessibleName();
}

// The one widget of type T under root that a reader calls name; null when
// there is none, or several a person could not tell apart.
template <typename T = QWidget>
T *namedWidget(const QObject *root, const QString &name)
{
    T *found = nullptr;
    for (T *widget : root->findChildren<T *>()) {
        if (spokenName(widget) != name)
            continue;
        if (found)
            return nullptr;
        found = widget;
    }
    return found;
}

} // namespace testsupport
