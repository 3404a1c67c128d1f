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

} // namespace platform::CredentialEnvironment
