#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>

namespace platform {

// The small key-value store of user defaults (organisation com.ovu,
// application QirvMac), under $XDG_CONFIG_HOME.
namespace UserDefaults {

inline constexpr char kSkinId[] = "uiSkinID";
inline constexpr char kExplicitSignOut[] = "moonshelf.explicitSignOut";
inline constexpr char kWorkspaceBookmark[] = "workspaceBookmark";

QVariant value(const QString &key, const QVariant &fallback = {});
QString string(const QString &key);
bool boolean(const QString &key);
// False when the value could not be written to disk.
bool setValue(const QString &key, const QVariant &value);
void remove(const QString &key);
// The file the defaults are kept in.
QString location();

} // namespace UserDefaults
} // namespace platform
