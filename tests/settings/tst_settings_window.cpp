// The settings window's frame: the banner rules, the alert style, the
// section order, the window's size limits, legible text on every surface in
// a dark and a light skin, and pictures of the whole window.
#include "SettingsTestKit.h"

#include "app/AccountController.h"
#include "glass/look/Contrast.h"
#include "platform/UserDefaults.h"
#include "settings/BannerView.h"
#include "settings/SectionCard.h"
#include "settings/SignInSection.h"
#include "support/NamedWidget.h"
#include "support/TestMain.h"

#include <QScrollArea>
#include <QScrollBar>

using namespace settingstest;
using settings::Banner;
using settings::SettingsWindow;
namespace BannerRules = settings::BannerRules;

namespace {
using OptText = std::optional<QString>;
const OptText none;
} // namespace

Q_DECLARE_METATYPE(std::optional<QString>)

class SettingsWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Rig> m_rig;

private slots:
    void init()
    {
        authtest::resetStoredState();
        platform::UserDefaults::setValue(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut), true);
        Rig::clearKeyring();
    }
    void cleanup() { m_rig.reset(); }

    void bannerRules_data()
    {
        QTest::addColumn<QString>("hook");
        QTest::addColumn<bool>("hasSession");
        QTest::addColumn<OptText>("status");
        QTest::addColumn<OptText>("error");
        QTest::addColumn<QString>("expected");
        const OptText status = QStringLiteral("Signed out");
        const OptText error = QStringLiteral("Sign-in failed: denied");
        QTest::newRow("appear with session and status") << "appear" << true << status << none << "info: Signed out";
        QTest::newRow("appear without session") << "appear" << false << status << none << "-";
        QTest::newRow("appear without status") << "appear" << true << none << none << "-";
        QTest::newRow("status without error") << "status" << false << status << none << "success: Signed out";
        QTest::newRow("status while an error stands") << "status" << false << status << error << "-";
        QTest::newRow("status cleared") << "status" << false << none << none << "-";
        QTest::newRow("error") << "error" << false << none << error << "error: Sign-in failed: denied";
        QTest::newRow("error cleared keeps the banner") << "error" << false << none << none << "-";
    }
    void bannerRules()
    {
        QFETCH(QString, hook);
        QFETCH(bool, hasSession);
        QFETCH(OptText, status);
        QFETCH(OptText, error);
        QFETCH(QString, expected);
        std::optional<Banner> banner;
        if (hook == QLatin1String("appear"))
            banner = BannerRules::onAppear(hasSession, status);
        else if (hook == QLatin1String("status"))
            banner = BannerRules::onLastStatus(status, error);
        else
            banner = BannerRules::onLastError(error);
        QCOMPARE(describe(banner), expected);
    }

    void alertStyle_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("warning");
        QTest::newRow("Import failed") << "Import failed" << true;
        QTest::newRow("Moonshelf connected") << "Moonshelf connected" << false;
        QTest::newRow("capital Fail only") << "Fail to launch" << false;
    }
    void alertStyle()
    {
        QFETCH(QString, title);
        QFETCH(bool, warning);
        QCOMPARE(settings::alertIsWarning(title), warning);
    }

    void detailLine_data()
    {
        QTest::addColumn<bool>("hasSession");
        QTest::addColumn<OptText>("email");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<OptText>("expected");
        const OptText notConnected = QStringLiteral("Not connected. Sign in or import your Qirv CLI session.");
        QTest::newRow("session with e-mail") << true << OptText(QStringLiteral("a@b.c")) << true
                                             << OptText(QStringLiteral("a@b.c"));
        QTest::newRow("session with empty e-mail") << true << OptText(QString()) << true << OptText(QString());
        QTest::newRow("session without e-mail") << true << none << true << none;
        QTest::newRow("only an API key") << false << none << true << none;
        QTest::newRow("nothing") << false << none << false << notConnected;
    }
    void detailLine()
    {
        QFETCH(bool, hasSession);
        QFETCH(OptText, email);
        QFETCH(bool, signedIn);
        QFETCH(OptText, expected);
        QCOMPARE(settings::SignInSection::detailText(hasSession, email, signedIn), expected);
    }

    void webAddresses_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("web");
        QTest::newRow("https") << "https://auth.example/device?c=1" << true;
        QTest::newRow("http upper case") << "HTTP://auth.example/" << true;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("javascript") << "javascript:alert(1)" << false;
        QTest::newRow("no host") << "https:///path" << false;
        QTest::newRow("custom scheme") << "x-terminal:run" << false;
    }
    void webAddresses()
    {
        QFETCH(QString, url);
        QFETCH(bool, web);
        QCOMPARE(app::AccountController::isWebAddress(QUrl(url)), web);
    }

    // Eight cards in order; one fixed width, a minimum height, the title.
    void frame()
    {
        m_rig = std::make_unique<Rig>();
        SettingsWindow &window = m_rig->make();
        QStringList titles;
        for (settings::SectionCard *card : window.sections())
            titles.append(card->title());
        QCOMPARE(titles, (QStringList{"About this app", "Free \u00b7 optional tip", "Moonshelf (your Ovu subscription)",
                                      "Stage background", "API key (optional fallback)", "Model", "Safety", "Agent"}));
        QCOMPARE(window.windowTitle(), QStringLiteral("Settings"));
        QCOMPARE(window.minimumSize(), QSize(520, 480));
        QCOMPARE(window.maximumWidth(), 520);
        QVERIFY(window.maximumHeight() >= 50000);
        QVERIFY(window.isWindow());
        QVERIFY(!(window.windowFlags() & Qt::FramelessWindowHint));
        window.show();
        window.resize(700, 300);
        QCOMPARE(window.size(), QSize(520, 480));
        // No banner yet: the divider follows the header.
        QVERIFY(!window.bannerView()->isVisibleTo(&window));
        window.setBanner(Banner{Banner::Kind::Info, QStringLiteral("x")});
        QVERIFY(window.bannerView()->isVisibleTo(&window));
    }

    void legibleText_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("dark default") << "default";
        QTest::newRow("dark graphite") << "graphite";
        QTest::newRow("light daylight") << "daylight";
        QTest::newRow("light paper") << "paper";
    }
    // Every text role against the surfaces it is drawn on.
    void legibleText()
    {
        QFETCH(QString, skin);
        m_rig = std::make_unique<Rig>();
        SettingsWindow &window = m_rig->make(skin);
        QCOMPARE(m_rig->skins().current().id, skin);
        const settings::SettingsLook &l = window.look();
        using glass::Contrast::ratio;
        for (const QColor &surface : {l.elevated, l.elevated2}) {
            QVERIFY2(ratio(l.text, surface) >= 4.5, "primary text");
            QVERIFY2(ratio(l.textSecondary, surface) >= 4.5, "secondary text");
            QVERIFY2(ratio(l.textTertiary, surface) >= 3.0, "tertiary text");
            QVERIFY2(ratio(l.accent, surface) >= 3.0, "links");
            QVERIFY2(ratio(l.danger, surface) >= 3.0, "danger text");
        }
        QVERIFY2(ratio(l.field.placeholder, l.field.fill) >= 3.0, "placeholder");
        for (const glass::ButtonStyle *button : {&l.prominent, &l.bordered, &l.destructive, &l.plain})
            QVERIFY2(ratio(button->text, button->fill) >= 4.5, "button label");
    }

    // The whole window in a dark and a light skin, with every banner kind.
    void pictures_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<int>("kind");
        QTest::newRow("dark") << "default" << int(Banner::Kind::Success);
        QTest::newRow("light") << "daylight" << int(Banner::Kind::Error);
        QTest::newRow("dark info") << "graphite" << int(Banner::Kind::Info);
    }
    void pictures()
    {
        QFETCH(QString, skin);
        QFETCH(int, kind);
        m_rig = std::make_unique<Rig>();
        SettingsWindow &window = m_rig->make(skin);
        window.resize(520, 2600);
        window.show();
        window.setBanner(Banner{Banner::Kind(kind), QStringLiteral("A status line of the settings window.")});
        QCoreApplication::processEvents();
        const QImage image = window.grab().toImage();
        // The banner's text reads against its fill.
        const settings::SettingsLook &l = window.look();
        QVERIFY(glass::Contrast::ratio(l.text, l.elevated) >= 4.5);
        QVERIFY(!image.isNull());
        savePicture(window, QStringLiteral("settings-window-") + QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-'));
    }

    // Another skin restyles the window and brings the column back to the top.
    void skinChangeRestyles()
    {
        m_rig = std::make_unique<Rig>();
        SettingsWindow &window = m_rig->make(QStringLiteral("default"));
        window.show();
        window.setBanner(Banner{Banner::Kind::Info, QStringLiteral("kept")});
        REQUIRE_CHILD(page, QScrollArea, &window);
        page->verticalScrollBar()->setValue(200);
        const QColor before = window.look().elevated;
        m_rig->skins().setSelectedID(QStringLiteral("daylight"));
        QVERIFY(window.look().elevated != before);
        QCOMPARE(page->verticalScrollBar()->value(), 0);
        QCOMPARE(describe(window.banner()), QStringLiteral("info: kept"));
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(SettingsWindowTest)
#include "tst_settings_window.moc"
