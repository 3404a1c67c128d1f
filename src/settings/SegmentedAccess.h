#pragma once

class QAccessibleInterface;
class QObject;
class QString;

namespace settings {

// What a screen reader is told of a SegmentedControl: a group named after
// the control, one radio button per segment, the current one checked.
QAccessibleInterface *segmentedControlAccess(const QString &className, QObject *object);

} // namespace settings
