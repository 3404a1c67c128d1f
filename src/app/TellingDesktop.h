#pragma once

#include "platform/DesktopServices.h"

#include <QString>
#include <QUrl>

#include <functional>

namespace app {

// What the person is told when no program could be started for something:
// the address or path comes with it, to copy.
namespace DesktopText {
// No browser for a web address, or no file manager for a local file.
QString unopened(const QUrl &url);
// No terminal in the folder.
QString noTerminal(const QString &folder);
} // namespace DesktopText

// The desktop as the window's views use it: whatever cannot be started is
// told (the controller's error text) instead of only ending on stderr. The
// telling function must be safe to call after its owner is gone (it may
// come seconds later).
class TellingDesktop final : public platform::DesktopServices {
public:
    TellingDesktop(std::function<platform::DesktopServices &()> desktop, std::function<void(const QString &)> tell);

    QCoro::Task<bool> openUrl(QUrl url) override;
    QCoro::Task<bool> revealFile(QString path) override;
    QCoro::Task<bool> openTerminal(QString folder) override;

private:

    std::function<platform::DesktopServices &()> m_desktop;
    std::function<void(const QString &)> m_tell;
};

} // namespace app
