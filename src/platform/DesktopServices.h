#pragma once

#include <QString>
#include <QUrl>

namespace platform {

// What the app asks of the desktop: a browser, a file manager, a terminal.
// Callers hold a reference so tests can hand in a recording double.
class DesktopServices {
public:
    virtual ~DesktopServices() = default;
    virtual bool openUrl(const QUrl &url) = 0;
    // Shows the file selected in the file manager, else opens its folder.
    virtual bool revealFile(const QString &path) = 0;
    // Starts a terminal emulator in the folder.
    virtual bool openTerminal(const QString &folder) = 0;
};

// The real desktop: QDesktopServices, FileManager1 over D-Bus,
// x-terminal-emulator or $TERMINAL.
class SystemDesktopServices final : public DesktopServices {
public:
    bool openUrl(const QUrl &url) override;
    bool revealFile(const QString &path) override;
    bool openTerminal(const QString &folder) override;
};

} // namespace platform
