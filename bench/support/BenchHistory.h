#pragma once

#include "model/ChatRecords.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <string>
#include <vector>

namespace bench {

// Sessions of about 1 kB messages, user and assistant in turn, adding up to
// about `megabytes` of JSON in conversations.json.
QList<model::Conversation> history(int megabytes, int sessions);

// Lays out an application folder under home (share/com.ovu.QirvMac) holding
// that history (none at 0 MB) and settings past the first-run sheet, as on
// every start but the first. Returns the size of conversations.json, or -1
// with the reason on stderr.
qint64 writeHome(const QString &home, int megabytes, int sessions = 40);
// The same with the given sessions (the first one selected).
qint64 writeHome(const QString &home, const QList<model::Conversation> &conversations);

// About 100,000 characters of Markdown prose with lists and code, as a model writes.
QString longReply();

// The environment for the real app living in home: this process's, with
// HOME and the XDG folders pointing into home, the X platform, no
// credentials, and the given NAME=value entries (which replace this
// process's of the same name).
std::vector<std::string> appEnvironment(const QString &home, const std::vector<std::string> &extra = {});

} // namespace bench
