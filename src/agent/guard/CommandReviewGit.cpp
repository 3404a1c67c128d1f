// git: what loses work or history. Commands that only add, show or move
// forward are left alone.
#include "agent/guard/CommandReviewConditions.h"
#include "agent/guard/CommandReviewer.h"
#include "agent/guard/CommandReviewRows.h"
#include "agent/guard/CommandReviewTargets.h"

namespace agent::CommandReview {

namespace {

// A pathspec that means the whole tree.
bool everyPath(const QStringList &operands)
{
    static const QStringList whole{QStringLiteral("."), QStringLiteral("./"), QStringLiteral(":/"), QStringLiteral(":"),
                                   QStringLiteral("*"), QStringLiteral(":/*"), QStringLiteral("./*"), QStringLiteral(":(top)")};
    return std::any_of(operands.cbegin(), operands.cend(), [](const QString &o) { return whole.contains(o); });
}

// -c key=value: aliases starting with "!" and command settings run a shell.
void configValue(Review &review, const QString &setting, Scope &scope)
{
    const qsizetype eq = setting.indexOf(u'=');
    if (eq < 0)
        return;
    const QString key = setting.left(eq).toLower();
    const QString value = setting.mid(eq + 1);
    if ((key.startsWith(QLatin1String("alias.")) || key.startsWith(QLatin1String("credential."))) && value.startsWith(u'!'))
        review.run(Text::known(value.mid(1)), Language::Shell, scope);
    else if (key.startsWith(QLatin1String("alias.")))
        review.run(Text::known(QStringLiteral("git ") + value), Language::Shell, scope); // runs as git VALUE
    else if (settingNamesProgram(key) || key == u"core.fsmonitor")
        review.run(Text::known(value), Language::Shell, scope);
}

} // namespace

namespace {

void judgeGit(Review &review, const Invocation &inv, Scope &scope)
{
    const QStringList args = inv.texts();
    static const QStringList valueOptions{QStringLiteral("-C"), QStringLiteral("--git-dir"), QStringLiteral("--work-tree"),
                                          QStringLiteral("--namespace"), QStringLiteral("--config-env"), QStringLiteral("--super-prefix")};
    qsizetype i = 0;
    bool cleanUnforced = false; // clean.requireForce=false: clean deletes without -f
    while (i < args.size() && args.at(i).startsWith(u'-')) {
        if (args.at(i) == u"-c" && i + 1 < args.size()) {
            const QString setting = args.at(i + 1).toLower();
            cleanUnforced = cleanUnforced || setting == u"clean.requireforce=false" || setting == u"clean.requireforce=0"
                            || setting == u"clean.requireforce=no" || setting == u"clean.requireforce=off";
            configValue(review, args.at(i + 1), scope);
            i += 2;
        } else {
            i += valueOptions.contains(args.at(i)) ? 2 : 1;
        }
    }
    if (i >= args.size())
        return;
    const QString sub = args.at(i);
    const Flags f = flagsOf(args.mid(i + 1));
    const QStringList &ops = f.operands;
    const QString first = ops.isEmpty() ? QString() : ops.first();

    if (sub == u"fetch") {
        // A forced refspec into local branches moves them back, losing commits.
        const bool forced = f.has(u'f', u"--force");
        for (const QString &o : ops) {
            const qsizetype colon = o.indexOf(u':');
            const QString to = o.mid(colon + 1);
            if (colon > 0 && (forced || o.startsWith(u'+')) && !to.isEmpty() && !to.startsWith(QLatin1String("refs/remotes/"))
                && !to.startsWith(QLatin1String("refs/tags/")))
                review.flagRow("git-rewritten", sub);
        }
    } else if (sub == u"push") {
        if (f.has(u'n', u"--dry-run"))
            return;
        const bool deletes = f.has(u'd', u"--delete") || f.hasLong(u"--prune")
                             || std::any_of(ops.cbegin(), ops.cend(), [](const QString &o) { return o.size() > 1 && o.startsWith(u':'); });
        const bool forces = f.has(u'f', u"--force") || f.hasLong(u"--force-with-lease") || f.hasLong(u"--force-if-includes")
                            || f.hasLong(u"--mirror") || std::any_of(ops.cbegin(), ops.cend(), [](const QString &o) { return o.startsWith(u'+'); });
        if (deletes)
            review.flagRow("git-remote-ref-deleted");
        else if (forces)
            review.flagRow("git-force-push");
    } else if (sub == u"reset") {
        if (f.hasLong(u"--hard"))
            review.flagRow("git-hard-reset");
    } else if (sub == u"clean") {
        // -X deletes only what the project ignores: its build output.
        const bool onlyIgnored = f.has(u'X') && !f.has(u'x');
        if ((f.has(u'f', u"--force") || cleanUnforced) && !f.has(u'n', u"--dry-run") && !f.has(u'i', u"--interactive") && !onlyIgnored)
            review.flagRow("git-clean");
    } else if (sub == u"checkout") {
        if (f.has(u'f', u"--force") || everyPath(ops))
            review.flagRow("git-discarded", sub);
        else if (f.has(u'B'))
            review.flagRow("git-rewritten", sub);
    } else if (sub == u"restore") {
        const bool worktree = f.has(u'W', u"--worktree") || !f.has(u'S', u"--staged");
        if (worktree && everyPath(ops))
            review.flagRow("git-discarded", sub);
    } else if (sub == u"switch") {
        if (f.has(u'f', u"--force") || f.hasLong(u"--discard-changes"))
            review.flagRow("git-discarded", sub);
        else if (f.has(u'C', u"--force-create"))
            review.flagRow("git-rewritten", sub);
    } else if (sub == u"stash") {
        if (first == u"drop" || first == u"clear")
            review.flagRow("git-discarded", sub);
    } else if (sub == u"rm") {
        if (f.has(u'f', u"--force") && !f.hasLong(u"--cached"))
            review.flagRow("git-discarded", sub);
    } else if (sub == u"checkout-index") {
        if (f.has(u'f', u"--force"))
            review.flagRow("git-discarded", sub);
    } else if (sub == u"read-tree") {
        if (f.hasLong(u"--reset") || (f.has(u'u') && f.has(u'm')))
            review.flagRow("git-discarded", sub);
    } else if (sub == u"submodule") {
        if (first == u"deinit" && f.has(u'f', u"--force"))
            review.flagRow("git-discarded", sub);
    } else if (sub == u"worktree") {
        if (first == u"remove" && f.has(u'f', u"--force"))
            review.flagRow("git-discarded", sub);
    } else if (sub == u"branch") {
        // -d refuses a branch that is not merged; -D and -d -f do not.
        if (f.has(u'D') || ((f.has(u'd', u"--delete")) && f.has(u'f', u"--force")))
            review.flagRow("git-ref-deleted", sub);
        else if (f.has(u'f', u"--force") || f.has(u'M') || f.has(u'C'))
            review.flagRow("git-rewritten", sub);
    } else if (sub == u"tag") {
        if (f.has(u'd', u"--delete"))
            review.flagRow("git-ref-deleted", sub);
        else if (f.has(u'f', u"--force"))
            review.flagRow("git-rewritten", sub);
    } else if (sub == u"update-ref" || sub == u"symbolic-ref") {
        // A ref moved or created is judged by the table's row.
        if (f.has(u'd', u"--delete"))
            review.flagRow("git-ref-deleted", sub);
    } else if (sub == u"reflog") {
        if (first == u"expire" || first == u"delete")
            review.flagRow("git-reflog");
    } else if (sub == u"gc") {
        if (std::any_of(f.longOptions.cbegin(), f.longOptions.cend(), [](const QString &o) { return o.startsWith(QLatin1String("--prune")); }))
            review.flagRow("git-pruned", QStringLiteral("gc"));
    } else if (sub == u"prune") {
        if (!f.has(u'n', u"--dry-run"))
            review.flagRow("git-pruned", QStringLiteral("prune"));
    } else if (sub == u"filter-branch" || sub == u"filter-repo") {
        review.flagRow("git-rewritten", sub);
    } else if (sub == u"replace") {
        if (!ops.isEmpty() && !f.has(u'l', u"--list"))
            review.flagRow("git-rewritten", sub);
    } else if (sub == u"config") {
        // git config alias.x VALUE: what the alias will run is read now.
        for (qsizetype k = 0; k + 1 < ops.size(); ++k) {
            if (ops.at(k).toLower().startsWith(QLatin1String("alias.")) || ops.at(k).toLower().startsWith(QLatin1String("core.")))
                configValue(review, ops.at(k) + u'=' + ops.at(k + 1), scope);
        }
    } else if (sub.startsWith(QLatin1String("credential"))) {
        if (ops.contains(u"fill") || ops.contains(u"get"))
            review.flagRow("credential-place", QStringLiteral("saved credentials"));
    }
}

} // namespace

bool Conditions::gitWork(const RuleContext &c)
{
    judgeGit(c.review, c.inv, c.scope);
    return false;
}

} // namespace agent::CommandReview
