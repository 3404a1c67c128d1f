// The desktop's programs as processes: an opener that fails a moment after
// it started is a failure, one that ends well or keeps running is not.
#include "platform/DesktopServices.h"
#include "support/TaskWait.h"
#include "support/TestMain.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

using platform::DesktopPrograms;
using platform::SystemDesktopServices;

namespace {

constexpr std::chrono::milliseconds kWindow{2000};

} // namespace

class TestDesktopPrograms : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // A fake program that notes its arguments and folder, then does `then`.
    QString writeProgram(const QString &then)
    {
        const QString path = m_dir.filePath(QStringLiteral("program"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return {};
        file.write(QStringLiteral("#!/bin/sh\nprintf '%s|%s\\n' \"$*\" \"$PWD\" > '%1'\n%2\n")
                       .arg(m_dir.filePath(QStringLiteral("called")), then)
                       .toUtf8());
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    QByteArray readFile(const QString &name) const
    {
        QFile file(m_dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray("(none)");
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(m_dir.filePath(QStringLiteral("called")));
        QFile::remove(m_dir.filePath(QStringLiteral("still here")));
    }

    void answers_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("then");   // what the fake program does after noting its call
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("lingers");   // still running when the window ends
        for (const char *kind : {"link", "folder", "terminal"}) {
            // As a desktop's opener answers when it finds no way to open it.
            QTest::addRow("%s: fails at once", kind) << kind << "echo 'no method available' >&2; exit 3" << false << false;
            QTest::addRow("%s: ends well", kind) << kind << "exit 0" << true << false;
            // A browser or terminal in the foreground: it goes on by itself.
            QTest::addRow("%s: keeps running", kind)
                << kind << QStringLiteral("sleep 2.5; touch '%1'").arg(m_dir.filePath(QStringLiteral("still here")))
                << true << true;
        }
        QTest::newRow("link: fails after a second") << "link" << "sleep 1; exit 4" << false << false;
    }
    void answers()
    {
        QFETCH(QString, kind);
        QFETCH(QString, then);
        QFETCH(bool, answer);
        QFETCH(bool, lingers);
        DesktopPrograms programs;
        programs.opener = programs.terminal = writeProgram(then);
        programs.window = kWindow;
        programs.askFileManager = false;
        SystemDesktopServices desktop(programs);
        const QString folder = m_dir.filePath(QStringLiteral("project"));
        QVERIFY(QDir().mkpath(folder));
        const QString file = folder + QStringLiteral("/notes.txt");

        QElapsedTimer elapsed;
        elapsed.start();
        bool result = !answer;
        QByteArray expectedCall;
        if (kind == QLatin1String("link")) {
            result = testsupport::waitForTask(desktop.openUrl(QUrl(QStringLiteral("https://example.org/a?b=c d"))));
            expectedCall = "https://example.org/a?b=c%20d|" + QDir::currentPath().toUtf8();
        } else if (kind == QLatin1String("folder")) {
            result = testsupport::waitForTask(desktop.revealFile(file));
            expectedCall = folder.toUtf8() + '|' + QDir::currentPath().toUtf8();
        } else {
            result = testsupport::waitForTask(desktop.openTerminal(folder));
            expectedCall = '|' + folder.toUtf8();
        }
        QCOMPARE(result, answer);
        QCOMPARE(readFile(QStringLiteral("called")), expectedCall);
        // A running program is given the whole window (timers are coarse by
        // a few per cent); a failure or a good end is taken as it comes.
        if (lingers)
            QVERIFY2(elapsed.elapsed() >= kWindow.count() * 9 / 10, qPrintable(QString::number(elapsed.elapsed())));
        else
            QVERIFY2(elapsed.elapsed() < kWindow.count(), qPrintable(QString::number(elapsed.elapsed())));
        if (lingers) {
            // Left to run: it finishes its work after the answer.
            QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("still here"))));
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_dir.filePath(QStringLiteral("still here"))), 10000);
        }
    }

    // Nothing to run, or nowhere to run it: told at once.
    void cannotStart_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("folder");
        QTest::newRow("no such program") << "/nonexistent/opener" << "";
        QTest::newRow("none named") << "" << "";
        QTest::newRow("folder gone") << "/bin/true" << "/nonexistent/folder";
    }
    void cannotStart()
    {
        QFETCH(QString, program);
        QFETCH(QString, folder);
        QElapsedTimer elapsed;
        elapsed.start();
        QVERIFY(!testsupport::waitForTask(platform::runDesktopProgram(program, {}, folder, kWindow)));
        QVERIFY(elapsed.elapsed() < kWindow.count());
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestDesktopPrograms)
#include "tst_desktop_programs.moc"
