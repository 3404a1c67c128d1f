// What text flows between commands: what each command prints, what it reads,
// what files earlier commands of the line wrote, and what a shell or an
// interpreter is finally given to run.
#include "agent/guard/CommandReviewer.h"
#include "agent/guard/CommandReviewRows.h"

#include <QRegularExpression>

namespace agent::CommandReview {

namespace {

using namespace ShellWords;

constexpr int kMaxFlowDepth = 16;

Text::Kind worse(Text::Kind a, Text::Kind b)
{
    return std::max(a, b);
}

bool hasLetter(const QStringList &args, QChar letter, std::initializer_list<const char *> longNames = {})
{
    for (const QString &a : args) {
        if (a == u"--")
            return false;
        if (a.startsWith(QLatin1String("--"))) {
            for (const char *l : longNames) {
                if (a == QLatin1String(l))
                    return true;
            }
        } else if (a.startsWith(u'-') && a.mid(1).contains(letter)) {
            return true;
        }
    }
    return false;
}

// Commands that turn encoded or scrambled text back into what it hides.
bool decodes(const Invocation &inv)
{
    const QString &n = inv.name;
    const QStringList a = inv.texts();
    if (isOneOf(n, {u"base64", u"base32", u"basenc", u"gbase64"}))
        return hasLetter(a, u'd', {"--decode"}) || hasLetter(a, u'D');
    if (n == u"xxd")
        return hasLetter(a, u'r', {"--revert"});
    if (n == u"openssl")
        return a.contains(QStringLiteral("-d")) || a.contains(QStringLiteral("-base64")) || a.contains(QStringLiteral("base64"));
    if (isOneOf(n, {u"gzip", u"pigz", u"bzip2", u"xz", u"lzma", u"zstd", u"lz4", u"brotli", u"lzip"}))
        return hasLetter(a, u'd', {"--decompress", "--decode", "--uncompress"});
    return isOneOf(n, {u"uudecode", u"gunzip", u"zcat", u"gzcat", u"bzcat", u"bunzip2", u"xzcat", u"unxz", u"lzcat", u"unlzma",
                       u"zstdcat", u"unzstd", u"lz4cat", u"unlz4", u"rev", u"tr", u"recode"});
}

bool isProcessLister(const QString &name)
{
    return isOneOf(name, {u"ps", u"pgrep", u"pidof", u"pstree", u"top", u"htop", u"lsof", u"fuser", u"pgrep.sh"});
}

// A network client that prints what it fetches.
bool printsDownload(const Invocation &inv)
{
    const QString &n = inv.name;
    const QStringList a = inv.texts();
    if (n == u"curl") {
        const CurlOutput out = curlOutput(a);
        return out.to == CurlOutput::To::Stdout || (out.to == CurlOutput::To::File && (out.file == u"-" || out.file == u"/dev/stdout"));
    }
    if (n == u"wget" || n == u"wget2") {
        for (qsizetype i = 0; i < a.size(); ++i) {
            const QString &x = a.at(i);
            if (x.startsWith(QLatin1String("--output-document=")))
                return x.endsWith(QLatin1String("=-"));
            if (x.startsWith(u'-') && !x.startsWith(QLatin1String("--")) && x.contains(u'O')) {
                const QString attached = x.mid(x.indexOf(u'O') + 1);
                const QString value = attached.isEmpty() && i + 1 < a.size() ? a.at(i + 1) : attached;
                return value == u"-" || value == u"/dev/stdout";
            }
        }
        return false;
    }
    if (n == u"openssl")
        return a.contains(QStringLiteral("s_client"));
    return isOneOf(n, {u"http", u"https", u"xh", u"xhs", u"httpie", u"lynx", u"w3m", u"links", u"elinks", u"fetch", u"nc", u"ncat",
                       u"netcat", u"socat", u"telnet", u"gsutil"})
           && !(isOneOf(n, {u"http", u"https", u"xh"}) && hasLetter(a, u'd', {"--download"}));
}

// env, printenv, set, export -p, declare -p: every variable with its value.
bool printsEnvironment(const Invocation &inv)
{
    const QStringList a = inv.texts();
    const bool noOperands = std::none_of(a.cbegin(), a.cend(), [](const QString &x) { return !x.startsWith(u'-'); });
    if (isOneOf(inv.name, {u"env", u"printenv", u"set"}))
        return noOperands;
    if (isOneOf(inv.name, {u"export", u"declare", u"typeset"}))
        return noOperands && (a.isEmpty() || a.contains(QStringLiteral("-p")) || a.contains(QStringLiteral("-x")) || a.contains(QStringLiteral("-px")));
    // A process's environment file: cat /proc/self/environ, xargs -0 -a ...
    static const QRegularExpression environFile(QStringLiteral("^/proc/[^/]+/environ$"));
    if (std::any_of(a.cbegin(), a.cend(), [](const QString &x) { return environFile.match(x).hasMatch(); }))
        return true;
    // An inline program that prints the whole environment: os.environ,
    // %ENV, ENV.to_h, process.env, $_ENV; one variable read by name is not.
    static const QRegularExpression interpreter(QStringLiteral("^(?:python[0-9.]*|perl|ruby|node|nodejs|bun|deno|php)$"));
    static const QRegularExpression whole(QStringLiteral(
        "\\bos\\.environ\\b(?!\\s*(?:\\[|\\.get\\b|\\.setdefault\\b|\\.pop\\b))|%ENV\\b|\\bENV\\.(?:to_h|to_a|to_hash|inspect|each\\w*|map|keys|values)\\b|"
        "\\bputs\\s+ENV\\b|\\bp\\s+ENV\\b|\\bprocess\\.env\\b(?!\\s*(?:\\.|\\[))|\\$_ENV\\b(?!\\s*\\[)|\\bgetenv\\s*\\(\\s*\\)|\\bDeno\\.env\\.toObject\\b"));
    if (interpreter.match(inv.name).hasMatch()) {
        for (qsizetype i = 0; i + 1 < a.size(); ++i) {
            if (isOneOf(a.at(i), {u"-c", u"-e", u"-E", u"-r", u"-p", u"--eval", u"--print"}) && whole.match(a.at(i + 1)).hasMatch())
                return true;
        }
    }
    return false;
}

// Listings of the project (find ., ls src, git ls-files) and fresh
// temporary names: what they print lies in the project or is new.
bool namesProjectPlaces(const Invocation &inv)
{
    const QString &n = inv.name;
    if (n == u"mktemp")
        return true;
    if (n == u"git")
        return inv.args.size() >= 1 && isOneOf(inv.text(0), {u"ls-files", u"diff"});
    if (!isOneOf(n, {u"find", u"fd", u"fdfind", u"ls"}))
        return false;
    bool pattern = n != u"find" && n != u"ls"; // fd PATTERN PATHS
    for (const Word *w : inv.args) {
        const QString &a = w->text;
        if (n == u"find" && (a.startsWith(u'-') || a.startsWith(u'(') || a.startsWith(u'!')))
            break; // the expression starts here
        if (a.startsWith(u'-'))
            continue;
        if (std::exchange(pattern, false))
            continue;
        if (w->expands || a.startsWith(u'/') || a.startsWith(u'~') || a == u".." || a.startsWith(QLatin1String("../")))
            return false;
    }
    return true;
}

// yes, and the endless devices read whole (cat /dev/zero) or by the
// gigabyte (head -c 100G /dev/urandom).
bool endlessSource(const Invocation &inv)
{
    if (inv.name == u"yes")
        return true;
    const QStringList a = inv.texts();
    const bool device = std::any_of(a.cbegin(), a.cend(), [](const QString &x) {
        return isOneOf(x, {u"/dev/zero", u"/dev/urandom", u"/dev/random", u"if=/dev/zero", u"if=/dev/urandom", u"if=/dev/random"});
    });
    if (!device)
        return false;
    if (isOneOf(inv.name, {u"cat", u"pv", u"tail", u"tac", u"base64", u"od", u"xxd", u"hexdump", u"tr"}))
        return true;
    static const QRegularExpression huge(QStringLiteral("^\\d+[GTPE]"), QRegularExpression::CaseInsensitiveOption);
    if (inv.name == u"head") {
        const qsizetype c = a.indexOf(QStringLiteral("-c"));
        return (c >= 0 && c + 1 < a.size() && huge.match(a.at(c + 1)).hasMatch())
               || std::any_of(a.cbegin(), a.cend(), [](const QString &x) { return x.startsWith(QLatin1String("-c")) && huge.match(x.mid(2)).hasMatch(); });
    }
    if (inv.name == u"dd")
        return std::none_of(a.cbegin(), a.cend(), [](const QString &x) { return x.startsWith(QLatin1String("count=")); });
    return false;
}

bool hasDecodingEscapes(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("\\\\(x[0-9A-Fa-f]|[0-7]|u[0-9A-Fa-f]|U[0-9A-Fa-f]|c)"));
    return re.match(text).hasMatch();
}

QString trimmedOutput(QString text)
{
    while (text.endsWith(u'\n'))
        text.chop(1);
    return text;
}

QString keyOf(const Place &p)
{
    return QString::number(int(p.base)) + u':' + p.parts.join(u'/');
}

} // namespace

CurlOutput curlOutput(const QStringList &args)
{
    // Short options that take a value, attached or as the next word.
    static const QString values = QStringLiteral("AbcCdDeEFHKmoPQrTuUwxXyYz");
    CurlOutput out;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &x = args.at(i);
        const QString next = i + 1 < args.size() ? args.at(i + 1) : QString();
        // An option whose value is missing (the last word) names no file:
        // curl refuses to run then.
        const bool hasNext = i + 1 < args.size();
        if (x == u"--output" || x == u"--output-dir") {
            if (x == u"--output" && hasNext)
                out = {CurlOutput::To::File, next, i + 1};
            ++i;
        } else if (x.startsWith(QLatin1String("--output="))) {
            out = {CurlOutput::To::File, x.mid(9), -1};
        } else if (x == u"--remote-name" || x == u"--remote-name-all") {
            out = {CurlOutput::To::RemoteName, {}, -1};
        } else if (x.size() > 1 && x.startsWith(u'-') && !x.startsWith(QLatin1String("--"))) {
            for (qsizetype k = 1; k < x.size(); ++k) {
                const QChar letter = x.at(k);
                if (letter == u'O') {
                    out = {CurlOutput::To::RemoteName, {}, -1};
                    continue;
                }
                if (!values.contains(letter))
                    continue;
                const bool attached = k + 1 < x.size();
                if (letter == u'o' && (attached || hasNext))
                    out = attached ? CurlOutput{CurlOutput::To::File, x.mid(k + 1), -1} : CurlOutput{CurlOutput::To::File, next, i + 1};
                if (!attached)
                    ++i;
                break;
            }
        }
    }
    return out;
}

Text Review::inputOf(const SimpleCommand &c, const Text &flow, Scope &scope)
{
    Text in = flow;
    for (const Redirect &r : c.redirects) {
        if (r.fd != -1 && r.fd != 0)
            continue;
        const QString &target = r.target.text;
        if (r.hereDoc) {
            in = textOf(*r.hereDoc, scope);
        } else if (r.op == u"<<<") {
            in = textOf(r.target, scope);
            if (in.kind == Text::Kind::Known)
                in.text = tildeExpanded(r.target, in.text) + u'\n';
        } else if (r.op == u"<" || r.op == u"<>") {
            if (target.startsWith(QLatin1String("/dev/tcp/")) || target.startsWith(QLatin1String("/dev/udp/")))
                in = Text::of(Text::Kind::Download);
            else if (target != u"/dev/stdin" && target != u"-" && target != u"/dev/fd/0" && target != u"/proc/self/fd/0")
                in = scriptOf(r.target, scope);
        } else if (r.op == u"<&" && m_descriptors.contains(target.toInt())) {
            in = m_descriptors.value(target.toInt());
        }
    }
    return in;
}

Text Review::textOf(const Word &word, Scope &scope)
{
    if (word.substitutions.empty())
        return Text::known(word.text);
    std::vector<Text> outputs;
    Text::Kind worst = Text::Kind::None;
    bool processList = false;
    for (const CommandList &sub : word.substitutions) {
        outputs.push_back(yieldOf(sub, scope));
        worst = worse(worst, outputs.back().kind);
        processList = processList || outputs.back().processList;
    }
    if (worst == Text::Kind::Download || worst == Text::Kind::Decoded)
        return Text::of(worst, processList);
    if (word.text == u"$()" && outputs.size() == 1) {
        Text only = outputs.front();
        if (only.kind == Text::Kind::Known)
            only.text = trimmedOutput(only.text);
        return only;
    }
    // The text with each substitution's known output in place; one that
    // stays "$()" is computed when it runs.
    QString built;
    qsizetype from = 0;
    std::size_t n = 0;
    for (qsizetype at = word.text.indexOf(u"$()"); at >= 0 && n < outputs.size(); at = word.text.indexOf(u"$()", from), ++n) {
        built.append(QStringView(word.text).sliced(from, at - from));
        built.append(outputs[n].kind == Text::Kind::Known ? trimmedOutput(outputs[n].text) : QStringLiteral("$()"));
        from = at + 3;
    }
    built.append(QStringView(word.text).sliced(from));
    if (!expanded(built.size()))
        return Text::of(Text::Kind::Computed);
    Text t = Text::known(built);
    t.processList = processList;
    return t;
}

Text Review::programOf(const Word &word, Scope &scope)
{
    static const QRegularExpression parameter(QStringLiteral("^\\$(\\{[^}]*\\}|[A-Za-z_][A-Za-z0-9_]*|[0-9@*#?$!-])$"));
    if (word.live(0) && parameter.match(word.text).hasMatch())
        return Text::of(Text::Kind::Computed);
    return textOf(word, scope);
}

Text Review::scriptOf(const Word &word, Scope &scope)
{
    if (word.text == u"$()" && word.substitutions.size() == 1)
        return yieldOf(word.substitutions.front(), scope);
    if (std::optional<Text> content = written(place(word, scope)))
        return *content;
    return {Text::Kind::File, word.text, false};
}

Text Review::yieldOf(const CommandList &list, Scope &scope)
{
    if (list.pipelines.empty() || m_flowDepth >= kMaxFlowDepth || !spend(0, 1))
        return list.pipelines.empty() ? Text{} : Text::of(Text::Kind::Computed);
    ++m_flowDepth;
    Scope inner = scope;
    const Text out = flowOf(list.pipelines.back(), inner);
    --m_flowDepth;
    return out;
}

Text Review::flowOf(const Pipeline &p, Scope &scope)
{
    Text flow;
    for (const SimpleCommand &c : p.commands) {
        const Text input = inputOf(c, flow, scope);
        if (c.definesFunction) {
            flow = {};
            continue;
        }
        Resolved r = resolve(c, scope);
        if (r.computedName) {
            flow = Text::of(Text::Kind::Computed);
        } else if (r.invocation) {
            r.invocation->input = input;
            flow = yields(*r.invocation, scope);
        } else {
            flow = {};
        }
    }
    return flow;
}

Text Review::yields(const Invocation &inv, Scope &scope)
{
    const QString &name = inv.name;
    const Text &in = inv.input;
    // Output of a command that reads its input: what it read taints it.
    const auto passedOn = [&](Text::Kind kind) {
        Text t = Text::of(kind, in.processList);
        t.confined = in.confined && in.kind == Text::Kind::Computed;
        t.environment = in.environment;
        t.endless = in.endless && !isOneOf(name, {u"head", u"dd"}); // head takes only a part
        if (in.kind == Text::Kind::Download || in.kind == Text::Kind::Decoded)
            t.kind = worse(kind, in.kind);
        return t;
    };
    if (printsDownload(inv))
        return Text::of(Text::Kind::Download);
    if (endlessSource(inv)) {
        Text t = Text::of(Text::Kind::Computed);
        t.endless = true;
        return t;
    }
    if (decodes(inv))
        return passedOn(Text::Kind::Decoded);
    if (isProcessLister(name) && !(name == u"fuser" && hasLetter(inv.texts(), u'k')))
        return Text::of(Text::Kind::Computed, true);
    if (printsEnvironment(inv)) {
        Text t = Text::of(Text::Kind::Computed);
        t.environment = true;
        return t;
    }
    // Reading /proc lists processes too: ls /proc, cat /proc/*/stat.
    const QStringList texts = inv.texts();
    if (std::any_of(texts.cbegin(), texts.cend(), [](const QString &a) { return a == u"/proc" || a.startsWith(QLatin1String("/proc/")); }))
        return Text::of(Text::Kind::Computed, true);
    if (name == u"tee")
        return in;
    if (namesProjectPlaces(inv)) {
        Text t = Text::of(Text::Kind::Computed);
        t.confined = true;
        return t;
    }
    if (name == u"echo" || name == u"print" || name == u"printf") {
        std::size_t i = 0;
        bool escapes = name == u"printf" || name == u"print";
        static const QRegularExpression echoOptions(QStringLiteral("^-[neErl]+$"));
        if (name == u"printf" && !inv.args.empty() && inv.text(0) == u"-v")
            return {}; // printf -v assigns, prints nothing
        while (name != u"printf" && i < inv.args.size() && echoOptions.match(inv.text(i)).hasMatch()) {
            escapes = escapes || inv.text(i).contains(u'e');
            ++i;
        }
        QStringList parts;
        Text::Kind kind = Text::Kind::Known;
        bool processList = false;
        for (; i < inv.args.size(); ++i) {
            const Word &w = *inv.args[i];
            const Text t = textOf(w, scope);
            processList = processList || t.processList;
            if (t.kind != Text::Kind::Known || (w.expands && w.substitutions.empty()))
                kind = worse(kind, t.kind == Text::Kind::Known || t.kind == Text::Kind::File ? Text::Kind::Computed : t.kind);
            parts.append(tildeExpanded(w, t.text));
        }
        if (kind != Text::Kind::Known)
            return Text::of(kind, processList);
        QString text;
        if (name == u"printf" && !parts.isEmpty()) {
            const QString format = parts.takeFirst();
            if (format.contains(QLatin1String("%b")))
                return Text::of(Text::Kind::Decoded);
            static const QRegularExpression conversion(QStringLiteral("%[-+ #0-9.]*[a-zA-Z%]"));
            qsizetype next = 0;
            do {
                if (!expanded(text.size() + format.size()))
                    return Text::of(Text::Kind::Computed);
                qsizetype pos = 0;
                for (auto it = conversion.globalMatch(format); it.hasNext();) {
                    const QRegularExpressionMatch m = it.next();
                    text += QStringView(format).sliced(pos, m.capturedStart() - pos);
                    if (m.captured() == u"%%")
                        text += u'%';
                    else if (next < parts.size())
                        text += parts.at(next++);
                    pos = m.capturedEnd();
                }
                text += QStringView(format).sliced(pos);
            } while (next > 0 && next < parts.size());
        } else {
            text = parts.join(u' ') + u'\n';
        }
        if (!expanded(text.size()))
            return Text::of(Text::Kind::Computed);
        if (escapes && hasDecodingEscapes(text))
            return Text::of(Text::Kind::Decoded);
        return Text::known(escapes ? decodeEscapes(text) : text);
    }
    if (name == u"cat" || name == u"tac") {
        for (const Word *w : inv.args) {
            if (w->text.startsWith(u'-') && w->text != u"-")
                continue;
            if (w->text == u"-")
                return in;
            return scriptOf(*w, scope);
        }
        return in;
    }
    if (isShell(name) && m_flowDepth < kMaxFlowDepth) {
        const ShellSource src = shellSource(inv);
        if (src.text) {
            const Text t = textOf(*src.text, scope);
            if (t.kind != Text::Kind::Known)
                return t.kind == Text::Kind::File ? Text::of(Text::Kind::Computed) : t;
            ++m_flowDepth;
            const CommandList inner = parse(t.text);
            const Text out = yieldOf(inner, scope);
            --m_flowDepth;
            return out;
        }
    }
    return passedOn(Text::Kind::Computed);
}

void Review::run(const Text &code, Language language, Scope &scope)
{
    switch (code.kind) {
    case Text::Kind::None:
    case Text::Kind::File:
        return; // a script file the line did not write: what the project runs anyway
    case Text::Kind::Computed:
        flagRow("computed-name");
        return;
    case Text::Kind::Decoded:
        flagRow("decoded-text");
        return;
    case Text::Kind::Download:
        flagRow("remote-script");
        return;
    case Text::Kind::Known:
        break;
    }
    if (language == Language::Shell) {
        shellText(code.text, scope);
        return;
    }
    if (!spend(code.text.size(), 1))
        return;
    judgeProgram(*this, code.text);
    const ProgramFindings f = inspectProgram(code.text, language);
    if (f.effect)
        flag(*f.effect);
    for (const QString &command : f.commands)
        shellText(command, scope);
    if (f.downloadsAndRuns)
        flagRow("remote-script");
    if (f.decodesAndRuns)
        flagRow("decoded-text");
    if (f.runsUnknown)
        flagRow("program-runs");
    if (f.credential)
        flagRow("program-credential");
}

void Review::wrote(const Place &file, const Text &content)
{
    if (file.isProject())
        return;
    m_written.insert(keyOf(file), content);
}

void Review::downloadedUnnamed()
{
    m_downloadedUnnamed = true;
}

std::optional<Text> Review::written(const Place &file) const
{
    const auto it = m_written.constFind(keyOf(file));
    if (it != m_written.cend())
        return *it;
    if (m_downloadedUnnamed)
        return Text::of(Text::Kind::Download);
    return std::nullopt;
}

bool Review::listsProcesses(const Word &word, Scope &scope)
{
    for (const CommandList &sub : word.substitutions) {
        if (yieldOf(sub, scope).processList)
            return true;
    }
    return false;
}

bool Review::printsEnvironmentIn(const Word &word, Scope &scope)
{
    for (const CommandList &sub : word.substitutions) {
        if (yieldOf(sub, scope).environment)
            return true;
    }
    return false;
}

bool Review::isPidVariable(const Word &word) const
{
    static const QRegularExpression reference(QStringLiteral("\\$\\{?([A-Za-z_][A-Za-z0-9_]*)"));
    for (auto it = reference.globalMatch(word.text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (word.live(m.capturedStart()) && m_pidVariables.contains(m.captured(1)))
            return true;
    }
    return false;
}

} // namespace agent::CommandReview
