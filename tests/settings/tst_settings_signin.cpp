// The sign-in section and the banner against the loopback authorization
// server: waiting, the code, cancel, success, failure, sign-out, import.
#include "SettingsTestKit.h"

#include "app/AccountController.h"
#include "glass/sheets/AlertSheet.h"
#include "glass/controls/StyledButton.h"
#include "platform/UserDefaults.h"
#include "settings/LinkButton.h"
#include "settings/SettingsButton.h"
#include "settings/SignInSection.h"
#include "support/NamedWidget.h"
#include "support/OAuthServerPeer.h"
#include "support/TestMain.h"

#include <QLabel>
#include <QSignalSpy>

using namespace settingstest;
using settings::SettingsWindow;
using testsupport::OAuthServerPeer;

namespace {

// The sign-in card's controls, as a screen reader names them.
const QString kSignIn = QStringLiteral("Sign in with Moonshelf");
const QString kSignOut = QStringLiteral("Sign out Moonshelf");
const QString kImport = QStringLiteral("Import from Qirv CLI");
const QString kPageLink = QStringLiteral("Open sign-in page");

const QByteArray kDevicePath = "/oauth2/device/code";
const QByteArray kTokenPath = "/oauth2/token";
const QByteArray kPending = R"({"error":"authorization_pending"})";

QByteArray deviceReply(const QByteArray &verification)
{
    return R"({"device_code":"dc-1","user_code":"ABCD-EFGH","interval":5,"expires_in":600,"verification_uri":")" +
           verification + "\"}";
}

} // namespace

class SignInSectionTest : public authtest::ServerTestCase {
    Q_OBJECT

    std::unique_ptr<Rig> m_settings;
    QStringList m_log;

    SettingsWindow &makeWindow()
    {
        m_settings = std::make_unique<Rig>();
        SettingsWindow &window = m_settings->make();
        // Every banner the window shows, in order.
        connect(&window, &SettingsWindow::bannerChanged, this, [this, &window] { m_log.append(describe(window.banner())); });
        return window;
    }

    void waitUntilSignInEnds()
    {
        QTRY_VERIFY_WITH_TIMEOUT(!m_settings->auth().isSigningIn(), 20000);
    }

private slots:
    void init()
    {
        QVERIFY(startServer());
        platform::UserDefaults::setValue(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut), true);
        Rig::clearKeyring();
        m_log.clear();
    }
    void cleanup()
    {
        m_settings.reset();
        stopServer();
    }

    // Press sign-in: information, the code and the page while waiting,
    // then one success; the controller's fields follow the session.
    void signInShowsCodeThenSuccess()
    {
        m_peer->enqueue(kDevicePath, OAuthServerPeer::json(200, deviceReply("https://example.test/device")));
        m_peer->enqueue(kTokenPath, OAuthServerPeer::json(400, kPending));
        OAuthServerPeer::Reply tokens = OAuthServerPeer::json(
            200, R"({"access_token":"at-1","refresh_token":"rt-1","expires_in":3600,"email":"ada@example.com"})");
        tokens.held = true;
        m_peer->enqueue(kTokenPath, tokens);

        SettingsWindow &window = makeWindow();
        window.show();
        REQUIRE_CHILD(section, settings::SignInSection, &window);
        REQUIRE_NAMED(signIn, settings::SettingsButton, section, kSignIn);
        REQUIRE_NAMED(signOut, settings::SettingsButton, section, kSignOut);
        REQUIRE_NAMED(pageLink, settings::LinkButton, section, kPageLink);
        REQUIRE_CHILD(detail, QLabel, section, QStringLiteral("signInDetail"));
        REQUIRE_CHILD(code, QLabel, section, QStringLiteral("signInCode"));
        REQUIRE_CHILD(mode, QLabel, section, QStringLiteral("signInMode"));
        QVERIFY(!section->isWaitingShown());
        QCOMPARE(detail->text(), QStringLiteral("Not connected. Sign in or import your Qirv CLI session."));
        QVERIFY(!section->dotShowsSignedIn());

        signIn->click();
        QVERIFY(section->isWaitingShown());
        QTRY_VERIFY_WITH_TIMEOUT(m_peer->heldCount() == 1, 10000);
        QVERIFY(code->isVisibleTo(section));
        QCOMPARE(code->text(), QStringLiteral("Code: ABCD-EFGH"));
        QVERIFY(pageLink->isVisibleTo(section));
        savePicture(window, QStringLiteral("settings-signin-waiting-dark"), section);

        m_settings->desktop().opened.clear();
        pageLink->click();
        QCOMPARE(m_settings->desktop().opened, (QList<QUrl>{QUrl(QStringLiteral("https://example.test/device"))}));

        m_peer->release();
        waitUntilSignInEnds();
        QCOMPARE(m_log, (QStringList{
                            "info: Opening browser for Moonshelf sign-in\u2026",
                            "success: Starting Moonshelf sign-in\u2026",
                            "success: Approve code ABCD-EFGH in your browser",
                            "success: Signed in with Moonshelf as ada@example.com.",
                        }));
        QVERIFY(!section->isWaitingShown());
        QVERIFY(signOut->isVisibleTo(section));
        QCOMPARE(mode->text(), QStringLiteral("Moonshelf \u00b7 ada@example.com"));
        QCOMPARE(detail->text(), QStringLiteral("ada@example.com"));
        QVERIFY(section->dotShowsSignedIn());
        QVERIFY(m_settings->vm().isAuthenticated());
        QCOMPARE(m_settings->vm().authStatusText(), QStringLiteral("Moonshelf \u00b7 ada@example.com"));
        savePicture(window, QStringLiteral("settings-signin-success-dark"), section);
        m_settings->skins().setSelectedID(QStringLiteral("daylight"));
        savePicture(window, QStringLiteral("settings-signin-success-light"), section);

        // The service turned the session down: not shown as connected until
        // the session changes.
        m_settings->vm().account().noteCredentialRefused();
        QVERIFY(!section->dotShowsSignedIn());
        signOut->click();
        QVERIFY(!m_settings->vm().account().isCredentialRefused());
    }

    // A refusal shows one error and never a success after it.
    void refusalShowsOneError()
    {
        m_peer->enqueue(kDevicePath, OAuthServerPeer::json(200, deviceReply("https://example.test/device")));
        m_peer->enqueue(kTokenPath, OAuthServerPeer::json(400, R"({"error":"access_denied"})"));
        SettingsWindow &window = makeWindow();
        window.show();
        REQUIRE_CHILD(section, settings::SignInSection, &window);
        REQUIRE_NAMED(signIn, settings::SettingsButton, section, kSignIn);
        signIn->click();
        waitUntilSignInEnds();
        QCOMPARE(m_log.size(), 4);
        QVERIFY2(m_log.last().startsWith(QStringLiteral("error: ")), qPrintable(m_log.join(" | ")));
        QCOMPARE(m_log.filter(QStringLiteral("Sign-in failed")).size(), 0);
        QVERIFY(!m_settings->vm().isAuthenticated());
        QVERIFY(!section->isWaitingShown());
        savePicture(window, QStringLiteral("settings-signin-error-dark"), section);
        m_settings->skins().setSelectedID(QStringLiteral("paper"));
        savePicture(window, QStringLiteral("settings-signin-error-light"), section);
    }

    // Cancel stops the waiting and says so; nothing is opened or stored.
    void cancelWhileWaiting()
    {
        m_peer->enqueue(kDevicePath, OAuthServerPeer::json(200, deviceReply("https://example.test/device")));
        OAuthServerPeer::Reply held = OAuthServerPeer::json(400, kPending);
        held.hang = true;
        m_peer->setFallback(kTokenPath, held);
        SettingsWindow &window = makeWindow();
        window.show();
        REQUIRE_CHILD(section, settings::SignInSection, &window);
        REQUIRE_NAMED(signIn, settings::SettingsButton, section, kSignIn);
        REQUIRE_NAMED(cancel, settings::SettingsButton, section, QStringLiteral("Cancel"));
        signIn->click();
        QTRY_VERIFY_WITH_TIMEOUT(!m_peer->requestsTo(kTokenPath).isEmpty(), 10000);
        cancel->click();
        QVERIFY(!section->isWaitingShown());
        QCOMPARE(m_log.last(), QStringLiteral("success: Sign-in cancelled"));
        QVERIFY(!m_settings->auth().session());
    }

    // Without a browser the window says where to go, with the code, and
    // the page link says so again with the address.
    void noBrowserSaysWhereToGo()
    {
        m_peer->enqueue(kDevicePath, OAuthServerPeer::json(200, deviceReply("https://example.test/device")));
        OAuthServerPeer::Reply held = OAuthServerPeer::json(400, kPending);
        held.hang = true;
        m_peer->setFallback(kTokenPath, held);
        SettingsWindow &window = makeWindow();
        m_settings->desktop().browserWorks = false;
        m_settings->desktop().answerAfter = std::chrono::milliseconds(300); // as a failing opener does
        window.show();
        REQUIRE_CHILD(section, settings::SignInSection, &window);
        REQUIRE_NAMED(signIn, settings::SettingsButton, section, kSignIn);
        REQUIRE_NAMED(pageLink, settings::LinkButton, section, kPageLink);
        signIn->click();
        QTRY_VERIFY_WITH_TIMEOUT(m_settings->auth().signInUserCode().has_value(), 10000);
        QTRY_COMPARE(m_log.last(), QStringLiteral("error: No browser could be started. Open https://example.test/device "
                                                  "in a browser and approve code ABCD-EFGH there."));
        QVERIFY(m_settings->auth().isSigningIn()); // the code still works
        pageLink->click();
        QTRY_COMPARE(m_log.last(), QStringLiteral("error: No browser could be started to open "
                                                  "https://example.test/device. Copy the address into a browser "
                                                  "yourself."));
    }

    // A sign-in page that is not a web address is neither linked nor opened.
    void nonWebPageIsNotOffered()
    {
        m_peer->enqueue(kDevicePath, OAuthServerPeer::json(200, deviceReply("file:///etc/passwd")));
        OAuthServerPeer::Reply held = OAuthServerPeer::json(400, kPending);
        held.hang = true;
        m_peer->setFallback(kTokenPath, held);
        SettingsWindow &window = makeWindow();
        window.show();
        REQUIRE_CHILD(section, settings::SignInSection, &window);
        REQUIRE_NAMED(signIn, settings::SettingsButton, section, kSignIn);
        REQUIRE_NAMED(pageLink, settings::LinkButton, section, kPageLink);
        signIn->click();
        QTRY_VERIFY_WITH_TIMEOUT(m_settings->auth().signInUserCode().has_value() || !m_settings->auth().isSigningIn(),
                                 10000);
        QVERIFY(!pageLink->isVisibleTo(section));
        QVERIFY(!m_settings->vm().account().signInVerificationURL());
        pageLink->click();
        QVERIFY(m_settings->desktop().opened.isEmpty());
    }

    void importFromCli_data()
    {
        QTest::addColumn<QByteArray>("file"); // empty: no file
        QTest::addColumn<QString>("banner");
        QTest::addColumn<QString>("alert");
        QTest::addColumn<bool>("signedIn");
        const QString path = QDir::home().filePath(QStringLiteral(".qirv/auth.json"));
        QTest::newRow("session with e-mail")
            << QByteArray(R"({"access_token":"cli-1","email":"bo@example.com"})")
            << "success: Imported Moonshelf session for bo@example.com from " + path
            << "info|Moonshelf connected: Imported Moonshelf session for bo@example.com from " + path << true;
        const QString missing =
            QStringLiteral("No ~/.qirv/auth.json found. Use \u201cSign in with Moonshelf\u201d, or log in with the "
                           "Qirv CLI first.");
        QTest::newRow("no file") << QByteArray() << "error: " + missing << "warning|Import failed: " + missing << false;
    }
    // The import says what it reads, then its outcome in the banner and an alert.
    void importFromCli()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, banner);
        QFETCH(QString, alert);
        QFETCH(bool, signedIn);
        SettingsWindow &window = makeWindow();
        window.show();
        REQUIRE_CHILD(section, settings::SignInSection, &window);
        REQUIRE_NAMED(importSession, settings::SettingsButton, section, kImport);
        REQUIRE_NAMED(signOut, settings::SettingsButton, section, kSignOut);
        if (!file.isEmpty())
            authtest::writeCliAuth(file);
        importSession->click();
        QCOMPARE(m_log.first(), QStringLiteral("info: Importing from ") +
                                    QDir::home().filePath(QStringLiteral(".qirv/auth.json")) + QChar(0x2026));
        QTRY_COMPARE(m_settings->alerts().size(), 1);
        QCOMPARE(m_log.last(), banner);
        QCOMPARE(m_settings->alerts().first(), alert);
        QCOMPARE(m_settings->vm().isAuthenticated(), signedIn);
        QCOMPARE(signOut->isVisibleTo(section), signedIn);
    }

    // The import's alert is a sheet in the settings window itself: Return
    // or Escape on it closes the sheet, and only the sheet.
    void importAlertIsASheet_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("Escape") << int(Qt::Key_Escape);
    }
    void importAlertIsASheet()
    {
        QFETCH(int, key);
        makeWindow();
        // A window with the presenter it is built with, not the tests' own.
        SettingsWindow window(m_settings->vm(), m_settings->styles());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        REQUIRE_CHILD(section, settings::SignInSection, &window);
        REQUIRE_NAMED(importSession, settings::SettingsButton, section, kImport);
        importSession->click();
        QTRY_VERIFY(window.sheets() && window.sheets()->isOpen());
        auto *sheet = qobject_cast<glass::AlertSheet *>(window.sheets()->content());
        QVERIFY(sheet);
        QCOMPARE(sheet->title(), QStringLiteral("Import failed"));
        QCOMPARE(sheet->kind(), glass::AlertSheet::Kind::warning);
        QVERIFY(sheet->message().startsWith(QStringLiteral("No ~/.qirv/auth.json found.")));
        QCOMPARE(sheet->defaultButton()->text(), QStringLiteral("OK"));
        QTRY_COMPARE(QApplication::focusWidget(), sheet->defaultButton());
        savePicture(window, QStringLiteral("settings-import-failed-sheet"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QTRY_VERIFY(!window.sheets()->isOpen());
        QVERIFY(window.isVisible());
    }

    // Sign-out forgets the session and the controller follows at once.
    void signOut()
    {
        authtest::writeCliAuth(R"({"access_token":"cli-1","email":"bo@example.com"})");
        platform::UserDefaults::remove(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut));
        SettingsWindow &window = makeWindow();
        QVERIFY(m_settings->auth().session());
        window.show();
        REQUIRE_CHILD(section, settings::SignInSection, &window);
        REQUIRE_NAMED(signOut, settings::SettingsButton, section, kSignOut);
        // Opened with a session and a status: that status as information.
        QCOMPARE(m_log, (QStringList{"info: " + *m_settings->auth().lastStatus()}));
        signOut->click();
        QCOMPARE(m_log.last(), QStringLiteral("info: Signed out of Moonshelf session."));
        QVERIFY(!m_settings->vm().isAuthenticated());
        QCOMPARE(m_settings->vm().authStatusText(), QStringLiteral("Not signed in"));
        QVERIFY(!signOut->isVisibleTo(section));
    }

    // Escape does what Done does: the controller's fields are refreshed and the window closes.
    void escapeIsDone()
    {
        SettingsWindow &window = makeWindow();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        authtest::writeCliAuth(R"({"access_token":"cli-1"})");
        QVERIFY(m_settings->auth().importFromQirvCLI().ok());
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.isVisible());
        QVERIFY(m_settings->vm().isAuthenticated());
        QCOMPARE(m_settings->vm().authStatusText(), QStringLiteral("Moonshelf \u00b7 Moonshelf session"));
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(SignInSectionTest)
#include "tst_settings_signin.moc"
