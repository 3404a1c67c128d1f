#include "model/SettingsJson.h"
#include "model/SettingsStore.h"
#include "platform/AtomicFile.h"
#include "support/TestMain.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace model;

class TestSettingsStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decoding_data();
    void decoding();
    void encodingRoundTrips();
    void noFileGivesDefaultsAndWritesOnlyOnAssignment();
    void olderFileGainsGuardModeOnFirstWrite();
    void unreadableFileIsSetAsideNotOverwritten_data();
    void unreadableFileIsSetAsideNotOverwritten();
    void readFailureIsNotAFirstStart();
    void noWriteWhenTheBadFileCannotBeMoved();
    void failedSavesAreReportedOncePerRun();
};

namespace {

const QDateTime kNow(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC);

struct Harness {
    QTemporaryDir dir;
    int writes = 0;

    QString path() const { return dir.filePath(QStringLiteral("support/settings.json")); }
    SettingsStore::Options options()
    {
        return {path(),
                [this](const QString &p, const QByteArray &b) {
                    ++writes;
                    return platform::writeFileAtomically(p, b);
                },
                [] { return kNow; }};
    }
    void put(const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path()).absolutePath());
        QVERIFY(platform::writeFileAtomically(path(), bytes).isEmpty());
    }
    QByteArray read() const
    {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

} // namespace


void TestSettingsStore::decoding_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("model");
    QTest::addColumn<ToolGuardMode>("guard");
    QTest::addColumn<bool>("onboarded");
    QTest::addColumn<double>("timeout");
    QTest::addColumn<qint64>("iterations");

    const QString dflt = QStringLiteral("qirv-4.5");
    QTest::newRow("empty object takes per-key values")
        << QByteArray("{}") << true << dflt << ToolGuardMode::Ask << true << 120.0 << qint64(25);
    QTest::newRow("powerUser with yolo derives yolo")
        << QByteArray(R"({"policyMode":"powerUser","yoloEnabled":true})") << true << dflt << ToolGuardMode::Yolo
        << true << 120.0 << qint64(25);
    QTest::newRow("powerUser without yolo derives ask")
        << QByteArray(R"({"policyMode":"powerUser"})") << true << dflt << ToolGuardMode::Ask << true << 120.0
        << qint64(25);
    QTest::newRow("tiered with yolo derives ask")
        << QByteArray(R"({"policyMode":"tiered","yoloEnabled":true})") << true << dflt << ToolGuardMode::Ask
        << true << 120.0 << qint64(25);
    QTest::newRow("stored guard wins over older fields")
        << QByteArray(R"({"policyMode":"powerUser","yoloEnabled":true,"toolGuardMode":"balanced"})") << true
        << dflt << ToolGuardMode::Balanced << true << 120.0 << qint64(25);
    QTest::newRow("null behaves as missing")
        << QByteArray(R"({"model":null,"hasCompletedOnboarding":null,"toolGuardMode":null,"maxAgentIterations":null})")
        << true << dflt << ToolGuardMode::Ask << true << 120.0 << qint64(25);
    QTest::newRow("whole number timeout is a real number")
        << QByteArray(R"({"shellTimeoutSeconds":30,"hasCompletedOnboarding":false,"model":"custom-x"})") << true
        << QStringLiteral("custom-x") << ToolGuardMode::Ask << false << 30.0 << qint64(25);
    QTest::newRow("huge numbers kept as read, not clamped")
        << QByteArray(R"({"shellTimeoutSeconds":1e300,"maxAgentIterations":-5})") << true << dflt
        << ToolGuardMode::Ask << true << 1e300 << qint64(-5);
    QTest::newRow("iterations written as 40.0 is whole")
        << QByteArray(R"({"maxAgentIterations":40.0})") << true << dflt << ToolGuardMode::Ask << true << 120.0
        << qint64(40);
    QTest::newRow("iterations with a fraction") << QByteArray(R"({"maxAgentIterations":2.5})") << false << dflt
                                                << ToolGuardMode::Ask << false << 120.0 << qint64(25);
    QTest::newRow("iterations too large for an integer")
        << QByteArray(R"({"maxAgentIterations":1e300})") << false << dflt << ToolGuardMode::Ask << false << 120.0
        << qint64(25);
    QTest::newRow("iterations as text") << QByteArray(R"({"maxAgentIterations":"25"})") << false << dflt
                                        << ToolGuardMode::Ask << false << 120.0 << qint64(25);
    QTest::newRow("unknown policy mode") << QByteArray(R"({"policyMode":"strict"})") << false << dflt
                                         << ToolGuardMode::Ask << false << 120.0 << qint64(25);
    QTest::newRow("unknown guard mode") << QByteArray(R"({"toolGuardMode":"YOLO"})") << false << dflt
                                        << ToolGuardMode::Ask << false << 120.0 << qint64(25);
    QTest::newRow("flag as number") << QByteArray(R"({"yoloEnabled":1})") << false << dflt << ToolGuardMode::Ask
                                    << false << 120.0 << qint64(25);
    QTest::newRow("top level array") << QByteArray("[]") << false << dflt << ToolGuardMode::Ask << false << 120.0
                                     << qint64(25);
    QTest::newRow("truncated") << QByteArray(R"({"model":"qirv)") << false << dflt << ToolGuardMode::Ask << false
                               << 120.0 << qint64(25);
}

void TestSettingsStore::decoding()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, ok);
    QFETCH(QString, model);
    QFETCH(ToolGuardMode, guard);
    QFETCH(bool, onboarded);
    QFETCH(double, timeout);
    QFETCH(qint64, iterations);

    // Through the store, so a rejected file is seen to give the built-in defaults.
    Harness h;
    h.put(json);
    SettingsStore store(h.options());
    QCOMPARE(store.loadState(), ok ? StoreFileState::Loaded : StoreFileState::Undecodable);
    const AppSettings &s = store.settings();
    QCOMPARE(s.model, model);
    QCOMPARE(s.toolGuardMode, std::optional(guard));
    QCOMPARE(s.hasCompletedOnboarding, onboarded);
    QCOMPARE(s.shellTimeoutSeconds, timeout);
    QCOMPARE(s.maxAgentIterations, iterations);
    if (!ok)
        QCOMPARE(s, SettingsStore::builtInDefaults());
    QCOMPARE(h.writes, 0); // nothing is written at start-up
}

void TestSettingsStore::encodingRoundTrips()
{
    AppSettings s;
    s.model = QStringLiteral("qirv-mini \"x\"");
    s.policyMode = PolicyMode::PowerUser;
    s.yoloEnabled = true;
    s.allowForChatWrites = true;
    s.shellTimeoutSeconds = 12.75;
    s.maxAgentIterations = 9007199254740993; // above 2^53: must not pass through a double
    s.hasCompletedOnboarding = true;
    s.toolGuardMode = ToolGuardMode::Balanced;
    const auto back = decodeSettings(encodeSettings(s));
    QVERIFY(back.ok());
    QCOMPARE(back.value(), s);

    s.toolGuardMode.reset();
    const QByteArray bytes = encodeSettings(s);
    QVERIFY(!bytes.contains("toolGuardMode"));
    QVERIFY(!bytes.contains('\n')); // compact
    QCOMPARE(QJsonDocument::fromJson(bytes).object().size(), 7);
}

void TestSettingsStore::noFileGivesDefaultsAndWritesOnlyOnAssignment()
{
    Harness h;
    SettingsStore store(h.options());
    QCOMPARE(store.loadState(), StoreFileState::NoFile);
    QVERIFY(!store.settings().hasCompletedOnboarding);
    QCOMPARE(store.settings().toolGuardMode, std::optional(ToolGuardMode::Ask));
    QVERIFY(!QFileInfo::exists(h.path()));

    QSignalSpy changed(&store, &SettingsStore::settingsChanged);
    AppSettings s = store.settings();
    s.hasCompletedOnboarding = true;
    store.setSettings(s);
    store.setSettings(s); // the same record again still writes
    QCOMPARE(changed.count(), 2);
    QCOMPARE(h.writes, 2);
    QCOMPARE(decodeSettings(h.read()).value(), s);
}

void TestSettingsStore::olderFileGainsGuardModeOnFirstWrite()
{
    Harness h;
    h.put(R"({"model":"m","policyMode":"powerUser","yoloEnabled":true})");
    SettingsStore store(h.options());
    QCOMPARE(store.settings().toolGuardMode, std::optional(ToolGuardMode::Yolo));
    store.setSettings(store.settings());
    QCOMPARE(QJsonDocument::fromJson(h.read()).object().value(QLatin1String("toolGuardMode")).toString(),
             QStringLiteral("yolo"));
}

void TestSettingsStore::unreadableFileIsSetAsideNotOverwritten_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("not json") << QByteArray("{\"model\": \"qirv-4.5\", tru");
    QTest::newRow("wrong type") << QByteArray(R"({"maxAgentIterations":"many"})");
}

void TestSettingsStore::unreadableFileIsSetAsideNotOverwritten()
{
    QFETCH(QByteArray, bytes);
    Harness h;
    h.put(bytes);
    SettingsStore store(h.options());
    QCOMPARE(store.loadState(), StoreFileState::Undecodable);
    QCOMPARE(h.read(), bytes); // untouched until the first write
    store.setSettings(store.settings());
    const QString aside = h.path() + QStringLiteral(".unreadable-20260304T050607Z");
    QCOMPARE(store.setAsidePath(), aside);
    QFile old(aside);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), bytes);
    QVERIFY(decodeSettings(h.read()).ok());
    QCOMPARE(h.writes, 1);
}

void TestSettingsStore::readFailureIsNotAFirstStart()
{
    // A directory where the file should be: present but unreadable.
    Harness h;
    QVERIFY(QDir().mkpath(h.path()));
    SettingsStore store(h.options());
    QCOMPARE(store.loadState(), StoreFileState::Unreadable);
    store.setSettings(store.settings());
    QVERIFY(QFileInfo(store.setAsidePath()).isDir());
    QVERIFY(QFileInfo(h.path()).isFile());
}

void TestSettingsStore::noWriteWhenTheBadFileCannotBeMoved()
{
    Harness h;
    h.put("garbage");
    // Every name the set-aside may take is already used.
    const QString base = h.path() + QStringLiteral(".unreadable-20260304T050607Z");
    for (int n = 1; n <= 20; ++n)
        QVERIFY(QDir().mkpath(n == 1 ? base : base + QLatin1Char('-') + QString::number(n)));
    SettingsStore store(h.options());
    QSignalSpy failures(&store, &SettingsStore::saveFailed);
    AppSettings s = store.settings();
    s.model = QStringLiteral("changed");
    store.setSettings(s);
    store.setSettings(s);
    QVERIFY(store.writesBlocked());
    // Said once, with why.
    QCOMPARE(failures.size(), 1);
    QCOMPARE(failures.at(0).at(0).toString(), QStringLiteral("settings.json could not be moved aside"));
    QCOMPARE(store.settings().model, QStringLiteral("changed")); // kept in memory
    QCOMPARE(h.writes, 0);
    QCOMPARE(h.read(), QByteArray("garbage"));
}

void TestSettingsStore::failedSavesAreReportedOncePerRun()
{
    Harness h;
    // One result per write, in order; an empty one lets the write through.
    QStringList results{"write: No space left on device", "write: No space left on device", QString(),
                        "create: Read-only file system"};
    SettingsStore::Options options = h.options();
    options.writer = [&results](const QString &path, const QByteArray &bytes) {
        const QString result = results.isEmpty() ? QString() : results.takeFirst();
        return result.isEmpty() ? platform::writeFileAtomically(path, bytes) : result;
    };
    SettingsStore store(options);
    QSignalSpy failures(&store, &SettingsStore::saveFailed);
    for (const char *model : {"one", "two", "three", "four"}) {
        AppSettings s = store.settings();
        s.model = QString::fromLatin1(model);
        store.setSettings(s);
    }
    QCOMPARE(failures.size(), 2);
    QCOMPARE(failures.at(0).at(0).toString(), QStringLiteral("write: No space left on device"));
    QCOMPARE(failures.at(1).at(0).toString(), QStringLiteral("create: Read-only file system"));
    QCOMPARE(store.settings().model, QStringLiteral("four")); // kept in memory
    QVERIFY(decodeSettings(h.read()));
    QCOMPARE(decodeSettings(h.read()).value().model, QStringLiteral("three"));
}

MOONSHELF_TEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
