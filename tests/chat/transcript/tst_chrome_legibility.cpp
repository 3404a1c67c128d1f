// The small things around the chat bubbles stay legible on what is painted
// behind them: the tool-call chips, the copy buttons, the finished-turn
// chrome ("Ready", Retry, the two marks) and a code card's header, in every
// shipped skin over plain white, a busy photo and the default stage, at the
// veils a bubble shows at. Each ink is measured against the picture with
// that ink taken away (WCAG contrast, the worst pixel of its box).

#include "StagedChat.h"
#include "support/TestMain.h"

#include "chat/transcript/ActivityMarks.h"
#include "chat/markdown/MarkdownTextView.h"
#include "chat/transcript/MessageRow.h"
#include "chat/transcript/MessageRowParts.h"
#include "glass/marks/FelgrinMark.h"

#include <QDir>
#include <QGraphicsOpacityEffect>
#include <QLabel>

using chattest::StagedChat;
using chattest::worstContrast;

namespace {

// The box of the pixels that differ between two pictures within area.
QRect changedIn(const QImage &a, const QImage &b, const QRect &area)
{
    QRect box;
    const QRect inside = area & a.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                box |= QRect(x, y, 1, 1);
    return box;
}

void setInk(QWidget *widget, const QColor &ink)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, ink);
    widget->setPalette(palette);
}

void hide(QWidget *widget)
{
    auto *gone = new QGraphicsOpacityEffect(widget);
    gone->setOpacity(0);
    widget->setGraphicsEffect(gone);
}

QColor scaled(QColor c, double opacity)
{
    c.setAlphaF(c.alphaF() * opacity);
    return c;
}

} // namespace

class ChromeLegibilityTest : public QObject {
    Q_OBJECT

    chattest::Wallpapers m_wallpapers;

private slots:
    // Secondary text and symbols need 3; "Ready" is the chrome's primary
    // text. The two star marks are decoration in the accent's colour: their
    // figures are reported, not held to a goal.
    void chromeOnItsGlass_data()
    {
        QVERIFY(chattest::addSkinBackdropVeilRows({"white", "black", "busy", "stage"}) >= 8);
    }

    void chromeOnItsGlass()
    {
        QFETCH(QString, skin);
        QFETCH(QString, backdrop);
        QFETCH(double, veil);
        StagedChat c(skin, m_wallpapers.file(backdrop), veil, QSize(760, 470));
        QCOMPARE(c.skins->current().id, skin);
        QWidget &window = *c.window;
        auto *user = new chat::MessageRow(c.context(), c.list);
        user->setMessage(model::ChatMessage::make(model::MessageRole::User, QStringLiteral("Which tests run first?")),
                         false);
        user->setOnCopy([] {});
        auto *reply = new chat::MessageRow(c.context(), c.list);
        model::ChatMessage answer = model::ChatMessage::make(
            model::MessageRole::Assistant,
            QStringLiteral("The unit tests, then the rest:\n\n```python\nrun(tests, order=\"unit\")\n```"));
        answer.toolCalls = QList<model::ToolCallRecord>{{QStringLiteral("a"), QStringLiteral("read_file"), {}},
                                                        {QStringLiteral("b"), QStringLiteral("run_shell"), {}}};
        reply->setMessage(answer, true);
        reply->setOnCopy([] {});
        reply->setOnRetry([] {});
        user->setTransientState(true, false);
        reply->setTransientState(true, false);
        user->setGeometry(40, 16, 680, user->heightForWidth(680));
        reply->setGeometry(40, user->geometry().bottom() + 20, 680, reply->heightForWidth(680));
        QVERIFY(c.showAndWait());
        QVERIFY(reply->showsFinishedChrome() && reply->showsRetry() && reply->showsCopy());
        QCOMPARE(reply->toolChipCount(), 2);

        const QList<chat::MessageRowCopyButton *> copies = window.findChildren<chat::MessageRowCopyButton *>();
        auto *tools = reply->findChild<chat::MessageRowTools *>();
        auto *ready = reply->findChild<QLabel *>(QStringLiteral("ready"));
        auto *retry = reply->findChild<chat::MessageRowRetryButton *>();
        auto *mark = reply->findChild<chat::RestingActivityMark *>();
        auto *crew = reply->findChild<glass::FelgrinMark *>();
        chat::MarkdownTextView *text = reply->textView();
        QVERIFY(copies.size() == 2 && tools && ready && retry && mark && crew);

        const QImage shown = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(shown.save(QDir(testsupport::outputDirectory())
                               .filePath(QStringLiteral("chrome-legibility-%1-%2-%3.png")
                                             .arg(skin, backdrop, QString(QTest::currentDataTag()).section(u'/', 2)))));

        struct Measured {
            QString what;
            QRect box;
            QColor ink;
            double goal; // 0: decoration, reported only
        };
        QList<Measured> measured;
        const auto at = [&](QWidget *w, const QRectF &r) { return r.translated(w->mapTo(&window, QPoint())).toAlignedRect(); };
        const QColor toolInk = tools->palette().color(QPalette::WindowText);
        for (int i = 0; i < tools->chipCount(); ++i) {
            const QRectF chip = tools->chipRect(i);
            // Between the rounded ends, inside the hairline: symbol and name.
            const QRectF inner = chip.adjusted(chip.height() / 2, 2, -chip.height() / 2, -2);
            measured.append({QStringLiteral("tool chip %1").arg(i), at(tools, inner), toolInk, 3});
        }
        for (chat::MessageRowCopyButton *copy : copies) {
            // The symbol's square; its colour is the one seen through the button's opacity.
            const QColor ink = copy->palette().color(QPalette::WindowText);
            const bool onUser = user->isAncestorOf(copy);
            measured.append({onUser ? QStringLiteral("user copy") : QStringLiteral("reply copy"),
                             at(copy, QRectF(12, 12, 12, 12)), ink, 3});
        }
        measured.append({QStringLiteral("Ready"), at(ready, ready->rect()), ready->palette().color(QPalette::WindowText), 4.5});
        measured.append({QStringLiteral("Retry"), at(retry, retry->rect()), retry->palette().color(QPalette::WindowText), 3});
        measured.append({QStringLiteral("resting mark"), at(mark, QRectF(5, 5, 12, 12)),
                         scaled(chat::RestingActivityMark::tint(c.skins->current()), 0.92), 0});
        measured.append({QStringLiteral("crew mark"), at(crew, QRectF(crew->rect()).adjusted(3, 3, -3, -3)),
                         glass::FelgrinMark::starFill(glass::FelgrinMark::Style::resting, c.skins->current()), 0});

        // Everything measured taken away at once: the inks made clear, the
        // chrome's widgets faded out in place.
        for (chat::MessageRowCopyButton *copy : copies)
            setInk(copy, Qt::transparent);
        setInk(tools, Qt::transparent);
        for (QWidget *w : std::initializer_list<QWidget *>{ready, retry, mark, crew})
            hide(w);
        chat::MarkdownStyle plain = text->markdownStyle();
        const QColor codeInk = plain.codeLabel;
        plain.codeLabel = Qt::transparent;
        plain.cacheTag += QStringLiteral("|no-label");
        text->setStyle(plain);
        const QImage glass = window.grab().toImage().convertToFormat(QImage::Format_RGB32);

        // The code card's header: where its label and Copy were.
        const QRect header = changedIn(shown, glass, QRect(text->mapTo(&window, QPoint()), text->size()));
        QVERIFY(!header.isEmpty());
        measured.append({QStringLiteral("code header"), header, codeInk, 3});

        QStringList figures;
        QStringList failures;
        for (const Measured &m : std::as_const(measured)) {
            QVERIFY2(!m.box.isEmpty(), qPrintable(m.what));
            const double ratio = worstContrast(glass, m.box, m.ink);
            figures << QStringLiteral("%1 %2").arg(m.what).arg(ratio, 0, 'f', 2);
            if (ratio < m.goal)
                failures << QStringLiteral("%1 %2 < %3").arg(m.what).arg(ratio, 0, 'f', 2).arg(m.goal);
        }
        qInfo("%s: %s", QTest::currentDataTag(), qPrintable(figures.join(QStringLiteral(", "))));
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QStringLiteral("; "))));
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(ChromeLegibilityTest)
#include "tst_chrome_legibility.moc"
