#pragma once

#include <QString>
#include <QStringView>

namespace platform {

// A JSON text cut short (a body read only so far), closed so that what it
// holds can be read: an unfinished string value ends where the text does,
// an unfinished key, number or literal is left out, and the open lists and
// objects are closed. Empty when the text is not the start of one JSON
// value (a misplaced character, or more after a whole value).
QString closedJsonPrefix(QStringView text);

} // namespace platform
