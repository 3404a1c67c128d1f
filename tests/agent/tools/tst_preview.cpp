#include "agent/tools/ApprovalPreview.h"
#include "agent/files/WorkspaceManager.h"
#include "agent/tools/LineDiff.h"
#include "platform/UserDefaults.h"
#include "support/TestMain.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace agent;
using Built = ApprovalPreview::Built;

Q_DECLARE_METATYPE(agent::ApprovalPreview::Built)

namespace {

const QString kSeparator(40, QChar(0x2500));

QString json(const QJsonObject &o)
{
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

QString numbered(const QString &prefix, int from, int count)
{
    QStringList lines;
    for (int i = from; i < from + count; ++i)
        lines.append(prefix + QString::number(i));
    return lines.join(u'\n');
}

} // namespace

class TestPreview : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_root;
    WorkspaceManager *m_ws = nullptr;

    void put(const QString &rel, const QByteArray &bytes)
    {
        QFile f(m_root + u'/' + rel);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    Built preview(const QString &tool, const QJsonObject &args) { return ApprovalPreview::build(tool, json(args), *m_ws); }

private Q_SLOTS:
    void initTestCase()
    {
        m_root = QFileInfo(m_tmp.path()).canonicalFilePath();
        m_ws = new WorkspaceManager(this);
        m_ws->setWorkspace(m_root);
    }

    void writeUnchanged()
    {
        put(QStringLiteral("same.txt"), "a\nb\n");
        QCOMPARE(preview(QStringLiteral("write_file"), {{"path", "same.txt"}, {"content", "a\nb\n"}}),
                 (Built{"write same.txt", "same.txt\n(no content change)"}));
    }

    void writeLineDiff()
    {
        put(QStringLiteral("abc.txt"), "a\nb\nc");
        QCOMPARE(preview(QStringLiteral("write_file"), {{"path", "abc.txt"}, {"content", "a\nx\nc"}}).preview,
                 QStringLiteral("--- a/abc.txt\n+++ b/abc.txt\n@@\n  a\n- b\n+ x\n  c"));
    }

    void rewriteSummary_data()
    {
        QTest::addColumn<int>("oldLines");
        QTest::addColumn<int>("newLines");
        QTest::addColumn<QString>("expected");
        QTest::newRow("300 and 150 lines")
            << 300 << 150
            << QStringLiteral("--- a/big.txt\n+++ b/big.txt\n@@ rewrite (300 → 150 lines) @@\n") + numbered("- o", 0, 80)
                   + QStringLiteral("\n- … (220 more old lines)\n") + numbered("+ n", 0, 80)
                   + QStringLiteral("\n+ … (70 more new lines)");
        QTest::newRow("401 lines in all") << 201 << 200 << QString();
        QTest::newRow("short sides, no remainder lines")
            << 399 << 2
            << QStringLiteral("--- a/big.txt\n+++ b/big.txt\n@@ rewrite (399 → 2 lines) @@\n") + numbered("- o", 0, 80)
                   + QStringLiteral("\n- … (319 more old lines)\n") + numbered("+ n", 0, 2);
    }
    void rewriteSummary()
    {
        QFETCH(int, oldLines);
        QFETCH(int, newLines);
        QFETCH(QString, expected);
        put(QStringLiteral("big.txt"), numbered("o", 0, oldLines).toUtf8());
        const QString shown = preview(QStringLiteral("write_file"), {{"path", "big.txt"}, {"content", numbered("n", 0, newLines)}}).preview;
        if (expected.isEmpty())
            QVERIFY(shown.startsWith(QStringLiteral("--- a/big.txt\n+++ b/big.txt\n@@ rewrite (201 → 200 lines) @@\n")));
        else
            QCOMPARE(shown, expected);
    }

    void fourHundredLinesGetALineDiff()
    {
        const QString shown = LineDiff::unifiedDiff(QStringLiteral("p"), numbered("o", 0, 200), numbered("o", 1, 200));
        QVERIFY(shown.startsWith(QStringLiteral("--- a/p\n+++ b/p\n@@\n- o0\n  o1\n")));
        QVERIFY(shown.contains(QStringLiteral("\n+ o200")));

        const QString full = QStringLiteral("--- a/p\n+++ b/p\n@@\n- a\n+ ") + QString(9000, u'b');
        QCOMPARE(LineDiff::unifiedDiff(QStringLiteral("p"), QStringLiteral("a"), QString(9000, u'b')),
                 full.first(8000) + QStringLiteral("\n…(preview truncated)"));
    }

    void lineDiffRules_data()
    {
        QTest::addColumn<QString>("oldText");
        QTest::addColumn<QString>("newText");
        QTest::addColumn<QString>("body"); // after the "@@" line
        QTest::newRow("removal before addition on a tie") << "a\nb" << "a\nc" << "  a\n- b\n+ c";
        // Not one line per file: that would hide the new content past the cap.
        QTest::newRow("CR LF file diffs line by line") << "a\r\nb\r\nc\r\n" << "a\r\nx\r\nc\r\n"
                                                       << "  a\r\n- b\r\n+ x\r\n  c\r\n  ";
        QTest::newRow("trailing line feed gives an empty last line") << "a" << "a\n" << "  a\n+ ";
        QTest::newRow("canonically equal lines are the same") << "caf\u00e9\nx" << "cafe\u0301\ny" << "  caf\u00e9\n- x\n+ y";
        QTest::newRow("from empty") << "" << "a" << "- \n+ a";
    }
    void lineDiffRules()
    {
        QFETCH(QString, oldText);
        QFETCH(QString, newText);
        QFETCH(QString, body);
        QCOMPARE(LineDiff::unifiedDiff(QStringLiteral("f"), oldText, newText), QStringLiteral("--- a/f\n+++ b/f\n@@\n") + body);
    }

    void writeNewFiles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("expected");
        QTest::newRow("outside the folder") << "../x.txt" << "hi" << "New file: ../x.txt\n\nhi";
        QTest::newRow("new inside") << "sub/new.txt" << "hi" << QStringLiteral("New file: sub/new.txt\n") + kSeparator + "\nhi";
        QTest::newRow("8,001 characters")
            << "n.txt" << QString(8001, u'z')
            << QStringLiteral("New file: n.txt\n") + kSeparator + u'\n' + QString(8000, u'z') + QStringLiteral("\n…(preview truncated)");
        QTest::newRow("cap counts characters, not code units")
            << "e.txt" << QString(8000, u'e') + QStringLiteral("\u0301")
            << QStringLiteral("New file: e.txt\n") + kSeparator + u'\n' + QString(8000, u'e') + QStringLiteral("\u0301");
    }
    void writeNewFiles()
    {
        QFETCH(QString, path);
        QFETCH(QString, content);
        QFETCH(QString, expected);
        QCOMPARE(preview(QStringLiteral("write_file"), {{"path", path}, {"content", content}}).preview, expected);
    }

    void writeOverNonText()
    {
        put(QStringLiteral("logo.png"), QByteArray("\x89PNG\r\n\x1a\n\xff", 9));
        QCOMPARE(preview(QStringLiteral("write_file"), {{"path", "logo.png"}, {"content", "x"}}).preview,
                 QStringLiteral("Overwrites an existing non-text file of 9 bytes: logo.png\n") + kSeparator + "\nx");
        QDir().mkpath(m_root + QStringLiteral("/folder"));
        QCOMPARE(preview(QStringLiteral("write_file"), {{"path", "folder"}, {"content", "x"}}).preview,
                 QStringLiteral("Folder, not a file (the write will fail): folder\n") + kSeparator + "\nx");
        QVERIFY(::mkfifo(QFile::encodeName(m_root + QStringLiteral("/fifo")).constData(), 0600) == 0);
        QCOMPARE(preview(QStringLiteral("write_file"), {{"path", "fifo"}, {"content", "x"}}).preview,
                 QStringLiteral("Replaces an existing special file (not a regular file): fifo\n") + kSeparator + "\nx");
        // The placeholder is looked up like a path: nothing is there.
        QCOMPARE(preview(QStringLiteral("write_file"), {{"path", 7}, {"content", "x"}}),
                 (Built{"write (unknown path)", QStringLiteral("New file: (unknown path)\n") + kSeparator + "\nx"}));
    }

    void noProjectFolder()
    {
        platform::UserDefaults::remove(QString::fromLatin1(WorkspaceManager::kBookmarkKey));
        const WorkspaceManager none;
        const auto build = [&](const char *tool, const QJsonObject &args) { return ApprovalPreview::build(QLatin1String(tool), json(args), none); };
        QCOMPARE(build("write_file", {{"content", "x"}}), (Built{"write (unknown path)", "New file: (unknown path)\n\nx"}));
        QCOMPARE(build("str_replace", {{"path", "a"}, {"old_string", "p\nq"}, {"new_string", ""}}),
                 (Built{"edit a", QStringLiteral("str_replace · a\n") + kSeparator + "\n− old:\n- p\n- q\n\n+ new:\n+ "}));
    }

    void strReplace_data()
    {
        QTest::addColumn<QString>("oldString");
        QTest::addColumn<QString>("newString");
        QTest::addColumn<QString>("expected"); // after the header and separator lines
        QTest::newRow("match in the middle") << "five" << "FIVE\nV"
                                             << "  two\n  three\n  four \n- five\n+ FIVE\n+ V\n   six\n  seven\n  eight";
        QTest::newRow("match starts the file") << "one" << "1" << "  \n- one\n+ 1\n  \n  two\n  three";
        QTest::newRow("not in the file") << "zzz" << "y" << "− old:\n- zzz\n\n+ new:\n+ y";
        QTest::newRow("empty old_string") << "" << "y" << "− old:\n- \n\n+ new:\n+ y";
        QTest::newRow("match ends the file") << "nine" << "9" << "  seven\n  eight\n  \n- nine\n+ 9\n  ";
    }
    void strReplace()
    {
        QFETCH(QString, oldString);
        QFETCH(QString, newString);
        QFETCH(QString, expected);
        put(QStringLiteral("s.txt"), "one\ntwo\nthree\nfour five six\nseven\neight\nnine");
        QCOMPARE(preview(QStringLiteral("str_replace"), {{"path", "s.txt"}, {"old_string", oldString}, {"new_string", newString}}),
                 (Built{"edit s.txt", QStringLiteral("str_replace · s.txt\n") + kSeparator + u'\n' + expected}));
    }

    // The card shows the place the edit changes, also where the edit matches
    // line feeds to a file's CR LF line breaks.
    void strReplaceInCrLfFile()
    {
        put(QStringLiteral("crlf.txt"), "one\r\ntwo\r\nthree\r\n");
        QCOMPARE(preview(QStringLiteral("str_replace"), {{"path", "crlf.txt"}, {"old_string", "one\ntwo"}, {"new_string", "1\n2"}}),
                 (Built{"edit crlf.txt", QStringLiteral("str_replace · crlf.txt\n") + kSeparator
                                             + "\n  \n- one\n- two\n+ 1\n+ 2\n  \r\n  three\r\n  "}));
    }

    void shell_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<Built>("expected");
        QTest::newRow("harmless") << json({{"command", "make -j4"}}) << Built{"run_shell", "$ make -j4"};
        QTest::newRow("destructive") << json({{"command", "rm -rf build"}})
                                     << Built{"run_shell: needs a look", "⚠ Recursive force delete (rm -rf)\n$ rm -rf build"};
        QTest::newRow("not json shows the raw text") << "ls -la" << Built{"run_shell", "$ ls -la"};
        QTest::newRow("not json, destructive") << "sudo ls" << Built{"run_shell: needs a look", "⚠ Privilege escalation (sudo)\n$ sudo ls"};
        QTest::newRow("bidi override escaped") << json({{"command", "echo \u202Etxt.exe\u202C; ls"}})
                                               << Built{"run_shell", "$ echo \\u{202E}txt.exe\\u{202C}; ls"};
        QTest::newRow("carriage return and escape escaped, line feed kept")
            << json({{"command", "rm -rf ~\r\x1b[2Kecho hi\nls"}})
            << Built{"run_shell: needs a look", "⚠ Recursive force delete (rm -rf)\n$ rm -rf ~\\u{000D}\\u{001B}[2Kecho hi\nls"};
    }
    void shell()
    {
        QFETCH(QString, args);
        QFETCH(Built, expected);
        QCOMPARE(ApprovalPreview::build(QStringLiteral("run_shell"), args, *m_ws), expected);
    }

    // The card shows the verdict the call was judged with; one made for
    // another text is not trusted, and the command is judged afresh.
    void shellWithVerdict_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("judged");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<Built>("expected");
        QTest::newRow("the verdict's reason is shown")
            << json({{"command", "make"}}) << "make" << "Privilege escalation (sudo)"
            << Built{"run_shell: needs a look", "⚠ Privilege escalation (sudo)\n$ make"};
        QTest::newRow("a harmless verdict is shown") << json({{"command", "rm -rf build"}}) << "rm -rf build" << ""
                                                     << Built{"run_shell", "$ rm -rf build"};
        QTest::newRow("the raw text of arguments that are not json") << "make x" << "make x" << "Shell profile tampering"
                                                                     << Built{"run_shell: needs a look", "⚠ Shell profile tampering\n$ make x"};
        QTest::newRow("a verdict on other text is not used") << json({{"command", "rm -rf build"}}) << "rm -rf build2" << ""
                                                             << Built{"run_shell: needs a look", "⚠ Recursive force delete (rm -rf)\n$ rm -rf build"};
    }
    void shellWithVerdict()
    {
        QFETCH(QString, args);
        QFETCH(QString, judged);
        QFETCH(QString, reason);
        QFETCH(Built, expected);
        PreparedCall call = PreparedCall::read({}, QStringLiteral("run_shell"), args);
        call.verdict = ShellVerdict{judged, std::nullopt, reason.isEmpty() ? std::nullopt : std::optional<QString>(reason)};
        QCOMPARE(ApprovalPreview::build(call, *m_ws), expected);
    }

    void pathsAreEscaped()
    {
        const Built b = preview(QStringLiteral("write_file"), {{"path", "a\u202Egnp.sh\n"}, {"content", "x"}});
        QCOMPARE(b.summary, QStringLiteral("write a\\u{202E}gnp.sh\\u{000A}"));
        QVERIFY(b.preview.startsWith(QStringLiteral("New file: a\\u{202E}gnp.sh\\u{000A}\n")));
        QCOMPARE(preview(QStringLiteral("str_replace"), {{"path", "\u2066x"}}).summary, QStringLiteral("edit \\u{2066}x"));
    }

    void otherTools()
    {
        QCOMPARE(ApprovalPreview::build(QStringLiteral("list_dir"), QStringLiteral(R"({"path":"."})"), *m_ws),
                 (Built{"list_dir", "{\n    \"path\": \".\"\n}"}));
        QCOMPARE(ApprovalPreview::build(QStringLiteral("read_file"), QStringLiteral(R"({"z":1,"a":[true]})"), *m_ws).preview,
                 QStringLiteral("{\n    \"a\": [\n        true\n    ],\n    \"z\": 1\n}"));
        QCOMPARE(ApprovalPreview::build(QStringLiteral("list_dir"), QStringLiteral("{broken"), *m_ws),
                 (Built{"list_dir", "{broken"}));
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestPreview)
#include "tst_preview.moc"
