// The session sidebar at 5,000 sessions (BENCH_SESSIONS to change it).
//   sidebar.search_first_keystroke_ms  the first key typed after start (warms caches; no session matches)
//   sidebar.search_keystroke_mean_ms   one typed character: the search, both sections refiltered, the list repainted
//   sidebar.search_keystroke_max_ms    the slowest of them
//   sidebar.search_clear_ms            clearing the search: every session back, repainted
//   sidebar.scroll_step_mean_ms        one wheel step of the list, repainted
//   sidebar.scroll_step_max_ms         the slowest step
//   sidebar.row_change_ms              one session renamed at the top of the list, repainted
#include "agent/files/WorkspaceManager.h"
#include "app/AppServices.h"
#include "app/AppViewModel.h"
#include "auth/Clock.h"
#include "auth/KeyringBackend.h"
#include "auth/MoonshelfAuth.h"
#include "auth/SecretsStore.h"
#include "glass/look/Styles.h"
#include "model/AttachmentTempStore.h"
#include "model/ConversationStore.h"
#include "panels/SessionSections.h"
#include "panels/SidebarControls.h"
#include "panels/SidebarView.h"
#include "platform/DesktopServices.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"
#include "support/NamedWidget.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QNetworkAccessManager>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

class NoSignIn final : public app::SignInSource {
public:
    bool isSignedIn() const override { return false; }
    QString authModeDescription() const override { return QStringLiteral("Not signed in"); }
    QCoro::Task<platform::Result<QString, app::TokenFailure>> bearerToken() override
    {
        co_return platform::Result<QString, app::TokenFailure>::failure(app::TokenFailure{QStringLiteral("none")});
    }
};

class EmptyKeyring final : public auth::KeyringBackend {
public:
    QCoro::Task<auth::KeyringReply> read() override
    {
        auth::KeyringReply reply;
        reply.outcome = auth::KeyringReply::Outcome::notFound;
        co_return reply;
    }
    QCoro::Task<auth::KeyringReply> write(QByteArray) override { co_return auth::KeyringReply{}; }
    QCoro::Task<auth::KeyringReply> remove() override { co_return auth::KeyringReply{}; }
};

class NoDesktop final : public platform::DesktopServices {
public:
    QCoro::Task<bool> openUrl(QUrl) override { co_return false; }
    QCoro::Task<bool> revealFile(QString) override { co_return false; }
    QCoro::Task<bool> openTerminal(QString) override { co_return false; }
};

void report(const char *name, double value, const char *unit)
{
    std::printf("%s %.3f %s\n", name, value, unit);
}

// Runs the change, then paints the list's viewport at once: what a user
// sees one frame later.
double timed(QListView &list, const std::function<void()> &change)
{
    QElapsedTimer t;
    t.start();
    change();
    list.viewport()->repaint();
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    testsupport::isolateHome();
    QApplication application(argc, argv);
    const int count = qEnvironmentVariableIntValue("BENCH_SESSIONS") ? qEnvironmentVariableIntValue("BENCH_SESSIONS")
                                                                     : 5000;

    QTemporaryDir dir;
    QNetworkAccessManager network;
    model::AttachmentTempStore staging(dir.filePath(QStringLiteral("staging")));
    stage::BackgroundSettings::Config config;
    config.supportDirectory = dir.filePath(QStringLiteral("stage"));
    config.network = &network;
    stage::BackgroundSettings background(config);
    auth::SecretsStore secrets(std::make_unique<EmptyKeyring>());
    NoDesktop desktop;
    auth::SystemClock clock;
    auth::MoonshelfAuth signIn(auth::MoonshelfAuth::Dependencies{&secrets, &desktop, &clock, &network, dir.path()});
    stage::SkinStore skins(stage::SkinStore::Sources{QStringLiteral(":/skins"), dir.filePath(QStringLiteral("skins"))});
    glass::StyleStore styles(skins);

    app::AppServices services;
    services.signIn = std::make_unique<NoSignIn>();
    services.network = &network;
    services.staging = &staging;
    services.background = &background;
    services.auth = &signIn;
    services.desktop = &desktop;
    app::AppViewModel vm(std::move(services));

    // Titles of a few words each; every tenth pinned, every fifth archived,
    // every seventh unread.
    const QStringList words{QStringLiteral("Refactor"), QStringLiteral("store"), QStringLiteral("sidebar"),
                            QStringLiteral("video"),    QStringLiteral("Fix"),   QStringLiteral("build"),
                            QStringLiteral("notes"),    QStringLiteral("shell"), QStringLiteral("review")};
    QList<model::Conversation> sessions;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < count; ++i) {
        model::Conversation c;
        c.id = QUuid::createUuid();
        c.title = QStringLiteral("%1 the %2 %3 #%4")
                      .arg(words.at(i % 9), words.at((i / 9) % 9), words.at((i / 81) % 9))
                      .arg(i);
        c.createdAt = now.addSecs(-i * 60 - 1);
        c.updatedAt = now.addSecs(-i * 60);
        c.isPinned = i % 10 == 3;
        c.isArchived = i % 5 == 4;
        c.isUnread = i % 7 == 0;
        sessions.append(c);
    }
    vm.conversations().setConversations(sessions);
    vm.conversations().setSelectedConversationID(sessions.first().id);

    panels::SidebarView sidebar(vm, styles);
    sidebar.resize(260, 900);
    sidebar.show();
    if (!QTest::qWaitForWindowExposed(&sidebar))
        return 1;
    auto *sessionList = sidebar.findChild<QListView *>(QStringLiteral("sessionList"));
    auto *sections = sessionList ? qobject_cast<panels::SessionSectionsModel *>(sessionList->model()) : nullptr;
    if (!sections)
        return 1;
    QListView &list = *sessionList;
    sections->setArchivedExpanded(true);
    QCoreApplication::processEvents();
    QLineEdit &field = *testsupport::namedWidget<QLineEdit>(&sidebar, QStringLiteral("Search sessions"));

    // The very first key also lays out the field's text and fills glyph
    // caches: reported on its own.
    report("sidebar.search_first_keystroke_ms", timed(list, [&] { QTest::keyClick(&field, 'q'); }), "ms");
    field.clear();
    vm.setSessionSearch(QString());
    list.viewport()->repaint();

    int resets = 0;
    QObject::connect(list.model(), &QAbstractItemModel::modelReset, &list, [&resets] { ++resets; });
    // Typing "the sidebar #12" one key at a time, as a user does.
    const QString typed = QStringLiteral("the sidebar #12");
    double sum = 0;
    double worst = 0;
    for (const QChar c : typed) {
        const double ms = timed(list, [&] { QTest::keyClick(&field, c.toLatin1()); });
        sum += ms;
        worst = std::max(worst, ms);
        if (qEnvironmentVariableIsSet("BENCH_VERBOSE"))
            std::fprintf(stderr, "key %c %.3f ms, %d rows, %d resets\n", c.toLatin1(), ms, list.model()->rowCount(),
                         std::exchange(resets, 0));
    }
    report("sidebar.search_keystroke_mean_ms", sum / typed.size(), "ms");
    report("sidebar.search_keystroke_max_ms", worst, "ms");
    report("sidebar.search_clear_ms", timed(list, [&] { field.clear(); vm.setSessionSearch(QString()); }), "ms");
    if (qEnvironmentVariableIsSet("BENCH_VERBOSE"))
        std::fprintf(stderr, "clear: %d resets\n", std::exchange(resets, 0));

    QScrollBar *bar = list.verticalScrollBar();
    sum = 0;
    worst = 0;
    int steps = 0;
    for (int value = 0; value < bar->maximum() && steps < 400; value += 3 * 30, ++steps) {
        const double ms = timed(list, [&] { bar->setValue(value); });
        sum += ms;
        worst = std::max(worst, ms);
    }
    report("sidebar.scroll_step_mean_ms", steps ? sum / steps : 0, "ms");
    report("sidebar.scroll_step_max_ms", worst, "ms");

    bar->setValue(0);
    const QUuid top = sessions.at(3).id; // pinned: stays on top when renamed
    report("sidebar.row_change_ms", timed(list, [&] { vm.renameSession(top, QStringLiteral("Renamed at the top")); }),
           "ms");
    vm.conversations().flush();
    return 0;
}
