#include "agent/guard/ShellGuard.h"

#include "agent/guard/CommandReview.h"

#include <array>

namespace agent::ShellGuard {

namespace {

struct Row {
    const char16_t *pattern;
    const char16_t *text;
};

// The first rows are the shared ones; the Linux forms of the other
// platform's rows follow them, named as Linux names them.
constexpr std::array kBlocked{
    Row{u"osascript", u"Blocked: AppleScript (osascript) triggers Automation permission prompts. Don't drive other apps from the agent."},
    Row{u"osacompile", u"Blocked: AppleScript compilation is not allowed from the agent."},
    Row{u"tell application", u"Blocked: AppleScript application control is not allowed from the agent."},
    Row{u"tccutil", u"Blocked: modifying TCC/privacy database is not allowed."},
    Row{u"open -a ", u"Blocked: launching other apps via `open -a` can spam permission dialogs. Prefer project-local tools."},
    Row{u"open -b ", u"Blocked: launching other apps via `open -b` is not allowed from the agent."},
    Row{u"automator", u"Blocked: Automator can request broad permissions."},
    Row{u"shortcuts ", u"Blocked: Shortcuts.app automation is not allowed from the agent."},
    Row{u"screencapture", u"Blocked: screen capture requires Screen Recording permission."},
    Row{u"mdfind ", u"Blocked: Spotlight search outside the project is too broad; use list_dir/read_file."},
    Row{u"system_profiler", u"Blocked: system_profiler is overly broad for agent work."},
    Row{u"pmset ", u"Blocked: power management changes are not allowed."},
    Row{u"defaults write", u"Blocked: writing defaults can affect other apps / permissions."},
    Row{u"killall ", u"Blocked: killing other processes is not allowed from the agent."},
    Row{u"pkill ", u"Blocked: killing other processes is not allowed from the agent."},
};

constexpr std::array kDestructive{
    Row{u"sudo ", u"Privilege escalation (sudo)"},
    Row{u"rm -rf", u"Recursive force delete (rm -rf)"},
    Row{u"rm -fr", u"Recursive force delete (rm -fr)"},
    Row{u"dd if=", u"Raw disk write (dd)"},
    Row{u"dd of=", u"Raw disk write (dd)"},
    Row{u"mkfs", u"Filesystem format (mkfs)"},
    Row{u"diskutil erase", u"Disk erase (diskutil)"},
    Row{u"diskutil apfs delete", u"Volume delete (diskutil)"},
    Row{u"shutdown", u"System shutdown"},
    Row{u"reboot", u"System reboot"},
    Row{u"launchctl", u"Launch daemon/agent change (persistence)"},
    Row{u"crontab", u"Cron change (persistence)"},
    Row{u"security dump-keychain", u"Keychain dump"},
    Row{u"security find-generic-password", u"Keychain credential read"},
    Row{u"security find-internet-password", u"Keychain credential read"},
    Row{u":(){", u"Fork bomb pattern"},
    Row{u"chmod -r 777", u"Recursive world-writable chmod"},
    Row{u"~/.zshrc", u"Shell profile tampering"},
    Row{u"~/.zprofile", u"Shell profile tampering"},
    Row{u"~/.bashrc", u"Shell profile tampering"},
    Row{u"~/.bash_profile", u"Shell profile tampering"},
    Row{u"secret-tool lookup", u"Keyring credential read"},
    Row{u"secret-tool search", u"Keyring credential read"},
    Row{u"systemctl enable", u"Service change (persistence)"},
    Row{u"systemctl --user enable", u"Service change (persistence)"},
    Row{u"~/.profile", u"Shell profile tampering"},
};

// Lower-cased, with every run of whitespace (tabs, line feeds, Unicode
// spaces) made one space, so spacing tricks cannot slip past a pattern.
QString normalized(const QString &command)
{
    const QString lower = command.toLower();
    QString out;
    out.reserve(lower.size());
    bool inSpace = false;
    for (const QChar c : lower) {
        if (c.isSpace()) {
            if (!inSpace)
                out.append(u' ');
            inSpace = true;
        } else {
            out.append(c);
            inSpace = false;
        }
    }
    return out;
}

template <std::size_t N>
std::optional<QString> firstMatch(const std::array<Row, N> &rows, const QString &text)
{
    for (const Row &row : rows) {
        if (text.contains(QStringView(row.pattern)))
            return QString::fromUtf16(row.text);
    }
    return std::nullopt;
}

bool containsAny(const QString &text, std::initializer_list<QStringView> needles)
{
    for (QStringView n : needles) {
        if (text.contains(n))
            return true;
    }
    return false;
}

} // namespace

Verdict judge(const QString &command, std::stop_token stop, const QString &projectRoot)
{
    const QString text = normalized(command);
    Verdict v{command, firstMatch(kBlocked, text), firstMatch(kDestructive, text)};
    if (!v.blocked && text.contains(u"open ") && containsAny(text, {u"http://", u"https://", u"x-apple."}))
        v.blocked = QStringLiteral("Blocked: opening URLs from shell can launch browsers/handlers unexpectedly. Use in-app actions instead.");
    if (!v.destructive && containsAny(text, {u"curl", u"wget"})
        && containsAny(text, {u"| sh", u"|sh", u"| bash", u"|bash", u"| zsh", u"|zsh"}))
        v.destructive = QStringLiteral("Remote script piped into a shell (curl | sh)");
    if (v.blocked && v.destructive)
        return v;
    // The same harm in the spellings a substring cannot see (kill -9 -1, a
    // path to pkill, killall at the end, ...).
    const CommandReview::Findings found = CommandReview::review(command, std::move(stop), projectRoot);
    if (!v.blocked && found.killsOthers)
        v.blocked = QStringLiteral("Blocked: killing other processes is not allowed from the agent.");
    if (!v.destructive)
        v.destructive = found.reason;
    return v;
}

std::optional<QString> blockedReason(const QString &command)
{
    return judge(command).blocked;
}

std::optional<QString> destructiveReason(const QString &command)
{
    return judge(command).destructive;
}

Verdict verdictOf(const PreparedCall &call)
{
    const QString command = call.commandText();
    return call.verdict && call.verdict->command == command ? *call.verdict : judge(command);
}

} // namespace agent::ShellGuard
