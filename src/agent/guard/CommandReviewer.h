#pragma once

// The reviewer behind CommandReview: walks a parsed command line the way
// the shell would run it, follows text into the shells and interpreters that
// run it, and hands each command to the rules of its name.

#include "agent/guard/CommandReviewPlaces.h"
#include "agent/guard/CommandReviewPrograms.h"
#include "agent/guard/ShellWords.h"
#include "agent/guard/WorkBudget.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <deque>
#include <optional>
#include <vector>

namespace agent::CommandReview {

using ShellWords::Word;

// Text a command reads or runs, as far as the command line tells before it runs.
struct Text {
    // Ordered by how much a reviewer must distrust it.
    enum class Kind { None, Known, File, Computed, Decoded, Download };
    Kind kind = Kind::None;
    QString text;             // Known: the text; File: the path as written
    bool processList = false; // made from a listing of processes (ps, pgrep ...)
    bool confined = false;    // names only places in the project (find ., mktemp ...)
    bool environment = false; // the environment's variables (env, printenv, set)
    bool endless = false;     // never ends by itself (yes, /dev/zero)

    static Text known(const QString &t) { return {Kind::Known, t, false, false, false}; }
    static Text of(Kind k, bool processList = false) { return {k, {}, processList, false, false}; }
};

// One command as it runs, after assignments and wrappers.
struct Invocation {
    QString name; // lower-cased last path component
    const Word *nameWord = nullptr;
    std::vector<const Word *> args;
    std::vector<const ShellWords::Redirect *> redirects;
    Text input;            // standard input
    bool viaXargs = false; // more arguments come from standard input
    QString replace;       // xargs -I: the string standing for each input line

    QStringList texts() const;
    QString text(std::size_t i) const { return args.at(i)->text; }
};

// What a command line shares from one command to the next.
struct Scope {
    Place cwd;             // the project folder when empty
    QSet<QString> defined; // functions and aliases defined in this text
    int depth = 0;         // texts run inside texts
    // Variables and positional parameters this line sets, as the shell
    // expands them: each value a loop or the arguments may give.
    QHash<QString, QStringList> values;
    QString finder; // find, xargs ...: whose findings "{}" stands for here
    bool background = false; // run as a background job ("cmd &")
    QSet<QString> secrets;   // variables this line filled from a secret ("t=$GITHUB_TOKEN")
};

// Where a shell takes the commands it runs.
struct ShellSource {
    const Word *text = nullptr;   // -c TEXT
    QString attached;             // --command=TEXT
    bool textFromInput = false;   // -c with the text to come (xargs sh -c)
    const Word *script = nullptr; // a script file
    bool fromStdin = false;
    bool runsNothing = false;     // -n: syntax check only
};

class Review {
public:
    // projectRoot: the project's absolute path, when known (Places).
    explicit Review(std::stop_token stop = {}, const QString &projectRoot = {})
        : m_places(projectRoot), m_work(WorkBudget::kDefaultUnits, std::move(stop))
    {
    }

    std::optional<QString> reason;
    bool killsOthers = false;

    // A command line run by a shell.
    void shellText(const QString &text, const Scope &outer);

    // The reason of the row with this id ("%1" filled with name).
    void flagRow(const char *id, const QString &name = {});
    // A reason text written by a row of the table (a wrapper's, a program's
    // effect, a persistence place's).
    void flag(const QString &reason);
    // A row of where a write lands outside the project: its reason is given
    // only when no other row speaks (the place's own class names it better),
    // and a weak one (a write that replaces nothing) gives way to a strong one.
    void flagOutside(const char *id, const QString &place, bool weak = false);
    // The reason to show: a row's, else an outside row's, strong before weak.
    std::optional<QString> finalReason() const;
    // The row the reading leaves out, to show what each row alone catches.
    void leaveOut(const char *id) { m_leftOut = id; }
    bool leftOut(const char *id) const { return m_leftOut && qstrcmp(m_leftOut, id) == 0; }
    void killOthers();
    // Counts the work a judgement takes (characters expanded or parsed,
    // commands judged). Past the bound the command is flagged as too complex
    // and the review stops, so every answer comes in a few milliseconds.
    bool spend(qsizetype characters, int commands = 0);
    // The same for the words of a command judged: each costs its rows' look.
    bool spendOnWords(const std::vector<const Word *> &words);
    WorkBudget &work() { return m_work; }
    // A value the line's expansions made, of this length: past its own
    // bound it is too complex as well.
    bool expanded(qsizetype length);
    // Code run by a shell or an interpreter.
    void run(const Text &code, Language language, Scope &scope);
    // A command given as words by another command (find -exec, fd -x).
    void runWords(const std::vector<const Word *> &words, Scope &scope);
    // The invocation the words make, without judging it (for find -exec rm).
    std::optional<Invocation> quietInvocation(const std::vector<const Word *> &words, const Scope &scope);

    // A word used as text (sh -c, eval, a here-string), with what its
    // substitutions print filled in where known.
    Text textOf(const Word &word, Scope &scope);
    // The program an interpreter option names: a bare "$X" is computed.
    Text programOf(const Word &word, Scope &scope);
    // What a script operand holds: a process substitution's output, a file
    // written earlier on this line, or a file.
    Text scriptOf(const Word &word, Scope &scope);

    // The invocation as it runs with the values this line gave its
    // variables and the known output of its substitutions; one for each
    // value a variable takes.
    std::vector<Invocation> withValues(const Invocation &inv, Scope &scope);
    // The part of a word from a character on (the value of NAME=value).
    static Word valueWord(const Word &w, qsizetype from);
    // NAME=value alone (or after export, local ...): the variable holds the
    // value for the rest of the text.
    void assigned(const std::vector<const Word *> &assignments, Scope &scope);
    // A word's text with a leading unquoted "~" made the home folder.
    QString tildeExpanded(const Word &word, const QString &text) const;
    // Positional parameters of a text a shell runs: $0 and the rest.
    void setPositional(Scope &scope, const QStringList &arguments) const;

    Place place(const Word &word, const Scope &scope) const;
    const Places &places() const { return m_places; }
    Place place(const QString &text, const Scope &scope) const { return m_places.resolve(text, false, scope.cwd); }

    void wrote(const Place &file, const Text &content);
    std::optional<Text> writtenAt(const Place &file) const { return written(file); }
    // A download saved under a name the line does not spell out.
    void downloadedUnnamed();
    bool isPidVariable(const Word &word) const;
    void addPidVariable(const QString &name) { m_pidVariables.insert(name); }
    // Whether the word's substitutions print a process listing.
    bool listsProcesses(const Word &word, Scope &scope);
    // Whether the word's substitutions print the environment.
    bool printsEnvironmentIn(const Word &word, Scope &scope);

    const Word *synthetic(const QString &text);

private:
    struct Resolved {
        std::optional<Invocation> invocation;
        bool computedName = false;
        QStringList escalations;                // sudo, doas, su ...
        bool scheduled = false;                 // systemd-run --on-calendar ...: runs later too
        std::optional<QString> wrapperReason;   // what a wrapper itself does (a detached unit)
        std::vector<const Word *> assignments;  // NAME=value before the command
        std::optional<Place> cwd;               // env -C DIR, sudo -D DIR: where the command runs
    };

    void list(const ShellWords::CommandList &commands, Scope &scope);
    void pipeline(const ShellWords::Pipeline &p, Scope &scope);
    void nested(const Word &w, Scope &scope);
    void redirects(const ShellWords::SimpleCommand &c, const Text &output, Scope &scope);
    Text inputOf(const ShellWords::SimpleCommand &c, const Text &flow, Scope &scope);
    Resolved resolve(const std::vector<const Word *> &words, const Scope &scope);
    Resolved resolve(const ShellWords::SimpleCommand &c, const Scope &scope);
    // uv run, conda run, nix-shell --run ...: moves i to the command they run,
    // or makes the shell that runs their text.
    bool runner(const std::vector<const Word *> &words, std::size_t &i, const QString &name, Resolved &r);
    // What the wrappers before a command split or looked up (env -S, $(which x))
    // add to the command they lead to.
    static Resolved withWrappers(const Resolved &outer, Resolved inner);
    void judgeResolved(Resolved &r, const Text &input, Scope &scope);

    // What a command prints.
    Text yields(const Invocation &inv, Scope &scope);
    Text yieldOf(const ShellWords::CommandList &list, Scope &scope);
    Text flowOf(const ShellWords::Pipeline &p, Scope &scope);

    std::optional<Text> written(const Place &file) const;
    bool tooComplex();

    std::optional<QString> m_outsideReason;
    std::optional<QString> m_weakReason;
    bool m_leftOutSpoke = false; // the row left out would have spoken

    Places m_places;
    QHash<QString, Text> m_written; // files written earlier on this line, by place
    bool m_downloadedUnnamed = false; // a download saved under a name the line does not show
    QSet<QString> m_pidVariables;
    QHash<int, Text> m_descriptors; // what "exec 3< x" opened for reading
    std::deque<Word> m_synthetic;
    int m_flowDepth = 0; // nesting of what-does-it-print questions
    WorkBudget m_work;
    bool m_exhausted = false;
    const char *m_leftOut = nullptr;
};

// Where curl puts what it fetches: standard output, a file (the word at
// index word, or attached to its option), or the remote file's name.
struct CurlOutput {
    enum class To { Stdout, File, RemoteName };
    To to = To::Stdout;
    QString file;
    qsizetype word = -1;
};
CurlOutput curlOutput(const QStringList &args);

// Shells, and where a shell invocation takes its commands from.
bool isShell(const QString &name);
ShellSource shellSource(const Invocation &inv);

// The rules of each command, by name; flags through the review.
void judge(Review &review, const Invocation &inv, Scope &scope);

// How a command writes a place: changes or adds to it, or replaces what it held.
enum class Writes { Changes, Overwrites };
// A place a command writes, judged by where it lies.
void judgeWrite(Review &review, const Place &place, Writes how);
// The places a command writes through its operands: editors, in-place
// filters, tee, copies, moves, links, truncation.
void judgeWriters(Review &review, const Invocation &inv, Scope &scope);

// Short option letters and long options of arguments before "--".
struct Flags {
    QString shortLetters;
    QStringList longOptions;
    QStringList operands;

    bool has(QChar letter, QStringView longName = {}) const;
    bool hasLong(QStringView longName) const { return has(QChar(), longName); }
};
Flags flagsOf(const QStringList &args);

QString baseName(const QString &word);

// A variable name that holds a secret: the app's own key, *_TOKEN,
// *_API_KEY, *PASSWORD, *_SECRET ...
bool isSecretName(const QString &name);

} // namespace agent::CommandReview
