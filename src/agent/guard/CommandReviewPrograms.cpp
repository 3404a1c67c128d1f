#include "agent/guard/CommandReviewPrograms.h"

#include "agent/guard/CommandReviewPlaces.h"
#include "agent/guard/CommandReviewReasons.h"

#include <QRegularExpression>

namespace agent::CommandReview {

namespace {

using ShellWords::Word;

constexpr qsizetype kMaxCallSites = 64;     // run calls read in one program
constexpr qsizetype kMaxCallLength = 4096;  // characters of one call's command read

// Options of an interpreter: letters whose value is program text, letters
// that take a value, the letter that names a program file.
struct Options {
    QStringView codeLetters;
    QStringView valueLetters;
    QStringView scriptLetters;
    QStringList codeLong;
    QStringList valueLong;
    bool programOperand = false; // awk: the first operand is the program
    QChar moduleLetter;          // python -m: runs a module, reads no program
};

Options optionsFor(Language language)
{
    switch (language) {
    case Language::Python:
        return {u"c", u"WXQ", u"", {}, {}, false, u'm'};
    case Language::Perl:
        return {u"eE", u"MmIixdCDV", u"", {}, {}, false, {}};
    case Language::Ruby:
        return {u"e", u"rICEFKTWx", u"", {}, {QStringLiteral("--require")}, false, {}};
    case Language::JavaScript:
        return {u"ep", u"rC", u"", {QStringLiteral("--eval"), QStringLiteral("--print")},
                {QStringLiteral("--require"), QStringLiteral("--import"), QStringLiteral("--loader"), QStringLiteral("--conditions")}, false, {}};
    case Language::Php:
        return {u"rRBE", u"cdz", u"f", {}, {}, false, {}};
    case Language::Lua:
        return {u"e", u"l", u"", {}, {}, false, {}};
    case Language::R:
        return {u"e", u"", u"", {}, {}, false, {}};
    case Language::Awk:
        return {u"e", u"FviljWE", u"f", {QStringLiteral("--source")},
                {QStringLiteral("--field-separator"), QStringLiteral("--assign"), QStringLiteral("--include"), QStringLiteral("--load")}, true, {}};
    case Language::Other:
        return {u"ce", u"", u"f", {QStringLiteral("--eval"), QStringLiteral("--command")}, {}, false, {}};
    case Language::Tcl:
        return {u"c", u"", u"f", {}, {}, false, {}};
    case Language::Vim:
        return {u"c", u"uiTwWsrt", u"S", {QStringLiteral("--cmd")}, {}, false, {}};
    case Language::Shell:
        break;
    }
    return {};
}

// The program text with string literals blanked, and the literals themselves.
struct Lexed {
    QString code;           // literals replaced by spaces between their quotes
    QByteArray inString;    // 1 where a character lies inside a literal
    QStringList commands;   // backtick, qx{} and %x() literals: command lines
};

// Whether a "/" at i starts a pattern literal rather than a division: it
// stands where a value is expected (after "(", "=~", "if", "split" ...).
bool patternStartsAt(const QString &text, qsizetype i)
{
    qsizetype j = i - 1;
    while (j >= 0 && text[j].isSpace())
        --j;
    if (j < 0 || QStringView(u"(,=~!&|;{}[:?").contains(text[j]))
        return true;
    qsizetype k = j;
    while (k >= 0 && (text[k].isLetter() || text[k] == u'_'))
        --k;
    static const QStringList words{QStringLiteral("if"),    QStringLiteral("unless"), QStringLiteral("and"),  QStringLiteral("or"),
                                   QStringLiteral("not"),   QStringLiteral("return"), QStringLiteral("split"), QStringLiteral("grep"),
                                   QStringLiteral("map"),   QStringLiteral("when"),   QStringLiteral("while"), QStringLiteral("until"),
                                   QStringLiteral("print"), QStringLiteral("push"),   QStringLiteral("join")};
    return k < j && words.contains(text.mid(k + 1, j - k));
}

// Perl's quote-like pattern operators: m/.../, qr/.../, s/.../.../,
// tr/.../.../, y/.../.../. The number of parts, or 0 when none starts at i.
int perlPatternParts(const QString &text, qsizetype i, qsizetype &delimiterAt)
{
    if (i > 0 && (text[i - 1].isLetterOrNumber() || text[i - 1] == u'_' || text[i - 1] == u'$' || text[i - 1] == u'@' || text[i - 1] == u'%'))
        return 0;
    static const QList<std::pair<QString, int>> operators{{QStringLiteral("qr"), 1}, {QStringLiteral("tr"), 2}, {QStringLiteral("m"), 1},
                                                         {QStringLiteral("s"), 2}, {QStringLiteral("y"), 2}};
    for (const auto &[op, parts] : operators) {
        const qsizetype at = i + op.size();
        if (text.mid(i, op.size()) == op && at < text.size() && QStringView(u"/|!#,").contains(text[at])) {
            delimiterAt = at;
            return parts;
        }
    }
    return 0;
}

Lexed lex(const QString &text, Language language)
{
    Lexed out{text, QByteArray(text.size(), 0), {}};
    const bool backticksRun = language == Language::Perl || language == Language::Ruby || language == Language::Php
                              || language == Language::Other;
    qsizetype i = 0;
    const auto blank = [&](qsizetype from, qsizetype to) {
        for (qsizetype k = from; k < to && k < text.size(); ++k) {
            out.code[k] = u' ';
            out.inString[k] = 1;
        }
    };
    while (i < text.size()) {
        const QChar c = text[i];
        QChar close;
        qsizetype start = i + 1;
        bool command = false;
        const bool patterns = language == Language::Perl || language == Language::Ruby || language == Language::JavaScript
                              || language == Language::Awk;
        qsizetype delimiterAt = -1;
        const int parts = language == Language::Perl ? perlPatternParts(text, i, delimiterAt) : 0;
        if (parts > 0) {
            // The pattern and its replacement are literals, but a
            // replacement with the "e" flag is code.
            const QChar d = text[delimiterAt];
            qsizetype j = delimiterAt + 1;
            QList<std::pair<qsizetype, qsizetype>> ranges;
            for (int part = 0; part < parts; ++part) {
                const qsizetype from = j;
                while (j < text.size() && text[j] != d)
                    j += text[j] == u'\\' ? 2 : 1;
                ranges.append({from, j});
                ++j;
            }
            qsizetype flagsEnd = j;
            while (flagsEnd < text.size() && text[flagsEnd].isLetter())
                ++flagsEnd;
            const bool evaluated = text.mid(j, flagsEnd - j).contains(u'e');
            for (qsizetype r = 0; r < ranges.size(); ++r) {
                if (!(evaluated && r == 1))
                    blank(ranges[r].first, ranges[r].second);
            }
            i = j;
            continue;
        }
        if (patterns && c == u'/' && patternStartsAt(text, i)) {
            close = c;
        } else if (c == u'\'' || c == u'"') {
            close = c;
            if (language == Language::Python && text.mid(i, 3) == QString(3, c)) {
                const qsizetype end = text.indexOf(QString(3, c), i + 3);
                const qsizetype stop = end < 0 ? text.size() : end;
                blank(i + 3, stop);
                i = stop + 3;
                continue;
            }
        } else if (c == u'`') {
            close = c;
            command = backticksRun;
        } else if ((language == Language::Perl && text.mid(i, 2) == u"qx") || (language == Language::Ruby && text.mid(i, 2) == u"%x")) {
            if (i + 2 < text.size() && QStringView(u"({[<|/!").contains(text[i + 2])) {
                const QChar open = text[i + 2];
                close = open == u'(' ? u')' : open == u'{' ? u'}' : open == u'[' ? u']' : open == u'<' ? u'>' : open;
                start = i + 3;
                command = true;
            }
        }
        // Quote-like literals: Perl q{} qq{} qw{}, Ruby %q{} %Q{} %w{} %{},
        // Lua [[...]] and [=[...]=].
        if (close.isNull() && language == Language::Lua && c == u'[') {
            qsizetype k = i + 1;
            while (k < text.size() && text[k] == u'=')
                ++k;
            if (k < text.size() && text[k] == u'[') {
                const QString ending = u']' + QString(k - i - 1, u'=') + u']';
                const qsizetype end = text.indexOf(ending, k + 1);
                const qsizetype stop = end < 0 ? text.size() : end;
                blank(k + 1, stop);
                i = stop + ending.size();
                continue;
            }
        }
        if (close.isNull() && (i == 0 || !(text[i - 1].isLetterOrNumber() || text[i - 1] == u'_' || text[i - 1] == u'$'))) {
            qsizetype open = -1;
            if (language == Language::Perl && c == u'q') {
                open = text.mid(i, 2) == u"qq" || text.mid(i, 2) == u"qw" ? i + 2 : i + 1;
            } else if (language == Language::Ruby && c == u'%') {
                open = i + 1 < text.size() && QStringView(u"qQwWi").contains(text[i + 1]) ? i + 2 : i + 1;
            }
            if (open > 0 && open < text.size() && QStringView(u"({[<|/!#").contains(text[open])) {
                const QChar o = text[open];
                close = o == u'(' ? u')' : o == u'{' ? u'}' : o == u'[' ? u']' : o == u'<' ? u'>' : o;
                start = open + 1;
            }
        }
        if (close.isNull()) {
            ++i;
            continue;
        }
        qsizetype j = start;
        while (j < text.size() && text[j] != close)
            j += text[j] == u'\\' ? 2 : 1;
        const qsizetype stop = qMin(j, text.size());
        if (command)
            out.commands.append(text.mid(start, stop - start));
        blank(start, stop);
        i = stop + 1;
    }
    return out;
}

QRegularExpression rx(const char *pattern)
{
    return QRegularExpression(QString::fromLatin1(pattern));
}

bool matches(const QRegularExpression &re, const QString &text)
{
    return re.match(text).hasMatch();
}

// Calls that run a command line, by language; group 1 ends where the
// arguments begin.
const QRegularExpression &runCall(Language language)
{
    static const QRegularExpression python = rx("(?:\\bos\\.system|\\.system|\\bos\\.popen|\\.(?:call|check_call|check_output|Popen|getoutput|getstatusoutput|popen)|\\bos\\.exec\\w*|\\bos\\.spawn\\w*|\\bos\\.posix_spawnp?|"
                                                "\\bsubprocess\\.\\w+|\\bPopen|\\bcheck_output|\\bcheck_call|\\bgetoutput|\\bgetstatusoutput|\\bpty\\.spawn|(?<![.\\w])system|(?<![.\\w])popen)\\s*\\(");
    static const QRegularExpression javascript = rx("(?:\\bexecSync|\\bexecFileSync|\\bexecFile|\\bspawnSync|\\bspawn|(?<![.\\w])exec|"
                                                    "\\bchild_process['\"]?\\)?\\.exec|\\bDeno\\.run|\\bDeno\\.Command|\\bBun\\.spawn\\w*)\\s*\\(");
    static const QRegularExpression perl = rx("(?:\\bsystem|\\bexec)\\b\\s*\\(?");
    static const QRegularExpression ruby = rx("(?:\\bsystem|\\bexec|\\bspawn|\\bIO\\.popen|\\bOpen3\\.\\w+|\\bProcess\\.spawn)\\b\\s*\\(?");
    static const QRegularExpression php = rx("(?:\\bsystem|\\bexec|\\bshell_exec|\\bpassthru|\\bproc_open|\\bpopen)\\s*\\(");
    static const QRegularExpression lua = rx("(?:\\bos\\.execute|\\bio\\.popen)\\s*\\(?");
    static const QRegularExpression r = rx("(?:\\bsystem2?|\\bshell)\\s*\\(");
    static const QRegularExpression awk = rx("\\bsystem\\s*\\(");
    static const QRegularExpression other = rx("(?:\\bsystem\\*?|\\bexec|\\bshell-command|\\bcall-process|\\bstart-process|\\bmake-process|\\bprocess-file|"
                                               "\\bSystem\\.cmd|\\bStart-Process|\\bInvoke-Expression|\\biex)(?![\\w-])\\s*\\(?");
    static const QRegularExpression vim = rx("\\b(?:system|systemlist|job_start|jobstart|termopen|term_start)\\s*\\(");
    switch (language) {
    case Language::Python: return python;
    case Language::JavaScript: return javascript;
    case Language::Perl: return perl;
    case Language::Ruby: return ruby;
    case Language::Php: return php;
    case Language::Lua: return lua;
    case Language::R: return r;
    case Language::Awk: return awk;
    case Language::Vim: return vim;
    default: return other;
    }
}

// Whether the program calls what re names: a match that starts inside a
// string literal counts only when the program evaluates strings as code.
bool calls(const QRegularExpression &re, const QString &text, const Lexed &lexed, bool evaluatesStrings)
{
    for (auto it = re.globalMatch(text); it.hasNext();) {
        if (evaluatesStrings || !lexed.inString.at(it.next().capturedStart()))
            return true;
    }
    return false;
}

// Whether every delete the program makes removes a folder named by a
// literal path inside the project (shutil.rmtree('build'), rmSync('dist'),
// rmdirSync('out', {recursive: true})):
// the project's own clean-up. The project folder itself does not count.
bool deletesInProjectOnly(const QString &text, const QRegularExpression &deletes)
{
    static const QRegularExpression literal(QStringLiteral(
        "(?|\\b(?:rmtree|rmSync|rm_rf|rm_r|remove_dir_all|rimraf|remove_tree)\\s*\\(\\s*(['\"])([^'\"\\\\]*)\\1|"
        "\\b(?:rmtree|rm_rf|rm_r)\\s*\\(\\s*(?:pathlib\\.)?(?:Path|Pathname)(?:\\.new)?\\s*\\(\\s*(['\"])([^'\"\\\\]*)\\1\\s*\\)(?!\\s*[/.])|"
        "(?:\\brmdirSync|\\bDeno\\.remove(?:Sync)?|\\b(?:fs|promises)\\.rm)\\s*\\(\\s*(['\"])([^'\"\\\\]*)\\1\\s*,\\s*\\{[^}]*\\brecursive\\s*:\\s*true)"));
    // Naming the function in an import ("from shutil import rmtree", "use
    // File::Path qw(remove_tree)") deletes nothing; its calls are counted.
    static const QRegularExpression imports(QStringLiteral(
        "\\bfrom\\s+[\\w.]+\\s+import\\s+[\\w\\s,()]*?(?=;|\\n|$)|\\buse\\s+[\\w:]+\\s+qw\\s*(?:\\([^)]*\\)|\\[[^\\]]*\\]|\\{[^}]*\\}|/[^/]*/)"));
    QString calls = text;
    calls.replace(imports, QStringLiteral(" "));
    if (calls.contains(QRegularExpression(QStringLiteral("\\bimport\\b[^;\\n]*\\bas\\b"))))
        return false; // renamed on import: its calls cannot be told apart
    qsizetype sites = 0;
    for (auto it = deletes.globalMatch(calls); it.hasNext(); it.next())
        ++sites;
    qsizetype confined = 0;
    for (auto it = literal.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString path = m.captured(2);
        const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
        const bool inside = !path.isEmpty() && !path.startsWith(u'/') && !path.startsWith(u'~') && !path.contains(u'$')
                            && !parts.contains(QStringLiteral("..")) && !parts.isEmpty()
                            && std::any_of(parts.cbegin(), parts.cend(), [](const QString &part) { return part != u"."; });
        if (!inside)
            return false;
        ++confined;
    }
    return sites > 0 && confined >= sites;
}

std::optional<QString> effectOf(const QString &text, const Lexed &lexed, Language language, bool evaluatesStrings)
{
    const QString &code = lexed.code;
    static const QRegularExpression deletes = rx(
        "\\bos\\.(?:remove|unlink|rmdir|removedirs)\\b|\\bshutil\\.rmtree\\b|\\brmtree\\b|\\bremove_tree\\b|\\.unlink\\s*\\(|\\.rmdir\\s*\\(|"
        "\\b(?:unlinkSync|rmSync|rmdirSync)\\b|\\bfs(?:\\.promises)?\\.(?:rm|unlink|rmdir)\\b|\\bFileUtils\\.(?:rm\\w*|remove\\w*|rmdir|rmtree)\\b|"
        "\\bFile\\.(?:delete|unlink)\\b|\\bDir\\.(?:delete|unlink|rmdir)\\b|\\bDeno\\.remove(?:Sync)?\\b|\\bfile\\.remove\\b|"
        "\\bunlink\\s*\\(|\\brimraf\\b|\\bfile\\s+delete\\b|\\.(?:rm|unlink|rmdir)(?:Sync)?\\s*\\(|"
        "\\bgetattr\\s*\\((?:[^()]|\\([^()]*\\))*,\\s*['\"](?:remove|removedirs|rmtree|unlink|rmdir)['\"]|"
        "(?<=[\\w)\\]])\\[\\s*['\"](?:rmtree|unlink|unlinkSync|rmdir|rmdirSync|rmSync)['\"]|"
        "\\bsend\\s*\\(?\\s*:(?:rm\\w*|remove\\w*|unlink|delete)\\b|\\bPOSIX::(?:remove|unlink|rmdir)\\b|"
        "\\bfrom\\s+(?:os|shutil|pathlib)\\s+import\\b[^;\\n]*\\b(?:remove|unlink|rmdir|removedirs|rmtree)\\b");
    static const QRegularExpression deletesBare = rx("\\b(?:unlink|rmdir)\\b");
    static const QRegularExpression writes = rx(
        "\\bopen\\s*\\([^()]*,\\s*(?:mode\\s*=\\s*)?['\"](?:[wax]|r\\+)|\\bmode\\s*=\\s*['\"][wax]|\\.write_(?:text|bytes)\\s*\\(|"
        "\\bos\\.(?:truncate|rename|renames|replace)\\b|\\bshutil\\.(?:copy\\w*|move)\\b|\\.truncate\\s*\\(|"
        "\\b(?:writeFile|writeFileSync|appendFile|appendFileSync|createWriteStream|copyFile|copyFileSync|cpSync|renameSync|truncateSync|"
        "writeTextFile|writeTextFileSync)\\b|\\bfs\\.(?:rename|truncate|cp)\\b|\\.promises\\.(?:writeFile|appendFile|rename|truncate|cp)\\b|\\bBun\\.write\\b|\\bDeno\\.writeFile(?:Sync)?\\b|"
        "\\bFile\\.(?:write|rename|truncate)\\b|\\bIO\\.write\\b|\\bFile\\.open\\s*\\([^()]*['\"][wa]|\\bFileUtils\\.(?:mv|cp|cp_r|install|touch|ln_sf)\\b|"
        "\\bfile_put_contents\\b|\\bfopen\\s*\\([^()]*['\"][wax]|\\bio\\.open\\s*\\([^()]*['\"][wa]|\\bwriteLines\\s*\\(|\\bfile\\.(?:rename|copy)\\b|"
        "\\bopen\\s*\\(?\\s*(?:my\\s+)?[$\\w]+\\s*,\\s*['\"]\\s*(?:\\+?>|\\+<)|\\bsysopen\\b");
    static const QRegularExpression phpWrites = rx("\\b(?:rename|copy)\\s*\\(");
    static const QRegularExpression perlWrites = rx("\\b(?:rename|truncate)\\b");
    static const QRegularExpression awkWrites = rx("\\bprintf?\\b[^;|}]*>");
    static const QRegularExpression permissions = rx("\\b(?:l|f)?ch(?:mod|own|grp)(?:Sync|_R)?\\b");
    static const QRegularExpression kills = rx("\\bos\\.kill(?:pg)?\\b|\\bkillpg\\b|\\bprocess\\.kill\\b|\\bProcess\\.kill\\b|\\bposix_kill\\b|"
                                               "\\bsignal\\.pthread_kill\\b|\\bDeno\\.kill\\b|(?:\\bgetattr\\s*\\((?:[^()]|\\([^()]*\\))*,\\s*|(?<=[\\w)\\]])\\[\\s*)['\"](?:kill|killpg)['\"]|\\bfrom\\s+os\\s+import\\b[^;\\n]*\\bkill\\b");
    static const QRegularExpression killsBare = rx("\\bkill\\b\\s*\\(?\\s*[-\"'\\d$:A-Z]");
    static const QRegularExpression killsGroup = rx("\\bkill\\s*\\(\\s*-");

    // Other languages' own words: julia rm(), PowerShell cmdlets, Lisp's
    // delete-file, Elixir's File.rm_rf, vim's delete() and writefile().
    static const QRegularExpression otherDeletes = rx(
        "(?<![\\w.$-])rm\\s*\\(|\\bRemove-Item\\b|\\bdelete-(?:file|directory)\\b|\\bFile\\.rm(?:_rf|_r|dir)?!?|\\bDirectory\\.Delete\\b|"
        "\\.deleteDir\\s*\\(|\\.delete\\s*\\(\\s*\\)|(?:^|[;|{(]\\s*)(?:rm|del|erase|rd|ri|rmdir)\\s+[-~/$.\\w]|(?<![\\w.])delete\\s*\\(");
    static const QRegularExpression otherWrites = rx(
        "\\b(?:Set-Content|Out-File|Clear-Content|Move-Item|Copy-Item|Rename-Item)\\b|\\b(?:write-region|rename-file|copy-file|append-to-file)\\b|"
        "\\bFile\\.write!?|(?<![\\w.])(?:mv|cp)\\s*\\(|\\bwritefile\\s*\\(");
    static const QRegularExpression otherPermissions = rx("\\b(?:set-file-modes|setfperm|Set-Acl)\\b|(?<![\\w.])chmod\\s*\\(");
    static const QRegularExpression otherKills = rx("\\b(?:Stop-Process|signal-process|kill-process)\\b|(?<![\\w.])kill\\s*\\(");
    const bool ownWords = language == Language::Other || language == Language::Vim || language == Language::Tcl;
    const bool perlLike = language == Language::Perl || language == Language::Other;
    const auto called = [&](const QRegularExpression &re) { return calls(re, text, lexed, evaluatesStrings); };
    if (ownWords && called(otherDeletes))
        return reasonOf("program-deletes");
    if (ownWords && called(otherWrites))
        return reasonOf("program-overwrites");
    if (ownWords && called(otherPermissions))
        return reasonOf("program-permissions");
    if (ownWords && called(otherKills))
        return reasonOf("program-kills");
    if ((called(deletes) || (perlLike && matches(deletesBare, code))) && !deletesInProjectOnly(text, deletes))
        return reasonOf("program-deletes");
    if (called(writes) || (language == Language::Php && matches(phpWrites, code)) || (perlLike && matches(perlWrites, code))
        || (language == Language::Awk && matches(awkWrites, code)))
        return reasonOf("program-overwrites");
    if (called(permissions))
        return reasonOf("program-permissions");
    if (called(kills) || matches(killsGroup, code) || (perlLike && matches(killsBare, code)))
        return reasonOf("program-kills");
    return std::nullopt;
}

// The literals inside [from, to) of the program.
QStringList literalsIn(const QString &text, const Lexed &lexed, qsizetype from, qsizetype to)
{
    QStringList out;
    qsizetype j = from;
    while (j < to) {
        if (!lexed.inString.at(j)) {
            ++j;
            continue;
        }
        const qsizetype start = j;
        while (j < to && lexed.inString.at(j))
            ++j;
        out.append(text.mid(start, j - start));
    }
    return out;
}

// The command a run call is given: its literals, whether it starts with one,
// and whether other values are joined in (concatenation, interpolation).
struct Call {
    QStringList literals;
    bool literal = false;
    bool partial = false;
};

Call readCall(const QString &program, const Lexed &lexed, qsizetype from, Language language)
{
    qsizetype p = from;
    while (p < program.size() && (program[p] == u' ' || program[p] == u'\t'))
        ++p;
    const bool list = p < program.size() && !lexed.inString.at(p) && (program[p] == u'[' || program[p] == u'(');
    // Perl's and Ruby's system("rm", "-r", $dir): the arguments after the
    // first are words of the same command.
    const bool wordList = (language == Language::Perl || language == Language::Ruby) && p < program.size() && lexed.inString.at(qMin(p + 1, program.size() - 1))
                          && QStringView(u"'\"").contains(program[p]);
    // A list is the whole command; otherwise its first argument is.
    qsizetype end = p;
    int nesting = 0;
    const qsizetype limit = qMin(program.size(), p + kMaxCallLength);
    for (; end < limit; ++end) {
        if (lexed.inString.at(end))
            continue;
        const QChar c = lexed.code[end];
        if (c == u'(' || c == u'[' || c == u'{') {
            ++nesting;
        } else if (c == u')' || c == u']' || c == u'}') {
            if (--nesting < 0)
                break;
            if (list && nesting == 0) {
                ++end;
                break;
            }
        } else if (nesting == 0 && (c == u';' || c == u'\n' || (c == u',' && !wordList))) {
            break;
        }
    }
    Call call;
    call.literals = literalsIn(program, lexed, p, end);
    qsizetype q = p;
    while (q < end && QStringView(u" \t[(").contains(program[q]))
        ++q;
    call.literal = q < end && QStringView(u"'\"`").contains(program[q]);
    // q{...}, %q{...}, [[...]]: a literal behind its opening marks.
    qsizetype k = p;
    while (k < end && k < p + 4 && !lexed.inString.at(k) && QStringView(u"qQwW%{[(<|/!#=").contains(program[k]))
        ++k;
    const bool quoteLike = k > p && k < end && lexed.inString.at(k);
    call.literal = call.literal || quoteLike;
    // qq{} and %Q{} %{} interpolate as double quotes do; q{}, %q{}, [[ ]] do not.
    const QString opener = quoteLike ? program.mid(p, k - p) : QString();
    const bool doubleLike = opener.contains(QLatin1String("qq")) || opener.contains(QLatin1String("%Q"))
                            || (opener.startsWith(u'%') && opener.size() > 1 && !opener.at(1).isLetter());
    for (qsizetype j = p; j < end; ++j) {
        if (quoteLike && !lexed.inString.at(j) && QStringView(u"qQwW%{}[]()<>|/!#=").contains(program[j]))
            continue; // the marks around a quote-like literal
        if (lexed.inString.at(j)) {
            // Interpolation inside a literal: "${x}", "#{x}", "$x" in double quotes.
            const QChar quote = j > 0 ? (doubleLike ? u'"' : program[j - 1]) : QChar();
            if (j > 0 && !lexed.inString.at(j - 1)) {
                qsizetype close = j;
                while (close < end && lexed.inString.at(close))
                    ++close;
                const QString body = program.mid(j, close - j);
                static const QRegularExpression variable(QStringLiteral("[$@][A-Za-z_{]"));
                const bool interpolates = body.contains(QLatin1String("${")) || body.contains(QLatin1String("#{"))
                                          || (quote == u'"' && language != Language::Python && language != Language::JavaScript
                                              && variable.match(body).hasMatch());
                call.partial = call.partial || interpolates;
            }
            continue;
        }
        const QChar c = program[j];
        if (c.isSpace() || QStringView(u"[](),'\"`").contains(c))
            continue;
        // String prefixes: f"..." interpolates, r"..." and b"..." do not.
        if (j + 1 < end && QStringView(u"'\"").contains(program[j + 1]) && QStringView(u"rRbBuU").contains(c))
            continue;
        call.partial = true;
    }
    return call;
}

// Commands whose targets matter: run with a computed argument they act on
// something the program does not show.
bool isSensitive(const QString &command)
{
    static const QStringList names{
        QStringLiteral("rm"),    QStringLiteral("unlink"), QStringLiteral("shred"), QStringLiteral("rmdir"), QStringLiteral("kill"),
        QStringLiteral("pkill"), QStringLiteral("killall"), QStringLiteral("chmod"), QStringLiteral("chown"), QStringLiteral("dd"),
        QStringLiteral("truncate"), QStringLiteral("mv"), QStringLiteral("git"),    QStringLiteral("curl"),  QStringLiteral("wget"),
        QStringLiteral("sh"),    QStringLiteral("bash"),   QStringLiteral("zsh"),   QStringLiteral("eval"),  QStringLiteral("sudo")};
    const QString name = command.mid(command.lastIndexOf(u'/') + 1);
    return names.contains(name) || name.startsWith(QLatin1String("mkfs"));
}

// Ex commands that hand a line to the shell: ":!cmd", ":r !cmd", ":w !cmd",
// ":terminal cmd", also after "silent" and a range.
QStringList vimShellCommands(const QString &program)
{
    QStringList out;
    static const QRegularExpression bang = rx("^\\s*:*\\s*(?:sil(?:ent)?!?\\s+)?(?:[0-9.,$%'<>]*)\\s*(?:(?:r|read|w|write)\\s*)?!(.*)$");
    static const QRegularExpression terminal = rx("^\\s*:*\\s*(?:sil(?:ent)?!?\\s+)?ter(?:m|minal)?(?:\\s+(?:\\+\\S+\\s+)*)(.+)$");
    for (const QString &line : program.split(u'\n')) {
        // Without a "!", "|" separates commands; after it, the rest is the shell's.
        for (const QString &command : line.contains(u'!') ? QStringList{line} : line.split(u'|')) {
            if (const QRegularExpressionMatch m = bang.match(command); m.hasMatch())
                out.append(m.captured(1));
            else if (const QRegularExpressionMatch t = terminal.match(command); t.hasMatch())
                out.append(t.captured(1));
        }
    }
    return out;
}

} // namespace

std::optional<Language> interpreterLanguage(const QString &name)
{
    static const struct {
        QRegularExpression pattern;
        Language language;
    } table[] = {
        {rx("^(python[0-9.]*|pypy[0-9.]*)$"), Language::Python},
        {rx("^perl[0-9.]*$"), Language::Perl},
        {rx("^(ruby[0-9.]*|jruby)$"), Language::Ruby},
        {rx("^(node|nodejs|bun|deno)$"), Language::JavaScript},
        {rx("^php[0-9.]*(-cli)?$"), Language::Php},
        {rx("^(lua[0-9.]*|luajit)$"), Language::Lua},
        {rx("^(rscript|r)$"), Language::R},
        {rx("^(awk|gawk|mawk|nawk|original-awk)$"), Language::Awk},
        {rx("^(tclsh[0-9.]*|wish[0-9.]*|expect)$"), Language::Tcl},
        {rx("^(vim|vi|nvim|gvim|ex|vimdiff|view)$"), Language::Vim},
        {rx("^(emacs|emacsclient)$"), Language::Other},
        {rx("^(julia|guile[0-9.]*|racket|elixir|groovy|pwsh|powershell|scala|jshell)$"), Language::Other},
    };
    for (const auto &row : table) {
        if (row.pattern.match(name).hasMatch())
            return row.language;
    }
    return std::nullopt;
}

ProgramSource programSource(Language language, const QString &name, const std::vector<const Word *> &args)
{
    ProgramSource src;
    const auto text = [&](std::size_t i) { return args.at(i)->text; };
    std::size_t i = 0;
    if (name == u"deno" || name == u"bun") {
        // deno eval CODE, deno run FILE|URL; bun -e CODE, bun FILE
        while (i < args.size() && text(i).startsWith(u'-') && text(i) != u"-e" && text(i) != u"--eval")
            ++i;
        if (i < args.size() && (text(i) == u"eval" || text(i) == u"-e" || text(i) == u"--eval")) {
            if (i + 1 < args.size())
                src.codeWords.push_back(args.at(i + 1));
            return src;
        }
        if (i < args.size() && text(i) == u"run")
            ++i;
        while (i < args.size() && text(i).startsWith(u'-'))
            ++i;
        if (i < args.size()) {
            src.script = args.at(i);
            src.remote = text(i).startsWith(QLatin1String("http://")) || text(i).startsWith(QLatin1String("https://"));
        }
        return src;
    }
    if (name == u"emacs" || name == u"emacsclient") {
        // --eval EXPR, -eval, --execute, emacsclient -e; --load, --script FILE
        for (; i < args.size(); ++i) {
            const QString a = text(i);
            const qsizetype eq = a.indexOf(u'=');
            const QString key = eq > 0 ? a.left(eq) : a;
            const bool code = isOneOf(key, {u"--eval", u"-eval", u"--execute", u"-execute"}) || (name == u"emacsclient" && a == u"-e");
            if (code && eq > 0)
                src.codeTexts.append(a.mid(eq + 1));
            else if (code && i + 1 < args.size())
                src.codeWords.push_back(args.at(++i));
            else if (isOneOf(key, {u"-l", u"--load", u"-load", u"--script", u"-script"}) && i + 1 < args.size())
                src.script = args.at(++i);
        }
        return src;
    }
    if (language == Language::Vim) {
        // -c CMD, --cmd CMD, +CMD; -S FILE sources a script; the operands are files to edit.
        for (; i < args.size(); ++i) {
            const QString a = text(i);
            if ((a == u"-c" || a == u"--cmd") && i + 1 < args.size())
                src.codeWords.push_back(args.at(++i));
            else if (a.startsWith(u'+') && a.size() > 1)
                src.codeTexts.append(a.mid(1));
            else if (a == u"-S" && i + 1 < args.size())
                src.script = args.at(++i);
        }
        return src;
    }
    if (name == u"pwsh" || name == u"powershell") {
        for (; i < args.size(); ++i) {
            const QString a = text(i).toLower();
            if ((a == u"-c" || a == u"-command") && i + 1 < args.size()) {
                src.codeWords.push_back(args.at(i + 1));
                return src;
            }
            if (a == u"-e" || a == u"-ec" || a == u"-enc" || a == u"-encodedcommand") {
                src.encoded = true;
                return src;
            }
            if ((a == u"-f" || a == u"-file") && i + 1 < args.size()) {
                src.script = args.at(i + 1);
                return src;
            }
        }
        return src;
    }

    const Options o = optionsFor(language);
    bool codeGiven = false;
    while (i < args.size()) {
        const QString a = text(i);
        if (a == u"--") {
            ++i;
            break;
        }
        if (a == u"-") {
            src.fromStdin = true;
            return src;
        }
        if (a.startsWith(QLatin1String("--"))) {
            const qsizetype eq = a.indexOf(u'=');
            const QString key = eq < 0 ? a : a.left(eq);
            if (o.codeLong.contains(key)) {
                codeGiven = true;
                if (eq >= 0)
                    src.codeTexts.append(a.mid(eq + 1));
                else if (i + 1 < args.size())
                    src.codeWords.push_back(args.at(++i));
            } else if (o.valueLong.contains(key) && eq < 0) {
                ++i;
            }
            ++i;
            continue;
        }
        if (a.size() < 2 || !a.startsWith(u'-'))
            break;
        std::size_t consumed = 0;
        for (qsizetype k = 1; k < a.size(); ++k) {
            const QChar ch = a[k];
            const QString rest = a.mid(k + 1);
            if (ch == o.moduleLetter)
                return {}; // python -m runs a module and reads no program
            if (o.codeLetters.contains(ch) || o.scriptLetters.contains(ch)) {
                // node -pe CODE: -p and -e in one cluster, the code follows.
                if (!rest.isEmpty() && std::all_of(rest.cbegin(), rest.cend(), [&](QChar r) { return o.codeLetters.contains(r); }))
                    continue;
                const Word *value = nullptr;
                if (rest.isEmpty() && i + 1 < args.size())
                    value = args.at(i + ++consumed);
                if (o.scriptLetters.contains(ch)) {
                    src.script = value;
                } else if (value) {
                    src.codeWords.push_back(value);
                } else if (!rest.isEmpty()) {
                    src.codeTexts.append(rest);
                }
                codeGiven = true;
                break;
            }
            if (language == Language::Perl && (ch == u'l' || ch == u'0')) {
                while (k + 1 < a.size() && a[k + 1].isDigit())
                    ++k;
                continue;
            }
            if (o.valueLetters.contains(ch)) {
                if (rest.isEmpty() && language != Language::Perl && i + 1 < args.size())
                    ++consumed;
                break;
            }
        }
        i += 1 + consumed;
    }
    if (codeGiven)
        return src;
    if (o.programOperand) {
        if (i < args.size())
            src.codeWords.push_back(args.at(i));
        return src;
    }
    if (i >= args.size() || text(i) == u"-" || text(i) == u"/dev/stdin")
        src.fromStdin = true;
    else
        src.script = args.at(i);
    return src;
}

namespace {

// Python modules under other names: "import subprocess as s" makes s.run
// subprocess.run, "from os import remove as rm" makes rm() os.remove().
QString withModuleNames(const QString &program)
{
    QString out = program;
    static const QRegularExpression aliased = rx("\\bimport\\s+(os|subprocess|shutil|pathlib|signal)\\s+as\\s+(\\w+)");
    for (auto it = aliased.globalMatch(program); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out.replace(QRegularExpression(QStringLiteral("(?<![.\\w])") + m.captured(2) + QStringLiteral("\\.")), m.captured(1) + u'.');
    }
    static const QRegularExpression imported = rx("\\bfrom\\s+(os|subprocess|shutil|signal)\\s+import\\s+([\\w\\s,]+)");
    for (auto it = imported.globalMatch(program); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        for (const QString &name : m.captured(2).split(u',', Qt::SkipEmptyParts)) {
            const QStringList parts = name.simplified().split(u' ');
            const QString used = parts.size() == 3 && parts.at(1) == u"as" ? parts.at(2) : parts.value(0);
            if (!used.isEmpty() && used != u"*")
                out.replace(QRegularExpression(QStringLiteral("(?<![.\\w])") + used + QStringLiteral("\\s*\\(")), m.captured(1) + u'.' + parts.value(0) + u'(');
        }
    }
    return out;
}

} // namespace

ProgramFindings inspectProgram(const QString &given, Language language)
{
    const QString program = language == Language::Python ? withModuleNames(given) : given;
    ProgramFindings f;
    const Lexed lexed = lex(program, language);
    static const QRegularExpression evaluates = rx("\\b(?:exec|eval|compile|Function|loadstring|instance_eval|class_eval|Invoke-Expression|iex)\\b\\s*\\(?");
    const bool evaluatesStrings = matches(evaluates, lexed.code);
    f.effect = effectOf(program, lexed, language, evaluatesStrings);
    f.commands = lexed.commands;

    // Call sites: on the code with literals blanked, and require("child_process").x(
    // whose module name is itself a literal.
    QList<qsizetype> sites;
    for (auto it = runCall(language).globalMatch(lexed.code); it.hasNext();)
        sites.append(it.next().capturedEnd());
    static const QRegularExpression childProcess = rx("\\brequire\\s*\\(\\s*['\"](?:node:)?child_process['\"]\\s*\\)\\s*\\.\\s*\\w+\\s*\\(");
    for (auto it = childProcess.globalMatch(program); language == Language::JavaScript && it.hasNext();)
        sites.append(it.next().capturedEnd());
    bool runs = !lexed.commands.isEmpty();
    if (sites.size() > kMaxCallSites) {
        // More run calls than a reviewer reads: ask.
        sites.resize(kMaxCallSites);
        f.runsUnknown = true;
    }
    for (const qsizetype site : std::as_const(sites)) {
        runs = true;
        const Call call = readCall(program, lexed, site, language);
        if (!call.literal) {
            f.runsUnknown = true;
            continue;
        }
        const QString line = call.literals.join(u' ');
        f.commands.append(line);
        if (call.literals.size() > 1)
            f.commands.append(call.literals);
        // system("rm " + name): the command is known, what it acts on is not.
        if (call.partial && isSensitive(line.section(u' ', 0, 0, QString::SectionSkipEmpty)))
            f.runsUnknown = true;
    }
    static const QRegularExpression runsByName = rx("(?:\\bgetattr\\s*\\((?:[^()]|\\([^()]*\\))*,\\s*|(?<=[\\w)\\]])\\[\\s*)['\"](?:system|popen|exec|execSync|spawn|spawnSync)['\"]|"
                                                    "\\bsend\\s*\\(?\\s*:(?:system|exec|spawn)\\b");
    static const QRegularExpression phpCallbacks = rx("['\"](?:system|exec|shell_exec|passthru|popen|proc_open)['\"]");
    static const QRegularExpression phpDeletes = rx("['\"](?:unlink|rmdir)['\"]");
    if (language == Language::Php && !f.effect && matches(phpDeletes, program))
        f.effect = reasonOf("program-deletes");
    if (matches(runsByName, program) || (language == Language::Php && matches(phpCallbacks, program))) {
        f.runsUnknown = true;
        runs = true;
    }
    if (language == Language::Awk) {
        static const QRegularExpression getline = rx("\"((?:[^\"\\\\]|\\\\.)*)\"\\s*\\|&?\\s*getline");
        for (auto it = getline.globalMatch(program); it.hasNext();) {
            f.commands.append(it.next().captured(1));
            runs = true;
        }
        static const QRegularExpression printPipe = rx("\\bprintf?\\b[^;}]*\\|&?\\s*\"");
        if (matches(printPipe, lexed.code)) {
            f.runsUnknown = true;
            runs = true;
        }
    }

    static const QRegularExpression decodes = rx(
        "b64decode|\\bbase64\\b|decodebytes|fromhex|unhexlify|\\ba2b_\\w+|codecs\\.decode|\\batob\\b|Buffer\\.from\\s*\\([^()]*['\"](?:base64|hex)|"
        "decode_base64|base64_decode|MIME::Base64|\\bpack\\s*\\(?\\s*['\"][Hh]|\\bunpack1?\\s*\\(?\\s*['\"][mu]|hex2bin|str_rot13|"
        "String\\.fromCharCode|zlib\\.decompress|gzinflate|gzuncompress|FromBase64String");
    f.decodesAndRuns = matches(decodes, program) && (runs || evaluatesStrings);
    static const QRegularExpression downloads = rx(
        "\\burlopen\\b|\\burllib\\b|\\brequests\\.(?:get|post)\\b|\\bhttp\\.client\\b|\\bhttpx\\b|\\bfetch\\s*\\(|\\baxios\\b|"
        "\\bhttps?\\.get\\b|LWP::|HTTP::Tiny|Net::HTTP|open-uri|URI\\.open|\\bcurl_exec\\b|file_get_contents\\s*\\(\\s*['\"]https?:|"
        "\\bsocket\\.(?:socket|create_connection)\\b|\\bnet\\.connect\\b|\\brequire\\s*\\(\\s*['\"](?:node:)?net['\"]\\s*\\)|"
        "\\bSocket\\b|IO::Socket|\\bfsockopen\\b|\\bstream_socket_client\\b|\\bTCPSocket\\b|\\bsocket\\.tcp\\b|"
        "\\brequire\\s*\\(?\\s*['\"]socket['\"]|/inet6?/tcp/");
    f.downloadsAndRuns = matches(downloads, program) && (runs || evaluatesStrings);
    // exec(input()), eval(data): code the program reads or builds is run.
    static const QRegularExpression evaluatesValue = rx("\\b(?:exec|eval|Function)\\s*\\(\\s*(?!['\"`)])");
    for (auto it = evaluatesValue.globalMatch(lexed.code); it.hasNext();) {
        const qsizetype at = it.next().capturedEnd();
        if (at < program.size() && !lexed.inString.at(at) && language != Language::Shell)
            f.runsUnknown = true;
    }
    if (language == Language::Vim)
        f.commands.append(vimShellCommands(program));
    if (language == Language::Tcl) {
        // exec, spawn and system run their words; open "|cmd" runs a pipe; file delete deletes.
        static const QRegularExpression spawns = rx("(?:^|[;\\n\\[{])\\s*(?:exec|spawn|system)\\s+((?:-\\S+\\s+)*)([^;\\n\\]}]*)");
        for (auto it = spawns.globalMatch(program); it.hasNext();)
            f.commands.append(it.next().captured(2).remove(u'{').remove(u'}').remove(u'"'));
        static const QRegularExpression pipe = rx("\\bopen\\s+[\"{]?\\|([^\"}\\]\\n;]*)");
        for (auto it = pipe.globalMatch(program); it.hasNext();)
            f.commands.append(it.next().captured(1));
        static const QRegularExpression fileOps = rx("(?:^|[;\\n\\[{])\\s*file\\s+(delete|rename|copy)\\b");
        if (const QRegularExpressionMatch m = fileOps.match(program); m.hasMatch() && !f.effect)
            f.effect = m.captured(1) == u"delete" ? reasonOf("program-deletes") : reasonOf("program-overwrites");
    }
    f.credential = Places::mentionsCredential(program);
    return f;
}

bool isShellLine(const QString &value)
{
    static const QRegularExpression operators(QStringLiteral("[;&|`<>]|\\$\\(|^\\s*!"));
    if (operators.match(value).hasMatch())
        return true;
    const QStringList w = value.split(u' ', Qt::SkipEmptyParts);
    static const QRegularExpression runner(QStringLiteral("^(?:[a-z]*sh|busybox|python[0-9.]*|perl|ruby|node|php|lua[0-9.]*|tclsh)$"));
    return w.size() > 1 && runner.match(w.first().mid(w.first().lastIndexOf(u'/') + 1).toLower()).hasMatch()
           && std::any_of(w.cbegin() + 1, w.cend(), [](const QString &x) { return x.startsWith(u'-') && !x.startsWith(QLatin1String("--")) && (x.contains(u'c') || x.contains(u'e')); });
}

} // namespace agent::CommandReview
