#pragma once

#include "auth/AuthError.h"
#include "auth/OAuthSession.h"
#include "platform/Result.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace auth::CliSessionImport {

// The largest session file read; a larger one is refused unread.
inline constexpr qint64 kFileLimitBytes = 256 * 1024;

// ~/.qirv/auth.json under the given home folder.
QString path(const QString &homeDirectory);

struct Imported {
    OAuthSession session;
    QString status; // "Imported Moonshelf session[ for e-mail] from path"
};

struct Failure {
    // What lastError shows; none for a file that is not JSON.
    std::optional<QString> lastError;
    AuthError error;
};

// Reads the command-line client's session file (never writes it). `now`
// dates a token that carries no usable expiry.
platform::Result<Imported, Failure> read(const QString &filePath, const QDateTime &now);

} // namespace auth::CliSessionImport
