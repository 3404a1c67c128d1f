// Prints one figure a line: "name value unit".
#include "agent/files/WorkspaceManager.h"
#include "agent/shell/ShellSandbox.h"
#include "agent/tools/LineDiff.h"
#include "agent/tools/ToolRouter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace agent;

namespace {

// Median of a few runs, in milliseconds.
double medianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void print(const char *name, double value, const char *unit)
{
    std::printf("%s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

QString args(const QJsonObject &o)
{
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

bool put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char **argv)
{
    // Keep the user's settings and login profile out of it.
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/.config")));
    QCoreApplication app(argc, argv);

    QTemporaryDir project;
    const QString root = project.path();
    WorkspaceManager workspace;
    workspace.setWorkspace(root);
    ToolRouter router(&workspace);
    const auto run = [&](const QString &name, const QString &arguments) {
        const ToolExecutionResult r = QCoro::waitFor(router.execute(name, arguments));
        if (r.isError)
            std::fprintf(stderr, "%s failed: %s\n", qPrintable(name), qPrintable(r.output.left(200)));
    };

    QDir().mkpath(root + QStringLiteral("/many"));
    for (int i = 0; i < 10000; ++i)
        put(root + QStringLiteral("/many/file-%1.txt").arg(i, 5, 10, QLatin1Char('0')), QByteArray::number(i));
    print("tools.list_dir_10000_entries", medianMs(5, [&] { run(QStringLiteral("list_dir"), args({{"path", "many"}})); }), "ms");

    QByteArray text;
    while (text.size() < 400000)
        text.append("let value = compute(item, index) // a line of source text\n");
    text.truncate(400000);
    put(root + QStringLiteral("/read.txt"), text);
    print("tools.read_file_400KB", medianMs(9, [&] { run(QStringLiteral("read_file"), args({{"path", "read.txt"}})); }), "ms");

    QByteArray big;
    while (big.size() < 5 * 1024 * 1024)
        big.append("fn step(x: i32) -> i32 { x + 1 } // filler line of a large file\n");
    big.append("MARKER_A\n");
    put(root + QStringLiteral("/big.rs"), big);
    bool flip = false;
    print("tools.str_replace_5MB", medianMs(7, [&] {
        const char *from = flip ? "MARKER_B" : "MARKER_A";
        const char *to = flip ? "MARKER_A" : "MARKER_B";
        flip = !flip;
        run(QStringLiteral("str_replace"), args({{"path", "big.rs"}, {"old_string", from}, {"new_string", to}}));
    }), "ms");

    // Text in another script takes the character-by-character search.
    QByteArray cyrillic;
    while (cyrillic.size() < 5 * 1024 * 1024)
        cyrillic.append("\xd0\xbf\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82 \xd0\xbc\xd0\xb8\xd1\x80 // a line of text\n");
    cyrillic.append("MARKER_A\n");
    put(root + QStringLiteral("/big.txt"), cyrillic);
    flip = false;
    print("tools.str_replace_5MB_cyrillic", medianMs(5, [&] {
        const char *from = flip ? "MARKER_B" : "MARKER_A";
        const char *to = flip ? "MARKER_A" : "MARKER_B";
        flip = !flip;
        run(QStringLiteral("str_replace"), args({{"path", "big.txt"}, {"old_string", from}, {"new_string", to}}));
    }), "ms");

    QStringList oldLines, newLines;
    for (int i = 0; i < 2000; ++i) {
        oldLines.append(QStringLiteral("line %1 of the old file").arg(i));
        newLines.append(i % 10 == 3 ? QStringLiteral("changed line %1").arg(i) : oldLines.last());
    }
    print("tools.line_diff_2000_lines", medianMs(5, [&] { (void)LineDiff::lineDiff(oldLines, newLines); }), "ms");

    // A short command through the tool, in the sandbox and without it: the
    // sandbox's own cost is the difference. The first call of each tries the
    // sandbox and is left out.
    const auto shellTrue = [&](const QString &sandbox) {
        router.setSandboxProgram(sandbox);
        run(QStringLiteral("run_shell"), args({{"command", "true"}}));
        return medianMs(15, [&] { run(QStringLiteral("run_shell"), args({{"command", "true"}})); });
    };
    const QString bubblewrap = ShellSandbox::findProgram();
    if (bubblewrap.isEmpty() || !QCoro::waitFor(ShellSandbox::probe(bubblewrap)))
        std::fprintf(stderr, "bubblewrap cannot make a sandbox here: the sandboxed figure is the unisolated one\n");
    print("tools.shell_true_sandboxed", shellTrue(bubblewrap), "ms");
    print("tools.shell_true_unsandboxed", shellTrue(QString()), "ms");
    return 0;
}
