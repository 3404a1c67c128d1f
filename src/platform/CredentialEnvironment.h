#pragma once

#include <QString>
#include <QStringList>

namespace platform::CredentialEnvironment {

// The environment variable an API key is imported from.
inline constexpr char kApiKey[] = "OVU_API_KEY";

// Every environment variable the app reads a credential from. A command the
// app runs for the model never gets them.
inline QStringList names()
{
    return {QString::fromLatin1(kApiKey)};
}

// The files under the home folder the app reads a credential from: the API
// key files, in the order they are tried, and the command-line client's
// session. A command the app runs for the model never sees them.
inline constexpr const char *kApiKeyFiles[] = {".config/ovu/api_key", ".qirv/api_key", ".config/qirv/api_key"};
inline constexpr char kCliSessionFile[] = ".qirv/auth.json";

inline QStringList files()
{
    QStringList out;
    for (const char *relative : kApiKeyFiles)
        out.append(QString::fromLatin1(relative));
    out.append(QString::fromLatin1(kCliSessionFile));
    return out;
}

} // namespace platform::CredentialEnvironment
