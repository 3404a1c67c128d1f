// Other people's data: mirrors that delete, cloud and infrastructure
// teardown, repository and database deletion, and commands that print
// stored credentials.
#include "agent/guard/CommandReviewConditions.h"
#include "agent/guard/CommandReviewer.h"

#include <QRegularExpression>

namespace agent::CommandReview {

namespace {

// An operand that names a tearing-down action of a cloud or infrastructure
// tool: "destroy", "delete-stack", "apps:destroy", "rm", "prune" ...
bool isTeardown(const QString &operand)
{
    static const QStringList verbs{QStringLiteral("destroy"), QStringLiteral("delete"), QStringLiteral("rm"), QStringLiteral("rb"),
                                   QStringLiteral("remove"), QStringLiteral("purge"), QStringLiteral("terminate"), QStringLiteral("uninstall"),
                                   QStringLiteral("un"), QStringLiteral("del"), QStringLiteral("prune"), QStringLiteral("nuke"),
                                   QStringLiteral("teardown"), QStringLiteral("drop"), QStringLiteral("wipe")};
    const QString o = operand.toLower();
    if (verbs.contains(o))
        return true;
    // delete-stack, batch-delete-image, terminate-instances
    static const QStringList parts{QStringLiteral("delete"), QStringLiteral("terminate"), QStringLiteral("purge"), QStringLiteral("destroy")};
    const QStringList words = o.split(u'-');
    if (words.size() > 1 && std::any_of(words.cbegin(), words.cend(), [](const QString &w) { return parts.contains(w); }))
        return true;
    const qsizetype colon = o.lastIndexOf(u':');
    return colon > 0 && verbs.contains(o.mid(colon + 1));
}

bool dryRun(const Flags &f)
{
    return std::any_of(f.longOptions.cbegin(), f.longOptions.cend(), [](const QString &o) {
        return (o == u"--dry-run" || o.startsWith(QLatin1String("--dry-run="))) && o != u"--dry-run=none";
    });
}

bool hasLongPrefix(const Flags &f, QLatin1String prefix)
{
    return std::any_of(f.longOptions.cbegin(), f.longOptions.cend(), [&](const QString &o) { return o.startsWith(prefix); });
}

bool cloud(Review &review, const Invocation &inv, const Flags &f)
{
    static const QStringList tools{
        QStringLiteral("aws"),      QStringLiteral("gcloud"),     QStringLiteral("gsutil"),    QStringLiteral("az"),
        QStringLiteral("kubectl"),  QStringLiteral("oc"),         QStringLiteral("helm"),      QStringLiteral("pulumi"),
        QStringLiteral("cdk"),      QStringLiteral("cdktf"),      QStringLiteral("doctl"),     QStringLiteral("hcloud"),
        QStringLiteral("linode-cli"), QStringLiteral("vultr-cli"), QStringLiteral("scw"),      QStringLiteral("exo"),
        QStringLiteral("civo"),     QStringLiteral("upctl"),      QStringLiteral("openstack"), QStringLiteral("ibmcloud"),
        QStringLiteral("oci"),      QStringLiteral("heroku"),     QStringLiteral("fly"),       QStringLiteral("flyctl"),
        QStringLiteral("vercel"),   QStringLiteral("netlify"),    QStringLiteral("firebase"),  QStringLiteral("supabase"),
        QStringLiteral("railway"),  QStringLiteral("vagrant"),    QStringLiteral("docker"),    QStringLiteral("podman"),
        QStringLiteral("nerdctl"),  QStringLiteral("eksctl"),     QStringLiteral("kind"),      QStringLiteral("minikube"),
        QStringLiteral("k3d"),      QStringLiteral("serverless"), QStringLiteral("sls"),       QStringLiteral("s3cmd"),
        QStringLiteral("mc"),       QStringLiteral("azcopy"),     QStringLiteral("nomad"),     QStringLiteral("consul"),
        QStringLiteral("terraform"), QStringLiteral("tofu"),      QStringLiteral("terragrunt"), QStringLiteral("opentofu"),
        QStringLiteral("rclone"),   QStringLiteral("juju"),       QStringLiteral("kops"),      QStringLiteral("gh"),
        QStringLiteral("glab"),     QStringLiteral("hub"),        QStringLiteral("tea"),       QStringLiteral("docker-compose"),
        QStringLiteral("podman-compose"), QStringLiteral("sam"),  QStringLiteral("copilot"),   QStringLiteral("eb"),
        QStringLiteral("amplify"),  QStringLiteral("sst"),        QStringLiteral("wrangler"),  QStringLiteral("kn"),
        QStringLiteral("argocd"),   QStringLiteral("flux"),       QStringLiteral("vault"),     QStringLiteral("etcdctl"),
        QStringLiteral("bq"),       QStringLiteral("influx"),     QStringLiteral("kafka-topics"), QStringLiteral("kafka-topics.sh")};
    const QString &n = inv.name;
    if (!tools.contains(n))
        return false;
    const QStringList &ops = f.operands;
    const QStringList all = inv.texts();
    const auto saved = [&] { review.flagRow("credential-place", QStringLiteral("saved credentials")); };
    // Commands that print a stored token or key.
    if ((n == u"gh" && ops.size() >= 2 && ops.at(0) == u"auth" && (ops.at(1) == u"token" || f.has(u't', u"--show-token")))
        || (n == u"gcloud" && (ops.contains(u"print-access-token") || ops.contains(u"print-identity-token")))
        || (n == u"aws" && (ops.contains(u"export-credentials") || ops.contains(u"get-login-password") || (ops.size() >= 2 && ops.at(0) == u"configure" && ops.at(1) == u"get")))
        || (n == u"az" && ops.contains(u"get-access-token")) || (n == u"heroku" && ops.contains(u"auth:token"))
        || ((n == u"kubectl" || n == u"oc") && ops.contains(u"view") && f.hasLong(u"--raw"))) {
        saved();
        return true;
    }
    if (dryRun(f))
        return true;
    if (isOneOf(n, {u"gh", u"glab", u"hub", u"tea"})) {
        for (qsizetype i = 0; i < all.size(); ++i) {
            const QString &a = all.at(i);
            const bool deleteMethod = ((a == u"-X" || a == u"--method") && i + 1 < all.size() && all.at(i + 1).toUpper() == u"DELETE")
                                      || a.toUpper() == u"-XDELETE" || a.toUpper() == u"--METHOD=DELETE";
            if (deleteMethod) {
                review.flagRow("http-delete", n);
                return true;
            }
        }
        if ((ops.size() >= 2 && ops.at(0) == u"repo" && ops.at(1) == u"delete") || (n == u"hub" && ops.value(0) == u"delete"))
            review.flagRow("repository-deleted", n);
        else if (std::any_of(ops.cbegin(), ops.cend(), [](const QString &o) { return o == u"delete"; }))
            review.flagRow("infrastructure-destroyed", n);
        return true;
    }
    const bool mirrors = (n == u"aws" && ops.contains(u"sync") && f.hasLong(u"--delete"))
                         || (n == u"rclone" && (ops.value(0) == u"sync" || ops.value(0) == u"bisync"))
                         || (n == u"gsutil" && ops.contains(u"rsync") && f.has(u'd'))
                         || (n == u"s3cmd" && ops.contains(u"sync") && hasLongPrefix(f, QLatin1String("--delete")))
                         || (n == u"mc" && ops.contains(u"mirror") && f.hasLong(u"--remove"))
                         || (n == u"azcopy" && ops.contains(u"sync") && f.hasLong(u"--delete-destination"));
    if (mirrors) {
        review.flagRow("mirror-deletes", n);
        return true;
    }
    const bool terraform = isOneOf(n, {u"terraform", u"tofu", u"terragrunt", u"opentofu"});
    const bool teardown = std::any_of(ops.cbegin(), ops.cend(), isTeardown)
                          || (terraform && ops.contains(u"apply") && (all.contains(u"-destroy") || all.contains(u"--destroy")))
                          || (isOneOf(n, {u"docker", u"podman", u"nerdctl", u"docker-compose", u"podman-compose"}) && ops.contains(u"down")
                              && f.has(u'v', u"--volumes"))
                          || (isOneOf(n, {u"supabase", u"heroku", u"podman"}) && (ops.contains(u"reset") || ops.contains(u"pg:reset")))
                          || (n == u"rclone" && isOneOf(ops.value(0), {u"deletefile", u"rmdir", u"rmdirs", u"cleanup"}))
                          || (n == u"pulumi" && ops.value(0) == u"down")
                          || (n.startsWith(QLatin1String("kafka-topics")) && f.hasLong(u"--delete"));
    if (teardown && !(terraform && ops.value(0) == u"plan"))
        review.flagRow("infrastructure-destroyed", n);
    return true;
}

bool rsync(Review &review, const Invocation &inv, const Flags &f, Scope &scope)
{
    if (inv.name != u"rsync")
        return false;
    if (f.has(u'n', u"--dry-run"))
        return true;
    // A mirror into the project deletes only what the project holds.
    const Word *destination = nullptr;
    for (const Word *w : inv.args) {
        if (!w->text.startsWith(u'-'))
            destination = w;
    }
    const bool intoProject = destination && !destination->text.contains(u':') && !destination->expands
                             && isInsideProject(review.place(*destination, scope));
    if ((hasLongPrefix(f, QLatin1String("--del")) && !intoProject) || f.hasLong(u"--remove-source-files"))
        review.flagRow("mirror-deletes", QStringLiteral("rsync"));
    return true;
}

bool httpDelete(Review &review, const Invocation &inv, const Flags &f)
{
    if (isOneOf(inv.name, {u"http", u"https", u"xh", u"xhs"}) && !f.operands.isEmpty() && f.operands.first().toUpper() == u"DELETE") {
        review.flagRow("http-delete", inv.name);
        return true;
    }
    if ((inv.name == u"wget" || inv.name == u"wget2") && f.longOptions.contains(QStringLiteral("--method=DELETE")))
        review.flagRow("http-delete", inv.name);
    return false;
}

bool database(Review &review, const Invocation &inv)
{
    const QString &n = inv.name;
    if (isOneOf(n, {u"dropdb", u"dropuser"})) {
        review.flagRow("database-dropped", n);
        return true;
    }
    if (!isOneOf(n, {u"psql", u"mysql", u"mariadb", u"sqlite3", u"mongo", u"mongosh", u"redis-cli", u"cqlsh", u"clickhouse-client",
                     u"sqlcmd", u"duckdb", u"mysqladmin"}))
        return false;
    QString statements = inv.texts().join(u' ');
    if (inv.input.kind == Text::Kind::Known)
        statements += u'\n' + inv.input.text;
    static const QRegularExpression drops(QStringLiteral(
        "\\b(drop\\s+(database|table|schema|index|view|user|collection|keyspace)\\b|truncate\\b|delete\\s+from\\b|flushall\\b|flushdb\\b|"
        "dropdatabase\\b|\\.drop\\s*\\(|deletemany\\s*\\(\\s*\\{\\s*\\}\\s*\\))|^\\s*drop\\s"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption);
    if (drops.match(statements).hasMatch() || (n == u"mysqladmin" && inv.texts().contains(u"drop")))
        review.flagRow("database-dropped", n);
    return true;
}

// Password stores, keyrings and key exports.
bool secrets(Review &review, const Invocation &inv, const Flags &f)
{
    const QString &n = inv.name;
    const QStringList &ops = f.operands;
    const auto keyring = [&] { review.flagRow("credential-place", QStringLiteral("keyring")); };
    if (n == u"gpg" || n == u"gpg2") {
        if (std::any_of(f.longOptions.cbegin(), f.longOptions.cend(), [](const QString &o) { return o.startsWith(QLatin1String("--export-secret")); }))
            review.flagRow("credential-place", QStringLiteral("~/.gnupg"));
        return true;
    }
    const QString joined = inv.texts().join(u' ');
    if (isOneOf(n, {u"busctl", u"dbus-send", u"gdbus", u"qdbus", u"qdbus6"}) && joined.contains(QLatin1String("org.freedesktop.login1"))) {
        if (joined.contains(QLatin1String("PowerOff")) || joined.contains(QLatin1String("Halt")))
            review.flagRow("shutdown");
        else if (joined.contains(QLatin1String("Reboot")))
            review.flagRow("reboot");
        else if (joined.contains(QLatin1String("Terminate")) || joined.contains(QLatin1String("Kill")))
            review.killOthers();
        return true;
    }
    if (isOneOf(n, {u"busctl", u"dbus-send", u"gdbus", u"qdbus", u"qdbus6", u"dbus"})
        && (joined.contains(QLatin1String("org.freedesktop.secrets")) || joined.contains(QLatin1String("org.kde.kwalletd"))
            || joined.contains(QLatin1String("org.gnome.keyring")))) {
        keyring();
        return true;
    }
    if (isOneOf(n, {u"secret-tool", u"kwallet-query", u"kwalletcli", u"kwallet-cli"})) {
        keyring();
        return true;
    }
    if (n == u"keyctl") {
        if (ops.contains(u"print") || ops.contains(u"read") || ops.contains(u"pipe"))
            keyring();
        return true;
    }
    if (n == u"pass" || n == u"gopass") {
        static const QStringList quiet{QStringLiteral("ls"), QStringLiteral("list"), QStringLiteral("find"), QStringLiteral("search"),
                                       QStringLiteral("init"), QStringLiteral("insert"), QStringLiteral("generate"), QStringLiteral("edit"),
                                       QStringLiteral("rm"), QStringLiteral("mv"), QStringLiteral("cp"), QStringLiteral("git"),
                                       QStringLiteral("help"), QStringLiteral("version")};
        if (!ops.isEmpty() && !quiet.contains(ops.first()))
            keyring();
        return true;
    }
    if ((isOneOf(n, {u"lpass", u"bw", u"rbw"}) && (ops.value(0) == u"show" || ops.value(0) == u"get"))
        || (n == u"op" && (ops.value(0) == u"read" || (ops.value(0) == u"item" && ops.value(1) == u"get")))) {
        keyring();
        return true;
    }
    if (n.startsWith(QLatin1String("docker-credential-")) && ops.value(0) == u"get") {
        review.flagRow("credential-place", QStringLiteral("saved credentials"));
        return true;
    }
    return false;
}

// Packages published for others: unpublishing or yanking takes them from
// everyone who depends on them.
bool registry(Review &review, const Invocation &inv, const Flags &f)
{
    const QString &n = inv.name;
    const QString sub = f.operands.value(0);
    const bool removes = (isOneOf(n, {u"npm", u"pnpm", u"yarn", u"bun"}) && sub == u"unpublish")
                         || (n == u"gem" && sub == u"yank") || (n == u"cargo" && sub == u"yank" && !f.hasLong(u"--undo"))
                         || (n == u"dotnet" && sub == u"nuget" && f.operands.value(1) == u"delete");
    if (!removes)
        return false;
    if (!dryRun(f))
        review.flagRow("published-package-removed", n);
    return true;
}

} // namespace

namespace Conditions {

// Each reads its tools' words and flags what it finds; none applies to a
// row of its own. Every one is tried on every command (none claims it).
bool cloudTeardown(const RuleContext &c)
{
    cloud(c.review, c.inv, c.flags);
    return false;
}

bool rsyncMirror(const RuleContext &c)
{
    rsync(c.review, c.inv, c.flags, c.scope);
    return false;
}

bool registryRemovals(const RuleContext &c)
{
    registry(c.review, c.inv, c.flags);
    return false;
}

bool httpDeletes(const RuleContext &c)
{
    httpDelete(c.review, c.inv, c.flags);
    return false;
}

bool databaseStatements(const RuleContext &c)
{
    database(c.review, c.inv);
    return false;
}

bool secretStores(const RuleContext &c)
{
    secrets(c.review, c.inv, c.flags);
    return false;
}

} // namespace Conditions

} // namespace agent::CommandReview
