#include "window/UnsavedWork.h"

#include <QStringList>

namespace window {

QString describeUnsavedWork(const QString &conversationsFailure, const QString &settingsFailure)
{
    QStringList lines;
    if (!conversationsFailure.isEmpty())
        lines.append(QStringLiteral("Your conversations could not be saved (%1). Quitting now loses the messages and "
                                    "session changes since the last successful save.")
                         .arg(conversationsFailure));
    if (!settingsFailure.isEmpty())
        lines.append(QStringLiteral("Your settings could not be saved (%1). Quitting now loses the settings changed "
                                    "since the last successful save.")
                         .arg(settingsFailure));
    return lines.join(QStringLiteral("\n\n"));
}

} // namespace window
