#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QString>

#include <csignal>
#include <sys/syscall.h>
#include <unistd.h>

// A process a test command starts as `sleep <mark>` after writing its pid to
// a file. In a sandbox that pid is the one of the sandbox's own namespace, so
// the test finds the process as the one whose innermost pid is the pid it
// wrote and whose command line is exactly the marked sleep: a process the
// test did not start is never taken for it, nor signalled.
class MarkedProcess {
public:
    MarkedProcess() : m_mark("1001." + QByteArray::number(QRandomGenerator::global()->bounded(100000000, 999999999))) {}

    // The shell text that starts it in the background of a command; pidFile
    // is relative to the command's working directory.
    QString spawn(const QString &pidFile, const QString &wrapper = {}) const
    {
        return wrapper + QStringLiteral("sh -c 'echo $$ > %1; exec sleep %2'").arg(pidFile, QString::fromLatin1(m_mark));
    }
    // The shell text after which the command itself becomes it.
    QString becomeIt(const QString &pidFile) const
    {
        return QStringLiteral("echo $$ > %1; exec sleep %2").arg(pidFile, QString::fromLatin1(m_mark));
    }
    QByteArray mark() const { return m_mark; }

    // Reads the pid once the whole line is there (the file is made empty first).
    void readPid(const QString &pidFile)
    {
        QFile f(pidFile);
        if (m_written <= 0 && f.open(QIODevice::ReadOnly)) {
            const QByteArray line = f.readAll();
            if (line.endsWith('\n'))
                m_written = line.trimmed().toLongLong();
        }
    }
    qint64 writtenPid() const { return m_written; }

    // The process as this test sees it (its pid here), or 0 when it no longer runs.
    pid_t find() const
    {
        if (m_written <= 0)
            return 0;
        const QByteArray cmdline = QByteArray("sleep") + '\0' + m_mark + '\0';
        const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString &entry : entries) {
            bool number = false;
            const pid_t pid = pid_t(entry.toLongLong(&number));
            if (number && pid > 1 && commandLine(pid) == cmdline && innermostPid(pid) == m_written)
                return pid;
        }
        return 0;
    }
    bool running() const { return find() > 0; }

    // Ends it when it still runs as the test started it: pinned by a pidfd
    // before the last check, so a reused pid is never signalled.
    void endIfRunning() const
    {
        const pid_t pid = find();
        if (pid <= 0)
            return;
        const int pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
        if (pidfd < 0)
            return;
        if (find() == pid)
            ::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0);
        ::close(pidfd);
    }

private:
    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QByteArray commandLine(pid_t pid) { return read(QStringLiteral("/proc/%1/cmdline").arg(pid)); }
    // The last field of NSpid: the pid in the process's own namespace.
    static qint64 innermostPid(pid_t pid)
    {
        for (const QByteArray &line : read(QStringLiteral("/proc/%1/status").arg(pid)).split('\n')) {
            if (line.startsWith("NSpid:"))
                return line.mid(6).simplified().split(' ').last().toLongLong();
        }
        return -1;
    }

    QByteArray m_mark;
    qint64 m_written = -1;
};
