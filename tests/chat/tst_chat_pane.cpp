// The chat pane on a controller of its own: typing and sending, the
// placeholder rotation, the scroll rules, the approval card's answers and
// keys, and the bounded number of row widgets in a long session.

#include "app/AppTestKit.h"
#include "app/MessageListModel.h"
#include "chat/transcript/ApprovalCard.h"
#include "chat/ChatView.h"
#include "chat/composer/ComposerBar.h"
#include "chat/composer/ComposerField.h"
#include "chat/composer/ComposerPlaceholders.h"
#include "chat/transcript/LiveAssistantBlock.h"
#include "chat/markdown/MarkdownTextView.h"
#include "chat/transcript/MessageRow.h"
#include "chat/transcript/TranscriptAccess.h"
#include "chat/transcript/TranscriptView.h"
#include "glass/sheets/ReaderAccess.h"
#include "glass/look/QirvTheme.h"
#include "glass/look/Styles.h"
#include "model/ConversationStore.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"
#include "support/NamedWidget.h"
#include "support/PaintHelpers.h"
#include "support/TestMain.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QWheelEvent>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QVariantAnimation>
#include <QWindow>

using apptest::Harness;
using model::ChatMessage;
using model::MessageRole;
using Peer = testsupport::ChatServicePeer;

namespace {

QString json(const QJsonObject &o)
{
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

ChatMessage message(MessageRole role, const QString &text)
{
    ChatMessage m;
    m.id = QUuid::createUuid();
    m.role = role;
    m.content = text;
    return m;
}

// A wheel turn over the list, where a row passes it on to (a wheel made
// here is not spontaneous, so Qt would not pass it on); positive steps
// scroll up.
void wheel(chat::TranscriptView *list, int steps)
{
    QWidget *viewport = list->viewport();
    const QPointF at(viewport->width() / 2, viewport->height() / 2);
    for (int i = 0; i < qAbs(steps); ++i) {
        QWheelEvent event(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, steps > 0 ? 120 : -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &event);
    }
}

// The text nearest the middle of the list and where it stands in the
// list's view (the top of its text block); with like, the block whose text
// begins as like begins (a reply read while written, then finished).
struct Reading {
    QString text;
    int y = 0;
};
Reading readingAt(chat::TranscriptView *list, const QString &like = {})
{
    QWidget *viewport = list->viewport();
    const int middle = viewport->height() / 2;
    Reading best;
    int nearest = INT_MAX;
    for (chat::MarkdownTextView *view : viewport->findChildren<chat::MarkdownTextView *>()) {
        if (!view->isVisibleTo(viewport) || view->text().isEmpty())
            continue;
        const QRect shown(view->mapTo(viewport, QPoint(0, 0)), view->size());
        if (!like.isEmpty()) {
            if (view->text().startsWith(like.left(40)))
                return {view->text(), shown.top()};
            continue;
        }
        const int distance = shown.contains(shown.center().x(), middle) ? 0 : qMin(qAbs(shown.top() - middle),
                                                                                    qAbs(shown.bottom() - middle));
        if (distance < nearest) {
            nearest = distance;
            best = {view->text(), shown.top()};
        }
    }
    return best;
}

QList<ChatMessage> conversation(int count)
{
    QList<ChatMessage> list;
    for (int i = 0; i < count; ++i) {
        if (i % 2 == 0)
            list.append(message(MessageRole::User, QStringLiteral("Question %1: what does the build do?").arg(i)));
        else
            list.append(message(MessageRole::Assistant,
                                QStringLiteral("Answer %1. The build **compiles** `main.cpp`, links the app and "
                                               "runs the tests.\n\n- one step\n- another step\n")
                                    .arg(i)));
    }
    return list;
}

struct Pane {
    Harness h;
    std::unique_ptr<stage::SkinStore> skins;
    std::unique_ptr<glass::StyleStore> styles;
    std::unique_ptr<chat::ChatView> view;

    explicit Pane(bool inProject = false, const QString &skin = QStringLiteral("default"))
    {
        app::AppViewModel &vm = inProject ? h.makeInProject() : h.make();
        skins = std::make_unique<stage::SkinStore>(
            stage::SkinStore::Sources{QStringLiteral(":/skins"), QDir::temp().filePath(QStringLiteral("chat18-skins"))});
        skins->select(skin);
        styles = std::make_unique<glass::StyleStore>(*skins);
        view = std::make_unique<chat::ChatView>(vm, *styles);
        view->resize(900, 700);
        view->show();
    }
    ~Pane() { view.reset(); }
    app::AppViewModel &vm() { return h.vm(); }
    chat::ComposerField *field() { return view->composer()->field(); }
    chat::TranscriptView *list() { return view->findChild<chat::TranscriptView *>(); }
    // A session holding these messages, selected.
    QUuid fill(const QList<ChatMessage> &messages)
    {
        model::ConversationStore &store = vm().conversations();
        store.newChat();
        const QUuid id = *store.selectedConversationID();
        store.replaceMessages(id, messages);
        return id;
    }
    void save(const QString &name)
    {
        const QString dir = testsupport::outputDirectory();
        view->grab().save(QDir(dir).filePath(name));
    }
};

} // namespace

class TestChatPane : public QObject {
    Q_OBJECT

private slots:
    void keysInTheField_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("caretLeft");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("sends");
        QTest::addColumn<QString>("draftAfter");
        QTest::newRow("Return sends") << "hello" << 0 << int(Qt::NoModifier) << true << "";
        QTest::newRow("Ctrl+Return sends") << "hello" << 0 << int(Qt::ControlModifier) << true << "";
        QTest::newRow("Shift+Return breaks the line at the caret")
            << "abcd" << 2 << int(Qt::ShiftModifier) << false << "ab\ncd";
        QTest::newRow("blank Return sends nothing") << "   " << 0 << int(Qt::NoModifier) << false << "   ";
    }
    void keysInTheField()
    {
        QFETCH(QString, typed);
        QFETCH(int, caretLeft);
        QFETCH(int, modifiers);
        QFETCH(bool, sends);
        QFETCH(QString, draftAfter);
        Pane pane;
        pane.h.peer().enqueue(Peer::textReply(QStringLiteral("Sure.")));
        pane.field()->setFocus();
        QTest::keyClicks(pane.field(), typed);
        QCOMPARE(pane.vm().draft(), typed);
        for (int i = 0; i < caretLeft; ++i)
            QTest::keyClick(pane.field(), Qt::Key_Left);
        QTest::keyClick(pane.field(), Qt::Key_Return, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(pane.vm().isRunning(), sends);
        QCOMPARE(pane.vm().draft(), draftAfter);
        QCOMPARE(pane.field()->toPlainText(), draftAfter);
        if (sends) {
            QTRY_VERIFY(!pane.vm().isRunning());
            QCOMPARE(pane.h.peer().requests().size(), 1);
        }
    }

    // The caret is drawn in the skin's accent, not the text colour, on a
    // dark and a light skin; it follows a change of skin.
    void caretInTheAccent_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QString>("then");
        QTest::newRow("dark, then light") << "default" << "paper";
        QTest::newRow("light, then dark") << "daylight" << "aurora";
    }
    void caretInTheAccent()
    {
        QFETCH(QString, skin);
        QFETCH(QString, then);
        Pane pane(false, skin);
        QApplication::setActiveWindow(pane.view.get());
        pane.field()->setFocus();
        QTRY_VERIFY(pane.field()->hasFocus());
        QTest::keyClicks(pane.field(), QStringLiteral("Build it"));
        for (const QString &shown : {skin, then}) {
            pane.skins->select(shown);
            const QColor accent = glass::QirvTheme::color(pane.styles->styles().skin.colors.accent);
            // Some frame of the blink shows it: a column of accent pixels where the caret stands.
            const auto accentAtCaret = [&] {
                const QRect caret = pane.field()->cursorRect();
                const QImage image = pane.field()->viewport()->grab().toImage();
                const qreal dpr = image.devicePixelRatio();
                for (int x = caret.center().x() - 3; x <= caret.center().x() + 3; ++x) {
                    int hits = 0;
                    for (int y = caret.top() + 2; y < caret.bottom() - 2; ++y) {
                        const QColor c(image.pixel(QPoint(x, y) * dpr));
                        hits += std::abs(c.red() - accent.red()) + std::abs(c.green() - accent.green()) +
                                        std::abs(c.blue() - accent.blue()) <= 24;
                    }
                    if (hits >= caret.height() / 2)
                        return true;
                }
                return false;
            };
            QTRY_VERIFY2_WITH_TIMEOUT(accentAtCaret(), qPrintable(shown), 3000);
        }
    }

    void returnDuringARun()
    {
        Pane pane;
        Peer::Reply stalled = Peer::textReply(QStringLiteral("Working away"));
        stalled.stallAfter = 10;
        pane.h.peer().enqueue(stalled);
        pane.h.peer().enqueue(Peer::textReply(QStringLiteral("Second.")));
        pane.vm().setDraft(QStringLiteral("first"));
        pane.vm().send();
        QVERIFY(pane.vm().isRunning());
        QTRY_COMPARE(pane.h.peer().requests().size(), 1);
        pane.field()->setFocus();
        QTest::keyClicks(pane.field(), QStringLiteral("next"));
        QTest::keyClick(pane.field(), Qt::Key_Return);
        // Nothing happens: the run goes on and the draft stays.
        QVERIFY(pane.vm().isRunning());
        QCOMPARE(pane.vm().draft(), QStringLiteral("next"));
        QCOMPARE(pane.view->composer()->placeholder(), QStringLiteral("Working on it\u2026"));
        // Ctrl+Return stops the run and sends the draft.
        QTest::keyClick(pane.field(), Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(pane.vm().draft(), QString());
        QTRY_COMPARE(pane.h.peer().requests().size(), 2);
        QTRY_VERIFY(!pane.vm().isRunning());
        pane.h.peer().releaseStalls();
    }

    void placeholderRotation_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("typedDuringRun");
        QTest::addColumn<int>("after");
        QTest::newRow("next line") << 3 << QString() << 4;
        QTest::newRow("9 wraps to 0") << 9 << QString() << 0;
        QTest::newRow("blank draft still rotates") << 5 << QStringLiteral(" \n ") << 6;
        QTest::newRow("typed draft keeps the line") << 5 << QStringLiteral("more") << 5;
    }
    void placeholderRotation()
    {
        QFETCH(int, start);
        QFETCH(QString, typedDuringRun);
        QFETCH(int, after);
        Pane pane;
        pane.h.peer().enqueue(Peer::textReply(QStringLiteral("Done.")));
        chat::ComposerBar *bar = pane.view->composer();
        bar->setPlaceholderIndex(start);
        QCOMPARE(bar->placeholder(), chat::ComposerPlaceholders::lines().at(start));
        pane.vm().setDraft(QStringLiteral("go"));
        pane.vm().send();
        pane.vm().setDraft(typedDuringRun);
        QTRY_VERIFY(!pane.vm().isRunning());
        QCOMPARE(bar->placeholderIndex(), after);
        QCOMPARE(pane.field()->placeholder(), chat::ComposerPlaceholders::lines().at(after));
        QCOMPARE(pane.field()->showsPlaceholder(), typedDuringRun.trimmed().isEmpty());
    }

    void placeholderRules_data()
    {
        QTest::addColumn<bool>("listening");
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("attached");
        QTest::addColumn<QString>("expected");
        QTest::newRow("listening wins") << true << true << true << "Listening\u2026 I\u2019m all ears";
        QTest::newRow("running") << false << true << true << "Working on it\u2026";
        QTest::newRow("attachments") << false << false << true << "Add a note, or just fire it";
        QTest::newRow("idle line") << false << false << false << "Make it nasty (in a good way)\u2026";
    }
    void placeholderRules()
    {
        QFETCH(bool, listening);
        QFETCH(bool, running);
        QFETCH(bool, attached);
        QFETCH(QString, expected);
        QCOMPARE(chat::ComposerPlaceholders::fieldPlaceholder(listening, running, attached, 19), expected);
        QVERIFY(!chat::ComposerPlaceholders::canCompose(QStringLiteral("   \n"), false));
        QVERIFY(chat::ComposerPlaceholders::canCompose(QStringLiteral("   \n"), true));
    }

    void draftReaderSeesTyping()
    {
        Pane pane;
        const std::function<QString()> reader = pane.view->composer()->draftReader();
        pane.field()->setFocus();
        QTest::keyClicks(pane.field(), QStringLiteral("typed meanwhile"));
        QCOMPARE(reader(), QStringLiteral("typed meanwhile"));
        pane.view->composer()->setListening(true);
        QCOMPARE(pane.field()->placeholder(), QStringLiteral("Listening\u2026 I\u2019m all ears"));
    }

    void scrollFollowRules()
    {
        Pane pane;
        pane.h.peer().enqueue(Peer::textReply(QStringLiteral("A reply.")));
        const QUuid other = pane.fill(conversation(6));
        const QUuid longOne = pane.fill(conversation(120));
        chat::TranscriptView *list = pane.list();
        QScrollBar *bar = list->verticalScrollBar();
        // Switching: at the bottom one turn later, without a glide.
        QTRY_VERIFY(list->isAtBottom());
        QVERIFY(bar->maximum() > 0);
        bar->setValue(0);
        QVERIFY(!list->isAtBottom());
        pane.vm().conversations().select(other);
        pane.vm().conversations().select(longOne);
        QVERIFY(!list->isAtBottom() || bar->maximum() == 0); // not yet
        QTRY_VERIFY(list->isAtBottom());

        // A new message glides to the bottom, also when scrolled up.
        bar->setValue(0);
        pane.vm().conversations().appendMessage(longOne, message(MessageRole::User, QStringLiteral("one more")));
        QTRY_VERIFY(list->isAtBottom());
        QVERIFY(list->itemRect(pane.vm().conversations().selectedConversation()->messages.last().id).isValid());

        // A run: the live block shows and each frame keeps the bottom in view.
        bar->setValue(0);
        pane.vm().setDraft(QStringLiteral("go"));
        pane.vm().send();
        QTRY_VERIFY(list->liveBlock() != nullptr || !pane.vm().isRunning());
        QTRY_VERIFY(!pane.vm().isRunning());
        QTRY_VERIFY(list->isAtBottom());
        QVERIFY(!list->liveBlock());
    }

    // While a reply streams, a person who scrolled up to read stays where
    // they are, through the rest of the reply and its end (the reply itself
    // or an earlier message); back at the bottom, the list follows the
    // reply again.
    void readingBackDuringAReply_data()
    {
        QTest::addColumn<int>("stepsUp");
        QTest::addColumn<bool>("inReply");
        QTest::newRow("reading the reply as it is written") << 2 << true;
        QTest::newRow("reading an earlier message") << 25 << false;
    }
    void readingBackDuringAReply()
    {
        QFETCH(int, stepsUp);
        QFETCH(bool, inReply);
        Pane pane;
        QString text;
        for (int i = 0; i < 60; ++i)
            text += QStringLiteral("Line %1 of a long reply that keeps on coming.\n\n").arg(i);
        const auto reply = [&] {
            Peer::Reply r = Peer::textReply(text, 60);
            r.stallAfter = r.body.size() / 2;
            return r;
        };
        pane.h.peer().enqueue(reply());
        pane.h.peer().enqueue(reply());
        pane.fill(conversation(40));
        chat::TranscriptView *list = pane.list();
        QScrollBar *bar = list->verticalScrollBar();
        QTRY_VERIFY(list->isAtBottom());

        QSignalSpy stalled(&pane.h.peer(), &Peer::stalled);
        pane.vm().setDraft(QStringLiteral("go"));
        pane.vm().send();
        QTRY_COMPARE(stalled.size(), 1);
        // Everything before the stall shown (the text stops growing).
        qsizetype shown = -1;
        const auto settled = [&] {
            const qsizetype now = pane.vm().streamingText().size();
            return std::exchange(shown, now) == now && now > 0;
        };
        QTRY_VERIFY(settled());
        QTRY_VERIFY(list->isAtBottom());
        wheel(list, stepsUp);
        QVERIFY(!list->isAtBottom());
        QVERIFY(!list->isFollowingBottom());
        const Reading before = readingAt(list);
        QVERIFY(!before.text.isEmpty());
        QCOMPARE(before.text.startsWith(QStringLiteral("Line 0")), inReply);
        const int bottomBefore = bar->maximum();

        // The rest of the reply, then its end: what the reader reads stays in place.
        pane.h.peer().resumeStalls();
        QTRY_VERIFY(!pane.vm().isRunning());
        QTest::qWait(50); // the posted end-of-run scroll
        QVERIFY(bar->maximum() > bottomBefore);
        QVERIFY(!list->isAtBottom());
        const Reading after = readingAt(list, before.text);
        QVERIFY2(qAbs(after.y - before.y) <= 2, qPrintable(QStringLiteral("%1 -> %2").arg(before.y).arg(after.y)));

        // Sending goes to the bottom; scrolled up and back down, the list
        // follows the reply again.
        pane.vm().setDraft(QStringLiteral("again"));
        pane.vm().send();
        QTRY_COMPARE(stalled.size(), 2);
        QTRY_VERIFY(list->isAtBottom());
        wheel(list, stepsUp);
        QVERIFY(!list->isAtBottom());
        for (int i = 0; i < 100 && !list->isAtBottom(); ++i)
            wheel(list, -1);
        QVERIFY(list->isAtBottom());
        const int bottom = bar->maximum();
        pane.h.peer().resumeStalls();
        QTRY_VERIFY(!pane.vm().isRunning());
        QTRY_VERIFY(bar->maximum() > bottom);
        QTRY_VERIFY(list->isAtBottom());
    }

    // Followed at the bottom, a reply's text stays where it is as the live
    // block becomes its finished row (whose parts stand in other places);
    // the list then moves on to the row's end.
    void finishedReplyTakesTheLiveTextsPlace()
    {
        Pane pane;
        const QString text = QStringLiteral("A short reply, in two lines.\n\nThe second line of it.");
        Peer::Reply reply = Peer::textReply(text, 20);
        reply.stallAfter = reply.body.indexOf("data: [DONE]");
        QVERIFY(reply.stallAfter > 0);
        pane.h.peer().enqueue(reply);
        pane.fill(conversation(40));
        chat::TranscriptView *list = pane.list();
        QTRY_VERIFY(list->isAtBottom());

        QSignalSpy stalled(&pane.h.peer(), &Peer::stalled);
        pane.vm().setDraft(QStringLiteral("go"));
        pane.vm().send();
        QTRY_COMPARE(stalled.size(), 1);
        QTRY_COMPARE(pane.vm().streamingText(), text);
        QTRY_VERIFY(list->isAtBottom());
        QTest::qWait(50);
        const int live = readingAt(list, text).y;

        // Where the finished row's text stands once the run's end has been
        // handled, before the list moves on.
        std::optional<int> replaced;
        connect(&pane.vm(), &app::AppViewModel::isRunningChanged, this, [&] {
            QMetaObject::invokeMethod(this, [&] {
                for (chat::MessageRow *row : list->viewport()->findChildren<chat::MessageRow *>())
                    for (chat::MarkdownTextView *view : row->findChildren<chat::MarkdownTextView *>())
                        if (view->isVisibleTo(list->viewport()) && view->text() == text)
                            replaced = view->mapTo(list->viewport(), QPoint(0, 0)).y();
            }, Qt::QueuedConnection);
        });
        pane.h.peer().resumeStalls();
        QTRY_VERIFY(!pane.vm().isRunning());
        QTRY_VERIFY(replaced);
        QVERIFY2(qAbs(*replaced - live) <= 1, qPrintable(QStringLiteral("%1 -> %2").arg(live).arg(*replaced)));
        QTRY_VERIFY(list->isAtBottom());
        QVERIFY(list->isFollowingBottom());
    }

    // Dragging a text selection past the list's top or bottom edge (the
    // composer's top) scrolls the list, the selection following the text
    // under the pointer, as far as that message reaches; letting go stops it.
    void selectionDragScrollsTheList_data()
    {
        QTest::addColumn<bool>("up");
        QTest::newRow("past the top edge") << true;
        QTest::newRow("past the bottom edge, over the composer") << false;
    }
    void selectionDragScrollsTheList()
    {
        QFETCH(bool, up);
        Pane pane;
        QString text;
        for (int i = 0; i < 80; ++i)
            text += QStringLiteral("Line %1 of a long answer.\n\n").arg(i, 2, 10, QLatin1Char('0'));
        QList<ChatMessage> messages = conversation(6);
        messages.append(message(MessageRole::Assistant, text));
        messages.append(message(MessageRole::User, QStringLiteral("Thanks.")));
        pane.fill(messages);
        chat::TranscriptView *list = pane.list();
        QScrollBar *bar = list->verticalScrollBar();
        // The session's switch scrolls to its bottom after the current event,
        // the answer is laid out in idle time and the list glides to its new
        // bottom as it grows: all end before the list is scrolled by hand.
        QCoreApplication::processEvents();
        auto *glide = list->findChild<QVariantAnimation *>(QStringLiteral("bottomGlide"));
        QVERIFY(glide);
        const auto laidOut = [&] {
            const chat::MarkdownRenderer &r = list->rowFor(messages[6].id)->textView()->renderer();
            for (int i = 0; i < r.count(); ++i)
                if (!r.piece(i).exact)
                    return false;
            return true;
        };
        QTRY_VERIFY(laidOut() && glide->state() == QAbstractAnimation::Stopped && list->isAtBottom());
        const auto answer = [&] { return list->itemRect(messages[6].id); };
        QVERIFY(answer().height() > 2 * list->viewport()->height());
        const int listBottom = list->viewport()->height() - list->bottomInset();
        // The answer fills the view, reaching 600 px past it on the side dragged to.
        bar->setValue(up ? answer().top() + 600 : answer().bottom() + 1 - listBottom - 600);
        QTest::qWait(20);
        chat::MarkdownTextView *view = list->rowFor(messages[6].id)->textView();
        QWindow *window = pane.view->window()->windowHandle();
        const QPoint press = list->viewport()->mapTo(pane.view->window(), QPoint(300, up ? 80 : listBottom - 80));
        const QPoint past = list->viewport()->mapTo(pane.view->window(), QPoint(300, up ? -30 : listBottom + 30));
        QTest::mousePress(window, Qt::LeftButton, {}, press);
        QTest::mouseMove(window, press + QPoint(0, up ? -20 : 20));
        QTest::mouseMove(window, past);
        const int start = bar->value();
        QTRY_VERIFY(up ? bar->value() < start - 100 : bar->value() > start + 100);
        QVERIFY(view->isDragSelecting());
        const QString early = view->selectedText();
        QVERIFY(!early.isEmpty());
        // On to the end of the answer, and no further.
        if (up) {
            QTRY_COMPARE(bar->value(), answer().top());
            QVERIFY(view->selectedText().startsWith(QStringLiteral("Line 00")));
        } else {
            QTRY_COMPARE(bar->value(), answer().bottom() + 1 - listBottom);
            QVERIFY(view->selectedText().endsWith(QStringLiteral("Line 79 of a long answer.")));
        }
        QVERIFY(view->selectedText().size() > early.size());
        QTest::mouseRelease(window, Qt::LeftButton, {}, past);
        const int stopped = bar->value();
        QTest::qWait(100);
        QCOMPARE(bar->value(), stopped);
        QVERIFY(!view->selectedText().isEmpty());
    }

    // A reply too long to lay out in the moment the list measures it is laid
    // out in idle time, and the list takes its row's real height: none of its
    // end is cut off and the list's bottom is the real one.
    void longReplyTakesItsRealHeight_data()
    {
        QTest::addColumn<bool>("lastReply");
        QTest::newRow("the finished turn") << true;
        QTest::newRow("an earlier reply") << false;
    }
    void longReplyTakesItsRealHeight()
    {
        QFETCH(bool, lastReply);
        Pane pane;
        QString text;
        for (int i = 0; i < 1500; ++i)
            text += QStringLiteral("Line %1 of a very long answer, with *some* `marks`.\n\n").arg(i);
        QList<ChatMessage> messages = conversation(2);
        messages.append(message(MessageRole::Assistant, text.trimmed()));
        if (!lastReply)
            messages.append(conversation(2));
        pane.fill(messages);
        chat::TranscriptView *list = pane.list();
        const QUuid id = messages[2].id;
        chat::MessageRow *row = nullptr;
        QTRY_VERIFY((row = list->rowFor(id)));
        const auto laidOut = [&] {
            const chat::MarkdownRenderer &r = row->textView()->renderer();
            for (int i = 0; i < r.count(); ++i)
                if (!r.piece(i).exact)
                    return false;
            return true;
        };
        QTRY_VERIFY_WITH_TIMEOUT(laidOut(), 60'000);
        QTRY_COMPARE(list->itemRect(id).height(), row->heightForWidth(list->columnWidth()));
        QTRY_COMPARE(row->height(), list->itemRect(id).height());
        QVERIFY(list->isAtBottom());
    }

    // Until the history has arrived the list is not an empty conversation:
    // no welcome card comes and goes before the messages fill in.
    void welcomeCardWaitsForTheHistory_data()
    {
        QTest::addColumn<bool>("withMessages");
        QTest::newRow("a session with messages") << true;
        QTest::newRow("an empty session") << false;
    }

    void welcomeCardWaitsForTheHistory()
    {
        QFETCH(bool, withMessages);
        Harness h;
        {
            app::AppViewModel &first = h.make();
            if (withMessages)
                first.conversations().replaceMessages(*first.conversations().selectedConversationID(), conversation(3));
            h.destroy();
        }
        h.historyInBackground = true;
        app::AppViewModel &vm = h.make();
        stage::SkinStore skins(
            stage::SkinStore::Sources{QStringLiteral(":/skins"), QDir::temp().filePath(QStringLiteral("chat18-skins"))});
        glass::StyleStore styles(skins);
        chat::ChatView view(vm, styles);
        view.resize(900, 700);
        view.show();
        REQUIRE_CHILD(transcript, chat::TranscriptView, &view);
        QVERIFY(!vm.isHistoryLoaded());
        QVERIFY(!transcript->showsWelcome());
        QTRY_VERIFY(vm.isHistoryLoaded());
        QCOMPARE(transcript->visibleMessageCount(), withMessages ? 3 : 0);
        QCOMPARE(transcript->showsWelcome(), !withMessages);
    }

    void liveReplyOnlyUnderItsSession()
    {
        Pane pane;
        Peer::Reply stalled = Peer::textReply(QStringLiteral("Streaming words"));
        stalled.stallAfter = 40;
        pane.h.peer().enqueue(stalled);
        const QUuid runIn = pane.fill(conversation(2));
        const QUuid other = pane.fill(conversation(4));
        pane.vm().conversations().select(runIn);
        pane.vm().setDraft(QStringLiteral("go"));
        pane.vm().send();
        QTRY_VERIFY(pane.list()->liveBlock());
        pane.vm().conversations().select(other);
        QVERIFY(!pane.list()->liveBlock());
        QVERIFY(!pane.list()->showsWelcome());
        pane.vm().conversations().select(runIn);
        QVERIFY(pane.list()->liveBlock());
        // Its labels draw in the colour the block sets, not the list's text colour.
        const auto labels = pane.list()->liveBlock()->findChildren<QLabel *>();
        QVERIFY(!labels.isEmpty());
        for (const QLabel *label : labels)
            QCOMPARE(label->foregroundRole(), QPalette::WindowText);
        pane.vm().stop();
        pane.h.peer().releaseStalls();
    }

    // An empty session shows its welcome card while a run goes on in
    // another one; the session the run is in shows its live reply instead.
    void welcomeInAnEmptySessionWhileAnotherRuns()
    {
        Pane pane;
        Peer::Reply stalled = Peer::textReply(QStringLiteral("Streaming words"));
        stalled.stallAfter = 40;
        pane.h.peer().enqueue(stalled);
        const QUuid runIn = pane.fill({});
        QVERIFY(pane.list()->showsWelcome());
        pane.vm().setDraft(QStringLiteral("go"));
        pane.vm().send();
        QTRY_VERIFY(pane.list()->liveBlock());
        QVERIFY(!pane.list()->showsWelcome());
        QCOMPARE(pane.list()->welcomeSlot()->isVisible(), false);

        pane.vm().newChat();
        QVERIFY(pane.vm().isRunning());
        QVERIFY(pane.list()->showsWelcome());
        QTRY_VERIFY(pane.list()->welcomeSlot()->isVisible());
        pane.vm().conversations().select(runIn);
        QVERIFY(!pane.list()->showsWelcome());
        QVERIFY(!pane.list()->welcomeSlot()->isVisible());
        pane.vm().stop();
        pane.h.peer().releaseStalls();
    }

    // The copy button puts on the clipboard what its row shows.
    void copyCopiesWhatTheRowShows_data()
    {
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("content");
        const int user = int(MessageRole::User), assistant = int(MessageRole::Assistant);
        const QString image = QStringLiteral("![shot](data:image/png;base64,iVBORw0KGgo=)");
        QTest::newRow("reply that quotes an attachment block, copied whole")
            << assistant
            << QStringLiteral("Your prompt ended like this:\n\n---\n**Attached files**\n\n### `src/a.cpp`\n```\nint x;\n```\n\nThat is all.");
        QTest::newRow("reply with the marker in a sentence")
            << assistant << QStringLiteral("It says **Attached files** and ### `a.txt` there.");
        QTest::newRow("user prompt with attachments, as paperclip lines")
            << user << QStringLiteral("Look at this\n\n---\n**Attached files**\n\n### `src/a.cpp`\n```\nx\n```");
        QTest::newRow("inline image gone") << user << QStringLiteral("Before %1 after").arg(image);
        QTest::newRow("reply with an inline image") << assistant << QStringLiteral("%1\n\nDrawn above.").arg(image);
        QTest::newRow("spaces around") << assistant << QStringLiteral("\n\n  Padded reply.  \n");
    }
    void copyCopiesWhatTheRowShows()
    {
        QFETCH(int, role);
        QFETCH(QString, content);
        Pane pane;
        const ChatMessage m = message(MessageRole(role), content);
        pane.fill({message(MessageRole::User, QStringLiteral("first")), m});
        chat::MessageRow *row = nullptr;
        QTRY_VERIFY((row = pane.list()->rowFor(m.id)));
        const QString shown = row->textView()->text();
        QVERIFY(!shown.isEmpty());
        QAbstractButton *copy = nullptr;
        for (QAbstractButton *b : row->findChildren<QAbstractButton *>())
            if (b->accessibleName() == QStringLiteral("Copy"))
                copy = b;
        QVERIFY(copy);
        copy->click();
        QCOMPARE(pane.h.clipboard(), QStringList{shown});
    }

    // The finished reply lays out as its live block did: the same width for
    // its text, so no line wraps anew as it finishes.
    void finishedReplyKeepsItsLines_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("text");
        QString paragraphs;
        for (int i = 0; i < 6; ++i)
            paragraphs += QStringLiteral("Paragraph %1 goes on for a while so that it wraps over several lines of "
                                         "the reply, with words of many lengths to move each break about a "
                                         "little.\n\n")
                              .arg(i);
        QTest::newRow("wide pane") << 1100 << paragraphs.trimmed();
        QTest::newRow("narrow pane") << 560 << paragraphs.trimmed();
        QString log;
        for (int i = 0; log.size() < 30'000; ++i)
            log += QStringLiteral("step=%1 status=ok took=%2ms ").arg(i).arg(i % 97);
        QTest::newRow("one long paragraph") << 1100 << log.trimmed();
        QString word;
        for (int i = 0; word.size() < 30'000; ++i)
            word += QChar(u'a' + (i * 7) % 26);
        QTest::newRow("one long word") << 1100 << word;
    }
    void finishedReplyKeepsItsLines()
    {
        QFETCH(int, width);
        QFETCH(QString, text);
        Pane pane;
        pane.view->resize(width, 700);
        Peer::Reply reply = Peer::textReply(text, 8);
        reply.stallAfter = reply.body.size() - 30; // all the text, not yet the end
        pane.h.peer().enqueue(reply);
        pane.fill({});
        pane.vm().setDraft(QStringLiteral("go"));
        pane.vm().send();
        QTRY_VERIFY(pane.list()->liveBlock());
        QTRY_COMPARE(pane.list()->liveBlock()->textView()->text(), text);
        chat::MarkdownTextView *live = pane.list()->liveBlock()->textView();
        // Its last text is laid out when a frame is drawn, then sized at the
        // next layout pass, and the list's scroll bar comes or goes a turn
        // after its range changed: the size read is the one it then keeps.
        const QScrollBar *bar = pane.list()->verticalScrollBar();
        const auto inexact = [live] {
            const chat::MarkdownRenderer &r = live->renderer();
            int count = 0;
            for (int i = 0; i < r.count(); ++i)
                count += r.piece(i).exact ? 0 : 1;
            return count;
        };
        const auto settled = [&] {
            return inexact() == 0 && live->renderer().isTailCurrent() &&
                   live->height() == live->heightForWidth(live->width()) &&
                   bar->isVisibleTo(pane.list()) == (bar->maximum() > bar->minimum());
        };
        const auto state = [&] {
            return QStringLiteral("inexact %1, tail current %2, height %3 for %4 at width %5, bar shown %6 range %7-%8")
                .arg(inexact())
                .arg(live->renderer().isTailCurrent())
                .arg(live->height())
                .arg(live->heightForWidth(live->width()))
                .arg(live->width())
                .arg(bar->isVisibleTo(pane.list()))
                .arg(bar->minimum())
                .arg(bar->maximum());
        };
        QTRY_VERIFY2(settled(), qPrintable(state()));
        const int liveWidth = live->width();
        const int liveHeight = live->height();
        QVERIFY(liveWidth > 100);

        pane.h.peer().resumeStalls();
        QTRY_VERIFY(!pane.vm().isRunning());
        const QList<ChatMessage> messages = pane.vm().conversations().selectedConversation()->messages;
        QCOMPARE(messages.last().content, text);
        chat::MessageRow *row = nullptr;
        QTRY_VERIFY((row = pane.list()->rowFor(messages.last().id)));
        QTRY_VERIFY(row->textView()->isVisible());
        // The row took the live block's layout: no long paragraph in it is
        // drawn from a guess while a worker finds its lines again.
        const chat::MarkdownRenderer &shown = row->textView()->renderer();
        for (int i = 0; i < shown.count(); ++i)
            QVERIFY(!shown.piece(i).paragraph && shown.piece(i).exact);
        // A new width reaches the row before the height that goes with it,
        // which follows at the next layout pass: what counts is where it settles.
        QTRY_COMPARE(row->textView()->width(), liveWidth);
        QTRY_COMPARE(row->textView()->height(), liveHeight);
    }

    void approvalAnswers_data()
    {
        QTest::addColumn<QString>("press");
        QTest::addColumn<bool>("fileWritten");
        QTest::addColumn<bool>("allowsWrites");
        QTest::newRow("Deny") << "deny" << false << false;
        QTest::newRow("Approve") << "approve" << true << false;
        QTest::newRow("Allow writes this session") << "allow" << true << true;
        QTest::newRow("Return on the card approves") << "return" << true << false;
        QTest::newRow("Escape on the card denies") << "escape" << false << false;
        QTest::newRow("Return on the focused Deny denies") << "return-on-deny" << false << false;
    }
    void approvalAnswers()
    {
        QFETCH(QString, press);
        QFETCH(bool, fileWritten);
        QFETCH(bool, allowsWrites);
        Pane pane(true);
        pane.vm().setToolGuard(model::ToolGuardMode::Ask);
        pane.h.peer().enqueue(Peer::toolCallReply(
            {{"c1", "write_file", json({{"path", "a.txt"}, {"content", "one"}})}}));
        pane.h.peer().enqueue(Peer::textReply(QStringLiteral("Done.")));
        // Input in the first moments is ignored: a stray double click
        // never answers the card. Pressed the moment the card is up, not
        // after the wait below, which on a busy machine outlasts the delay.
        std::optional<bool> armedWhenShown;
        std::optional<bool> answeredWhenShown;
        connect(pane.list(), &chat::TranscriptView::approvalCardShown, pane.list(), [&](chat::ApprovalCard *shown) {
            armedWhenShown = shown->isArmed();
            answeredWhenShown = shown->approve();
        });
        pane.vm().setDraft(QStringLiteral("write it"));
        pane.vm().send();
        QTRY_VERIFY(pane.list()->approvalCard());
        chat::ApprovalCard *card = pane.list()->approvalCard();
        QCOMPARE(card->buttonCount(), 3);
        QCOMPARE(armedWhenShown, std::optional<bool>(false));
        QCOMPARE(answeredWhenShown, std::optional<bool>(false));
        QVERIFY(pane.vm().pendingApproval().has_value());
        // Return in the composer never approves.
        pane.field()->setFocus();
        card->armNow();
        QTest::keyClick(pane.field(), Qt::Key_Return);
        QVERIFY(pane.vm().pendingApproval().has_value());

        const auto buttons = card->findChildren<QAbstractButton *>();
        auto button = [&](const QString &text) {
            for (QAbstractButton *b : buttons)
                if (b->text() == text)
                    return b;
            return static_cast<QAbstractButton *>(nullptr);
        };
        if (press == "deny")
            QTest::mouseClick(button("Deny"), Qt::LeftButton);
        else if (press == "approve")
            QTest::mouseClick(button("Approve"), Qt::LeftButton);
        else if (press == "allow")
            QTest::mouseClick(button("Allow writes this session"), Qt::LeftButton);
        else if (press == "return") {
            card->setFocus();
            QTest::keyClick(card, Qt::Key_Return);
        } else if (press == "escape") {
            card->setFocus();
            QTest::keyClick(card, Qt::Key_Escape);
        } else if (press == "return-on-deny") {
            button("Deny")->setFocus();
            QTest::keyClick(button("Deny"), Qt::Key_Return);
        }
        QVERIFY(!pane.vm().pendingApproval().has_value());
        QTRY_VERIFY(!pane.vm().isRunning());
        QVERIFY(!pane.list()->approvalCard());
        QCOMPARE(QFile::exists(pane.h.projectPath() + "/a.txt"), fileWritten);
        QCOMPARE(pane.vm().allowsWritesForCurrentChat(), allowsWrites);
    }

    void staleCardAnswersNothing()
    {
        Pane pane(true);
        pane.vm().setToolGuard(model::ToolGuardMode::Ask);
        pane.h.peer().enqueue(Peer::toolCallReply(
            {{"c1", "write_file", json({{"path", "a.txt"}, {"content", "one"}})}}));
        pane.h.peer().enqueue(Peer::textReply(QStringLiteral("Done.")));
        pane.vm().setDraft(QStringLiteral("write it"));
        pane.vm().send();
        QTRY_VERIFY(pane.list()->approvalCard());
        QPointer<chat::ApprovalCard> card = pane.list()->approvalCard();
        // An answer naming another approval (a card drawn for an earlier
        // call) does not reach the one waiting now.
        emit card->answered(QStringLiteral("c0"), true, true);
        QVERIFY(pane.vm().pendingApproval().has_value());
        card->armNow();
        QVERIFY(card->deny());
        // The card leaves after its answer, not inside it: still here to ask.
        QVERIFY(card);
        QVERIFY(!pane.list()->approvalCard());
        QVERIFY(!card->approve()); // one answer per card
        QTRY_VERIFY(!card);
        QTRY_VERIFY(!pane.vm().isRunning());
        QVERIFY(!QFile::exists(pane.h.projectPath() + "/a.txt"));
    }

    // The list scrolls under the composer: a step repaints the rows above
    // it and not the composer's field, whose glass and text are costly.
    void scrollingLeavesTheComposerAlone_data()
    {
        QTest::addColumn<int>("wheelSteps");
        QTest::addColumn<int>("barStep");
        QTest::newRow("wheel up") << 3 << 0;
        QTest::newRow("wheel down") << -3 << 0;
        QTest::newRow("one pixel") << 0 << -1;
        QTest::newRow("a page up") << 0 << -700;
    }
    void scrollingLeavesTheComposerAlone()
    {
        QFETCH(int, wheelSteps);
        QFETCH(int, barStep);
        const int flash = QApplication::cursorFlashTime();
        QApplication::setCursorFlashTime(0); // a blinking caret repaints the field
        const auto restore = qScopeGuard([flash] { QApplication::setCursorFlashTime(flash); });
        Pane pane;
        pane.view->resize(1280, 800);
        app::MessageListModel model;
        chat::TranscriptView *list = pane.list();
        list->setModel(&model);
        model.showConversation(QUuid::createUuid(), conversation(200));
        QVERIFY(QTest::qWaitForWindowExposed(pane.view.get()));
        QTest::qWait(200); // the rows shown measured
        QScrollBar *bar = list->verticalScrollBar();
        bar->setValue(bar->maximum() / 2);
        QTest::qWait(200);

        QRegion fieldPainted, listPainted;
        testsupport::PaintRecorder fieldPaints(&fieldPainted), listPaints(&listPainted);
        chat::ComposerField *field = pane.field();
        const QList<QWidget *> fieldParts = field->findChildren<QWidget *>() << field;
        for (QWidget *w : fieldParts)
            w->installEventFilter(&fieldPaints);
        for (chat::MessageRow *row : list->viewport()->findChildren<chat::MessageRow *>())
            row->installEventFilter(&listPaints);
        const int before = bar->value();
        wheel(list, wheelSteps);
        if (barStep)
            bar->setValue(before + barStep);
        QVERIFY(bar->value() != before);
        QTRY_VERIFY(!listPainted.isEmpty());
        QTest::qWait(100);
        QVERIFY2(fieldPainted.isEmpty(),
                 qPrintable(QStringLiteral("%1 px of the field painted").arg(fieldPainted.boundingRect().height())));
        pane.list()->setModel(&pane.vm().messageModel());
    }

    // Heights measured at a width are kept for the last few widths the list
    // had (the pane's first width counts), so going back to one of them (a
    // panel shown and hidden again) need not measure again; a window dragged
    // through hundreds of widths keeps no more than those.
    void heightsKeptForTheLastWidths_data()
    {
        QTest::addColumn<QList<int>>("widths"); // of the pane, in turn
        QTest::addColumn<int>("kept");          // of the widths visited, counted from the last
        QTest::newRow("one more width") << QList<int>{700} << 2;
        QTest::newRow("back to the width before") << QList<int>{700, 800, 700} << 3;
        QTest::newRow("four widths") << QList<int>{500, 600, 700} << 4;
        QTest::newRow("back to the oldest width kept") << QList<int>{500, 600, 700, 900} << 4;
        QTest::newRow("a fifth width lets the oldest go") << QList<int>{500, 600, 700, 800} << 4;
        QTest::newRow("a drag through many widths")
            << QList<int>{800, 790, 780, 770, 760, 750, 740, 730, 720, 710, 700} << 4;
    }
    void heightsKeptForTheLastWidths()
    {
        QFETCH(QList<int>, widths);
        QFETCH(int, kept);
        Pane pane;
        pane.fill(conversation(40));
        chat::TranscriptView *list = pane.list();
        QCoreApplication::processEvents();
        QList<int> columns{list->columnWidth()}; // the latest first, each once
        for (int w : std::as_const(widths)) {
            pane.view->resize(w, 700);
            QCoreApplication::processEvents();
            columns.removeAll(list->columnWidth());
            columns.prepend(list->columnWidth());
        }
        QList<int> expected = columns.first(kept);
        std::sort(expected.begin(), expected.end());
        QCOMPARE(list->keptHeightWidths(), expected);
    }

    // Once a scroll rests, the rows past the overscan in its direction are
    // bound and measured: the next step, shorter than that reach, finds
    // every row it shows already bound; a step the other way does not.
    void rowsBoundAheadOfAScroll_data()
    {
        QTest::addColumn<int>("direction");
        QTest::addColumn<int>("next");
        QTest::addColumn<bool>("allBoundBefore");
        QTest::newRow("up, on up") << -1 << -1 << true;
        QTest::newRow("down, on down") << 1 << 1 << true;
        QTest::newRow("up, then down") << -1 << 1 << false;
    }
    void rowsBoundAheadOfAScroll()
    {
        QFETCH(int, direction);
        QFETCH(int, next);
        QFETCH(bool, allBoundBefore);
        Pane pane;
        pane.view->resize(1280, 800);
        app::MessageListModel model;
        chat::TranscriptView *list = pane.list();
        list->setModel(&model);
        const QList<ChatMessage> messages = conversation(400);
        model.showConversation(QUuid::createUuid(), messages);
        QScrollBar *bar = list->verticalScrollBar();
        // The session's switch goes to its bottom after the current event,
        // gliding there: both end before the list is scrolled by hand.
        auto *glide = list->findChild<QVariantAnimation *>(QStringLiteral("bottomGlide"));
        QVERIFY(glide);
        QTest::qWait(300);
        QTRY_VERIFY(bar->maximum() > 20 * 800 && list->isAtBottom() && glide->state() == QAbstractAnimation::Stopped);
        bar->setValue(bar->maximum() / 2);
        QTest::qWait(chat::TranscriptView::kAheadDelayMs * 3);
        QVERIFY(!list->isAtBottom());
        const int step = chat::TranscriptView::kAhead - 60;
        bar->setValue(bar->value() + direction * step);
        const auto bound = [&] {
            QHash<QUuid, chat::MessageRow *> rows;
            for (const ChatMessage &m : messages)
                if (chat::MessageRow *row = list->rowFor(m.id))
                    rows.insert(m.id, row);
            return rows;
        };
        const QHash<QUuid, chat::MessageRow *> justAfter = bound();
        QTRY_VERIFY(bound().size() > justAfter.size());
        const QHash<QUuid, chat::MessageRow *> before = bound();
        QVERIFY2(before.size() <= 30, qPrintable(QString::number(before.size())));

        bar->setValue(bar->value() + next * step);
        const QHash<QUuid, chat::MessageRow *> after = bound();
        bool allBefore = true;
        for (auto it = after.cbegin(); it != after.cend(); ++it)
            allBefore &= before.value(it.key()) == it.value();
        QCOMPARE(allBefore, allBoundBefore);
    }

    void rowWidgetsStayBounded()
    {
        Pane pane;
        pane.view->resize(1280, 800);
        app::MessageListModel model;
        chat::TranscriptView *list = pane.list();
        list->setModel(&model);
        const QList<ChatMessage> messages = conversation(2000);
        model.showConversation(QUuid::createUuid(), messages);
        list->scrollToBottom(false);
        QScrollBar *bar = list->verticalScrollBar();
        QVERIFY(bar->maximum() > 20 * 800);
        int most = list->rowWidgetCount();
        for (int v = bar->maximum(); v > 0; v -= 700) {
            bar->setValue(v);
            most = qMax(most, list->rowWidgetCount());
        }
        bar->setValue(0);
        QVERIFY2(most <= 30, qPrintable(QString::number(most)));
        // The first rows are shown where they belong and in order.
        chat::MessageRow *first = list->rowFor(messages[0].id);
        chat::MessageRow *second = list->rowFor(messages[1].id);
        QVERIFY(first && second);
        QVERIFY(first->geometry().bottom() + chat::TranscriptView::kSpacing <= second->geometry().top() + 1);
        QCOMPARE(first->y(), chat::TranscriptView::kTopMargin);

        // Copied is kept by message id: a reused row does not show it.
        QVERIFY(!first->isCopiedShown());
        QTest::mouseClick(first->findChild<QAbstractButton *>(), Qt::LeftButton);
        QVERIFY(first->isCopiedShown());
        QCOMPARE(pane.h.clipboard().value(0), QStringLiteral("Question 0: what does the build do?"));
        bar->setValue(bar->maximum());
        for (const ChatMessage &m : messages.mid(1990))
            if (chat::MessageRow *row = list->rowFor(m.id))
                QVERIFY(!row->isCopiedShown());
        bar->setValue(0);
        QVERIFY(list->rowFor(messages[0].id)->isCopiedShown());
        pane.list()->setModel(&pane.vm().messageModel());
    }

    // A screen reader reads every message of the list in order, rows not
    // bound included, each under the same object wherever the list is
    // scrolled; the rows in view say they are showing, the others not.
    void readerReadsEveryMessage()
    {
        glass::installReaderAccess();
        chat::installTranscriptAccess();
        Pane pane;
        app::MessageListModel model;
        chat::TranscriptView *list = pane.list();
        list->setModel(&model);
        const QList<ChatMessage> messages = conversation(40);
        model.showConversation(QUuid::createUuid(), messages);
        list->scrollToBottom(false);
        QAccessibleInterface *access = QAccessible::queryAccessibleInterface(list);
        QVERIFY(access);
        QCOMPARE(access->role(), QAccessible::List);

        const auto listed = [&] {
            QList<QAccessibleInterface *> items;
            for (int i = 0; i < access->childCount(); ++i)
                if (QAccessibleInterface *c = access->child(i); c && c->role() == QAccessible::ListItem)
                    items.append(c);
            return items;
        };
        const QList<QAccessibleInterface *> items = listed();
        QCOMPARE(items.size(), messages.size());
        for (int i = 0; i < messages.size(); ++i) {
            QAccessibleInterface *item = items[i];
            QCOMPARE(access->indexOfChild(item), i);
            QCOMPARE(item->parent(), access);
            const QString expected =
                i % 2 == 0 ? QStringLiteral("Question %1: what does the build do?").arg(i)
                           : QStringLiteral("Answer %1. The build compiles main.cpp, links the app and runs the "
                                            "tests.\none step\nanother step")
                                 .arg(i);
            QCOMPARE(item->text(QAccessible::Name), i % 2 == 0 ? QStringLiteral("You") : QStringLiteral("Qirv"));
            QVERIFY(item->textInterface());
            QCOMPARE(item->textInterface()->text(0, -1), expected);
            const bool bound = list->rowFor(messages[i].id) != nullptr;
            QCOMPARE(!item->state().offscreen, list->itemInView(i));
            // A reply's parts, then its row's buttons while it is bound.
            if (i % 2 == 1) {
                QList<QAccessible::Role> roles;
                for (int c = 0; c < item->childCount(); ++c)
                    roles.append(item->child(c)->role());
                QList<QAccessible::Role> parts{QAccessible::Paragraph, QAccessible::ListItem, QAccessible::ListItem};
                if (bound)
                    parts.append(QAccessible::Client);
                QCOMPARE(roles, parts);
                QCOMPARE(item->child(1)->text(QAccessible::Name), QStringLiteral("one step"));
                QCOMPARE(item->child(0)->parent(), item);
            }
        }
        QVERIFY(items.first()->state().offscreen);
        QVERIFY(!items.last()->state().offscreen);
        // The first message keeps its object while the list scrolls.
        const QAccessible::Id first = QAccessible::uniqueId(items.first());
        list->verticalScrollBar()->setValue(0);
        QVERIFY(!listed().first()->state().offscreen);
        QCOMPARE(QAccessible::uniqueId(listed().first()), first);
        list->scrollToBottom(false);
        QCOMPARE(QAccessible::uniqueId(listed().first()), first);
        pane.list()->setModel(&pane.vm().messageModel());
    }

    void pictures_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("dark") << "default";
        QTest::newRow("light") << "paper";
    }
    void pictures()
    {
        QFETCH(QString, skin);
        {
            Pane pane(false, skin);
            pane.view->resize(1000, 760);
            QList<ChatMessage> messages = conversation(40);
            messages.append(message(MessageRole::User, QStringLiteral("Show me the loop in main.cpp")));
            messages.append(message(MessageRole::Assistant,
                                    QStringLiteral("Here it is:\n\n```cpp\nfor (int i = 0; i < n; ++i)\n    run(i);\n```\n\n"
                                                   "It runs each step **once**.")));
            pane.fill(messages);
            pane.vm().setDraft(QStringLiteral("And the tests?"));
            QTRY_VERIFY(pane.list()->isAtBottom());
            QTest::qWait(50);
            pane.save(QStringLiteral("chat-pane-long-%1.png").arg(skin));
        }
        const QList<std::tuple<QString, QString, QString>> calls{
            {"read", "read_file", json({{"path", "src/main.cpp"}})},
            {"write", "write_file", json({{"path", "notes.txt"}, {"content", "hello\u202Edlrow\u200B\nsecond line"}})},
            {"shell", "run_shell", json({{"command", "ls -la && echo \u200Bdone\u0007"}})},
        };
        for (const auto &[risk, tool, args] : calls) {
            Pane pane(true, skin);
            pane.vm().setToolGuard(model::ToolGuardMode::Ask);
            pane.view->resize(1000, 760);
            pane.h.peer().enqueue(Peer::toolCallReply({{"c1", tool, args}}));
            pane.vm().setDraft(QStringLiteral("please do it"));
            pane.vm().send();
            if (risk == "read") {
                // Reads run without asking under every guard; picture the
                // card on its own instead.
                model::PendingApproval p{"c9", tool, args, model::ToolRisk::Read,
                                         QStringLiteral("src/main.cpp\n(first 200 lines)"), QStringLiteral("Read a file")};
                QTRY_VERIFY(!pane.vm().isRunning());
                chat::ApprovalCard card(p, *pane.styles);
                card.resize(720, card.heightForWidth(720));
                const QString dir = testsupport::outputDirectory();
                card.grab().save(QDir(dir).filePath(QStringLiteral("approval-read-%1.png").arg(skin)));
                QCOMPARE(card.buttonCount(), 2);
                continue;
            }
            QTRY_VERIFY(pane.list()->approvalCard());
            QTRY_VERIFY(pane.list()->isAtBottom());
            QTest::qWait(50);
            chat::ApprovalCard *card = pane.list()->approvalCard();
            // Hidden characters show as markers; the card stays within the column.
            if (risk == "write")
                QVERIFY(card->previewText().contains(QStringLiteral("\u27E8U+202E\u27E9")));
            QVERIFY(!card->previewText().contains(u'\u202E'));
            QVERIFY(card->width() <= chat::TranscriptView::kColumnMaxWidth);
            pane.save(QStringLiteral("approval-%1-%2.png").arg(risk, skin));
            pane.vm().stop();
        }
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestChatPane)
#include "tst_chat_pane.moc"
