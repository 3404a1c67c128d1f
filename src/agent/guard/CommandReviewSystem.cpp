// Conditions of the rows about the machine: power, packages, privileges,
// network, settings, services, disks and git history.
#include "agent/guard/CommandReviewConditions.h"

#include <QRegularExpression>

namespace agent::CommandReview::Conditions {

namespace {

// A mode that sets the set-user-id or set-group-id bit: octal with 4 or 2 in
// its leading digit of four, or a symbolic clause adding or setting s.
bool setsIdBits(const QString &mode)
{
    static const QRegularExpression octal(QStringLiteral("^[=+]?0?([0-7])[0-7]{3}$"));
    if (const QRegularExpressionMatch m = octal.match(mode); m.hasMatch())
        return (m.captured(1).toInt() & 6) != 0;
    static const QRegularExpression clause(QStringLiteral("^[ugoa]*[+=][rwxXt]*s"));
    const QStringList parts = mode.split(u',');
    return std::any_of(parts.cbegin(), parts.cend(), [](const QString &p) { return clause.match(p).hasMatch(); });
}

// A size of a gigabyte or more: 1G, 10GiB, 2T, 1073741824.
bool isHuge(const QString &size)
{
    static const QRegularExpression re(QStringLiteral("^\\+?(\\d+(?:\\.\\d+)?)\\s*([KMGTPE]?)(?:i?B)?$"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = re.match(size);
    if (!m.hasMatch())
        return false;
    const QString unit = m.captured(2).toUpper();
    const double value = m.captured(1).toDouble();
    if (unit.isEmpty())
        return value >= 1073741824.0;
    if (unit == u"K")
        return value >= 1048576.0;
    if (unit == u"M")
        return value >= 1024.0;
    return true;
}

// systemctl VERB, loginctl VERB: the verbs of the power and service rows.
bool managerVerb(const RuleContext &c, const char *verbs)
{
    return anyOperandIn(c, verbs);
}

} // namespace

bool chmodIdBits(const RuleContext &c)
{
    if (c.inv.name == u"chmod")
        return !c.operands.isEmpty() && setsIdBits(c.operands.first());
    // install -m MODE, mkdir -m MODE, --mode=MODE
    const QStringList a = c.inv.texts();
    for (qsizetype i = 0; i < a.size(); ++i) {
        if ((a.at(i) == u"-m" || a.at(i) == u"--mode") && i + 1 < a.size() && setsIdBits(a.at(i + 1)))
            return true;
        if (a.at(i).startsWith(QLatin1String("--mode=")) && setsIdBits(a.at(i).mid(7)))
            return true;
        if (a.at(i).startsWith(QLatin1String("-m")) && a.at(i).size() > 2 && setsIdBits(a.at(i).mid(2)))
            return true;
    }
    return false;
}

// pacman, yay, paru: -R and its clusters (-Rns), --remove.
bool pacmanRemoves(const RuleContext &c)
{
    for (const Word *w : c.inv.args) {
        if (w->text == u"--remove" || (w->text.startsWith(u'-') && !w->text.startsWith(QLatin1String("--")) && w->text.mid(1, 1) == u"R"))
            return true;
    }
    return false;
}

// Desktop and system settings: set verbs of the settings tools.
bool settingChanged(const RuleContext &c)
{
    const QString &n = c.inv.name;
    if (n == u"sysctl")
        return c.flags.has(u'w', u"--write") || c.flags.has(u'p', u"--load") || c.flags.hasLong(u"--system")
               || std::any_of(c.operands.cbegin(), c.operands.cend(), [](const QString &o) { return o.contains(u'='); });
    if (isOneOf(n, {u"hostnamectl", u"timedatectl", u"localectl"}))
        return !c.operands.isEmpty() && (c.operands.first().startsWith(QLatin1String("set-")) || (n == u"hostnamectl" && c.operands.size() >= 2));
    if (n == u"gsettings")
        return firstOperandIn(c, "set reset reset-recursively");
    if (n == u"dconf")
        return firstOperandIn(c, "write reset load");
    if (n == u"xdg-settings")
        return firstOperandIn(c, "set");
    if (n == u"xdg-mime")
        return firstOperandIn(c, "default install uninstall");
    if (n == u"update-alternatives")
        return c.flags.hasLong(u"--set") || c.flags.hasLong(u"--install") || c.flags.hasLong(u"--remove") || c.flags.hasLong(u"--config")
               || c.flags.hasLong(u"--auto") || c.flags.hasLong(u"--remove-all") || c.flags.hasLong(u"--all");
    return isOneOf(n, {u"kwriteconfig5", u"kwriteconfig6"});
}

// Network changes: ip OBJECT VERB, ifconfig with settings, route add/del ...
bool networkChanged(const RuleContext &c)
{
    const QString &n = c.inv.name;
    if (n == u"ip") {
        static const QStringList verbs{QStringLiteral("add"), QStringLiteral("a"), QStringLiteral("del"), QStringLiteral("delete"),
                                       QStringLiteral("d"), QStringLiteral("flush"), QStringLiteral("f"), QStringLiteral("set"),
                                       QStringLiteral("change"), QStringLiteral("replace"), QStringLiteral("append"), QStringLiteral("prepend")};
        // ip [options] OBJECT VERB ...; "ip a" alone lists addresses.
        return c.operands.size() >= 2 && verbs.contains(c.operands.at(1));
    }
    if (n == u"ifconfig")
        return c.operands.size() >= 2;
    if (n == u"route")
        return firstOperandIn(c, "add del delete flush");
    if (n == u"nmcli")
        return anyOperandIn(c, "off delete del down disconnect modify mod add edit up connect reapply set import clone load reload hostname");
    if (n == u"rfkill")
        return firstOperandIn(c, "block unblock");
    if (n == u"resolvectl")
        return firstOperandIn(c, "dns domain default-route llmnr mdns dnssec dnsovertls nta revert");
    if (n == u"systemd-resolve")
        return std::any_of(c.flags.longOptions.cbegin(), c.flags.longOptions.cend(),
                           [](const QString &o) { return o.startsWith(QLatin1String("--set-")) || o == u"--revert"; });
    if (n == u"tc")
        return anyOperandIn(c, "add del delete change replace link");
    if (n == u"networkctl")
        return firstOperandIn(c, "up down reload reconfigure delete forcerenew renew edit");
    if (isOneOf(n, {u"wg-quick"}))
        return firstOperandIn(c, "up down");
    if (n == u"wg")
        return firstOperandIn(c, "set setconf addconf syncconf");
    if (n == u"iw")
        return anyOperandIn(c, "set del connect disconnect");
    if (n == u"ethtool")
        return std::any_of(c.inv.args.cbegin(), c.inv.args.cend(), [](const Word *w) {
            return isOneOf(w->text, {u"-s", u"--change", u"-K", u"--offload", u"-A", u"--pause", u"-C", u"--coalesce", u"-G",
                                     u"--set-ring", u"-L", u"--set-channels", u"-E", u"--change-eeprom", u"-f", u"--flash"});
        });
    if (n == u"netplan")
        return firstOperandIn(c, "apply set try");
    if (n == u"brctl")
        return !c.operands.isEmpty() && !isOneOf(c.operands.first(), {u"show", u"showmacs", u"showstp"});
    if (n == u"iwconfig")
        return c.operands.size() >= 2;
    if (n == u"wpa_cli")
        return !c.operands.isEmpty() && !firstOperandIn(c, "status list_networks scan scan_results ping help interface_list");
    return isOneOf(n, {u"ifdown", u"ifup", u"dhclient"});
}

// nft: everything but listing, describing and watching.
bool nftChanges(const RuleContext &c)
{
    return !c.operands.isEmpty() && !firstOperandIn(c, "list describe monitor help");
}

bool ufwChanges(const RuleContext &c)
{
    return !c.operands.isEmpty() && !firstOperandIn(c, "status show version app help");
}

bool firewallCmdChanges(const RuleContext &c)
{
    const QStringList longs = c.flags.longOptions;
    return std::any_of(longs.cbegin(), longs.cend(), [](const QString &o) {
        static const QStringList reading{QStringLiteral("--list-"), QStringLiteral("--get-"), QStringLiteral("--query-"), QStringLiteral("--info-"),
                                         QStringLiteral("--state"), QStringLiteral("--check-config"), QStringLiteral("--zone"),
                                         QStringLiteral("--permanent"), QStringLiteral("--help"), QStringLiteral("--version")};
        return std::none_of(reading.cbegin(), reading.cend(), [&](const QString &r) { return o.startsWith(r); });
    });
}

// fallocate, truncate -s, mkfile, dd of= of a file not in the project, or
// of a gigabyte or more anywhere.
bool fillsDisk(const RuleContext &c)
{
    const QString &n = c.inv.name;
    const QStringList a = c.inv.texts();
    if (n == u"dd") {
        for (const QString &x : a) {
            if (x.startsWith(QLatin1String("of="))) {
                const Place p = c.review.place(x.mid(3), c.scope);
                return !isInsideProject(p) && !x.startsWith(QLatin1String("of=/dev/"));
            }
        }
        return false;
    }
    QString size;
    for (qsizetype i = 0; i + 1 < a.size(); ++i) {
        if (isOneOf(a.at(i), {u"-l", u"--length", u"-s", u"--size", u"-o", u"--offset"}))
            size = a.at(i + 1);
    }
    for (const QString &x : a) {
        if (x.startsWith(QLatin1String("--length=")) || x.startsWith(QLatin1String("--size=")))
            size = x.mid(x.indexOf(u'=') + 1);
    }
    if (n == u"truncate")
        return isHuge(size); // made smaller, or a little larger: a write, judged as such
    if (isHuge(size))
        return true;
    std::vector<Place> places;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (isOneOf(a.at(i), {u"-l", u"--length", u"-s", u"--size", u"-o", u"--offset", u"-r", u"--reference"})) {
            ++i;
            continue;
        }
        if (!a.at(i).startsWith(u'-'))
            places.push_back(c.review.place(*c.inv.args[std::size_t(i)], c.scope));
    }
    if (n == u"mkfile" || n == u"xfs_mkfile")
        return true;
    return std::any_of(places.cbegin(), places.cend(), [](const Place &p) {
        return !isInsideProject(p) && !(p.base == Place::Base::Absolute && p.parts.value(0) == u"dev");
    });
}

// tar -P / --absolute-names when extracting; unzip -: ; cpio -i keeping
// absolute names.
bool absoluteMembers(const RuleContext &c)
{
    const QStringList a = c.inv.texts();
    const QString &n = c.inv.name;
    if (n == u"tar" || n == u"bsdtar" || n == u"gtar") {
        const QString first = a.value(0);
        const bool extracting = a.contains(QStringLiteral("--extract")) || a.contains(QStringLiteral("--get"))
                                || (!first.startsWith(QLatin1String("--")) && first.contains(u'x'))
                                || std::any_of(a.cbegin(), a.cend(), [](const QString &x) { return x.startsWith(u'-') && !x.startsWith(QLatin1String("--")) && x.contains(u'x'); });
        const bool absolute = a.contains(QStringLiteral("--absolute-names"))
                              || (!first.startsWith(QLatin1String("--")) && first.contains(u'P') && !first.startsWith(u'-'))
                              || std::any_of(a.cbegin(), a.cend(), [](const QString &x) { return x.startsWith(u'-') && !x.startsWith(QLatin1String("--")) && x.contains(u'P'); });
        return extracting && absolute;
    }
    if (n == u"unzip")
        return a.contains(QStringLiteral("-:"));
    if (n == u"cpio")
        return (c.flags.has(u'i', u"--extract")) && !c.flags.hasLong(u"--no-absolute-filenames");
    return false;
}

// busctl, dbus-send, gdbus calls that enable or start units or set lingering.
bool managerCall(const RuleContext &c)
{
    static const QRegularExpression methods(QStringLiteral(
        "\\b(?:StartTransientUnit|EnableUnitFiles|ReenableUnitFiles|LinkUnitFiles|PresetUnitFiles|StartUnit|RestartUnit|"
        "ReloadOrRestartUnit|SetEnvironment|SetUserLinger|AddDependencyUnitFiles)\\b"));
    const QStringList a = c.inv.texts();
    return std::any_of(a.cbegin(), a.cend(), [](const QString &x) { return methods.match(x).hasMatch(); });
}

bool atSchedules(const RuleContext &c)
{
    return !(c.flags.has(u'l') || c.flags.has(u'c') || c.flags.has(u'd') || c.flags.has(u'r') || c.flags.has(u'V'));
}

// git rebase onto an upstream is everyday work; an interactive rebase, one
// from the root or onto a range rewrites what the model picks.
bool rebaseRewrites(const RuleContext &c)
{
    return c.flags.has(u'i', u"--interactive") || c.flags.hasLong(u"--root") || c.flags.hasLong(u"--onto");
}

// git update-ref moving a branch that exists, deleting one, or reading a
// list of changes; creating a new ref is everyday.
bool updateRefMoves(const RuleContext &c)
{
    if (c.flags.has(u'd', u"--delete"))
        return false; // a deleted ref has a rule of its own
    if (c.flags.hasLong(u"--stdin"))
        return true;
    if (c.operands.size() < 2)
        return false;
    if (c.operands.size() >= 3)
        return true; // the old value given: a move
    static const QRegularExpression known(QStringLiteral("^(?:HEAD|(?:refs/heads/)?(?:main|master|trunk|develop|release.*)|refs/remotes/.*|refs/tags/.*)$"));
    const QString &value = c.operands.at(1);
    return known.match(c.operands.first()).hasMatch() || value.contains(u'~') || value.contains(u'^') || value.contains(u'@')
           || value.startsWith(QLatin1String("0000000"));
}

// The row "suspend".
bool suspends(const RuleContext &c)
{
    return managerVerb(c, "suspend hibernate hybrid-sleep suspend-then-hibernate");
}

// The row "stops-services".
bool stopsServices(const RuleContext &c)
{
    if (c.inv.name == u"service")
        return isOneOf(c.operandsBefore.value(1), {u"stop", u"force-stop"});
    return isOneOf(c.operandsBefore.value(0), {u"stop", u"mask", u"isolate", u"rescue", u"emergency", u"disable"});
}

// The row "kills-others".
bool killsOthers(const RuleContext &c)
{
    if (c.inv.name == u"fuser")
        return c.flags.has(u'k', u"--kill");
    if (c.inv.name == u"systemctl")
        return c.operandsBefore.value(0) == u"kill";
    if (c.inv.name == u"loginctl")
        return std::any_of(c.operandsBefore.cbegin(), c.operandsBefore.cend(), [](const QString &o) {
            return o.startsWith(QLatin1String("kill-")) || o.startsWith(QLatin1String("terminate-"));
        });
    return true;
}

// The row "trash-emptied".
bool emptiesTrash(const RuleContext &c)
{
    return c.inv.name == u"trash-empty" || (c.operandsBefore.value(0) == u"trash" && c.flags.hasLong(u"--empty"));
}

// The row "package-remove-other".
bool removesOtherPackages(const RuleContext &c)
{
    const QString &n = c.inv.name;
    if (n == u"rpm")
        return c.flags.has(u'e', u"--erase");
    if (n == u"nix")
        return c.operandsBefore.mid(0, 2) == QStringList{QStringLiteral("profile"), QStringLiteral("remove")};
    if (n == u"npm")
        return c.operandsBefore.value(0) == u"prune" && c.flags.has(u'g', u"--global");
    if (n == u"bun")
        return c.operandsBefore.mid(0, 2) == QStringList{QStringLiteral("pm"), QStringLiteral("rm")} && c.flags.has(u'g', u"--global");
    if (n == u"gem")
        return c.operandsBefore.value(0) == u"cleanup" && !c.flags.has(u'n', u"--dry-run");
    if (n == u"nix-collect-garbage")
        return c.flags.has(u'd', u"--delete-old") || c.flags.hasLong(u"--delete-older-than");
    return true;
}

// The row "other-package-remove".
bool removesToolPackages(const RuleContext &c)
{
    const QString &n = c.inv.name;
    if (n == u"go")
        return c.flags.longOptions.contains(QStringLiteral("-modcache")) || c.inv.texts().contains(QStringLiteral("-modcache"));
    if (n == u"dotnet")
        return c.flags.has(u'g', u"--global");
    if (n == u"poetry")
        return c.inv.texts().value(0) == u"self";
    if (n == u"cpanm")
        return c.flags.hasLong(u"--uninstall") || c.flags.has(u'U');
    return n != u"composer" || c.inv.texts().value(0) == u"global";
}

// The row "container-host-root".
bool givesContainerTheHost(const RuleContext &c)
{
    // A container given the host: privileged, the host's root or
    // system folders mounted, its process table, or all capabilities.
    static const QRegularExpression hostMount(QStringLiteral("^(?:/|/etc|/root|/home|/usr|/var|/boot|/var/run/docker\\.sock|/run/docker\\.sock)/?(?::|$)"));
    const QStringList a = c.inv.texts();
    for (qsizetype i = 0; i < a.size(); ++i) {
        const QString &x = a.at(i);
        if (x == u"--privileged" || x == u"--pid=host" || x == u"--userns=host" || x.startsWith(QLatin1String("--cap-add=ALL"))
            || x.startsWith(QLatin1String("--cap-add=SYS_ADMIN")))
            return true;
        QString mount;
        if ((x == u"-v" || x == u"--volume" || x == u"--mount" || x == u"--pid" || x == u"--cap-add") && i + 1 < a.size())
            mount = x == u"--pid" || x == u"--cap-add" ? x + u'=' + a.at(i + 1) : a.at(i + 1);
        else if (x.startsWith(QLatin1String("--volume=")) || x.startsWith(QLatin1String("--mount=")))
            mount = x.section(u'=', 1);
        if (mount == u"--pid=host" || mount == u"--cap-add=ALL" || mount == u"--cap-add=SYS_ADMIN")
            return true;
        if (mount.startsWith(QLatin1String("type=bind")))
            mount = mount.section(QLatin1String("source="), 1).section(u',', 0, 0) + u':';
        if (hostMount.match(mount).hasMatch())
            return true;
    }
    return false;
}

// The row "package-manager-config".
bool changesPackageManagerConfig(const RuleContext &c)
{
    const QString &n = c.inv.name;
    if (n == u"gem")
        return c.flags.has(u'a', u"--add") || c.flags.has(u'r', u"--remove") || c.flags.hasLong(u"--clear-all");
    if (n == u"go")
        return c.flags.has(u'w') || c.flags.has(u'u');
    if (n == u"conda" || n == u"mamba")
        return c.flags.hasLong(u"--add") || c.flags.hasLong(u"--set") || c.flags.hasLong(u"--remove") || c.flags.hasLong(u"--append")
               || c.flags.hasLong(u"--prepend") || c.flags.hasLong(u"--remove-key");
    if (n == u"poetry" || n == u"bundle")
        return c.operands.size() >= 2 && !c.flags.hasLong(u"--list") && !c.flags.hasLong(u"--unset") && !firstOperandIn(c, "get list");
    return !c.operands.isEmpty() && !isOneOf(c.operands.first(), {u"get", u"list", u"ls", u"debug"});
}

// The row "cli-config".
bool changesCliConfig(const RuleContext &c)
{
    const QStringList o = c.operandsBefore;
    const QString &n = c.inv.name;
    if (n == u"aws")
        return o.value(0) == u"configure" && o.value(1) != u"get" && o.value(1) != u"list";
    if (n == u"kubectl")
        return o.value(0) == u"config" && !isOneOf(o.value(1), {u"view", u"get-contexts", u"current-context", u"get-clusters", u"get-users"});
    return o.value(0) == u"config" && isOneOf(o.value(1), {u"set", u"unset", u"clear-cache"});
}

// The row "global-package-config".
bool changesGlobalPackageConfig(const RuleContext &c)
{
    const QStringList o = c.operandsBefore;
    if (c.inv.name == u"dotnet")
        return o.value(0) == u"nuget" && isOneOf(o.value(1), {u"add", u"update", u"remove", u"enable", u"disable", u"config"})
               && o.value(2) != u"get";
    return o.value(0) == u"config" && c.flags.has(u'g', u"--global") && o.size() >= 2 && !c.flags.hasLong(u"--list");
}

// The row "default-toolchain".
bool changesDefaultToolchain(const RuleContext &c)
{
    const QStringList o = c.operandsBefore;
    const QString &n = c.inv.name;
    if (n == u"rustup")
        return (o.value(0) == u"default" && o.size() >= 2) || (o.value(0) == u"set" && o.size() >= 2);
    if (n == u"nvm")
        return o.value(0) == u"alias" && o.value(1) == u"default" && o.size() >= 3;
    if (n == u"mise" || n == u"rtx")
        return o.value(0) == u"use" && c.flags.has(u'g', u"--global");
    if (n == u"asdf")
        return (o.value(0) == u"global" && o.size() >= 3) || (o.value(0) == u"set" && c.flags.has(u'u', u"--home"));
    return o.value(0) == u"global" && o.size() >= 2;
}

// The row "desktop-entry".
bool installsDesktopEntry(const RuleContext &c)
{
    return c.inv.name == u"desktop-file-install" || firstOperandIn(c, "install uninstall"); 
}

// The row "init-scripts".
bool changesInitScripts(const RuleContext &c)
{
    return !c.operandsBefore.isEmpty() && !isOneOf(c.operandsBefore.first(), {u"show", u"list"});
}

// The row "accounts-call".
bool callsAccounts(const RuleContext &c)
{
    static const QRegularExpression methods(QStringLiteral("\\b(?:SetAccountType|SetPassword|CreateUser|DeleteUser|SetPasswordMode)\\b"));
    const QStringList a = c.inv.texts();
    return std::any_of(a.cbegin(), a.cend(), [](const QString &x) { return methods.match(x).hasMatch(); });
}

} // namespace agent::CommandReview::Conditions
