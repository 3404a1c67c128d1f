#include "app/TellingDesktop.h"

namespace app {

QString DesktopText::unopened(const QUrl &url)
{
    if (url.isLocalFile())
        return QStringLiteral("No file manager could be started to show %1. Copy the path to open it yourself.")
            .arg(url.toLocalFile());
    return QStringLiteral("No browser could be started to open %1. Copy the address into a browser yourself.")
        .arg(url.toString());
}

QString DesktopText::noTerminal(const QString &folder)
{
    return QStringLiteral("No terminal could be started in %1 (install one, or name it in TERMINAL).").arg(folder);
}

TellingDesktop::TellingDesktop(std::function<platform::DesktopServices &()> desktop,
                               std::function<void(const QString &)> tell)
    : m_desktop(std::move(desktop)), m_tell(std::move(tell))
{
}

bool TellingDesktop::told(bool started, const QString &text)
{
    if (!started)
        m_tell(text);
    return started;
}

bool TellingDesktop::openUrl(const QUrl &url)
{
    return told(m_desktop().openUrl(url), DesktopText::unopened(url));
}

bool TellingDesktop::revealFile(const QString &path)
{
    return told(m_desktop().revealFile(path), DesktopText::unopened(QUrl::fromLocalFile(path)));
}

bool TellingDesktop::openTerminal(const QString &folder)
{
    return told(m_desktop().openTerminal(folder), DesktopText::noTerminal(folder));
}

} // namespace app
