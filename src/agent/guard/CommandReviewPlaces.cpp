#include "agent/guard/CommandReviewPlaces.h"
#include "agent/guard/CommandReviewReasons.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>

namespace agent::CommandReview {

namespace {

QStringList split(const QString &path)
{
    return path.split(u'/', Qt::SkipEmptyParts);
}

// "a/b" is prefix itself or lies under it.
bool under(const QString &joined, QLatin1String prefix)
{
    return joined == prefix || (joined.startsWith(prefix) && joined.size() > prefix.size() && joined.at(prefix.size()) == u'/');
}

bool underAny(const QString &joined, std::initializer_list<const char *> prefixes)
{
    return std::any_of(prefixes.begin(), prefixes.end(), [&](const char *p) { return under(joined, QLatin1String(p)); });
}

// The variable a word starts with ("$HOME", "${HOME}", "${HOME:-x}") and the
// rest after it; nothing when it does not start with that variable.
std::optional<QString> afterVariable(const QString &text, QLatin1String name)
{
    if (text.startsWith(u'$' + name)) {
        const QString rest = text.mid(name.size() + 1);
        if (rest.isEmpty() || !(rest.at(0).isLetterOrNumber() || rest.at(0) == u'_'))
            return rest;
    }
    if (text.startsWith(QStringLiteral("${") + name)) {
        const qsizetype at = name.size() + 2;
        if (at < text.size() && QStringView(u"}:%#/-+=?").contains(text.at(at))) {
            const qsizetype close = text.indexOf(u'}', at);
            return close < 0 ? QString() : text.mid(close + 1);
        }
    }
    return std::nullopt;
}

// Whether a shell pattern ("*", "?", "[...]") matches the whole name. Runs
// of stars are one star and only the last star is backtracked to, so a
// pattern of many stars costs no more than one.
bool globMatches(QStringView pattern, QStringView name)
{
    qsizetype p = 0;
    qsizetype n = 0;
    qsizetype starP = -1;
    qsizetype starN = 0;
    const auto classMatches = [&](qsizetype &at, QChar c) {
        // [abc], [!a-z], [^x]; an unclosed "[" is a plain character.
        const qsizetype close = pattern.indexOf(u']', at + 2);
        if (close < 0)
            return std::optional<bool>();
        qsizetype i = at + 1;
        const bool negate = pattern.at(i) == u'!' || pattern.at(i) == u'^';
        if (negate)
            ++i;
        bool found = false;
        for (; i < close; ++i) {
            if (i + 2 < close && pattern.at(i + 1) == u'-') {
                found = found || (c >= pattern.at(i) && c <= pattern.at(i + 2));
                i += 2;
            } else {
                found = found || c == pattern.at(i);
            }
        }
        at = close;
        return std::optional<bool>(found != negate);
    };
    while (n < name.size()) {
        if (p < pattern.size() && pattern.at(p) == u'*') {
            while (p < pattern.size() && pattern.at(p) == u'*')
                ++p;
            starP = p;
            starN = n;
            continue;
        }
        if (p < pattern.size()) {
            qsizetype at = p;
            bool matched = false;
            if (pattern.at(p) == u'?') {
                matched = true;
            } else if (pattern.at(p) == u'[') {
                const std::optional<bool> inClass = classMatches(at, name.at(n));
                matched = inClass ? *inClass : name.at(n) == u'[';
            } else {
                matched = pattern.at(p) == name.at(n);
            }
            if (matched) {
                p = at + 1;
                ++n;
                continue;
            }
        }
        if (starP < 0)
            return false;
        p = starP;
        n = ++starN;
    }
    while (p < pattern.size() && pattern.at(p) == u'*')
        ++p;
    return p == pattern.size();
}

// Names a pattern component may stand for, most sensitive first: "~/.??h"
// is read as "~/.ssh", "~/.*rc" as "~/.bashrc".
const QStringList &sensitiveNames()
{
    static const QStringList names{
        QStringLiteral(".ssh"),     QStringLiteral("id_rsa"),    QStringLiteral("id_ed25519"), QStringLiteral("id_ecdsa"),
        QStringLiteral("id_dsa"),   QStringLiteral("authorized_keys"), QStringLiteral(".gnupg"), QStringLiteral("keyrings"),
        QStringLiteral(".password-store"), QStringLiteral("com.ovu.QirvMac"), QStringLiteral(".qirv"), QStringLiteral(".aws"),
        QStringLiteral(".netrc"),   QStringLiteral(".git-credentials"), QStringLiteral(".pgpass"), QStringLiteral(".kube"),
        QStringLiteral(".docker"),  QStringLiteral("environ"),   QStringLiteral(".bashrc"),    QStringLiteral(".zshrc"),
        QStringLiteral(".profile"), QStringLiteral(".bash_profile"), QStringLiteral(".zshenv"), QStringLiteral(".zprofile"),
        QStringLiteral(".kshrc"),   QStringLiteral(".local"),    QStringLiteral("share"),      QStringLiteral(".config")};
    return names;
}

// The place with each pattern component replaced by the sensitive name it matches.
Place expanded(const Place &p)
{
    Place out = p;
    static const QRegularExpression stars(QStringLiteral("\\*{3,}"));
    for (QString &part : out.parts) {
        // Three stars or more match what two do (zsh's "**" included).
        if (part.contains(QLatin1String("***")))
            part.replace(stars, QStringLiteral("**"));
        // "*" alone is everything in the folder, judged as that folder. No
        // file name is longer than 255 characters, nor a pattern of one.
        if ((!part.contains(u'*') && !part.contains(u'?') && !part.contains(u'[')) || part == u"*" || part.size() > 255)
            continue;
        for (const QString &name : sensitiveNames()) {
            if (globMatches(part, name)) {
                part = name;
                break;
            }
        }
    }
    return out;
}

} // namespace

Places::Places(const QString &projectRoot) : m_home(QDir::cleanPath(QDir::homePath()))
{
    if (!projectRoot.startsWith(u'/'))
        return;
    const Place root = resolve(QDir::cleanPath(projectRoot), false, {});
    if (!root.parts.isEmpty())
        m_project = root;
}

// A place given from home or "/" (or climbing out of the project) that lies
// in the project is the project's, relative to its root.
Place Places::inProject(Place place) const
{
    if (!m_project)
        return place;
    const QStringList &root = m_project->parts;
    Place whole = place;
    if (place.base == Place::Base::Relative) {
        qsizetype up = 0;
        while (up < place.parts.size() && place.parts.at(up) == u"..")
            ++up;
        if (up == 0 || up > root.size())
            return place;
        whole = {m_project->base, root.mid(0, root.size() - up) + place.parts.mid(up)};
    }
    if (whole.base == m_project->base && whole.parts.size() >= root.size() && std::equal(root.cbegin(), root.cend(), whole.parts.cbegin()))
        return {Place::Base::Relative, whole.parts.mid(root.size())};
    return place;
}

Place Places::resolve(const QString &text, bool tildeLive, const Place &cwd) const
{
    Place place;
    QString rest = text;
    const auto fromVariable = [&](QLatin1String name, Place::Base base, QStringList parts) {
        if (const std::optional<QString> after = afterVariable(text, name)) {
            place = {base, std::move(parts)};
            rest = *after;
            return true;
        }
        return false;
    };
    if (tildeLive && text.startsWith(u'~')) {
        const qsizetype slash = text.indexOf(u'/');
        const QString user = text.mid(1, slash < 0 ? -1 : slash - 1);
        rest = slash < 0 ? QString() : text.mid(slash);
        if (user == u"+")
            place = cwd;
        else if (user == u"-")
            return {Place::Base::Relative, split(text)};
        else
            place = {Place::Base::Home, {}}; // "~" or another user's "~name"
    } else if (fromVariable(QLatin1String("HOME"), Place::Base::Home, {})
               || fromVariable(QLatin1String("XDG_CONFIG_HOME"), Place::Base::Home, {QStringLiteral(".config")})
               || fromVariable(QLatin1String("XDG_DATA_HOME"), Place::Base::Home, {QStringLiteral(".local"), QStringLiteral("share")})
               || fromVariable(QLatin1String("XDG_STATE_HOME"), Place::Base::Home, {QStringLiteral(".local"), QStringLiteral("state")})
               || fromVariable(QLatin1String("XDG_CACHE_HOME"), Place::Base::Home, {QStringLiteral(".cache")})
               || fromVariable(QLatin1String("PWD"), cwd.base, cwd.parts)) {
        // taken from the variable
    } else if (text.startsWith(u'/')) {
        place = {Place::Base::Absolute, {}};
    } else {
        place = cwd;
    }

    for (const QString &part : split(rest)) {
        if (part == u".")
            continue;
        if (part != u"..") {
            place.parts.append(part);
        } else if (!place.parts.isEmpty() && place.parts.last() != u"..") {
            place.parts.removeLast();
        } else if (place.base == Place::Base::Home) {
            place = {Place::Base::Absolute, split(m_home)};
            if (!place.parts.isEmpty())
                place.parts.removeLast();
        } else if (place.base == Place::Base::Relative) {
            place.parts.append(part);
        }
    }

    if (place.base == Place::Base::Absolute) {
        const QStringList home = split(m_home);
        QStringList &p = place.parts;
        if (!home.isEmpty() && p.size() >= home.size() && std::equal(home.cbegin(), home.cend(), p.cbegin()))
            place = {Place::Base::Home, p.mid(home.size())};
        else if (!p.isEmpty() && p.first() == u"root")
            place = {Place::Base::Home, p.mid(1)};
        else if (p.size() >= 2 && p.first() == u"home")
            place = {Place::Base::Home, p.mid(2)}; // someone's home: /home/$USER, /home/*
    }
    return inProject(std::move(place));
}

bool Places::isTopFolder(const Place &p)
{
    if (p.base != Place::Base::Relative)
        return p.parts.size() <= 1;
    if (p.parts.isEmpty())
        return false;
    for (qsizetype i = 0; i < p.parts.size(); ++i) {
        const QString &part = p.parts.at(i);
        if (part != u".." && !(i == p.parts.size() - 1 && i > 0 && part == u"*"))
            return false;
    }
    return true;
}

bool Places::isSystemFolder(const Place &p)
{
    if (p.base != Place::Base::Absolute || p.parts.isEmpty())
        return p.base == Place::Base::Absolute;
    static const QStringList system{QStringLiteral("bin"),  QStringLiteral("boot"),  QStringLiteral("dev"),   QStringLiteral("etc"),
                                    QStringLiteral("lib"),  QStringLiteral("lib32"), QStringLiteral("lib64"), QStringLiteral("libx32"),
                                    QStringLiteral("opt"),  QStringLiteral("proc"),  QStringLiteral("run"),   QStringLiteral("sbin"),
                                    QStringLiteral("snap"), QStringLiteral("srv"),   QStringLiteral("sys"),   QStringLiteral("usr"),
                                    QStringLiteral("var"),  QStringLiteral("mnt"),   QStringLiteral("media"), QStringLiteral("home")};
    const QString joined = p.parts.join(u'/');
    if (under(joined, QLatin1String("var/tmp")) || under(joined, QLatin1String("run/user")) || under(joined, QLatin1String("dev/shm")))
        return false;
    return system.contains(p.parts.first());
}

bool Places::isHomeOrRoot(const Place &p)
{
    if (p.base == Place::Base::Relative)
        return false;
    return p.parts.isEmpty() || p.parts == QStringList{QStringLiteral("*")} || p.parts == QStringList{QStringLiteral(".*")};
}

bool Places::isSystemPlace(const Place &p)
{
    if (p.base != Place::Base::Absolute || p.parts.isEmpty())
        return false;
    static const QStringList system{QStringLiteral("bin"),  QStringLiteral("boot"), QStringLiteral("etc"),   QStringLiteral("lib"),
                                    QStringLiteral("lib32"), QStringLiteral("lib64"), QStringLiteral("libx32"), QStringLiteral("opt"),
                                    QStringLiteral("sbin"), QStringLiteral("snap"), QStringLiteral("sys"),   QStringLiteral("usr"),
                                    QStringLiteral("var")};
    return system.contains(p.parts.first()) && !under(p.parts.join(u'/'), QLatin1String("var/tmp"));
}

bool Places::isSearchPath(const Place &p)
{
    const QString joined = p.parts.join(u'/');
    return (p.base == Place::Base::Home && underAny(joined, {".local/bin", "bin"}))
           || (p.base == Place::Base::Absolute && underAny(joined, {"usr/local/bin", "usr/local/sbin"}));
}

bool Places::isOutsideProject(const Place &p)
{
    switch (p.base) {
    case Place::Base::Home:
        return true;
    case Place::Base::Relative:
        return !p.parts.isEmpty() && p.parts.first() == u"..";
    case Place::Base::Absolute:
        break;
    }
    const QString joined = p.parts.join(u'/');
    return !underAny(joined, {"tmp", "var/tmp", "dev", "run/user", "proc/self/fd"});
}

bool Places::isTrash(const Place &given)
{
    const Place p = expanded(given);
    return p.base == Place::Base::Home && under(p.parts.join(u'/'), QLatin1String(".local/share/Trash"));
}

std::optional<QString> Places::credential(const Place &given)
{
    const Place p = expanded(given);
    const QStringList &q = p.parts;
    const bool home = p.base == Place::Base::Home;
    const bool absolute = p.base == Place::Base::Absolute;
    if (q.contains(QStringLiteral("moonshelf_session.json")))
        return QStringLiteral("app sign-in");
    if (q.contains(QStringLiteral("com.ovu.QirvMac")))
        return QStringLiteral("app data");
    if (absolute && q.size() >= 3 && q.first() == u"proc") {
        // /proc/1/environ, also spelt as a pattern: /proc/*/env*
        if (globMatches(q.last(), u"environ") || globMatches(q.last(), u"mem"))
            return QStringLiteral("process environment");
    }
    for (qsizetype i = 0; i < q.size(); ++i) {
        if (q.at(i) == u"authorized_keys")
            return QStringLiteral("~/.ssh");
        if (q.at(i) != u".ssh")
            continue;
        if (i + 1 == q.size())
            return home && i == 0 ? std::optional(QStringLiteral("~/.ssh")) : std::nullopt;
        const QString &name = q.at(i + 1);
        const bool publicPart = name.endsWith(QLatin1String(".pub")) || name.startsWith(QLatin1String("known_hosts")) || name == u"config";
        if (!publicPart && ((home && i == 0) || name.startsWith(QLatin1String("id_"))))
            return QStringLiteral("~/.ssh");
        return std::nullopt;
    }
    const QString joined = q.join(u'/');
    if (absolute && q.size() == 3 && q.at(0) == u"etc" && q.at(1) == u"ssh" && q.at(2).startsWith(QLatin1String("ssh_host_"))
        && !q.at(2).endsWith(QLatin1String(".pub")))
        return QStringLiteral("~/.ssh");
    if (absolute && (joined == u"etc/shadow" || joined == u"etc/gshadow"))
        return QStringLiteral("saved credentials");
    if (!home)
        return std::nullopt;
    if (under(joined, QLatin1String(".gnupg")))
        return QStringLiteral("~/.gnupg");
    if (underAny(joined, {".local/share/keyrings", ".password-store", ".local/share/kwalletd", ".kde/share/apps/kwallet",
                          ".kde4/share/apps/kwallet"}))
        return QStringLiteral("keyring");
    static const QStringList browserSecrets{QStringLiteral("logins.json"), QStringLiteral("key4.db"), QStringLiteral("key3.db"),
                                            QStringLiteral("cookies.sqlite"), QStringLiteral("Login Data"), QStringLiteral("Cookies"),
                                            QStringLiteral("logins.db"), QStringLiteral("signons.sqlite"), QStringLiteral("Web Data")};
    if (underAny(joined, {".mozilla/firefox", ".config/google-chrome", ".config/chromium", ".config/BraveSoftware"})
        && browserSecrets.contains(q.last()))
        return QStringLiteral("keyring");
    if (underAny(joined, {".qirv", ".config/ovu", ".config/qirv"}))
        return QStringLiteral("app sign-in");
    if (under(joined, QLatin1String(".config/com.ovu")))
        return QStringLiteral("app data");
    if (underAny(joined, {".netrc", ".aws", ".config/gcloud", ".azure", ".docker/config.json", ".kube/config", ".git-credentials",
                          ".config/git/credentials", ".config/gh/hosts.yml", ".pgpass", ".my.cnf", ".npmrc", ".pypirc",
                          ".cargo/credentials", ".cargo/credentials.toml", ".gem/credentials", ".vault-token",
                          ".terraform.d/credentials.tfrc.json", ".config/hub", ".config/glab-cli", ".config/rclone/rclone.conf", ".s3cfg",
                          ".boto", ".config/doctl", ".config/hcloud", ".oci", ".config/op"}))
        return QStringLiteral("saved credentials");
    return std::nullopt;
}

std::optional<QString> Places::credentialInside(const Place &given)
{
    const Place p = expanded(given);
    if (p.base == Place::Base::Absolute) {
        if (p.parts.isEmpty() || p.parts == QStringList{QStringLiteral("home")} || p.parts == QStringList{QStringLiteral("root")})
            return QStringLiteral("~/.ssh");
        if (p.parts == QStringList{QStringLiteral("proc")})
            return QStringLiteral("process environment");
        return std::nullopt;
    }
    if (p.base != Place::Base::Home)
        return std::nullopt;
    static const struct {
        QStringList parts;
        const char *label;
    } places[] = {
        {{QStringLiteral(".ssh")}, "~/.ssh"},
        {{QStringLiteral(".gnupg")}, "~/.gnupg"},
        {{QStringLiteral(".local"), QStringLiteral("share"), QStringLiteral("keyrings")}, "keyring"},
        {{QStringLiteral(".password-store")}, "keyring"},
        {{QStringLiteral(".local"), QStringLiteral("share"), QStringLiteral("com.ovu.QirvMac")}, "app data"},
        {{QStringLiteral(".config"), QStringLiteral("com.ovu")}, "app data"},
        {{QStringLiteral(".qirv")}, "app sign-in"},
        {{QStringLiteral(".config"), QStringLiteral("ovu")}, "app sign-in"},
        {{QStringLiteral(".aws")}, "saved credentials"},
        {{QStringLiteral(".config"), QStringLiteral("gcloud")}, "saved credentials"},
        {{QStringLiteral(".config"), QStringLiteral("gh")}, "saved credentials"},
        {{QStringLiteral(".kube")}, "saved credentials"},
        {{QStringLiteral(".docker")}, "saved credentials"},
    };
    for (const auto &place : places) {
        if (p.parts.size() < place.parts.size() && std::equal(p.parts.cbegin(), p.parts.cend(), place.parts.cbegin()))
            return QString::fromLatin1(place.label);
    }
    return std::nullopt;
}

bool Places::isSshFolder(const Place &p)
{
    return p.base == Place::Base::Home && !p.parts.isEmpty() && p.parts.first() == u".ssh";
}

bool Places::isStartupFile(const Place &given)
{
    const Place p = expanded(given);
    const QString joined = p.parts.join(u'/');
    if (p.base == Place::Base::Home) {
        static const QStringList files{
            QStringLiteral(".bashrc"),  QStringLiteral(".bash_profile"), QStringLiteral(".bash_login"), QStringLiteral(".bash_logout"),
            QStringLiteral(".profile"), QStringLiteral(".zshrc"),        QStringLiteral(".zshenv"),     QStringLiteral(".zprofile"),
            QStringLiteral(".zlogin"),  QStringLiteral(".zlogout"),      QStringLiteral(".kshrc"),      QStringLiteral(".mkshrc"),
            QStringLiteral(".cshrc"),   QStringLiteral(".tcshrc"),       QStringLiteral(".login"),      QStringLiteral(".logout"),
            QStringLiteral(".xprofile"), QStringLiteral(".xsessionrc"),  QStringLiteral(".xinitrc"),    QStringLiteral(".xsession"),
            QStringLiteral(".pam_environment"), QStringLiteral(".config/fish/config.fish"), QStringLiteral(".bash_aliases")};
        return files.contains(joined) || underAny(joined, {".config/fish/conf.d", ".config/fish/functions", ".config/environment.d", ".bashrc.d"});
    }
    if (p.base == Place::Base::Absolute) {
        static const QStringList files{QStringLiteral("etc/profile"), QStringLiteral("etc/bash.bashrc"), QStringLiteral("etc/bashrc"),
                                       QStringLiteral("etc/environment"), QStringLiteral("etc/zshrc"), QStringLiteral("etc/zprofile"),
                                       QStringLiteral("etc/zshenv"), QStringLiteral("etc/zlogin"), QStringLiteral("etc/csh.cshrc"),
                                       QStringLiteral("etc/csh.login")};
        return files.contains(joined) || underAny(joined, {"etc/profile.d", "etc/zsh"});
    }
    return false;
}

std::optional<QString> Places::persistence(const Place &p)
{
    const QString joined = p.parts.join(u'/');
    const bool home = p.base == Place::Base::Home;
    const bool absolute = p.base == Place::Base::Absolute;
    if ((home && underAny(joined, {".config/autostart", ".config/autostart-scripts", ".config/plasma-workspace/env", ".config/plasma-workspace/shutdown",
                                   ".kde/Autostart", ".kde4/Autostart"}))
        || (absolute && under(joined, QLatin1String("etc/xdg/autostart"))))
        return reasonOf("autostart");
    if ((home && underAny(joined, {".config/systemd/user", ".local/share/systemd/user"}))
        || (absolute && underAny(joined, {"etc/systemd/system", "etc/init.d", "etc/rc.local"})))
        return reasonOf("service-manager");
    if (p.base == Place::Base::Absolute && ((p.parts.size() >= 2 && p.parts.at(0) == u"etc" && p.parts.at(1).startsWith(QLatin1String("cron")))
                                            || under(joined, QLatin1String("var/spool/cron"))))
        return reasonOf("scheduled");
    return std::nullopt;
}

bool Places::isToolConfig(const Place &p)
{
    const QString joined = p.parts.join(u'/');
    const bool desktopEntry = joined.endsWith(QLatin1String(".desktop")) && p.base != Place::Base::Relative;
    if (p.base == Place::Base::Home) {
        static const QStringList files{
            QStringLiteral(".gitconfig"), QStringLiteral(".npmrc"), QStringLiteral(".yarnrc"), QStringLiteral(".yarnrc.yml"),
            QStringLiteral(".pydistutils.cfg"), QStringLiteral(".pypirc"), QStringLiteral(".gemrc"), QStringLiteral(".condarc"),
            QStringLiteral(".vimrc"), QStringLiteral(".gvimrc"), QStringLiteral(".exrc"), QStringLiteral(".emacs"), QStringLiteral(".emacs.el"),
            QStringLiteral(".gdbinit"), QStringLiteral(".lldbinit"), QStringLiteral(".nanorc"), QStringLiteral(".inputrc"),
            QStringLiteral(".tmux.conf"), QStringLiteral(".screenrc"), QStringLiteral(".wgetrc"), QStringLiteral(".curlrc"),
            QStringLiteral(".psqlrc"), QStringLiteral(".sqliterc"), QStringLiteral(".irbrc"), QStringLiteral(".pryrc"),
            QStringLiteral(".pythonrc"), QStringLiteral(".pythonrc.py"), QStringLiteral(".config/mimeapps.list"),
            QStringLiteral(".local/share/applications/mimeapps.list"), QStringLiteral(".m2/settings.xml"),
            QStringLiteral(".gradle/gradle.properties"), QStringLiteral(".gradle/init.gradle"), QStringLiteral(".ideavimrc"),
            QStringLiteral(".direnvrc"), QStringLiteral(".Rprofile"), QStringLiteral(".aws/config")};
        return desktopEntry || files.contains(joined)
               || underAny(joined, {".config/git", ".pip", ".config/pip", ".cargo/config", ".cargo/config.toml", ".bundle", ".config/go",
                                    ".vim", ".config/nvim", ".emacs.d", ".config/emacs", ".config/gdb", ".config/nano", ".config/tmux",
                                    ".config/yarn", ".config/pnpm", ".gradle/init.d", ".config/Code/User", ".config/VSCodium/User",
                                    ".local/share/applications", ".config/containers", ".config/pypoetry", ".config/helix", ".config/micro",
                                    ".config/kak", ".jupyter", ".ipython/profile_default/startup", ".config/direnv", ".julia/config",
                                    ".config/gh", ".config/glab-cli", ".kube/config", ".config/gcloud/configurations"});
    }
    if (p.base == Place::Base::Absolute)
        return desktopEntry || joined == u"etc/gitconfig" || joined == u"etc/pip.conf" || joined == u"etc/npmrc" || joined == u"etc/gdb/gdbinit";
    return false;
}

bool Places::isActivation(const Place &p)
{
    const QString joined = p.parts.join(u'/');
    return (p.base == Place::Base::Home && underAny(joined, {".local/share/dbus-1"}))
           || (p.base == Place::Base::Absolute && underAny(joined, {"usr/share/dbus-1", "usr/local/share/dbus-1", "etc/dbus-1"}));
}

QString Places::label(const Place &p)
{
    switch (p.base) {
    case Place::Base::Home:
        return p.parts.isEmpty() ? QStringLiteral("~") : QStringLiteral("~/") + p.parts.join(u'/');
    case Place::Base::Absolute:
        return u'/' + p.parts.join(u'/');
    case Place::Base::Relative:
        break;
    }
    return p.parts.join(u'/');
}

bool Places::isDevice(const QString &path)
{
    static const QRegularExpression harmless(
        QStringLiteral("^/dev/(null|zero|full|u?random|stdin|stdout|stderr|tty[0-9]*|ptmx|fd/.*|pts/.*|shm/.*|tcp/.*|udp/.*)$"));
    return path.startsWith(QLatin1String("/dev/")) && !harmless.match(path).hasMatch();
}

bool Places::mentionsCredential(const QString &text)
{
    static const QRegularExpression markers(QStringLiteral(
        "\\.ssh/(?!known_hosts|config\\b)[^'\"\\s]*|\\bid_(rsa|dsa|ecdsa|ed25519)\\b(?!\\.pub)|authorized_keys|\\.gnupg|/keyrings\\b|"
        "\\.password-store|\\.netrc|\\.aws/credentials|\\.git-credentials|\\.kube/config|\\.docker/config\\.json|\\.pgpass|"
        "moonshelf_session|com\\.ovu\\.QirvMac|\\.qirv\\b|\\.config/(?:ovu|qirv)\\b|(ovu|qirv)/api_key|/proc/[^'\"\\s]*/environ|/etc/shadow\\b|"
        "\\bkeyring\\.get_(password|credential)\\b|\\bsecretstorage\\b|\\bSecret\\.password_lookup|org\\.freedesktop\\.secrets"));
    return markers.match(text).hasMatch();
}

bool isInsideProject(const Place &p)
{
    return p.base == Place::Base::Relative && !Places::isOutsideProject(p);
}

} // namespace agent::CommandReview
