#include "AppTestKit.h"

#include "agent/files/WorkspaceManager.h"
#include "stage/BackgroundSettings.h"
#include "model/ConversationStore.h"
#include "model/SettingsStore.h"
#include "platform/AppPaths.h"
#include "support/TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>

using app::AppViewModel;
using apptest::Harness;
using model::ToolGuardMode;

namespace {

QJsonObject settingsOnDisk()
{
    QFile file(QDir(platform::AppPaths::supportDirectory()).filePath(QStringLiteral("settings.json")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

QByteArray padded(QByteArray bytes, qsizetype size)
{
    bytes.append(QByteArray(size - bytes.size(), '\0'));
    return bytes;
}

// Runs an attach to its end in the background, keeping its answer.
QCoro::Task<> keepAnswer(QCoro::Task<bool> attach, std::shared_ptr<std::optional<bool>> answer)
{
    *answer = co_await std::move(attach);
}

std::shared_ptr<std::optional<bool>> start(QCoro::Task<bool> attach)
{
    auto answer = std::make_shared<std::optional<bool>>();
    keepAnswer(std::move(attach), answer);
    return answer;
}

} // namespace

class TestAppState : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void onboardingOnlyOnFreshInstall_data()
    {
        QTest::addColumn<bool>("completedBefore");
        QTest::addColumn<bool>("shown");
        QTest::newRow("fresh installation") << false << true;
        QTest::newRow("completed before") << true << false;
        QTest::newRow("settings written before the key") << true << false;
    }

    void onboardingOnlyOnFreshInstall()
    {
        QFETCH(bool, completedBefore);
        QFETCH(bool, shown);
        Harness h;
        if (QByteArray(QTest::currentDataTag()) == "settings written before the key") {
            QFile file(QDir(platform::AppPaths::supportDirectory()).filePath(QStringLiteral("settings.json")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(R"({"model":"qirv-4.5","policyMode":"tiered","yoloEnabled":false})");
        } else if (completedBefore) {
            model::SettingsStore store;
            model::AppSettings settings = store.settings();
            settings.hasCompletedOnboarding = true;
            store.setSettings(settings);
        }
        QCOMPARE(h.make().showOnboarding(), shown);
    }

    void setToolGuardStoresAllThreeFields_data()
    {
        QTest::addColumn<ToolGuardMode>("mode");
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("policy");
        QTest::addColumn<bool>("yolo");
        QTest::newRow("yolo") << ToolGuardMode::Yolo << "yolo" << "powerUser" << true;
        QTest::newRow("ask") << ToolGuardMode::Ask << "ask" << "tiered" << false;
        QTest::newRow("balanced") << ToolGuardMode::Balanced << "balanced" << "tiered" << false;
    }

    void setToolGuardStoresAllThreeFields()
    {
        QFETCH(ToolGuardMode, mode);
        QFETCH(QString, raw);
        QFETCH(QString, policy);
        QFETCH(bool, yolo);
        Harness h;
        AppViewModel &vm = h.make();
        vm.setToolGuard(ToolGuardMode::Yolo == mode ? ToolGuardMode::Ask : ToolGuardMode::Yolo);
        vm.setToolGuard(mode);
        const QJsonObject stored = settingsOnDisk();
        QCOMPARE(stored.value("toolGuardMode").toString(), raw);
        QCOMPARE(stored.value("policyMode").toString(), policy);
        QCOMPARE(stored.value("yoloEnabled").toBool(!yolo), yolo);
        QCOMPARE(vm.settingsStore().settings().toolGuardMode, mode);
    }

    void signInMirrorFollowsNotices()
    {
        Harness h;
        h.signIn().signedIn = false;
        h.signIn().description = QStringLiteral("Not signed in");
        AppViewModel &vm = h.make();
        QVERIFY(!vm.isAuthenticated());
        QCOMPARE(vm.authStatusText(), QStringLiteral("Not signed in"));

        QSignalSpy changed(&vm, &AppViewModel::isAuthenticatedChanged);
        h.signIn().signedIn = true;
        h.signIn().description = QStringLiteral("Moonshelf · a@b.c");
        h.signInObject()->announce();
        QVERIFY(vm.isAuthenticated());
        QCOMPARE(vm.authStatusText(), QStringLiteral("Moonshelf · a@b.c"));
        QCOMPARE(changed.count(), 1);
    }

    void newChatResetsOnlyTheSessionState()
    {
        Harness h;
        AppViewModel &vm = h.makeInProject();
        const QString file = h.writeProjectFile("a.txt", "alpha\n");
        QVERIFY(vm.attachFile(QUrl::fromLocalFile(file)));
        vm.peekFile(QUrl::fromLocalFile(file));
        vm.setErrorMessage(QStringLiteral("old"));
        vm.setDraft(QStringLiteral("keep"));
        const QUuid before = *vm.conversations().selectedConversationID();

        vm.newChat();
        QVERIFY(*vm.conversations().selectedConversationID() != before);
        QVERIFY(!vm.errorMessage());
        QVERIFY(vm.attachments().isEmpty());
        QVERIFY(!vm.peekedFile());
        QCOMPARE(vm.draft(), QStringLiteral("keep"));
        QCOMPARE(vm.highlightedFilePath(), std::optional<QString>(file));
    }

    void attachmentLimits()
    {
        Harness h;
        AppViewModel &vm = h.makeInProject();
        for (int i = 0; i < 10; ++i)
            QVERIFY(vm.attachFile(QUrl::fromLocalFile(h.writeProjectFile(QStringLiteral("f%1.txt").arg(i), "x"))));
        QVERIFY(!vm.attachFile(QUrl::fromLocalFile(h.writeProjectFile("f10.txt", "x"))));
        QCOMPARE(vm.errorMessage(), std::optional<QString>(QStringLiteral("Max 10 attachments. Remove some first.")));
        QCOMPARE(vm.attachments().size(), 10);

        vm.clearAttachments();
        vm.setErrorMessage(std::nullopt);
        const QString big = h.writeProjectFile("big.bin", "");
        QVERIFY(QFile::resize(big, 12'582'913));
        QVERIFY(!vm.attachFile(QUrl::fromLocalFile(big)));
        QCOMPARE(vm.errorMessage(),
                 std::optional<QString>(QStringLiteral("File too large (12582913 bytes). Max 12 MB per drop.")));
        QVERIFY(vm.attachments().isEmpty());
    }

    void attachFileSamePathOnce()
    {
        Harness h;
        AppViewModel &vm = h.makeInProject();
        const QString file = h.writeProjectFile("sub/a.txt", "alpha");
        QVERIFY(vm.attachFile(QUrl::fromLocalFile(file)));
        QCOMPARE(vm.attachments().first().displayPath, QStringLiteral("sub/a.txt"));
        QCOMPARE(vm.attachments().first().inlineContent, std::optional<QString>(QStringLiteral("alpha")));

        QVERIFY(!vm.attachFile(QUrl::fromLocalFile(h.projectPath() + "/sub/../sub/a.txt")));
        // A link from outside that leads to the same project file.
        QTemporaryDir outside;
        const QString link = outside.filePath("link.txt");
        QVERIFY(QFile::link(file, link));
        QVERIFY(!vm.attachFile(QUrl::fromLocalFile(link)));
        QCOMPARE(vm.attachments().size(), 1);
        QVERIFY(!vm.errorMessage());

        // An image is compared by its staged copy, so the same one stages twice.
        const QString png = h.writeProjectFile("shot.png", apptest::pngBytes(3));
        QVERIFY(vm.attachFile(QUrl::fromLocalFile(png)));
        QVERIFY(vm.attachFile(QUrl::fromLocalFile(png)));
        QCOMPARE(vm.attachments().size(), 3);
    }

    void attachmentOutsideProjectKeepsFullPath()
    {
        Harness h;
        AppViewModel &vm = h.makeInProject();
        h.writeProjectFile("notes.txt", "project notes");
        QTemporaryDir outside;
        const QString path = outside.filePath("notes.txt");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("outside notes");
        f.close();

        QVERIFY(vm.attachFile(QUrl::fromLocalFile(path)));
        QCOMPARE(vm.attachments().first().displayPath, path);
        const QString text = AppViewModel::composeUserMessage(QString(), vm.attachments(), false);
        QVERIFY(text.contains("### `" + path + "`"));

        // Removing a user's own file from the tray never deletes it.
        vm.removeAttachment(vm.attachments().first().id);
        QVERIFY(vm.attachments().isEmpty());
        QVERIFY(QFile::exists(path));
    }

    void droppedImagesByContent()
    {
        Harness h;
        AppViewModel &vm = h.make();
        const qsizetype size = std::max(apptest::pngBytes(1).size(), apptest::pngBytes(2).size()) + 8;
        const QByteArray first = padded(apptest::pngBytes(1), size);
        const QByteArray second = padded(apptest::pngBytes(2), size);
        QCOMPARE(first.size(), second.size());

        QVERIFY(!vm.attachImageData(QByteArray(), QStringLiteral("Screenshot.png")));
        QVERIFY(vm.attachImageData(first, QStringLiteral("Screenshot.png")));
        QVERIFY(!vm.attachImageData(first, QStringLiteral("Renamed.png")));
        // Same size, same name, another picture.
        QVERIFY(vm.attachImageData(second, QStringLiteral("Screenshot.png")));
        QCOMPARE(vm.attachments().size(), 2);
        QVERIFY(!vm.errorMessage());

        const QString staged = vm.attachments().first().url.toLocalFile();
        QVERIFY(QFile::exists(staged));
        vm.removeAttachment(vm.attachments().first().id);
        QVERIFY(!QFile::exists(staged));
        // Removed, so the same picture may come again.
        QVERIFY(vm.attachImageData(first, QStringLiteral("Screenshot.png")));

        QVERIFY(!vm.attachImageData(QByteArray("not an image"), QStringLiteral("Screenshot.png")));
        QCOMPARE(vm.errorMessage(), std::optional<QString>(QStringLiteral("Could not read that image.")));

        vm.clearAttachments();
        QVERIFY(vm.attachments().isEmpty());
        QVERIFY(QDir(h.stagingPath()).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());
    }

    // Drops staged on a worker: one at a time in call order, the limits
    // counted with the ones before, and nothing lost or left behind.
    void attachOnWorker_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("in call order") << "order";
        QTest::newRow("limit counts the drops before") << "limit";
        QTest::newRow("same picture twice at once") << "duplicate";
        QTest::newRow("same file twice at once") << "file-duplicate";
        QTest::newRow("cleared while staging, still attached whole") << "clear";
        QTest::newRow("controller gone, staged copy removed") << "destroyed";
    }

    void attachOnWorker()
    {
        QFETCH(QString, kind);
        Harness h;
        AppViewModel &vm = h.makeInProject();
        QList<std::shared_ptr<std::optional<bool>>> answers;
        const QStringList names{"Alpha.png", "Beta.png", "Gamma.png"};

        if (kind == "order") {
            // With every pool thread held, work done on this thread would
            // still attach; a finished hash may otherwise resume at once.
            QThreadPool *pool = QThreadPool::globalInstance();
            QSemaphore hold;
            const int threads = pool->maxThreadCount();
            for (int i = 0; i < threads; ++i)
                pool->start([&hold] { hold.acquire(); });
            for (int i = 0; i < names.size(); ++i)
                answers.append(start(vm.attachImageDataAsync(apptest::pngBytes(i + 1, 400), names[i])));
            QCoreApplication::processEvents();
            const bool stagedOnThisThread = !vm.attachments().isEmpty();
            hold.release(threads);
            QVERIFY(!stagedOnThisThread);
        } else if (kind == "limit") {
            for (int i = 0; i < 9; ++i)
                QVERIFY(vm.attachFile(QUrl::fromLocalFile(h.writeProjectFile(QStringLiteral("f%1.txt").arg(i), "x"))));
            answers.append(start(vm.attachImageDataAsync(apptest::pngBytes(1), names[0])));
            answers.append(start(vm.attachImageDataAsync(apptest::pngBytes(2), names[1])));
        } else if (kind == "duplicate") {
            answers.append(start(vm.attachImageDataAsync(apptest::pngBytes(1), names[0])));
            answers.append(start(vm.attachImageDataAsync(apptest::pngBytes(1), names[1])));
        } else if (kind == "file-duplicate") {
            const QString file = h.writeProjectFile("a.txt", "alpha");
            answers.append(start(vm.attachFileAsync(QUrl::fromLocalFile(file))));
            answers.append(start(vm.attachFileAsync(QUrl::fromLocalFile(h.projectPath() + "/./a.txt"))));
        } else {
            answers.append(start(vm.attachImageDataAsync(apptest::pngBytes(1, 400), names[0])));
            if (kind == "clear") {
                // Catch the copy written but not yet attached: events are
                // handled only between looks, so its arrival waits for ours.
                QElapsedTimer waited;
                waited.start();
                while (QDir(h.stagingPath()).entryList(QDir::Files).isEmpty() && waited.elapsed() < 5000) {
                    QCoreApplication::processEvents();
                    QThread::msleep(2);
                }
                if (!vm.attachments().isEmpty())
                    QSKIP("the staged copy was attached before it could be cleared under it");
                QVERIFY(!QDir(h.stagingPath()).entryList(QDir::Files).isEmpty());
                vm.clearAttachments();
                QVERIFY(QDir(h.stagingPath()).entryList(QDir::Files).isEmpty());
            } else
                h.destroy();
        }

        if (kind == "destroyed") {
            QTRY_VERIFY(answers[0]->has_value());
            QCOMPARE(**answers[0], false);
            QTest::qWait(50);
            QVERIFY(QDir(h.stagingPath()).entryList(QDir::Files).isEmpty());
            return;
        }
        for (const auto &answer : answers)
            QTRY_VERIFY(answer->has_value());

        QList<bool> got;
        for (const auto &answer : answers)
            got.append(**answer);
        QStringList shown;
        for (const model::AttachedFile &a : vm.attachments())
            shown.append(a.displayPath);
        if (kind == "order") {
            QCOMPARE(got, (QList<bool>{true, true, true}));
            QCOMPARE(shown.size(), 3);
            for (int i = 0; i < names.size(); ++i)
                QVERIFY2(shown[i].contains(names[i].chopped(4)), qPrintable(shown.join(',')));
        } else if (kind == "limit") {
            QCOMPARE(got, (QList<bool>{true, false}));
            QCOMPARE(vm.attachments().size(), 10);
            QCOMPARE(vm.errorMessage(), std::optional<QString>(QStringLiteral("Max 10 attachments. Remove some first.")));
        } else if (kind == "duplicate" || kind == "file-duplicate") {
            QCOMPARE(got, (QList<bool>{true, false}));
            QCOMPARE(vm.attachments().size(), 1);
            QVERIFY(!vm.errorMessage());
        } else {
            QCOMPARE(got, QList<bool>{true});
            QCOMPARE(vm.attachments().size(), 1);
            QVERIFY(QFile::exists(vm.attachments().first().url.toLocalFile()));
        }
        // Every staged copy belongs to an attachment.
        QCOMPARE(QDir(h.stagingPath()).entryList(QDir::Files).size(),
                 std::count_if(vm.attachments().cbegin(), vm.attachments().cend(),
                               [](const model::AttachedFile &a) { return a.isOwnedTemp; }));
    }

    // The highlight follows every peek: a binary or unreadable file left
    // the text file peeked before it marked in the tree.
    void peekHighlightsThePeekedFile()
    {
        Harness h;
        AppViewModel &vm = h.makeInProject();
        const QString file = h.writeProjectFile("src/main.c", "int x;\n");
        vm.peekFile(QUrl::fromLocalFile(file));
        QVERIFY(vm.peekedFile());
        QCOMPARE(vm.peekedFile()->displayPath, QStringLiteral("src/main.c"));
        QCOMPARE(vm.peekedFile()->lineCount, 2);
        QCOMPARE(vm.highlightedFilePath(), std::optional<QString>(file));

        const QString binary = h.writeProjectFile("logo.bin", QByteArray("\xff\xfe\x00\x01", 4));
        vm.peekFile(QUrl::fromLocalFile(binary));
        QCOMPARE(vm.peekedFile()->errorMessage, std::optional<QString>(QStringLiteral("Binary or non-UTF-8 file.")));
        QCOMPARE(vm.highlightedFilePath(), std::optional<QString>(binary));

        const QString missing = h.projectPath() + "/gone.txt";
        vm.peekFile(QUrl::fromLocalFile(missing));
        QCOMPARE(vm.peekedFile()->errorMessage, std::optional<QString>(QStringLiteral("Could not read file.")));
        QCOMPARE(vm.peekedFile()->displayPath, QStringLiteral("gone.txt"));
        QCOMPARE(vm.highlightedFilePath(), std::optional<QString>(missing));
    }

    void relativePaths_data()
    {
        QTest::addColumn<QString>("path"); // relative to the project's parent
        QTest::addColumn<QString>("expected");
        QTest::newRow("project itself") << "proj" << ".";
        QTest::newRow("inside") << "proj/src/a.c" << "src/a.c";
        QTest::newRow("dot-dot standardized") << "proj/src/../b.c" << "b.c";
        QTest::newRow("sibling sharing a prefix") << "proj-other/a.c" << "<none>";
        QTest::newRow("leaves through dot-dot") << "proj/../x.c" << "<none>";
    }

    void relativePaths()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        Harness h;
        AppViewModel &vm = h.make();
        QVERIFY(!vm.relativePath(QUrl::fromLocalFile(h.projectPath() + "/a.c")));
        QTemporaryDir parent;
        QDir(parent.path()).mkpath("proj");
        vm.workspace().setWorkspace(parent.filePath("proj"));
        const std::optional<QString> got = vm.relativePath(QUrl::fromLocalFile(parent.path() + "/" + path));
        QCOMPARE(got.value_or(QStringLiteral("<none>")), expected);
    }

    void copyMessageTrimsAndSkipsBlank()
    {
        Harness h;
        AppViewModel &vm = h.make();
        vm.copyMessage(QStringLiteral("   \n\t "));
        QVERIFY(h.clipboard().isEmpty());
        vm.copyMessage(QStringLiteral("\n  hello world \n"));
        QCOMPARE(h.clipboard(), QStringList{QStringLiteral("hello world")});
    }

    void blankDraftSendsNothing()
    {
        Harness h;
        AppViewModel &vm = h.make();
        vm.setDraft(QStringLiteral("   \n "));
        vm.send();
        QVERIFY(!vm.isRunning());
        QCOMPARE(vm.draft(), QStringLiteral("   \n "));
        QCOMPARE(h.peer().requestCount(), 0);
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestAppState)
#include "tst_app_state.moc"
