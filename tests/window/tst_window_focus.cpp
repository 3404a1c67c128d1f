// Where the keyboard is, in the real main window: every key goes to what
// really has the focus (QApplication::focusWidget()), as a person's would.

#include "WindowKit.h"

#include "chat/transcript/ApprovalCard.h"
#include "chat/ChatView.h"
#include "chat/composer/ComposerBar.h"
#include "chat/composer/ComposerField.h"
#include "chat/tray/ComposerTray.h"
#include "chat/tray/TrayChips.h"
#include "chat/transcript/MessageRowParts.h"
#include "chat/transcript/TranscriptView.h"
#include "chat/tray/TrayPopoverHost.h"
#include "glass/controls/FocusRing.h"
#include "glass/sheets/SheetOverlay.h"
#include "glass/look/Styles.h"
#include "model/ConversationStore.h"
#include "model/SettingsStore.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"
#include "palette/CommandPaletteView.h"
#include "panels/SidebarControls.h"
#include "panels/SidebarView.h"
#include "settings/OnboardingSheet.h"
#include "support/NamedWidget.h"
#include "support/TestMain.h"
#include "window/ActionRegistry.h"
#include "window/ContentView.h"
#include "window/MainWindow.h"
#include "window/PanelSlot.h"
#include "window/SettingsHost.h"
#include "window/TitleButton.h"
#include "window/TitleStrip.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QMenu>
#include <QTimer>
#include <QTreeView>

namespace {

QWidget *focused()
{
    return QApplication::focusWidget();
}

// Keys as typed: to whatever has the keyboard now.
bool typeText(const QString &text)
{
    for (const QChar c : text) {
        if (!focused())
            return false;
        QTest::keyClick(focused(), c.toLatin1());
    }
    return true;
}

bool press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    if (!focused())
        return false;
    QTest::keyClick(focused(), key, modifiers);
    return true;
}

bool inside(const QWidget *container, const QWidget *w)
{
    return container && w && (w == container || container->isAncestorOf(w));
}

QString describe(const QWidget *w)
{
    if (!w)
        return QStringLiteral("nothing");
    return QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + w->objectName();
}

// The window shown and holding the keyboard, as after a start.
bool showActive(windowtest::WindowKit &kit)
{
    return kit.show() && QTest::qWaitForWindowActive(&kit.window());
}

chat::ComposerField *composer(window::MainWindow &w)
{
    auto *chatView = qobject_cast<chat::ChatView *>(windowtest::panelSlot(w.content(), QStringLiteral("chat"))->view());
    return chatView ? chatView->composer()->field() : nullptr;
}

chat::ComposerTray *tray(window::MainWindow &w)
{
    auto *chatView = qobject_cast<chat::ChatView *>(windowtest::panelSlot(w.content(), QStringLiteral("chat"))->view());
    return chatView ? chatView->findChild<chat::ComposerTray *>() : nullptr;
}

panels::SidebarView *sidebar(window::MainWindow &w)
{
    return qobject_cast<panels::SidebarView *>(windowtest::panelSlot(w.content(), QStringLiteral("sidebar"))->view());
}

// Crops of each focused control with its ring, side by side, for a person to look at.
struct RingSheet {
    QList<QImage> crops;
    void add(const QImage &crop) { crops.append(crop); }
    void save(const QString &name) const
    {
        if (crops.size() == 1) {
            crops.first().save(outputPath(name));
            return;
        }
        const int columns = 6, cell = 200;
        QImage out(columns * cell, int((crops.size() + columns - 1) / columns) * 90, QImage::Format_ARGB32);
        out.fill(Qt::black);
        QPainter p(&out);
        for (int i = 0; i < crops.size(); ++i) {
            const QImage c = crops[i].scaled(cell - 4, 86, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            p.drawImage(QPoint((i % columns) * cell + 2, (i / columns) * 90 + 2), c);
        }
        p.end();
        out.save(outputPath(name));
    }
    static QString outputPath(const QString &name)
    {
        const QString dir = testsupport::outputDirectory();
        return QDir(dir).filePath(name);
    }
};

bool near(QRgb a, const QColor &b)
{
    return qAbs(qRed(a) - b.red()) + qAbs(qGreen(a) - b.green()) + qAbs(qBlue(a) - b.blue()) < 60;
}

// Whether a picture of the window around the ring shows it: the middle of
// its stroke, at the middle of each side, in its colour. A side outside the
// window does not count against it.
int ringSidesShown(const QImage &shot, const QRect &shotRect, const QRect &around, const QColor &color)
{
    // The stroke's middle lies kGap + kWidth / 2 outside the edge: 2.75 px,
    // so the third pixel row or column out is wholly inside the stroke.
    const int d = 3;
    const QPoint c = around.center();
    const QList<QPoint> points{{c.x(), around.top() - d}, {c.x(), around.bottom() + d},
                               {around.left() - d, c.y()}, {around.right() + d, c.y()}};
    int shown = 0;
    for (const QPoint &pt : points) {
        const QPoint px = (pt - shotRect.topLeft()) * shot.devicePixelRatio();
        if (!shot.rect().contains(px) || near(shot.pixel(px), color))
            ++shown;
    }
    return shown;
}

// Tab from what has the keyboard round to it again; each stop must show
// its ring. The names of the stops, in order.
QStringList tabAround(QWidget &window, glass::FocusRing &ring, const QColor &color, RingSheet &sheet)
{
    QStringList names;
    QSet<QWidget *> seen;
    for (int i = 0; i < 80; ++i) {
        QWidget *f = focused();
        if (!f || seen.contains(f))
            break;
        seen.insert(f);
        names << describe(f);
        QCoreApplication::processEvents();
        if (auto *list = qobject_cast<QAbstractItemView *>(f)) {
            // The session list and the file tree ring their current row instead.
            const QRect row(list->viewport()->mapTo(f->window(), list->visualRect(list->currentIndex()).topLeft()),
                            list->visualRect(list->currentIndex()).size());
            // Its stroke's middle lies 5 pixels in from the row's sides, 2 from its top and bottom.
            const QRect around = row.adjusted(8, 5, -8, -5);
            const QImage shot = f->window()->grab(row).toImage();
            if (!list->currentIndex().isValid() || ringSidesShown(shot, row, around, color) < 4) {
                QTest::qFail(qPrintable(QStringLiteral("no ring on the current row of ") + describe(f)), __FILE__,
                             __LINE__);
                return {};
            }
            sheet.add(shot);
        } else if (ring.target() != f || !ring.ringWidget()) {
            // Only the composer shows the keyboard its own way (its caret).
            if (!qobject_cast<chat::ComposerField *>(f)) {
                QTest::qFail(qPrintable(QStringLiteral("no ring on ") + describe(f)), __FILE__, __LINE__);
                return {};
            }
        } else {
            const QRect around = ring.aroundInWindow();
            const QRect shotRect = around.adjusted(-24, -16, 24, 16).intersected(f->window()->rect());
            const QImage shot = f->window()->grab(shotRect).toImage();
            const int sides = ringSidesShown(shot, shotRect, around, color);
            sheet.add(shot);
            if (sides < 3) {
                QTest::qFail(qPrintable(QStringLiteral("the ring does not show around ") + describe(f) +
                                        QStringLiteral(" (%1 of 4 sides)").arg(sides)),
                             __FILE__, __LINE__);
                sheet.save(QStringLiteral("focus-ring-missing.png"));
                return {};
            }
        }
        QTest::keyClick(f, Qt::Key_Tab);
    }
    Q_UNUSED(window);
    return names;
}

// A stop as a test names it: a title button by its symbol, the card as
// such, anything else by its object name, else its text.
QString stopName(const QWidget *w)
{
    if (auto *title = qobject_cast<const window::TitleButton *>(w))
        return QStringLiteral("title:") + title->symbol();
    if (auto *card = qobject_cast<const chat::ApprovalCard *>(w); card)
        return QStringLiteral("card");
    if (!w)
        return QStringLiteral("nothing");
    if (!w->objectName().isEmpty())
        return w->objectName();
    auto *button = qobject_cast<const QAbstractButton *>(w);
    return button ? button->text() : QString();
}

// Tab (or Shift+Tab) from the composer until it is reached again.
QStringList walk(bool forward)
{
    QStringList names;
    QWidget *start = focused();
    for (int i = 0; i < 60; ++i) {
        QTest::keyClick(focused(), forward ? Qt::Key_Tab : Qt::Key_Backtab, forward ? Qt::NoModifier : Qt::ShiftModifier);
        if (focused() == start)
            return names;
        names << stopName(focused());
    }
    return names << QStringLiteral("(no way back)");
}

} // namespace

#define VERIFY_FOCUS(expected)                                                                                     \
    QVERIFY2(focused() == (expected), qPrintable(QStringLiteral("focus on ") + describe(focused())))

class TestWindowFocus : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // At a first start the welcome sheet holds the keyboard: what is typed
    // before it closes reaches nothing behind it, and after "Let's build"
    // the keyboard is in the composer (not on a sidebar button).
    void firstStartKeyboard()
    {
        windowtest::WindowKit kit(true, true);
        window::MainWindow &w = kit.window();
        app::AppViewModel &vm = kit.vm();
        QVERIFY(showActive(kit));
        glass::SheetOverlay *sheets = w.content()->sheets();
        QVERIFY(qobject_cast<settings::OnboardingSheet *>(sheets->content()));
        QVERIFY2(inside(sheets->content(), focused()), qPrintable(describe(focused())));
        const int sessions = int(vm.conversations().conversations().size());

        QVERIFY(typeText(QStringLiteral("hithere")));
        QCOMPARE(vm.draft(), QString());
        QVERIFY(press(Qt::Key_Return)); // "Let's build"
        QVERIFY(!sheets->isOpen());
        QVERIFY(!vm.isRunning());
        VERIFY_FOCUS(composer(w));
        QVERIFY(typeText(QStringLiteral("hello world")));
        QCOMPARE(vm.draft(), QStringLiteral("hello world"));
        QCOMPARE(int(vm.conversations().conversations().size()), sessions);
    }

    // A sheet holds the keyboard while it is up and gives it back to what
    // had it before, or to the composer when that is gone.
    void sheetsGiveTheKeyboardBack_data()
    {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("closeKey");
        QTest::newRow("palette from the composer, Escape") << "palette" << "composer" << int(Qt::Key_Escape);
        QTest::newRow("palette from the search field") << "palette" << "search" << int(Qt::Key_Escape);
        QTest::newRow("rename, Return") << "rename" << "composer" << int(Qt::Key_Return);
        QTest::newRow("rename from the search field, Escape") << "rename" << "search" << int(Qt::Key_Escape);
        QTest::newRow("welcome over an open window") << "onboarding" << "search" << int(Qt::Key_Return);
    }
    void sheetsGiveTheKeyboardBack()
    {
        QFETCH(QString, sheet);
        QFETCH(QString, before);
        QFETCH(int, closeKey);
        windowtest::WindowKit kit;
        window::MainWindow &w = kit.window();
        app::AppViewModel &vm = kit.vm();
        QVERIFY(showActive(kit));
        VERIFY_FOCUS(composer(w)); // at start
        QLineEdit *search = testsupport::namedWidget<QLineEdit>(sidebar(w), QStringLiteral("Search sessions"));
        QWidget *had = before == "search" ? static_cast<QWidget *>(search) : composer(w);
        had->setFocus(Qt::MouseFocusReason);
        VERIFY_FOCUS(had);

        glass::SheetOverlay *sheets = w.content()->sheets();
        if (sheet == "palette")
            QVERIFY(press(Qt::Key_K, Qt::ControlModifier));
        else if (sheet == "rename")
            sidebar(w)->openRename(*vm.conversations().selectedConversationID());
        else
            vm.setShowOnboarding(true);
        QVERIFY(sheets->isOpen());
        QVERIFY2(inside(sheets->content(), focused()), qPrintable(describe(focused())));
        // A click elsewhere in the window cannot take the keyboard out.
        composer(w)->setFocus(Qt::MouseFocusReason);
        QVERIFY2(inside(sheets->content(), focused()), qPrintable(describe(focused())));
        // Tab goes round the sheet's controls only.
        for (int i = 0; i < 6; ++i) {
            QVERIFY(press(Qt::Key_Tab));
            QVERIFY2(inside(sheets->content(), focused()), qPrintable(describe(focused())));
        }
        QVERIFY(typeText(QStringLiteral("zz")));
        QCOMPARE(vm.draft(), QString());
        QCOMPARE(search->text(), QString());

        if (sheet == "rename") {
            REQUIRE_CHILD(field, QLineEdit, sheets->content());
            field->setFocus(); // Return commits from the field
        }
        QVERIFY(press(Qt::Key(closeKey)));
        QVERIFY(!sheets->isOpen());
        VERIFY_FOCUS(had);
    }

    // A tray popover opened by a click holds the keyboard: typing reaches
    // neither the composer nor anything behind; Tab goes round its rows,
    // Return presses the focused one; closed, the keyboard is back in the
    // composer.
    void popoverHoldsTheKeyboard_data()
    {
        QTest::addColumn<QString>("chip");
        QTest::addColumn<QString>("pick"); // the row Return presses, or none: Escape closes
        QTest::newRow("permissions, Escape") << "permissions" << "";
        QTest::newRow("permissions, Return on YOLO") << "permissions" << "YOLO";
        QTest::newRow("model, Escape") << "model" << "";
        QTest::newRow("project, Escape") << "project" << "";
        QTest::newRow("project, Return on Hide/Show Files") << "project" << "Files";
        QTest::newRow("skin, Escape") << "skin" << "";
    }
    void popoverHoldsTheKeyboard()
    {
        QFETCH(QString, chip);
        QFETCH(QString, pick);
        windowtest::WindowKit kit;
        window::MainWindow &w = kit.window();
        app::AppViewModel &vm = kit.vm();
        QVERIFY(showActive(kit));
        QVERIFY(typeText(QStringLiteral("draft")));
        chat::ComposerTray *t = tray(w);
        QWidget *anchor = chip == "permissions" ? static_cast<QWidget *>(t->findChild<chat::ContextChip *>(QStringLiteral("toolGuardChip")))
                          : chip == "model"     ? static_cast<QWidget *>(t->findChild<chat::ContextChip *>(QStringLiteral("modelChip")))
                          : chip == "project"   ? static_cast<QWidget *>(t->projectChip())
                                                : static_cast<QWidget *>(t->findChild<chat::TrayIconButton *>(QStringLiteral("skinButton")));
        QTest::mouseClick(anchor, Qt::LeftButton, {}, anchor->rect().center());
        QWidget *popover = t->popovers().content();
        QVERIFY(popover);
        QVERIFY2(inside(popover, focused()), qPrintable(describe(focused())));
        QVERIFY(typeText(QStringLiteral("zz")));
        QCOMPARE(vm.draft(), QStringLiteral("draft"));
        const bool filesShown = vm.showProjectPanel();
        for (int i = 0; i < 8; ++i) {
            if (!pick.isEmpty()) {
                auto *row = qobject_cast<QAbstractButton *>(focused());
                if (row && row->text().contains(pick))
                    break;
            }
            QVERIFY(press(Qt::Key_Tab));
            QVERIFY2(inside(popover, focused()), qPrintable(describe(focused())));
        }
        QVERIFY(press(pick.isEmpty() ? Qt::Key_Escape : Qt::Key_Return));
        QTRY_VERIFY(!t->popovers().isOpen());
        VERIFY_FOCUS(composer(w));
        QVERIFY(typeText(QStringLiteral("!")));
        QCOMPARE(vm.draft(), QStringLiteral("draft!"));
        if (pick == "YOLO")
            QCOMPARE(vm.settingsStore().settings().effectiveToolGuardMode(), model::ToolGuardMode::Yolo);
        QCOMPARE(vm.showProjectPanel(), pick == "Files" ? !filesShown : filesShown);
    }

    // The settings window gives the keyboard back to the main window (to
    // what had it there) when it closes, and the window's commands work
    // from it by their keys.
    void settingsWindowGivesTheKeyboardBack_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("other");
        QTest::newRow("settings, composer") << "composer" << "settings";
        QTest::newRow("settings, search field") << "search" << "settings";
        QTest::newRow("About panel, search field") << "search" << "about";
    }
    void settingsWindowGivesTheKeyboardBack()
    {
        QFETCH(QString, before);
        QFETCH(QString, other);
        windowtest::WindowKit kit;
        window::MainWindow &w = kit.window();
        QVERIFY(showActive(kit));
        QWidget *had = before == "search" ? static_cast<QWidget *>(testsupport::namedWidget<QLineEdit>(sidebar(w), QStringLiteral("Search sessions"))) : composer(w);
        had->setFocus(Qt::MouseFocusReason);
        QPointer<QWidget> shown;
        if (other == "about") {
            QSignalSpy about(&w, &window::MainWindow::aboutShown);
            w.actions().action(window::Command::about)->trigger();
            QCOMPARE(about.size(), 1);
            shown = about.first().first().value<QWidget *>();
        } else {
            QVERIFY(press(Qt::Key_Comma, Qt::ControlModifier));
            shown = w.settings().window();
        }
        QVERIFY(shown);
        QTRY_COMPARE(QApplication::activeWindow(), shown.data());
        QVERIFY(press(Qt::Key_Escape)); // "Done", or the panel's close
        QTRY_VERIFY(!shown || !shown->isVisible());
        QTRY_VERIFY(w.isActiveWindow());
        VERIFY_FOCUS(had);
    }

    void commandsFromTheSettingsWindow_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("effect");
        QTest::newRow("Ctrl+B toggles the files") << int(Qt::Key_B) << int(Qt::ControlModifier) << "files";
        QTest::newRow("Ctrl+Shift+L toggles the tools")
            << int(Qt::Key_L) << int(Qt::ControlModifier | Qt::ShiftModifier) << "tools";
        QTest::newRow("Ctrl+Alt+S toggles the sidebar")
            << int(Qt::Key_S) << int(Qt::ControlModifier | Qt::AltModifier) << "sidebar";
        QTest::newRow("Ctrl+N makes a session") << int(Qt::Key_N) << int(Qt::ControlModifier) << "session";
        QTest::newRow("Ctrl+K opens the palette in front") << int(Qt::Key_K) << int(Qt::ControlModifier) << "palette";
    }
    void commandsFromTheSettingsWindow()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, effect);
        windowtest::WindowKit kit;
        window::MainWindow &w = kit.window();
        app::AppViewModel &vm = kit.vm();
        QVERIFY(showActive(kit));
        vm.setShowSettings(true);
        QPointer<QWidget> settings = w.settings().window();
        QVERIFY(settings);
        QVERIFY(QTest::qWaitForWindowActive(settings));
        const bool files = vm.showProjectPanel(), tools = vm.showToolLog(), side = vm.showSidebar();
        const int sessions = int(vm.conversations().conversations().size());
        QVERIFY(press(Qt::Key(key), Qt::KeyboardModifiers(modifiers)));
        if (effect == "files")
            QCOMPARE(vm.showProjectPanel(), !files);
        else if (effect == "tools")
            QCOMPARE(vm.showToolLog(), !tools);
        else if (effect == "sidebar")
            QCOMPARE(vm.showSidebar(), !side);
        else if (effect == "session")
            QCOMPARE(int(vm.conversations().conversations().size()), sessions + 1);
        else {
            QVERIFY(w.content()->sheets()->isOpen());
            QTRY_VERIFY(w.isActiveWindow());
            QVERIFY2(inside(w.content()->sheets()->content(), focused()), qPrintable(describe(focused())));
        }
        if (settings)
            settings->close();
    }

    // An approval card with an empty composer takes the keyboard (Return
    // approves once the card is armed, Escape denies); with a draft being
    // typed the keyboard stays and the card says how to reach it (Tab, then
    // Deny, Allow writes, Approve). Typing never answers a card, and the
    // keyboard is back in the composer when the card goes.
    void approvalCardKeyboard_data()
    {
        QTest::addColumn<QString>("draft"); // typed while the card comes
        QTest::addColumn<QString>("keys");
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("skin");
        QTest::newRow("empty composer: Return approves") << "" << "return" << true << "default";
        QTest::newRow("empty composer, light skin: Escape denies") << "" << "escape" << false << "paper";
        QTest::newRow("empty composer: typing goes on in the composer") << "" << "type" << false << "default";
        QTest::newRow("draft: Tab to the card, Return approves") << "next" << "tab-return" << true << "default";
        QTest::newRow("draft, light skin: Tab to Deny, Return denies") << "next" << "tab-tab-return" << false << "paper";
        QTest::newRow("draft: Tab three times, Return on Approve") << "next" << "tab4-return" << true << "default";
    }
    void approvalCardKeyboard()
    {
        QFETCH(QString, draft);
        QFETCH(QString, keys);
        QFETCH(bool, written);
        QFETCH(QString, skin);
        windowtest::WindowKit kit;
        window::MainWindow &w = kit.window();
        app::AppViewModel &vm = kit.vm();
        kit.skins().select(skin);
        QVERIFY(showActive(kit));
        vm.setToolGuard(model::ToolGuardMode::Ask);
        kit.peer().enqueue(testsupport::ChatServicePeer::toolCallReply(
            {{"c1", "write_file", "{\"path\":\"new.txt\",\"content\":\"x\"}"}}));
        kit.peer().enqueue(testsupport::ChatServicePeer::textReply(QStringLiteral("Done.")));
        QVERIFY(typeText(QStringLiteral("go")));
        QVERIFY(press(Qt::Key_Return));
        QVERIFY(vm.isRunning());
        QVERIFY(typeText(draft)); // before the card comes
        auto *chatView = qobject_cast<chat::ChatView *>(windowtest::panelSlot(w.content(), QStringLiteral("chat"))->view());
        REQUIRE_CHILD(transcript, chat::TranscriptView, chatView);
        QTRY_VERIFY(transcript->approvalCard());
        QPointer<chat::ApprovalCard> card = transcript->approvalCard();
        const QString newFile = kit.projectPath() + QStringLiteral("/new.txt");

        if (draft.isEmpty()) {
            VERIFY_FOCUS(card.data());
            QVERIFY(!card->isHintShown());
        } else {
            VERIFY_FOCUS(composer(w));
            QVERIFY(card->isHintShown());
            QVERIFY(press(Qt::Key_Return)); // the composer's Return: nothing while a run is on
            QVERIFY(vm.pendingApproval().has_value());
            QCOMPARE(vm.draft(), draft);
        }
        QTRY_VERIFY(card->isArmed());
        if (keys != "type") {
            // The ring round the card, or its hint: for a person to look at.
            QCoreApplication::processEvents();
            const QRect r(card->mapTo(&w, QPoint(0, 0)), card->size());
            RingSheet picture;
            picture.crops << w.grab(r.adjusted(-12, -12, 12, 12)).toImage();
            picture.save(QStringLiteral("approval-card-%1-%2.png").arg(draft.isEmpty() ? "keyboard" : "hint", skin));
        }
        if (keys == "type") {
            QVERIFY(typeText(QStringLiteral("hello there")));
            VERIFY_FOCUS(composer(w));
            QCOMPARE(vm.draft(), QStringLiteral("hello there"));
            QVERIFY(card->isHintShown());
            QVERIFY(vm.pendingApproval().has_value());
            vm.stop();
        } else {
            QStringList order;
            const int tabs = keys == "tab-return" ? 1 : keys == "tab-tab-return" ? 2 : keys == "tab4-return" ? 4 : 0;
            for (int i = 0; i < tabs; ++i) {
                QVERIFY(press(Qt::Key_Tab));
                auto *button = qobject_cast<QAbstractButton *>(focused());
                order << (focused() == card ? QStringLiteral("card") : button ? button->text() : describe(focused()));
            }
            const QStringList expected{"card", "Deny", "Allow writes this session", "Approve"};
            QCOMPARE(order, expected.mid(0, tabs));
            QVERIFY(press(keys == "escape" ? Qt::Key_Escape : Qt::Key_Return));
        }
        QVERIFY(!vm.pendingApproval().has_value());
        QTRY_VERIFY(!vm.isRunning());
        QCOMPARE(QFile::exists(newFile), written);
        QTRY_VERIFY(!card);
        VERIFY_FOCUS(composer(w));
    }

    // Escape closes the file peek wherever the keyboard is in the window:
    // after an open sheet or popover, before an approval and before Stop.
    void escapeClosesThePeek_data()
    {
        QTest::addColumn<QString>("focus"); // where the keyboard is
        QTest::addColumn<QString>("state");
        QTest::addColumn<QStringList>("escapes"); // what each Escape ends, in order
        QTest::newRow("composer, at rest") << "composer" << "" << QStringList{"peek"};
        QTest::newRow("search field, at rest") << "search" << "" << QStringList{"peek"};
        QTest::newRow("peek's own text, at rest") << "peek" << "" << QStringList{"peek"};
        QTest::newRow("composer, running: peek before Stop") << "composer" << "running" << QStringList{"peek", "run"};
        QTest::newRow("card holds the keyboard: peek before the denial")
            << "card" << "approval" << QStringList{"peek", "approval"};
        QTest::newRow("palette open: the sheet first") << "composer" << "palette" << QStringList{"sheet", "peek"};
        QTest::newRow("popover open: the popover first") << "composer" << "popover" << QStringList{"popover", "peek"};
    }
    void escapeClosesThePeek()
    {
        QFETCH(QString, focus);
        QFETCH(QString, state);
        QFETCH(QStringList, escapes);
        windowtest::WindowKit kit;
        window::MainWindow &w = kit.window();
        app::AppViewModel &vm = kit.vm();
        QVERIFY(showActive(kit));
        QFile file(kit.projectPath() + QStringLiteral("/notes.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("one\ntwo\n");
        file.close();
        vm.peekFile(QUrl::fromLocalFile(file.fileName()));
        QVERIFY(vm.peekedFile().has_value());

        if (state == "running" || state == "approval") {
            testsupport::ChatServicePeer::Reply stalling = testsupport::ChatServicePeer::textReply(QStringLiteral("on and on"));
            stalling.stallAfter = 12;
            if (state == "approval") {
                vm.setToolGuard(model::ToolGuardMode::Ask);
                kit.peer().enqueue(testsupport::ChatServicePeer::toolCallReply(
                    {{"c1", "write_file", "{\"path\":\"new.txt\",\"content\":\"x\"}"}}));
            }
            kit.peer().enqueue(stalling);
            vm.setDraft(QStringLiteral("go"));
            vm.send();
            if (state == "approval")
                QTRY_VERIFY(vm.pendingApproval().has_value());
        }
        if (focus == "search") {
            REQUIRE_NAMED(search, QLineEdit, sidebar(w), QStringLiteral("Search sessions"));
            search->setFocus(Qt::MouseFocusReason);
        } else if (focus == "peek") {
            REQUIRE_CHILD(peekText, QPlainTextEdit, windowtest::panelSlot(w.content(), QStringLiteral("filePeek"))->view());
            peekText->setFocus(Qt::MouseFocusReason);
        }
        if (focus == "card") {
            auto *chatView = qobject_cast<chat::ChatView *>(windowtest::panelSlot(w.content(), QStringLiteral("chat"))->view());
            REQUIRE_CHILD(transcript, chat::TranscriptView, chatView);
            VERIFY_FOCUS(transcript->approvalCard());
        }
        if (state == "palette")
            QVERIFY(press(Qt::Key_K, Qt::ControlModifier));
        if (state == "popover")
            QTest::mouseClick(tray(w)->findChild<chat::ContextChip *>(QStringLiteral("modelChip")), Qt::LeftButton);

        for (const QString &ends : escapes) {
            const bool peek = vm.peekedFile().has_value(), sheet = w.content()->sheets()->isOpen(),
                       popover = tray(w)->popovers().isOpen(), pending = vm.pendingApproval().has_value(),
                       running = vm.isRunning();
            QVERIFY(press(Qt::Key_Escape));
            QTRY_COMPARE(vm.peekedFile().has_value(), peek && ends != "peek");
            QCOMPARE(w.content()->sheets()->isOpen(), sheet && ends != "sheet");
            QCOMPARE(tray(w)->popovers().isOpen(), popover && ends != "popover");
            QCOMPARE(vm.pendingApproval().has_value(), pending && ends != "approval");
            QCOMPARE(vm.isRunning(), running && ends != "run");
        }
        if (vm.isRunning())
            vm.stop();
    }

    // Tab goes round the window as it reads: from the composer to an
    // approval card (its hint says so) and the tray, then the title bar,
    // the sidebar (its list one stop) and the conversation; Shift+Tab
    // exactly back. It holds after the sidebar is made again.
    void tabGoesRoundTheWindow_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QStringList>("after"); // what follows the composer, in order
        const QStringList tray{"projectChip", "toolGuardChip", "modelChip", "skinButton", "wallpaperToggle",
                               "wallpaperButton", "micButton"};
        const QStringList title{"title:sidebar.left", "title:folder", "title:wrench.and.screwdriver",
                                "title:square.and.arrow.up", "title:folder.badge.plus", "title:plus"};
        QTest::newRow("at rest") << "" << tray + title;
        QTest::newRow("sidebar shown again") << "sidebar again" << tray + title;
        QTest::newRow("approval card after the composer")
            << "card" << QStringList{"card", "Deny", "Allow writes this session", "Approve"} + tray;
    }
    void tabGoesRoundTheWindow()
    {
        QFETCH(QString, state);
        QFETCH(QStringList, after);
        windowtest::WindowKit kit;
        window::MainWindow &w = kit.window();
        app::AppViewModel &vm = kit.vm();
        QVERIFY(showActive(kit));
        vm.setShowSidebar(state != "sidebar again");
        QTRY_COMPARE(bool(sidebar(w)), vm.showSidebar());
        vm.setShowSidebar(true);
        QTRY_VERIFY(sidebar(w) && !windowtest::panelSlot(w.content(), QStringLiteral("sidebar"))->isAnimating());
        if (state == "card") {
            vm.setToolGuard(model::ToolGuardMode::Ask);
            kit.peer().enqueue(testsupport::ChatServicePeer::toolCallReply(
                {{"c1", "write_file", "{\"path\":\"new.txt\",\"content\":\"x\"}"}}));
            QVERIFY(typeText(QStringLiteral("go")) && press(Qt::Key_Return));
            QTRY_VERIFY(vm.pendingApproval().has_value());
            composer(w)->setFocus(Qt::MouseFocusReason);
        }
        VERIFY_FOCUS(composer(w));
        const QStringList forward = walk(true);
        QVERIFY2(forward.mid(0, after.size()) == after, qPrintable(forward.join(", ")));
        // The sidebar after the title bar, top down, its list one stop.
        const QStringList side{"newSession", "projectButton", "", "sessionList"};
        const qsizetype top = forward.indexOf(side.first());
        QVERIFY2(top > forward.indexOf(QStringLiteral("title:plus")), qPrintable(forward.join(", ")));
        QCOMPARE(forward.mid(top, side.size()), side);
        QCOMPARE(forward.count(side.last()), 1);
        QStringList backward = walk(false);
        std::reverse(backward.begin(), backward.end());
        QCOMPARE(backward, forward);
        vm.stop();
    }

    // With a draft in the composer Escape answers no approval, whichever
    // way it comes (the stop command's key while the run waits, or the
    // window's own at rest); from the card, after Tab, it denies.
    void escapeWithDraftAnswersNothing_data()
    {
        QTest::addColumn<QString>("draft");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<bool>("denied");
        QTest::newRow("draft, composer") << "next step" << "composer" << false;
        QTest::newRow("draft of spaces, composer") << "  " << "composer" << false;
        QTest::newRow("draft, search field") << "next step" << "search" << false;
        QTest::newRow("draft, session list") << "next step" << "list" << false;
        QTest::newRow("draft, skin button") << "next step" << "skin" << false;
        QTest::newRow("draft, Tab to the card") << "next step" << "tab" << true;
        QTest::newRow("draft, card's preview clicked") << "next step" << "preview" << true;
        QTest::newRow("no draft, composer") << "" << "composer" << true;
    }
    void escapeWithDraftAnswersNothing()
    {
        QFETCH(QString, draft);
        QFETCH(QString, focus);
        QFETCH(bool, denied);
        windowtest::WindowKit kit;
        window::MainWindow &w = kit.window();
        app::AppViewModel &vm = kit.vm();
        QVERIFY(showActive(kit));
        vm.setToolGuard(model::ToolGuardMode::Ask);
        kit.peer().enqueue(testsupport::ChatServicePeer::toolCallReply(
            {{"c1", "write_file", "{\"path\":\"new.txt\",\"content\":\"x\"}"}}));
        kit.peer().enqueue(testsupport::ChatServicePeer::textReply(QStringLiteral("Done.")));
        QVERIFY(typeText(QStringLiteral("go")) && press(Qt::Key_Return) && typeText(draft));
        auto *chatView = qobject_cast<chat::ChatView *>(windowtest::panelSlot(w.content(), QStringLiteral("chat"))->view());
        REQUIRE_CHILD(transcript, chat::TranscriptView, chatView);
        QTRY_VERIFY(transcript->approvalCard() && transcript->approvalCard()->isArmed());
        chat::ApprovalCard *card = transcript->approvalCard();
        const QHash<QString, QWidget *> places{{"composer", composer(w)},
                                               {"tab", composer(w)},
                                               {"search", testsupport::namedWidget<QLineEdit>(sidebar(w), QStringLiteral("Search sessions"))},
                                               {"list", sidebar(w)->findChild<QListView *>(QStringLiteral("sessionList"))},
                                               {"skin", tray(w)->findChild<chat::TrayIconButton *>(QStringLiteral("skinButton"))},
                                               {"preview", testsupport::namedWidget<QPlainTextEdit>(card, QStringLiteral("Preview"))}};
        places.value(focus)->setFocus(Qt::OtherFocusReason);
        if (focus == "tab")
            QVERIFY(press(Qt::Key_Tab));
        QVERIFY(press(Qt::Key_Escape));
        QCOMPARE(!vm.pendingApproval().has_value(), denied);
        QCOMPARE(vm.draft(), draft);
        QTest::qWait(50);
        QTRY_COMPARE(kit.peer().requests().size(), denied ? 2 : 1);
        QCOMPARE(kit.peer().requests().last().body.contains("User denied this tool call."), denied);
        if (vm.isRunning())
            vm.stop();
    }

    // Every control Tab reaches, in the main window, the settings window,
    // a sheet and a popover, shows a ring in the skin's accent around it:
    // a control whose focus would not show does not take the keyboard.
    // Return presses whatever button has the keyboard, as Space does, of
    // every kind the window has (the footer's Settings did nothing).
    void returnPressesEveryButton_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("expected");
        const int ret = Qt::Key_Return, space = Qt::Key_Space;
        QTest::newRow("the sidebar footer's Settings, Return") << "Settings" << ret << "settings";
        QTest::newRow("the sidebar footer's Settings, Space") << "Settings" << space << "settings";
        QTest::newRow("the sidebar's New session") << "New session" << ret << "sessions 2";
        QTest::newRow("a title-bar toggle (Files)") << "Files" << ret << "files on";
        QTest::newRow("a tray toggle (the wallpaper's eye)") << "Background image / video" << ret << "wallpaper off";
        QTest::newRow("a panel's symbol button (Hide Tools panel)") << "Hide Tools panel" << ret << "tools off";
        QTest::newRow("the welcome card's chip (Open folder)") << "Open folder" << int(Qt::Key_Enter) << "folder asked";
        QTest::newRow("a reply's Copy") << "Copy" << ret << "copied";
    }
    void returnPressesEveryButton()
    {
        QFETCH(QString, button);
        QFETCH(int, key);
        QFETCH(QString, expected);
        windowtest::WindowKit kit(false); // no project: the welcome card offers one
        kit.vm().setShowToolLog(true);
        if (expected == u"copied")
            kit.vm().conversations().appendMessage(*kit.vm().conversations().selectedConversationID(),
                                                   model::ChatMessage::make(model::MessageRole::Assistant, QStringLiteral("Copied words.")));
        QVERIFY(showActive(kit));
        QAbstractButton *b = nullptr;
        QTRY_VERIFY((b = testsupport::namedWidget<QAbstractButton>(&kit.window(), button)) && b->isVisible());
        b->setFocus(Qt::TabFocusReason);
        QVERIFY(b->hasFocus());
        const bool wallpaper = kit.vm().background().isEnabled();
        QVERIFY(press(Qt::Key(key)));
        if (expected == u"settings") {
            QTRY_VERIFY(kit.window().settings().window() && kit.window().settings().window()->isVisible());
            kit.window().settings().window()->close();
        } else if (expected == u"sessions 2") {
            QTRY_COMPARE(kit.vm().conversations().conversations().size(), 2);
        } else if (expected == u"files on") {
            QVERIFY(kit.vm().showProjectPanel());
        } else if (expected == u"wallpaper off") {
            QVERIFY(wallpaper);
            QVERIFY(!kit.vm().background().isEnabled());
        } else if (expected == u"tools off") {
            QVERIFY(!kit.vm().showToolLog());
        } else if (expected == u"copied") {
            // (The kit's clipboard goes nowhere: the button says it copied.)
            QVERIFY(qobject_cast<chat::MessageRowCopyButton *>(b) && qobject_cast<chat::MessageRowCopyButton *>(b)->isCopied());
        } else if (expected == u"folder asked") {
            QTRY_COMPARE(kit.panels().folders.size(), 1);
        } else {
            QFAIL("no such check");
        }
    }

    // The panels' rows by keys alone, once Tab has reached their list (one
    // stop each): in the file tree Return or Space opens a folder or peeks
    // a file; in the tool log Return reveals a call's file (its painted
    // "Reveal in Files"); Shift+F10 opens a row's menu. No row is current
    // once the keyboard has left, and it comes back to the row it left.
    void panelRowsByKeys_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("expected");
        // The tree's rows: the folder "docs" (holding "guide.txt"), then "notes.txt".
        QTest::newRow("tree: Return on a folder opens it") << "Project files" << "Return" << "open docs";
        QTest::newRow("tree: Down, Return peeks a file") << "Project files" << "Down Return" << "peek notes.txt";
        QTest::newRow("tree: Space peeks as Return does") << "Project files" << "Down Space" << "peek notes.txt";
        QTest::newRow("tree: into an opened folder") << "Project files" << "Right Down Return" << "peek guide.txt";
        QTest::newRow("tree: Shift+F10 opens the row's menu") << "Project files" << "Down Shift+F10" << "menu Peek";
        QTest::newRow("tree: left by Tab, no row is current") << "Project files" << "Down Tab" << "current none";
        QTest::newRow("tree: back by Shift+Tab, the row it left") << "Project files" << "Down Tab Shift+Tab" << "current notes.txt";
        // The tool log's one call read notes.txt.
        QTest::newRow("tool log: Return reveals the call's file") << "Tool log" << "Return" << "peek notes.txt";
        QTest::newRow("tool log: Shift+F10 opens the call's menu") << "Tool log" << "Shift+F10" << "menu Reveal in Files";
        QTest::newRow("tool log: left by Tab, no row is current") << "Tool log" << "Tab" << "current none";
    }
    void panelRowsByKeys()
    {
        QFETCH(QString, list);
        QFETCH(QString, keys);
        QFETCH(QString, expected);
        windowtest::WindowKit kit;
        QVERIFY(QDir(kit.projectPath()).mkpath(QStringLiteral("docs")));
        for (const QString &name : {QStringLiteral("docs/guide.txt"), QStringLiteral("notes.txt")}) {
            QFile f(QDir(kit.projectPath()).filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("text\n") > 0);
        }
        const bool tree = list == u"Project files";
        kit.vm().setShowProjectPanel(tree);
        kit.vm().setShowToolLog(!tree);
        QVERIFY(showActive(kit));
        if (!tree) {
            kit.peer().enqueue(testsupport::ChatServicePeer::toolCallReply({{"c1", "read_file", R"({"path":"notes.txt"})"}}));
            kit.peer().enqueue(testsupport::ChatServicePeer::textReply(QStringLiteral("Read.")));
            kit.vm().setDraft(QStringLiteral("go"));
            kit.vm().send();
            QTRY_VERIFY(!kit.vm().isRunning() && kit.vm().toolLog().size() == 1);
        }
        QAbstractItemView *rows = nullptr;
        QTRY_VERIFY((rows = testsupport::namedWidget<QAbstractItemView>(&kit.window(), list)) && rows->isVisible() &&
                    rows->model()->rowCount() == (tree ? 2 : 1));
        QVERIFY(rows->focusPolicy() & Qt::TabFocus);
        rows->setFocus(Qt::TabFocusReason);
        QVERIFY(rows->hasFocus() && rows->currentIndex().isValid());
        QString menuFirst; // the menu's first entry, read while it was open
        for (const QString &key : keys.split(u' ')) {
            const QKeySequence seq(key);
            if (key == u"Shift+F10") {
                // The menu runs its own loop: look at it, then close it.
                QTimer::singleShot(200, this, [&menuFirst] {
                    if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                        menuFirst = menu->actions().value(0) ? menu->actions().first()->text() : QString();
                        menu->close();
                    }
                });
            }
            QVERIFY(press(Qt::Key(seq[0].key()), seq[0].keyboardModifiers()));
            QTest::qWait(20);
        }
        const QString what = expected.section(u' ', 0, 0), name = expected.section(u' ', 1);
        if (what == u"open") {
            QCOMPARE(rows->model()->index(0, 0).data().toString(), name);
            QVERIFY(qobject_cast<QTreeView *>(rows)->isExpanded(rows->model()->index(0, 0)));
        } else if (what == u"peek") {
            QTRY_VERIFY(kit.vm().peekedFile().has_value());
            QCOMPARE(QFileInfo(kit.vm().peekedFile()->url.toLocalFile()).fileName(), name);
        } else if (what == u"menu") {
            QTRY_COMPARE(menuFirst, name);
        } else {
            const QModelIndex current = rows->currentIndex();
            QCOMPARE(current.isValid() ? current.data().toString() : QStringLiteral("none"), name);
        }
    }

    // Wherever the keyboard comes from, the control it reaches is scrolled
    // into view: past the settings window's "Done" (a header outside the
    // page) into a page scrolled away from it, and back from the composer
    // into a conversation scrolled up.
    void keyboardScrollsIntoView_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("forward");
        QTest::newRow("settings: Tab past Done, the page at its end") << "settings end" << true;
        QTest::newRow("settings: Shift+Tab from Done, the page at its top") << "settings top" << false;
        QTest::newRow("chat: Shift+Tab from the composer, the list scrolled up") << "chat" << false;
    }
    void keyboardScrollsIntoView()
    {
        QFETCH(QString, where);
        QFETCH(bool, forward);
        windowtest::WindowKit kit;
        window::MainWindow &w = kit.window();
        if (where == u"chat") {
            model::ConversationStore &store = kit.vm().conversations();
            const QUuid session = *store.selectedConversationID();
            for (int i = 0; i < 40; ++i)
                store.appendMessage(session, model::ChatMessage::make(i % 2 ? model::MessageRole::Assistant : model::MessageRole::User,
                                                                      QStringLiteral("Message %1 of a long session.\n\nWith a second paragraph.").arg(i)));
        }
        QVERIFY(showActive(kit));
        QAbstractScrollArea *area = nullptr;
        if (where.startsWith(u"settings")) {
            QVERIFY(press(Qt::Key_Comma, Qt::ControlModifier));
            QWidget *settings = w.settings().window();
            QTRY_COMPARE(QApplication::activeWindow(), settings);
            area = settings->findChild<QScrollArea *>();
            QVERIFY(area);
            QTRY_VERIFY(area->verticalScrollBar()->maximum() > 200);
            area->verticalScrollBar()->setValue(where.endsWith(u"end") ? area->verticalScrollBar()->maximum() : 0);
            QAbstractButton *done = testsupport::namedWidget<QAbstractButton>(settings, QStringLiteral("Done"));
            QVERIFY(done);
            done->setFocus(Qt::TabFocusReason);
        } else {
            auto *chatView = qobject_cast<chat::ChatView *>(windowtest::panelSlot(w.content(), QStringLiteral("chat"))->view());
            area = chatView->findChild<chat::TranscriptView *>();
            QTRY_VERIFY(area->verticalScrollBar()->maximum() > 1000);
            area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum() / 2);
            QTest::qWait(50);
            composer(w)->setFocus(Qt::MouseFocusReason);
        }
        const int before = area->verticalScrollBar()->value();
        QVERIFY(press(forward ? Qt::Key_Tab : Qt::Key_Backtab, forward ? Qt::NoModifier : Qt::ShiftModifier));
        QWidget *reached = focused();
        QVERIFY(reached && area->isAncestorOf(reached));
        QCoreApplication::processEvents();
        const QRect at(reached->mapTo(area->viewport(), QPoint(0, 0)), reached->size());
        QVERIFY2(area->viewport()->rect().contains(at),
                 qPrintable(QStringLiteral("%1 at %2,%3 %4x%5 in a view %6 high (scrolled %7 -> %8)")
                                .arg(describe(reached)).arg(at.x()).arg(at.y()).arg(at.width()).arg(at.height())
                                .arg(area->viewport()->height()).arg(before).arg(area->verticalScrollBar()->value())));
        if (QWidget *settings = w.settings().window())
            settings->close(); // a window of its own, gone once closed
    }

    void everyFocusShowsItsRing_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("dark skin") << "default";
        QTest::newRow("light skin") << "paper";
    }
    void everyFocusShowsItsRing()
    {
        QFETCH(QString, skin);
        windowtest::WindowKit kit;
        window::MainWindow &w = kit.window();
        app::AppViewModel &vm = kit.vm();
        kit.skins().select(skin);
        QFile file(kit.projectPath() + QStringLiteral("/notes.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("one\ntwo\n");
        file.close();
        vm.setShowProjectPanel(true);
        vm.setShowToolLog(true);
        vm.peekFile(QUrl::fromLocalFile(file.fileName()));
        // Finished turns: rows with their copy and Retry buttons.
        vm.conversations().replaceMessages(*vm.conversations().selectedConversationID(),
                                           {model::ChatMessage::make(model::MessageRole::User, QStringLiteral("hi")),
                                            model::ChatMessage::make(model::MessageRole::Assistant,
                                                                     QStringLiteral("**Hello.**"))});
        QVERIFY(showActive(kit));
        // The file tree walks the folder off the UI thread: its row first.
        REQUIRE_CHILD(tree, QTreeView, &w);
        QTRY_VERIFY(tree->model()->rowCount() == 1);
        QTest::qWait(100);
        auto *ring = w.findChild<glass::FocusRing *>();
        QVERIFY(ring);
        const QColor accent = kit.styles().styles().focusRing;
        RingSheet sheet;

        QStringList walked = tabAround(w, *ring, accent, sheet);
        QVERIFY2(walked.size() >= 8, qPrintable(walked.join(", ")));

        // A sheet's controls.
        sidebar(w)->openRename(*vm.conversations().selectedConversationID());
        walked = tabAround(w, *ring, accent, sheet);
        QVERIFY2(walked.size() >= 2, qPrintable(walked.join(", ")));
        QVERIFY(press(Qt::Key_Escape));

        // The popovers' rows and the wallpaper panel's controls.
        chat::ComposerTray *t = tray(w);
        for (QWidget *anchor : {static_cast<QWidget *>(t->projectChip()), static_cast<QWidget *>(t->findChild<chat::ContextChip *>(QStringLiteral("toolGuardChip"))),
                                static_cast<QWidget *>(t->findChild<chat::ContextChip *>(QStringLiteral("modelChip"))), static_cast<QWidget *>(t->findChild<chat::TrayIconButton *>(QStringLiteral("skinButton"))),
                                static_cast<QWidget *>(t->findChild<chat::TrayIconButton *>(QStringLiteral("wallpaperButton")))}) {
            QTest::mouseClick(anchor, Qt::LeftButton, {}, anchor->rect().center());
            QVERIFY(t->popovers().isOpen());
            QTRY_VERIFY(!t->popovers().content()->graphicsEffect()); // painted whole after its fade
            walked = tabAround(w, *ring, accent, sheet);
            QVERIFY2(walked.size() >= 2, qPrintable(describe(anchor) + QStringLiteral(": ") + walked.join(", ")));
            QVERIFY(press(Qt::Key_Escape));
            QVERIFY(!t->popovers().isOpen());
        }

        // The settings window's controls, scrolled into view one by one.
        QVERIFY(press(Qt::Key_Comma, Qt::ControlModifier));
        QWidget *settings = w.settings().window();
        QVERIFY(settings && QTest::qWaitForWindowActive(settings));
        walked = tabAround(*settings, *ring, accent, sheet);
        QVERIFY2(walked.size() >= 20, qPrintable(walked.join(", ")));
        sheet.save(QStringLiteral("focus-rings-%1.png").arg(skin));
        settings->close();
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestWindowFocus)
#include "tst_window_focus.moc"
