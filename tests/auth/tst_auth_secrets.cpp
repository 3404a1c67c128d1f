// The API-key store on a real Secret Service and on a fake keyring, the key
// import, and what the key means for the sign-in state.
#include "AuthTestKit.h"

#include "auth/QtKeychainBackend.h"
#include "auth/SecretsStore.h"
#include "platform/UserDefaults.h"
#include "support/TestMain.h"

#include <QDir>
#include <QSignalSpy>

using namespace authtest;
using auth::SecretsError;
using auth::SecretsStore;

namespace {

// A service of the tests' own, so a run never touches the app's real item.
const QString kTestService = QStringLiteral("com.ovu.QirvMac.tests");

std::unique_ptr<SecretsStore> realStore(const QString &service = kTestService)
{
    auto store = std::make_unique<SecretsStore>(
        std::make_unique<auth::QtKeychainBackend>(service, QString::fromLatin1(SecretsStore::kKey)));
    QCoro::waitFor(store->ready());
    return store;
}

void writeKeyFile(const QString &relative, const QByteArray &bytes)
{
    const QString path = QDir::home().filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

} // namespace

class SecretsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { resetStoredState(); }

    // Round trip, replace in place, empty key, delete; a second store (a new
    // launch) sees what the first one left.
    void realKeyringRoundTrip()
    {
        auto store = realStore();
        if (store->keyState() == SecretsStore::KeyState::unavailable)
            QFAIL("no Secret Service (run inside dbus-run-session with gnome-keyring-daemon)");
        QVERIFY(waitForTask(store->deleteAPIKey()).ok());
        QCOMPARE(store->keyState(), SecretsStore::KeyState::absent);

        QVERIFY(waitForTask(store->saveAPIKey(QStringLiteral("first key"))).ok());
        QVERIFY(waitForTask(store->saveAPIKey(QStringLiteral("second k\u00e9y "))).ok());
        SECRET_EQ(store->loadAPIKey(), std::optional(QStringLiteral("second k\u00e9y ")));
        SECRET_EQ(realStore()->loadAPIKey(), std::optional(QStringLiteral("second k\u00e9y ")));

        QVERIFY(waitForTask(store->saveAPIKey(QString())).ok());
        SECRET_EQ(realStore()->loadAPIKey(), std::optional(QString()));

        QVERIFY(waitForTask(store->deleteAPIKey()).ok());
        QVERIFY(!store->loadAPIKey());
        auto relaunched = realStore();
        QCOMPARE(relaunched->keyState(), SecretsStore::KeyState::absent);
        // Deleting what is not there is no failure.
        QVERIFY(waitForTask(relaunched->deleteAPIKey()).ok());
    }

    // The store's identity is the app's item: service com.ovu.QirvMac, key api_key.
    void sharedStoreUsesTheAppItem()
    {
        SecretsStore &shared = SecretsStore::shared();
        QCoro::waitFor(shared.ready());
        const auto before = shared.loadAPIKey();
        QVERIFY(waitForTask(shared.saveAPIKey(QStringLiteral("app item"))).ok());
        SECRET_EQ(realStore(QStringLiteral("com.ovu.QirvMac"))->loadAPIKey(), std::optional(QStringLiteral("app item")));
        if (before)
            QVERIFY(waitForTask(shared.saveAPIKey(*before)).ok());
        else
            QVERIFY(waitForTask(shared.deleteAPIKey()).ok());
    }

    void fakeKeyringStates_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("saveError");
        QTest::addColumn<bool>("keepsOldKey");
        using M = FakeKeyringState::Mode;
        using S = SecretsStore::KeyState;
        QTest::newRow("normal") << int(M::normal) << int(S::present) << QString() << false;
        QTest::newRow("locked reads as unavailable, not as no key")
            << int(M::locked) << int(S::unavailable)
            << "Could not save API key to the keyring (status 4). fake keyring refuses" << true;
        QTest::newRow("refused write keeps the old key")
            << int(M::refusing) << int(S::present)
            << "Could not save API key to the keyring (status -25299). fake keyring refuses" << true;
        QTest::newRow("no keyring at all") << int(M::absent) << int(S::unavailable)
                                           << "Could not save API key to the keyring (status 4). fake keyring refuses"
                                           << true;
    }
    void fakeKeyringStates()
    {
        QFETCH(int, mode);
        QFETCH(int, state);
        QFETCH(QString, saveError);
        QFETCH(bool, keepsOldKey);
        auto keyring = std::make_shared<FakeKeyringState>();
        keyring->item = QByteArray("old key");
        keyring->mode = FakeKeyringState::Mode(mode);
        auto store = makeSecrets(keyring);
        QCOMPARE(int(store->keyState()), state);

        const auto saved = waitForTask(store->saveAPIKey(QStringLiteral("new key")));
        QCOMPARE(saved.ok(), saveError.isEmpty());
        if (!saved.ok())
            QCOMPARE(saved.error().description(), saveError);
        if (keepsOldKey)
            SECRET_EQ(keyring->item, std::optional(QByteArray("old key")));
        else
            SECRET_EQ(store->loadAPIKey(), std::optional(QStringLiteral("new key")));
        if (keyring->mode == FakeKeyringState::Mode::refusing)
            SECRET_EQ(store->loadAPIKey(), std::optional(QStringLiteral("old key")));
    }

    // Bytes that are not UTF-8 are no key, and say so as "no key".
    void keyThatIsNotText()
    {
        auto keyring = std::make_shared<FakeKeyringState>();
        keyring->item = QByteArray("sk-\xff\xfe");
        auto store = makeSecrets(keyring);
        QVERIFY(!store->loadAPIKey());
        QCOMPARE(store->keyState(), SecretsStore::KeyState::absent);
    }

    // Keyring jobs finish in order: a save issued while the first read is
    // still out is not undone by that read.
    void saveDuringTheFirstReadWins()
    {
        auto keyring = std::make_shared<FakeKeyringState>();
        keyring->item = QByteArray("old key");
        SecretsStore store(std::make_unique<FakeKeyring>(keyring));
        QCOMPARE(store.keyState(), SecretsStore::KeyState::loading);
        QVERIFY(waitForTask(store.saveAPIKey(QStringLiteral("new key"))).ok());
        SECRET_EQ(store.loadAPIKey(), std::optional(QStringLiteral("new key")));
    }

    void deleteRefusedIsReported()
    {
        auto keyring = std::make_shared<FakeKeyringState>();
        keyring->item = QByteArray("k");
        auto store = makeSecrets(keyring);
        keyring->mode = FakeKeyringState::Mode::locked;
        const auto removed = waitForTask(store->deleteAPIKey());
        QVERIFY(!removed.ok());
        QCOMPARE(removed.error().description(),
                 QStringLiteral("Could not remove API key from the keyring (status 4). fake keyring refuses"));
        QVERIFY(store->loadAPIKey().has_value());
    }

    void importOrder_data()
    {
        QTest::addColumn<QByteArray>("env"); // "<unset>" leaves it unset
        QTest::addColumn<QByteArray>("ovuFile");
        QTest::addColumn<QByteArray>("qirvFile");
        QTest::addColumn<QByteArray>("qirvConfigFile");
        QTest::addColumn<QString>("expected"); // empty: nothing to import
        const QByteArray unset = "<unset>";
        QTest::newRow("environment first, spaces kept") << QByteArray(" env key ") << QByteArray("file") << QByteArray()
                                                         << QByteArray() << " env key ";
        QTest::newRow("environment loses only its line breaks")
            << QByteArray("env-key\r\n") << QByteArray() << QByteArray() << QByteArray() << "env-key";
        QTest::newRow("empty environment falls through to the files")
            << QByteArray("") << QByteArray("  file-key\n") << QByteArray() << QByteArray() << "file-key";
        QTest::newRow("whitespace-only first file is skipped")
            << unset << QByteArray(" \n\t") << QByteArray("qirv-key\n") << QByteArray() << "qirv-key";
        QTest::newRow("third file") << unset << QByteArray() << QByteArray() << QByteArray("cfg-key") << "cfg-key";
        QTest::newRow("file that is not UTF-8 is skipped")
            << unset << QByteArray("\xff\xfe") << QByteArray() << QByteArray("cfg-key") << "cfg-key";
        QTest::newRow("nothing to import") << unset << QByteArray() << QByteArray() << QByteArray() << QString();
    }
    void importOrder()
    {
        QFETCH(QByteArray, env);
        QFETCH(QByteArray, ovuFile);
        QFETCH(QByteArray, qirvFile);
        QFETCH(QByteArray, qirvConfigFile);
        QFETCH(QString, expected);
        if (env != "<unset>")
            qputenv("OVU_API_KEY", env);
        if (!ovuFile.isEmpty())
            writeKeyFile(QStringLiteral(".config/ovu/api_key"), ovuFile);
        if (!qirvFile.isEmpty())
            writeKeyFile(QStringLiteral(".qirv/api_key"), qirvFile);
        if (!qirvConfigFile.isEmpty())
            writeKeyFile(QStringLiteral(".config/qirv/api_key"), qirvConfigFile);

        auto keyring = std::make_shared<FakeKeyringState>();
        auto store = makeSecrets(keyring);
        const auto imported = waitForTask(store->importFromEnvironmentOrConfigFiles());
        QCOMPARE(imported.ok(), !expected.isEmpty());
        if (!imported.ok()) {
            QCOMPARE(imported.error().description(),
                     QStringLiteral("No OVU_API_KEY env var or config file found (~/.config/ovu/api_key, "
                                    "~/.qirv/api_key)."));
            QVERIFY(!keyring->item);
            return;
        }
        SECRET_EQ(imported.value(), expected);
        SECRET_EQ(keyring->item, std::optional(expected.toUtf8()));
        SECRET_EQ(store->loadAPIKey(), std::optional(expected));
    }

    void importSaveFailureIsPassedOn()
    {
        qputenv("OVU_API_KEY", "env-key");
        auto keyring = std::make_shared<FakeKeyringState>();
        keyring->mode = FakeKeyringState::Mode::refusing;
        auto store = makeSecrets(keyring);
        const auto imported = waitForTask(store->importFromEnvironmentOrConfigFiles());
        QVERIFY(!imported.ok());
        QCOMPARE(imported.error().kind, SecretsError::Kind::keychainWriteFailed);
    }

    void importRefusesKeyWithBreakInside_data()
    {
        QTest::addColumn<QByteArray>("env"); // empty: unset
        QTest::addColumn<QByteArray>("ovuFile");
        QTest::addColumn<QString>("source");
        QTest::newRow("environment, line feed") << QByteArray("sk-a\nb") << QByteArray("file-key") << "OVU_API_KEY";
        QTest::newRow("environment, carriage return") << QByteArray("sk-a\rb\n") << QByteArray() << "OVU_API_KEY";
        QTest::newRow("environment, break before a space") << QByteArray("sk-a\n ") << QByteArray() << "OVU_API_KEY";
        QTest::newRow("file, line feed") << QByteArray() << QByteArray("sk-a\nsk-b\n") << "~/.config/ovu/api_key";
        QTest::newRow("file, NUL") << QByteArray() << QByteArray("sk-a\0b\n", 7) << "~/.config/ovu/api_key";
        // A key too large to send is refused the same way.
        QTest::newRow("environment, over 16 KB") << QByteArray(16 * 1024 + 1, 'k') << QByteArray("file-key")
                                                 << "OVU_API_KEY";
        QTest::newRow("file, 65,536 bytes") << QByteArray() << QByteArray(65'536, 'k') << "~/.config/ovu/api_key";
        QTest::newRow("file, a megabyte") << QByteArray() << QByteArray(1 << 20, 'k') << "~/.config/ovu/api_key";
    }
    void importRefusesKeyWithBreakInside()
    {
        QFETCH(QByteArray, env);
        QFETCH(QByteArray, ovuFile);
        QFETCH(QString, source);
        if (!env.isEmpty())
            qputenv("OVU_API_KEY", env);
        if (!ovuFile.isEmpty())
            writeKeyFile(QStringLiteral(".config/ovu/api_key"), ovuFile);
        auto keyring = std::make_shared<FakeKeyringState>();
        keyring->item = QByteArray("old key");
        auto store = makeSecrets(keyring);
        const auto imported = waitForTask(store->importFromEnvironmentOrConfigFiles());
        QVERIFY(!imported.ok());
        const QString why = env.size() > 16 * 1024 || ovuFile.size() > 16 * 1024
            ? QStringLiteral("is larger than 16 KB")
            : QStringLiteral("contains a line break or NUL character");
        QCOMPARE(imported.error().description(), QStringLiteral("The API key in %1 %2; it was not saved.").arg(source, why));
        SECRET_EQ(keyring->item, std::optional(QByteArray("old key")));
        SECRET_EQ(store->loadAPIKey(), std::optional(QStringLiteral("old key")));
    }

    // The key's part in the sign-in state, and the change notice when it moves.
    void keyAndSignInState()
    {
        platform::UserDefaults::setValue(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut), true);
        AuthRig rig;
        auth::MoonshelfAuth &auth = rig.make();
        QVERIFY(!auth.isSignedIn());
        QCOMPARE(auth.authModeDescription(), QStringLiteral("Not signed in"));

        QSignalSpy changed(&auth, &auth::MoonshelfAuth::changed);
        QVERIFY(waitForTask(auth.secrets().saveAPIKey(QString())).ok());
        QVERIFY(changed.count() > 0);
        // An empty key counts as signed in but gives no token.
        QVERIFY(auth.isSignedIn());
        QCOMPARE(auth.authModeDescription(), QStringLiteral("API key"));
        const auto token = waitForTask(auth.bearerToken());
        QVERIFY(!token.ok());
        QCOMPARE(token.error().description(), QStringLiteral("Sign in with Moonshelf (Settings) or add an API key."));

        // A key with line breaks never gives a token holding them.
        QVERIFY(waitForTask(auth.secrets().saveAPIKey(QStringLiteral("\r\nsk-abc\r\n"))).ok());
        const auto safe = waitForTask(auth.bearerToken());
        QVERIFY(safe.ok());
        SECRET_EQ(safe.value(), QStringLiteral("sk-abc"));
    }
};

MOONSHELF_TEST_GUILESS_MAIN(SecretsTest)
#include "tst_auth_secrets.moc"
