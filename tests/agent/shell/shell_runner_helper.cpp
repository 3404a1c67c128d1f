// Runs one command through ShellRunner as the app would, and prints its result:
//   shell_runner_helper SANDBOX_PROGRAM|- WORKING_DIRECTORY COMMAND
// Tests start it and kill it while the command runs, to see that nothing of
// the command outlives the process that ran it.
#include "agent/shell/ShellRunner.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    agent::ShellRunner runner;
    QObject::connect(&runner, &agent::ShellRunner::finished, &app, [&] {
        std::fputs(runner.result().output.toLocal8Bit().constData(), stdout);
        app.quit();
    });
    runner.start(args[3], args[2], 600, args[1] == u"-" ? QString() : args[1]);
    return runner.isFinished() ? 1 : app.exec();
}
