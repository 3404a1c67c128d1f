#pragma once

#include <QString>

namespace window {

// What quitting would lose when the newest saves failed, named for the
// question asked before quitting: empty when both saves went through.
QString describeUnsavedWork(const QString &conversationsFailure, const QString &settingsFailure);

} // namespace window
