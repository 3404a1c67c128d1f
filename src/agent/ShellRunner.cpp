#include "agent/ShellRunner.h"

#include "platform/Graphemes.h"

#include <QCoreApplication>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QStringDecoder>

#include <cerrno>
#include <cmath>
#include <csignal>
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

} // namespace

double ShellRunner::effectiveTimeout(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0)
        return kDefaultTimeout;
    return std::min(seconds, kMaxTimeout);
}

ShellRunner::ShellRunner(Limits limits, QObject *parent) : QObject(parent), m_limits(limits)
{
    m_timeout.setSingleShot(true);
    m_grace.setSingleShot(true);
    m_groupPoll.setInterval(25);
    connect(&m_groupPoll, &QTimer::timeout, this, &ShellRunner::checkGroupGone);
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
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { signalCommand(SIGKILL); });
}

ShellRunner::~ShellRunner()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.disconnect(this);
        signalCommand(SIGKILL);
        // SIGKILL cannot be ignored; this wait only reaps.
        m_process.waitForFinished(1000);
    }
}

void ShellRunner::start(const QString &command, const QString &workingDirectory, double timeoutSeconds)
{
    m_timeoutSeconds = effectiveTimeout(timeoutSeconds);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("OVU_API_KEY")); // the app's own credential stays with the app
    // Marks everything the command starts, wherever it goes, so that it can
    // be found and ended at the time-out or on cancel.
    const QByteArray token = QByteArray::number(QRandomGenerator::system()->generate64(), 16)
                             + QByteArray::number(QRandomGenerator::system()->generate64(), 16);
    m_sweep.environmentEntry = QByteArray(kTokenVariable) + '=' + token;
    env.insert(QString::fromLatin1(kTokenVariable), QString::fromLatin1(token));
    m_process.setProcessEnvironment(env);
    m_process.setProgram(QStringLiteral("/bin/zsh"));
    m_process.setArguments({QStringLiteral("-lc"), command});
    m_process.setWorkingDirectory(workingDirectory);
    m_process.setStandardInputFile(QProcess::nullDevice());
    // Its own session and process group, so the whole tree can be ended at once.
    m_process.setChildProcessModifier([] { ::setsid(); });
    m_process.start(QIODevice::ReadOnly);
    if (m_finished)
        return; // failed to start; errorOccurred already finished us
    m_group = pid_t(m_process.processId());
    m_sweep.group = m_group;
    m_timeout.start(int(std::llround(m_timeoutSeconds * 1000)));
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
    if (m_ending == Ending::None) {
        drain(QProcess::StandardOutput);
        drain(QProcess::StandardError);
        finish(normalResult());
        return;
    }
    // Ending: done once no member of the group is left (the others may take
    // a moment to die and be reaped); the grace timer sends SIGKILL to the rest.
    checkGroupGone();
    if (!m_finished)
        m_groupPoll.start();
}

void ShellRunner::checkGroupGone()
{
    if (m_finished || commandAlive())
        return;
    m_groupPoll.stop();
    m_grace.stop();
    finish(endingResult());
}

void ShellRunner::onProcessError(QProcess::ProcessError error)
{
    if (error != QProcess::FailedToStart || m_finished)
        return;
    m_timeout.stop();
    finish(ToolExecutionResult::failure(m_process.errorString()));
}

void ShellRunner::beginTermination(Ending ending)
{
    if (m_finished || m_ending != Ending::None || m_group <= 0)
        return;
    m_ending = ending;
    m_timeout.stop();
    signalCommand(SIGTERM);
    m_grace.start(m_limits.graceMs);
}

void ShellRunner::onGraceOver()
{
    signalCommand(SIGKILL);
    // The shell itself is reaped by QProcess; orphans of the group by init.
    if (m_processExited) {
        m_groupPoll.stop();
        finish(endingResult());
    }
}

void ShellRunner::signalCommand(int signal)
{
    if (m_group <= 0)
        return;
    // Before the child's setsid the group does not exist yet: signal the child.
    if (::kill(-m_group, signal) != 0 && errno == ESRCH && !m_processExited)
        ::kill(m_group, signal);
    // What left the group; a few rounds catch children forked meanwhile.
    for (int round = 0; round < 3 && ProcessSweep::signalAll(m_sweep, signal) > 0; ++round) {
    }
}

bool ShellRunner::commandAlive() const
{
    return m_group > 0 && ProcessSweep::anyAlive(m_sweep);
}

void ShellRunner::finish(const ToolExecutionResult &result)
{
    if (m_finished)
        return;
    m_finished = true;
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
