// What runs later outside any box, and what the app will read later: git's
// hooks and the settings that make git run programs, and the places the app
// takes its credentials from. A command run now in the box can leave them
// for the person's next git command or the app's next sign-in.
#include "agent/guard/CommandReviewTargets.h"

#include "agent/guard/CommandReview.h"

#include "agent/guard/CommandReviewReasons.h"
#include "agent/guard/CommandReviewPlaces.h"
#include "agent/guard/CommandReviewPrograms.h"
#include "platform/AppPaths.h"
#include "platform/CredentialEnvironment.h"

#include <QHash>
#include <QRegularExpression>

namespace agent::CommandReview {

namespace {

bool isBoolean(const QString &value)
{
    return isOneOf(value.trimmed().toLower(), {u"", u"true", u"false", u"yes", u"no", u"on", u"off", u"1", u"0"});
}

// "a/b" is prefix itself or lies under it.
bool under(const QStringList &parts, const QStringList &prefix)
{
    return parts.size() >= prefix.size() && std::equal(prefix.cbegin(), prefix.cend(), parts.cbegin());
}

// The folders under home the app reads credentials and its session from.
const QList<QStringList> &appCredentialFolders()
{
    static const QList<QStringList> folders = [] {
        QList<QStringList> out;
        for (const QString &file : platform::CredentialEnvironment::files()) {
            QStringList parts = file.split(u'/');
            parts.removeLast();
            if (!out.contains(parts))
                out.append(parts);
        }
        out.append({QStringLiteral(".local"), QStringLiteral("share"), QString::fromLatin1(platform::AppPaths::kAppFolderName)});
        out.append({QStringLiteral(".config"), QStringLiteral("com.ovu")}); // the app's defaults
        // The keyrings the key is kept in.
        out.append({QStringLiteral(".local"), QStringLiteral("share"), QStringLiteral("keyrings")});
        out.append({QStringLiteral(".local"), QStringLiteral("share"), QStringLiteral("kwalletd")});
        return out;
    }();
    return folders;
}

} // namespace

bool isAppCredentialPlace(const Place &p)
{
    if (p.base == Place::Base::Home) {
        const QList<QStringList> &folders = appCredentialFolders();
        if (std::any_of(folders.cbegin(), folders.cend(), [&](const QStringList &f) { return under(p.parts, f); }))
            return true;
    }
    // Also spelt as a pattern ("~/.q*"), or found elsewhere under its own name.
    const std::optional<QString> label = Places::credential(p);
    return label && isOneOf(*label, {u"app sign-in", u"app data", u"keyring"});
}

std::optional<QString> gitPersistence(const Place &p)
{
    const QStringList &q = p.parts;
    const qsizetype git = q.indexOf(QStringLiteral(".git"));
    if (git < 0)
        return std::nullopt;
    // ".git" itself written: a "gitdir:" line points git at another folder's hooks.
    if (git + 1 == q.size())
        return Places::label(p);
    // Submodules and worktrees keep their own hooks and settings below.
    qsizetype from = git + 1;
    if (q.at(from) == u"modules" || q.at(from) == u"worktrees")
        from += 2;
    for (qsizetype i = from; i < q.size(); ++i) {
        if (q.at(i) == u"hooks")
            return Places::label(p);
        if ((q.at(i) == u"config" || q.at(i) == u"config.worktree") && i + 1 == q.size())
            return Places::label(p);
        if (i == git + 1)
            break; // .git/info, .git/objects ...: nothing git runs
    }
    return std::nullopt;
}

bool settingNamesProgram(const QString &key)
{
    const QString k = key.toLower();
    const QString section = k.section(u'.', 0, 0);
    const QString name = k.section(u'.', -1);
    if (k.count(u'.') < 1)
        return false;
    if (section == u"pager")
        return true; // pager.log = "less -S"
    if (section == u"filter")
        return isOneOf(name, {u"clean", u"smudge", u"process"});
    if (name == u"path")
        return isOneOf(section, {u"mergetool", u"difftool", u"browser", u"man"});
    return isOneOf(name, {u"pager", u"editor", u"sshcommand", u"askpass", u"gitproxy", u"external", u"command", u"cmd", u"program",
                          u"textconv", u"driver", u"difffilter", u"receivepack", u"uploadpack", u"defaultkeycommand",
                          u"alternaterefscommand", u"tocmd", u"cccmd", u"headercmd", u"sendmailcmd", u"packobjectshook", u"httpd"});
}

bool settingRunsProgram(const QString &key, const QString &value)
{
    const QString k = key.toLower();
    const QString section = k.section(u'.', 0, 0);
    const QString name = k.section(u'.', -1);
    const QString v = value.trimmed();
    if (section == u"alias" || (section == u"submodule" && name == u"update"))
        return v.startsWith(u'!');
    if (section == u"pager" || k == u"core.fsmonitor")
        return !isBoolean(v); // true, false: the built-in pager or daemon
    if (settingNamesProgram(k))
        return !v.isEmpty();
    // Helpers are programs by name (store, cache) or by path; hooks from a
    // folder; templates copy hooks in; includes bring any setting.
    if ((section == u"credential" && name == u"helper") || k == u"core.hookspath" || k == u"init.templatedir")
        return !v.isEmpty();
    if (k == u"include.path" || (section == u"includeif" && name == u"path"))
        return true;
    if (section == u"remote" && name == u"vcs")
        return true; // git-remote-VALUE runs at each fetch
    if (section == u"url" && (name == u"insteadof" || name == u"pushinsteadof"))
        return k.contains(QLatin1String("ext::"));
    if (section == u"protocol" && name == u"allow")
        return v.toLower() == u"always";
    if (section == u"sendemail" && name == u"smtpserver")
        return v.startsWith(u'/') || v.startsWith(u'~'); // a path is a program
    return false;
}

bool runsLater(const QString &projectPath)
{
    return gitPersistence(Places().resolve(projectPath, false, {})).has_value();
}

void judgeLanding(Review &review, const Place &place)
{
    if (isAppCredentialPlace(place))
        review.flagRow("credential-planted", Places::label(place));
    if (const std::optional<QString> git = gitPersistence(place))
        review.flagRow("git-runs-later", *git);
}

void judgeMade(Review &review, const Place &place)
{
    if (isAppCredentialPlace(place))
        review.flagRow("credential-planted", Places::label(place));
}

void judgeGitSettings(Review &review, const Invocation &inv, Scope &scope)
{
    const QStringList a = inv.texts();
    qsizetype i = 0;
    while (i < a.size() && a.at(i).startsWith(u'-')) {
        const QString &x = a.at(i);
        // --config-env=KEY=VARIABLE: a value the line does not show.
        if (x.startsWith(QLatin1String("--config-env=")) && settingRunsProgram(x.mid(13).section(u'=', 0, 0), QStringLiteral("?")))
            review.flagRow("git-one-off-config");
        i += isOneOf(x, {u"-C", u"-c", u"--git-dir", u"--work-tree", u"--namespace", u"--config-env", u"--super-prefix", u"--exec-path"}) ? 2 : 1;
    }
    if (i >= a.size())
        return;
    const QString sub = a.at(i);
    const auto setting = [&](const QString &key, const QString &value) {
        if (settingRunsProgram(key, value))
            review.flagRow("git-runs-later", key);
    };
    if (sub == u"clone" || sub == u"init") {
        // Settings written into the new repository, and hooks copied from a template.
        for (qsizetype k = i + 1; k < a.size(); ++k) {
            const QString &x = a.at(k);
            if ((x == u"-c" || x == u"--config") && k + 1 < a.size())
                setting(a.at(k + 1).section(u'=', 0, 0), a.at(k + 1).section(u'=', 1));
            else if (x.startsWith(QLatin1String("--config=")))
                setting(x.mid(9).section(u'=', 0, 0), x.mid(9).section(u'=', 1));
            else if (x == u"--template" && k + 1 < a.size())
                setting(QStringLiteral("init.templateDir"), a.at(k + 1));
            else if (x.startsWith(QLatin1String("--template=")))
                setting(QStringLiteral("init.templateDir"), x.mid(11));
        }
        return;
    }
    if (sub != u"config")
        return;
    QStringList ops;
    bool reading = false;
    for (qsizetype k = i + 1; k < a.size(); ++k) {
        const QString &x = a.at(k);
        if (isOneOf(x, {u"--global", u"--system"}))
            return; // the global configuration's own row
        if ((x == u"-f" || x == u"--file") && k + 1 < a.size()) {
            // Another file of settings (an ini file, .gitmodules) runs nothing.
            const Place file = review.place(*inv.args[std::size_t(k + 1)], scope);
            if (!gitPersistence(file))
                return;
            ++k;
        } else if (x.startsWith(QLatin1String("--file="))) {
            if (!gitPersistence(review.place(x.mid(7), scope)))
                return;
        } else if (isOneOf(x, {u"--type", u"--default", u"--comment", u"--value", u"--blob"})) {
            reading = reading || x == u"--blob";
            ++k;
        } else if (x == u"-e" || x == u"--edit") {
            review.flagRow("git-runs-later", QStringLiteral(".git/config"));
            return;
        } else if (x.startsWith(QLatin1String("--get")) || isOneOf(x, {u"-l", u"--list", u"--unset", u"--unset-all", u"--remove-section",
                                                                          u"--rename-section"})) {
            reading = true;
        } else if (!x.startsWith(u'-')) {
            ops.append(x);
        }
    }
    if (reading || ops.isEmpty())
        return;
    if (ops.first() == u"edit") {
        review.flagRow("git-runs-later", QStringLiteral(".git/config"));
    } else if (ops.first() == u"set") {
        if (ops.size() >= 3)
            setting(ops.at(1), ops.at(2));
    } else if (ops.size() >= 2 && !isOneOf(ops.first(), {u"get", u"list", u"unset", u"rename-section", u"remove-section"})) {
        setting(ops.at(0), ops.at(1));
    }
}

void judgeGitEnvironment(Review &review, const std::vector<const Word *> &assignments, Scope &scope)
{
    QHash<QString, QString> values;
    for (const Word *a : assignments) {
        const qsizetype eq = a->text.indexOf(u'=');
        values.insert(a->text.left(eq), a->text.mid(eq + 1));
    }
    QList<std::pair<QString, QString>> settings;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (it.key().startsWith(QLatin1String("GIT_CONFIG_KEY_")))
            settings.append({it.value(), values.value(QStringLiteral("GIT_CONFIG_VALUE_") + it.key().mid(15))});
    }
    // 'core.pager=less' 'alias.x=!sh': each setting quoted on its own.
    static const QRegularExpression quoted(QStringLiteral("'([^'=]*)=([^']*)'"));
    for (const QRegularExpressionMatch &m : quoted.globalMatch(values.value(QStringLiteral("GIT_CONFIG_PARAMETERS"))))
        settings.append({m.captured(1), m.captured(2)});
    for (const auto &[key, value] : std::as_const(settings)) {
        if (!settingRunsProgram(key, value))
            continue;
        // A program with its arguments is judged by what it runs, as with -c.
        if (settingNamesProgram(key) && !key.toLower().startsWith(QLatin1String("filter.")))
            review.run(Text::known(value), Language::Shell, scope);
        if (!settingNamesProgram(key) || isShellLine(value))
            review.flagRow("git-one-off-config");
    }
    // A configuration file of settings from outside the project.
    for (const char *name : {"GIT_CONFIG_GLOBAL", "GIT_CONFIG_SYSTEM", "GIT_CONFIG"}) {
        const QString file = values.value(QString::fromLatin1(name));
        if (!file.isEmpty() && file != u"/dev/null" && !isInsideProject(review.place(file, scope)))
            review.flagRow("git-one-off-config");
    }
}

} // namespace agent::CommandReview
