// The application's root as main() makes it: the history is read at once, so
// the first frame can show it; the desktop's motion preference is asked for
// once that frame is out, and still applied then.
#include "support/TestMain.h"

#include "app/AppViewModel.h"
#include "model/ConversationFile.h"
#include "model/ConversationStore.h"
#include "platform/AtomicFile.h"
#include "platform/MotionPreference.h"
#include "window/AppRoot.h"
#include "window/MainWindow.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusConnectionInterface>
#include <QFileInfo>
#include <QVariantAnimation>

namespace {

const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");

// The desktop portal's settings, answering that motion is to be reduced,
// and counting the questions.
class ReducingPortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    int reads = 0;

public slots:
    QDBusVariant Read(const QString &nameSpace, const QString &key)
    {
        ++reads;
        if (nameSpace != u"org.freedesktop.appearance" || key != u"reduced-motion") {
            sendErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotFound"), QStringLiteral("no such key"));
            return {};
        }
        return QDBusVariant(QVariant::fromValue(QDBusVariant(QVariant(1u))));
    }
};

model::Conversation stored(const QString &title)
{
    model::Conversation c;
    c.id = QUuid::createUuid();
    c.title = title;
    c.createdAt = QDateTime::currentDateTimeUtc().addDays(-1);
    c.updatedAt = c.createdAt;
    c.messages.append(model::ChatMessage::make(model::MessageRole::User, QStringLiteral("Why does the build fail?")));
    return c;
}

} // namespace

class TestAppRoot : public QObject {
    Q_OBJECT

private slots:
    void readsTheHistoryAtOnceAndAsksForMotionAfterTheFrame_data()
    {
        QTest::addColumn<bool>("portal");
        QTest::addColumn<bool>("sidebarSlides");
        QTest::newRow("the desktop asks for less motion") << true << false;
        QTest::newRow("no desktop portal") << false << true;
    }

    void readsTheHistoryAtOnceAndAsksForMotionAfterTheFrame()
    {
        QFETCH(bool, portal);
        QFETCH(bool, sidebarSlides);
        const QList<model::Conversation> history{stored(QStringLiteral("Release notes")),
                                                 stored(QStringLiteral("Flaky test"))};
        const QString file = model::ConversationStore::defaultFilePath();
        QDir().mkpath(QFileInfo(file).absolutePath());
        QVERIFY(platform::writeFileAtomically(file, model::ConversationFileEncoder().encode(history, history[1].id))
                    .isEmpty());

        ReducingPortal desktop;
        QDBusConnection portalBus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("reducing-portal"));
        const auto unregister = qScopeGuard([&] {
            portalBus.unregisterService(QString::fromLatin1(platform::MotionPreference::kPortalService));
            QDBusConnection::disconnectFromBus(QStringLiteral("reducing-portal"));
        });
        if (portal) {
            if (!portalBus.isConnected())
                QSKIP("no session bus");
            QVERIFY(portalBus.registerObject(kPath, &desktop, QDBusConnection::ExportAllSlots));
            if (!portalBus.registerService(QString::fromLatin1(platform::MotionPreference::kPortalService)))
                QSKIP("the session bus has a desktop portal of its own");
        }

        window::AppRoot root(false);
        QTRY_VERIFY_WITH_TIMEOUT(root.app().isHistoryLoaded(), 10000);
        QCOMPARE(desktop.reads, 0);

        root.window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&root.window()));
        QTRY_VERIFY_WITH_TIMEOUT(root.app().isHistoryLoaded(), 10000);
        QCOMPARE(root.app().conversations().conversations().size(), history.size());
        QCOMPARE(root.app().conversations().conversations().at(1).title, QStringLiteral("Flaky test"));
        QCOMPARE(root.app().conversations().selectedConversationID(), std::optional(history[1].id));
        if (portal)
            QTRY_COMPARE(desktop.reads, 2);
        // The answer, come after the frame, decides how the sidebar goes.
        QTest::qWait(100);
        auto *slide = root.window().findChild<QVariantAnimation *>(QStringLiteral("sidebarSlide"));
        QVERIFY(slide);
        root.app().setShowSidebar(false);
        QCOMPARE(slide->state() == QAbstractAnimation::Running, sidebarSlides);
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestAppRoot)
#include "tst_app_root.moc"
