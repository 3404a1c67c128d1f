#include "agent/CommandWordCheck.h"

#include "agent/ShellWords.h"

#include <QDir>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace agent::CommandWordCheck {

namespace {

using namespace ShellWords;

constexpr int kMaxDepth = 8; // command strings run by sh -c, eval, find -exec ...

// A command as it runs: its name (the last path component) and arguments,
// after the wrappers in front of it.
struct Invocation {
    QString name;
    std::vector<const Word *> args;

    QStringList texts() const
    {
        QStringList out;
        for (const Word *w : args)
            out.append(w->text);
        return out;
    }
};

bool isAssignment(const QString &word)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*(\\[[^]]*\\])?\\+?="));
    return re.match(word).hasMatch();
}

QString baseName(const QString &word)
{
    return word.mid(word.lastIndexOf(u'/') + 1);
}

// Options of a wrapper that take the next word as their value.
struct Wrapper {
    const char16_t *name;
    const char16_t *valueOptions; // space-separated
    int operandsBefore = 0;       // words before the command (timeout's duration)
};

constexpr Wrapper kWrappers[] = {
    {u"sudo", u"-u -g -C -D -h -p -r -t -U -T --user --group --chdir --host --prompt --role --type --other-user --close-from --command-timeout"},
    {u"doas", u"-u -C"},
    {u"command", u""},
    {u"builtin", u""},
    {u"exec", u"-a"},
    {u"nohup", u""},
    {u"setsid", u""},
    {u"time", u"-f -o --format --output"},
    {u"nice", u"-n --adjustment"},
    {u"ionice", u"-c -n -p -P -u --class --classdata"},
    {u"stdbuf", u"-i -o -e --input --output --error"},
    {u"timeout", u"-s -k --signal --kill-after", 1},
    {u"xargs", u"-a -d -E -e -I -i -L -l -n -P -s --arg-file --delimiter --max-args --max-procs --max-chars --replace"},
    {u"env", u"-u -C --unset --chdir"},
};

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
    const QStringList values = QString::fromUtf16(w.valueOptions).split(u' ', Qt::SkipEmptyParts);
    return values.contains(option);
}

const QStringList &reservedWords()
{
    static const QStringList words{QStringLiteral("if"),    QStringLiteral("then"), QStringLiteral("else"),
                                   QStringLiteral("elif"),  QStringLiteral("do"),   QStringLiteral("while"),
                                   QStringLiteral("until"), QStringLiteral("!"),    QStringLiteral("{"),
                                   QStringLiteral("}"),     QStringLiteral("fi"),   QStringLiteral("done")};
    return words;
}

// Short option letters and long options of the arguments before "--".
struct Flags {
    QString shortLetters;
    QStringList longOptions;
    QStringList operands;

    bool has(QChar letter, QStringView longName = {}) const
    {
        if (shortLetters.contains(letter))
            return true;
        if (longName.isEmpty())
            return false;
        for (const QString &o : longOptions) {
            if (o == longName || o.startsWith(longName.toString() + u'='))
                return true;
        }
        return false;
    }
};

Flags flagsOf(const QStringList &args)
{
    Flags f;
    bool options = true;
    for (const QString &a : args) {
        if (options && a == u"--") {
            options = false;
        } else if (options && a.startsWith(u"--")) {
            f.longOptions.append(a);
        } else if (options && a.size() > 1 && a.startsWith(u'-')) {
            f.shortLetters.append(a.mid(1));
        } else {
            f.operands.append(a);
        }
    }
    return f;
}

class Checker {
public:
    std::optional<QString> destructive;
    bool killsOthers = false;

    void list(const CommandList &commands, int depth)
    {
        for (const Pipeline &p : commands.pipelines)
            pipeline(p, depth);
    }

    void commandText(const QString &text, int depth)
    {
        if (depth < kMaxDepth)
            list(parse(text), depth + 1);
        else
            tooDeep();
    }

private:
    QString m_home = QDir::homePath();

    void flag(const QString &reason)
    {
        if (!destructive)
            destructive = reason;
    }

    // What cannot be looked at is asked about.
    void tooDeep()
    {
        flag(QStringLiteral("Command nested too deeply to check"));
    }

    void pipeline(const Pipeline &p, int depth)
    {
        bool downloadBefore = false;
        for (const SimpleCommand &c : p.commands) {
            for (const Word &w : c.words)
                nested(w, depth);
            for (const Redirect &r : c.redirects)
                nested(r.target, depth);
            const std::optional<Invocation> inv = invocation(c.words, depth);
            redirects(c);
            if (!inv)
                continue;
            check(*inv, depth);
            if (isInterpreter(inv->name)) {
                if ((downloadBefore && readsProgramFromStdin(*inv)) || fedByDownload(*inv, c))
                    flag(QStringLiteral("Remote script run by an interpreter (curl | interpreter)"));
            }
            downloadBefore = downloadBefore || isDownload(inv->name);
        }
    }

    void nested(const Word &w, int depth)
    {
        if (w.tooDeep)
            tooDeep();
        for (const CommandList &sub : w.substitutions)
            list(sub, depth);
    }

    // The command the words run, looking through wrappers and assignments.
    std::optional<Invocation> invocation(const std::vector<Word> &words, int depth)
    {
        std::size_t i = 0;
        while (i < words.size()) {
            const QString &text = words[i].text;
            if (reservedWords().contains(text) || isAssignment(text)) {
                ++i;
                continue;
            }
            const QString name = baseName(text).toLower();
            const Wrapper *wrapper = wrapperNamed(name);
            if (!wrapper)
                break;
            ++i;
            // "command -v x" only looks x up.
            int operands = wrapper->operandsBefore;
            while (i < words.size()) {
                const QString &option = words[i].text;
                if (option == u"--") {
                    ++i;
                    break;
                }
                if (name == u"env" && isAssignment(option)) {
                    ++i;
                    continue;
                }
                if (name == u"env" && (option == u"-S" || option.startsWith(u"--split-string"))) {
                    // env -S splits its string into the command line it runs.
                    QStringList rest;
                    const bool attached = option.contains(u'=');
                    for (std::size_t j = i + (attached ? 0 : 1); j < words.size(); ++j)
                        rest.append(j == i ? option.mid(option.indexOf(u'=') + 1) : words[j].text);
                    commandText(rest.join(u' '), depth);
                    return std::nullopt;
                }
                if (!option.startsWith(u'-') || option == u"-") {
                    if (operands == 0)
                        break;
                    --operands;
                    ++i;
                    continue;
                }
                if (name == u"command" && (option == u"-v" || option == u"-V"))
                    return std::nullopt;
                i += takesValue(*wrapper, option) ? 2 : 1;
            }
        }
        if (i >= words.size())
            return std::nullopt;
        Invocation inv{baseName(words[i].text).toLower(), {}};
        for (std::size_t j = i + 1; j < words.size(); ++j)
            inv.args.push_back(&words[j]);
        return inv;
    }

    void check(const Invocation &inv, int depth)
    {
        const QStringList args = inv.texts();
        const Flags flags = flagsOf(args);
        const QString &name = inv.name;

        for (const QString &a : args)
            credential(a);

        if (name == u"rm") {
            const bool recursive = flags.has(u'r', u"--recursive") || flags.has(u'R');
            if (recursive && flags.has(u'f', u"--force"))
                flag(QStringLiteral("Recursive force delete (rm)"));
            else if (recursive && std::any_of(flags.operands.cbegin(), flags.operands.cend(), [this](const QString &o) { return isTopFolder(o); }))
                flag(QStringLiteral("Recursive delete of home or root (rm)"));
        } else if (name == u"find") {
            findCommand(args, depth);
        } else if (name == u"dd") {
            for (const QString &a : args) {
                if (a.startsWith(u"of=") && isDevice(a.mid(3)))
                    flag(QStringLiteral("Raw disk write (dd)"));
            }
        } else if (name == u"tee") {
            if (std::any_of(flags.operands.cbegin(), flags.operands.cend(), isDevice))
                flag(QStringLiteral("Raw disk write (tee)"));
        } else if (name == u"shred") {
            flag(QStringLiteral("Irrecoverable erase (shred)"));
        } else if (name == u"chmod") {
            const bool recursive = flags.has(u'R', u"--recursive");
            if (recursive && std::any_of(args.cbegin(), args.cend(), grantsWorldWrite))
                flag(QStringLiteral("Recursive world-writable chmod"));
        } else if (name == u"chown" || name == u"chgrp") {
            if (flags.has(u'R', u"--recursive"))
                flag(QStringLiteral("Recursive ownership change (%1)").arg(name));
        } else if (name == u"git") {
            gitCommand(args);
        } else if (name == u"poweroff" || name == u"halt") {
            flag(QStringLiteral("System shutdown"));
        } else if (name == u"systemctl" || name == u"loginctl") {
            if (flags.operands.contains(u"poweroff") || flags.operands.contains(u"halt") || flags.operands.contains(u"kexec"))
                flag(QStringLiteral("System shutdown"));
            else if (flags.operands.contains(u"reboot"))
                flag(QStringLiteral("System reboot"));
        } else if (name == u"init" || name == u"telinit") {
            if (!args.isEmpty() && args.first() == u"0")
                flag(QStringLiteral("System shutdown"));
            else if (!args.isEmpty() && args.first() == u"6")
                flag(QStringLiteral("System reboot"));
        } else if (name == u"kill") {
            killCommand(args);
        } else if (name == u"pkill" || name == u"killall") {
            killsOthers = true;
        } else if (name == u"eval") {
            // "eval eval x" is "eval x": no deeper for each one.
            qsizetype first = 0;
            while (first < args.size() && args.at(first) == u"eval")
                ++first;
            commandText(args.mid(first).join(u' '), depth);
        } else if (isShell(name)) {
            // sh -c 'text' runs the text as a command line.
            const qsizetype c = args.indexOf(QStringLiteral("-c"));
            if (c >= 0 && c + 1 < args.size())
                commandText(args.at(c + 1), depth);
        }
    }

    void redirects(const SimpleCommand &c)
    {
        for (const Redirect &r : c.redirects) {
            credential(r.target.text);
            const bool output = r.op.contains(u'>') && r.op != u">&" && r.op != u"<>";
            if (output && isDevice(r.target.text))
                flag(QStringLiteral("Raw disk write (redirect to a device)"));
        }
    }

    void findCommand(const QStringList &args, int depth)
    {
        for (qsizetype i = 0; i < args.size(); ++i) {
            const QString &a = args.at(i);
            if (a == u"-delete")
                flag(QStringLiteral("Recursive delete (find -delete)"));
            if (a == u"-exec" || a == u"-execdir" || a == u"-ok" || a == u"-okdir") {
                QStringList run;
                for (++i; i < args.size() && args.at(i) != u";" && args.at(i) != u"+"; ++i)
                    run.append(quoted(args.at(i)));
                commandText(run.join(u' '), depth);
            }
        }
    }

    void gitCommand(const QStringList &args)
    {
        static const QStringList valueOptions{QStringLiteral("-C"), QStringLiteral("-c"), QStringLiteral("--git-dir"),
                                              QStringLiteral("--work-tree"), QStringLiteral("--namespace"),
                                              QStringLiteral("--config-env"), QStringLiteral("--super-prefix")};
        qsizetype i = 0;
        while (i < args.size() && args.at(i).startsWith(u'-'))
            i += valueOptions.contains(args.at(i)) ? 2 : 1;
        if (i >= args.size())
            return;
        const QString sub = args.at(i);
        const Flags f = flagsOf(args.mid(i + 1));
        if (sub == u"push") {
            const bool plusRef = std::any_of(f.operands.cbegin(), f.operands.cend(), [](const QString &o) { return o.startsWith(u'+'); });
            if (f.has(u'f', u"--force") || f.has(QChar(), u"--force-with-lease") || f.has(QChar(), u"--force-if-includes")
                || f.has(QChar(), u"--mirror") || plusRef)
                flag(QStringLiteral("Force push (git push)"));
        } else if (sub == u"reset") {
            if (f.has(QChar(), u"--hard"))
                flag(QStringLiteral("Hard reset (git reset --hard)"));
        } else if (sub == u"clean") {
            if (f.has(u'f', u"--force") && !f.has(u'n', u"--dry-run"))
                flag(QStringLiteral("Forced clean (git clean)"));
        }
    }

    void killCommand(const QStringList &args)
    {
        qsizetype i = 0;
        if (!args.isEmpty()) {
            const QString &first = args.first();
            if (first == u"-l" || first == u"-L" || first == u"--list")
                return;
            if (first == u"-s" || first == u"-n" || first == u"--signal")
                i = 2;
            else if (first != u"--" && first.startsWith(u'-'))
                i = 1; // a signal: -9, -KILL, -SIGTERM
        }
        static const QRegularExpression negative(QStringLiteral("^-[0-9]+$"));
        for (; i < args.size(); ++i) {
            if (args.at(i) != u"--" && negative.match(args.at(i)).hasMatch())
                killsOthers = true;
        }
    }

    // The word with a leading "~", "$HOME" or "${HOME}" written as the home folder.
    QString expandedHome(const QString &word) const
    {
        for (const char *prefix : {"~", "$HOME", "${HOME}"}) {
            const QString p = QLatin1String(prefix);
            if (word == p || word.startsWith(p + u'/'))
                return m_home + word.mid(p.size());
        }
        return word;
    }

    bool isTopFolder(const QString &word) const
    {
        QString path = expandedHome(word);
        if (path.endsWith(QLatin1String("/*")))
            path.chop(2);
        while (path.size() > 1 && (path.endsWith(u'/') || path.endsWith(QLatin1String("/."))))
            path.chop(path.endsWith(u'/') ? 1 : 2);
        return path.isEmpty() || path == u"/" || path == m_home || path == u"..";
    }

    void credential(const QString &word)
    {
        const QString path = expandedHome(word);
        const QString ssh = m_home + QStringLiteral("/.ssh");
        const bool sshFolder = path == ssh || path == ssh + u'/' || path.startsWith(ssh + u'/');
        const QString rest = sshFolder ? path.mid(ssh.size() + 1) : QString();
        const bool publicPart = rest.endsWith(QLatin1String(".pub")) || rest.startsWith(QLatin1String("known_hosts")) || rest == u"config";
        const bool keyAnywhere = (path.contains(QLatin1String("/.ssh/id_")) || path.startsWith(QLatin1String(".ssh/id_")))
                                 && !path.endsWith(QLatin1String(".pub"));
        if ((sshFolder && !publicPart) || keyAnywhere) {
            flag(QStringLiteral("Credential file access (~/.ssh)"));
            return;
        }
        static const QLatin1String appFiles[] = {QLatin1String("moonshelf_session.json"), QLatin1String(".qirv/auth.json"),
                                                 QLatin1String(".qirv/api_key"), QLatin1String("ovu/api_key"),
                                                 QLatin1String("qirv/api_key")};
        const QString qirv = m_home + QStringLiteral("/.qirv");
        const bool appFolder = path == qirv || path == qirv + u'/' || path == qirv + QStringLiteral("/*");
        if (appFolder || std::any_of(std::begin(appFiles), std::end(appFiles), [&](QLatin1String f) { return path.contains(f); }))
            flag(QStringLiteral("Credential file access (app sign-in)"));
    }

    static QString quoted(const QString &word)
    {
        QString out = word;
        out.replace(u'\'', QStringLiteral("'\\''"));
        return u'\'' + out + u'\'';
    }

    static bool isDevice(const QString &path)
    {
        static const QRegularExpression harmless(
            QStringLiteral("^/dev/(null|zero|full|u?random|stdin|stdout|stderr|tty[0-9]*|ptmx|fd/.*|pts/.*|shm/.*)$"));
        return path.startsWith(QLatin1String("/dev/")) && !harmless.match(path).hasMatch();
    }

    // A mode that gives others write access: octal with the others' write
    // bit, or a symbolic clause for o or a that adds or sets w.
    static bool grantsWorldWrite(const QString &mode)
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

    static bool isDownload(const QString &name)
    {
        return name == u"curl" || name == u"wget" || name == u"wget2";
    }

    static bool isShell(const QString &name)
    {
        static const QStringList shells{QStringLiteral("sh"),   QStringLiteral("bash"), QStringLiteral("zsh"),
                                        QStringLiteral("dash"), QStringLiteral("ksh"),  QStringLiteral("mksh"),
                                        QStringLiteral("fish"), QStringLiteral("csh"),  QStringLiteral("tcsh"),
                                        QStringLiteral("busybox")};
        return shells.contains(name);
    }

    static bool isInterpreter(const QString &name)
    {
        static const QRegularExpression others(QStringLiteral(
            "^(python[0-9.]*|pypy[0-9.]*|perl[0-9.]*|ruby[0-9.]*|node|nodejs|deno|bun|php[0-9.]*|lua[0-9.]*|luajit|tclsh[0-9.]*|pwsh|osascript|eval|source|\\.)$"));
        return isShell(name) || others.match(name).hasMatch();
    }

    // The interpreter takes its program from standard input: no program
    // option and no script operand, or "-", "/dev/stdin" or a shell's -s.
    static bool readsProgramFromStdin(const Invocation &inv)
    {
        if (inv.name == u"eval" || inv.name == u"source" || inv.name == u".")
            return false;
        static const QStringList programOptions{QStringLiteral("-c"), QStringLiteral("-m"), QStringLiteral("-e"),
                                                QStringLiteral("-E"), QStringLiteral("-r"), QStringLiteral("-p"),
                                                QStringLiteral("--eval"), QStringLiteral("--print"), QStringLiteral("--command")};
        const QStringList args = inv.texts();
        if (isShell(inv.name)) {
            const Flags f = flagsOf(args);
            if (f.has(u's'))
                return true;
        }
        for (const QString &a : args) {
            if (a == u"-" || a == u"/dev/stdin")
                return true;
            if (programOptions.contains(a))
                return false;
            if (!a.startsWith(u'-'))
                return false; // a script file
        }
        return true;
    }

    static bool downloads(const CommandList &commands)
    {
        for (const Pipeline &p : commands.pipelines) {
            for (const SimpleCommand &c : p.commands) {
                for (const Word &w : c.words) {
                    if (isDownload(baseName(w.text).toLower()))
                        return true;
                    for (const CommandList &sub : w.substitutions) {
                        if (downloads(sub))
                            return true;
                    }
                }
            }
        }
        return false;
    }

    // A download substituted into the interpreter's words, or fed to its
    // input by a redirection.
    static bool fedByDownload(const Invocation &inv, const SimpleCommand &c)
    {
        for (const Word *w : inv.args) {
            for (const CommandList &sub : w->substitutions) {
                if (downloads(sub))
                    return true;
            }
        }
        for (const Redirect &r : c.redirects) {
            if (!r.op.startsWith(u'<'))
                continue;
            for (const CommandList &sub : r.target.substitutions) {
                if (downloads(sub))
                    return true;
            }
        }
        return false;
    }
};

Checker checked(const QString &command)
{
    Checker checker;
    checker.list(parse(command), 0);
    return checker;
}

} // namespace

std::optional<QString> destructiveReason(const QString &command)
{
    return checked(command).destructive;
}

bool killsOtherProcesses(const QString &command)
{
    return checked(command).killsOthers;
}

} // namespace agent::CommandWordCheck
