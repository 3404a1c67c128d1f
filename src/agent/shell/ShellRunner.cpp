#include "agent/shell/ShellRunner.h"

#include "agent/shell/AbstractSocketScope.h"
#include "agent/shell/ChildDescriptors.h"
#include "agent/shell/CommandReaper.h"
#include "agent/shell/PrivilegeNote.h"
#include "agent/shell/ShellSandbox.h"
#include "platform/CredentialEnvironment.h"
#include "platform/FolderPlace.h"
#include "platform/Graphemes.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QStringDecoder>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace agent {

namespace {

constexpr double kDefaultTimeout = 120;
constexpr double kMaxTimeout = 24 * 60 * 60;
constexpr qsizetype kOutputCap = 200'000; // characters handed to the model

const QString &truncationMark()
{
    static const QString mark = QStringLiteral("\n…(truncated)");
    return mark;
}

// Lossy on purpose: one bad byte must not blank a whole stream. A leading
// byte order mark is output like any other and stays.
QString decodeStream(const QByteArray &bytes, bool truncated)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (truncated)
        text.append(truncationMark());
    return text;
}

void appendNote(QString &text, const QString &note)
{
    if (!text.endsWith(u'\n'))
        text.append(u'\n');
    text.append(note);
}

} // namespace

double ShellRunner::effectiveTimeout(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0)
        return kDefaultTimeout;
    return std::min(seconds, kMaxTimeout);
}

QString ShellRunner::unisolatedNote()
{
    return QStringLiteral("Note: this command ran without isolation (bubblewrap is missing or cannot make a sandbox "
                          "here), so what it starts may reach the app's processes.");
}

ShellRunner::ShellRunner(Limits limits, QObject *parent) : QObject(parent), m_limits(limits)
{
    m_timeout.setSingleShot(true);
    m_grace.setSingleShot(true);
    m_allGonePoll.setInterval(25);
    connect(&m_allGonePoll, &QTimer::timeout, this, &ShellRunner::checkAllGone);
    connect(&m_timeout, &QTimer::timeout, this, [this] { beginTermination(Ending::TimedOut); });
    connect(&m_grace, &QTimer::timeout, this, &ShellRunner::onGraceOver);
    connect(&m_process, &QProcess::readyReadStandardOutput, this,
            [this] { drain(QProcess::StandardOutput); });
    connect(&m_process, &QProcess::readyReadStandardError, this,
            [this] { drain(QProcess::StandardError); });
    connect(&m_process, &QProcess::finished, this, &ShellRunner::onProcessFinished);
    connect(&m_process, &QProcess::errorOccurred, this, &ShellRunner::onProcessError);
    // A command still running when the app quits would outlive it.
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &ShellRunner::killAll);
}

ShellRunner::~ShellRunner()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.disconnect(this);
    killAll();
    // SIGKILL cannot be ignored; these waits only reap. Without isolation the
    // reaper ends what is left below it and exits by itself.
    if (!m_process.waitForFinished(1000)) {
        ::kill(m_first, SIGKILL);
        m_process.waitForFinished(1000);
    }
    // The kernel empties the sandbox just after its program is gone.
    if (m_sandboxFirstPidfd.isValid()) {
        pollfd p{m_sandboxFirstPidfd.get(), POLLIN, 0};
        ::poll(&p, 1, 1000);
    }
}

void ShellRunner::start(const QString &command, const QString &workingDirectory, double timeoutSeconds,
                        const QString &sandboxProgram)
{
    const platform::UniqueFd folder(::open(QFile::encodeName(workingDirectory).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.isValid()) {
        m_timeoutSeconds = effectiveTimeout(timeoutSeconds);
        finish(ToolExecutionResult::failure(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    start(command, folder.get(), timeoutSeconds, sandboxProgram);
}

void ShellRunner::start(const QString &command, int workingFolder, double timeoutSeconds, const QString &sandboxProgram)
{
    m_timeoutSeconds = effectiveTimeout(timeoutSeconds);
    m_command = command;
    m_isolated = !sandboxProgram.isEmpty();
    // The sandbox program is told the folder by this path, checked to lead
    // to the folder held; nothing of the command runs meanwhile.
    const std::optional<QString> place = platform::placeOfFolder(workingFolder);
    if (!place) {
        finish(ToolExecutionResult::failure(QString::fromLocal8Bit(std::strerror(ENOENT))));
        return;
    }
    m_workingDirectory = *place;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The app's own credentials stay with the app.
    for (const QString &name : platform::CredentialEnvironment::names())
        env.remove(name);
    ShellSandbox::Launch launch;
    platform::UniqueFd infoWrite; // open until the sandbox program has started
    platform::UniqueFd statusRead; // the same, for the reaper without a sandbox
    platform::UniqueFd statusWrite;
    std::shared_ptr<const CommandReaper::Exec> exec;
    // Abstract sockets made outside stay out of reach, where the kernel can
    // do that; the scope passes through the sandbox program to all it starts.
    // Without a sandbox it keeps signals in too: the reaper lies outside.
    const platform::UniqueFd scope = ShellSandbox::socketScopeFor(sandboxProgram, !m_isolated);
    m_scoped = scope.isValid();
    if (m_isolated) {
        // The sandbox program tells the pid of the sandbox's first process
        // here; the descriptor is inherited by it alone.
        int info[2];
        if (::pipe2(info, O_CLOEXEC | O_NONBLOCK) != 0) {
            finish(ToolExecutionResult::failure(QString::fromLocal8Bit(std::strerror(errno))));
            return;
        }
        m_infoRead.reset(info[0]);
        infoWrite.reset(info[1]);
        // The app's secrets, the person's runtime folder and display, and
        // their terminal servers stay outside.
        launch = ShellSandbox::isolated(sandboxProgram, command, m_workingDirectory, infoWrite.get(),
                                        ShellSandbox::hiddenFrom(env));
        env = ShellSandbox::sandboxEnvironment(env);
        // Its own session, so that no signal meant for the app's group
        // reaches it; started in the folder held, and holding nothing of the
        // app's but the information pipe, which the sandbox program closes.
        m_process.setChildProcessModifier([fd = infoWrite.get(), scope = scope.get(), folder = workingFolder] {
            ::setsid();
            if (::fchdir(folder) != 0)
                ::_exit(127);
            ::fcntl(fd, F_SETFD, 0);
            ChildDescriptors::keepOnlyStandard(fd);
            AbstractSocketScope::applyToSelf(scope);
        });
        m_infoNotifier = std::make_unique<QSocketNotifier>(m_infoRead.get(), QSocketNotifier::Read);
        connect(m_infoNotifier.get(), &QSocketNotifier::activated, this, &ShellRunner::readSandboxInfo);
    } else {
        // Marks everything the command starts, wherever it goes, so that it
        // can be found and ended at the time-out or on cancel.
        const QByteArray token = QByteArray::number(QRandomGenerator::system()->generate64(), 16)
                                 + QByteArray::number(QRandomGenerator::system()->generate64(), 16);
        m_sweep.environmentEntry = QByteArray(kTokenVariable) + '=' + token;
        env.insert(QString::fromLatin1(kTokenVariable), QString::fromLatin1(token));
        // The reaper learns the command's status through a pipe of its own.
        int status[2];
        if (::pipe2(status, O_CLOEXEC) != 0) {
            finish(ToolExecutionResult::failure(QString::fromLocal8Bit(std::strerror(errno))));
            return;
        }
        statusRead.reset(status[0]);
        statusWrite.reset(status[1]);
        launch = CommandReaper::launch(statusRead.get());
        const ShellSandbox::Launch shell = ShellSandbox::unisolated(command);
        exec = std::make_shared<const CommandReaper::Exec>(shell.program, shell.arguments, env);
        m_process.setChildProcessModifier([app = ::getpid(), scope = scope.get(), folder = workingFolder,
                                           read = statusRead.get(), write = statusWrite.get(), exec] {
            CommandReaper::startBelow(app, folder, read, write, *exec, scope);
        });
    }
    m_process.setProcessEnvironment(env);
    m_process.setProgram(launch.program);
    m_process.setArguments(launch.arguments);
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.start(QIODevice::ReadOnly);
    infoWrite.reset();
    statusRead.reset();
    statusWrite.reset();
    if (m_finished)
        return; // failed to start; errorOccurred already finished us
    m_first = pid_t(m_process.processId());
    if (!m_isolated) {
        m_sweep.group = m_first;
        m_sweep.session = m_first;
        m_sweep.spare = m_first; // it ends what is below it itself
    }
    m_timeout.start(int(std::llround(m_timeoutSeconds * 1000)));
}

void ShellRunner::readSandboxInfo()
{
    if (!m_infoRead.isValid())
        return;
    constexpr qsizetype kInfoCap = 64 * 1024; // the information is a few lines
    char buffer[512];
    ssize_t n = 0;
    while (m_info.size() < kInfoCap && (n = ::read(m_infoRead.get(), buffer, sizeof buffer)) > 0)
        m_info.append(buffer, n);
    // The command inherits the descriptor too: only the first object, the
    // sandbox program's, is read, and the pipe is closed after it.
    const bool ended = n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR) || m_info.contains('}')
                       || m_info.size() >= kInfoCap;
    if (!ended)
        return;
    m_infoNotifier.reset();
    m_infoRead.reset();
    const std::optional<qint64> pid = ShellSandbox::firstProcess(m_info.left(m_info.indexOf('}') + 1));
    if (!pid)
        return;
    m_sandboxFirst = pid_t(*pid);
    // Pinned at once: the pid cannot be reused while the pidfd is held. One
    // already gone (or no longer in a namespace of its own) has taken its
    // namespace with it.
    platform::UniqueFd pidfd(int(::syscall(SYS_pidfd_open, m_sandboxFirst, 0)));
    const auto ns = ProcessSweep::pidNamespaceOf(m_sandboxFirst);
    if (pidfd.isValid() && ns && ns != ProcessSweep::pidNamespaceOf(::getpid())) {
        m_sweep.pidNamespace = *ns;
        m_sandboxFirstPidfd = std::move(pidfd);
        m_sandboxFirstNotifier = std::make_unique<QSocketNotifier>(m_sandboxFirstPidfd.get(), QSocketNotifier::Read);
        connect(m_sandboxFirstNotifier.get(), &QSocketNotifier::activated, this, &ShellRunner::checkAllGone);
    }
}

bool ShellRunner::sandboxEmptied() const
{
    // Its first process ends only once the kernel has ended every other one.
    if (!m_sandboxFirstPidfd.isValid())
        return true;
    pollfd p{m_sandboxFirstPidfd.get(), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

void ShellRunner::cancel()
{
    beginTermination(Ending::Cancelled);
}

void ShellRunner::drain(QProcess::ProcessChannel channel)
{
    m_process.setReadChannel(channel);
    const QByteArray chunk = m_process.readAll();
    QByteArray &buffer = channel == QProcess::StandardOutput ? m_out : m_err;
    bool &truncated = channel == QProcess::StandardOutput ? m_outTruncated : m_errTruncated;
    // Past the cap the pipe is still drained, so the command never stalls on it.
    const qsizetype room = m_limits.streamCap - buffer.size();
    if (chunk.size() <= room) {
        buffer.append(chunk);
    } else {
        buffer.append(chunk.first(qMax<qsizetype>(room, 0)));
        truncated = true;
    }
}

void ShellRunner::onProcessFinished()
{
    m_processExited = true;
    m_timeout.stop();
    if (m_isolated)
        readSandboxInfo(); // a short command may end before it was read
    if (m_ending == Ending::None) {
        drain(QProcess::StandardOutput);
        drain(QProcess::StandardError);
        // Without isolation the reaper killed what it found below it;
        // anything still marked is ended too.
        if (!m_isolated) {
            m_sweep.spare = 0;
            if (ProcessSweep::anyAlive(m_sweep))
                signalCommand(SIGKILL);
        }
        m_result = normalResult();
    }
    // Done once nothing of the command is left (the rest may take a moment
    // to die and be reaped); the grace timer ends what lingers.
    checkAllGone();
    if (!m_finished) {
        m_allGonePoll.start();
        if (!m_grace.isActive())
            m_grace.start(m_limits.graceMs);
    }
}

void ShellRunner::checkAllGone()
{
    if (m_finished || commandAlive())
        return;
    m_allGonePoll.stop();
    m_grace.stop();
    m_sandboxFirstNotifier.reset();
    finish(m_ending == Ending::None ? m_result : endingResult());
}

void ShellRunner::onProcessError(QProcess::ProcessError error)
{
    if (error != QProcess::FailedToStart || m_finished)
        return;
    m_timeout.stop();
    finish(ToolExecutionResult::failure(m_process.errorString()));
}

bool ShellRunner::commandEnded() const
{
    // Ended but not yet reported: peeked at, left for the process starter to reap.
    siginfo_t info{};
    if (::waitid(P_PID, id_t(m_first), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return errno == ECHILD;
    if (info.si_pid == m_first)
        return true;
    // In the sandbox the command has ended once the sandbox's first process has.
    return m_isolated && m_sandboxFirstPidfd.isValid() && sandboxEmptied();
}

void ShellRunner::beginTermination(Ending ending)
{
    // Once the command has ended, its own result stands: what it did is done.
    if (m_finished || m_ending != Ending::None || m_first <= 0 || m_processExited || commandEnded())
        return;
    m_ending = ending;
    m_timeout.stop();
    if (m_isolated) {
        readSandboxInfo();
        if (!m_sweep.pidNamespace.isValid()) {
            killAll(); // still being set up: nothing ran yet
        } else {
            // The sandbox's first process stays, so the others get their grace.
            m_sweep.spare = m_sandboxFirst;
            signalCommand(SIGTERM);
        }
    } else {
        signalCommand(SIGTERM);
    }
    m_grace.start(m_limits.graceMs);
}

void ShellRunner::onGraceOver()
{
    if (m_killedOnce) {
        // The reaper did not end in time: it goes too.
        m_sweep.spare = 0;
        ::kill(m_first, SIGKILL);
        signalCommand(SIGKILL);
    } else {
        killAll();
        m_killedOnce = true;
        m_grace.start(m_limits.graceMs);
    }
    if (m_processExited && !commandAlive()) {
        checkAllGone();
    } else if (m_processExited && !m_grace.isActive()) {
        // SIGKILL went to everything twice: what is left is exiting.
        m_allGonePoll.stop();
        finish(m_ending == Ending::None ? m_result : endingResult());
    }
}

void ShellRunner::killAll()
{
    if (m_first <= 0)
        return;
    if (m_isolated) {
        readSandboxInfo();
        // The kernel ends every process of the namespace with its first one,
        // which also dies with the sandbox program.
        if (!m_processExited)
            ::kill(m_first, SIGKILL);
        if (m_sandboxFirstPidfd.isValid())
            ::syscall(SYS_pidfd_send_signal, m_sandboxFirstPidfd.get(), SIGKILL, nullptr, 0);
        return;
    }
    signalCommand(SIGKILL);
}

void ShellRunner::signalCommand(int signal)
{
    // What is forked meanwhile: a few rounds catch it.
    for (int round = 0; round < 3 && ProcessSweep::signalAll(m_sweep, signal) > 0; ++round) {
    }
}

bool ShellRunner::commandAlive() const
{
    if (!m_processExited)
        return true;
    if (m_isolated)
        return !sandboxEmptied();
    return ProcessSweep::anyAlive(m_sweep);
}

void ShellRunner::finish(ToolExecutionResult result)
{
    if (m_finished)
        return;
    m_finished = true;
    if (!m_isolated && m_first > 0)
        appendNote(result.output, unisolatedNote());
    m_result = result;
    QMetaObject::invokeMethod(this, &ShellRunner::finished, Qt::QueuedConnection);
}

ToolExecutionResult ShellRunner::normalResult()
{
    QString text = decodeStream(m_out, m_outTruncated);
    const QString err = decodeStream(m_err, m_errTruncated);
    if (!err.isEmpty()) {
        if (!text.isEmpty())
            text.append(u'\n');
        text.append(QLatin1String("STDERR:\n"));
        text.append(err);
    }
    // Fewer code units than the cap means fewer characters too; else walk
    // only the first cap characters.
    if (text.size() > kOutputCap) {
        const qsizetype cut = platform::Graphemes::offsetOf(text, kOutputCap);
        if (cut < text.size())
            text = text.first(cut) + truncationMark();
    }
    if (text.isEmpty())
        text = QStringLiteral("(no output)");
    const int status = m_process.exitCode();
    // Setuid programs gain nothing in the sandbox, nor where the scope took
    // no_new_privs with it.
    if ((m_isolated || m_scoped) && status != 0 && ::geteuid() != 0) {
        const QString path = m_process.processEnvironment().value(QStringLiteral("PATH"));
        if (const auto note = PrivilegeNote::forFailedCommand(m_command, text, path, m_workingDirectory))
            appendNote(text, *note);
    }
    return {QStringLiteral("exit %1\n").arg(status) + text, status != 0};
}

ToolExecutionResult ShellRunner::endingResult() const
{
    if (m_ending == Ending::Cancelled)
        return ToolExecutionResult::failure(QStringLiteral("Command cancelled"));
    return ToolExecutionResult::failure(
        QStringLiteral("Command timed out after %1s").arg(qint64(std::floor(m_timeoutSeconds))));
}

} // namespace agent
