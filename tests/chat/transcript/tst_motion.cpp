// Motion in the chat list: the bubbles fading when the stage's wallpaper or
// veil changes their visibility, the copy button's fade and the live
// status cross-fade. Each is an event log of the animations (start, end,
// duration, curve); under reduced motion there is none and the new state
// shows at once. Frames half way are looked at too.

#include "StagedChat.h"
#include "support/AnimationLog.h"
#include "support/TestMain.h"

#include "app/MessageListModel.h"
#include "chat/transcript/CrossFadeLabel.h"
#include "chat/transcript/LiveAssistantBlock.h"
#include "chat/transcript/LiveGlass.h"
#include "chat/transcript/MessageChrome.h"
#include "chat/transcript/MessageRow.h"
#include "chat/transcript/MessageRowParts.h"
#include "chat/transcript/TranscriptView.h"
#include "chat/transcript/TurnFade.h"
#include "glass/paint/BackdropSheet.h"

#include <QDir>
#include <QEnterEvent>

using chat::TurnFade;
using chattest::StagedChat;
using testsupport::AnimationLog;

namespace {

model::ChatMessage message(model::MessageRole role, const QString &text)
{
    model::ChatMessage m;
    m.id = QUuid::createUuid();
    m.role = role;
    m.content = text;
    return m;
}

// A short session and a reply being written, in the transcript over the stage.
struct Rig {
    StagedChat staged;
    app::MessageListModel model;
    chat::TranscriptView *list = nullptr;
    model::ChatMessage question = message(model::MessageRole::User, QStringLiteral("How does the build find tests?"));
    model::ChatMessage answer = message(model::MessageRole::Assistant, QStringLiteral("It reads the list."));

    Rig(const QString &skin, bool on, double veil, bool reduceMotion)
        : staged(skin, chattest::kDefaultStage, veil, QSize(900, 640))
    {
        staged.styles->setReduceMotion(reduceMotion);
        staged.background->setIsEnabled(on);
        list = new chat::TranscriptView(staged.context(), staged.window.get());
        list->setGeometry(staged.window->rect());
        model.showConversation(QUuid::createUuid(), {question, answer});
        model.setLive(true, QStringLiteral("Writing the next part"), app::LiveActivity::writing());
        list->setModel(&model);
    }
    ~Rig() { list->setModel(nullptr); }

    TurnFade *fade() const { return list->findChild<TurnFade *>(); }
    chat::BubbleFrame *bubble(const model::ChatMessage &m) const
    {
        for (chat::BubbleFrame *b : list->rowFor(m.id)->findChildren<chat::BubbleFrame *>())
            if (b->isVisibleTo(list->rowFor(m.id)))
                return b;
        return nullptr;
    }
    chat::LiveGlass *liveGlass() const { return list->liveBlock()->findChild<chat::LiveGlass *>(); }
    // Every bubble fade stopped at this share of its own length.
    void holdFadesAt(double share)
    {
        for (QVariantAnimation *a : fade()->findChildren<QVariantAnimation *>())
            if (a->state() != QAbstractAnimation::Stopped) {
                a->pause();
                a->setCurrentTime(int(a->duration() * share));
            }
    }
    QImage frame() const
    {
        QImage image = staged.window->grab().toImage();
        return image.convertToFormat(QImage::Format_RGB32);
    }
};

// The mean colour of a box, as one number per channel summed.
double meanLevel(const QImage &image, const QRect &box)
{
    double sum = 0;
    int n = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x, ++n) {
            const QRgb p = image.pixel(x, y);
            sum += qRed(p) + qGreen(p) + qBlue(p);
        }
    return n ? sum / n : 0;
}

void save(const QImage &image, const QString &name)
{
    const QString dir = testsupport::outputDirectory();
    image.save(QDir(dir).filePath(name));
}

} // namespace

class MotionTest : public QObject {
    Q_OBJECT

private slots:
    void bubbleFades_data()
    {
        QTest::addColumn<bool>("fromOn");
        QTest::addColumn<double>("fromVeil");
        QTest::addColumn<bool>("toOn");
        QTest::addColumn<double>("toVeil");
        QTest::addColumn<bool>("reduceMotion");
        QTest::addColumn<QStringList>("starts");
        const QStringList all{"start userFade 280 easeInOut", "start assistantFade 550 easeInOut",
                              "start liveFade 550 easeInOut"};
        const QStringList turns = all.mid(0, 2);
        QTest::newRow("wallpaper on: every bubble fades in") << false << 0.1 << true << 0.1 << false << all;
        QTest::newRow("wallpaper off: every bubble fades out") << true << 0.1 << false << 0.1 << false << all;
        QTest::newRow("thinner veil: the turns' look moves, the live block's stays")
            << true << 0.3 << true << 0.1 << false << turns;
        QTest::newRow("veil past 0.55: the turns' bubbles go, the live block's stays")
            << true << 0.3 << true << 0.6 << false << turns;
        QTest::newRow("reduced motion: wallpaper on at once") << false << 0.1 << true << 0.1 << true << QStringList();
        QTest::newRow("reduced motion: veil at once") << true << 0.3 << true << 0.1 << true << QStringList();
    }
    void bubbleFades()
    {
        QFETCH(bool, fromOn);
        QFETCH(double, fromVeil);
        QFETCH(bool, toOn);
        QFETCH(double, toVeil);
        QFETCH(bool, reduceMotion);
        QFETCH(QStringList, starts);
        Rig rig(QStringLiteral("default"), fromOn, fromVeil, reduceMotion);
        QVERIFY(rig.staged.showAndWait() || !fromOn);
        const TurnFade::Shown userBefore = rig.fade()->shown(TurnFade::Turn::user);
        QCOMPARE(userBefore, TurnFade::settled(chat::MessageChrome::bubbleVisibility(fromOn, fromVeil)));
        AnimationLog log(rig.list);

        rig.staged.background->setIsEnabled(toOn);
        rig.staged.background->setOverlayOpacity(toVeil);
        const double target = chat::MessageChrome::bubbleVisibility(toOn, toVeil);
        QCOMPARE(log.starts(), starts);
        if (starts.isEmpty()) {
            QCOMPARE(rig.fade()->shown(TurnFade::Turn::user), TurnFade::settled(target));
            QCOMPARE(rig.bubble(rig.question)->shownLook(), target);
            QCOMPARE(rig.bubble(rig.question)->shownMix(), 0.0);
            QTest::qWait(50);
            QVERIFY(log.entries().isEmpty());
            return;
        }

        // Half way: a bubble that comes or goes keeps its look and fades; one
        // that stays moves its look at full opacity. Rows show what the fade says.
        rig.holdFadesAt(0.5);
        const TurnFade::Shown half = rig.fade()->shown(TurnFade::Turn::assistant);
        const double before = chat::MessageChrome::bubbleVisibility(fromOn, fromVeil);
        if (before > 0.01 && target > 0.01) {
            QCOMPARE(half.opacity, 1.0);
            QCOMPARE(half.look, before);
            QCOMPARE(half.next, target);
            QVERIFY(half.mix > 0.2 && half.mix < 0.8);
        } else {
            QVERIFY(half.opacity > 0.2 && half.opacity < 0.8);
            QCOMPARE(half.look, target > 0.01 ? target : before);
            QCOMPARE(half.next, half.look);
        }
        chat::BubbleFrame *answer = rig.bubble(rig.answer);
        QCOMPARE(answer->shownLook(), half.look);
        QCOMPARE(answer->shownNext(), half.next);
        QCOMPARE(answer->shownMix(), half.mix);
        QCOMPARE(answer->shownOpacity(), half.opacity);
        // Its text takes the new colour at once: the glass is held for it.
        QCOMPARE(answer->visibility(), target);
        const TurnFade::Shown live = rig.fade()->shown(TurnFade::Turn::live);
        QCOMPARE(rig.liveGlass()->opacity(), live.opacity);

        for (QVariantAnimation *a : rig.fade()->findChildren<QVariantAnimation *>())
            if (a->state() == QAbstractAnimation::Paused)
                a->resume();
        QTRY_VERIFY(log.settled());
        QStringList ends;
        for (QString s : starts)
            ends << QStringLiteral("end ") + s.section(u' ', 1, 1);
        ends.sort();
        QCOMPARE(log.ends(), ends);
        QCOMPARE(rig.fade()->shown(TurnFade::Turn::assistant), TurnFade::settled(target));
        QCOMPARE(rig.bubble(rig.answer)->shownOpacity(), target > 0.01 ? 1.0 : 0.0);
    }

    // A frame half way through bubbles going (veil past 0.55) lies between
    // the frames before and after, in a dark and a light skin.
    void halfWayFrame_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("dark") << "default";
        QTest::newRow("light") << "paper";
    }
    void halfWayFrame()
    {
        QFETCH(QString, skin);
        Rig rig(skin, true, 0.2, false);
        QVERIFY(rig.staged.showAndWait());
        rig.staged.background->setOverlayOpacity(0.6);
        rig.holdFadesAt(0);
        QVERIFY(rig.staged.waitForVeil(0.6)); // the stage's own veil settles
        QVariantAnimation *assistant = rig.fade()->findChild<QVariantAnimation *>(QStringLiteral("assistantFade"));
        QVERIFY(assistant && assistant->state() == QAbstractAnimation::Paused);
        // The answer's bubble right of its text, away from any glyph.
        const QRect bubble(rig.bubble(rig.answer)->mapTo(rig.staged.window.get(), QPoint(0, 0)),
                           rig.bubble(rig.answer)->size());
        const QRect box(bubble.right() - 80, bubble.top() + 6, 60, bubble.height() - 12);
        const QImage start = rig.frame();
        assistant->setCurrentTime(assistant->duration() / 2);
        const QImage half = rig.frame();
        assistant->setCurrentTime(assistant->duration());
        const QImage end = rig.frame();
        save(half, QStringLiteral("motion-bubbles-half-%1.png").arg(skin));
        const double a = meanLevel(start, box), h = meanLevel(half, box), b = meanLevel(end, box);
        QVERIFY2(qAbs(a - b) > 20, qPrintable(QStringLiteral("%1 %2").arg(a).arg(b)));
        QVERIFY2(h > qMin(a, b) + 5 && h < qMax(a, b) - 5, qPrintable(QStringLiteral("%1 %2 %3").arg(a).arg(h).arg(b)));
    }

    // Each frame of a fade copies glass drawn once per look: frames do not
    // draw the list's glass again (the stage itself held still).
    void fadeFramesCopyTheirGlass_data()
    {
        QTest::addColumn<double>("fromVeil");
        QTest::addColumn<double>("toVeil");
        QTest::newRow("thinner veil: two looks cross-fade") << 0.3 << 0.1;
        QTest::newRow("veil past 0.55: the bubbles go") << 0.2 << 0.6;
    }
    void fadeFramesCopyTheirGlass()
    {
        QFETCH(double, fromVeil);
        QFETCH(double, toVeil);
        Rig rig(QStringLiteral("default"), true, fromVeil, false);
        QVERIFY(rig.staged.showAndWait());
        rig.staged.background->setOverlayOpacity(toVeil);
        rig.holdFadesAt(0);
        QVERIFY(rig.staged.waitForVeil(toVeil)); // the stage's own veil settles
        auto *sheet = rig.list->viewport()->findChild<glass::BackdropSheet *>();
        QVERIFY(sheet);
        rig.frame();
        const int before = sheet->layerDraws();
        QVariantAnimation *assistant = rig.fade()->findChild<QVariantAnimation *>(QStringLiteral("assistantFade"));
        QVariantAnimation *user = rig.fade()->findChild<QVariantAnimation *>(QStringLiteral("userFade"));
        int frames = 0;
        for (int at = 16; at <= assistant->duration(); at += 16, ++frames) {
            assistant->setCurrentTime(at);
            user->setCurrentTime(qMin(at, user->duration()));
            rig.frame();
        }
        QVERIFY(frames > 30);
        // At most the new look of each turn's bubbles.
        QVERIFY2(sheet->layerDraws() - before <= 2, qPrintable(QString::number(sheet->layerDraws() - before)));
    }

    void copyButtonFades_data()
    {
        QTest::addColumn<bool>("reduceMotion");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("the pointer comes and goes")
            << false
            << QStringList{"start copyFade 120 easeOut", "end copyFade", "start copyFade 120 easeOut", "end copyFade"};
        QTest::newRow("reduced motion") << true << QStringList();
    }
    void copyButtonFades()
    {
        QFETCH(bool, reduceMotion);
        QFETCH(QStringList, expected);
        Rig rig(QStringLiteral("default"), true, 0.1, reduceMotion);
        QVERIFY(rig.staged.showAndWait());
        chat::MessageRow *row = rig.list->rowFor(rig.question.id);
        auto *copy = row->findChild<chat::MessageRowCopyButton *>();
        QVERIFY(copy);
        QCOMPARE(copy->fade(), 0.0);
        AnimationLog log(row);
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), rig.bubble(rig.question)->mapToGlobal(QPointF(5, 5)));
        QApplication::sendEvent(rig.bubble(rig.question), &enter);
        if (!reduceMotion) {
            QVERIFY(copy->fade() < 1.0);
            QVERIFY(!copy->testAttribute(Qt::WA_TransparentForMouseEvents)); // clickable as it appears
        }
        QTRY_COMPARE(copy->fade(), 1.0);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(rig.bubble(rig.question), &leave);
        QVERIFY(copy->testAttribute(Qt::WA_TransparentForMouseEvents));
        QTRY_COMPARE(copy->fade(), 0.0);
        QTRY_COMPARE(log.entries(), expected);
        QTest::qWait(20);
        QCOMPARE(log.entries(), expected);
    }

    void statusCrossFade_data()
    {
        QTest::addColumn<bool>("reduceMotion");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("old status fades out, new one in")
            << false << QStringList{"start statusCrossFade 150 easeOut", "end statusCrossFade"};
        QTest::newRow("reduced motion") << true << QStringList();
    }
    void statusCrossFade()
    {
        QFETCH(bool, reduceMotion);
        QFETCH(QStringList, expected);
        Rig rig(QStringLiteral("default"), true, 0.1, reduceMotion);
        QVERIFY(rig.staged.showAndWait());
        auto *status = rig.list->liveBlock()->findChild<chat::CrossFadeLabel *>();
        QVERIFY(status);
        QCOMPARE(status->text(), QStringLiteral("Writing\u2026"));
        AnimationLog log(rig.list->liveBlock());
        rig.model.setLive(true, QStringLiteral("Writing the next part"), app::LiveActivity::working("list_dir"));
        QCOMPARE(rig.list->liveBlock()->status(), QStringLiteral("Working \u00B7 list dir\u2026"));
        QCOMPARE(status->isFading(), !reduceMotion);
        if (!reduceMotion) {
            QCOMPARE(status->fadingOutText(), QStringLiteral("Writing\u2026"));
            auto *fade = status->findChild<QVariantAnimation *>();
            fade->pause();
            fade->setCurrentTime(fade->duration() / 2);
            save(rig.list->liveBlock()->grab().toImage(), QStringLiteral("motion-status-half.png"));
            fade->resume();
        }
        QTRY_COMPARE(log.entries(), expected);
        QVERIFY(!status->isFading());
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(MotionTest)
#include "tst_motion.moc"
