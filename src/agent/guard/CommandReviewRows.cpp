// The walkers that try the rule table's rows.
#include "agent/guard/CommandReviewRows.h"

#include "agent/guard/CommandReviewTable.h"

#include <QRegularExpression>

namespace agent::CommandReview {

namespace {

using namespace ShellWords;

// The operands of the rows: words that are not options, after the words of
// the subcommand, with the values of valueOptions skipped.
QStringList operandsOf(const QStringList &args, const QStringList &valueOptions)
{
    QStringList out;
    bool options = true;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &x = args.at(i);
        if (options && x == u"--")
            options = false;
        else if (options && x.size() > 1 && x.startsWith(u'-'))
            i += valueOptions.contains(x) ? 1 : 0;
        else
            out.append(x);
    }
    return out;
}

bool hasOption(const Flags &f, const QString &option)
{
    if (option.startsWith(QLatin1String("--")))
        return f.hasLong(option);
    if (option.size() == 2 && option.startsWith(u'-'))
        return f.has(option.at(1));
    return f.longOptions.contains(option); // a long option with one dash: -version
}

// The reason the package rows share: a project's own tool removes from the
// project's environment only.
const QString &packagesRemoved()
{
    static const QString reason = [] {
        for (const Rule &r : ruleTable()) {
            if (qstrcmp(r.id, "apt-remove") == 0)
                return r.reason;
        }
        return QString();
    }();
    return reason;
}

} // namespace

QString reasonOf(const char *id, const QString &name)
{
    for (const Rule &r : ruleTable()) {
        if (qstrcmp(r.id, id) == 0)
            return r.reason.contains(QLatin1String("%1")) ? r.reason.arg(name) : r.reason;
    }
    Q_ASSERT_X(false, "reasonOf", id);
    return QString::fromLatin1(id); // never an empty reason: a missing row still asks
}

bool isReasonOf(const char *id, const QString &text)
{
    for (const Rule &r : ruleTable()) {
        if (qstrcmp(r.id, id) != 0)
            continue;
        const qsizetype at = r.reason.indexOf(QLatin1String("%1"));
        return at < 0 ? text == r.reason
                      : text.size() > r.reason.size() - 2 && text.startsWith(QStringView(r.reason).left(at)) && text.endsWith(QStringView(r.reason).mid(at + 2));
    }
    return false;
}

void judgeByRows(Review &review, const Invocation &given, Scope &scope, Trigger trigger)
{
    // python -m pip ...: the module is the command.
    Invocation inv = given;
    static const QRegularExpression python(QStringLiteral("^python[0-9.]*$"));
    if (python.match(inv.name).hasMatch() && inv.args.size() >= 2 && inv.text(0) == u"-m") {
        inv.name = inv.text(1).toLower();
        inv.args.erase(inv.args.begin(), inv.args.begin() + 2);
    }
    static const QRegularExpression versioned(QStringLiteral("^(pip|pip3|python|gem|npm)[0-9.]+$"));
    if (const QRegularExpressionMatch m = versioned.match(inv.name); m.hasMatch())
        inv.name = m.captured(1);
    const QStringList args = inv.texts();
    if (args.contains(QStringLiteral("--help")))
        return; // a command asked for its help does nothing else
    const Flags flags = flagsOf(args);
    // .venv/bin/pip, ./node_modules/.bin/x: a tool of the project's own
    // environment removes packages from that environment only.
    const QString spelled = given.nameWord ? given.nameWord->text : QString();
    const bool projectTool = spelled.contains(u'/') && !spelled.startsWith(u'/') && !spelled.startsWith(u'~') && !spelled.startsWith(u'$')
                             && isInsideProject(review.place(*given.nameWord, scope));
    for (const Rule &rule : ruleTable()) {
        if (rule.trigger != trigger || (!rule.names.isEmpty() && !rule.names.contains(inv.name)) || review.leftOut(rule.id))
            continue;
        if (projectTool && rule.reason == packagesRemoved())
            continue;
        const QStringList all = operandsOf(args, rule.valueOptions);
        QStringList operands = all;
        if (!rule.subcommands.isEmpty()) {
            bool matched = false;
            for (const QString &phrase : rule.subcommands) {
                const QStringList phraseWords = QString(phrase).replace(QLatin1String("+"), QLatin1String(" ")).split(u' ');
                if (operands.mid(0, phraseWords.size()) == phraseWords) {
                    operands = operands.mid(phraseWords.size());
                    matched = true;
                    break;
                }
            }
            if (!matched)
                continue;
        }
        if (!rule.options.isEmpty() && std::none_of(rule.options.cbegin(), rule.options.cend(), [&](const QString &o) { return hasOption(flags, o); }))
            continue;
        if (std::any_of(rule.except.cbegin(), rule.except.cend(), [&](const QString &o) { return hasOption(flags, o) || args.contains(o); }))
            continue;
        if (rule.when && !rule.when(RuleContext{review, inv, scope, flags, operands, all}))
            continue;
        if (rule.killsOthers)
            review.killOthers();
        else if (!rule.reason.isEmpty())
            review.flagRow(rule.id, inv.name);
    }
}

std::optional<QString> wrapperReason(const QString &name, const QStringList &options)
{
    for (const Rule &rule : ruleTable()) {
        if (rule.trigger != Trigger::Wrapper || !rule.names.contains(name))
            continue;
        if (!rule.options.isEmpty() && std::none_of(options.cbegin(), options.cend(), [&](const QString &o) { return rule.options.contains(o); }))
            continue;
        const bool excepted = std::any_of(options.cbegin(), options.cend(), [&](const QString &o) {
            return rule.except.contains(o) || rule.except.contains(o.section(u'=', 0, 0));
        });
        if (!excepted)
            return rule.reason.contains(QLatin1String("%1")) ? rule.reason.arg(name) : rule.reason;
    }
    return std::nullopt;
}

namespace {

// A loop condition that never ends by itself: true, :, [ 1 ], sleep N.
bool endlessCondition(const SimpleCommand &c)
{
    if (c.words.size() < 2)
        return false;
    const QString keyword = c.words.front().text;
    const QStringList rest = [&] {
        QStringList out;
        for (std::size_t i = 1; i < c.words.size(); ++i)
            out.append(c.words[i].text);
        return out;
    }();
    if (keyword == u"until")
        return rest == QStringList{QStringLiteral("false")} || rest == QStringList{QStringLiteral("/bin/false")};
    const QString first = rest.first();
    return isOneOf(first, {u"true", u":", u"/bin/true", u"sleep"}) || rest == QStringList{QStringLiteral("["), QStringLiteral("1"), QStringLiteral("]")}
           || rest == QStringList{QStringLiteral("[["), QStringLiteral("1"), QStringLiteral("]]")};
}

// for over many values: {1..N}, $(seq ...) reaching past a few hundred, or ((;;)).
bool manyValues(const SimpleCommand &c)
{
    static const QRegularExpression range(QStringLiteral("\\{\\d+\\.\\.(\\d+)\\}"));
    static const QRegularExpression seq(QStringLiteral("\\bseq\\b[^)]*?(\\d+)\\s*$"));
    for (const Word &w : c.words) {
        if (const QRegularExpressionMatch m = range.match(w.text); m.hasMatch() && m.captured(1).toLongLong() > 256)
            return true;
        for (const CommandList &sub : w.substitutions) {
            for (const Pipeline &p : sub.pipelines) {
                for (const SimpleCommand &s : p.commands) {
                    if (!s.words.empty() && s.words.front().text == u"seq" && s.words.back().text.toLongLong() > 256)
                        return true;
                }
            }
        }
    }
    return c.words.size() == 1; // for ((;;)): the arithmetic is not kept
}

} // namespace

void judgeLoops(Review &review, const CommandList &commands, bool background)
{
    std::vector<bool> endless; // one for each loop open here
    for (const Pipeline &p : commands.pipelines) {
        bool closes = false;
        for (const SimpleCommand &c : p.commands) {
            if (c.words.empty() || c.words.front().anyQuoted())
                continue;
            const QString &keyword = c.words.front().text;
            if (keyword == u"while" || keyword == u"until")
                endless.push_back(endlessCondition(c));
            else if (keyword == u"for")
                endless.push_back(manyValues(c));
            closes = closes || keyword == u"done";
        }
        const bool inEndless = std::find(endless.cbegin(), endless.cend(), true) != endless.cend();
        if ((p.background || background) && inEndless)
            review.flagRow("background-loop");
        if (closes && !endless.empty())
            endless.pop_back();
    }
}

void judgeProgram(Review &review, const QString &program)
{
    static const QRegularExpression environment(QStringLiteral("\\bos\\.environ\\b|\\bprocess\\.env\\b(?!\\.)|%ENV\\b|\\bENV\\.to_h\\b|\\bgetenv\\s*\\(\\s*\\)|\\$_ENV\\b"));
    static const QRegularExpression network(QStringLiteral(
        "\\burllib\\b|\\brequests\\.|\\bhttp\\.client\\b|\\bsocket\\b|\\bfetch\\s*\\(|\\bhttps?\\.request\\b|\\bNet::HTTP\\b|\\bLWP\\b|"
        "\\bHTTP::Tiny\\b|\\bcurl_|\\bfile_get_contents\\s*\\(\\s*['\"]https?:|\\bhttpx\\b|\\baiohttp\\b|\\bXMLHttpRequest\\b|\\baxios\\b"));
    static const QRegularExpression removesPackages(QStringLiteral(
        "\\bremove\\.packages\\s*\\(|\\bPkg\\.rm\\s*\\(|\\bpip\\.main\\s*\\(\\s*\\[\\s*['\"]uninstall|\\bGem::Uninstaller\\b"));
    static const QRegularExpression toolConfig(QStringLiteral(
        "(?:\\.gitconfig|\\.npmrc|\\.yarnrc|\\.pypirc|pip\\.conf|\\.gemrc|\\.condarc|\\.cargo/config|\\.vimrc|\\.config/nvim|\\.emacs|"
        "\\.gdbinit|\\.lldbinit|\\.config/git/|\\.local/share/applications/|\\.desktop\\b)"));
    static const QRegularExpression writes(QStringLiteral("\\bopen\\b|\\bwrite|\\bappend|\\bcopy|\\brename|\\bsymlink|>>?"));
    if (toolConfig.match(program).hasMatch() && writes.match(program).hasMatch())
        review.flagRow("tool-config-file", QStringLiteral("inline program"));
    if (removesPackages.match(program).hasMatch())
        review.flagRow("package-remove-other", QStringLiteral("inline program"));
    if (environment.match(program).hasMatch() && network.match(program).hasMatch())
        review.flagRow("environment-sent", QStringLiteral("inline program"));
    static const QRegularExpression forks(QStringLiteral("\\bfork\\b|\\bpcntl_fork\\b|\\bspawn\\s*\\(|\\bProcess\\s*\\("));
    static const QRegularExpression loops(QStringLiteral(
        "\\bwhile\\b|\\bloop\\b|\\buntil\\b|\\bfor(?:each)?\\b|\\bsetInterval\\b|\\biter\\s*\\(|\\bitertools\\.count\\b|\\brepeat\\b|\\.times\\b|\\.each\\b"));
    // Starting commands in the background counts as forking: os.execute("x &").
    static const QRegularExpression detached(QStringLiteral(
        "\\b(?:os\\.execute|system|exec|popen|io\\.popen|shell_exec|passthru)\\s*\\(?\\s*['\"][^'\"]*&\\s*['\"]|\\bPopen\\s*\\(|\\bchild_process\\b[^;]*\\b(?:spawn|exec|fork)\\b"));
    // A loop that never ends: the only kind in which a background start
    // (unlike fork) is a hazard; a loop over a list starts a few.
    static const QRegularExpression neverEnds(QStringLiteral(
        "\\bwhile\\s*\\(?\\s*(?:True|1|true|!0)\\s*\\)?|\\bfor\\s*\\(\\s*;\\s*;\\s*\\)|\\bloop\\s*(?:do\\b|\\{)|\\bwhile\\s+true\\s+do\\b|\\biter\\s*\\(\\s*int\\b"));
    if ((forks.match(program).hasMatch() && loops.match(program).hasMatch())
        || (detached.match(program).hasMatch() && neverEnds.match(program).hasMatch()))
        review.flagRow("fork-loop");
    // Memory: one allocation of tens of gigabytes, or a list grown forever.
    static const QRegularExpression huge(QStringLiteral(
        "(?:\\bbytearray|\\bbytes|\\bnew\\s+(?:Array|ArrayBuffer|Uint8Array)|\\bBuffer\\.alloc\\w*|\\bstring\\.rep|\\bstr_repeat|\\]\\s*\\*|['\"][^'\"]{0,8}['\"]\\s*(?:\\*|x|,))"
        "\\s*\\(?\\s*(?:10\\s*\\*\\*\\s*(?:1[0-9]|[2-9]\\d)|1e(?:1[0-9]|[2-9]\\d)|1\\s*<<\\s*(?:3[4-9]|[4-9]\\d)|\\d{11,})"));
    // The loop first, then what grows after it: two passes, each linear.
    static const QRegularExpression endless(QStringLiteral(
        "\\bwhile\\s*\\(?\\s*(?:True|1|true|!0)\\s*\\)?|\\bfor\\s*\\(\\s*;\\s*;\\s*\\)|\\bloop\\s*(?:do\\b|\\{)|\\bwhile\\s+true\\s+do\\b"));
    static const QRegularExpression grows(QStringLiteral(
        "\\.(?:append|push|extend|concat)\\s*\\(|\\s(?:\\+=|<<)\\s*['\"\\[]|\\b(\\w+)\\s*=\\s*\\1\\s*(?:\\.\\.|\\+|\\*)\\s*\\1\\b"));
    const QRegularExpressionMatch loop = endless.match(program);
    if (huge.match(program).hasMatch()
        || (loop.hasMatch() && grows.match(program, loop.capturedEnd()).hasMatch() && !program.contains(QLatin1String("break"))))
        review.flagRow("memory-exhausted");
}

void judgePlaceWritten(Review &review, const Place &place, const Text &content)
{
    // Python runs these at every start: a folder outside the project, or
    // one computed when the line runs (python -m site --user-site).
    const QString file = place.parts.value(place.parts.size() - 1);
    const bool computed = std::any_of(place.parts.cbegin(), place.parts.cend(), [](const QString &part) { return part.contains(u'$'); });
    if ((file == u"sitecustomize.py" || file == u"usercustomize.py" || file.endsWith(QLatin1String(".pth"))) && (computed || !isInsideProject(place)))
        review.flagRow("python-startup");
    if (Places::isToolConfig(place) && !Places::persistence(place))
        review.flagRow("tool-config-file", Places::label(place));
    if (Places::isActivation(place))
        review.flagRow("dbus-activation");
    const bool device = place.base == Place::Base::Absolute && !place.parts.isEmpty() && place.parts.first() == u"dev";
    const bool network = device && place.parts.size() >= 2 && (place.parts.at(1) == u"tcp" || place.parts.at(1) == u"udp");
    if (content.environment && (network || (!isInsideProject(place) && !device)))
        network ? review.flagRow("environment-sent", QStringLiteral("redirect")) : review.flagRow("environment-written");
    const bool memory = device && place.parts.value(1) == u"shm"; // /dev/shm is memory
    if (content.endless && !isInsideProject(place) && (!device || memory))
        review.flagRow("endless-output");
}

} // namespace agent::CommandReview
