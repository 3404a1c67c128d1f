#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <QCoroTask>

#include <chrono>

namespace platform {

// What the app asks of the desktop: a browser, a file manager, a terminal.
// Each answers once the program it started has plainly failed or plainly
// not: the answer can take a few seconds, so it is awaited, never waited
// for on the UI thread. Callers hold a reference so tests can hand in a
// recording double.
class DesktopServices {
public:
    virtual ~DesktopServices() = default;
    virtual QCoro::Task<bool> openUrl(QUrl url) = 0;
    // Shows the file selected in the file manager, else opens its folder.
    virtual QCoro::Task<bool> revealFile(QString path) = 0;
    // Starts a terminal emulator in the folder.
    virtual QCoro::Task<bool> openTerminal(QString folder) = 0;
};

// The programs the real desktop runs.
struct DesktopPrograms {
    QString opener = QStringLiteral("xdg-open"); // a link, or a folder
    QString terminal; // empty: x-terminal-emulator, else $TERMINAL
    // An opener that ends with a failure does so at once ("no method
    // available"); one still running after this long has started its program.
    std::chrono::milliseconds window{3000};
    bool askFileManager = true; // FileManager1 over D-Bus before the opener
};

// The real desktop: FileManager1 over D-Bus, the desktop's opener and
// x-terminal-emulator or $TERMINAL, each run as a process whose early
// failure is seen.
class SystemDesktopServices final : public DesktopServices {
public:
    explicit SystemDesktopServices(DesktopPrograms programs = {});
    QCoro::Task<bool> openUrl(QUrl url) override;
    QCoro::Task<bool> revealFile(QString path) override;
    QCoro::Task<bool> openTerminal(QString folder) override;

private:
    DesktopPrograms m_programs;
};

// Runs `program` with `arguments` in `folder` (empty: here). False when it
// cannot be started, or ends with a non-zero status or a crash within
// `window`; true when it ends well, or is still running when the window
// ends: it is then left to run on its own, also after this process ends.
QCoro::Task<bool> runDesktopProgram(QString program, QStringList arguments, QString folder,
                                    std::chrono::milliseconds window);

} // namespace platform
