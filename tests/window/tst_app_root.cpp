// The application's root as main() makes it: what the first frame does not
// show (a history too large to be in it, the desktop's motion preference) is
// started once that frame is out, and still arrives and is applied then; a
// smaller history is read at once, so the first frame can show it.
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

// bytes: how much text its one message carries.
model::Conversation stored(const QString &title, qsizetype bytes = 0)
{
    model::Conversation c;
    c.id = QUuid::createUuid();
    c.title = title;
    c.createdAt = QDateTime::currentDateTimeUtc().addDays(-1);
    c.updatedAt = c.createdAt;
    c.messages.append(model::ChatMessage::make(model::MessageRole::User, QStringLiteral("Why does the build fail?")));
    if (bytes > 0)
        c.messages.append(model::ChatMessage::make(model::MessageRole::Assistant, QString(bytes, u'x')));
    return c;
}

} // namespace

class TestAppRoot : public QObject {
    Q_OBJECT

private slots:
    void startsWhatTheFirstFrameDoesNotShowAfterIt_data()
    {
        QTest::addColumn<qsizetype>("historyBytes");
        QTest::addColumn<bool>("readBeforeTheFrame");
        QTest::addColumn<bool>("portal");
        QTest::addColumn<bool>("sidebarSlides");
        const qsizetype large = 33 * 1024 * 1024;
        QTest::newRow("small history, the desktop asks for less motion") << qsizetype(0) << true << true << false;
        QTest::newRow("large history, the desktop asks for less motion") << large << false << true << false;
        QTest::newRow("large history, no desktop portal") << large << false << false << true;
    }

    void startsWhatTheFirstFrameDoesNotShowAfterIt()
    {
        QFETCH(qsizetype, historyBytes);
        QFETCH(bool, readBeforeTheFrame);
        QFETCH(bool, portal);
        QFETCH(bool, sidebarSlides);
        // The selected session is small: a large one is in sessions of a megabyte.
        QList<model::Conversation> history{stored(QStringLiteral("Release notes")),
                                           stored(QStringLiteral("Flaky test"))};
        for (qsizetype i = 0; i < historyBytes / (1024 * 1024); ++i)
            history.append(stored(QStringLiteral("Older"), 1024 * 1024));
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
        if (readBeforeTheFrame) {
            QTRY_VERIFY_WITH_TIMEOUT(root.app().isHistoryLoaded(), 10000);
        } else {
            // However long the events run, it is not read before the frame.
            QTest::qWait(300);
            QVERIFY(!root.app().isHistoryLoaded());
            QVERIFY(root.app().conversations().conversations().isEmpty());
        }
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
