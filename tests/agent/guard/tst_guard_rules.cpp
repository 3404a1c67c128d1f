// The guard's rule table: every row's examples. A row's commands must be
// asked about in YOLO, with the row's reason when no other rule speaks
// first; its look-alikes must pass untouched. Commands are classified only;
// none is ever run.
#include "agent/guard/ShellGuard.h"
#include "agent/guard/CommandReview.h"
#include "agent/guard/CommandReviewTable.h"
#include "agent/guard/PolicyEngine.h"
#include "support/TestMain.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace agent;
using namespace agent::CommandReview;

namespace {

PolicyDecision::Action yoloDecision(const QString &command)
{
    model::AppSettings s;
    s.toolGuardMode = model::ToolGuardMode::Yolo;
    const QString args = QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("command"), command}}).toJson(QJsonDocument::Compact));
    return PolicyEngine(s).decide(QStringLiteral("run_shell"), args).action;
}

// The part of a reason before its command name: "Installed packages removed (".
QString stem(const QString &reason)
{
    const qsizetype at = reason.indexOf(QLatin1String("%1"));
    return at < 0 ? reason : reason.left(at);
}

} // namespace

class TestGuardRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void idsAreUnique()
    {
        QSet<QString> seen;
        for (const Rule &r : ruleTable()) {
            QVERIFY2(!seen.contains(QString::fromLatin1(r.id)), r.id);
            seen.insert(QString::fromLatin1(r.id));
        }
    }

    void catches_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("blocked");
        for (const Rule &r : ruleTable()) {
            for (const QString &c : r.catches)
                QTest::addRow("%s | %s", r.id, qPrintable(c)) << c << r.reason << r.killsOthers;
        }
    }
    void catches()
    {
        QFETCH(QString, command);
        QFETCH(QString, reason);
        QFETCH(bool, blocked);
        const ShellGuard::Verdict verdict = ShellGuard::judge(command);
        QVERIFY2(verdict.destructive, "not asked");
        // Signals to others' processes are refused as well.
        QCOMPARE(verdict.blocked.has_value(), blocked);
        QCOMPARE(yoloDecision(command), PolicyDecision::Action::NeedsApproval);
        // The row's own reason, unless a fixed row spoke first.
        if (!reason.isEmpty() && !verdict.destructive->startsWith(stem(reason)))
            QCOMPARE(CommandReview::destructiveReason(command).value_or(QString()).left(stem(reason).size()), stem(reason));
    }

    // Each example owes its answer to its own row: left out, the word
    // check lets the example through. A row that catches nothing of its own
    // (or only what others catch) fails here.
    void caughtByItsRowAlone_data() { catches_data(); }
    void caughtByItsRowAlone()
    {
        QFETCH(QString, command);
        const QByteArray id = QByteArray(QTest::currentDataTag()).split(' ').first();
        QVERIFY2(CommandReview::review(command).reason, "the word check lets it through");
        const Findings without = CommandReview::reviewWithout(command, id.constData());
        QVERIFY2(!without.reason, qPrintable(QStringLiteral("also caught without its row: ") + without.reason.value_or(QString())));
        QVERIFY(!without.killsOthers);
    }

    // Every row proves itself with at least one command it must catch.
    void everyRowCatches()
    {
        for (const Rule &r : ruleTable())
            QVERIFY2(!r.catches.isEmpty(), r.id);
    }

    void leaves_data()
    {
        QTest::addColumn<QString>("command");
        for (const Rule &r : ruleTable()) {
            for (const QString &c : r.leaves)
                QTest::addRow("%s | %s", r.id, qPrintable(c)) << c;
        }
    }
    void leaves()
    {
        QFETCH(QString, command);
        QCOMPARE(ShellGuard::judge(command), (ShellGuard::Verdict{command, std::nullopt, std::nullopt}));
        QCOMPARE(yoloDecision(command), PolicyDecision::Action::Allow);
    }

    // A row says the same of its examples run as text by a shell or eval.
    void sameThroughAShell_data()
    {
        QTest::addColumn<QString>("command");
        for (const Rule &r : ruleTable()) {
            for (const QString &c : r.catches + r.leaves)
                QTest::addRow("%s | %s", r.id, qPrintable(c)) << c;
        }
    }
    void sameThroughAShell()
    {
        QFETCH(QString, command);
        const std::optional<QString> reason = ShellGuard::judge(command).destructive;
        QString quoted = command;
        quoted.replace(u'\'', QStringLiteral("'\\''"));
        for (const QString &wrapper : {QStringLiteral("sh -c "), QStringLiteral("bash -lc "), QStringLiteral("eval -- ")})
            QCOMPARE(ShellGuard::judge(wrapper + u'\'' + quoted + u'\'').destructive.has_value(), reason.has_value());
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestGuardRules)
#include "tst_guard_rules.moc"
