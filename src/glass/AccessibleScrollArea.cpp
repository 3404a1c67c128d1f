#include "glass/AccessibleScrollArea.h"

#include <QAccessibleWidget>
#include <QString>
#include <QWidget>

namespace glass {

QAccessibleInterface *accessibleScrollArea(const QString &className, QObject *object)
{
    // Text edits and item views have interfaces of their own further down the
    // class chain and never reach these names.
    if (className != u"QAbstractScrollArea" && className != u"QScrollArea")
        return nullptr;
    if (!object || !object->isWidgetType())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Client);
}

void installAccessibleScrollAreas()
{
    // Factories installed later are asked first; a second call adds nothing.
    QAccessible::installFactory(accessibleScrollArea);
}

} // namespace glass
