#pragma once

#include "model/ChatRecords.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>

namespace app::SessionExport {

// Texts of the save panel.
inline QString panelTitle() { return QStringLiteral("Export session"); }
inline QString panelMessage() { return QStringLiteral("Save this session as Markdown"); }
// What a failed export says before its reason.
inline QString failurePrefix() { return QStringLiteral("Could not export session: "); }

// "_Exported from Moonshelf Mac · <date> · <short time>_", numeric date in
// the locale's short form.
QString originLine(const QDateTime &when, const QLocale &locale);

// The conversation as a Markdown transcript, UTF-8: title, origin line, then
// the user and assistant messages with their tool calls. Built straight into
// bytes, so a large session costs about its own size once.
QByteArray markdown(const model::Conversation &conversation, const QDateTime &when, const QLocale &locale);

// The file name offered for the title: characters a file system or a shell
// treats specially and control characters become "-", cut after 60
// characters (never inside one), then ".md".
QString proposedFileName(const QString &title);

} // namespace app::SessionExport
