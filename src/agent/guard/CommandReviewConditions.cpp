#include "agent/guard/CommandReviewConditions.h"

#include <QRegularExpression>

namespace agent::CommandReview::Conditions {

namespace {

// The value of an option given as "--name=value", "--name value", "-x value"
// or "-xvalue"; every value when it is given more than once.
QStringList optionValues(const RuleContext &c, std::initializer_list<const char16_t *> names)
{
    QStringList out;
    const QStringList a = c.inv.texts();
    for (qsizetype i = 0; i < a.size(); ++i) {
        const QString &x = a.at(i);
        if (x == u"--")
            break;
        for (const char16_t *n : names) {
            const QStringView name(n);
            if (x == name && i + 1 < a.size())
                out.append(a.at(i + 1));
            else if (name.startsWith(u"--") && x.startsWith(name) && x.size() > name.size() && x.at(name.size()) == u'=')
                out.append(x.mid(name.size() + 1));
            else if (name.size() == 2 && !name.startsWith(u"--") && x.startsWith(name) && x.size() > 2)
                out.append(x.mid(2));
        }
    }
    return out;
}

bool hasAnyLong(const RuleContext &c, std::initializer_list<const char16_t *> names)
{
    return std::any_of(names.begin(), names.end(), [&](const char16_t *n) { return c.flags.hasLong(QStringView(n)); });
}

// A package spec that names where to fetch it rather than a name in the
// tool's index: a URL, a version-control spec, a hosted repository.
bool isRemoteSpec(const QString &spec)
{
    static const QRegularExpression remote(QStringLiteral(
        "^(?:[a-z0-9+.-]+://|(?:git|hg|svn|bzr)\\+|git@|(?:github|gitlab|bitbucket|gist):)|\\s@\\s*[a-z+]+://|^[^@\\s]+ ?@ ?(?:https?|git\\+|file):"),
        QRegularExpression::CaseInsensitiveOption);
    return remote.match(spec).hasMatch();
}

// An index or registry other than the tool's own public one.
bool isForeignIndex(const QString &url)
{
    static const QRegularExpression own(QStringLiteral(
        "^https://(?:pypi\\.org/simple|pypi\\.python\\.org/simple|files\\.pythonhosted\\.org|registry\\.npmjs\\.org|registry\\.yarnpkg\\.com|"
        "rubygems\\.org|index\\.crates\\.io|github\\.com/rust-lang/crates\\.io-index)/?"));
    return !own.match(url).hasMatch();
}

// npm's shorthand for a GitHub repository: "owner/repo", not a scoped
// "@scope/name" and not a path.
bool isRepositoryShorthand(const QString &spec)
{
    static const QRegularExpression shorthand(QStringLiteral("^[A-Za-z0-9_.-]+/[A-Za-z0-9_.-]+(?:#.*)?$"));
    return !spec.startsWith(u'.') && shorthand.match(spec).hasMatch();
}

bool isNetworkClient(const QString &name)
{
    return isOneOf(name, {u"curl", u"wget", u"wget2", u"http", u"https", u"xh", u"xhs", u"httpie", u"aria2c", u"nc", u"ncat", u"netcat",
                          u"socat", u"telnet", u"openssl", u"lftp", u"ftp", u"tftp", u"git"});
}

} // namespace

bool anyOperandIn(const RuleContext &c, const char *list)
{
    const QStringList wanted = QString::fromUtf8(list).split(u' ', Qt::SkipEmptyParts);
    return std::any_of(c.operands.cbegin(), c.operands.cend(), [&](const QString &o) { return wanted.contains(o.toLower()); });
}

bool firstOperandIn(const RuleContext &c, const char *list)
{
    return !c.operands.isEmpty() && QString::fromUtf8(list).split(u' ', Qt::SkipEmptyParts).contains(c.operands.first().toLower());
}

bool shutsDown(const RuleContext &c)
{
    const QString &n = c.inv.name;
    if (isOneOf(n, {u"poweroff", u"halt"}))
        return !c.flags.has(u'w', u"--wtmp-only");
    if (n == u"shutdown")
        return !c.flags.has(u'c') && !c.flags.has(u'k') && !c.flags.hasLong(u"--show");
    if (isOneOf(n, {u"init", u"telinit"}))
        return c.operandsBefore.value(0) == u"0";
    // rtcwake sleeps or powers off unless only asked about the alarm;
    // kexec -e boots another kernel at once.
    if (n == u"rtcwake") {
        const QString mode = optionValues(c, {u"-m", u"--mode"}).value(0);
        return !isOneOf(mode, {u"no", u"show", u"disable"}) && !c.flags.has(u'n', u"--dry-run");
    }
    if (n == u"kexec")
        return c.flags.has(u'e', u"--exec");
    return std::any_of(c.operandsBefore.cbegin(), c.operandsBefore.cend(), [](const QString &o) { return isOneOf(o, {u"poweroff", u"halt", u"kexec"}); });
}

bool reboots(const RuleContext &c)
{
    if (c.inv.name == u"reboot")
        return !c.flags.has(u'w', u"--wtmp-only");
    if (isOneOf(c.inv.name, {u"init", u"telinit"}))
        return c.operandsBefore.value(0) == u"6";
    return c.operandsBefore.contains(QStringLiteral("reboot"));
}

bool changesCron(const RuleContext &c)
{
    // crontab -l lists; everything else installs (a file, "-" for the
    // input), edits or removes the table.
    return !c.flags.has(u'l') && !c.flags.has(u'V');
}

bool changesBootSettings(const RuleContext &c)
{
    const QString &n = c.inv.name;
    if (n == u"efibootmgr")
        return c.flags.has(u'a') || c.flags.has(u'A') || c.flags.has(u'B') || c.flags.has(u'c') || c.flags.has(u'C') || c.flags.has(u'D')
               || c.flags.has(u'n') || c.flags.has(u'N') || c.flags.has(u'o') || c.flags.has(u'O') || c.flags.has(u't') || c.flags.has(u'T')
               || hasAnyLong(c, {u"--active", u"--inactive", u"--delete-bootnum", u"--create", u"--create-only", u"--remove-dups",
                                 u"--bootnext", u"--delete-bootnext", u"--bootorder", u"--delete-bootorder", u"--timeout", u"--delete-timeout"});
    if (n == u"bootctl")
        return c.operandsBefore.value(0) != QString() && !isOneOf(c.operandsBefore.value(0), {u"status", u"list", u"is-installed", u"random-seed"});
    if (n == u"mokutil")
        return hasAnyLong(c, {u"--import", u"--delete", u"--disable-validation", u"--enable-validation", u"--reset", u"--password",
                              u"--clear-password", u"--set-verbosity", u"--revoke-import", u"--revoke-delete"});
    if (n == u"fwupdmgr")
        return isOneOf(c.operandsBefore.value(0), {u"install", u"update", u"upgrade", u"downgrade", u"unlock", u"switch-branch", u"reinstall"});
    if (n == u"efivar")
        return c.flags.has(u'w', u"--write");
    if (n == u"grub-mkconfig" || n == u"grub2-mkconfig")
        return c.flags.has(u'o', u"--output");
    if (n == u"sbctl")
        return isOneOf(c.operandsBefore.value(0), {u"enroll-keys", u"sign", u"sign-all", u"create-keys", u"reset", u"remove-file"});
    if (n == u"kernel-install")
        return isOneOf(c.operandsBefore.value(0), {u"add", u"remove"});
    return isOneOf(n, {u"grub-install", u"grub2-install", u"grub-reboot", u"grub-set-default", u"grub2-set-default", u"update-grub",
                       u"kernelstub", u"update-initramfs", u"dracut", u"mkinitcpio"});
}

bool installsFromElsewhere(const RuleContext &c)
{
    const QString &n = c.inv.name;
    const QStringList &ops = c.operands;
    const bool remoteOperand = std::any_of(ops.cbegin(), ops.cend(), isRemoteSpec);
    if (isOneOf(n, {u"pip", u"pip3", u"pip2", u"pipx", u"uv", u"uvx", u"conda", u"mamba", u"micromamba", u"poetry", u"pipenv", u"pdm", u"rye"})) {
        // Only a URL names an index; "-c constraints.txt" and "-f ./wheels" are files.
        const QStringList indexes = optionValues(c, {u"-i", u"--index-url", u"--extra-index-url", u"--index", u"--default-index",
                                                     u"--extra-index", u"-f", u"--find-links", u"-c", u"--channel"});
        const QStringList specs = optionValues(c, {u"--spec", u"--from", u"--with", u"-e", u"--editable"});
        const bool foreign = std::any_of(indexes.cbegin(), indexes.cend(), [](const QString &u) { return u.contains(QLatin1String("://")) && isForeignIndex(u); })
                             || std::any_of(specs.cbegin(), specs.cend(), isRemoteSpec);
        // A trusted host is fetched from without checking its certificate.
        return remoteOperand || foreign || !optionValues(c, {u"--trusted-host"}).isEmpty();
    }
    if (isOneOf(n, {u"npm", u"pnpm", u"yarn", u"bun", u"npx", u"bunx"})) {
        const QStringList registries = optionValues(c, {u"--registry"});
        const bool foreign = std::any_of(registries.cbegin(), registries.cend(), isForeignIndex);
        return remoteOperand || foreign || std::any_of(ops.cbegin(), ops.cend(), isRepositoryShorthand);
    }
    if (n == u"gem")
        return remoteOperand || !optionValues(c, {u"-s", u"--source"}).isEmpty() || c.flags.hasLong(u"--clear-sources");
    if (n == u"cargo")
        return hasAnyLong(c, {u"--git", u"--index", u"--registry"});
    return remoteOperand;
}

bool sendsSecret(const RuleContext &c)
{
    if (!isNetworkClient(c.inv.name))
        return false;
    static const QRegularExpression reference(QStringLiteral("\\$\\{?([A-Za-z_][A-Za-z0-9_]*)"));
    // Its words, and what it reads as text from a here-string or here-document.
    std::vector<const Word *> sent = c.inv.args;
    for (const ShellWords::Redirect *r : c.inv.redirects) {
        if (r->op == u"<<<")
            sent.push_back(&r->target);
        else if (r->hereDoc)
            sent.push_back(&*r->hereDoc);
    }
    for (const Word *w : sent) {
        for (auto it = reference.globalMatch(w->text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (w->live(m.capturedStart()) && (isSecretName(m.captured(1)) || c.scope.secrets.contains(m.captured(1))))
                return true;
        }
    }
    return false;
}

bool restartsOnItsOwn(const RuleContext &c)
{
    const QStringList policies = optionValues(c, {u"--restart"});
    return std::any_of(policies.cbegin(), policies.cend(), [](const QString &p) { return !p.isEmpty() && p != u"no"; });
}

bool addsAccountKey(const RuleContext &c)
{
    return isOneOf(c.operandsBefore.value(0), {u"ssh-key", u"gpg-key"}) && c.operandsBefore.value(1) == u"add";
}

bool addsBootEntry(const RuleContext &c)
{
    if (c.inv.name == u"pm2")
        return isOneOf(c.operandsBefore.value(0), {u"startup", u"save"});
    return c.operandsBefore.value(0) == u"install"; // forever-service install
}

bool deletesKeys(const RuleContext &c)
{
    const QString &n = c.inv.name;
    if (n == u"gpg" || n == u"gpg2")
        return std::any_of(c.flags.longOptions.cbegin(), c.flags.longOptions.cend(), [](const QString &o) { return o.startsWith(QLatin1String("--delete-")); });
    if (n == u"pass" || n == u"gopass")
        return isOneOf(c.operandsBefore.value(0), {u"rm", u"remove", u"delete"});
    if (n == u"op")
        return c.operandsBefore.value(0) == u"item" && c.operandsBefore.value(1) == u"delete";
    if (n == u"bw" || n == u"rbw")
        return isOneOf(c.operandsBefore.value(0), {u"delete", u"remove", u"rm"});
    if (n == u"keyctl")
        return isOneOf(c.operandsBefore.value(0), {u"clear", u"unlink", u"revoke", u"invalidate", u"purge", u"reject"});
    return false;
}

bool deletesLogs(const RuleContext &c)
{
    if (c.inv.name == u"journalctl")
        return std::any_of(c.flags.longOptions.cbegin(), c.flags.longOptions.cend(), [](const QString &o) { return o.startsWith(QLatin1String("--vacuum-")); });
    if (c.inv.name == u"dmesg")
        return c.flags.has(u'c', u"--read-clear") || c.flags.has(u'C', u"--clear");
    return c.inv.name == u"lastlog" && c.flags.has(u'C', u"--clear");
}

bool servesOutside(const RuleContext &c)
{
    const QString &n = c.inv.name;
    QStringList folders;
    if (isOneOf(n, {u"http.server", u"simplehttpserver"}))
        folders = optionValues(c, {u"-d", u"--directory"});
    else if (n == u"php")
        folders = c.flags.has(u'S') ? optionValues(c, {u"-t"}) : QStringList{};
    else if (n == u"http-server" || n == u"serve")
        folders = c.operands.mid(0, 1);
    else if (n == u"busybox" || n == u"httpd")
        folders = optionValues(c, {u"-h"});
    else if (n == u"caddy")
        folders = c.operandsBefore.value(0) == u"file-server" ? optionValues(c, {u"--root", u"-r"}) : QStringList{};
    else if (n == u"darkhttpd")
        folders = c.operands.mid(0, 1);
    else if (n == u"rclone")
        folders = c.operandsBefore.value(0) == u"serve" ? c.operandsBefore.mid(2, 1) : QStringList{};
    else if (n == u"ruby") {
        // ruby -run -e httpd DIR: the un library's file server.
        const QStringList a = c.inv.texts();
        const qsizetype at = a.indexOf(QStringLiteral("httpd"));
        if (!a.contains(QStringLiteral("-run")) || at < 1 || a.at(at - 1) != u"-e")
            return false;
        for (qsizetype i = at + 1; i < a.size(); ++i) {
            if (a.at(i).startsWith(u'-'))
                i += a.at(i).size() == 2 ? 1 : 0;
            else
                return !isInsideProject(c.review.place(*c.inv.args[std::size_t(i)], c.scope));
        }
    }
    if ((n == u"caddy" && c.operandsBefore.value(0) != u"file-server") || (n == u"rclone" && c.operandsBefore.value(0) != u"serve"))
        return false;
    if (n == u"php" && !c.flags.has(u'S'))
        return false;
    // Without a folder it serves the one the line stands in.
    if (folders.isEmpty())
        return !isInsideProject(c.scope.cwd);
    return std::any_of(folders.cbegin(), folders.cend(), [&](const QString &f) {
        const Word *word = nullptr;
        for (const Word *w : c.inv.args) {
            if (w->text == f)
                word = w;
        }
        return !isInsideProject(word ? c.review.place(*word, c.scope) : c.review.place(f, c.scope));
    });
}

bool opensTunnel(const RuleContext &c)
{
    const QString &n = c.inv.name;
    if (n == u"ssh" || n == u"autossh") {
        const QStringList settings = optionValues(c, {u"-o"});
        // -R opens a port there into here; -g, or a forward bound to every
        // address, opens one here to the network.
        const QStringList forwards = optionValues(c, {u"-L", u"-D"});
        const bool everyAddress = std::any_of(forwards.cbegin(), forwards.cend(), [](const QString &f) {
            return f.startsWith(QLatin1String("0.0.0.0:")) || f.startsWith(QLatin1String("*:")) || f.startsWith(u':') || f.startsWith(QLatin1String("[::]:"));
        });
        return c.flags.has(u'R') || c.flags.has(u'g') || everyAddress || std::any_of(settings.cbegin(), settings.cend(), [](const QString &s) {
                   return s.startsWith(QLatin1String("RemoteForward"), Qt::CaseInsensitive) || s.startsWith(QLatin1String("GatewayPorts"), Qt::CaseInsensitive);
               });
    }
    if (n == u"chisel")
        return c.operandsBefore.value(0) == u"client" && std::any_of(c.operands.cbegin(), c.operands.cend(), [](const QString &o) { return o.startsWith(QLatin1String("R:")); });
    if (n == u"cloudflared")
        return c.operandsBefore.contains(QStringLiteral("tunnel"));
    if (n == u"bore")
        return c.operandsBefore.value(0) == u"local";
    if (n == u"tailscale")
        return isOneOf(c.operandsBefore.value(0), {u"funnel", u"serve"}) && !c.operandsBefore.contains(QStringLiteral("status"))
               && !c.operandsBefore.contains(QStringLiteral("off"));
    return isOneOf(n, {u"ngrok", u"lt", u"localtunnel", u"frpc", u"zrok", u"tunnelto"}) && !c.operandsBefore.isEmpty()
           && !isOneOf(c.operandsBefore.value(0), {u"version", u"help", u"config"});
}

bool gitRunsGiven(const RuleContext &c)
{
    const QStringList a = c.inv.texts();
    // The subcommand: the first word past git's own options.
    static const QStringList valueOptions{QStringLiteral("-C"), QStringLiteral("-c"), QStringLiteral("--git-dir"), QStringLiteral("--work-tree"),
                                          QStringLiteral("--namespace"), QStringLiteral("--config-env")};
    qsizetype sub = 0;
    while (sub < a.size() && a.at(sub).startsWith(u'-'))
        sub += valueOptions.contains(a.at(sub)) ? 2 : 1;
    const QString verb = a.value(sub);
    const auto runText = [&](const QString &text) { c.review.run(Text::known(text), Language::Shell, c.scope); };
    if (verb == u"bisect") {
        if (a.value(sub + 1) == u"run" && std::size_t(sub + 2) < c.inv.args.size())
            c.review.runWords({c.inv.args.begin() + sub + 2, c.inv.args.end()}, c.scope);
        return false;
    }
    if (verb == u"submodule") {
        // submodule [--quiet] foreach [--recursive] COMMAND...: a shell line run in each.
        qsizetype i = sub + 1;
        while (i < a.size() && a.at(i).startsWith(u'-'))
            ++i;
        if (a.value(i) != u"foreach")
            return false;
        for (++i; i < a.size() && a.at(i).startsWith(u'-'); ++i) {
        }
        if (i < a.size())
            runText(a.mid(i).join(u' '));
        return false;
    }
    for (qsizetype i = sub + 1; i < a.size(); ++i) {
        const QString &x = a.at(i);
        const bool withValue = i + 1 < a.size();
        if (verb == u"difftool" && (x == u"-x" || x == u"--extcmd") && withValue)
            runText(a.at(++i));
        else if (verb == u"difftool" && x.startsWith(QLatin1String("--extcmd=")))
            runText(x.mid(9));
        else if (verb == u"grep" && (x.startsWith(QLatin1String("-O")) || x.startsWith(QLatin1String("--open-files-in-pager="))) && x.contains(QRegularExpression(QStringLiteral("^-O.|="))))
            runText(x.startsWith(QLatin1String("-O")) ? x.mid(2) : x.section(u'=', 1));
        else if (verb == u"rebase" && (x == u"-x" || x == u"--exec") && withValue)
            runText(a.at(++i));
        else if (verb == u"rebase" && x.startsWith(QLatin1String("--exec=")))
            runText(x.mid(7));
        else if ((x == u"--upload-pack" || x == u"--receive-pack" || x == u"--exec" || (verb == u"clone" && x == u"-u")) && withValue)
            runText(a.at(++i)); // run here for a local or ssh remote
        else if (x.startsWith(QLatin1String("--upload-pack=")) || x.startsWith(QLatin1String("--receive-pack=")) || x.startsWith(QLatin1String("--exec=")))
            runText(x.section(u'=', 1));
    }
    return false; // judged by what it runs
}

} // namespace agent::CommandReview::Conditions
