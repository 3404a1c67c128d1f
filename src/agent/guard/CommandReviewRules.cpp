// The rules of each command: what a careful reviewer asks about, by the
// command's name, options and operands.
#include "agent/guard/CommandReviewConditions.h"
#include "agent/guard/CommandReviewRows.h"
#include "agent/guard/CommandReviewer.h"

#include <QHash>
#include <QRegularExpression>
#include <QUrl>

#include <functional>

namespace agent::CommandReview {

namespace {

// Operand words: those that are not options (all of them after "--").
std::vector<const Word *> operandWords(const Invocation &inv)
{
    std::vector<const Word *> out;
    bool options = true;
    for (const Word *w : inv.args) {
        if (options && w->text == u"--")
            options = false;
        else if (!options || w->text.size() < 2 || !w->text.startsWith(u'-'))
            out.push_back(w);
    }
    return out;
}

// Commands that only look at names and metadata, or print their words: a
// credential place in their arguments is not read.
bool onlyLooks(const Invocation &inv)
{
    if (isOneOf(inv.name, {u"ls", u"ll", u"dir", u"vdir", u"stat", u"test", u"[", u"[[", u"file", u"du", u"tree", u"realpath",
                           u"readlink", u"dirname", u"basename", u"namei", u"echo", u"printf", u"print", u"type", u"which", u"whereis",
                           u"cd", u"pushd", u"popd", u"mkdir", u"getfacl", u"lsattr", u"exa", u"eza", u"lsd", u"df", u"man", u"info",
                           u"whatis", u"apropos", u"help"}))
        return true;
    const QStringList a = inv.texts();
    if (inv.name == u"find") {
        static const QStringList actions{QStringLiteral("-exec"), QStringLiteral("-execdir"), QStringLiteral("-ok"), QStringLiteral("-okdir"),
                                         QStringLiteral("-delete"), QStringLiteral("-fprint"), QStringLiteral("-fprint0"),
                                         QStringLiteral("-fprintf"), QStringLiteral("-fls")};
        return std::none_of(a.cbegin(), a.cend(), [](const QString &x) { return actions.contains(x); });
    }
    if (inv.name == u"ssh-keygen")
        return std::any_of(a.cbegin(), a.cend(), [](const QString &x) { return x == u"-l" || x == u"-y" || x == u"-F" || x == u"-R" || x == u"-lf"; });
    return false;
}

// Commands that only read the files they are given and print what they
// find: they change no file named in their words.
bool onlyReads(const Invocation &inv)
{
    if (isOneOf(inv.name, {u"cat", u"tac", u"head", u"tail", u"less", u"more", u"most", u"bat", u"batcat", u"grep", u"egrep", u"fgrep",
                           u"rg", u"ag", u"ack", u"wc", u"diff", u"cmp", u"comm", u"file", u"strings", u"md5sum", u"sha1sum",
                           u"sha256sum", u"sha512sum", u"b2sum", u"cksum", u"hexdump", u"xxd", u"od", u"nl", u"jq", u"yq", u"column",
                           u"colordiff", u"zcat", u"bzcat", u"xzcat", u"zless", u"zgrep"}))
        return true;
    if (inv.name == u"sort")
        return !flagsOf(inv.texts()).has(u'o', u"--output");
    return false;
}

// Commands that read or copy whole folders: given a folder that holds a
// credential place, they read it too.
bool readsRecursively(const Invocation &inv)
{
    if (inv.name == u"find")
        return !onlyLooks(inv); // with -exec or -delete; a listing reads names only
    if (isOneOf(inv.name, {u"tar", u"bsdtar", u"zip", u"7z", u"7za", u"rar", u"rclone", u"rg", u"ag", u"ack"}))
        return true;
    const Flags f = flagsOf(inv.texts());
    if (isOneOf(inv.name, {u"grep", u"egrep", u"fgrep", u"zgrep"}))
        return f.has(u'r', u"--recursive") || f.has(u'R', u"--dereference-recursive");
    if (isOneOf(inv.name, {u"cp", u"scp", u"rsync"}))
        return f.has(u'r', u"--recursive") || f.has(u'R') || f.has(u'a', u"--archive");
    return false;
}

// A folder holding a credential place, read or copied whole.
void checkFolders(Review &review, const Invocation &inv, Scope &scope)
{
    if (!readsRecursively(inv))
        return;
    for (const Word *w : inv.args) {
        if (w->text.startsWith(u'-'))
            continue;
        if (const std::optional<QString> inside = Places::credentialInside(review.place(*w, scope)))
            review.flagRow("credential-place", *inside);
    }
}

// Credential places, shell start-up files and persistence places in the
// arguments, also inside "--opt=path", "if=path" and "@path", and relative
// to a folder changed to earlier.
void checkPlaces(Review &review, const Invocation &inv, Scope &scope, const std::vector<const Word *> &code = {})
{
    if (onlyLooks(inv))
        return;
    const bool identityOption = isOneOf(inv.name, {u"ssh", u"scp", u"sftp", u"rsync", u"sshfs"});
    const bool reader = onlyReads(inv);
    Place cwd = scope.cwd;
    for (std::size_t i = 0; i < inv.args.size(); ++i) {
        const Word &w = *inv.args[i];
        const QString &text = w.text;
        if (std::find(code.cbegin(), code.cend(), &w) != code.cend())
            continue; // program text, judged as a program
        // Words with spaces are sentences, unless they start like a path.
        static const QRegularExpression pathLike(QStringLiteral("^(/|~|\\$HOME\\b|\\$\\{HOME|\\./|\\.\\./)"));
        if (text.isEmpty() || ((text.contains(u' ') || text.contains(u'\t') || text.contains(u'\n')) && !pathLike.match(text).hasMatch()))
            continue;
        const QString previous = i > 0 ? inv.text(i - 1) : QString();
        if (identityOption && (previous == u"-i" || previous == u"-F"))
            continue;
        if (inv.name == u"tar" && (previous == u"-C" || previous == u"--directory")) {
            cwd = review.places().resolve(text, w.unquoted(0), scope.cwd);
            continue;
        }
        QList<qsizetype> starts{0};
        if (const qsizetype eq = text.indexOf(u'='); eq > 0)
            starts.append(eq + 1);
        if (const qsizetype at = text.lastIndexOf(u'@'); at >= 0 && !text.contains(QLatin1String("://")))
            starts.append(at + 1);
        for (const qsizetype start : std::as_const(starts)) {
            const Place p = review.places().resolve(text.mid(start), w.unquoted(start), cwd);
            if (const std::optional<QString> label = Places::credential(p))
                review.flagRow("credential-place", *label);
            // Reading a start-up file or a service changes nothing; a
            // command that might write there is asked about.
            if (reader)
                continue;
            if (Places::isStartupFile(p))
                review.flagRow("shell-profile");
            if (const std::optional<QString> why = Places::persistence(p))
                review.flag(*why);
        }
    }
}

// A redirection to or from /dev/tcp makes the network the command's input
// or output: a shell or interpreter so wired is a remote shell.
bool wiredToNetwork(const Invocation &inv)
{
    return std::any_of(inv.redirects.cbegin(), inv.redirects.cend(), [](const ShellWords::Redirect *r) {
        return r->target.text.startsWith(QLatin1String("/dev/tcp/")) || r->target.text.startsWith(QLatin1String("/dev/udp/"));
    });
}

void shell(Review &review, const Invocation &inv, Scope &scope)
{
    if (wiredToNetwork(inv))
        review.run(Text::of(Text::Kind::Download), Language::Shell, scope);
    const ShellSource src = shellSource(inv);
    if (src.runsNothing)
        return;
    if (!src.attached.isNull()) {
        review.run(Text::known(src.attached), Language::Shell, scope);
    } else if (src.text && inv.viaXargs && !inv.replace.isEmpty() && src.text->text.contains(inv.replace)) {
        // xargs -I{} sh -c '... {} ...': each input line is put into the text;
        // an unknown line stands where it is as a value computed when it runs.
        const Text text = review.textOf(*src.text, scope);
        const QString line = inv.input.kind == Text::Kind::Known ? inv.input.text.trimmed() : QStringLiteral("$xargs_input");
        if (text.kind == Text::Kind::Known && !review.expanded(text.text.size() + text.text.count(inv.replace) * line.size()))
            return;
        review.run(text.kind == Text::Kind::Known ? Text::known(QString(text.text).replace(inv.replace, line)) : text, Language::Shell, scope);
    } else if (src.text) {
        // sh -c TEXT NAME ARGS: $0 is NAME, then the arguments, then what xargs adds.
        Scope inner = scope;
        QStringList positional;
        bool afterText = false;
        for (const Word *w : inv.args) {
            if (afterText)
                positional.append(review.tildeExpanded(*w, w->text));
            afterText = afterText || w == src.text;
        }
        if (inv.viaXargs) {
            if (inv.input.kind == Text::Kind::Known)
                positional.append(inv.input.text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts));
            else
                positional.append(QStringLiteral("{}"));
            if (positional.size() == 1 && inv.input.kind != Text::Kind::Known)
                positional.prepend(QStringLiteral("{}"));
            inner.finder = QStringLiteral("xargs");
        }
        if (!positional.isEmpty())
            review.setPositional(inner, positional);
        review.run(review.textOf(*src.text, scope), Language::Shell, inner);
    } else if (src.textFromInput || src.fromStdin) {
        review.run(inv.input, Language::Shell, scope);
    } else if (src.script) {
        review.run(review.scriptOf(*src.script, scope), Language::Shell, scope);
    }
}

void program(Review &review, Language language, const Invocation &inv, Scope &scope)
{
    const ProgramSource src = programSource(language, inv.name, inv.args);
    checkPlaces(review, inv, scope, src.codeWords);
    if (wiredToNetwork(inv))
        review.run(Text::of(Text::Kind::Download), language, scope);
    if (src.remote)
        review.flagRow("remote-script");
    if (src.encoded)
        review.flagRow("decoded-text");
    for (const Word *w : src.codeWords) {
        review.run(review.programOf(*w, scope), language, scope);
        if (inv.name == u"pwsh" || inv.name == u"powershell")
            review.run(review.programOf(*w, scope), Language::Shell, scope);
    }
    for (const QString &code : src.codeTexts)
        review.run(Text::known(code), language, scope);
    if (src.script)
        review.run(review.scriptOf(*src.script, scope), language, scope);
    if (src.fromStdin)
        review.run(inv.input, language, scope);
}

// A file this line wrote, run by its path: its first line says who runs it.
void writtenScript(Review &review, const Invocation &inv, Scope &scope)
{
    const Text content = review.scriptOf(*inv.nameWord, scope);
    Language language = Language::Shell;
    if (content.kind == Text::Kind::Known && content.text.startsWith(QLatin1String("#!"))) {
        const QString line = content.text.section(u'\n', 0, 0);
        QStringList words = line.mid(2).split(u' ', Qt::SkipEmptyParts);
        // "#!/usr/bin/env -S python3 -u": env's options and settings come first.
        if (!words.isEmpty() && baseName(words.first()) == u"env") {
            words.removeFirst();
            while (!words.isEmpty() && (words.first().startsWith(u'-') || words.first().contains(u'=')))
                words.removeFirst();
        }
        const QString interpreter = words.isEmpty() ? QString() : baseName(words.first());
        if (const std::optional<Language> l = interpreterLanguage(interpreter.toLower()))
            language = *l;
    }
    review.run(content, language, scope);
}

void evalRule(Review &review, const Invocation &inv, Scope &scope)
{
    // "eval eval x" is "eval x" when x holds nothing a second parse would
    // change: no deeper for each one.
    // "--" and zsh's "-" end eval's options; the text follows.
    std::size_t first = 0;
    if (!inv.args.empty() && (inv.text(0) == u"--" || inv.text(0) == u"-"))
        first = 1;
    static const QRegularExpression reparsed(QStringLiteral("['\"\\\\$`]"));
    const bool plain = std::none_of(inv.args.cbegin(), inv.args.cend(), [](const Word *w) { return w->text.contains(reparsed); });
    while (plain && first < inv.args.size() && inv.text(first) == u"eval") {
        ++first;
        if (first < inv.args.size() && (inv.text(first) == u"--" || inv.text(first) == u"-"))
            ++first;
    }
    QStringList parts;
    for (std::size_t i = first; i < inv.args.size(); ++i) {
        const Text t = review.textOf(*inv.args[i], scope);
        if (t.kind != Text::Kind::Known) {
            if (t.kind != Text::Kind::File || inv.args.size() - first > 1)
                review.run(t.kind == Text::Kind::File ? Text::of(Text::Kind::Computed) : t, Language::Shell, scope);
            return;
        }
        parts.append(t.text);
    }
    review.run(Text::known(parts.join(u' ')), Language::Shell, scope);
}

void sourceRule(Review &review, const Invocation &inv, Scope &scope)
{
    const std::vector<const Word *> operands = operandWords(inv);
    if (operands.empty())
        return;
    const QString &file = operands.front()->text;
    if (file == u"/dev/stdin" || file == u"-" || file == u"/dev/fd/0")
        review.run(inv.input, Language::Shell, scope);
    else
        review.run(review.scriptOf(*operands.front(), scope), Language::Shell, scope);
}

void aliasRule(Review &review, const Invocation &inv, Scope &scope)
{
    for (const Word *w : inv.args) {
        const qsizetype eq = w->text.indexOf(u'=');
        if (eq > 0)
            review.run(Text::known(w->text.mid(eq + 1)), Language::Shell, scope);
    }
}

void trapRule(Review &review, const Invocation &inv, Scope &scope)
{
    std::size_t i = 0;
    if (i < inv.args.size() && (inv.text(i) == u"-l" || inv.text(i) == u"-p"))
        return;
    if (i < inv.args.size() && inv.text(i) == u"--")
        ++i;
    if (i + 1 < inv.args.size() && inv.text(i) != u"-")
        review.run(review.textOf(*inv.args[i], scope), Language::Shell, scope);
}

void cdRule(Review &review, const Invocation &inv, Scope &scope)
{
    const std::vector<const Word *> operands = operandWords(inv);
    if (operands.empty())
        scope.cwd = {Place::Base::Home, {}};
    else if (operands.front()->text == u"-")
        scope.cwd = {};
    else
        scope.cwd = review.place(*operands.front(), scope);
}

void forRule(Review &review, const Invocation &inv, Scope &scope)
{
    if (inv.args.empty())
        return;
    // The loop variable takes each word in turn; "for x; do" takes the arguments.
    QStringList values;
    bool known = true;
    if (inv.args.size() < 2 || inv.text(1) != u"in") {
        values = scope.values.value(QStringLiteral("@"));
        known = scope.values.contains(QStringLiteral("@"));
    }
    for (std::size_t i = 2; i < inv.args.size() && inv.text(1) == u"in"; ++i) {
        const Word &w = *inv.args[i];
        if (review.listsProcesses(w, scope) || (w.glob && w.text.startsWith(QLatin1String("/proc/"))))
            review.addPidVariable(inv.text(0)); // each a process, as /proc/[0-9]* lists them
        if (!w.substitutions.empty() && review.textOf(w, scope).kind != Text::Kind::Known)
            known = false;
        values.append(review.tildeExpanded(w, w.text));
    }
    if (known && !values.isEmpty())
        scope.values.insert(inv.text(0), values);
    else
        scope.values.remove(inv.text(0));
}

// read, mapfile: variables filled from a process listing hold process ids.
void readRule(Review &review, const Invocation &inv, Scope &)
{
    if (!inv.input.processList)
        return;
    static const QStringList valueOptions{QStringLiteral("-d"), QStringLiteral("-n"), QStringLiteral("-N"), QStringLiteral("-p"),
                                          QStringLiteral("-t"), QStringLiteral("-u"), QStringLiteral("-i"), QStringLiteral("-C"),
                                          QStringLiteral("-c"), QStringLiteral("-O"), QStringLiteral("-s")};
    for (std::size_t i = 0; i < inv.args.size(); ++i) {
        const QString a = inv.text(i);
        if (valueOptions.contains(a) && !(inv.name == u"mapfile" || inv.name == u"readarray" ? a == u"-t" : false))
            ++i;
        else if (!a.startsWith(u'-'))
            review.addPidVariable(a);
        else if (a == u"-a" && i + 1 < inv.args.size())
            review.addPidVariable(inv.text(++i));
    }
}

void declareRule(Review &review, const Invocation &inv, Scope &scope)
{
    std::vector<const Word *> assignments;
    for (const Word *w : inv.args) {
        if (w->text.contains(u'=') && review.listsProcesses(*w, scope))
            review.addPidVariable(w->text.left(w->text.indexOf(u'=')));
        if (w->text.indexOf(u'=') > 0 && !w->text.startsWith(u'-'))
            assignments.push_back(w);
    }
    review.assigned(assignments, scope);
}

// A process id that is not the command's own: -1, a group, 0, init, the
// caller ($PPID), ids a process listing found.
bool isOthersPid(Review &review, const Word &w, Scope &scope)
{
    static const QRegularExpression negative(QStringLiteral("^-[0-9$]"));
    static const QRegularExpression parent(QStringLiteral("\\$\\{?PPID\\b"));
    return negative.match(w.text).hasMatch() || w.text == u"0" || w.text == u"1" || review.isPidVariable(w) || review.listsProcesses(w, scope)
           || (parent.match(w.text).hasMatch() && w.live(w.text.indexOf(u'$')));
}

// kill of -1, of a process group, of init or of every process of the group;
// of pids that a process listing found.
void killRule(Review &review, const Invocation &inv, Scope &scope)
{
    const QStringList args = inv.texts();
    std::size_t i = 0;
    if (!args.isEmpty()) {
        const QString &first = args.first();
        if (first == u"-l" || first == u"-L" || first == u"--list")
            return;
        if (first == u"-s" || first == u"-n" || first == u"--signal")
            i = 2;
        else if (first != u"--" && first.startsWith(u'-'))
            i = 1; // a signal: -9, -KILL, -SIGTERM
        // Signal 0 is sent to nobody: it only asks whether the process exists.
        const QString signal = i == 2 ? args.value(1) : i == 1 ? first.mid(1) : QString();
        if (signal == u"0" || signal.compare(u"SIG0", Qt::CaseInsensitive) == 0)
            return;
    }
    bool others = inv.viaXargs && inv.input.processList;
    for (; i < inv.args.size(); ++i) {
        const Word &w = *inv.args[i];
        if (w.text != u"--" && isOthersPid(review, w, scope))
            others = true;
    }
    if (others)
        review.killOthers();
}

// prlimit, renice, ionice, taskset and chrt given another process: its
// limits, priority or processors change under it.
void processChangeRule(Review &review, const Invocation &inv, Scope &scope)
{
    const QStringList a = inv.texts();
    const auto changed = [&] { review.flagRow("changes-others", inv.name); };
    if (inv.name == u"renice" && (a.contains(QStringLiteral("-u")) || a.contains(QStringLiteral("--user")) || a.contains(QStringLiteral("-g"))))
        return changed(); // every process of a user or group
    const bool byPid = inv.name == u"renice" || std::any_of(a.cbegin(), a.cend(), [](const QString &x) {
                           return x == u"-p" || x == u"--pid" || x.startsWith(QLatin1String("--pid=")) || (x.startsWith(u'-') && !x.startsWith(QLatin1String("--")) && x.contains(u'p'));
                       });
    if (!byPid)
        return;
    for (const Word *w : inv.args) {
        const qsizetype eq = w->text.indexOf(u'=');
        const Word value = eq > 0 && w->text.startsWith(QLatin1String("--pid=")) ? Review::valueWord(*w, eq + 1) : *w;
        if (!value.text.startsWith(u'-') && isOthersPid(review, value, scope))
            return changed();
    }
}

// The words after a terminal multiplexer's options: one word is a command
// line, several are joined into one, as tmux and screen run them.
QString commandLineFrom(const Invocation &inv, std::size_t from, std::initializer_list<const char16_t *> valueOptions)
{
    QStringList words;
    bool options = true;
    for (std::size_t i = from; i < inv.args.size(); ++i) {
        const QString &a = inv.text(i);
        if (options && a == u"--") {
            options = false;
        } else if (options && a.size() > 1 && a.startsWith(u'-')) {
            if (isOneOf(a, valueOptions) || (a.size() > 2 && !a.startsWith(QLatin1String("--")) && isOneOf(QStringLiteral("-") + a.back(), valueOptions)))
                ++i;
        } else {
            options = false;
            words.append(a);
        }
    }
    return words.join(u' ');
}

// tmux: new sessions, windows and panes, run-shell and send-keys run a
// command line; kill-server ends every session.
void tmuxRule(Review &review, const Invocation &inv, Scope &scope)
{
    const QStringList a = inv.texts();
    if (a.contains(QStringLiteral("kill-server")) || (a.contains(QStringLiteral("kill-session")) && a.contains(QStringLiteral("-a"))))
        review.killOthers();
    std::size_t i = 0;
    while (i < inv.args.size() && inv.text(i).startsWith(u'-'))
        i += isOneOf(inv.text(i), {u"-L", u"-S", u"-f", u"-T"}) ? 2 : 1;
    if (i >= inv.args.size())
        return;
    const QString sub = inv.text(i);
    if (isOneOf(sub, {u"new-session", u"new", u"new-window", u"neww", u"split-window", u"splitw", u"run-shell", u"run",
                      u"respawn-pane", u"respawnp", u"respawn-window", u"respawnw", u"display-popup", u"popup"})) {
        const QString line = isOneOf(sub, {u"run-shell", u"run"})
                                 ? commandLineFrom(inv, i + 1, {u"-c", u"-d", u"-t"})
                                 : commandLineFrom(inv, i + 1, {u"-c", u"-e", u"-F", u"-n", u"-s", u"-t", u"-x", u"-y", u"-l", u"-p", u"-f"});
        if (!line.isEmpty())
            review.run(Text::known(line), Language::Shell, scope);
    } else if (isOneOf(sub, {u"send-keys", u"send"})) {
        // Keys typed into a shell: Enter or C-m runs the line.
        QStringList keys = commandLineFrom(inv, i + 1, {u"-t", u"-N"}).split(u' ', Qt::SkipEmptyParts);
        keys.removeIf([](const QString &k) { return isOneOf(k, {u"Enter", u"C-m", u"KPEnter"}); });
        review.run(Text::known(keys.join(u' ')), Language::Shell, scope);
    }
}

// screen [options] COMMAND ARGS runs the command; -X stuff TEXT types it.
void screenRule(Review &review, const Invocation &inv, Scope &scope)
{
    const QStringList a = inv.texts();
    const qsizetype x = a.indexOf(QStringLiteral("-X"));
    if (x >= 0) {
        if (x + 2 < a.size() && isOneOf(a.at(x + 1), {u"stuff", u"exec", u"screen"}))
            review.run(Text::known(a.mid(x + 2).join(u' ').replace(QLatin1String("\\n"), QLatin1String("\n"))), Language::Shell, scope);
        return;
    }
    std::size_t i = 0;
    for (; i < inv.args.size() && inv.text(i).startsWith(u'-'); ++i) {
        const QString &o = inv.text(i);
        if (o == u"-ls" || o == u"-list" || o == u"-r" || o == u"-x" || o == u"-wipe" || o == u"-v" || o == u"-h")
            return; // lists or attaches
        if (isOneOf(o, {u"-S", u"-t", u"-c", u"-e", u"-h", u"-p", u"-T", u"-Logfile", u"-s"}) || (o.size() > 2 && !o.startsWith(QLatin1String("--")) && o.endsWith(u'S')))
            ++i;
    }
    if (i < inv.args.size())
        review.runWords({inv.args.begin() + qsizetype(i), inv.args.end()}, scope);
}

// dtach -n SOCKET COMMAND, -A, -c: the command runs detached.
void dtachRule(Review &review, const Invocation &inv, Scope &scope)
{
    std::size_t i = 0;
    if (i < inv.args.size() && isOneOf(inv.text(i), {u"-n", u"-A", u"-c", u"-N"}))
        i += 2;
    else
        return;
    while (i < inv.args.size() && inv.text(i).startsWith(u'-'))
        i += isOneOf(inv.text(i), {u"-e", u"-r"}) ? 2 : 1;
    if (i < inv.args.size())
        review.runWords({inv.args.begin() + qsizetype(i), inv.args.end()}, scope);
}

const QStringList &deleters()
{
    static const QStringList names{QStringLiteral("rm"),   QStringLiteral("unlink"), QStringLiteral("shred"),     QStringLiteral("srm"),
                                   QStringLiteral("wipe"), QStringLiteral("scrub"),  QStringLiteral("trash"),     QStringLiteral("trash-put"),
                                   QStringLiteral("gio")};
    return names;
}

bool knownPlace(Review &review, const Word &w, Scope &scope);

// A clean-up of the project's own folders (rm -rf build dist) or of a
// temporary one: every operand a place the line spells out there, and none
// the project itself or all it holds.
bool cleansInsideProject(Review &review, const Invocation &inv, Scope &scope)
{
    // Operands that xargs or a finder ("{}") supply are not spelled out.
    const std::vector<const Word *> operands = operandWords(inv);
    return !inv.viaXargs && std::all_of(operands.cbegin(), operands.cend(), [&](const Word *w) {
        if (w->text.contains(QLatin1String("{}")))
            return false;
        const Place p = review.place(*w, scope);
        const bool everything = p.isProject()
                                || (p.base == Place::Base::Relative && p.parts.size() == 1 && QStringView(p.parts.first()).contains(u'*')
                                    && p.parts.first().count(u'*') == p.parts.first().size() - (p.parts.first().startsWith(u'.') ? 1 : 0));
        return (!w->expands || knownPlace(review, *w, scope)) && !w->text.startsWith(u'~') && !Places::isOutsideProject(p) && !everything;
    });
}

void rmRule(Review &review, const Invocation &inv, Scope &scope)
{
    const Flags f = flagsOf(inv.texts());
    const bool recursive = f.has(u'r', u"--recursive") || f.has(u'R');
    if (recursive && f.has(u'f', u"--force") && !cleansInsideProject(review, inv, scope))
        review.flagRow("rm-recursive-force");
    for (const Word *w : operandWords(inv)) {
        const Place p = review.place(*w, scope);
        if ((recursive && (Places::isTopFolder(p) || Places::isSystemFolder(p))) || (w->glob && Places::isHomeOrRoot(p)))
            review.flagRow("rm-home-or-root");
        if (recursive && p.parts.contains(QStringLiteral(".git")))
            review.flagRow("git-history-deleted");
        if ((p.base == Place::Base::Home && p.parts.size() == 1) || Places::isSystemPlace(p))
            review.flagRow("deletes-home-or-system", inv.name);
        if (p.base == Place::Base::Relative && Places::isOutsideProject(p))
            review.flagRow("deletes-outside", inv.name);
        // Any other place outside the project lost, named; a cache is made again.
        else if (Places::isOutsideProject(p) && !(p.base == Place::Base::Home && p.parts.value(0) == u".cache"))
            review.flagOutside("removes-outside", Places::label(p));
        if (Places::isTrash(p))
            review.flagRow("trash-emptied");
        if (recursive && !w->substitutions.empty()) {
            // rm -r "$(...)": what the command prints is deleted, unless it
            // names only places in the project.
            const Text t = review.textOf(*w, scope);
            if (t.kind >= Text::Kind::Computed && !t.confined)
                review.flagRow("deletes-computed", inv.name);
            // "$(pwd)/..": whatever place is printed, the word climbs out of it.
            static const QRegularExpression climbs(QStringLiteral("(?:^|/)\\.\\.(?:/|$)"));
            if (climbs.match(w->text.mid(w->text.lastIndexOf(QLatin1String("$()")) + 3)).hasMatch())
                review.flagRow("deletes-outside", inv.name);
        }
        if (const std::optional<QString> label = recursive ? Places::credentialInside(p) : std::nullopt)
            review.flagRow("credential-place", *label);
    }
}

// The command a finder runs on what it finds: deleting it, or any other
// command judged as such.
void foundRule(Review &review, const std::vector<const Word *> &words, const QString &finder, Scope &scope)
{
    Scope inner = scope;
    inner.finder = finder;
    review.runWords(words, inner);
    if (const std::optional<Invocation> quiet = review.quietInvocation(words, scope); quiet && deleters().contains(quiet->name))
        review.flagRow("found-deleted", finder);
}

// A starting point the line spells in full: "$PWD/build", or a variable
// the line itself set; one from the environment could be anywhere.
bool knownPlace(Review &review, const Word &w, Scope &scope)
{
    static const QRegularExpression variable(QStringLiteral("\\$\\{?(\\w+)"));
    for (auto it = variable.globalMatch(w.text); it.hasNext();) {
        const QString name = it.next().captured(1);
        if (name != u"PWD" && !scope.values.contains(name))
            return false;
    }
    return review.textOf(w, scope).kind == Text::Kind::Known;
}

void findRule(Review &review, const Invocation &inv, Scope &scope)
{
    // The starting points come before the expression; none is ".". Deletes
    // under the project are the project's own work.
    bool inProject = true;
    std::size_t i = 0;
    for (; i < inv.args.size(); ++i) {
        const Word &w = *inv.args[i];
        if (w.text.startsWith(u'-') || w.text.startsWith(u'(') || w.text.startsWith(u'!'))
            break;
        inProject = inProject && (!w.expands || knownPlace(review, w, scope)) && !w.text.startsWith(u'~')
                    && isInsideProject(review.place(w, scope));
    }
    for (i = 0; i < inv.args.size(); ++i) {
        const QString a = inv.text(i);
        if (a == u"-delete" && !inProject)
            review.flagRow("find-delete");
        if (a == u"-exec" || a == u"-execdir" || a == u"-ok" || a == u"-okdir") {
            std::vector<const Word *> run;
            for (++i; i < inv.args.size() && inv.text(i) != u";" && inv.text(i) != u"+"; ++i)
                run.push_back(inv.args[i]);
            if (inProject) {
                review.runWords(run, scope);
            } else {
                foundRule(review, run, QStringLiteral("find"), scope);
            }
        }
    }
}

void fdRule(Review &review, const Invocation &inv, Scope &scope)
{
    for (std::size_t i = 0; i < inv.args.size(); ++i) {
        const QString a = inv.text(i);
        if (a == u"-x" || a == u"--exec" || a == u"-X" || a == u"--exec-batch") {
            std::vector<const Word *> run;
            for (++i; i < inv.args.size() && inv.text(i) != u";"; ++i)
                run.push_back(inv.args[i]);
            foundRule(review, run, inv.name, scope);
        }
    }
}

// A mode that gives others write access: octal with the others' write bit,
// or a symbolic clause for o or a that adds or sets w.
bool grantsWorldWrite(const QString &mode)
{
    static const QRegularExpression octal(QStringLiteral("^[0-7]{1,4}$"));
    if (octal.match(mode).hasMatch())
        return (mode.back().digitValue() & 2) != 0;
    static const QRegularExpression clause(QStringLiteral("^([ugoa]*)([+=])([rwxXst]*)$"));
    for (const QString &part : mode.split(u',')) {
        const QRegularExpressionMatch m = clause.match(part);
        if (m.hasMatch() && m.captured(3).contains(u'w') && (m.captured(1).contains(u'o') || m.captured(1).contains(u'a')))
            return true;
    }
    return false;
}

// chmod, chown, chgrp, chattr, setfacl: recursive changes of a top folder,
// or any change of a home or the root itself.
void permissionsRule(Review &review, const Invocation &inv, Scope &scope)
{
    const QStringList args = inv.texts();
    const Flags f = flagsOf(args);
    const bool recursive = f.has(u'R', u"--recursive");
    if (inv.name == u"chmod" && recursive && std::any_of(args.cbegin(), args.cend(), grantsWorldWrite))
        review.flagRow("world-writable");
    // Handing the project's own folders to someone is everyday; anything
    // outside it changes hands for good.
    const std::vector<const Word *> targets = operandWords(inv);
    const auto outside = [&](const Word *w) { return !isInsideProject(review.place(*w, scope)); };
    if ((inv.name == u"chown" || inv.name == u"chgrp") && recursive && std::any_of(targets.begin() + (targets.empty() ? 0 : 1), targets.end(), outside))
        review.flagRow("ownership-changed", inv.name);
    for (const Word *w : operandWords(inv)) {
        const Place p = review.place(*w, scope);
        if ((recursive && (Places::isTopFolder(p) || Places::isSystemFolder(p))) || Places::isHomeOrRoot(p))
            review.flagRow("home-or-root-changed", inv.name);
        // A system file's mode, owner or attributes decide who may change or
        // run it: o+w on /etc/passwd, +i on /etc/resolv.conf.
        if (Places::isSystemPlace(p))
            review.flagRow("system-folder");
        if (const std::optional<QString> label = recursive ? Places::credentialInside(p) : std::nullopt)
            review.flagRow("credential-place", *label);
    }
}

void mvRule(Review &review, const Invocation &inv, Scope &scope)
{
    const std::vector<const Word *> operands = operandWords(inv);
    for (std::size_t i = 0; i + 1 < operands.size(); ++i) {
        const Place p = review.place(*operands[i], scope);
        if (Places::isHomeOrRoot(p) || (p.base == Place::Base::Absolute && Places::isTopFolder(p)))
            review.flagRow("home-or-root-changed", QStringLiteral("mv"));
    }
}

// ps with BSD "e" shows every process's environment.
void psRule(Review &review, const Invocation &inv, Scope &)
{
    for (const QString &a : inv.texts()) {
        if (!a.startsWith(u'-') && a.contains(u'e') && !a.contains(u'=') && a.size() < 12 && a.toLower() == a)
            review.flagRow("credential-place", QStringLiteral("process environment"));
    }
}

// Attaching to another process reads its memory and environment.
void attachRule(Review &review, const Invocation &inv, Scope &scope)
{
    const QStringList a = inv.texts();
    const bool attaches = inv.name == u"gcore" || a.contains(QStringLiteral("-p")) || a.contains(QStringLiteral("--pid"))
                          || a.contains(QStringLiteral("attach")) || std::any_of(a.cbegin(), a.cend(), [](const QString &x) {
                                 return x.startsWith(QLatin1String("--pid=")) || x.startsWith(QLatin1String("--attach"));
                             });
    if (attaches) {
        review.flagRow("credential-place", QStringLiteral("process environment"));
        return;
    }
    if (inv.name == u"strace" || inv.name == u"ltrace") {
        static const QStringList values{QStringLiteral("-o"), QStringLiteral("-e"), QStringLiteral("-s"), QStringLiteral("-u"),
                                        QStringLiteral("-E"), QStringLiteral("-a"), QStringLiteral("-b"), QStringLiteral("-I"),
                                        QStringLiteral("-X"), QStringLiteral("-P"), QStringLiteral("-S"), QStringLiteral("-n")};
        std::size_t i = 0;
        while (i < inv.args.size() && inv.text(i).startsWith(u'-'))
            i += values.contains(inv.text(i)) ? 2 : 1;
        if (i < inv.args.size())
            review.runWords({inv.args.begin() + qsizetype(i), inv.args.end()}, scope);
    }
}

// ssh: command options (ProxyCommand ...) run locally, the words after the
// host run on it.
void sshRule(Review &review, const Invocation &inv, Scope &scope)
{
    static const QString values = QStringLiteral("bcDEeFIiJLlmOopQRSWwB");
    static const QRegularExpression command(QStringLiteral("^(proxycommand|localcommand|knownhostscommand|remotecommand)[= ](.*)$"),
                                            QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    std::size_t i = 0;
    for (; i < inv.args.size(); ++i) {
        const QString a = inv.text(i);
        if (a == u"--") {
            ++i;
            break;
        }
        if (!a.startsWith(u'-') || a.size() < 2)
            break;
        QString option;
        if (a.startsWith(QLatin1String("-o")))
            option = a.size() > 2 ? a.mid(2) : (i + 1 < inv.args.size() ? inv.text(i + 1) : QString());
        if (const QRegularExpressionMatch m = command.match(option); m.hasMatch())
            review.run(Text::known(m.captured(2)), Language::Shell, scope);
        if (a.size() == 2 && values.contains(a.at(1)))
            ++i;
    }
    if (inv.name != u"ssh" || i + 1 >= inv.args.size())
        return;
    QStringList remote;
    for (std::size_t j = i + 1; j < inv.args.size(); ++j)
        remote.append(inv.text(j));
    review.run(Text::known(remote.join(u' ')), Language::Shell, scope);
}

// Options of archivers and copiers whose value is a command line.
void commandOptionRule(Review &review, const Invocation &inv, Scope &scope)
{
    static const QHash<QString, QStringList> options{
        {QStringLiteral("tar"), {QStringLiteral("--to-command"), QStringLiteral("--use-compress-program"), QStringLiteral("-I"),
                                 QStringLiteral("--info-script"), QStringLiteral("--new-volume-script"), QStringLiteral("-F"),
                                 QStringLiteral("--rsh-command"), QStringLiteral("--checkpoint-action")}},
        {QStringLiteral("zip"), {QStringLiteral("-TT"), QStringLiteral("--unzip-command")}},
        {QStringLiteral("rsync"), {QStringLiteral("-e"), QStringLiteral("--rsh")}},
        {QStringLiteral("scp"), {QStringLiteral("-S")}},
    };
    const QStringList names = options.value(inv.name);
    for (std::size_t i = 0; i < inv.args.size(); ++i) {
        const QString a = inv.text(i);
        const qsizetype eq = a.indexOf(u'=');
        const QString key = eq > 0 ? a.left(eq) : a;
        if (!names.contains(key))
            continue;
        QString value = eq > 0 ? a.mid(eq + 1) : (i + 1 < inv.args.size() ? inv.text(++i) : QString());
        if (key == u"--checkpoint-action") {
            if (!value.startsWith(QLatin1String("exec=")))
                continue;
            value = value.mid(5);
        }
        review.run(Text::known(value), Language::Shell, scope);
    }
}

// make runs the recipe lines of the makefile it reads: given on standard
// input, written earlier on this line, or as --eval text.
void makeRule(Review &review, const Invocation &inv, Scope &scope)
{
    const auto recipes = [&](const Text &makefile) {
        if (makefile.kind != Text::Kind::Known) {
            review.run(makefile.kind == Text::Kind::File ? Text{} : makefile, Language::Shell, scope);
            return;
        }
        QStringList lines;
        for (const QString &line : makefile.text.split(u'\n')) {
            if (line.startsWith(u'\t'))
                lines.append(line.mid(1).remove(QRegularExpression(QStringLiteral("^[@+-]+"))));
        }
        review.run(Text::known(lines.join(u'\n')), Language::Shell, scope);
    };
    for (std::size_t i = 0; i < inv.args.size(); ++i) {
        const QString a = inv.text(i);
        if ((a == u"-f" || a == u"--file" || a == u"--makefile") && i + 1 < inv.args.size()) {
            const Word &file = *inv.args[++i];
            recipes(isOneOf(file.text, {u"-", u"/dev/stdin", u"/dev/fd/0"}) ? inv.input : review.scriptOf(file, scope));
        } else if (a.startsWith(QLatin1String("--eval="))) {
            recipes(Text::known(a.mid(7).replace(QLatin1String("\\t"), QLatin1String("\t"))));
        } else if (a == u"--eval" && i + 1 < inv.args.size()) {
            recipes(review.textOf(*inv.args[++i], scope));
        }
    }
}

// GNU sed's "e" command and "s///e" flag run the pattern space as a command.
void sedRule(Review &review, const Invocation &inv, Scope &)
{
    QStringList scripts;
    bool given = false;
    for (std::size_t i = 0; i < inv.args.size(); ++i) {
        const QString a = inv.text(i);
        if ((a == u"-e" || a == u"--expression") && i + 1 < inv.args.size()) {
            scripts.append(inv.text(++i));
            given = true;
        } else if (a.startsWith(QLatin1String("--expression="))) {
            scripts.append(a.mid(13));
            given = true;
        } else if (!given && !a.startsWith(u'-')) {
            scripts.append(a);
            break;
        }
    }
    static const QRegularExpression runs(QStringLiteral("(^|[;\\n{}])\\s*([0-9$]+|/[^/]*/)?\\s*e(\\s|$|;)|\\bs(.)(?:(?!\\4).)*\\4(?:(?!\\4).)*\\4[gpiImM0-9w]*e"));
    for (const QString &s : std::as_const(scripts)) {
        if (runs.match(s).hasMatch())
            review.flagRow("program-runs");
    }
}

// nc -e /bin/sh, socat ... EXEC:sh: a shell whose input is the network.
void netcatRule(Review &review, const Invocation &inv, Scope &scope)
{
    const QStringList a = inv.texts();
    const bool runs = inv.name == u"socat"
                          ? std::any_of(a.cbegin(), a.cend(), [](const QString &x) {
                                const QString u = x.toUpper();
                                return u.contains(QLatin1String("EXEC:")) || u.contains(QLatin1String("SYSTEM:"));
                            })
                          : std::any_of(a.cbegin(), a.cend(), [](const QString &x) {
                                return x == u"-e" || x == u"-c" || x.startsWith(QLatin1String("--exec")) || x.startsWith(QLatin1String("--sh-exec"))
                                       || x.startsWith(QLatin1String("--lua-exec"));
                            });
    if (runs)
        review.run(Text::of(Text::Kind::Download), Language::Shell, scope);
}

// curl, wget and aria2c save what they fetch: a later run of that file runs
// a download. curl -X DELETE deletes on the server.
void downloadRule(Review &review, const Invocation &inv, Scope &scope)
{
    const QStringList a = inv.texts();
    QString url;
    for (const QString &x : a) {
        if (x.contains(QLatin1String("://")))
            url = x;
    }
    const QString remoteName = QUrl(url).fileName().isEmpty() ? QStringLiteral("index.html") : QUrl(url).fileName();
    const auto save = [&](const Word *target, const QString &text) {
        if (target && target->expands) {
            review.downloadedUnnamed();
            // "$HOME/..." still names its place.
            if (const Place at = review.place(*target, scope); at.base == Place::Base::Home)
                judgeWrite(review, at, Writes::Overwrites);
        } else if (text != u"-" && text != u"/dev/stdout") {
            // What it saves replaces the file there, as a redirect does.
            const Place at = target ? review.place(*target, scope) : review.place(text, scope);
            judgeWrite(review, at, Writes::Overwrites);
            review.wrote(at, Text::of(Text::Kind::Download));
        }
    };
    for (std::size_t i = 0; i < inv.args.size(); ++i) {
        const QString &x = a.at(i);
        const Word *next = i + 1 < inv.args.size() ? inv.args[i + 1] : nullptr;
        const bool cluster = x.startsWith(u'-') && !x.startsWith(QLatin1String("--"));
        if (inv.name == u"curl") {
            if ((x == u"-X" || x == u"--request") && next && next->text.toUpper() == u"DELETE")
                review.flagRow("http-delete", QStringLiteral("curl"));
            if (x.startsWith(QLatin1String("-X")) && x.mid(2).toUpper() == u"DELETE")
                review.flagRow("http-delete", QStringLiteral("curl"));
        } else if (inv.name == u"wget" || inv.name == u"wget2") {
            if (x.startsWith(QLatin1String("--output-document=")))
                return save(nullptr, x.mid(18));
            if (cluster && x.contains(u'O')) {
                const QString attached = x.mid(x.indexOf(u'O') + 1);
                return attached.isEmpty() ? save(next, next ? next->text : QString()) : save(nullptr, attached);
            }
        } else if (inv.name == u"aria2c") {
            if (x == u"-o" && next)
                return save(next, next->text);
            if (x.startsWith(QLatin1String("--out=")))
                return save(nullptr, x.mid(6));
        }
    }
    if (inv.name == u"curl") {
        const CurlOutput out = curlOutput(a);
        if (out.to == CurlOutput::To::File)
            save(out.word >= 0 ? inv.args[std::size_t(out.word)] : nullptr, out.file);
        else if (out.to == CurlOutput::To::RemoteName)
            url.isEmpty() ? review.downloadedUnnamed() : save(nullptr, remoteName);
        return;
    }
    if ((inv.name == u"wget" || inv.name == u"wget2" || inv.name == u"aria2c") && !url.isEmpty())
        save(nullptr, remoteName);
    else if (url.isEmpty() && (inv.name == u"wget" || inv.name == u"aria2c"))
        review.downloadedUnnamed();
}

// Secret variables printed: echo "$X_TOKEN", printenv API_KEY, and the
// environment filtered for secrets (env | grep -i token). Their values
// would go to the model with the command's output.
void secretVariables(Review &review, const Invocation &inv, const Scope &scope)
{
    const auto leaked = [&] { review.flagRow("secret-variable"); };
    if (isOneOf(inv.name, {u"echo", u"printf", u"print"})) {
        static const QRegularExpression reference(QStringLiteral("\\$\\{?!?([A-Za-z_][A-Za-z0-9_]*)"));
        for (const Word *w : inv.args) {
            for (auto it = reference.globalMatch(w->text); it.hasNext();) {
                const QRegularExpressionMatch m = it.next();
                if (w->live(m.capturedStart()) && (isSecretName(m.captured(1)) || scope.secrets.contains(m.captured(1))))
                    return leaked();
            }
        }
    }
    const QStringList operands = flagsOf(inv.texts()).operands;
    if (inv.name == u"printenv" && std::any_of(operands.cbegin(), operands.cend(), isSecretName))
        return leaked();
    if (inv.input.environment && isOneOf(inv.name, {u"grep", u"egrep", u"fgrep", u"rg", u"ag", u"awk", u"sed", u"sort", u"cat", u"head", u"tail", u"less"})) {
        // Any filter of the environment whose words name a secret.
        const QStringList a = inv.texts();
        if (std::any_of(a.cbegin(), a.cend(), [](const QString &x) { return isSecretName(x); }))
            return leaked();
    }
}

} // namespace

// The rules of the commands above as the table's rows: each reads its
// command's words and flags what it finds; none applies to a row itself.
namespace Conditions {

bool evalText(const RuleContext &c)
{
    evalRule(c.review, c.inv, c.scope);
    return false;
}

bool sourcedFile(const RuleContext &c)
{
    sourceRule(c.review, c.inv, c.scope);
    return false;
}

bool aliasText(const RuleContext &c)
{
    aliasRule(c.review, c.inv, c.scope);
    return false;
}

bool trapText(const RuleContext &c)
{
    trapRule(c.review, c.inv, c.scope);
    return false;
}

bool folderChange(const RuleContext &c)
{
    cdRule(c.review, c.inv, c.scope);
    return false;
}

bool loopValues(const RuleContext &c)
{
    forRule(c.review, c.inv, c.scope);
    return false;
}

bool readValues(const RuleContext &c)
{
    readRule(c.review, c.inv, c.scope);
    return false;
}

bool declaredValues(const RuleContext &c)
{
    declareRule(c.review, c.inv, c.scope);
    return false;
}

bool killTargets(const RuleContext &c)
{
    killRule(c.review, c.inv, c.scope);
    return false;
}

bool processChange(const RuleContext &c)
{
    processChangeRule(c.review, c.inv, c.scope);
    return false;
}

bool tmuxCommands(const RuleContext &c)
{
    tmuxRule(c.review, c.inv, c.scope);
    return false;
}

bool screenCommands(const RuleContext &c)
{
    screenRule(c.review, c.inv, c.scope);
    return false;
}

bool dtachCommand(const RuleContext &c)
{
    dtachRule(c.review, c.inv, c.scope);
    return false;
}

bool rmTargets(const RuleContext &c)
{
    rmRule(c.review, c.inv, c.scope);
    return false;
}

bool findActions(const RuleContext &c)
{
    findRule(c.review, c.inv, c.scope);
    return false;
}

bool fdActions(const RuleContext &c)
{
    fdRule(c.review, c.inv, c.scope);
    return false;
}

bool permissionTargets(const RuleContext &c)
{
    permissionsRule(c.review, c.inv, c.scope);
    return false;
}

bool mvSources(const RuleContext &c)
{
    mvRule(c.review, c.inv, c.scope);
    return false;
}

bool psEnvironment(const RuleContext &c)
{
    psRule(c.review, c.inv, c.scope);
    return false;
}

bool attachTargets(const RuleContext &c)
{
    attachRule(c.review, c.inv, c.scope);
    return false;
}

bool sshCommands(const RuleContext &c)
{
    sshRule(c.review, c.inv, c.scope);
    return false;
}

bool commandOptions(const RuleContext &c)
{
    commandOptionRule(c.review, c.inv, c.scope);
    return false;
}

bool sedScript(const RuleContext &c)
{
    sedRule(c.review, c.inv, c.scope);
    return false;
}

bool makeRecipes(const RuleContext &c)
{
    makeRule(c.review, c.inv, c.scope);
    return false;
}

bool netcatShell(const RuleContext &c)
{
    netcatRule(c.review, c.inv, c.scope);
    return false;
}

bool downloads(const RuleContext &c)
{
    downloadRule(c.review, c.inv, c.scope);
    return false;
}

} // namespace Conditions

bool isShell(const QString &name)
{
    static const QStringList shells{QStringLiteral("sh"),    QStringLiteral("bash"),  QStringLiteral("rbash"), QStringLiteral("zsh"),
                                    QStringLiteral("dash"),  QStringLiteral("ash"),   QStringLiteral("ksh"),   QStringLiteral("ksh93"),
                                    QStringLiteral("mksh"),  QStringLiteral("pdksh"), QStringLiteral("oksh"),  QStringLiteral("loksh"),
                                    QStringLiteral("yash"),  QStringLiteral("posh"),  QStringLiteral("fish"),  QStringLiteral("csh"),
                                    QStringLiteral("tcsh"),  QStringLiteral("elvish"), QStringLiteral("nu"),   QStringLiteral("xonsh"),
                                    QStringLiteral("osh"),   QStringLiteral("rc"),    QStringLiteral("es")};
    return shells.contains(name);
}

ShellSource shellSource(const Invocation &inv)
{
    ShellSource src;
    bool commandMode = false;
    bool readsStdin = false;
    std::size_t i = 0;
    while (i < inv.args.size()) {
        const QString a = inv.text(i);
        if (a == u"--" || a == u"-") {
            ++i;
            break;
        }
        if (a.startsWith(QLatin1String("--"))) {
            if (a == u"--command" || a == u"--init-command") {
                commandMode = true;
                ++i;
                break;
            }
            if (a.startsWith(QLatin1String("--command=")) || a.startsWith(QLatin1String("--init-command="))) {
                src.attached = a.mid(a.indexOf(u'=') + 1);
                return src;
            }
            i += (a == u"--rcfile" || a == u"--init-file") ? 2 : 1;
            continue;
        }
        if ((a.startsWith(u'-') || a.startsWith(u'+')) && a.size() > 1) {
            std::size_t values = 0;
            for (const QChar ch : QStringView(a).sliced(1)) {
                if (ch == u'c' || (inv.name == u"fish" && ch == u'C'))
                    commandMode = true;
                else if (ch == u's')
                    readsStdin = true;
                else if (ch == u'n' && a.startsWith(u'-') && inv.name != u"fish")
                    src.runsNothing = true;
                else if (ch == u'o' || ch == u'O')
                    ++values;
            }
            i += 1 + values;
            continue;
        }
        break;
    }
    if (commandMode) {
        if (i < inv.args.size())
            src.text = inv.args[i];
        else
            src.textFromInput = inv.viaXargs;
        return src;
    }
    if (readsStdin || i >= inv.args.size()) {
        src.fromStdin = true;
        return src;
    }
    const QString &operand = inv.text(i);
    if (operand == u"/dev/stdin" || operand == u"/dev/fd/0" || operand == u"/proc/self/fd/0")
        src.fromStdin = true;
    else
        src.script = inv.args[i];
    return src;
}

void judge(Review &review, const Invocation &inv, Scope &scope)
{
    // A program asked only for its help or version does nothing else.
    if (!inv.args.empty() && std::all_of(inv.args.cbegin(), inv.args.cend(), [](const Word *w) {
            return w->text == u"--help" || w->text == u"--version";
        }))
        return;
    if (!review.spendOnWords(inv.args))
        return;
    // The table's rows first: no command's own rules claim it before them.
    judgeByRows(review, inv, scope);
    const std::optional<Language> language = interpreterLanguage(inv.name);
    judgeWriters(review, inv, scope);
    if (!language)
        checkPlaces(review, inv, scope);
    if (inv.nameWord && inv.nameWord->text.contains(u'/') && review.scriptOf(*inv.nameWord, scope).kind != Text::Kind::File)
        writtenScript(review, inv, scope);
    if (isShell(inv.name))
        return shell(review, inv, scope);
    if (language)
        return program(review, *language, inv, scope);
    // Then the rows that read a command's words further: what it runs, the
    // places and settings it changes. Each is tried; none claims a command.
    judgeByRows(review, inv, scope, Trigger::Walk);
    checkFolders(review, inv, scope);
    secretVariables(review, inv, scope);
    if (inv.viaXargs && deleters().contains(inv.name))
        review.flagRow("found-deleted", QStringLiteral("xargs"));
    const bool found = std::any_of(inv.args.cbegin(), inv.args.cend(), [](const Word *w) { return w->text.contains(QLatin1String("{}")); });
    if (found && !scope.finder.isEmpty() && deleters().contains(inv.name))
        review.flagRow("found-deleted", scope.finder);
}

} // namespace agent::CommandReview
