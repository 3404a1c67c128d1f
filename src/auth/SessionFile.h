#pragma once

#include "auth/OAuthSession.h"

#include <QString>

#include <functional>
#include <optional>

namespace auth::SessionFile {

// ~/.local/share/com.ovu.QirvMac/moonshelf_session.json; the folder is made
// (0700) on each call.
QString path();

// Writes the session atomically, 0600 from the first byte. Empty on
// success, else the failure's description.
[[nodiscard]] QString save(const OAuthSession &session);

// The stored session; none when the file is missing or unreadable.
std::optional<OAuthSession> load();

// Removes the file. When it cannot be removed it is emptied in place, so a
// later start does not restore the session that was signed out. `remover`
// stands in for the file system's remove in tests.
void remove(const std::function<bool(const QString &)> &remover = {});

} // namespace auth::SessionFile
