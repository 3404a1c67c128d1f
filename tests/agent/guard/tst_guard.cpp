#include "agent/guard/PolicyEngine.h"
#include "agent/tools/ToolRouter.h"
#include "agent/files/WorkspaceManager.h"
#include "agent/calls/ToolDefinitions.h"
#include "support/TestMain.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace agent;
using model::PolicyMode;
using model::ToolGuardMode;
using model::ToolRisk;

Q_DECLARE_METATYPE(model::AppSettings)
Q_DECLARE_METATYPE(model::ToolGuardMode)

namespace {

model::AppSettings settingsFor(std::optional<ToolGuardMode> mode, PolicyMode policy = PolicyMode::Tiered, bool yolo = false)
{
    model::AppSettings s;
    s.toolGuardMode = mode;
    s.policyMode = policy;
    s.yoloEnabled = yolo;
    return s;
}

constexpr auto A = PolicyDecision::Action::Allow;
constexpr auto N = PolicyDecision::Action::NeedsApproval;

} // namespace

class TestGuard : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void schemasInOrder()
    {
        const QJsonArray &list = ToolDefinitions::schemas();
        QStringList names;
        for (const QJsonValue &v : list) {
            QCOMPARE(v[QStringLiteral("type")].toString(), QStringLiteral("function"));
            const QJsonObject fn = v[QStringLiteral("function")].toObject();
            names.append(fn[QStringLiteral("name")].toString());
            const QJsonObject params = fn[QStringLiteral("parameters")].toObject();
            QCOMPARE(params[QStringLiteral("type")].toString(), QStringLiteral("object"));
            QStringList required;
            for (const QJsonValue &r : params[QStringLiteral("required")].toArray())
                required.append(r.toString());
            QCOMPARE(QStringList(params[QStringLiteral("properties")].toObject().keys()).size(), required.size());
        }
        QCOMPARE(names, (QStringList{"list_dir", "read_file", "write_file", "str_replace", "run_shell"}));
    }

    void schemaWireForm()
    {
        const auto compact = [](const QJsonValue &v) { return QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact); };
        QCOMPARE(compact(ToolDefinitions::schemas().at(0)),
                 QByteArray(R"({"function":{"description":"List files and directories under a path relative to the project workspace root. Use '.' for the root.","name":"list_dir","parameters":{"properties":{"path":{"description":"Relative path from workspace root, or '.'","type":"string"}},"required":["path"],"type":"object"}},"type":"function"})"));
        QCOMPARE(compact(ToolDefinitions::schemas().at(1)),
                 QByteArray(R"({"function":{"description":"Read a UTF-8 text file from the project workspace.","name":"read_file","parameters":{"properties":{"path":{"description":"Path relative to workspace root","type":"string"}},"required":["path"],"type":"object"}},"type":"function"})"));
        QCOMPARE(compact(ToolDefinitions::schemas().at(2)),
                 QByteArray(R"({"function":{"description":"Write full contents to a file (creates parents as needed). Prefer str_replace for small edits.","name":"write_file","parameters":{"properties":{"content":{"type":"string"},"path":{"type":"string"}},"required":["path","content"],"type":"object"}},"type":"function"})"));
        QCOMPARE(compact(ToolDefinitions::schemas().at(3)),
                 QByteArray(R"({"function":{"description":"Replace the first exact occurrence of old_string with new_string in a file.","name":"str_replace","parameters":{"properties":{"new_string":{"type":"string"},"old_string":{"type":"string"},"path":{"type":"string"}},"required":["path","old_string","new_string"],"type":"object"}},"type":"function"})"));
        QCOMPARE(compact(ToolDefinitions::schemas().at(4)),
                 QByteArray(R"({"function":{"description":"Run a shell command with cwd set to the project workspace root. Prefer non-interactive commands. Do not use for secrets exfiltration.","name":"run_shell","parameters":{"properties":{"command":{"description":"Command passed to zsh -lc","type":"string"}},"required":["command"],"type":"object"}},"type":"function"})"));
    }

    void risk_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<ToolRisk>("risk");
        QTest::newRow("list_dir") << "list_dir" << ToolRisk::Read;
        QTest::newRow("read_file") << "read_file" << ToolRisk::Read;
        QTest::newRow("write_file") << "write_file" << ToolRisk::Write;
        QTest::newRow("str_replace") << "str_replace" << ToolRisk::Write;
        QTest::newRow("run_shell") << "run_shell" << ToolRisk::Shell;
        QTest::newRow("other capitals are unknown") << "List_Dir" << ToolRisk::Shell;
        QTest::newRow("empty name") << "" << ToolRisk::Shell;
        QTest::newRow("padded name") << "read_file " << ToolRisk::Shell;
    }
    void risk()
    {
        QFETCH(QString, name);
        QFETCH(ToolRisk, risk);
        QCOMPARE(ToolDefinitions::risk(name), risk);
    }

    void decide_data()
    {
        QTest::addColumn<model::AppSettings>("settings");
        QTest::addColumn<bool>("allowWrites");
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("args");
        QTest::addColumn<PolicyDecision::Action>("action");

        const QString harmless = QStringLiteral(R"({"command":"ls"})");
        const QString destructive = QStringLiteral(R"({"command":"rm -rf build"})");
        struct Mode {
            const char *label;
            model::AppSettings settings;
        };
        const Mode ask{"ask", settingsFor(ToolGuardMode::Ask, PolicyMode::PowerUser, true)};
        const Mode balanced{"balanced", settingsFor(ToolGuardMode::Balanced)};
        const Mode yolo{"yolo", settingsFor(ToolGuardMode::Yolo)};
        const Mode derivedYolo{"absent, power user with yolo", settingsFor(std::nullopt, PolicyMode::PowerUser, true)};
        const Mode derivedAskNoYolo{"absent, power user without yolo", settingsFor(std::nullopt, PolicyMode::PowerUser, false)};
        const Mode derivedAskTiered{"absent, tiered with yolo", settingsFor(std::nullopt, PolicyMode::Tiered, true)};

        // mode, allow-writes flag, tool, arguments, expected
        const auto row = [](const Mode &m, bool flag, const char *tool, const QString &args, PolicyDecision::Action a) {
            QTest::addRow("%s|writes %s|%s %s", m.label, flag ? "on" : "off", tool, qPrintable(args))
                << m.settings << flag << QString::fromLatin1(tool) << args << a;
        };
        for (const Mode &m : {ask, derivedAskNoYolo, derivedAskTiered}) {
            row(m, false, "list_dir", "{}", A);
            row(m, false, "read_file", "not json", A);
            row(m, false, "write_file", "{}", N);
            row(m, true, "str_replace", "{}", A);
            row(m, true, "run_shell", harmless, N);
            row(m, false, "unknown_tool", harmless, N);
        }
        row(balanced, false, "read_file", "{}", A);
        row(balanced, false, "write_file", "{}", A);
        row(balanced, true, "str_replace", "{}", A);
        row(balanced, true, "run_shell", harmless, N);
        // A git hook or the repository's settings, written by a file tool,
        // ask in every mode; a file that only looks like one does not.
        for (const Mode &m : {ask, balanced, yolo}) {
            row(m, true, "write_file", QStringLiteral(R"({"path":".git/hooks/pre-commit","content":"x"})"), N);
            row(m, true, "str_replace", QStringLiteral(R"({"path":"./.git/config","old_string":"a","new_string":"b"})"), N);
            row(m, true, "write_file", QStringLiteral(R"({"path":"vendor/lib/.git/hooks/post-merge"})"), N);
            row(m, true, "write_file", QStringLiteral(R"({"path":"src/../.git"})"), N);
            row(m, true, "write_file", QStringLiteral(R"({"path":"scripts/hooks/pre-commit"})"), A);
            row(m, true, "str_replace", QStringLiteral(R"({"path":".git/info/exclude"})"), A);
            row(m, true, "write_file", QStringLiteral(R"({"path":"docs/git/config"})"), A);
        }
        for (const Mode &m : {yolo, derivedYolo}) {
            row(m, false, "write_file", "{}", A);
            row(m, false, "run_shell", harmless, A);
            row(m, false, "run_shell", destructive, N);
            row(m, false, "run_shell", QStringLiteral(R"({"command":"curl -s u | sh"})"), N);
            row(m, false, "run_shell", QStringLiteral("rm -rf / not json"), A);
            row(m, false, "run_shell", QStringLiteral(R"({"cmd":"rm -rf /"})"), A);
            row(m, false, "run_shell", QStringLiteral(R"({"command":5})"), A);
            row(m, false, "run_shell", QStringLiteral(R"(["rm -rf /"])"), A);
            row(m, false, "unknown_tool", destructive, N);
            row(m, false, "unknown_tool", harmless, A);
        }
    }
    void decide()
    {
        QFETCH(model::AppSettings, settings);
        QFETCH(bool, allowWrites);
        QFETCH(QString, tool);
        QFETCH(QString, args);
        QFETCH(PolicyDecision::Action, action);
        PolicyEngine policy(settings);
        policy.setAllowWritesForCurrentChat(allowWrites);
        QCOMPARE(policy.decide(tool, args), (PolicyDecision{action, {}}));
    }

    // The whole table: every mode (set or derived) against every risk, with
    // the allow-writes flag both ways and shell commands harmless or not.
    void everyModeAndRisk_data()
    {
        QTest::addColumn<model::AppSettings>("settings");
        QTest::addColumn<ToolGuardMode>("mode");
        const auto add = [](const char *name, const model::AppSettings &s, ToolGuardMode m) { QTest::newRow(name) << s << m; };
        add("ask", settingsFor(ToolGuardMode::Ask, PolicyMode::PowerUser, true), ToolGuardMode::Ask);
        add("balanced", settingsFor(ToolGuardMode::Balanced), ToolGuardMode::Balanced);
        add("yolo", settingsFor(ToolGuardMode::Yolo, PolicyMode::Tiered, false), ToolGuardMode::Yolo);
        add("absent: power user, yolo on", settingsFor(std::nullopt, PolicyMode::PowerUser, true), ToolGuardMode::Yolo);
        add("absent: power user, yolo off", settingsFor(std::nullopt, PolicyMode::PowerUser, false), ToolGuardMode::Ask);
        add("absent: tiered, yolo on", settingsFor(std::nullopt, PolicyMode::Tiered, true), ToolGuardMode::Ask);
        add("absent: tiered, yolo off", settingsFor(std::nullopt, PolicyMode::Tiered, false), ToolGuardMode::Ask);
    }
    void everyModeAndRisk()
    {
        QFETCH(model::AppSettings, settings);
        QFETCH(ToolGuardMode, mode);
        const QStringList tools{"list_dir", "read_file", "write_file", "str_replace", "run_shell", "other_tool", ""};
        for (const bool flag : {false, true}) {
            PolicyEngine policy(settings);
            policy.setAllowWritesForCurrentChat(flag);
            for (const QString &tool : tools) {
                for (const bool destructive : {false, true}) {
                    const QString args = destructive ? QStringLiteral(R"({"command":"sudo make install"})")
                                                     : QStringLiteral(R"({"command":"make"})");
                    const ToolRisk risk = ToolDefinitions::risk(tool);
                    PolicyDecision::Action want = A;
                    if (risk == ToolRisk::Write)
                        want = mode == ToolGuardMode::Ask && !flag ? N : A;
                    else if (risk == ToolRisk::Shell)
                        want = mode != ToolGuardMode::Yolo || destructive ? N : A;
                    QVERIFY2(policy.decide(tool, args).action == want,
                             qPrintable(QStringLiteral("%1 writes=%2 destructive=%3").arg(tool).arg(flag).arg(destructive)));
                }
            }
        }
    }

    // The policy decides on the verdict the call was judged with, not on a
    // second reading; a verdict made for other text is not trusted.
    void decideWithVerdict_data()
    {
        QTest::addColumn<model::AppSettings>("settings");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("judged");
        QTest::addColumn<bool>("destructive");
        QTest::addColumn<PolicyDecision::Action>("action");
        const model::AppSettings yolo = settingsFor(ToolGuardMode::Yolo);
        QTest::newRow("yolo, judged destructive") << yolo << "make" << "make" << true << N;
        QTest::newRow("yolo, judged harmless") << yolo << "rm -rf build" << "rm -rf build" << false << A;
        QTest::newRow("yolo, verdict on other text") << yolo << "rm -rf build" << "make" << false << N;
        QTest::newRow("yolo, verdict on other text, harmless") << yolo << "make" << "rm -rf build" << true << A;
        QTest::newRow("balanced asks whatever the verdict") << settingsFor(ToolGuardMode::Balanced) << "make" << "make" << false << N;
    }
    void decideWithVerdict()
    {
        QFETCH(model::AppSettings, settings);
        QFETCH(QString, command);
        QFETCH(QString, judged);
        QFETCH(bool, destructive);
        QFETCH(PolicyDecision::Action, action);
        const QString args = QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("command"), command}}).toJson(QJsonDocument::Compact));
        PreparedCall call = PreparedCall::read({}, QStringLiteral("run_shell"), args);
        call.verdict = ShellVerdict{judged, std::nullopt, destructive ? std::optional<QString>(QStringLiteral("x")) : std::nullopt};
        QCOMPARE(PolicyEngine(settings).decide(call).action, action);
    }

    // The run refuses what the verdict blocked without reading the command
    // again: the refusal is the verdict's, and nothing starts.
    void runUsesTheVerdict()
    {
        QTemporaryDir project;
        WorkspaceManager workspace;
        workspace.setWorkspace(project.path());
        ToolRouter router(&workspace);
        router.setSandboxProgram(QString());
        PreparedCall call = PreparedCall::read({}, QStringLiteral("run_shell"), QStringLiteral(R"({"command":"touch made"})"));
        call.verdict = ShellVerdict{QStringLiteral("touch made"), QStringLiteral("Blocked: test verdict"), std::nullopt};
        const ToolExecutionResult refused = QCoro::waitFor(router.execute(call));
        QCOMPARE(refused.output, QStringLiteral("Blocked: test verdict"));
        QVERIFY(refused.isError);
        QVERIFY(!QFileInfo::exists(project.filePath(QStringLiteral("made"))));
    }

    void changesTakeEffectOnTheNextDecision()
    {
        PolicyEngine policy(settingsFor(ToolGuardMode::Ask));
        QCOMPARE(policy.decide(QStringLiteral("write_file"), {}).action, N);
        policy.setAllowWritesForCurrentChat(true); // "Allow writes this session"
        QCOMPARE(policy.decide(QStringLiteral("str_replace"), {}).action, A);
        policy.setSettings(settingsFor(ToolGuardMode::Yolo));
        QCOMPARE(policy.decide(QStringLiteral("run_shell"), QStringLiteral(R"({"command":"make"})")).action, A);
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestGuard)
#include "tst_guard.moc"
