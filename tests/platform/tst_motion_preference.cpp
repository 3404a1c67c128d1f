#include "platform/MotionPreference.h"
#include "support/TestMain.h"

#include <QDBusContext>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QTest>

using platform::MotionPreference;

namespace {

const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Settings");

// The desktop portal's settings as this test sets them.
class FakePortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    QHash<QString, QVariant> values; // "namespace/key" -> value

public slots:
    QDBusVariant Read(const QString &nameSpace, const QString &key)
    {
        const auto it = values.constFind(nameSpace + u'/' + key);
        if (it == values.constEnd()) {
            sendErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotFound"), QStringLiteral("no such key"));
            return {};
        }
        // Read answers a variant inside a variant.
        return QDBusVariant(QVariant::fromValue(QDBusVariant(*it)));
    }
};

} // namespace

class MotionPreferenceTest : public QObject {
    Q_OBJECT
private slots:
    void decide_data()
    {
        QTest::addColumn<int>("reducedMotion"); // -1: not set
        QTest::addColumn<int>("enableAnimations"); // -1: not set
        QTest::addColumn<bool>("reduce");
        QTest::newRow("nothing known") << -1 << -1 << false;
        QTest::newRow("animations off") << -1 << 0 << true;
        QTest::newRow("animations on") << -1 << 1 << false;
        QTest::newRow("reduce wins over animations on") << 1 << 1 << true;
        QTest::newRow("no preference wins over animations off") << 0 << 0 << false;
        QTest::newRow("unknown value") << 2 << -1 << false;
    }
    void decide()
    {
        QFETCH(int, reducedMotion);
        QFETCH(int, enableAnimations);
        QFETCH(bool, reduce);
        const auto rm = reducedMotion < 0 ? std::nullopt : std::optional<uint>(uint(reducedMotion));
        const auto ea = enableAnimations < 0 ? std::nullopt : std::optional<bool>(enableAnimations == 1);
        QCOMPARE(MotionPreference::decide(rm, ea), reduce);
    }

    // Read at start (one key missing), then followed through SettingChanged.
    void followsThePortal()
    {
        QDBusConnection fakeBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-portal"));
        if (!fakeBus.isConnected())
            QSKIP("no session bus");
        FakePortal portal;
        portal.values.insert(QStringLiteral("org.gnome.desktop.interface/enable-animations"), false);
        QVERIFY(fakeBus.registerObject(kPath, &portal, QDBusConnection::ExportAllSlots));

        MotionPreference motion(QDBusConnection::sessionBus(), fakeBus.baseService());
        QSignalSpy changes(&motion, &MotionPreference::reduceMotionChanged);
        QTRY_COMPARE(changes.count(), 1);
        QVERIFY(motion.reduceMotion());

        const auto change = [&](const QString &nameSpace, const QString &key, const QVariant &value) {
            QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, QStringLiteral("SettingChanged"));
            signal << nameSpace << key << QVariant::fromValue(QDBusVariant(value));
            QVERIFY(fakeBus.send(signal));
        };
        change(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("reduced-motion"), 0u);
        QTRY_COMPARE(changes.count(), 2);
        change(QStringLiteral("org.gnome.desktop.interface"), QStringLiteral("enable-animations"), true);
        change(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"), 1u);
        change(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("reduced-motion"), 1u);
        QTRY_COMPARE(changes.count(), 3);
        QVERIFY(motion.reduceMotion());

        QList<bool> log;
        for (const QList<QVariant> &args : std::as_const(changes))
            log << args.constFirst().toBool();
        QCOMPARE(log, (QList<bool>{true, false, true}));
        fakeBus.unregisterObject(kPath);
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-portal"));
    }
};

MOONSHELF_TEST_GUILESS_MAIN(MotionPreferenceTest)
#include "tst_motion_preference.moc"
