// The window's panels in motion: the file peek moving in from the top over
// the chat and out again, and the sidebar sliding from the leading edge,
// both fading; as event logs (start, end, duration, curve), none under
// reduced motion. The chat below the peek or beside the sidebar is laid out
// once per motion, never at every frame. The peek is as tall as its file,
// up to 280 px.

#include "WindowKit.h"

#include "chat/ChatView.h"
#include "chat/composer/ComposerBar.h"
#include "chat/transcript/ActivityMarks.h"
#include "chat/transcript/LiveAssistantBlock.h"
#include "chat/transcript/MessageRow.h"
#include "chat/transcript/TranscriptView.h"
#include "model/ConversationStore.h"

#include "glass/look/Styles.h"
#include "panels/FilePeekView.h"
#include "support/AnimationLog.h"
#include "support/NamedWidget.h"
#include "support/TestMain.h"
#include "stage/SkinStore.h"
#include "window/ContentView.h"
#include "window/MainWindow.h"
#include "window/PanelSlot.h"
#include "window/SlidePicture.h"

#include <QDir>
#include <QLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QUrl>

using testsupport::AnimationLog;
using window::ContentView;
using window::PanelSlot;

namespace {

// Counts the times a widget changed size.
class Resizes : public QObject {
public:
    explicit Resizes(QWidget *w) { w->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            ++count;
        return false;
    }
};

// The picture a slot shows while it moves, found under the content view.
window::SlidePicture *pictureOf(const QObject *content, const PanelSlot *slot)
{
    return content->findChild<window::SlidePicture *>(slot->objectName() + QStringLiteral("Picture"));
}

void fillSession(windowtest::WindowKit &kit, int count)
{
    model::ConversationStore &store = kit.vm().conversations();
    const QUuid session = *store.selectedConversationID();
    for (int i = 0; i < count; ++i)
        store.appendMessage(session, model::ChatMessage::make(i % 2 ? model::MessageRole::Assistant
                                                                    : model::MessageRole::User,
                                                              QStringLiteral("Message %1 of the session.").arg(i)));
}

QString lines(int n)
{
    QString text;
    for (int i = 0; i < n; ++i)
        text += QStringLiteral("line %1 of the file\n").arg(i);
    return text;
}

void save(QWidget *w, const QString &name)
{
    const QString dir = testsupport::outputDirectory();
    w->grab().save(QDir(dir).filePath(name));
}

// The log of a panel moving in and out (or out and in).
QStringList motionLog(const QString &name, int ms, const QString &curve)
{
    const QString start = QStringLiteral("start %1 %2 %3").arg(name).arg(ms).arg(curve);
    const QString end = QStringLiteral("end ") + name;
    return {start, end, start, end};
}

// Rows: the panel moving in and out, and reduced motion (no log).
void addMotionRows(const char *moving, const QString &name, int ms, const QString &curve)
{
    QTest::addColumn<bool>("reduceMotion");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow(moving) << false << motionLog(name, ms, curve);
    QTest::newRow("reduced motion") << true << QStringList();
}

QString writeProjectFile(const windowtest::WindowKit &kit, const QString &name, const QByteArray &bytes)
{
    const QString path = QDir(kit.projectPath()).filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return {};
    return path;
}

void holdAt(QVariantAnimation *a, double share)
{
    a->pause();
    a->setCurrentTime(int(a->duration() * share));
}

} // namespace

class TestWindowMotion : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void peekMoves_data() { addMotionRows("moves in and out", QStringLiteral("filePeekSlide"), 180, "easeOut"); }
    void peekMoves()
    {
        QFETCH(bool, reduceMotion);
        QFETCH(QStringList, expected);
        windowtest::WindowKit kit;
        kit.styles().setReduceMotion(reduceMotion);
        QVERIFY(kit.show());
        ContentView *c = kit.window().content();
        PanelSlot *peek = windowtest::panelSlot(c, QStringLiteral("filePeek"));
        const QRect chatBefore = windowtest::panelSlot(c, QStringLiteral("chat"))->geometry();
        Resizes chatResizes(windowtest::panelSlot(c, QStringLiteral("chat")));
        AnimationLog log(c);
        const QString file = writeProjectFile(kit, QStringLiteral("notes.txt"), lines(4).toUtf8());
        QVERIFY(!file.isEmpty());

        kit.vm().peekFile(QUrl::fromLocalFile(file));
        if (!reduceMotion) {
            // Half way in: a picture over the chat's top, moved up by about
            // half its height and half faded; the chat not yet moved.
            QVERIFY(peek->isAnimating());
            auto *slide = c->findChild<QVariantAnimation *>(QStringLiteral("filePeekSlide"));
            holdAt(slide, 0.5);
            window::SlidePicture *picture = pictureOf(c, peek);
            QVERIFY(picture && picture->isVisible());
            QCOMPARE(picture->parentWidget(), windowtest::panelSlot(c, QStringLiteral("chat")));
            QVERIFY(picture->offset().y() < 0 && picture->offset().y() > -picture->height());
            QVERIFY(picture->opacity() > 0.3 && picture->opacity() < 1);
            QCOMPARE(windowtest::panelSlot(c, QStringLiteral("chat"))->geometry(), chatBefore);
            QCOMPARE(peek->height(), 0);
            save(&kit.window(), QStringLiteral("motion-peek-half.png"));
            slide->resume();
        }
        QTRY_VERIFY(!peek->isAnimating());
        QVERIFY(peek->isVisible());
        QVERIFY(!pictureOf(c, peek) || !pictureOf(c, peek)->isVisible());
        QCOMPARE(windowtest::panelSlot(c, QStringLiteral("chat"))->geometry().top(), peek->geometry().bottom() + 1);
        QCOMPARE(chatResizes.count, 1);

        kit.vm().setPeekedFile(std::nullopt);
        if (!reduceMotion) {
            // Leaving gives the room back at once and the picture moves up over it.
            QCOMPARE(windowtest::panelSlot(c, QStringLiteral("chat"))->geometry(), chatBefore);
            QVERIFY(pictureOf(c, peek)->isVisible());
        }
        QTRY_VERIFY(!peek->isAnimating());
        QVERIFY(!peek->isVisible() && !peek->view());
        QCOMPARE(windowtest::panelSlot(c, QStringLiteral("chat"))->geometry(), chatBefore);
        QCOMPARE(chatResizes.count, 2);
        QCOMPARE(log.entries(), expected);
    }

    // As tall as its file asks, up to 280 px; another file changes its height.
    // The peek taking its room above the chat, and giving it back, leaves the
    // rows where they stand on screen: read where the list was scrolled to,
    // and at its bottom.
    void peekKeepsRowsInPlace_data()
    {
        QTest::addColumn<bool>("scrolledUp");
        QTest::newRow("scrolled up") << true;
        QTest::newRow("at the bottom") << false;
    }
    void peekKeepsRowsInPlace()
    {
        QFETCH(bool, scrolledUp);
        windowtest::WindowKit kit;
        kit.styles().setReduceMotion(true);
        fillSession(kit, 30);
        QVERIFY(kit.show());
        ContentView *c = kit.window().content();
        auto *chat = c->findChild<chat::ChatView *>();
        QVERIFY(chat);
        chat::TranscriptView *list = chat->findChild<chat::TranscriptView *>();
        QTRY_VERIFY(list->isAtBottom());
        if (scrolledUp) {
            list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum() / 2);
            QVERIFY(!list->isFollowingBottom());
        }
        QCoreApplication::processEvents();
        // A row in the lower part of the list, and where it stands in the window.
        const auto rowNearBottom = [&]() -> chat::MessageRow * {
            chat::MessageRow *found = nullptr;
            for (chat::MessageRow *row : list->findChildren<chat::MessageRow *>()) {
                const int y = row->mapTo(list, QPoint(0, 0)).y();
                if (row->isVisible() && y > list->height() / 2 && y < list->height() - 200)
                    found = row;
            }
            return found;
        };
        QPointer<chat::MessageRow> row = rowNearBottom();
        QVERIFY(row);
        const int before = row->mapTo(&kit.window(), QPoint(0, 0)).y();

        const QString file = writeProjectFile(kit, QStringLiteral("notes.txt"), lines(8).toUtf8());
        kit.vm().peekFile(QUrl::fromLocalFile(file));
        QTRY_VERIFY(windowtest::panelSlot(c, QStringLiteral("filePeek"))->isVisible() && windowtest::panelSlot(c, QStringLiteral("filePeek"))->height() > 100);
        QCoreApplication::processEvents();
        QVERIFY(row);
        QCOMPARE(row->mapTo(&kit.window(), QPoint(0, 0)).y(), before);

        kit.vm().setPeekedFile(std::nullopt);
        QTRY_VERIFY(!windowtest::panelSlot(c, QStringLiteral("filePeek"))->isVisible());
        QCoreApplication::processEvents();
        QVERIFY(row);
        QCOMPARE(row->mapTo(&kit.window(), QPoint(0, 0)).y(), before);
    }

    // Rows scrolled under the composer are not drawn there: the strip below
    // its card shows the same stage wherever the list stands.
    void rowsEndAtTheComposer()
    {
        windowtest::WindowKit kit;
        kit.styles().setReduceMotion(true);
        fillSession(kit, 40);
        QVERIFY(kit.show());
        auto *chat = kit.window().content()->findChild<chat::ChatView *>();
        QVERIFY(chat);
        chat::TranscriptView *list = chat->findChild<chat::TranscriptView *>();
        QTRY_VERIFY(list->isAtBottom());
        REQUIRE_CHILD(composer, chat::ComposerBar, chat);
        QWidget *card = composer->card();
        // Below the card (whose caret blinks), left of the scroll bar (which
        // moves with the list).
        const QRect below(QPoint(0, card->mapTo(chat, QPoint(0, card->height())).y()),
                          QPoint(list->viewport()->mapTo(chat, QPoint(list->viewport()->width() - 1, 0)).x(),
                                 chat->height() - 1));
        QVERIFY(below.height() >= chat::ComposerBar::kVerticalPad);
        QImage first;
        for (const int step : {0, 37, 83, 131}) {
            list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum() - 200 - step);
            QCoreApplication::processEvents();
            const QImage strip = chat->grab(below).toImage();
            if (first.isNull())
                first = strip;
            else
                QVERIFY2(strip == first, qPrintable(QStringLiteral("rows show below the composer at %1").arg(step)));
        }
    }

    void peekGrowsWithItsContent_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("lowest");
        QTest::addColumn<int>("highest");
        QTest::newRow("empty file: one empty line") << QByteArray() << 60 << 110;
        QTest::newRow("three lines") << lines(3).toUtf8() << 90 << 150;
        QTest::newRow("ten lines") << lines(10).toUtf8() << 180 << 279;
        QTest::newRow("two thousand lines: the cap") << lines(2000).toUtf8() << 280 << 280;
        QTest::newRow("binary: nothing to preview") << QByteArray("\x00\xff\xfe binary", 10) << 90 << 200;
    }
    void peekGrowsWithItsContent()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, lowest);
        QFETCH(int, highest);
        windowtest::WindowKit kit;
        kit.styles().setReduceMotion(true);
        QVERIFY(kit.show());
        ContentView *c = kit.window().content();
        const QString file = writeProjectFile(kit, QStringLiteral("f.txt"), bytes);
        QVERIFY(!file.isEmpty());
        kit.vm().peekFile(QUrl::fromLocalFile(file));
        QTRY_VERIFY(windowtest::panelSlot(c, QStringLiteral("filePeek"))->isVisible());
        QTRY_COMPARE(windowtest::panelSlot(c, QStringLiteral("filePeek"))->height(), windowtest::panelSlot(c, QStringLiteral("filePeek"))->view()->sizeHint().height());
        const int h = windowtest::panelSlot(c, QStringLiteral("filePeek"))->height();
        QVERIFY2(h >= lowest && h <= highest, qPrintable(QString::number(h)));
        QCOMPARE(windowtest::panelSlot(c, QStringLiteral("chat"))->geometry().top(), windowtest::panelSlot(c, QStringLiteral("filePeek"))->geometry().bottom() + 1);
        // Every line of a short file is in sight, without scrolling.
        if (bytes.size() < 400 && !bytes.startsWith('\0')) {
            auto *text = windowtest::panelSlot(c, QStringLiteral("filePeek"))->view()->findChild<QPlainTextEdit *>();
            QCOMPARE(text->verticalScrollBar()->maximum(), 0);
        }
        save(&kit.window(), QStringLiteral("peek-%1.png").arg(QString::fromLatin1(QTest::currentDataTag()).section(u':', 0, 0)));
    }

    // The live reply's breathing mark moves, unless the desktop asks for
    // less motion (before the reply, or while it is written): then it
    // holds one pose, as the README says the marks do.
    void breathingMarkFollowsReducedMotion_data()
    {
        QTest::addColumn<int>("reduce"); // 0 never, 1 from the start, 2 while it moves
        QTest::newRow("motion wanted: the stars move") << 0;
        QTest::newRow("reduced motion: they hold still") << 1;
        QTest::newRow("reduced while the reply is written: they stop") << 2;
    }
    void breathingMarkFollowsReducedMotion()
    {
        QFETCH(int, reduce);
        windowtest::WindowKit kit;
        kit.styles().setReduceMotion(reduce == 1);
        QVERIFY(kit.show());
        testsupport::ChatServicePeer::Reply stalling = testsupport::ChatServicePeer::textReply(QStringLiteral("Thinking it over"));
        stalling.stallAfter = 20;
        kit.peer().enqueue(stalling);
        kit.vm().setDraft(QStringLiteral("hello"));
        kit.vm().send();
        chat::BreathingActivityMark *mark = nullptr;
        QTRY_VERIFY((mark = kit.window().findChild<chat::BreathingActivityMark *>()) && mark->isVisible());
        if (reduce == 2) {
            QTRY_VERIFY(mark->isMoving());
            kit.styles().setReduceMotion(true);
        }
        const QImage first = mark->grab().toImage();
        QTest::qWait(250);
        const QImage later = mark->grab().toImage();
        QCOMPARE(mark->isMoving(), reduce == 0);
        QCOMPARE(first == later, reduce != 0);
        kit.vm().stop();
    }

    // A short reply that finishes: its words stay where they were and the
    // user's message above it does not jump; whatever the finished row adds
    // (its "Ready" line) comes in below, gliding.
    void shortReplySettlesInPlace()
    {
        windowtest::WindowKit kit;
        QVERIFY(kit.show());
        auto *chatView = qobject_cast<chat::ChatView *>(windowtest::panelSlot(kit.window().content(), QStringLiteral("chat"))->view());
        QVERIFY(chatView);
        chat::TranscriptView *list = chatView->findChild<chat::TranscriptView *>();
        QVERIFY(list);
        // The reply's first words, then a pause so it is seen live, then the end.
        const QByteArray head = testsupport::ChatServicePeer::event(
            testsupport::ChatServicePeer::contentChunk(QStringLiteral("Sure, done.")));
        testsupport::ChatServicePeer::Reply reply = testsupport::ChatServicePeer::sseReply(
            head + testsupport::ChatServicePeer::event(testsupport::ChatServicePeer::finishChunk(QStringLiteral("stop")))
            + testsupport::ChatServicePeer::doneEvent());
        reply.splitAt = {head.size()};
        reply.pieceDelayMs = 600;
        kit.peer().enqueue(reply);
        kit.vm().setDraft(QStringLiteral("hello"));
        kit.vm().send();
        // The user's row, followed frame by frame from the reply's first words to well after its end.
        QTRY_VERIFY(kit.vm().isRunning() && !kit.vm().streamingText().isEmpty());
        const QUuid user = kit.vm().conversations().selectedConversation()->messages.first().id;
        const auto userTop = [&] {
            chat::MessageRow *row = list->rowFor(user);
            return row ? row->mapTo(&kit.window(), QPoint()).y() : -1;
        };
        // Where the reply's words stand: in the live block, then in their row.
        const auto replyTop = [&] {
            const QList<model::ChatMessage> messages = kit.vm().conversations().selectedConversation()->messages;
            if (messages.size() > 1 && list->rowFor(messages.last().id) && list->rowFor(messages.last().id)->isVisible()) {
                QWidget *text = reinterpret_cast<QWidget *>(list->rowFor(messages.last().id)->textView());
                return text->mapTo(&kit.window(), QPoint()).y();
            }
            if (list->liveBlock() && list->liveBlock()->isVisible())
                return reinterpret_cast<QWidget *>(list->liveBlock()->textView())->mapTo(&kit.window(), QPoint()).y();
            return -1;
        };
        QTRY_VERIFY(userTop() >= 0 && replyTop() >= 0);
        const QPoint live(userTop(), replyTop());
        auto *arrival = list->findChild<QVariantAnimation *>(QStringLiteral("replyArrival"));
        QVERIFY(arrival);
        QTRY_VERIFY(arrival->state() == QAbstractAnimation::Running);
        // Step by step through the glide: from where the live block showed
        // the words, never more than a step's share of the way at once.
        QPoint last = live;
        int worst = 0;
        for (int step = 0; step <= 10; ++step) {
            holdAt(arrival, step / 10.0);
            QCoreApplication::processEvents();
            const QPoint now(userTop(), replyTop());
            QCOMPARE(now.x(), live.x());
            worst = qMax(worst, qAbs(now.y() - last.y()));
            last = now;
        }
        arrival->resume();
        QTRY_VERIFY(arrival->state() == QAbstractAnimation::Stopped);
        const int settled = replyTop();
        worst = qMax(worst, qAbs(settled - last.y()));
        // The live block shows the words 66 px lower than their row does.
        QVERIFY2(live.y() - settled > 30, qPrintable(QStringLiteral("%1 -> %2").arg(live.y()).arg(settled)));
        QVERIFY2(worst <= 20, qPrintable(QStringLiteral("the reply's words moved %1 px at once").arg(worst)));
        QCOMPARE(userTop(), live.x());
    }

    // The chat column glides with the sliding sidebar, going and coming: no
    // frame moves it more than the slide's own step (its room changing
    // hands at either end moved it 130 px at once), also with the file tree
    // open beside it, which slides along.
    void chatGlidesWithTheSidebar_data()
    {
        QTest::addColumn<bool>("fileTree");
        QTest::newRow("chat beside the sidebar") << false;
        QTest::newRow("file tree between") << true;
    }
    void chatGlidesWithTheSidebar()
    {
        QFETCH(bool, fileTree);
        windowtest::WindowKit kit;
        kit.vm().setShowProjectPanel(fileTree);
        QVERIFY(kit.show());
        ContentView *c = kit.window().content();
        QVariantAnimation *slide = c->findChild<QVariantAnimation *>(QStringLiteral("sidebarSlide"));
        auto *chatView = qobject_cast<chat::ChatView *>(windowtest::panelSlot(c, QStringLiteral("chat"))->view());
        QVERIFY(chatView && slide);
        PanelSlot *tree = windowtest::panelSlot(c, QStringLiteral("fileTree"));
        QTRY_COMPARE(tree->isVisible(), fileTree);
        // Where the composer's middle and the tree's edge stand in the window.
        const auto where = [&] {
            QCoreApplication::processEvents();
            QWidget *bar = chatView->composer();
            return QPoint(bar->mapTo(&kit.window(), bar->rect().center()).x(), tree->mapTo(&kit.window(), QPoint()).x());
        };
        for (const bool show : {false, true}) {
            QPoint last = where();
            int worstChat = 0, worstTree = 0;
            kit.vm().setShowSidebar(show);
            for (int step = 0; step <= 20; ++step) {
                if (slide->state() == QAbstractAnimation::Stopped)
                    break;
                holdAt(slide, step / 20.0);
                const QPoint now = where();
                worstChat = qMax(worstChat, qAbs(now.x() - last.x()));
                worstTree = qMax(worstTree, qAbs(now.y() - last.y()));
                last = now;
            }
            slide->resume();
            QTRY_VERIFY(!windowtest::panelSlot(c, QStringLiteral("sidebar"))->isAnimating());
            const QPoint settled = where();
            worstChat = qMax(worstChat, qAbs(settled.x() - last.x()));
            worstTree = qMax(worstTree, qAbs(settled.y() - last.y()));
            // Half the room (130 px) over twenty steps of an ease-in-out
            // curve: at most about 13 px a step.
            QVERIFY2(worstChat <= 16, qPrintable(QStringLiteral("the chat moved %1 px at once").arg(worstChat)));
            if (fileTree)
                QVERIFY2(worstTree <= 30, qPrintable(QStringLiteral("the tree moved %1 px at once").arg(worstTree)));
        }
    }

    // The sidebar slides out past the leading edge and in again within its
    // room, fading; the chat beside it is laid out once per slide (at the
    // start when it comes, at the end when it goes), never at every frame.
    // In a narrow window the file tree comes back only once it is gone.
    void sidebarSlidesAndFades_data()
    {
        QTest::addColumn<bool>("reduceMotion");
        QTest::addColumn<bool>("narrow");
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QStringList>("expected");
        const QStringList log = motionLog(QStringLiteral("sidebarSlide"), 200, QStringLiteral("easeInOut"));
        QTest::newRow("slides out and in, fading") << false << false << "default" << log;
        QTest::newRow("1100 x 700, every panel open: one layout with the tree") << false << true << "paper" << log;
        QTest::newRow("reduced motion") << true << false << "default" << QStringList();
    }
    void sidebarSlidesAndFades()
    {
        QFETCH(bool, reduceMotion);
        QFETCH(bool, narrow);
        QFETCH(QString, skin);
        QFETCH(QStringList, expected);
        windowtest::WindowKit kit;
        kit.styles().setReduceMotion(reduceMotion);
        kit.skins().select(skin);
        QVERIFY(kit.show());
        ContentView *c = kit.window().content();
        if (narrow) {
            kit.vm().setShowProjectPanel(true);
            kit.vm().setShowToolLog(true);
            kit.window().resize(1100, 700);
            QTRY_COMPARE(c->width(), 1100);
            QTRY_VERIFY(!windowtest::panelSlot(c, QStringLiteral("fileTree"))->isVisible() && windowtest::panelSlot(c, QStringLiteral("toolLog"))->isVisible());
        }
        PanelSlot *sidebar = windowtest::panelSlot(c, QStringLiteral("sidebar"));
        QVariantAnimation *slide = c->findChild<QVariantAnimation *>(QStringLiteral("sidebarSlide"));
        QTRY_COMPARE(windowtest::panelSlot(c, QStringLiteral("chat"))->geometry().left(), 261);
        const QRect chatWith = windowtest::panelSlot(c, QStringLiteral("chat"))->geometry();
        Resizes chatResizes(windowtest::panelSlot(c, QStringLiteral("chat")));
        AnimationLog log(c);

        kit.vm().setShowSidebar(false);
        if (!reduceMotion) {
            for (const double share : {0.25, 0.75}) {
                holdAt(slide, share);
                save(&kit.window(), QStringLiteral("motion-sidebar-%1-%2.png").arg(skin).arg(int(share * 100)));
            }
            holdAt(slide, 0.5);
            // Half way: its room held, its picture half out past the leading
            // edge and half faded, its line half faded; the chat not moved.
            QCOMPARE(sidebar->width(), 261);
            window::SlidePicture *picture = pictureOf(c, sidebar);
            QVERIFY(picture && picture->isVisible() && !sidebar->view()->isVisible());
            QCOMPARE(picture->geometry(), QRect(0, 0, 260, sidebar->height()));
            QVERIFY2(picture->offset().x() < -60 && picture->offset().x() > -200,
                     qPrintable(QString::number(picture->offset().x())));
            QCOMPARE(picture->offset().y(), 0);
            QVERIFY(picture->opacity() > 0.3 && picture->opacity() < 0.7);
            QCOMPARE(sidebar->progress(), picture->opacity());
            {
                // Its line rides on the picture's trailing edge, not at the room's.
                const QImage slot = sidebar->grab().toImage();
                const int y = slot.height() / 2;
                const int edge = 260 + picture->offset().x();
                QCOMPARE(slot.pixelColor(260, y), slot.pixelColor(edge + 1, y));
                QVERIFY(slot.pixelColor(edge, y) != slot.pixelColor(edge + 1, y));
            }
            // The chat, not laid out again, half way along its own way.
            const QRect chatNow = windowtest::panelSlot(c, QStringLiteral("chat"))->geometry();
            QCOMPARE(chatNow.size(), chatWith.size());
            QVERIFY2(qAbs(chatNow.left() - (261 + picture->offset().x() / 2)) <= 1, qPrintable(QString::number(chatNow.left())));
            QCOMPARE(chatResizes.count, 0);
            save(&kit.window(), QStringLiteral("motion-sidebar-%1-50.png").arg(skin));
            slide->resume();
        } else {
            QVERIFY(!sidebar->isVisible());
        }
        QTRY_VERIFY(!sidebar->isAnimating() && !sidebar->isVisible());
        QTRY_COMPARE(windowtest::panelSlot(c, QStringLiteral("chat"))->geometry().left(), narrow ? 241 : 0);
        QCOMPARE(chatResizes.count, 1);
        QCOMPARE(windowtest::panelSlot(c, QStringLiteral("fileTree"))->isVisible(), narrow);

        kit.vm().setShowSidebar(true);
        if (!reduceMotion) {
            // Coming: the room taken at once (the tree stepping aside with
            // it), the chat laid out in it and standing half its way back,
            // the picture still out of sight.
            QCOMPARE(windowtest::panelSlot(c, QStringLiteral("chat"))->geometry().size(), chatWith.size());
            QVERIFY(windowtest::panelSlot(c, QStringLiteral("chat"))->geometry().left() <= 261 - 125);
            QCOMPARE(chatResizes.count, 2);
            QVERIFY(sidebar->isAnimating() && pictureOf(c, sidebar)->offset().x() <= -250);
            QVERIFY(!windowtest::panelSlot(c, QStringLiteral("fileTree"))->isVisible());
        }
        QTRY_VERIFY(!sidebar->isAnimating() && sidebar->isVisible());
        QTRY_COMPARE(windowtest::panelSlot(c, QStringLiteral("chat"))->geometry(), chatWith);
        QCOMPARE(chatResizes.count, 2);
        QVERIFY(sidebar->view()->isVisible());
        QCOMPARE(sidebar->width(), 261);
        QCOMPARE(log.entries(), expected);
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestWindowMotion)
#include "tst_window_motion.moc"
