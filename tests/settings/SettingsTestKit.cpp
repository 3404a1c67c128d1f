#include "SettingsTestKit.h"

#include "app/MoonshelfSignIn.h"
#include "auth/QtKeychainBackend.h"
#include "platform/SharedNetwork.h"
#include "support/NamedWidget.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QScrollArea>
#include <QTest>

namespace settingstest {

namespace {

// A keyring service of the tests' own, so a run never touches the app's item,
// and one per test program: the programs run at once on one Secret Service,
// and one's saved key showed up as another's signed-in state.
QString keyringService()
{
    return QStringLiteral("com.ovu.QirvMac.settings-tests.") + QCoreApplication::applicationName();
}

std::unique_ptr<auth::SecretsStore> realStore()
{
    auto store = std::make_unique<auth::SecretsStore>(
        std::make_unique<auth::QtKeychainBackend>(keyringService(), QString::fromLatin1(auth::SecretsStore::kKey)));
    QCoro::waitFor(store->ready());
    return store;
}

} // namespace

Rig::Rig() = default;

Rig::~Rig()
{
    m_window.reset();
    m_vm.reset();
    m_auth.reset();
    QTest::qWait(10); // let finished coroutines unwind
}

settings::SettingsWindow &Rig::make(const QString &skinID)
{
    m_window.reset();
    m_vm.reset();
    m_auth.reset();
    m_secrets = m_fake ? authtest::makeSecrets(m_fake) : realStore();
    m_auth = std::make_unique<auth::MoonshelfAuth>(auth::MoonshelfAuth::Dependencies{
        m_secrets.get(), &m_desktop, &m_clock, &platform::sharedNetwork(), QDir::homePath()});

    m_skins = std::make_unique<stage::SkinStore>(stage::SkinStore::Sources{QStringLiteral(":/skins"), m_skinDir.path()});
    m_skins->setSelectedID(skinID);
    m_styles = std::make_unique<glass::StyleStore>(*m_skins);

    app::AppServices services = m_local.services();
    services.signIn = std::make_unique<app::MoonshelfSignIn>(*m_auth);
    services.auth = m_auth.get();
    services.desktop = &m_desktop;
    m_vm = std::make_unique<app::AppViewModel>(std::move(services));

    m_window = std::make_unique<settings::SettingsWindow>(*m_vm, *m_styles);
    m_window->setAlertPresenter([this](const QString &title, const QString &message, bool warning) {
        m_alerts.append(QString::fromLatin1(warning ? "warning|" : "info|") + title + QStringLiteral(": ") + message);
    });
    return *m_window;
}

std::optional<QString> Rig::keyringNow()
{
    return realStore()->loadAPIKey();
}

void Rig::clearKeyring()
{
    auto store = realStore();
    (void)testsupport::waitForTask(store->deleteAPIKey());
}

bool Rig::storeInKeyring(const QString &key)
{
    auto store = realStore();
    return testsupport::waitForTask(store->saveAPIKey(key)).ok();
}

bool Rig::keyringAvailable()
{
    return realStore()->keyState() != auth::SecretsStore::KeyState::unavailable;
}

QString describe(const std::optional<settings::Banner> &banner)
{
    if (!banner)
        return QStringLiteral("-");
    switch (banner->kind) {
    case settings::Banner::Kind::Success:
        return QStringLiteral("success: ") + banner->text;
    case settings::Banner::Kind::Error:
        return QStringLiteral("error: ") + banner->text;
    case settings::Banner::Kind::Info:
        return QStringLiteral("info: ") + banner->text;
    }
    return {};
}

QString savePicture(settings::SettingsWindow &window, const QString &name, QWidget *part)
{
    if (part) {
        // A picture is for a person to look at: without its one page it is
        // taken where the window stands rather than ending the program.
        if (QScrollArea *page = testsupport::uniqueChild<QScrollArea>(&window))
            page->ensureWidgetVisible(part, 0, 16);
        else
            qWarning("%s: no single page to scroll %s into view", qPrintable(name), part->metaObject()->className());
    }
    QWidget &widget = window;
    const QString path = QDir(testsupport::outputDirectory()).filePath(name + QStringLiteral(".png"));
    QDir().mkpath(QFileInfo(path).absolutePath());
    widget.grab().save(path);
    return path;
}

} // namespace settingstest
