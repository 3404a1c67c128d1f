// Prints one figure a line: "name value unit". Each figure is the slowest
// single judgement of a hostile command line of 1, 4 or 64 KB, measured on
// its first (cold) run; the reference line is an everyday command. Commands
// are only classified, never run.
#include "agent/guard/ShellGuard.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <functional>
#include <vector>

using namespace agent;

namespace {

struct Input {
    const char *name;
    QString command;
};

// Repeats a piece, numbering it, until the text reaches about size characters.
QString grown(qsizetype size, const std::function<QString(int)> &piece, const QString &head = {}, const QString &tail = {})
{
    QString out = head;
    for (int i = 1; out.size() + tail.size() < size; ++i)
        out += piece(i);
    return out + tail;
}

std::vector<Input> inputs(qsizetype size)
{
    const auto n = [](int i) { return QString::number(i); };
    std::vector<Input> out;
    out.push_back({"doubling_chain", grown(size, [&](int i) { return QStringLiteral("x%1=$x%2$x%2; ").arg(n(i), n(i - 1)); },
                                           QStringLiteral("x0=ab; "), QStringLiteral("echo $x1"))});
    out.push_back({"doubling_chain_quoted", grown(size, [&](int i) { return QStringLiteral("x%1=\"${x%2}${x%2}${x%2}\"\n").arg(n(i), n(i - 1)); },
                                                  QStringLiteral("x0='rm -r -f a;'\n"), QStringLiteral("eval \"$x1\""))});
    out.push_back({"doubling_eval", grown(size, [&](int i) { return QStringLiteral("x%1=\"$x%2 $x%2\"; eval echo $x%1; ").arg(n(i), n(i - 1)); },
                                          QStringLiteral("x0=a; "))});
    out.push_back({"loop_alternatives", grown(size, [&](int i) { return QStringLiteral("for v%1 in a b c d e f g h i j k l m n o p; do ").arg(n(i)); },
                                              {}, QStringLiteral("echo $v1$v2$v3$v4$v5$v6$v7$v8$v9$v10$v11$v12"))});
    out.push_back({"nested_shells", grown(size, [](int) { return QStringLiteral("sh -c \"eval 'bash -c \\\"x=\\$y\\$y; y=\\$x\\$x\\\"'\"; "); })});
    out.push_back({"nested_substitutions", grown(size, [](int) { return QStringLiteral("$(echo $(cat $(printf %s $(echo x)))) "); },
                                                 QStringLiteral("echo "))});
    out.push_back({"long_pipeline", grown(size, [](int) { return QStringLiteral("cat | tr a b | "); }, {}, QStringLiteral("sh"))});
    out.push_back({"many_words", grown(size, [&](int i) { return QStringLiteral("a%1 ").arg(n(i)); }, QStringLiteral("rm -r "))});
    out.push_back({"sed_script", grown(size, [](int) { return QStringLiteral("s"); }, QStringLiteral("sed '"), QStringLiteral("'"))});
    out.push_back({"inline_program", grown(size, [](int) { return QStringLiteral("os.system(os.path.join("); },
                                           QStringLiteral("python3 -c '"), QStringLiteral("'"))});
    out.push_back({"printf_format", grown(size, [](int) { return QStringLiteral("%s%s"); }, QStringLiteral("x=$(printf '"),
                                          QStringLiteral("' a b c d e f g h); y=$x$x; z=$y$y; echo $z$z"))});
    out.push_back({"here_documents", grown(size, [&](int i) { return QStringLiteral("cat <<E%1 | sh\nrm -r x\nE%1\n").arg(n(i)); })});
    out.push_back({"quotes_and_escapes", grown(size, [](int) { return QStringLiteral("\"'\\\"$'\\x41'`echo \\`x\\``\" "); }, QStringLiteral("echo "))});
    out.push_back({"xargs_parallel", grown(size, [](int) { return QStringLiteral("a "); }, QStringLiteral("parallel sh -c {} ::: "))});
    out.push_back({"inline_program_calls", grown(size, [](int) { return QStringLiteral("getattr(os, x"); },
                                                 QStringLiteral("python3 -c 'import os; "), QStringLiteral("'"))});
    out.push_back({"short_commands", grown(size, [](int) { return QStringLiteral("a;"); })});
    out.push_back({"short_pipes", grown(size, [](int) { return QStringLiteral("a|"); }, {}, QStringLiteral("a"))});
    out.push_back({"looped_commands", grown(size, [](int) { return QStringLiteral("rm $v;"); },
                                            QStringLiteral("for v in a b c d e f g h i j k l m n o p; do "), QStringLiteral(" done"))});
    out.push_back({"substituted_words", grown(size, [](int) { return QStringLiteral("$(a) "); }, QStringLiteral("rm "))});
    // Shapes whose reading once grew faster than their length: nested and
    // unclosed brace lists, runs of stars in a path, glob qualifiers, words.
    const auto half = [&](const QString &open, const QString &close) {
        return QStringLiteral("echo ") + open.repeated(size / (2 * open.size())) + close.repeated(size / (2 * qMax<qsizetype>(1, close.size())));
    };
    out.push_back({"open_braces", grown(size, [](int) { return QStringLiteral("{"); }, QStringLiteral("echo "))});
    out.push_back({"nested_brace_lists", grown(size, [](int) { return QStringLiteral("{a,"); }, QStringLiteral("echo "))});
    out.push_back({"closed_brace_lists", half(QStringLiteral("{a,"), QStringLiteral("}"))});
    out.push_back({"deep_braces", half(QStringLiteral("{"), QStringLiteral("}"))});
    out.push_back({"nested_parameters", half(QStringLiteral("${x:-"), QStringLiteral("}"))});
    out.push_back({"adjacent_stars", grown(size, [](int) { return QStringLiteral("*"); }, QStringLiteral("cat ~/"))});
    out.push_back({"star_classes", grown(size, [](int) { return QStringLiteral("*[a-z]"); }, QStringLiteral("rm -r ~/."))});
    out.push_back({"glob_qualifiers", grown(size, [](int) { return QStringLiteral("(x)"); }, QStringLiteral("ls *"))});
    out.push_back({"code_qualifiers", grown(size, [](int) { return QStringLiteral("(e:x:)"); }, QStringLiteral("ls *"))});
    out.push_back({"short_words", grown(size, [](int) { return QStringLiteral("a "); }, QStringLiteral("rm "))});
    out.push_back({"loop_words", grown(size, [](int) { return QStringLiteral("a "); }, QStringLiteral("for v in "), QStringLiteral("; do rm $v; done"))});
    out.push_back({"editor_commands", grown(size, [](int) { return QStringLiteral("-c 'set nu' "); }, QStringLiteral("vim "))});
    out.push_back({"backticks", grown(size, [](int) { return QStringLiteral("`"); }, QStringLiteral("echo "))});
    out.push_back({"unquoted_here_document", grown(size, [](int) { return QStringLiteral("line $x `y` text\n"); },
                                                   QStringLiteral("cat > out.txt <<EOF\n"), QStringLiteral("EOF\n"))});
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const auto timed = [](const QString &command) {
        QElapsedTimer t;
        t.start();
        (void)ShellGuard::judge(command); // one reading per tool call, as the app does
        return double(t.nsecsElapsed()) / 1e6;
    };
    std::printf("guard.reference_everyday_command %.3f ms\n", timed(QStringLiteral("git status && make -j8 && ctest --output-on-failure")));
    // Every command up to 64 KB is judged within the work budget.
    for (const qsizetype size : {qsizetype(1024), qsizetype(4096), qsizetype(65536)}) {
        double worst = 0;
        for (const Input &in : inputs(size)) {
            const double ms = timed(in.command);
            worst = std::max(worst, ms);
            std::printf("guard.%s_%lld_chars %.3f ms\n", in.name, static_cast<long long>(size), ms);
        }
        std::printf("guard.worst_%lld_chars %.3f ms\n", static_cast<long long>(size), worst);
        std::fflush(stdout);
    }
    return 0;
}
