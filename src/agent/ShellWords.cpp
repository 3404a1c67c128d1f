#include "agent/ShellWords.h"

namespace agent::ShellWords {

namespace {

constexpr int kMaxDepth = 16;

enum class Stop { End, CloseParen, Backtick };

class Parser {
public:
    explicit Parser(QStringView text) : m_s(text) {}

    CommandList list(Stop stop, int depth)
    {
        State st;
        int parens = 0;
        while (m_i < m_s.size()) {
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
                st.endWord();
                break;
            case '\n':
            case ';':
                ++m_i;
                st.endPipeline();
                break;
            case '#':
                if (st.inWord) {
                    st.append(c);
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
                        st.append(m_s[m_i + 1]);
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
                dollar(st, depth);
                break;
            case '`':
                ++m_i;
                substitution(st, Stop::Backtick, depth);
                break;
            case '|':
                // "||" ends the pipeline; "|" and "|&" continue it.
                if (peek(1) == u'|') {
                    m_i += 2;
                    st.endPipeline();
                } else {
                    m_i += peek(1) == u'&' ? 2 : 1;
                    st.endCommand();
                }
                break;
            case '&':
                if (peek(1) == u'>') {
                    redirect(st);
                } else {
                    m_i += peek(1) == u'&' ? 2 : 1;
                    st.endPipeline();
                }
                break;
            case '(':
                ++m_i;
                ++parens;
                st.endPipeline();
                break;
            case ')':
                ++m_i;
                parens = qMax(0, parens - 1);
                st.endPipeline();
                break;
            case '<':
            case '>':
                if (!st.inWord && peek(1) == u'(') {
                    m_i += 2;
                    substitution(st, Stop::CloseParen, depth);
                } else {
                    redirect(st);
                }
                break;
            default:
                st.append(c);
                ++m_i;
                break;
            }
        }
        st.endPipeline();
        return std::move(st.result);
    }

private:
    struct State {
        CommandList result;
        Pipeline pipeline;
        SimpleCommand command;
        Word word;
        bool inWord = false;
        QString pendingRedirect;

        void append(QChar c)
        {
            word.text.append(c);
            inWord = true;
        }
        void endWord()
        {
            if (!inWord)
                return;
            if (!pendingRedirect.isEmpty())
                command.redirects.push_back({std::exchange(pendingRedirect, {}), std::move(word)});
            else
                command.words.push_back(std::move(word));
            word = {};
            inWord = false;
        }
        void endCommand()
        {
            endWord();
            pendingRedirect.clear();
            if (!command.words.empty() || !command.redirects.empty())
                pipeline.commands.push_back(std::move(command));
            command = {};
        }
        void endPipeline()
        {
            endCommand();
            if (!pipeline.commands.empty())
                result.pipelines.push_back(std::move(pipeline));
            pipeline = {};
        }
    };

    QChar peek(qsizetype ahead) const
    {
        return m_i + ahead < m_s.size() ? m_s[m_i + ahead] : QChar();
    }

    void singleQuoted(State &st)
    {
        st.inWord = true;
        ++m_i;
        while (m_i < m_s.size() && m_s[m_i] != u'\'')
            st.word.text.append(m_s[m_i++]);
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
                    continue;
                }
                if (next == u'$' || next == u'`' || next == u'"' || next == u'\\') {
                    st.word.text.append(next);
                    m_i += 2;
                    continue;
                }
                st.word.text.append(c);
                ++m_i;
            } else if (c == u'$') {
                dollar(st, depth);
            } else if (c == u'`') {
                ++m_i;
                substitution(st, Stop::Backtick, depth);
            } else {
                st.word.text.append(c);
                ++m_i;
            }
        }
        ++m_i;
    }

    // At a "$": ANSI-C quotes, arithmetic, command substitution, a braced
    // parameter (kept as written, so "${HOME}" can be recognised), or a plain "$".
    void dollar(State &st, int depth)
    {
        const QChar next = peek(1);
        if (next == u'\'') {
            st.inWord = true;
            m_i += 2;
            while (m_i < m_s.size() && m_s[m_i] != u'\'') {
                if (m_s[m_i] == u'\\' && m_i + 1 < m_s.size())
                    ++m_i;
                st.word.text.append(m_s[m_i++]);
            }
            ++m_i;
        } else if (next == u'(' && peek(2) == u'(') {
            // Arithmetic runs no command: kept as text up to the closing "))".
            const qsizetype end = m_s.indexOf(u"))", m_i + 3);
            const qsizetype stop = end < 0 ? m_s.size() : end + 2;
            st.word.text.append(m_s.sliced(m_i, stop - m_i));
            st.inWord = true;
            m_i = stop;
        } else if (next == u'(') {
            m_i += 2;
            substitution(st, Stop::CloseParen, depth);
        } else if (next == u'{') {
            const qsizetype end = m_s.indexOf(u'}', m_i + 2);
            const qsizetype stop = end < 0 ? m_s.size() : end + 1;
            st.word.text.append(m_s.sliced(m_i, stop - m_i));
            st.inWord = true;
            m_i = stop;
        } else {
            st.append(u'$');
            ++m_i;
        }
    }

    void substitution(State &st, Stop stop, int depth)
    {
        st.inWord = true;
        st.word.text.append(QStringLiteral("$()"));
        if (depth >= kMaxDepth) {
            // Too deep to look at: the rest is skipped as one word.
            st.word.tooDeep = true;
            m_i = m_s.size();
            return;
        }
        st.word.substitutions.push_back(list(stop, depth + 1));
    }

    // A redirection operator, with the file-descriptor number before it (a
    // word of digits only) taken as part of it.
    void redirect(State &st)
    {
        bool digits = st.inWord && st.pendingRedirect.isEmpty() && st.word.substitutions.empty() && !st.word.text.isEmpty();
        for (const QChar c : std::as_const(st.word.text))
            digits = digits && c.isDigit();
        if (digits) {
            st.word = {};
            st.inWord = false;
        } else {
            st.endWord();
        }
        QString op;
        while (m_i < m_s.size() && QStringView(u"<>&|-").contains(m_s[m_i]) && op.size() < 3) {
            // "&" and "-" belong to the operator only after its first character.
            if (!op.isEmpty() || m_s[m_i] == u'<' || m_s[m_i] == u'>' || m_s[m_i] == u'&')
                op.append(m_s[m_i++]);
            else
                break;
        }
        st.pendingRedirect = op;
    }

    QStringView m_s;
    qsizetype m_i = 0;
};

} // namespace

CommandList parse(const QString &command)
{
    return Parser(command).list(Stop::End, 0);
}

} // namespace agent::ShellWords
