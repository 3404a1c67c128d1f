// Conditions of the rows whose commands leave for a shell or another
// program: editors, pagers, debuggers, clients, git settings that run
// programs, and the environment sent away.
#include "agent/guard/CommandReviewConditions.h"
#include "agent/guard/CommandReviewTargets.h"

#include <QRegularExpression>

namespace agent::CommandReview::Conditions {

namespace {

// vim's ex commands that run a shell or arbitrary code: "!cmd", ":r !cmd",
// ":w !cmd", a filter "%!cmd", system(), :terminal, :shell, :py, :lua ...
// Returns the shell text where one is spelled out.
std::optional<QString> vimEscape(const QString &command, bool *escapes)
{
    static const QRegularExpression bang(QStringLiteral("^[\\s:]*(?:sil(?:ent)?!?\\s+)?([%.$\\d,'<>+\\-]*)\\s*!(.*)$"));
    static const QRegularExpression readWrite(QStringLiteral("^[\\s:]*(?:sil(?:ent)?!?\\s+)?(?:[%.$\\d,'<>+\\-]*)\\s*(?:(?:r|re|rea|read)\\s*|(?:w|wr|wri|writ|write|e|ed|edi|edit)\\s+)!(.*)$"));
    static const QRegularExpression normal(QStringLiteral("^[\\s:]*(?:sil(?:ent)?!?\\s+)?norm(?:al)?!?\\s.*[:!]"));
    static const QRegularExpression code(QStringLiteral(
        "^[\\s:]*(?:sil(?:ent)?!?\\s+)?(?:sh|she|shel|shell|te|ter|term|termi|termin|termina|terminal|py|pyt|pyth|pytho|python|py3|python3|pyx|pythonx|"
        "lua|luado|luafile|pe|perl|perld|perldo|rub|ruby|rubyd|rubydo|tc|tcl|tcld|tcldo|mz|mzscheme|so|source|exe|execute|cal|call|let|echo)\\b.*"
        "(?:system|systemlist|job_start|jobstart|termopen|os\\.execute|io\\.popen|subprocess|os\\.system|\\bexec\\b|!)|"
        "^[\\s:]*(?:sil(?:ent)?!?\\s+)?(?:sh|she|shel|shell|te|ter|term|termi|termin|termina|terminal)\\b"));
    std::optional<QString> shell;
    for (const QString &piece : command.split(QRegularExpression(QStringLiteral("[|\\n]")))) {
        if (const QRegularExpressionMatch m = readWrite.match(piece); m.hasMatch()) {
            *escapes = true;
            shell = m.captured(1);
        } else if (const QRegularExpressionMatch filter = bang.match(piece); filter.hasMatch()) {
            // "%!sort" filters lines through a command: judged by what it runs.
            if (filter.captured(1).isEmpty())
                *escapes = true;
            shell = filter.captured(2);
        } else if (code.match(piece).hasMatch() || normal.match(piece).hasMatch()) {
            *escapes = true;
        }
    }
    return shell;
}

bool isVimLike(const QString &name)
{
    return isOneOf(name, {u"vi", u"vim", u"nvim", u"gvim", u"ex", u"view", u"rvim", u"rview", u"vimdiff", u"nvi", u"nex", u"nview",
                          u"evim", u"elvis", u"vim.basic", u"vim.tiny", u"vim.nox", u"vim.gtk3"});
}

// A network client that sends what it reads, or the words it is given.
bool isSender(const QString &name)
{
    return isOneOf(name, {u"curl", u"wget", u"wget2", u"nc", u"ncat", u"netcat", u"socat", u"telnet", u"ssh", u"scp", u"sftp",
                          u"mail", u"mailx", u"sendmail", u"mutt", u"msmtp", u"http", u"https", u"xh", u"xhs", u"httpie",
                          u"aws", u"gsutil", u"rclone", u"s3cmd", u"gh", u"openssl", u"tftp", u"ftp", u"lftp", u"smbclient"});
}

} // namespace

// Editors and pagers given commands that leave them for a shell: vim -c
// '!cmd', ex -sc, +'!cmd', --remote-send; ed and ex reading "!cmd" from their
// input; less +'!cmd'. A spelled-out shell text is judged as well.
bool editorEscapes(const RuleContext &c)
{
    bool escapes = false;
    const auto judged = [&](const QString &command) {
        if (const std::optional<QString> shell = vimEscape(command, &escapes); shell && !shell->trimmed().isEmpty())
            c.review.run(Text::known(*shell), Language::Shell, c.scope);
    };
    const QStringList a = c.inv.texts();
    const bool ed = isOneOf(c.inv.name, {u"ed", u"red"});
    const bool pager = isOneOf(c.inv.name, {u"less", u"more", u"most"});
    for (qsizetype i = 0; i < a.size(); ++i) {
        const QString &x = a.at(i);
        if (pager) {
            if (x.startsWith(u'+') && (x.mid(1).startsWith(u'!') || x.mid(1).startsWith(u'|')))
                judged(QStringLiteral("!") + x.mid(2));
            continue;
        }
        if ((x == u"-c" || x == u"--cmd") && i + 1 < a.size())
            judged(a.at(++i));
        else if (x.startsWith(u'+') && x.size() > 1 && !x.at(1).isDigit() && x.at(1) != u'/')
            judged(x.mid(1));
        else if (x == u"--remote-send" || x == u"--remote-expr" || x.startsWith(QLatin1String("--remote-send=")))
            escapes = true;
        else if (x.startsWith(QLatin1String("-c")) && x.size() > 2 && !ed && isVimLike(c.inv.name) && !x.startsWith(QLatin1String("-c=")))
            judged(x.mid(2));
        else if (x.size() > 2 && x.startsWith(u'-') && !x.startsWith(QLatin1String("--")) && x.endsWith(u'c') && i + 1 < a.size())
            judged(a.at(++i)); // ex -sc '...'
    }
    // Commands read from standard input: ed always, ex and vim in ex mode.
    const bool exMode = ed || c.inv.name == u"ex" || c.flags.has(u's') || c.flags.has(u'e') || c.flags.has(u'E') || c.flags.hasLong(u"--headless");
    if (exMode && !pager && c.inv.input.kind == Text::Kind::Known)
        judged(c.inv.input.text);
    return escapes;
}

// gdb -ex '!cmd', -ex 'shell cmd', lldb -o 'platform shell cmd': the
// debugger leaves for a shell before it debugs anything.
bool debuggerEscapes(const RuleContext &c)
{
    static const QRegularExpression escape(QStringLiteral("^\\s*(?:!|shell\\b|pipe\\b|\\||platform\\s+shell\\b|python\\b.*\\b(?:system|popen|subprocess|exec)|script\\b.*\\b(?:system|popen|subprocess))"));
    const QStringList a = c.inv.texts();
    for (qsizetype i = 0; i < a.size(); ++i) {
        const QString &x = a.at(i);
        QString command;
        if (isOneOf(x, {u"-ex", u"-iex", u"--ex", u"--iex", u"-eval-command", u"--eval-command", u"-o", u"--one-line", u"-O",
                        u"--one-line-before-file", u"-k", u"--one-line-on-crash"}) && i + 1 < a.size())
            command = a.at(++i);
        else if (x.startsWith(QLatin1String("--eval-command=")) || x.startsWith(QLatin1String("-eval-command=")))
            command = x.section(u'=', 1);
        if (command.isEmpty() || !escape.match(command).hasMatch())
            continue;
        // The first escape decides; what it runs is judged so its own
        // reason shows, and the rest would only repeat the question.
        const QString shell = command.trimmed().remove(QRegularExpression(QStringLiteral("^(?:!|\\||shell|pipe|platform\\s+shell)\\s*")));
        if (!shell.isEmpty())
            c.review.run(Text::known(shell), Language::Shell, c.scope);
        return true;
    }
    return false;
}

// emacs --eval '(shell-command ...)': Lisp that starts processes.
bool emacsEscapes(const RuleContext &c)
{
    static const QRegularExpression process(QStringLiteral("\\((?:async-)?shell-command|\\((?:call|start|make)-process|\\(process-lines|\\((?:e|ansi-)?(?:shell|term)\\b"));
    const QStringList a = c.inv.texts();
    for (qsizetype i = 0; i < a.size(); ++i) {
        const QString &x = a.at(i);
        const bool next = isOneOf(x, {u"--eval", u"-eval", u"--execute", u"-execute", u"-e"}) && i + 1 < a.size();
        const QString lisp = next ? a.at(i + 1) : (x.startsWith(QLatin1String("--eval=")) ? x.mid(7) : QString());
        if (!process.match(lisp).hasMatch())
            continue;
        // What it runs is judged first, so its own reason is the one shown.
        static const QRegularExpression literal(QStringLiteral("\"((?:[^\"\\\\]|\\\\.)*)\""));
        for (auto it = literal.globalMatch(lisp); it.hasNext();)
            c.review.run(Text::known(it.next().captured(1)), Language::Shell, c.scope);
        return true;
    }
    return false;
}

// sqlite3 ".shell CMD", mysql "\\! CMD" or "system CMD", psql "\\! CMD": a
// database client leaving for a shell, from its arguments or its input.
bool clientEscapes(const RuleContext &c)
{
    static const QRegularExpression escape(QStringLiteral("(?:^|[;\\n])\\s*(?:\\.shell|\\.system|\\\\!|system)\\s+([^;\\n]*)"));
    QStringList texts = c.inv.texts();
    if (c.inv.input.kind == Text::Kind::Known)
        texts.append(c.inv.input.text);
    for (const QString &t : std::as_const(texts)) {
        if (const QRegularExpressionMatch m = escape.match(t); m.hasMatch()) {
            c.review.run(Text::known(m.captured(1)), Language::Shell, c.scope);
            return true;
        }
    }
    return false;
}

// man -P/--pager CMD: the pager is a command line.
bool manPager(const RuleContext &c)
{
    const QStringList a = c.inv.texts();
    for (qsizetype i = 0; i < a.size(); ++i) {
        QString pager;
        if ((a.at(i) == u"-P" || a.at(i) == u"--pager") && i + 1 < a.size())
            pager = a.at(i + 1);
        else if (a.at(i).startsWith(QLatin1String("--pager=")))
            pager = a.at(i).mid(8);
        if (pager.isEmpty())
            continue;
        c.review.run(Text::known(pager), Language::Shell, c.scope);
        if (isShellLine(pager))
            return true;
    }
    return false; // a pager program is judged by what it runs
}

bool gitConfigGlobal(const RuleContext &c)
{
    static const QStringList reading{QStringLiteral("--get"), QStringLiteral("--get-all"), QStringLiteral("--get-regexp"),
                                     QStringLiteral("--get-urlmatch"), QStringLiteral("--list"), QStringLiteral("-l"),
                                     QStringLiteral("--get-color"), QStringLiteral("--get-colorbool"), QStringLiteral("get"),
                                     QStringLiteral("list")};
    const QStringList a = c.inv.texts();
    if (std::any_of(a.cbegin(), a.cend(), [](const QString &x) { return reading.contains(x); }))
        return false;
    bool global = false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const QString &x = a.at(i);
        if (x == u"--global" || x == u"--system")
            global = true;
        const bool fileOption = (x == u"--file" || x == u"-f") && i + 1 < a.size();
        if (fileOption || x.startsWith(QLatin1String("--file="))) {
            const Place p = fileOption ? c.review.place(*c.inv.args[std::size_t(i + 1)], c.scope) : c.review.place(x.mid(7), c.scope);
            global = global || !isInsideProject(p);
        }
    }
    // "git config --global" alone lists; a name without a value reads it.
    static const QStringList changing{QStringLiteral("--unset"), QStringLiteral("--unset-all"), QStringLiteral("--add"),
                                      QStringLiteral("--replace-all"), QStringLiteral("--remove-section"), QStringLiteral("--rename-section"),
                                      QStringLiteral("--edit"), QStringLiteral("-e"), QStringLiteral("unset"), QStringLiteral("set"),
                                      QStringLiteral("edit"), QStringLiteral("remove-section"), QStringLiteral("rename-section")};
    const bool changes = std::any_of(a.cbegin(), a.cend(), [](const QString &x) { return changing.contains(x); });
    if (!global || (!changes && c.operands.size() < 2))
        return false;
    // What the setting will run is judged as well: "!..." aliases, pagers,
    // editors, ssh commands.
    for (qsizetype k = 0; k + 1 < c.operands.size(); ++k) {
        const QString key = c.operands.at(k).toLower();
        const QString value = c.operands.at(k + 1);
        if (key.startsWith(QLatin1String("alias.")) && value.startsWith(u'!'))
            c.review.run(Text::known(value.mid(1)), Language::Shell, c.scope);
        else if (isOneOf(key, {u"core.pager", u"core.editor", u"core.sshcommand", u"sequence.editor", u"diff.external", u"pager.log"}))
            c.review.run(Text::known(value), Language::Shell, c.scope);
    }
    return true;
}

// git -c KEY=VALUE before the subcommand: settings that name a program are
// judged by what they run; hooks and includes from outside the project, an
// fsmonitor program and the ext transport run what the line does not show.
bool gitOneOffConfig(const RuleContext &c)
{
    bool flagged = false;
    for (std::size_t i = 0; i + 1 < c.inv.args.size(); ++i) {
        if (c.inv.text(i) != u"-c")
            continue;
        const QString setting = c.inv.text(i + 1);
        const QString key = setting.section(u'=', 0, 0).toLower();
        const QString value = setting.section(u'=', 1);
        if (settingNamesProgram(key)) {
            c.review.run(Text::known(value), Language::Shell, c.scope);
            // A program with its arguments is judged by what it runs; a
            // shell line in its place is an escape the command hides.
            flagged = flagged || (!key.startsWith(QLatin1String("filter.")) && isShellLine(value));
        }
        else if ((key.startsWith(QLatin1String("alias.")) || key == u"credential.helper") && value.startsWith(u'!')) {
            c.review.run(Text::known(value.mid(1)), Language::Shell, c.scope);
            flagged = flagged || key == u"credential.helper"; // a shell line git starts unseen
        }
        else if (key == u"core.hookspath" || key == u"include.path" || key.startsWith(QLatin1String("includeif.")))
            flagged = flagged || !isInsideProject(c.review.place(value, c.scope)) || value.startsWith(u'~');
        else if (key == u"core.fsmonitor")
            flagged = flagged || !isOneOf(value.toLower(), {u"true", u"false", u"0", u"1", u""});
        else if ((key == u"protocol.allow" || key.startsWith(QLatin1String("protocol.ext"))) && value == u"always")
            flagged = true;
        else if (settingRunsProgram(key, value) && !key.startsWith(QLatin1String("alias.")))
            flagged = true; // helpers by name, templates of hooks, ext:: URLs, remote helpers
        ++i;
    }
    return flagged;
}

// env | curl --data-binary @-, curl -d "$(env)", env | nc host 80.
bool environmentSent(const RuleContext &c)
{
    // An interpreter reading the environment from its input and opening a
    // connection sends it as a network client does.
    static const QRegularExpression interpreter(QStringLiteral("^(?:python[0-9.]*|perl|ruby|node|nodejs|bun|deno|php)$"));
    static const QRegularExpression network(QStringLiteral(
        "\\burlopen\\b|\\brequests\\.|\\bhttp\\.client\\b|\\bsocket\\b|\\bfetch\\s*\\(|\\bhttps?\\.request\\b|Net::HTTP|\\bLWP\\b|HTTP::Tiny|"
        "\\bcurl_|\\bhttpx\\b|\\baxios\\b|TCPSocket|IO::Socket|\\bnet\\.connect\\b"));
    if (c.inv.input.environment && interpreter.match(c.inv.name).hasMatch()) {
        const QStringList a = c.inv.texts();
        if (std::any_of(a.cbegin(), a.cend(), [](const QString &x) { return network.match(x).hasMatch(); }))
            return true;
    }
    if (!isSender(c.inv.name))
        return false;
    if (c.inv.input.environment)
        return true;
    for (const Word *w : c.inv.args) {
        if (c.review.printsEnvironmentIn(*w, c.scope))
            return true;
    }
    return false;
}

} // namespace agent::CommandReview::Conditions
