#include "agent/guard/CommandReview.h"

#include "agent/guard/CommandReviewer.h"
#include "agent/guard/CommandReviewRows.h"
#include "agent/guard/CommandReviewTargets.h"
#include "platform/CredentialEnvironment.h"

#include <QRegularExpression>

namespace agent::CommandReview {

namespace {

using namespace ShellWords;

constexpr int kMaxDepth = 8; // command lines run by sh -c, eval, find -exec ...


// What one judgement may take. A short line can still ask for a lot: each
// assignment of "x=$y$y" doubles a value, loops multiply commands, texts run
// by shells are parsed again. The budget holds whatever the nesting.
constexpr qsizetype kMaxValue = 32 * 1024; // one expanded word
constexpr qint64 kCommandCost = 1000;      // a command judged or asked what it prints: its rows and places
constexpr qint64 kWordCost = 300;          // each word of a command judged: its places, looked up by several rules

bool isAssignment(const Word &w)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*(\\[[^]]*\\])?\\+?="));
    const QRegularExpressionMatch m = re.match(w.text);
    return m.hasMatch() && w.unquoted(0) && w.unquoted(m.capturedEnd() - 1);
}

// A word that is only a search-path lookup of a literal name: "$(which X)",
// "$(command -v X)", "`type -P X`". What it runs is that program.
std::optional<QString> pathLookup(const Word &w)
{
    if (w.text != u"$()" || w.substitutions.size() != 1 || w.substitutions.front().pipelines.size() != 1
        || w.substitutions.front().pipelines.front().commands.size() != 1)
        return std::nullopt;
    const SimpleCommand &c = w.substitutions.front().pipelines.front().commands.front();
    QStringList a;
    for (const Word &word : c.words) {
        if (word.expands || word.glob || !word.substitutions.empty())
            return std::nullopt;
        a.append(word.text);
    }
    if (!c.redirects.empty() && !(c.redirects.size() == 1 && c.redirects.front().target.text == u"/dev/null"))
        return std::nullopt;
    const bool lookup = (a.size() == 2 && a.first() == u"which") || (a.size() == 3 && a.first() == u"command" && a.at(1) == u"-v")
                        || (a.size() == 3 && a.first() == u"type" && a.at(1) == u"-P");
    if (!lookup || a.last().startsWith(u'-'))
        return std::nullopt;
    return a.last();
}

bool isReserved(const Word &w)
{
    static const QStringList words{QStringLiteral("if"),   QStringLiteral("then"),  QStringLiteral("else"), QStringLiteral("elif"),
                                   QStringLiteral("fi"),   QStringLiteral("do"),    QStringLiteral("done"), QStringLiteral("while"),
                                   QStringLiteral("until"), QStringLiteral("!"),    QStringLiteral("{"),    QStringLiteral("}")};
    return !w.anyQuoted() && words.contains(w.text);
}

enum class Mode {
    Plain,     // the command follows the wrapper's options
    Escalates, // runs the command as another user
    Xargs,     // appends words read from standard input
    Env,       // NAME=value words, -S splits a string into the command
    Text,      // -c TEXT is a command line (su, flock, script, emulate)
    Watch,     // the rest is a command line
    Parallel,  // the words before ":::" are a command line run for each input
    Applet,    // busybox NAME
};

struct Wrapper {
    const char16_t *name;
    const char16_t *valueOptions; // space-separated options that take the next word
    int operandsBefore;           // words before the command (timeout's duration)
    Mode mode;
};

constexpr Wrapper kWrappers[] = {
    {u"sudo", u"-u -g -C -D -h -p -r -t -U -T -R --user --group --chdir --host --prompt --role --type --other-user --close-from --command-timeout --chroot", 0, Mode::Escalates},
    {u"doas", u"-u -C", 0, Mode::Escalates},
    {u"pkexec", u"--user", 0, Mode::Escalates},
    {u"run0", u"-u --user --unit -p --property --description --slice --nice -D --chdir --setenv --machine", 0, Mode::Escalates},
    {u"su", u"-s --shell -g --group -G --supp-group -w --whitelist-environment", 0, Mode::Escalates},
    {u"runuser", u"-u --user -s --shell -g --group -G --supp-group -w --whitelist-environment", 0, Mode::Escalates},
    {u"command", u"", 0, Mode::Plain},
    {u"builtin", u"", 0, Mode::Plain},
    {u"exec", u"-a", 0, Mode::Plain},
    {u"nohup", u"", 0, Mode::Plain},
    {u"setsid", u"", 0, Mode::Plain},
    {u"time", u"-f -o --format --output", 0, Mode::Plain},
    {u"nice", u"-n --adjustment", 0, Mode::Plain},
    {u"ionice", u"-c -n -p -P -u -t --class --classdata", 0, Mode::Plain},
    {u"stdbuf", u"-i -o -e --input --output --error", 0, Mode::Plain},
    {u"timeout", u"-s -k --signal --kill-after", 1, Mode::Plain},
    {u"chrt", u"", 1, Mode::Plain},
    {u"taskset", u"", 1, Mode::Plain},
    {u"flock", u"-w -E --timeout --conflict-exit-code", 1, Mode::Text},
    {u"unbuffer", u"", 0, Mode::Plain},
    {u"caffeinate", u"", 0, Mode::Plain},
    {u"catchsegv", u"", 0, Mode::Plain},
    {u"noglob", u"", 0, Mode::Plain},
    {u"nocorrect", u"", 0, Mode::Plain},
    {u"coproc", u"", 0, Mode::Plain},
    {u"repeat", u"", 1, Mode::Plain},
    {u"setpriv", u"--reuid --regid --groups --inh-caps --ambient-caps --bounding-set --securebits --selinux-label --apparmor-profile", 0, Mode::Plain},
    {u"fakeroot", u"-l -s -i --lib --faked", 0, Mode::Plain},
    {u"proot", u"-r -b -w -q -k --rootfs --bind --cwd --qemu --kernel-release", 0, Mode::Plain},
    {u"torsocks", u"-u -p -a -P --user --pass --address --port", 0, Mode::Plain},
    {u"proxychains", u"-f", 0, Mode::Plain},
    {u"proxychains4", u"-f", 0, Mode::Plain},
    {u"chpst", u"-u -U -b -e -n -l -L -m -d -o -p -f -c", 0, Mode::Plain},
    {u"runcon", u"-u -r -t -l", 0, Mode::Plain},
    {u"faketime", u"-m -f", 1, Mode::Plain},
    {u"gosu", u"", 1, Mode::Escalates},
    {u"su-exec", u"", 1, Mode::Escalates},
    {u"dbus-run-session", u"--config-file --dbus-daemon", 0, Mode::Plain},
    {u"xvfb-run", u"-s -n -f -e -p -w --server-args --server-num --auth-file --error-file --xauth-protocol --wait", 0, Mode::Plain},
    {u"cpulimit", u"-l -p -e --limit --pid --exe", 0, Mode::Plain},
    {u"chroot", u"--userspec --groups", 1, Mode::Plain},
    {u"unshare", u"-S -G -R -w --setuid --setgid --root --wd --map-user --map-group --propagation", 0, Mode::Plain},
    {u"nsenter", u"-t -S -G -r -w --target --setuid --setgid --root --wd", 0, Mode::Plain},
    {u"systemd-run", u"-p -u -E -M -H -D --property --unit --description --slice --setenv --machine --host --uid --gid --nice --working-directory", 0, Mode::Plain},
    {u"firejail", u"", 0, Mode::Plain},
    {u"valgrind", u"", 0, Mode::Plain},
    {u"xargs", u"-a -d -E -e -I -i -L -l -n -P -s --arg-file --delimiter --eof --max-args --max-procs --max-chars --replace --max-lines --process-slot-var", 0, Mode::Xargs},
    {u"env", u"-u -C --unset --chdir", 0, Mode::Env},
    {u"script", u"-t -T -I -O -B -E -m --log-in --log-out --log-io --log-timing --echo --logging-format", 0, Mode::Text},
    {u"emulate", u"", 1, Mode::Text},
    {u"watch", u"-n -d -q --interval --differences --equexit", 0, Mode::Watch},
    {u"parallel", u"-j -a -S -d -I -N -L -n -P --jobs --arg-file --sshlogin --delimiter --joblog --results --tmpdir --workdir --timeout --delay --retries --halt --colsep", 0, Mode::Parallel},
    {u"busybox", u"", 0, Mode::Applet},
    {u"toybox", u"", 0, Mode::Applet},
};

// Tools whose subcommand runs the command after its options: uv run,
// poetry run, conda run -n env, bundle exec ... The text options take a
// command line instead (nix-shell --run, nix develop --command).
struct Runner {
    const char16_t *name;
    const char16_t *sub;          // empty: the options follow the name
    const char16_t *valueOptions; // options that take the next word
    const char16_t *textOptions;  // options whose value is a command line
    const char16_t *wordsOptions; // options followed by the command's words
};

constexpr Runner kRunners[] = {
    {u"uv", u"run", u"--with --python -p --project --directory --env-file --extra --group --package --from --index", u"", u""},
    {u"poetry", u"run", u"-C --directory -P --project", u"", u""},
    {u"pipenv", u"run", u"", u"", u""},
    {u"pdm", u"run", u"-p --project", u"", u""},
    {u"hatch", u"run", u"-e --env", u"", u""},
    {u"rye", u"run", u"", u"", u""},
    {u"pixi", u"run", u"-e --environment --manifest-path", u"", u""},
    {u"conda", u"run", u"-n --name -p --prefix --cwd", u"", u""},
    {u"mamba", u"run", u"-n --name -p --prefix --cwd", u"", u""},
    {u"micromamba", u"run", u"-n --name -p --prefix --cwd", u"", u""},
    {u"bundle", u"exec", u"", u"", u""},
    {u"npm", u"exec", u"-w --workspace -p --package", u"-c --call", u""},
    {u"pnpm", u"exec", u"-C --dir", u"", u""},
    {u"yarn", u"exec", u"", u"", u""},
    {u"mise", u"exec", u"-C --cd -E --env", u"-c --command", u""},
    {u"mise", u"x", u"-C --cd -E --env", u"-c --command", u""},
    {u"asdf", u"exec", u"", u"", u""},
    {u"devbox", u"run", u"-c --config -e --env", u"", u""},
    {u"direnv", u"exec", u"", u"", u""},
    {u"nix-shell", u"", u"-p --packages -A --attr -I --arg --argstr", u"--run --command", u""},
    {u"nix", u"develop", u"", u"", u"-c --command"},
    {u"nix", u"shell", u"", u"", u"-c --command"},
};

bool listed(const char16_t *list, const QString &option)
{
    return QString::fromUtf16(list).split(u' ', Qt::SkipEmptyParts).contains(option);
}

const Wrapper *wrapperNamed(const QString &name)
{
    for (const Wrapper &w : kWrappers) {
        if (name == QStringView(w.name))
            return &w;
    }
    return nullptr;
}

bool takesValue(const Wrapper &w, const QString &option)
{
    if (option.contains(u'='))
        return false;
    return QString::fromUtf16(w.valueOptions).split(u' ', Qt::SkipEmptyParts).contains(option);
}

// The text option of su, flock, script and emulate: -c TEXT, --command[=TEXT].
bool isTextOption(const QString &option)
{
    return option == u"-c" || option == u"--command" || option == u"--session-command" || option.startsWith(QLatin1String("--command="));
}

} // namespace

QString baseName(const QString &word)
{
    return word.mid(word.lastIndexOf(u'/') + 1);
}

bool isSecretName(const QString &name)
{
    static const QRegularExpression secret(QStringLiteral("(^|_)(api_?key|key|token|secret|password|passwd|pass|pwd|credentials?)(_|$)"),
                                           QRegularExpression::CaseInsensitiveOption);
    return platform::CredentialEnvironment::names().contains(name) || (name != u"PWD" && name != u"OLDPWD" && secret.match(name).hasMatch());
}

QStringList Invocation::texts() const
{
    QStringList out;
    for (const Word *w : args)
        out.append(w->text);
    return out;
}

bool Flags::has(QChar letter, QStringView longName) const
{
    if (!letter.isNull() && shortLetters.contains(letter))
        return true;
    if (longName.isEmpty())
        return false;
    for (const QString &o : longOptions) {
        if (o == longName || (o.startsWith(longName) && o.size() > longName.size() && o.at(longName.size()) == u'='))
            return true;
    }
    return false;
}

Flags flagsOf(const QStringList &args)
{
    Flags f;
    bool options = true;
    for (const QString &a : args) {
        if (options && a == u"--") {
            options = false;
        } else if (options && a.startsWith(QLatin1String("--"))) {
            f.longOptions.append(a);
        } else if (options && a.size() > 1 && a.startsWith(u'-')) {
            f.shortLetters.append(a.mid(1));
        } else {
            f.operands.append(a);
        }
    }
    return f;
}

void Review::flagRow(const char *id, const QString &name)
{
    if (leftOut(id))
        m_leftOutSpoke = true;
    else
        flag(reasonOf(id, name));
}

void Review::flagOutside(const char *id, const QString &place, bool weak)
{
    if (leftOut(id)) {
        m_leftOutSpoke = true;
        return;
    }
    std::optional<QString> &slot = weak ? m_weakReason : m_outsideReason;
    if (!slot)
        slot = reasonOf(id, place);
}

std::optional<QString> Review::finalReason() const
{
    // A row left out that spoke leaves the outside rows silent as well: the
    // row alone decides what it catches.
    if (reason || m_leftOutSpoke)
        return reason;
    return m_outsideReason ? m_outsideReason : m_weakReason;
}

void Review::flag(const QString &why)
{
    if (m_leftOut && isReasonOf(m_leftOut, why)) {
        m_leftOutSpoke = true;
        return;
    }
    if (!reason)
        reason = why;
}

bool Review::spend(qsizetype characters, int commands)
{
    if (m_exhausted)
        return false;
    if (m_work.spend(characters + commands * kCommandCost))
        return true;
    return tooComplex();
}

bool Review::spendOnWords(const std::vector<const Word *> &words)
{
    qint64 units = 0;
    for (const Word *w : words)
        units += kWordCost + w->text.size();
    return spend(units);
}

bool Review::expanded(qsizetype length)
{
    return length <= kMaxValue ? spend(length) : tooComplex();
}

bool Review::tooComplex()
{
    m_exhausted = true;
    flagRow("too-complex");
    return false;
}

void Review::killOthers()
{
    if (leftOut("kills-others"))
        return;
    killsOthers = true;
    flagRow("kills-others");
}

const Word *Review::synthetic(const QString &text)
{
    m_synthetic.push_back(Word{text, QByteArray(text.size(), 's'), {}, false, false, false});
    return &m_synthetic.back();
}

void Review::shellText(const QString &text, const Scope &outer)
{
    if (outer.depth >= kMaxDepth) {
        flagRow("nested-too-deeply");
        return;
    }
    if (!spend(text.size(), 1))
        return;
    Scope scope{outer.cwd, {}, outer.depth + 1, outer.values, outer.finder, outer.background, outer.secrets};
    const CommandList commands = parse(text, m_work);
    if (m_work.exhausted()) {
        tooComplex();
        return;
    }
    list(commands, scope);
}

void Review::list(const CommandList &commands, Scope &scope)
{
    // Functions and aliases of this text: calling one runs text the name does not show.
    for (const Pipeline &p : commands.pipelines) {
        for (const SimpleCommand &c : p.commands) {
            const std::vector<Word> &w = c.words;
            if (c.definesFunction && !w.empty())
                scope.defined.insert(w.back().text.toLower());
            else if (w.size() >= 2 && w[0].text == u"function" && !w[0].anyQuoted())
                scope.defined.insert(w[1].text.toLower());
            else if (!w.empty() && (w[0].text == u"alias" || (w[0].text == u"hash" && w.size() >= 2 && w[1].text == u"-p"))) {
                for (std::size_t i = 1; i < w.size(); ++i) {
                    if (w[0].text == u"hash" && i == w.size() - 1 && !w[i].text.startsWith(u'-'))
                        scope.defined.insert(w[i].text.toLower());
                    else if (w[0].text == u"alias" && w[i].text.contains(u'='))
                        scope.defined.insert(w[i].text.left(w[i].text.indexOf(u'=')).toLower());
                }
            }
        }
    }
    judgeLoops(*this, commands, scope.background);
    for (const Pipeline &p : commands.pipelines) {
        if (!p.background) {
            pipeline(p, scope);
            continue;
        }
        // A background job runs in a copy of the shell: what it sets stays there.
        Scope job = scope;
        job.background = true;
        pipeline(p, job);
    }
}

void Review::nested(const Word &w, Scope &scope)
{
    if (w.tooDeep)
        flagRow("nested-too-deeply");
    for (const CommandList &sub : w.substitutions) {
        Scope inner = scope;
        list(sub, inner);
    }
}

void Review::pipeline(const Pipeline &p, Scope &scope)
{
    Text flow;
    for (const SimpleCommand &c : p.commands) {
        if (!spend(0, 1))
            return;
        for (const Word &w : c.words)
            nested(w, scope);
        for (const Redirect &r : c.redirects) {
            nested(r.target, scope);
            if (r.hereDoc)
                nested(*r.hereDoc, scope);
        }
        const Text input = inputOf(c, flow, scope);
        if (c.definesFunction) {
            flow = {};
            continue;
        }
        Resolved r = resolve(c, scope);
        if (r.invocation) {
            for (const Redirect &redirect : c.redirects)
                r.invocation->redirects.push_back(&redirect);
        }
        judgeResolved(r, input, scope);
        const Text output = r.invocation ? yields(*r.invocation, scope) : (r.computedName ? Text::of(Text::Kind::Computed) : Text{});
        redirects(c, output, scope);
        const bool toFile = std::any_of(c.redirects.cbegin(), c.redirects.cend(), [](const Redirect &rd) {
            return (rd.fd == -1 || rd.fd == 1) && (rd.op == u">" || rd.op == u">>" || rd.op == u">|" || rd.op == u"&>" || rd.op == u"&>>");
        });
        flow = toFile ? Text{} : output;
    }
}

void Review::redirects(const SimpleCommand &c, const Text &output, Scope &scope)
{
    for (const Redirect &r : c.redirects) {
        if (r.hereDoc || r.op == u"<<<")
            continue;
        const QString &target = r.target.text;
        if (r.fd >= 3 && (r.op == u"<" || r.op == u"<>"))
            m_descriptors.insert(r.fd, inputOf(SimpleCommand{{}, {Redirect{r.op, -1, r.target, std::nullopt}}, false}, {}, scope));
        const bool duplicate = (r.op == u">&" || r.op == u"<&") && (target == u"-" || std::all_of(target.cbegin(), target.cend(), [](QChar ch) { return ch.isDigit(); }));
        if (duplicate)
            continue;
        const bool writes = r.op.contains(u'>');
        const Place at = place(r.target, scope);
        if (writes)
            judgeLanding(*this, at); // a credential or git hook planted names its place
        if (const std::optional<QString> label = Places::credential(at))
            flagRow("credential-place", *label);
        if (Places::isStartupFile(at))
            flagRow("shell-profile");
        if (writes) {
            if (Places::isDevice(target))
                flagRow("raw-disk-write", QStringLiteral("redirect to a device"));
            if (target == u"/proc/sysrq-trigger")
                flagRow("reboot");
            const bool appends = r.op == u">>" || r.op == u"&>>" || r.op == u"<>";
            const Text written = r.fd == 2 ? Text::of(Text::Kind::Computed) : output;
            judgePlaceWritten(*this, at, written);
            judgeWrite(*this, at, appends ? Writes::Changes : Writes::Overwrites);
            wrote(at, written);
        }
    }
}

Review::Resolved Review::resolve(const std::vector<const Word *> &words, const Scope &scope)
{
    Resolved r;
    std::size_t i = 0;
    bool viaXargs = false;
    QString replace;
    while (i < words.size()) {
        const Word &w = *words[i];
        if (isReserved(w)) {
            ++i;
            continue;
        }
        if (isAssignment(w)) {
            r.assignments.push_back(&w);
            ++i;
            continue;
        }
        if (w.text == u"-" && !w.anyQuoted()) {
            ++i; // zsh: "- cmd" runs cmd with a dash before its name
            continue;
        }
        if (w.text == u"function" && !w.anyQuoted()) {
            i += 2; // "function name { ... }": the body follows
            continue;
        }
        if (const std::optional<QString> program = pathLookup(w)) {
            // "$(which python3)" is python3, found on the search path.
            std::vector<const Word *> named(words.begin() + qsizetype(i), words.end());
            named.front() = synthetic(*program);
            return withWrappers(r, resolve(named, scope));
        }
        if (w.expands || (w.glob && w.text != u"[" && w.text != u"[[") || (!replace.isEmpty() && w.text.contains(replace))) {
            r.computedName = true;
            return r;
        }
        QString name = baseName(w.text).toLower();
        if (name.startsWith(u'=') && name.size() > 1)
            name = name.mid(1); // zsh: =cmd is the path of cmd
        if (scope.defined.contains(name)) {
            r.computedName = true;
            return r;
        }
        if (name == u"capsh") {
            // capsh [options] -- ARGS runs bash with ARGS.
            std::size_t j = i + 1;
            while (j < words.size() && words[j]->text != u"--")
                ++j;
            if (j >= words.size())
                return r;
            Invocation inv{QStringLiteral("bash"), synthetic(QStringLiteral("bash")), {}, {}, {}, viaXargs, replace};
            for (++j; j < words.size(); ++j)
                inv.args.push_back(words[j]);
            r.invocation = std::move(inv);
            return r;
        }
        if (name == u"ip" && i + 3 < words.size() && words[i + 1]->text == u"netns" && words[i + 2]->text == u"exec") {
            i += 4; // ip netns exec NAME command
            continue;
        }
        if (runner(words, i, name, r)) {
            if (r.invocation || i >= words.size())
                return r;
            continue;
        }
        const Wrapper *wrapper = wrapperNamed(name);
        const std::size_t start = i;
        if (!wrapper) {
            Invocation inv{name, &w, {}, {}, {}, viaXargs, replace};
            for (std::size_t j = i + 1; j < words.size(); ++j)
                inv.args.push_back(words[j]);
            r.invocation = std::move(inv);
            return r;
        }
        ++i;
        if (wrapper->mode == Mode::Xargs || wrapper->mode == Mode::Parallel)
            viaXargs = true;
        if (wrapper->mode == Mode::Applet) {
            if (i < words.size() && words[i]->text.startsWith(u'-'))
                return r; // busybox --list
            continue;
        }
        int operands = wrapper->operandsBefore;
        const Word *text = nullptr;
        QStringList options;
        bool watchExec = false;
        while (i < words.size()) {
            const QString &option = words[i]->text;
            if (option == u"--") {
                ++i;
                break;
            }
            const bool textCluster = option.size() > 2 && option.at(1) != u'-' && option.endsWith(u'c');
            if (wrapper->mode == Mode::Text && (isTextOption(option) || textCluster)) {
                const bool attached = option.contains(u'=');
                text = attached ? synthetic(option.mid(option.indexOf(u'=') + 1)) : (i + 1 < words.size() ? words[i + 1] : nullptr);
                break;
            }
            if ((name == u"su" || name == u"runuser") && isTextOption(option)) {
                text = i + 1 < words.size() ? words[i + 1] : nullptr;
                break;
            }
            if (wrapper->mode == Mode::Env && isAssignment(*words[i])) {
                r.assignments.push_back(words[i]); // env PAGER=... cmd: as a prefix assignment
                ++i;
                continue;
            }
            const bool splitCluster = option.size() > 1 && option.at(0) == u'-' && option.at(1) != u'-' && option.contains(u'S');
            if (wrapper->mode == Mode::Env && (splitCluster || option.startsWith(QLatin1String("--split-string")))) {
                // env -S STRING (also -iS, -S"...", --split-string=...) splits
                // its string into words, quotes and escapes read as a shell
                // reads them, and runs them with the words after it: the
                // command is the first of them, with no shell between.
                const qsizetype valueAt = splitCluster ? option.indexOf(u'S') + 1 : option.indexOf(u'=') + 1;
                const bool attached = valueAt > 0 && valueAt < option.size();
                const std::size_t next = i + (attached ? 1 : 2);
                std::vector<const Word *> split;
                const QString value = attached ? option.mid(valueAt) : (i + 1 < words.size() ? words[i + 1]->text : QString());
                for (const Pipeline &p : parse(value, m_work).pipelines) {
                    for (const SimpleCommand &sc : p.commands) {
                        for (const Word &part : sc.words) {
                            m_synthetic.push_back(part);
                            split.push_back(&m_synthetic.back());
                        }
                    }
                }
                split.insert(split.end(), words.begin() + qsizetype(qMin(next, words.size())), words.end());
                return withWrappers(r, resolve(split, scope));
            }
            // A lone "-" ends the options of zsh's builtins and empties env's
            // environment; only su reads it as an operand (a login shell).
            if (option == u"-" && name != u"su") {
                ++i;
                continue;
            }
            if (!option.startsWith(u'-') || option == u"-") {
                if (operands == 0 || (name == u"su" && option == u"-"))
                    break;
                --operands;
                ++i;
                continue;
            }
            if (name == u"systemd-run" && option.startsWith(QLatin1String("--on-")))
                r.scheduled = true;
            // env -C DIR, sudo -D DIR: the command runs in DIR, as after "cd DIR &&".
            const QLatin1String dirOption = name == u"env" ? QLatin1String("-C") : QLatin1String("-D");
            if ((name == u"env" || name == u"sudo") && (option.startsWith(dirOption) || option == u"--chdir" || option.startsWith(QLatin1String("--chdir=")))) {
                const Place from = r.cwd.value_or(scope.cwd);
                if ((option == dirOption || option == u"--chdir") && i + 1 < words.size())
                    r.cwd = m_places.resolve(words[i + 1]->text, words[i + 1]->unquoted(0), from);
                else if (option != dirOption && option != u"--chdir")
                    r.cwd = m_places.resolve(option.mid(option.startsWith(dirOption) ? 2 : 8), false, from);
            }
            options.append(option);
            if (takesValue(*wrapper, option) && i + 1 < words.size())
                options.append(option + u'=' + words[i + 1]->text); // "-P 0" also as "-P=0"
            if (name == u"command" && (option == u"-v" || option == u"-V"))
                return r; // only looks the name up
            if ((name == u"chrt" || name == u"taskset" || name == u"ionice") && (option == u"-p" || option == u"-P" || option == u"--pid")) {
                // Changes a running process rather than starting a command.
                Invocation inv{name, &w, {}, {}, {}, viaXargs, replace};
                for (std::size_t j = start + 1; j < words.size(); ++j)
                    inv.args.push_back(words[j]);
                r.invocation = std::move(inv);
                return r;
            }
            if (name == u"watch" && (option == u"-x" || option == u"--exec"))
                watchExec = true;
            if (wrapper->mode == Mode::Xargs) {
                if ((option == u"-I" || option == u"--replace") && i + 1 < words.size())
                    replace = words[i + 1]->text;
                else if (option.startsWith(QLatin1String("-I")) || option.startsWith(QLatin1String("--replace=")))
                    replace = option.mid(option.startsWith(u'-') && option.at(1) == u'I' ? 2 : 10);
                else if (option.startsWith(QLatin1String("-i")))
                    replace = option.size() > 2 ? option.mid(2) : QStringLiteral("{}");
            }
            i += takesValue(*wrapper, option) ? 2 : 1;
        }
        if (i < words.size() && !r.wrapperReason)
            r.wrapperReason = wrapperReason(name, options);
        // sudo alone only prints its usage; with a command, a shell (-s, -i) or as su it runs as another user.
        const bool shellOption = std::any_of(words.cbegin(), words.cend(), [](const Word *word) {
            return word->text == u"-s" || word->text == u"-i" || word->text == u"--shell" || word->text == u"--login";
        });
        if (wrapper->mode == Mode::Escalates && (i < words.size() || text || shellOption || name == u"su"))
            r.escalations.append(name);
        if (name == u"su" || name == u"runuser") {
            // su [user] -c TEXT; a bare su starts a login shell, runuser -u user -- cmd runs cmd.
            for (std::size_t j = i; !text && j < words.size(); ++j) {
                if (isTextOption(words[j]->text) && j + 1 < words.size())
                    text = words[j + 1];
            }
            if (!text && !(name == u"runuser" && i < words.size() && i > 0 && words[i - 1]->text == u"--"))
                return r;
        }
        if (wrapper->mode == Mode::Parallel && i < words.size()) {
            // parallel COMMAND ::: args: the command is a line run by a shell.
            QStringList rest;
            std::size_t j = i;
            for (; j < words.size() && !words[j]->text.startsWith(QLatin1String(":::")); ++j)
                rest.append(words[j]->text);
            if (!rest.isEmpty())
                text = j - i == 1 ? words[i] : synthetic(rest.join(u' '));
            // parallel ::: CMD1 CMD2: with no command, each argument is a command line.
            if (rest.isEmpty() && j < words.size() && words[j]->text == u":::") {
                QStringList commands;
                for (std::size_t k = j + 1; k < words.size() && !words[k]->text.startsWith(QLatin1String(":::")); ++k)
                    commands.append(words[k]->text);
                if (!commands.isEmpty())
                    text = synthetic(commands.join(u'\n'));
            }
            // parallel CMD ::: a b: one line for each argument, put at {} or appended.
            QStringList lines;
            for (std::size_t k = j + 1; text && j < words.size() && words[j]->text == u":::" && k < words.size() && lines.size() < 16; ++k) {
                if (words[k]->text.startsWith(QLatin1String(":::")))
                    break;
                const QString value = tildeExpanded(*words[k], words[k]->text);
                const QString &line = text->text;
                lines.append(line.contains(QLatin1String("{}")) ? QString(line).replace(QLatin1String("{}"), value) : line + u' ' + value);
            }
            if (!lines.isEmpty() && text->substitutions.empty())
                text = synthetic(lines.join(u'\n'));
        }
        if (wrapper->mode == Mode::Watch && !watchExec && i < words.size()) {
            // watch runs its words joined as one command line.
            QStringList rest;
            for (std::size_t j = i; j < words.size(); ++j)
                rest.append(words[j]->text);
            text = rest.size() == 1 ? words[i] : synthetic(rest.join(u' '));
        }
        if (text) {
            Invocation inv{QStringLiteral("sh"), synthetic(QStringLiteral("sh")), {synthetic(QStringLiteral("-c")), text}, {}, {}, viaXargs, replace};
            r.invocation = std::move(inv);
            return r;
        }
        if (i >= words.size() && wrapper->mode == Mode::Env) {
            // env alone prints the environment.
            r.invocation = Invocation{name, &w, {words.begin() + qsizetype(start) + 1, words.end()}, {}, {}, viaXargs, replace};
            return r;
        }
        if (i >= words.size() && viaXargs) {
            // xargs alone runs echo.
            r.invocation = Invocation{QStringLiteral("echo"), synthetic(QStringLiteral("echo")), {}, {}, {}, true, replace};
            return r;
        }
    }
    return r;
}

Review::Resolved Review::withWrappers(const Resolved &outer, Resolved inner)
{
    inner.escalations = outer.escalations + inner.escalations;
    inner.assignments.insert(inner.assignments.begin(), outer.assignments.begin(), outer.assignments.end());
    inner.scheduled = inner.scheduled || outer.scheduled;
    if (!inner.wrapperReason)
        inner.wrapperReason = outer.wrapperReason;
    if (!inner.cwd)
        inner.cwd = outer.cwd;
    return inner;
}

bool Review::runner(const std::vector<const Word *> &words, std::size_t &i, const QString &name, Resolved &r)
{
    const Runner *found = nullptr;
    for (const Runner &candidate : kRunners) {
        if (name == QStringView(candidate.name)
            && (candidate.sub[0] == 0 || (i + 1 < words.size() && words[i + 1]->text == QStringView(candidate.sub)))) {
            found = &candidate;
            break;
        }
    }
    if (!found)
        return false;
    std::size_t j = i + (found->sub[0] == 0 ? 1 : 2);
    const bool textOnly = found->textOptions[0] != 0 && found->sub[0] == 0;
    for (; j < words.size(); ++j) {
        const QString &option = words[j]->text;
        const qsizetype eq = option.indexOf(u'=');
        const QString key = eq > 0 ? option.left(eq) : option;
        if (listed(found->textOptions, key)) {
            const Word *text = eq > 0 ? synthetic(option.mid(eq + 1)) : (j + 1 < words.size() ? words[j + 1] : nullptr);
            if (text)
                r.invocation = Invocation{QStringLiteral("sh"), synthetic(QStringLiteral("sh")), {synthetic(QStringLiteral("-c")), text}, {}, {}, false, {}};
            i = words.size();
            return true;
        }
        if (listed(found->wordsOptions, key)) {
            i = j + 1;
            return true;
        }
        if (option == u"--") {
            ++j;
            break;
        }
        if (!option.startsWith(u'-') && !textOnly && found->wordsOptions[0] == 0)
            break;
        if (listed(found->valueOptions, key) && eq < 0)
            ++j;
    }
    // nix-shell without --run and nix develop without --command start a shell.
    i = textOnly || found->wordsOptions[0] != 0 ? words.size() : j;
    return true;
}

Review::Resolved Review::resolve(const SimpleCommand &c, const Scope &scope)
{
    std::vector<const Word *> words;
    for (const Word &w : c.words)
        words.push_back(&w);
    return resolve(words, scope);
}

std::optional<Invocation> Review::quietInvocation(const std::vector<const Word *> &words, const Scope &scope)
{
    Resolved r = resolve(words, scope);
    return r.invocation;
}

void Review::judgeResolved(Resolved &r, const Text &input, Scope &scope)
{
    if (r.cwd) {
        // Judged in the wrapper's folder; the line stays where it stands.
        Scope moved = scope;
        moved.cwd = *std::exchange(r.cwd, std::nullopt);
        judgeResolved(r, input, moved);
        return;
    }
    if (r.computedName)
        flagRow("computed-name");
    for (const QString &name : std::as_const(r.escalations))
        flagRow("escalation", name);
    if (r.scheduled)
        flagRow("scheduled");
    if (r.wrapperReason)
        flag(*r.wrapperReason);
    for (const Word *a : r.assignments) {
        if (listsProcesses(*a, scope))
            addPidVariable(a->text.left(a->text.indexOf(u'=')).remove(u'+'));
    }
    // PAGER=..., GIT_EDITOR=... before a command: the program it will start.
    static const QStringList programs{QStringLiteral("PAGER"), QStringLiteral("MANPAGER"), QStringLiteral("GIT_PAGER"), QStringLiteral("SYSTEMD_PAGER"),
                                      QStringLiteral("GIT_EDITOR"), QStringLiteral("EDITOR"), QStringLiteral("VISUAL"), QStringLiteral("SUDO_EDITOR"),
                                      QStringLiteral("GIT_SSH_COMMAND"), QStringLiteral("GIT_SEQUENCE_EDITOR"), QStringLiteral("LESSOPEN"),
                                      QStringLiteral("LESSCLOSE"), QStringLiteral("BROWSER")};
    for (const Word *a : r.assignments) {
        const qsizetype eq = a->text.indexOf(u'=');
        if (r.invocation && programs.contains(a->text.left(eq))) {
            QString program = a->text.mid(eq + 1);
            if (program.startsWith(u'|'))
                program = program.mid(1).replace(QLatin1String("%s"), QLatin1String("file"));
            run(Text::known(program), Language::Shell, scope);
            if (isShellLine(program))
                flagRow("editor-escape", a->text.left(eq));
        }
    }
    if (r.invocation && r.invocation->name == u"git")
        judgeGitEnvironment(*this, r.assignments, scope);
    // PIP_INDEX_URL=..., npm_config_registry=... before an installer: the
    // index it fetches from, as its option would say.
    static const QRegularExpression indexVariable(QStringLiteral("^(?:PIP_(?:EXTRA_)?INDEX_URL|PIP_FIND_LINKS|UV_(?:EXTRA_|DEFAULT_)?INDEX(?:_URL)?|"
                                                                 "NPM_CONFIG_REGISTRY|YARN_REGISTRY|BUN_CONFIG_REGISTRY|CARGO_REGISTRIES_\\w+_INDEX)$"),
                                                  QRegularExpression::CaseInsensitiveOption);
    for (const Word *a : r.assignments) {
        const qsizetype eq = a->text.indexOf(u'=');
        const QString value = a->text.mid(eq + 1);
        if (r.invocation && indexVariable.match(a->text.left(eq)).hasMatch() && value.contains(QLatin1String("://"))
            && !value.startsWith(QLatin1String("https://pypi.org/")) && !value.startsWith(QLatin1String("https://registry.npmjs.org")))
            flagRow("foreign-install", r.invocation->name);
    }
    if (!r.invocation) {
        assigned(r.assignments, scope);
        return;
    }
    r.invocation->input = input;
    // The pipeline counted the command once; each further value counts again.
    const std::vector<Invocation> invocations = withValues(*r.invocation, scope);
    for (std::size_t k = 0; k < invocations.size(); ++k) {
        if (k > 0 && !spend(0, 1))
            return;
        judge(*this, invocations[k], scope);
    }
}

void Review::assigned(const std::vector<const Word *> &assignments, Scope &scope)
{
    for (const Word *a : assignments) {
        const qsizetype eq = a->text.indexOf(u'=');
        const QString name = a->text.left(eq).remove(u'+');
        const Word value = valueWord(*a, eq + 1);
        // A copy of a secret is a secret: sent later under its new name.
        static const QRegularExpression reference(QStringLiteral("\\$\\{?([A-Za-z_][A-Za-z0-9_]*)"));
        bool secret = false;
        for (auto it = reference.globalMatch(value.text); it.hasNext() && !secret;) {
            const QRegularExpressionMatch m = it.next();
            secret = value.live(m.capturedStart()) && (isSecretName(m.captured(1)) || scope.secrets.contains(m.captured(1)));
        }
        if (secret)
            scope.secrets.insert(name);
        else
            scope.secrets.remove(name);
        const Text t = textOf(value, scope);
        // A secret's value is not the line's to know: "$t" stays a reference.
        if (secret || t.kind != Text::Kind::Known || a->text.at(eq - 1) == u'+' || value.text.startsWith(u'(')) {
            scope.values.remove(name);
            continue;
        }
        const std::vector<Invocation> filled = withValues(Invocation{{}, nullptr, {&value}, {}, {}, false, {}}, scope);
        QStringList texts;
        for (const Invocation &inv : filled)
            texts.append(tildeExpanded(value, inv.args.front()->text));
        scope.values.insert(name, texts);
    }
}

Word Review::valueWord(const Word &w, qsizetype from)
{
    Word out;
    out.text = w.text.mid(from);
    out.quoting = w.quoting.mid(from);
    out.substitutions = w.substitutions;
    out.expands = w.expands;
    out.glob = w.glob;
    return out;
}

QString Review::tildeExpanded(const Word &word, const QString &text) const
{
    if (word.unquoted(0) && text.startsWith(u'~') && (text.size() == 1 || text.at(1) == u'/'))
        return m_places.home() + text.mid(1);
    return text;
}

void Review::setPositional(Scope &scope, const QStringList &arguments) const
{
    for (qsizetype i = 0; i < 10; ++i)
        scope.values.remove(QString::number(i));
    for (qsizetype i = 0; i < arguments.size() && i < 10; ++i)
        scope.values.insert(QString::number(i), {arguments.at(i)});
    const QStringList rest = arguments.mid(1);
    scope.values.insert(QStringLiteral("@"), rest);
    scope.values.insert(QStringLiteral("*"), rest);
}

std::vector<Invocation> Review::withValues(const Invocation &inv, Scope &scope)
{
    static const QRegularExpression reference(QStringLiteral("\\$(?:\\{([A-Za-z_][A-Za-z0-9_]*|[0-9@*])\\}|([A-Za-z_][A-Za-z0-9_]*|[0-9@*]))"));
    constexpr qsizetype kMaxAlternatives = 16;
    // Shells, interpreters, eval and source read their words as text and
    // files themselves: "<(...)" there is a file to run, not its output.
    if (isShell(inv.name) || interpreterLanguage(inv.name) || isOneOf(inv.name, {u"source", u".", u"eval"}))
        return {inv};
    // The values each argument may take; most take one.
    std::vector<QStringList> choices;
    std::vector<bool> changed;
    qsizetype alternatives = 1;
    for (const Word *w : inv.args) {
        QStringList texts{w->text};
        bool filled = false;
        if (!w->substitutions.empty()) {
            const Text t = textOf(*w, scope);
            if (t.kind == Text::Kind::Known && t.text != w->text) {
                texts = {t.text};
                filled = true;
            }
        } else if (w->expands && !scope.values.isEmpty()) {
            texts = {QString()};
            qsizetype from = 0;
            for (auto it = reference.globalMatch(w->text); it.hasNext();) {
                const QRegularExpressionMatch m = it.next();
                const QString name = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
                const auto value = scope.values.constFind(name);
                if (!w->live(m.capturedStart()) || value == scope.values.cend())
                    continue;
                const QString before = w->text.mid(from, m.capturedStart() - from);
                QStringList next;
                for (const QString &t : std::as_const(texts)) {
                    for (const QString &v : *value) {
                        if (next.size() >= kMaxAlternatives)
                            break;
                        if (!expanded(t.size() + before.size() + v.size()))
                            return {};
                        next.append(t + before + v);
                    }
                }
                texts = next.isEmpty() ? QStringList{QString()} : next;
                from = m.capturedEnd();
                filled = true;
            }
            for (QString &t : texts)
                t += w->text.mid(from);
        }
        alternatives = qMax(alternatives, texts.size());
        choices.push_back(filled ? texts : QStringList{w->text});
        changed.push_back(filled);
    }
    std::vector<Invocation> out;
    for (qsizetype k = 0; k < qMin(alternatives, kMaxAlternatives); ++k) {
        Invocation filled = inv;
        for (std::size_t i = 0; i < inv.args.size(); ++i) {
            if (!changed[i])
                continue;
            const QString &text = choices[i].at(k % choices[i].size());
            const bool glob = inv.args[i]->glob || text.contains(u'*') || text.contains(u'?');
            m_synthetic.push_back(Word{text, QByteArray(text.size(), 's'), {}, false, glob, false});
            // "~/$d" filled in is still home: the shell expands the tilde first.
            if (inv.args[i]->unquoted(0) && inv.args[i]->text.startsWith(u'~') && text.startsWith(u'~'))
                m_synthetic.back().quoting[0] = 'u';
            filled.args[i] = &m_synthetic.back();
        }
        out.push_back(std::move(filled));
    }
    return out;
}

void Review::runWords(const std::vector<const Word *> &words, Scope &scope)
{
    if (!spend(0, 1))
        return;
    if (scope.depth >= kMaxDepth) {
        flagRow("nested-too-deeply");
        return;
    }
    Scope inner = scope;
    ++inner.depth;
    Resolved r = resolve(words, inner);
    judgeResolved(r, {}, inner);
}

Place Review::place(const Word &word, const Scope &scope) const
{
    // A zsh glob qualifier ("~/*(/)", "*(.om[1,3])") picks among the matches
    // of the pattern before it: the place is the pattern's.
    const qsizetype open = word.text.lastIndexOf(u'(');
    if (word.glob && word.text.endsWith(u')') && open >= 0 && word.text.indexOf(u')', open) == word.text.size() - 1) {
        const QString pattern = word.text.left(open);
        if (pattern.contains(u'*') || pattern.contains(u'?') || pattern.contains(u'['))
            return m_places.resolve(pattern, word.unquoted(0), scope.cwd);
    }
    return m_places.resolve(word.text, word.unquoted(0), scope.cwd);
}

namespace {

Review reviewed(const QString &command, std::stop_token stop, const char *leftOut = nullptr, const QString &projectRoot = {})
{
    Review review(std::move(stop), projectRoot);
    review.leaveOut(leftOut);
    Scope top;
    top.depth = -1;
    review.shellText(command, top);
    review.reason = review.finalReason();
    return review;
}

} // namespace

Findings review(const QString &command, std::stop_token stop, const QString &projectRoot)
{
    const Review r = reviewed(command, std::move(stop), nullptr, projectRoot);
    return {r.reason, r.killsOthers};
}

Findings reviewWithout(const QString &command, const char *rowId)
{
    const Review r = reviewed(command, {}, rowId);
    return {r.reason, r.killsOthers};
}

std::optional<QString> destructiveReason(const QString &command)
{
    return reviewed(command, {}).reason;
}

bool killsOtherProcesses(const QString &command)
{
    return reviewed(command, {}).killsOthers;
}

} // namespace agent::CommandReview
