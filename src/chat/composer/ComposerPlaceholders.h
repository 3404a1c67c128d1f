#pragma once

#include <QString>
#include <QStringList>

namespace chat {

// The composer's idle lines and which placeholder the field shows.
namespace ComposerPlaceholders {

constexpr int kCount = 10;
const QStringList &lines();

// The first rule that holds wins: listening, a run in flight, staged
// attachments, else the idle line at index (taken modulo the count).
QString fieldPlaceholder(bool listening, bool running, bool hasAttachments, int index);
// After a run ends: the next line, but only when nothing is typed.
int advancedIndex(int index, const QString &draft);
// Anything to send: a draft that is not only white space, or an attachment.
bool canCompose(const QString &draft, bool hasAttachments);
bool isBlank(const QString &draft);

} // namespace ComposerPlaceholders

} // namespace chat
