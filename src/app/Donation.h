#pragma once

#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <optional>

namespace platform {
class DesktopServices;
}

namespace app {

// The optional tip link, fixed at build time. Nothing is stored or observed.
namespace Donation {

// A complete http(s) address used unchanged when set; empty as delivered.
inline constexpr char16_t tipJarURLStringOverride[] = u"";
// The personal-link handle the link is built from.
inline constexpr char16_t paypalMeHandle[] = u"moonshelfapp";
// Appended as a last path segment when it is digits only; empty as delivered.
inline constexpr char16_t paypalSuggestedAmount[] = u"";
inline constexpr char16_t paypalHost[] = u"paypal.me";

QString buttonHelp();

// The link built from the given constants; the build-time ones when omitted.
std::optional<QUrl> tipJarURL(const QString &override, const QString &handle, const QString &amount);
std::optional<QUrl> tipJarURL();
bool isConfigured();

// Asks the desktop to open the link; false when there is none or it could
// not be opened.
QCoro::Task<bool> openTipJar(platform::DesktopServices &desktop);

} // namespace Donation
} // namespace app
