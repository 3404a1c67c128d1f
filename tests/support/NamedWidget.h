#pragma once

#include <QAccessible>
#include <QAccessibleInterface>
#include <QObject>
#include <QString>
#include <QTest>
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

// The one object of type T under root, of that object name when one is
// given; null when there is none, or several that the lookup cannot tell
// apart (findChild would take the first silently).
template <typename T>
T *uniqueChild(const QObject *root, const QString &objectName = {})
{
    const QList<T *> found = objectName.isEmpty() ? root->findChildren<T *>() : root->findChildren<T *>(objectName);
    return found.size() == 1 ? found.front() : nullptr;
}

inline QString notFound(const char *type, const QString &what)
{
    return QStringLiteral("no single %1 %2").arg(QLatin1String(type), what);
}

} // namespace testsupport

// Lookups a test cannot go on without: when the widget is not there, or not
// alone, the test function fails naming what it looked for and returns,
// instead of handing on a null that would end the whole program. Macros, as
// QVERIFY is: only a macro can end the test function.
#define REQUIRE_NAMED(var, T, root, name)                                                                              \
    T *const var = ::testsupport::namedWidget<T>(root, name);                                                          \
    QVERIFY2(var, qPrintable(::testsupport::notFound(#T, QStringLiteral("named \"%1\"").arg(name))))
#define REQUIRE_CHILD(var, T, root, ...)                                                                               \
    T *const var = ::testsupport::uniqueChild<T>(root __VA_OPT__(, ) __VA_ARGS__);                                     \
    QVERIFY2(var, qPrintable(::testsupport::notFound(#T, QStringLiteral("%1").arg(QString(__VA_ARGS__)))))
