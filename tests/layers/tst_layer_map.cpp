#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

// The include map's script, run on small trees made up for each row: a map
// that lets a wrong include through passes the real tree just as well.
class TestLayerMap : public QObject {
    Q_OBJECT
private slots:
    void judgesTree_data();
    void judgesTree();
};

void TestLayerMap::judgesTree_data()
{
    QTest::addColumn<QStringList>("files");    // "path: included header" under src/
    QTest::addColumn<QString>("complaint");    // empty: the tree passes

    const auto row = [](const char *name, QStringList files, const char *complaint) {
        QTest::newRow(name) << files << QString::fromUtf8(complaint);
    };
    const QStringList base{QStringLiteral("platform/Result.h:"), QStringLiteral("model/Records.h: platform/Result.h")};

    row("root uses every subfolder", base + QStringList{
            QStringLiteral("agent/AgentRuntime.cpp: agent/tools/ToolRouter.h"),
            QStringLiteral("agent/AgentRuntime.h: agent/stream/OVUClient.h"),
            QStringLiteral("agent/tools/ToolRouter.cpp: agent/guard/ShellGuard.h"),
            QStringLiteral("agent/tools/FileTools.cpp: agent/files/WorkspaceManager.h"),
            QStringLiteral("agent/tools/ShellTool.cpp: agent/shell/ShellRunner.h"),
            QStringLiteral("agent/guard/PolicyEngine.cpp: agent/calls/ToolArguments.h"),
            QStringLiteral("agent/shell/ShellRunner.h: agent/calls/ToolExecutionResult.h"),
            QStringLiteral("agent/stream/OVUClient.h: model/Records.h"),
            QStringLiteral("agent/calls/ToolArguments.h: platform/Result.h")}, "");
    row("guard reaches the project folder", base + QStringList{
            QStringLiteral("agent/guard/PolicyEngine.cpp: agent/files/WorkspaceManager.h")},
        "agent/guard/PolicyEngine.cpp:1: agent/guard may not include agent/files/");
    row("shell reaches the guard", base + QStringList{
            QStringLiteral("agent/shell/ShellRunner.cpp: agent/guard/ShellGuard.h")},
        "agent/shell/ShellRunner.cpp:1: agent/shell may not include agent/guard/");
    row("calls reach the stream", base + QStringList{
            QStringLiteral("agent/calls/ToolDefinitions.h: agent/stream/OVUClient.h")},
        "agent/calls/ToolDefinitions.h:1: agent/calls may not include agent/stream/");
    row("stream reaches up to the root", base + QStringList{
            QStringLiteral("agent/stream/StreamExchange.h: agent/AgentRuntime.h")},
        "agent/stream/StreamExchange.h:1: agent/stream may not include the agent's root");
    row("tools reach the stream", base + QStringList{
            QStringLiteral("agent/tools/ToolRouter.h: agent/stream/OVUClient.h")},
        "agent/tools/ToolRouter.h:1: agent/tools may not include agent/stream/");
    row("a folder below a subfolder is read as the subfolder", base + QStringList{
            QStringLiteral("agent/files/deep/Trail.cpp: agent/tools/FileTools.h")},
        "agent/files/deep/Trail.cpp:1: agent/files may not include agent/tools/");
    row("unknown agent subfolder", base + QStringList{QStringLiteral("agent/misc/Helper.h:")},
        "unknown agent folder: misc (add it to the map)");
    row("the pane uses every chat part", base + QStringList{
            QStringLiteral("chat/ChatView.cpp: chat/transcript/TranscriptView.h"),
            QStringLiteral("chat/ChatView.h: chat/markdown/MarkdownRenderCache.h"),
            QStringLiteral("chat/ChatView.cpp: chat/composer/ComposerBar.h"),
            QStringLiteral("chat/ChatView.cpp: chat/tray/ComposerTray.h"),
            QStringLiteral("chat/ChatView.cpp: chat/welcome/WelcomeCard.h"),
            QStringLiteral("chat/transcript/MessageRow.cpp: chat/markdown/MarkdownTextView.h"),
            QStringLiteral("chat/welcome/WelcomeCard.cpp: chat/welcome/StatusChip.h"),
            QStringLiteral("chat/markdown/MarkdownRenderer.h: chat/markdown/MarkdownText.h")}, "");
    row("markdown reaches the transcript", base + QStringList{
            QStringLiteral("chat/markdown/MarkdownTextView.cpp: chat/transcript/MessageChrome.h")},
        "chat/markdown/MarkdownTextView.cpp:1: chat/markdown may not include chat/transcript/");
    row("markdown reaches up to the pane", base + QStringList{
            QStringLiteral("chat/markdown/CodeBlockView.h: chat/ChatView.h")},
        "chat/markdown/CodeBlockView.h:1: chat/markdown may not include the chat's root");
    row("transcript reaches the composer", base + QStringList{
            QStringLiteral("chat/transcript/TranscriptView.cpp: chat/composer/ComposerBar.h")},
        "chat/transcript/TranscriptView.cpp:1: chat/transcript may not include chat/composer/");
    row("tray reaches the welcome card", base + QStringList{
            QStringLiteral("chat/tray/ComposerTray.h: chat/welcome/StatusChip.h")},
        "chat/tray/ComposerTray.h:1: chat/tray may not include chat/welcome/");
    row("unknown chat subfolder", base + QStringList{QStringLiteral("chat/widgets/Helper.h:")},
        "unknown chat folder: widgets (add it to the map)");
    row("the stage's view uses the glass below it", base + QStringList{
            QStringLiteral("glass/stageview/WallpaperExpandedPanel.cpp: glass/controls/StyledButton.h"),
            QStringLiteral("glass/stageview/StageBackground.cpp: glass/paint/Backdrop.h"),
            QStringLiteral("glass/sheets/AlertSheet.cpp: glass/controls/StyledButton.h"),
            QStringLiteral("glass/paint/GlassPainter.cpp: glass/look/QirvTheme.h")}, "");
    row("a control reaches the painter", base + QStringList{
            QStringLiteral("glass/controls/StyledButton.cpp: glass/paint/GlassPainter.h")},
        "glass/controls/StyledButton.cpp:1: glass/controls may not include glass/paint/");
    row("the look reaches a sheet", base + QStringList{
            QStringLiteral("glass/look/Styles.h: glass/sheets/AlertSheet.h")},
        "glass/look/Styles.h:1: glass/look may not include glass/sheets/");
    row("unknown layer", base + QStringList{QStringLiteral("extras/Helper.h:")},
        "unknown layer folder: extras (add it to the map)");
    row("two files of a folder include each other", base + QStringList{
            QStringLiteral("chat/transcript/TurnFade.cpp: chat/transcript/LiveAssistantBlock.h"),
            QStringLiteral("chat/transcript/LiveAssistantBlock.cpp: chat/transcript/TurnFade.h")},
        "include circle: chat/transcript/LiveAssistantBlock -> chat/transcript/TurnFade -> "
        "chat/transcript/LiveAssistantBlock");
    row("three headers around a circle", base + QStringList{
            QStringLiteral("model/Store.h: model/Index.h"),
            QStringLiteral("model/Index.h: model/Codec.h"),
            QStringLiteral("model/Codec.h: model/Store.h")},
        "include circle: model/Codec -> model/Store -> model/Index -> model/Codec");
    row("a source includes its own header", base + QStringList{
            QStringLiteral("model/Store.cpp: model/Store.h"),
            QStringLiteral("model/Store.h: model/Records.h"),
            QStringLiteral("model/Index.cpp: model/Store.h")}, "");
    row("a lower layer reaches the agent", base + QStringList{
            QStringLiteral("model/Store.cpp: agent/calls/ToolArguments.h")},
        "model/Store.cpp:1: model may not include agent/");
}

void TestLayerMap::judgesTree()
{
    QFETCH(QStringList, files);
    QFETCH(QString, complaint);

    QTemporaryDir tree;
    QVERIFY(tree.isValid());
    for (const QString &entry : files) {
        const QString path = entry.section(u':', 0, 0);
        const QString included = entry.section(u':', 1).trimmed();
        QVERIFY(QDir(tree.path()).mkpath(QFileInfo(path).path()));
        QFile file(tree.filePath(path));
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (!included.isEmpty())
            file.write("#include \"" + included.toUtf8() + "\"\n");
    }

    QProcess check;
    check.setWorkingDirectory(tree.path());
    check.start(QStringLiteral("bash"), {QStringLiteral(MOONSHELF_LAYER_SCRIPT), tree.path()});
    QVERIFY(check.waitForFinished(30'000));
    QString output = QString::fromUtf8(check.readAllStandardOutput());
    if (complaint.isEmpty()) {
        QCOMPARE(check.exitCode(), 0);
        QCOMPARE(output, QStringLiteral("layers: every include points down\n"));
    } else {
        QCOMPARE(check.exitCode(), 1);
        QCOMPARE(output.replace(tree.path() + u'/', QString()).split(u'\n', Qt::SkipEmptyParts), QStringList{complaint});
    }
}

MOONSHELF_TEST_GUILESS_MAIN(TestLayerMap)
#include "tst_layer_map.moc"
