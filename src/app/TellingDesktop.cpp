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

// Each copies what it needs before it waits: the answer can come after this
// object is gone.
QCoro::Task<bool> TellingDesktop::openUrl(QUrl url)
{
    const auto tell = m_tell;
    const bool opened = co_await m_desktop().openUrl(url);
    if (!opened)
        tell(DesktopText::unopened(url));
    co_return opened;
}

QCoro::Task<bool> TellingDesktop::revealFile(QString path)
{
    const auto tell = m_tell;
    const bool shown = co_await m_desktop().revealFile(path);
    if (!shown)
        tell(DesktopText::unopened(QUrl::fromLocalFile(path)));
    co_return shown;
}

QCoro::Task<bool> TellingDesktop::openTerminal(QString folder)
{
    const auto tell = m_tell;
    const bool started = co_await m_desktop().openTerminal(folder);
    if (!started)
        tell(DesktopText::noTerminal(folder));
    co_return started;
}

} // namespace app
