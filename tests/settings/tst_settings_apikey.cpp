// The API key section on a real Secret Service (and a fake keyring for a
// locked one): save, refused keys, import, clear, the pre-filled field.
#include "SettingsTestKit.h"

#include "app/AccountController.h"
#include "platform/UserDefaults.h"
#include "settings/ApiKeySection.h"
#include "settings/SettingsButton.h"
#include "support/NamedWidget.h"
#include "support/TestMain.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>

using namespace settingstest;
using settings::ApiKeySection;
using settings::SettingsButton;
using settings::SettingsWindow;

namespace {

void writeKeyFile(const QString &relative, const QByteArray &bytes)
{
    const QString path = QDir::home().filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

// The section's controls, as a screen reader names them.
const QString kKeyField = QStringLiteral("Ovu API key");
const QString kSave = QStringLiteral("Save to Keyring");
const QString kClear = QStringLiteral("Clear key");
const QString kImport = QStringLiteral("Import from env / config");
const QString kKeyringNote = QStringLiteral("The keyring is unavailable: a stored key can be neither read nor changed "
                                            "until it is unlocked.");

void typeKey(QLineEdit *field, const QString &text)
{
    field->clear();
    QTest::keyClicks(field, text);
}

// Runs a section action to its end.
void finish(ApiKeySection *section, SettingsButton *button)
{
    QSignalSpy done(section, &ApiKeySection::actionFinished);
    button->click();
    // A refusal may finish before the click returns.
    QVERIFY(!done.isEmpty() || done.wait(10000));
}

} // namespace

class ApiKeySectionTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Rig> m_rig;

    SettingsWindow &makeWindow()
    {
        m_rig = std::make_unique<Rig>();
        SettingsWindow &window = m_rig->make();
        window.show();
        return window;
    }

private slots:
    void init()
    {
        authtest::resetStoredState();
        platform::UserDefaults::setValue(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut), true);
        if (!Rig::keyringAvailable())
            QFAIL("no Secret Service (run inside dbus-run-session with gnome-keyring-daemon)");
        Rig::clearKeyring();
    }
    void cleanup() { m_rig.reset(); }

    // A typed key is stored trimmed; the field keeps what was typed; the
    // controller counts the key; Clear follows the keyring.
    void saveStoresTrimmedKey()
    {
        SettingsWindow &window = makeWindow();
        REQUIRE_CHILD(section, ApiKeySection, &window);
        REQUIRE_NAMED(field, QLineEdit, section, kKeyField);
        REQUIRE_NAMED(save, SettingsButton, section, kSave);
        REQUIRE_NAMED(clear, SettingsButton, section, kClear);
        QVERIFY(!clear->isVisibleTo(section));
        typeKey(field, QStringLiteral("  sk-typed-1 "));
        finish(section, save);
        SECRET_EQ(Rig::keyringNow(), std::optional(QStringLiteral("sk-typed-1")));
        SECRET_EQ(field->text(), QStringLiteral("  sk-typed-1 "));
        QCOMPARE(describe(window.banner()), QStringLiteral("success: API key saved to the keyring (fallback)."));
        QCOMPARE(m_rig->vm().authStatusText(), QStringLiteral("API key"));
        QVERIFY(m_rig->vm().isAuthenticated());
        QVERIFY(clear->isVisibleTo(section));
        savePicture(window, QStringLiteral("settings-apikey-saved-dark"), section);

        finish(section, clear);
        QVERIFY(!Rig::keyringNow());
        QCOMPARE(describe(window.banner()), QStringLiteral("info: API key removed."));
        QCOMPARE(m_rig->vm().authStatusText(), QStringLiteral("Not signed in"));
        QVERIFY(!clear->isVisibleTo(section));
        // The text stays and can be saved again.
        QVERIFY(save->isEnabled());
    }

    // A focused button that goes away as its action ends gives the keyboard
    // to the control before it, and the page stays where it was: it does
    // not jump to whatever control comes next further down.
    void hiddenButtonKeepsThePageStill()
    {
        SettingsWindow &window = makeWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        REQUIRE_CHILD(section, ApiKeySection, &window);
        REQUIRE_NAMED(field, QLineEdit, section, kKeyField);
        REQUIRE_NAMED(save, SettingsButton, section, kSave);
        REQUIRE_NAMED(clear, SettingsButton, section, kClear);
        typeKey(field, QStringLiteral("sk-typed-2"));
        finish(section, save);
        QVERIFY(clear->isVisibleTo(section));
        // The key's buttons near the bottom of the page, the next controls below it.
        REQUIRE_CHILD(page, QScrollArea, &window);
        QScrollBar *bar = page->verticalScrollBar();
        const QPoint buttonsInPage = clear->mapTo(page->widget(), QPoint(0, 0));
        bar->setValue(buttonsInPage.y() - page->viewport()->height() + 60);
        const int before = bar->value();
        QVERIFY(before > 0 && before < bar->maximum());
        clear->setFocus(Qt::TabFocusReason);

        QSignalSpy done(section, &ApiKeySection::actionFinished);
        QTest::keyClick(clear, Qt::Key_Space);
        QVERIFY(!done.isEmpty() || done.wait(10000));
        QVERIFY(!clear->isVisibleTo(section));
        // Held while the key was removed, then gone: the keyboard stays in the section.
        QVERIFY(QApplication::focusWidget());
        QVERIFY2(section->isAncestorOf(QApplication::focusWidget()), QApplication::focusWidget()->metaObject()->className());
        QCOMPARE(bar->value(), before);
    }

    void refusedKeys_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("buttonEnabled");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty") << QString() << false << "error: The API key is empty; nothing was saved.";
        QTest::newRow("spaces and tabs") << QStringLiteral(" \t ") << false
                                         << "error: The API key is empty; nothing was saved.";
        QTest::newRow("line break inside") << QStringLiteral("sk-a\nsk-b") << true
                                           << "error: The API key holds a line break; nothing was saved.";
        QTest::newRow("over 16 KB") << QString(16 * 1024 + 1, u'k') << true
                                    << "error: The API key is larger than 16 KB; nothing was saved.";
        QTest::newRow("65,536 bytes") << QString(65'536, u'k') << true
                                      << "error: The API key is larger than 16 KB; nothing was saved.";
    }
    // A refused key never replaces the stored one.
    void refusedKeys()
    {
        QFETCH(QString, typed);
        QFETCH(bool, buttonEnabled);
        QFETCH(QString, error);
        QVERIFY(Rig::storeInKeyring(QStringLiteral("sk-kept")));
        SettingsWindow &window = makeWindow();
        REQUIRE_CHILD(section, ApiKeySection, &window);
        REQUIRE_NAMED(field, QLineEdit, section, kKeyField);
        REQUIRE_NAMED(save, SettingsButton, section, kSave);
        field->setText(typed);
        QCOMPARE(save->isEnabled(), buttonEnabled);
        const auto saved = testsupport::waitForTask(m_rig->vm().account().saveAPIKey(typed));
        QVERIFY(!saved.ok());
        QCOMPARE(QStringLiteral("error: ") + saved.error(), error);
        SECRET_EQ(Rig::keyringNow(), std::optional(QStringLiteral("sk-kept")));
    }

    void import_data()
    {
        QTest::addColumn<QByteArray>("env");         // empty: unset
        QTest::addColumn<QByteArray>("qirvKeyFile"); // empty: none
        QTest::addColumn<QString>("expected");       // empty: nothing to import
        QTest::newRow("environment kept exactly") << QByteArray(" env-key ") << QByteArray("file-key") << " env-key ";
        QTest::newRow("key file without its newline") << QByteArray() << QByteArray("file-key\n") << "file-key";
        QTest::newRow("nothing") << QByteArray() << QByteArray() << QString();
    }
    void import()
    {
        QFETCH(QByteArray, env);
        QFETCH(QByteArray, qirvKeyFile);
        QFETCH(QString, expected);
        if (!env.isEmpty())
            qputenv("OVU_API_KEY", env);
        if (!qirvKeyFile.isEmpty())
            writeKeyFile(QStringLiteral(".qirv/api_key"), qirvKeyFile);
        SettingsWindow &window = makeWindow();
        REQUIRE_CHILD(section, ApiKeySection, &window);
        REQUIRE_NAMED(field, QLineEdit, section, kKeyField);
        REQUIRE_NAMED(importKey, SettingsButton, section, kImport);
        typeKey(field, QStringLiteral("typed"));
        finish(section, importKey);
        if (expected.isEmpty()) {
            QCOMPARE(describe(window.banner()),
                     QStringLiteral("error: No OVU_API_KEY env var or config file found (~/.config/ovu/api_key, "
                                    "~/.qirv/api_key)."));
            SECRET_EQ(field->text(), QStringLiteral("typed"));
            QVERIFY(!Rig::keyringNow());
            QVERIFY(!m_rig->vm().isAuthenticated());
        } else {
            QCOMPARE(describe(window.banner()), QStringLiteral("success: Imported API key and saved to the keyring."));
            SECRET_EQ(field->text(), expected);
            SECRET_EQ(Rig::keyringNow(), std::optional(expected));
            QCOMPARE(m_rig->vm().authStatusText(), QStringLiteral("API key"));
        }
        qunsetenv("OVU_API_KEY");
    }

    // The stored key fills the masked field each time the window is shown,
    // over what was typed; it is never shown in clear.
    void storedKeyFillsMaskedField()
    {
        QVERIFY(Rig::storeInKeyring(QStringLiteral("sk-stored")));
        SettingsWindow &window = makeWindow();
        REQUIRE_CHILD(section, ApiKeySection, &window);
        REQUIRE_NAMED(field, QLineEdit, section, kKeyField);
        REQUIRE_NAMED(clear, SettingsButton, section, kClear);
        REQUIRE_NAMED(note, QLabel, section, kKeyringNote);
        SECRET_EQ(field->text(), QStringLiteral("sk-stored"));
        QCOMPARE(field->echoMode(), QLineEdit::Password);
        QVERIFY(field->displayText() != field->text());
        QVERIFY(clear->isVisibleTo(section));
        QVERIFY(!note->isVisibleTo(section));

        window.hide();
        typeKey(field, QStringLiteral("other"));
        window.show();
        SECRET_EQ(field->text(), QStringLiteral("sk-stored"));
        savePicture(window, QStringLiteral("settings-apikey-stored-dark"), section);
    }

    // A locked keyring is not "no key": the field is left alone and the
    // section says the keyring cannot be read.
    void lockedKeyringIsToldApart()
    {
        auto state = std::make_shared<authtest::FakeKeyringState>();
        state->item = QByteArray("sk-behind-the-lock");
        state->mode = authtest::FakeKeyringState::Mode::locked;
        m_rig = std::make_unique<Rig>();
        m_rig->useFakeKeyring(state);
        SettingsWindow &window = m_rig->make();
        REQUIRE_CHILD(section, ApiKeySection, &window);
        REQUIRE_NAMED(field, QLineEdit, section, kKeyField);
        REQUIRE_NAMED(save, SettingsButton, section, kSave);
        REQUIRE_NAMED(clear, SettingsButton, section, kClear);
        typeKey(field, QStringLiteral("typed-before"));
        window.show();
        REQUIRE_NAMED(note, QLabel, section, kKeyringNote);
        QCOMPARE(m_rig->vm().account().keyState(), app::AccountController::KeyState::Unavailable);
        SECRET_EQ(field->text(), QStringLiteral("typed-before"));
        QVERIFY(note->isVisibleTo(section));
        QVERIFY(!clear->isVisibleTo(section));
        finish(section, save);
        QVERIFY(describe(window.banner()).startsWith(QStringLiteral("error: Could not save API key to the keyring")));
        QVERIFY(state->item == QByteArray("sk-behind-the-lock"));
        savePicture(window, QStringLiteral("settings-apikey-locked-dark"), section);
        m_rig->skins().setSelectedID(QStringLiteral("daylight"));
        savePicture(window, QStringLiteral("settings-apikey-locked-light"), section);
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(ApiKeySectionTest)
#include "tst_settings_apikey.moc"
