#include "settings/SettingsBanner.h"

namespace settings {

namespace BannerRules {

std::optional<Banner> onAppear(bool hasSession, const std::optional<QString> &lastStatus)
{
    if (!hasSession || !lastStatus)
        return std::nullopt;
    return Banner{Banner::Kind::Info, *lastStatus};
}

std::optional<Banner> onLastStatus(const std::optional<QString> &status, const std::optional<QString> &lastError)
{
    if (!status || lastError)
        return std::nullopt;
    return Banner{Banner::Kind::Success, *status};
}

std::optional<Banner> onLastError(const std::optional<QString> &error)
{
    if (!error)
        return std::nullopt;
    return Banner{Banner::Kind::Error, *error};
}

} // namespace BannerRules

bool alertIsWarning(const QString &title)
{
    return title.contains(QStringLiteral("fail"), Qt::CaseSensitive);
}

} // namespace settings
