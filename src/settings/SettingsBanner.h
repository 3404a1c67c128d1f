#pragma once

#include <QString>

#include <optional>

namespace settings {

// The one status line of the settings window. Every writer replaces it
// whole; nothing clears it and it never times out.
struct Banner {
    enum class Kind { Success, Error, Info };
    Kind kind = Kind::Info;
    QString text;

    friend bool operator==(const Banner &, const Banner &) = default;
};

// When the sign-in object's notices give a banner. Each rule looks at one
// transition as it happens, so a success never shows an earlier error and a
// failure never shows as a success.
namespace BannerRules {

// When the window content is shown: the last status as information, but
// only while a session exists.
std::optional<Banner> onAppear(bool hasSession, const std::optional<QString> &lastStatus);
// A new status is a success unless an error is recorded at that moment.
std::optional<Banner> onLastStatus(const std::optional<QString> &status, const std::optional<QString> &lastError);
// A new error is shown; a cleared one leaves the banner.
std::optional<Banner> onLastError(const std::optional<QString> &error);

} // namespace BannerRules

// The alert warns when its title says something failed (case-sensitive).
bool alertIsWarning(const QString &title);

} // namespace settings
