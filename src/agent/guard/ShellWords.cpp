#include "agent/guard/ShellWords.h"

#include <QRegularExpression>

namespace agent::ShellWords {

namespace {

constexpr int kMaxDepth = 16;
constexpr qint64 kWordCost = 40;    // units of work for each word kept, beyond its characters
constexpr qint64 kCommandCost = 60; // and for each command

enum class Stop { End, CloseParen, Backtick };

bool isNameStart(QChar c)
{
    return (c.unicode() < 128 && c.isLetter()) || c == u'_';
}

bool isNameChar(QChar c)
{
    return isNameStart(c) || (c.unicode() < 128 && c.isDigit());
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// Characters that end an unquoted word.
bool isMeta(QChar c)
{
    switch (c.unicode()) {
    case ' ': case '\t': case '\n': case ';': case '&': case '|': case '(': case ')': case '<': case '>':
        return true;
    default:
        return false;
    }
}

bool isPlain(const Word &w, QStringView text)
{
    return w.text == text && !w.anyQuoted();
}

// Every substitution a parsed list runs, for words whose own text is not a command.
void collectSubstitutions(const CommandList &list, std::vector<CommandList> &out)
{
    for (const Pipeline &p : list.pipelines) {
        for (const SimpleCommand &c : p.commands) {
            for (const Word &w : c.words)
                out.insert(out.end(), w.substitutions.begin(), w.substitutions.end());
            for (const Redirect &r : c.redirects) {
                out.insert(out.end(), r.target.substitutions.begin(), r.target.substitutions.end());
                if (r.hereDoc)
                    out.insert(out.end(), r.hereDoc->substitutions.begin(), r.hereDoc->substitutions.end());
            }
        }
    }
}

QString quoteRemoved(QStringView text)
{
    QString out;
    QChar quote;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!quote.isNull() && c == quote)
            quote = QChar();
        else if (quote.isNull() && (c == u'\'' || c == u'"'))
            quote = c;
        else if (c == u'\\' && quote != u'\'' && i + 1 < text.size())
            out.append(text[++i]);
        else
            out.append(c);
    }
    return out;
}

class Parser {
public:
    Parser(QStringView text, WorkBudget &work) : m_s(text), m_work(work) {}

    CommandList list(Stop stop, int depth)
    {
        State st;
        int parens = 0;
        while (m_i < m_s.size()) {
            if (!spend(1))
                break;
            const QChar c = m_s[m_i];
            if (stop == Stop::CloseParen && c == u')' && parens == 0) {
                ++m_i;
                break;
            }
            if (stop == Stop::Backtick && c == u'`') {
                ++m_i;
                break;
            }
            switch (c.unicode()) {
            case ' ':
            case '\t':
                ++m_i;
                endWord(st, depth);
                break;
            case '\n':
                endPipeline(st, depth);
                if (m_i == m_skipFrom) {
                    // The here-documents of this line were read already.
                    m_i = m_skipTo;
                    m_skipFrom = m_bodyResume = -1;
                } else {
                    ++m_i;
                }
                break;
            case ';':
                ++m_i;
                endPipeline(st, depth);
                if (st.caseDepth > 0 && peek(0) == u';') {
                    // ";;" or ";;&" ends a case branch; ";&" too.
                    ++m_i;
                    if (peek(0) == u'&')
                        ++m_i;
                    skipCasePattern(st);
                } else if (st.caseDepth > 0 && peek(0) == u'&') {
                    ++m_i;
                    skipCasePattern(st);
                }
                break;
            case '#':
                if (st.inWord) {
                    st.append(c, 'u');
                    ++m_i;
                } else {
                    while (m_i < m_s.size() && m_s[m_i] != u'\n')
                        ++m_i;
                }
                break;
            case '\\':
                if (peek(1) == u'\n') {
                    m_i += 2;
                } else {
                    if (m_i + 1 < m_s.size())
                        st.append(m_s[m_i + 1], 's');
                    else
                        st.inWord = true;
                    m_i += 2;
                }
                break;
            case '\'':
                singleQuoted(st);
                break;
            case '"':
                doubleQuoted(st, depth);
                break;
            case '$':
                dollar(st, depth, 'u');
                break;
            case '`':
                ++m_i;
                substitution(st, Stop::Backtick, depth, 'u');
                break;
            case '|':
                // "||" ends the pipeline; "|" and "|&" continue it.
                if (peek(1) == u'|') {
                    m_i += 2;
                    endPipeline(st, depth);
                } else {
                    m_i += peek(1) == u'&' ? 2 : 1;
                    endCommand(st, depth);
                }
                break;
            case '&':
                if (peek(1) == u'>') {
                    redirect(st, depth);
                } else {
                    const bool background = peek(1) != u'&';
                    m_i += background ? 1 : 2;
                    endCommand(st, depth);
                    // "( ... ) &" and "{ ...; } &": the group closed already.
                    if (background && st.pipeline.commands.empty() && !st.result.pipelines.empty())
                        st.result.pipelines.back().background = true;
                    st.pipeline.background = background;
                    endPipeline(st, depth);
                }
                break;
            case '(':
                openParen(st, depth, parens);
                break;
            case ')':
                ++m_i;
                parens = qMax(0, parens - 1);
                endPipeline(st, depth);
                break;
            case '<':
            case '>':
                if (!st.inWord && peek(1) == u'(') {
                    m_i += 2;
                    substitution(st, Stop::CloseParen, depth, 'u');
                } else {
                    redirect(st, depth);
                }
                break;
            case '=':
                // zsh's =(...) is a process substitution.
                if (!st.inWord && peek(1) == u'(') {
                    m_i += 2;
                    substitution(st, Stop::CloseParen, depth, 'u');
                } else {
                    st.append(c, 'u');
                    ++m_i;
                }
                break;
            case '*':
            case '?':
            case '[':
                st.word.glob = true;
                st.append(c, 'u');
                ++m_i;
                break;
            case '{':
                if (braceExpansionAt(m_i))
                    st.word.expands = true;
                st.append(c, 'u');
                ++m_i;
                break;
            default:
                st.append(c, 'u');
                ++m_i;
                break;
            }
        }
        endPipeline(st, depth);
        return std::move(st.result);
    }

    // A here-document body that the shell expands: "$", "`" and "\" work as
    // inside double quotes, other characters stand for themselves.
    Word expandedBody(int depth)
    {
        State st;
        st.inWord = true;
        while (m_i < m_s.size() && spend(1)) {
            const QChar c = m_s[m_i];
            if (c == u'\\' && m_i + 1 < m_s.size() && QStringView(u"$`\\\n").contains(m_s[m_i + 1])) {
                if (m_s[m_i + 1] != u'\n')
                    st.append(m_s[m_i + 1], 's');
                m_i += 2;
            } else if (!expansion(st, depth, 'd')) {
                st.append(c, 'd');
                ++m_i;
            }
        }
        return std::move(st.word);
    }

private:
    struct State {
        CommandList result;
        Pipeline pipeline;
        SimpleCommand command;
        Word word;
        bool inWord = false;
        QString pendingOp;
        int pendingFd = -1;
        int caseDepth = 0;

        void append(QChar c, char how)
        {
            word.text.append(c);
            word.quoting.append(how);
            inWord = true;
        }
        void append(QStringView text, char how)
        {
            word.text.append(text);
            word.quoting.append(QByteArray(text.size(), how));
            inWord = true;
        }
    };

    // Spends from the judgement's budget; once it is gone every loop ends
    // and the parse stops where it stands (the caller sees the budget spent).
    bool spend(qint64 units) const
    {
        return m_work.spend(units);
    }

    QChar peek(qsizetype ahead) const
    {
        return m_i + ahead < m_s.size() ? m_s[m_i + ahead] : QChar();
    }

    void endWord(State &st, int depth)
    {
        if (!st.inWord)
            return;
        Word word = std::exchange(st.word, {});
        st.inWord = false;
        if (!st.pendingOp.isEmpty()) {
            Redirect r{std::exchange(st.pendingOp, {}), std::exchange(st.pendingFd, -1), std::move(word), std::nullopt};
            if (r.op == u"<<" || r.op == u"<<-")
                r.hereDoc = hereDocument(r.target, r.op == u"<<-", depth);
            st.command.redirects.push_back(std::move(r));
            return;
        }
        if (st.caseDepth > 0 && st.command.words.empty() && isPlain(word, u"esac")) {
            --st.caseDepth;
            return;
        }
        // A word and a command kept cost more than the characters read.
        spend(kWordCost);
        st.command.words.push_back(std::move(word));
        const std::vector<Word> &w = st.command.words;
        if (w.size() == 3 && isPlain(w[0], u"case") && isPlain(w[2], u"in")) {
            endPipeline(st, depth);
            ++st.caseDepth;
            skipCasePattern(st);
        }
    }

    void endCommand(State &st, int depth)
    {
        endWord(st, depth);
        st.pendingOp.clear();
        st.pendingFd = -1;
        if (!st.command.words.empty() || !st.command.redirects.empty()) {
            spend(kCommandCost);
            st.pipeline.commands.push_back(std::move(st.command));
        }
        st.command = {};
    }

    void endPipeline(State &st, int depth)
    {
        endCommand(st, depth);
        if (!st.pipeline.commands.empty())
            st.result.pipelines.push_back(std::move(st.pipeline));
        st.pipeline = {};
    }

    void singleQuoted(State &st)
    {
        st.inWord = true;
        ++m_i;
        while (m_i < m_s.size() && m_s[m_i] != u'\'')
            st.append(m_s[m_i++], 's');
        ++m_i;
    }

    void doubleQuoted(State &st, int depth)
    {
        st.inWord = true;
        ++m_i;
        while (m_i < m_s.size() && m_s[m_i] != u'"') {
            const QChar c = m_s[m_i];
            if (c == u'\\' && m_i + 1 < m_s.size()) {
                const QChar next = m_s[m_i + 1];
                if (next == u'\n') {
                    m_i += 2;
                } else if (QStringView(u"$`\"\\").contains(next)) {
                    st.append(next, 's');
                    m_i += 2;
                } else {
                    st.append(c, 'd');
                    ++m_i;
                }
            } else if (!expansion(st, depth, 'd')) {
                st.append(c, 'd');
                ++m_i;
            }
        }
        ++m_i;
    }

    // At "$" or "`" inside double quotes or a here-document body.
    bool expansion(State &st, int depth, char how)
    {
        if (m_s[m_i] == u'$') {
            dollar(st, depth, how);
            return true;
        }
        if (m_s[m_i] == u'`') {
            ++m_i;
            substitution(st, Stop::Backtick, depth, how);
            return true;
        }
        return false;
    }

    // The index just past the parenthesis or brace that closes the one at
    // open, skipping quoted text; the end of the text when there is none.
    qsizetype closing(qsizetype open, QChar opener, QChar closer) const
    {
        int nesting = 0;
        for (qsizetype j = open; j < m_s.size(); ++j) {
            if (!spend(1))
                return m_s.size();
            const QChar c = m_s[j];
            if (c == u'\\' || c == u'\'' || c == u'"') {
                j = pastQuoted(j);
                if (j < 0)
                    return m_s.size();
            } else if (c == opener) {
                ++nesting;
            } else if (c == closer && --nesting == 0) {
                return j + 1;
            }
        }
        return m_s.size();
    }

    // At a "$": ANSI-C and locale quotes, arithmetic, command substitution, a
    // parameter (kept as written, so "${HOME}" can be recognised), or a plain "$".
    void dollar(State &st, int depth, char how)
    {
        const QChar next = peek(1);
        if (how == 'u' && next == u'\'') {
            m_i += 2;
            const qsizetype start = m_i;
            while (m_i < m_s.size() && m_s[m_i] != u'\'')
                m_i += m_s[m_i] == u'\\' ? 2 : 1;
            st.append(decodeEscapes(m_s.sliced(start, qMin(m_i, m_s.size()) - start)), 's');
            ++m_i;
        } else if (how == 'u' && next == u'"') {
            ++m_i;
            doubleQuoted(st, depth);
        } else if (next == u'(' && peek(2) == u'(') {
            const qsizetype stop = closing(m_i + 1, u'(', u')');
            st.append(m_s.sliced(m_i, stop - m_i), how);
            st.word.expands = true;
            m_i = stop;
        } else if (next == u'(') {
            m_i += 2;
            substitution(st, Stop::CloseParen, depth, how);
        } else if (next == u'{') {
            const qsizetype stop = closing(m_i + 1, u'{', u'}');
            const QStringView inner = m_s.sliced(m_i + 2, qMax<qsizetype>(0, stop - m_i - 3));
            st.append(m_s.sliced(m_i, stop - m_i), how);
            st.word.expands = true;
            if (inner.contains(u"$(") || inner.contains(u'`')) {
                // ${x:-$(cmd)} runs cmd.
                if (depth >= kMaxDepth) {
                    st.word.tooDeep = true;
                } else {
                    Parser sub(inner, m_work);
                    collectSubstitutions(sub.list(Stop::End, depth + 1), st.word.substitutions);
                }
            }
            m_i = stop;
        } else if (isNameStart(next) || (QStringView(u"=~^+").contains(next) && isNameStart(peek(2)))) {
            // $name, and zsh's $=name, $~name, $^name, $+name
            qsizetype end = m_i + 2;
            while (end < m_s.size() && isNameChar(m_s[end]))
                ++end;
            st.append(m_s.sliced(m_i, end - m_i), how);
            st.word.expands = true;
            m_i = end;
        } else if (!next.isNull() && (next.isDigit() || QStringView(u"@*#?$!-").contains(next))) {
            st.append(m_s.sliced(m_i, 2), how);
            st.word.expands = true;
            m_i += 2;
        } else {
            st.append(u'$', how);
            ++m_i;
        }
    }

    void substitution(State &st, Stop stop, int depth, char how)
    {
        st.append(u"$()", how);
        st.word.expands = true;
        if (depth >= kMaxDepth) {
            // Too deep to look at: the rest is skipped as one word.
            st.word.tooDeep = true;
            m_i = m_s.size();
            return;
        }
        st.word.substitutions.push_back(list(stop, depth + 1));
    }

    // An unquoted "{" that starts {a,b} or {1..3}.
    bool braceExpansionAt(qsizetype open) const
    {
        int nesting = 0;
        bool comma = false;
        for (qsizetype j = open; j < m_s.size(); ++j) {
            if (!spend(1))
                return false;
            const QChar c = m_s[j];
            if (isMeta(c) || c == u'\'' || c == u'"')
                return false;
            if (c == u'{') {
                ++nesting;
            } else if (c == u'}') {
                if (--nesting == 0)
                    return comma;
            } else if (nesting == 1 && (c == u',' || (c == u'.' && j + 1 < m_s.size() && m_s[j + 1] == u'.'))) {
                comma = true;
            }
        }
        return false;
    }

    // A "(" : a function definition, an array, a zsh glob qualifier, an
    // arithmetic command or a subshell.
    void openParen(State &st, int depth, int &parens)
    {
        qsizetype j = m_i + 1;
        while (j < m_s.size() && isBlank(m_s[j]))
            ++j;
        const bool emptyParens = j < m_s.size() && m_s[j] == u')';
        const std::vector<Word> &words = st.command.words;
        const bool nameSoFar = st.command.redirects.empty()
                               && ((st.inWord && (words.empty() || (words.size() == 1 && isPlain(words[0], u"function"))))
                                   || (!st.inWord && (words.size() == 1 || (words.size() == 2 && isPlain(words[0], u"function")))));
        if (emptyParens && nameSoFar) {
            endWord(st, depth);
            m_i = j + 1;
            st.command.definesFunction = true;
            endPipeline(st, depth);
            return;
        }
        if (st.inWord) {
            static const QRegularExpression assignment(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*\\+?=$"));
            if (st.word.text.endsWith(u'=') && assignment.match(st.word.text).hasMatch() && !st.word.anyQuoted())
                arrayElements(st, depth);
            else
                globQualifier(st, depth);
            return;
        }
        if (peek(1) == u'(' && words.empty()) {
            // (( arithmetic )) runs no command.
            m_i = closing(m_i, u'(', u')');
            return;
        }
        ++m_i;
        ++parens;
        endPipeline(st, depth);
    }

    // x=(a $(b) c): the elements are words, not a command; what they run is kept.
    void arrayElements(State &st, int depth)
    {
        ++m_i;
        st.append(u"()", 'u');
        if (depth >= kMaxDepth) {
            st.word.tooDeep = true;
            m_i = m_s.size();
            return;
        }
        collectSubstitutions(list(Stop::CloseParen, depth + 1), st.word.substitutions);
    }

    // zsh glob qualifiers after a pattern: (e:code:) and (+function) run code.
    void globQualifier(State &st, int depth)
    {
        const qsizetype stop = closing(m_i, u'(', u')');
        const QString inner = m_s.sliced(m_i + 1, qMax<qsizetype>(0, stop - m_i - 2)).toString();
        st.append(m_s.sliced(m_i, stop - m_i), 'u');
        st.word.glob = true;
        st.word.expands = true;
        m_i = stop;
        static const QRegularExpression code(
            QStringLiteral("^[/.@=p*%rwxAIERWXsStfdlUGugamcL^\\-MTNDnoOYP0-9\\[\\],]*(?:e([^A-Za-z0-9\\s])(.*?)\\1|\\+([A-Za-z_][\\w:]*))"));
        const QRegularExpressionMatch m = code.match(inner);
        if (!m.hasMatch())
            return;
        if (depth >= kMaxDepth) {
            st.word.tooDeep = true;
            return;
        }
        // The qualifier's quotes only protect the code from the lexer.
        const QString text = quoteRemoved(m.capturedLength(2) > 0 ? m.captured(2) : m.captured(3));
        Parser sub(text, m_work);
        st.word.substitutions.push_back(sub.list(Stop::End, depth + 1));
    }

    // A redirection operator, with the file-descriptor number before it (a
    // word of digits only) taken as its descriptor.
    void redirect(State &st, int depth)
    {
        bool digits = st.inWord && st.pendingOp.isEmpty() && st.word.substitutions.empty() && !st.word.text.isEmpty();
        for (const QChar c : std::as_const(st.word.text))
            digits = digits && c.isDigit();
        int fd = -1;
        if (digits) {
            fd = st.word.text.toInt();
            st.word = {};
            st.inWord = false;
        } else {
            endWord(st, depth);
        }
        QString op;
        while (m_i < m_s.size() && QStringView(u"<>&|-").contains(m_s[m_i]) && op.size() < 3) {
            // "&", "|" and "-" belong to the operator only after its first character.
            if (!op.isEmpty() || m_s[m_i] == u'<' || m_s[m_i] == u'>' || m_s[m_i] == u'&')
                op.append(m_s[m_i++]);
            else
                break;
        }
        st.pendingOp = op;
        st.pendingFd = fd;
    }

    // The line break that ends the current line, past quoted text; -1 when none.
    qsizetype lineEnd(qsizetype from) const
    {
        for (qsizetype j = from; j < m_s.size(); ++j) {
            const qsizetype at = j;
            j = pastQuoted(j);
            if (!spend(1 + qMax<qsizetype>(0, j - at)))
                return -1;
            if (j < 0)
                return -1;
            if (j < m_s.size() && m_s[j] == u'\n')
                return j;
        }
        return -1;
    }

    // Past a backslash escape or quoted text starting at j: the index of its
    // last character, -1 when it does not end; j for any other character.
    qsizetype pastQuoted(qsizetype j) const
    {
        const QChar c = m_s[j];
        if (c == u'\\')
            return j + 1;
        if (c == u'\'')
            return m_s.indexOf(u'\'', j + 1);
        if (c == u'"') {
            for (++j; j < m_s.size() && m_s[j] != u'"'; ++j) {
                if (m_s[j] == u'\\')
                    ++j;
            }
            return j < m_s.size() ? j : -1;
        }
        return j;
    }

    // The body of a here-document starts on the line after its operator (after
    // the previous body when one line has several) and ends at the delimiter.
    Word hereDocument(const Word &delimiter, bool stripTabs, int depth)
    {
        qsizetype start = m_bodyResume;
        if (start < 0) {
            const qsizetype end = lineEnd(m_i);
            if (end < 0)
                return {};
            m_skipFrom = end;
            start = end + 1;
        }
        QString body;
        qsizetype p = start;
        while (p < m_s.size()) {
            qsizetype e = m_s.indexOf(u'\n', p);
            if (e < 0)
                e = m_s.size();
            if (!spend(1 + e - p))
                break;
            QStringView line = m_s.sliced(p, e - p);
            while (stripTabs && line.startsWith(u'\t'))
                line = line.sliced(1);
            p = qMin(e + 1, m_s.size());
            if (line == delimiter.text)
                break;
            body.append(line);
            body.append(u'\n');
        }
        m_bodyResume = m_skipTo = p;
        if (delimiter.anyQuoted())
            return Word{body, QByteArray(body.size(), 's'), {}, false, false, false};
        Parser sub(body, m_work);
        return sub.expandedBody(depth + 1);
    }

    // Past the pattern of a case branch and its ")", or past "esac".
    void skipCasePattern(State &st)
    {
        while (m_i < m_s.size() && spend(1)) {
            const QChar c = m_s[m_i];
            if (isBlank(c) || c == u'\n') {
                ++m_i;
            } else if (c == u'#') {
                while (m_i < m_s.size() && m_s[m_i] != u'\n')
                    ++m_i;
            } else {
                break;
            }
        }
        if (m_s.sliced(m_i).startsWith(u"esac") && (m_i + 4 >= m_s.size() || isMeta(m_s[m_i + 4]))) {
            m_i += 4;
            --st.caseDepth;
            return;
        }
        if (peek(0) == u'(')
            ++m_i;
        int nesting = 0;
        while (m_i < m_s.size() && spend(1)) {
            const QChar c = m_s[m_i];
            if (c == u'\\') {
                m_i += 2;
                continue;
            }
            if (c == u'\'' || c == u'"') {
                const qsizetype end = m_s.indexOf(c, m_i + 1);
                m_i = end < 0 ? m_s.size() : end + 1;
                continue;
            }
            ++m_i;
            if (c == u'(') {
                ++nesting;
            } else if (c == u')') {
                if (nesting-- == 0)
                    return;
            }
        }
    }

    QStringView m_s;
    WorkBudget &m_work;
    qsizetype m_i = 0;
    qsizetype m_skipFrom = -1;   // the line break after which here-document bodies start
    qsizetype m_skipTo = -1;     // where parsing goes on past them
    qsizetype m_bodyResume = -1; // where the next body of the same line starts
};

int hexValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - '0';
    const QChar l = c.toLower();
    if (l >= u'a' && l <= u'f')
        return l.unicode() - 'a' + 10;
    return -1;
}

} // namespace

CommandList parse(const QString &command)
{
    WorkBudget work;
    return parse(command, work);
}

CommandList parse(const QString &command, WorkBudget &work)
{
    return Parser(command, work).list(Stop::End, 0);
}

QString decodeEscapes(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\\' || i + 1 >= text.size()) {
            out.append(c);
            continue;
        }
        const QChar e = text[++i];
        const auto number = [&](int base, int maxDigits) {
            uint value = 0;
            int n = 0;
            while (n < maxDigits && i + 1 < text.size()) {
                const int d = base == 8 ? (text[i + 1] >= u'0' && text[i + 1] <= u'7' ? text[i + 1].unicode() - '0' : -1)
                                        : hexValue(text[i + 1]);
                if (d < 0)
                    break;
                value = value * base + d;
                ++i;
                ++n;
            }
            return std::pair{value, n};
        };
        switch (e.unicode()) {
        case 'a': out.append(QChar(7)); break;
        case 'b': out.append(QChar(8)); break;
        case 'e':
        case 'E': out.append(QChar(27)); break;
        case 'f': out.append(QChar(12)); break;
        case 'n': out.append(u'\n'); break;
        case 'r': out.append(u'\r'); break;
        case 't': out.append(u'\t'); break;
        case 'v': out.append(QChar(11)); break;
        case 'c':
            if (i + 1 < text.size())
                out.append(QChar(text[++i].unicode() & 0x1f));
            break;
        case 'x':
        case 'u':
        case 'U': {
            const auto [value, digits] = number(16, e == u'x' ? 2 : e == u'u' ? 4 : 8);
            if (digits == 0)
                out.append(u'\\').append(e);
            else
                out.append(QString::fromUcs4(reinterpret_cast<const char32_t *>(&value), 1));
            break;
        }
        default:
            if (e >= u'0' && e <= u'7') {
                --i;
                const auto [value, digits] = number(8, 3);
                Q_UNUSED(digits);
                out.append(QChar(value & 0xff));
            } else if (QStringView(u"\\'\"?").contains(e)) {
                out.append(e);
            } else {
                out.append(u'\\').append(e);
            }
            break;
        }
    }
    return out;
}

} // namespace agent::ShellWords
