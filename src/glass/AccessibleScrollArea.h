#pragma once

class QAccessibleInterface;
class QObject;
class QString;

namespace glass {

// Qt's own interface for scroll areas counts a scroll bar among its children
// only while the bar shows, and reads its child list without a bounds check.
// A screen reader holding the count from before a bar hid (a reply growing,
// a card arriving) then asked for a child past the end and got a wild
// pointer, which brought the app down. Ours lists the area's child widgets
// as any widget does, hidden bars included, so the count holds while bars
// come and go, and an index past it answers nothing.
QAccessibleInterface *accessibleScrollArea(const QString &className, QObject *object);

// Puts accessibleScrollArea before Qt's own factory; call it once the
// application object exists (Qt installs its factory there).
void installAccessibleScrollAreas();

} // namespace glass
