#include "SidebarRig.h"

#include "agent/files/WorkspaceManager.h"
#include "app/SessionListModel.h"
#include "glass/look/SymbolIcons.h"
#include "app/AppViewModel.h"
#include "app/Donation.h"
#include "glass/look/Contrast.h"
#include "glass/look/QirvTheme.h"
#include "glass/sheets/SheetOverlay.h"
#include "glass/controls/StyledButton.h"
#include "glass/controls/StyledField.h"
#include "glass/look/Styles.h"
#include "glass/controls/SymbolButton.h"
#include "model/ConversationStore.h"
#include "panels/AccountFooter.h"
#include "panels/DeleteSessionSheet.h"
#include "panels/RenameSheet.h"
#include "panels/SessionActions.h"
#include "panels/SessionHover.h"
#include "panels/SessionRowDelegate.h"
#include "panels/SessionSections.h"
#include "panels/SessionTitle.h"
#include "panels/SidebarControls.h"
#include "panels/SidebarView.h"
#include "platform/Graphemes.h"
#include "stage/SkinStore.h"
#include "support/NamedWidget.h"
#include "support/TestMain.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QScrollBar>

using panels::SessionActions::Action;
using sidebartest::Rig;
using sidebartest::sectionsOf;
using sidebartest::session;
using sidebartest::sessionList;

namespace {

// The menu the sidebar just opened, and its entry with that text.
QMenu *openedMenu(panels::SidebarView &sidebar)
{
    const QList<QMenu *> menus = sidebar.findChildren<QMenu *>();
    return menus.isEmpty() ? nullptr : menus.last();
}

bool choose(panels::SidebarView &sidebar, const QUuid &id, const QString &text)
{
    const int row = sectionsOf(sidebar).rowOfSession(id);
    if (row < 0)
        return false;
    sidebar.openMenu(row, QPoint(10, 10));
    QMenu *menu = openedMenu(sidebar);
    if (!menu)
        return false;
    for (QAction *action : menu->actions()) {
        if (action->text() == text) {
            // As a menu does: it closes, then the chosen entry runs.
            menu->close();
            action->trigger();
            QCoreApplication::processEvents();
            return true;
        }
    }
    menu->close();
    return false;
}

QString outputPath(const QString &name)
{
    return QDir(testsupport::outputDirectory()).filePath(name + QStringLiteral(".png"));
}

// The header's project button, by its object name: its spoken name is the project's.
panels::SidebarButton &projectButton(panels::SidebarView &sidebar)
{
    return *sidebar.findChild<panels::SidebarButton *>(QStringLiteral("projectButton"));
}

} // namespace

class SidebarTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { m_rig.reset(); }

    // The two sections as the list shows them, for a search and the
    // archived group's state.
    void sections_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<bool>("expanded");
        QTest::addColumn<QStringList>("expected");
        const QStringList all{"# Sessions", "Pinned old [pin]", "newest", "Middle [unread]", "oldest", "> Archived"};
        QTest::newRow("empty search: pinned first, then newest") << "" << false << all;
        QTest::newRow("spaces only list everything") << "   " << false << all;
        QTest::newRow("capitals and blanks around find lower case")
            << "  MIDDLE \n" << false << QStringList{"# Sessions", "Middle [unread]"};
        QTest::newRow("no match: No matches, archived group gone")
            << "zzz" << false << QStringList{"# Sessions", "- No matches"};
        QTest::newRow("archived group ordered by date only, pins ignored")
            << "" << true
            << QStringList{"# Sessions", "Pinned old [pin]", "newest", "Middle [unread]", "oldest", "v Archived",
                           "a:Archived new", "a:Archived pinned old [pin]"};
        QTest::newRow("a search matching only archived")
            << "archived" << true
            << QStringList{"# Sessions", "- No matches", "v Archived", "a:Archived new",
                           "a:Archived pinned old [pin]"};
        QTest::newRow("messages are not searched") << "hello" << false << QStringList{"# Sessions", "- No matches"};
    }
    void sections()
    {
        QFETCH(QString, search);
        QFETCH(bool, expanded);
        QFETCH(QStringList, expected);
        m_rig = std::make_unique<Rig>();
        model::Conversation oldest = session("oldest", 50);
        oldest.messages.append(model::ChatMessage::make(model::MessageRole::User, "hello"));
        m_rig->setSessions({oldest, session("Middle", 20, false, false, true), session("newest", 1),
                            session("Pinned old", 90, true), session("Archived pinned old", 40, true, true),
                            session("Archived new", 5, false, true)});
        m_rig->vm().setSessionSearch(search);
        sectionsOf(m_rig->sidebar()).setArchivedExpanded(expanded);
        QCOMPARE(m_rig->rows(), expected);
    }

    // Both empty texts, and the search text as typed decides between them.
    void emptyTexts_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("every session archived, no search")
            << "" << QStringList{"# Sessions", "- No sessions yet", "> Archived"};
        QTest::newRow("every session archived, spaces typed")
            << "  " << QStringList{"# Sessions", "- No matches", "> Archived"};
    }
    void emptyTexts()
    {
        QFETCH(QString, search);
        QFETCH(QStringList, expected);
        m_rig = std::make_unique<Rig>();
        m_rig->setSessions({session("one", 1, false, true), session("two", 2, false, true)});
        m_rig->vm().setSessionSearch(search);
        QCOMPARE(m_rig->rows(), expected);
        QCOMPARE(panels::SessionSectionsModel::emptyText(search), expected.at(1).mid(2));
    }

    // Until the stored history is read the list says it is loading, whatever
    // is typed; then the sessions, or the search's own empty text.
    void loadingHistory_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("loaded");
        QTest::newRow("no search") << "" << QStringList{"# Sessions", "newer", "older", "> Archived"};
        QTest::newRow("search typed meanwhile") << "zzz" << QStringList{"# Sessions", "- No matches"};
    }
    void loadingHistory()
    {
        QFETCH(QString, search);
        QFETCH(QStringList, loaded);
        m_rig = std::make_unique<Rig>(
            QList<model::Conversation>{session("older", 9), session("newer", 2), session("put away", 1, false, true)});
        QVERIFY(!m_rig->vm().isHistoryLoaded());
        m_rig->vm().setSessionSearch(search);
        QCOMPARE(m_rig->rows(), (QStringList{"# Sessions", "- Loading sessions…"}));
        QTRY_VERIFY(m_rig->vm().isHistoryLoaded());
        QCOMPARE(m_rig->rows(), loaded);
    }

    // Equal dates keep the stored order, whatever the sort visits first.
    void tiesKeepStoredOrder()
    {
        m_rig = std::make_unique<Rig>();
        QList<model::Conversation> list;
        for (const char *title : {"c", "a", "d", "b"}) {
            model::Conversation c = session(title, 10);
            if (!list.isEmpty())
                c.updatedAt = list.first().updatedAt;
            list.append(c);
        }
        m_rig->setSessions(list);
        QCOMPARE(m_rig->rows(), (QStringList{"# Sessions", "c", "a", "d", "b"}));
    }

    // The list model stays consistent through everything that moves rows.
    void modelTester()
    {
        m_rig = std::make_unique<Rig>();
        const model::Conversation a = session("alpha", 3), b = session("beta", 2), c = session("gamma", 1, false, true);
        m_rig->setSessions({a, b, c});
        QAbstractItemModelTester tester(&sectionsOf(m_rig->sidebar()),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        app::AppViewModel &vm = m_rig->vm();
        vm.setSessionSearch("a");
        vm.setSessionSearch("zz");
        vm.setSessionSearch("");
        sectionsOf(m_rig->sidebar()).setArchivedExpanded(true);
        vm.togglePinSession(b.id);
        vm.archiveSession(a.id);
        vm.unarchiveSession(c.id);
        vm.forkSession(b.id);
        vm.setSessionUnread(b.id, true);
        vm.renameSession(b.id, "renamed");
        vm.deleteSession(b.id);
        sectionsOf(m_rig->sidebar()).setArchivedExpanded(false);
        vm.newChat();
        m_rig->setSessions({session("only", 1)});
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(m_rig->rows(), (QStringList{"# Sessions", "only"}));
    }

    void menuEntries_data()
    {
        QTest::addColumn<bool>("pinned");
        QTest::addColumn<bool>("unread");
        QTest::addColumn<bool>("archived");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("plain")
            << false << false << false
            << QStringList{"Pin|pin", "Mark as unread|circlebadge", "Rename|pencil", "Fork|arrow.branch",
                           "Export…|square.and.arrow.up", "---", "Archive|archivebox", "Delete|trash!"};
        QTest::newRow("pinned and unread")
            << true << true << false
            << QStringList{"Unpin|pin.slash", "Mark as read|circlebadge", "Rename|pencil", "Fork|arrow.branch",
                           "Export…|square.and.arrow.up", "---", "Archive|archivebox", "Delete|trash!"};
        QTest::newRow("archived: Unarchive in place of Archive")
            << false << false << true
            << QStringList{"Pin|pin", "Mark as unread|circlebadge", "Rename|pencil", "Fork|arrow.branch",
                           "Export…|square.and.arrow.up", "---", "Unarchive|tray.and.arrow.up", "Delete|trash!"};
    }
    void menuEntries()
    {
        QFETCH(bool, pinned);
        QFETCH(bool, unread);
        QFETCH(bool, archived);
        QFETCH(QStringList, expected);
        QStringList got;
        for (const auto &e : panels::SessionActions::entries(pinned, unread, archived)) {
            if (e.separatorBefore)
                got << "---";
            got << e.text + u'|' + e.symbol + (e.destructive ? "!" : "");
            QVERIFY2(glass::SymbolIcons::exists(e.symbol), qPrintable(e.symbol));
        }
        QCOMPARE(got, expected);
    }

    // Each entry of a row's menu, chosen from the menu the sidebar opens,
    // and what it leaves in the store and in conversations.json.
    void menuActions_data()
    {
        QTest::addColumn<int>("target"); // 0: "second" (active), 1: "archived one"
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("selected");
        QTest::newRow("Pin moves it to the top")
            << 0 << "Pin" << QStringList{"# Sessions", "second [pin]", "first", "> Archived"} << "first";
        QTest::newRow("Mark as unread keeps place and selection")
            << 0 << "Mark as unread" << QStringList{"# Sessions", "first", "second [unread]", "> Archived"} << "first";
        QTest::newRow("Fork adds and selects the copy")
            << 0 << "Fork" << QStringList{"# Sessions", "second (fork)", "first", "second", "> Archived"}
            << "second (fork)";
        QTest::newRow("Export selects the row first")
            << 0 << "Export…" << QStringList{"# Sessions", "first", "second", "> Archived"} << "second";
        QTest::newRow("Archive moves it to the archived group")
            << 0 << "Archive" << QStringList{"# Sessions", "first", "> Archived"} << "first";
        QTest::newRow("Unarchive brings it back on top")
            << 1 << "Unarchive" << QStringList{"# Sessions", "archived one", "first", "second"} << "first";
        QTest::newRow("Pin in the archive keeps it in the archive")
            << 1 << "Pin" << QStringList{"# Sessions", "first", "second", "> Archived"} << "first";
    }
    void menuActions()
    {
        QFETCH(int, target);
        QFETCH(QString, entry);
        QFETCH(QStringList, rows);
        QFETCH(QString, selected);
        m_rig = std::make_unique<Rig>();
        const model::Conversation first = session("first", 1), second = session("second", 2),
                                  archived = session("archived one", 3, false, true);
        m_rig->setSessions({first, second, archived}, first.id);
        sectionsOf(m_rig->sidebar()).setArchivedExpanded(true);
        const model::Conversation &row = target == 0 ? second : archived;
        QVERIFY(choose(m_rig->sidebar(), row.id, entry));
        QTest::qWait(5);
        sectionsOf(m_rig->sidebar()).setArchivedExpanded(false);
        QCOMPARE(m_rig->rows(), rows);
        QCOMPARE(m_rig->vm().conversations().selectedConversation()->title, selected);

        const auto now = m_rig->stored(row.id);
        QVERIFY(now);
        if (entry == "Pin") {
            QVERIFY(now->isPinned);
            QVERIFY(now->updatedAt > row.updatedAt);
        } else if (entry == "Mark as unread") {
            QVERIFY(now->isUnread);
            QCOMPARE(now->updatedAt, row.updatedAt);
        } else if (entry == "Export…") {
            QCOMPARE(m_rig->panels().saveNames.size(), 1);
        } else if (entry == "Archive") {
            QVERIFY(now->isArchived);
        } else if (entry == "Unarchive") {
            QVERIFY(!now->isArchived);
        } else if (entry == "Fork") {
            QCOMPARE(m_rig->stored().size(), 4);
        }
    }

    // "Mark as read" flips the flag back without moving the session.
    void markAsRead()
    {
        m_rig = std::make_unique<Rig>();
        const model::Conversation first = session("first", 1), second = session("second", 2, false, false, true);
        m_rig->setSessions({first, second}, first.id);
        QVERIFY(choose(m_rig->sidebar(), second.id, "Mark as read"));
        const auto now = m_rig->stored(second.id);
        QVERIFY(now && !now->isUnread);
        QCOMPARE(now->updatedAt, second.updatedAt);
    }

    // Delete asks first; only Delete (or Return) removes the session.
    void deleteAsksFirst_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("Delete button") << "delete" << true;
        QTest::newRow("Return") << "return" << true;
        QTest::newRow("Cancel") << "cancel" << false;
        QTest::newRow("Escape") << "escape" << false;
    }
    void deleteAsksFirst()
    {
        QFETCH(QString, answer);
        QFETCH(bool, deleted);
        m_rig = std::make_unique<Rig>();
        QVERIFY(m_rig->showActive());
        const model::Conversation first = session("first", 1), second = session("Old notes", 2);
        m_rig->setSessions({first, second}, first.id);
        QVERIFY(choose(m_rig->sidebar(), second.id, "Delete"));
        auto *sheet = qobject_cast<panels::DeleteSessionSheet *>(m_rig->sheets().content());
        QVERIFY(sheet);
        QCOMPARE(sheet->prompt(), QString("Delete “Old notes”? This cannot be undone."));
        QVERIFY(m_rig->stored(second.id)); // nothing gone yet
        if (answer == "delete") {
            REQUIRE_NAMED(deleteButton, glass::StyledButton, sheet, QStringLiteral("Delete"));
            deleteButton->click();
        } else if (answer == "cancel") {
            REQUIRE_NAMED(cancelButton, glass::StyledButton, sheet, QStringLiteral("Cancel"));
            cancelButton->click();
        } else
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : sheet,
                            answer == "return" ? Qt::Key_Return : Qt::Key_Escape);
        QCoreApplication::processEvents();
        QVERIFY(!m_rig->sheets().isOpen());
        QCOMPARE(!m_rig->stored(second.id).has_value(), deleted);
        QCOMPARE(m_rig->rowOf(second.id) < 0, deleted);
    }

    // Deleting the only session leaves a fresh one, selected.
    void deleteOnlySession()
    {
        m_rig = std::make_unique<Rig>();
        const model::Conversation only = session("only", 1);
        m_rig->setSessions({only});
        m_rig->sidebar().openDelete(only.id);
        REQUIRE_NAMED(deleteButton, glass::StyledButton, m_rig->sheets().content(), QStringLiteral("Delete"));
        deleteButton->click();
        QCOMPARE(m_rig->rows(), (QStringList{"# Sessions", "New session"}));
        QCOMPARE(m_rig->vm().conversations().selectedConversation()->title, QString("New session"));
    }

    void deletePrompt_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("expected");
        QTest::newRow("short") << "Fix the build" << "Delete “Fix the build”? This cannot be undone.";
        QTest::newRow("line breaks read as spaces") << "two\nlines" << "Delete “two lines”? This cannot be undone.";
        const QString family = QString::fromUtf8("👨‍👩‍👧");
        QTest::newRow("long title cut between characters")
            << QString(79, u'x') + family + family << "Delete “" + QString(79, u'x') + "…”? This cannot be undone.";
        QTest::newRow("cut never splits a family emoji")
            << QString(78, u'x') + family + family + "tail"
            << "Delete “" + QString(78, u'x') + family + "…”? This cannot be undone.";
    }
    void deletePrompt()
    {
        QFETCH(QString, title);
        QFETCH(QString, expected);
        QCOMPARE(panels::SessionActions::deletePrompt(title), expected);
    }

    // The rename sheet: filled with the title, Rename off while blank,
    // Return commits whatever is typed (the store keeps a blank one out).
    void renameSheet_data()
    {
        QTest::addColumn<QString>("typed"); // "=" keeps the filled-in title
        QTest::addColumn<QString>("how");   // return, button, cancel, escape
        QTest::addColumn<bool>("buttonEnabled");
        QTest::addColumn<QString>("stored");
        QTest::newRow("Return commits the title unchanged") << "=" << "return" << true << "Draft plan";
        QTest::newRow("blanks around are trimmed") << "  Release notes  " << "button" << true << "Release notes";
        QTest::newRow("200 characters keep the first 120") << QString(200, u'r') << "return" << true
                                                           << QString(120, u'r');
        QTest::newRow("blank: button off, Return keeps the title") << "   " << "return" << false << "Draft plan";
        QTest::newRow("Cancel keeps the title") << "Other" << "cancel" << true << "Draft plan";
        QTest::newRow("Escape keeps the title") << "Other" << "escape" << true << "Draft plan";
    }
    void renameSheet()
    {
        QFETCH(QString, typed);
        QFETCH(QString, how);
        QFETCH(bool, buttonEnabled);
        QFETCH(QString, stored);
        m_rig = std::make_unique<Rig>();
        QVERIFY(m_rig->showActive());
        const model::Conversation target = session("Draft plan", 1);
        m_rig->setSessions({target, session("other", 2)});
        QVERIFY(choose(m_rig->sidebar(), target.id, "Rename"));
        auto *sheet = qobject_cast<panels::RenameSheet *>(m_rig->sheets().content());
        QVERIFY(sheet);
        QCOMPARE(m_rig->sidebar().renameTarget(), std::optional(target.id));
        QCOMPARE(sheet->draft(), QString("Draft plan"));
        QVERIFY(m_rig->showActive()); // the window again, after the menu's popup
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(sheet->field()));
        if (typed != "=") {
            sheet->field()->selectAll();
            QTest::keyClicks(sheet->field(), typed);
        }
        REQUIRE_NAMED(renameButton, glass::StyledButton, sheet, QStringLiteral("Rename"));
        QCOMPARE(renameButton->isEnabled(), buttonEnabled);
        if (how == "return") {
            QTest::keyClick(sheet->field(), Qt::Key_Return);
        } else if (how == "button") {
            renameButton->click();
        } else if (how == "cancel") {
            REQUIRE_NAMED(cancelButton, glass::StyledButton, sheet, QStringLiteral("Cancel"));
            cancelButton->click();
        } else
            QTest::keyClick(sheet->field(), Qt::Key_Escape);
        QCoreApplication::processEvents();
        QVERIFY(!m_rig->sheets().isOpen());
        QTest::qWait(1);
        QCOMPARE(m_rig->sidebar().renameTarget(), std::nullopt);
        QCOMPARE(m_rig->stored(target.id)->title, stored);
    }

    // The rename sheet stands on the skin's elevated colour, dark or light.
    void renameSheetOnElevated_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("dark") << "default";
        QTest::newRow("light") << "paper";
    }
    void renameSheetOnElevated()
    {
        QFETCH(QString, skin);
        m_rig = std::make_unique<Rig>(skin);
        m_rig->host().resize(700, 500); // room for the whole sheet
        m_rig->sheets().setGeometry(m_rig->host().rect());
        QVERIFY(m_rig->showActive());
        const model::Conversation target = session("Draft plan", 1);
        m_rig->setSessions({target});
        QVERIFY(choose(m_rig->sidebar(), target.id, "Rename"));
        auto *sheet = qobject_cast<panels::RenameSheet *>(m_rig->sheets().content());
        QVERIFY(sheet);
        QTest::qWait(20);
        const QImage image = m_rig->host().grab().toImage();
        image.save(outputPath("rename-sheet-" + skin));
        const QColor elevated = glass::QirvTheme::color(m_rig->styles().styles().skin.colors.elevated);
        QCOMPARE(elevated.alpha(), 255); // the skins chosen have an opaque elevated colour
        // Inside the sheet, clear of its rim and of its controls: below the
        // buttons at the left, and between the headline and the field at the right.
        const QRect area = sheet->geometry();
        const QList<QPoint> spots{{area.left() + 10, area.bottom() - 8}, {area.right() - 12, area.top() + 8},
                                  {area.center().x(), area.bottom() - 6}};
        for (const QPoint &spot : spots) {
            const QPoint at = sheet->parentWidget()->mapTo(&m_rig->host(), spot) * image.devicePixelRatio();
            const QColor seen(image.pixel(at));
            const int off = std::abs(seen.red() - elevated.red()) + std::abs(seen.green() - elevated.green()) +
                            std::abs(seen.blue() - elevated.blue());
            QVERIFY2(off <= 6, qPrintable(QStringLiteral("%1 at %2,%3, elevated %4")
                                              .arg(seen.name()).arg(spot.x()).arg(spot.y()).arg(elevated.name())));
        }
    }

    // A click selects and clears the unread mark; a click on "⋮" opens the
    // menu instead.
    void clickSelects()
    {
        m_rig = std::make_unique<Rig>();
        m_rig->host().show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_rig->host()));
        const model::Conversation first = session("first", 1), second = session("both", 2, true, false, true);
        m_rig->setSessions({first, second}, first.id);
        QListView &list = sessionList(m_rig->sidebar());
        const QRect row = list.visualRect(sectionsOf(m_rig->sidebar()).index(m_rig->rowOf(second.id)));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, panels::SessionRowDelegate::menuButtonRect(row).center());
        QVERIFY(openedMenu(m_rig->sidebar()));
        openedMenu(m_rig->sidebar())->close();
        QCOMPARE(m_rig->vm().conversations().selectedConversationID(), std::optional(first.id));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, row.center() - QPoint(40, 0));
        QCOMPARE(m_rig->vm().conversations().selectedConversationID(), std::optional(second.id));
        QCOMPARE(m_rig->rows(), (QStringList{"# Sessions", "both [pin]", "first"}));
        QVERIFY(!m_rig->stored(second.id)->isUnread);
        // The archived toggle opens and closes the group.
        m_rig->vm().archiveSession(first.id);
        const QRect toggle = list.visualRect(sectionsOf(m_rig->sidebar()).index(2));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, toggle.center());
        QCOMPARE(m_rig->rows(), (QStringList{"# Sessions", "both [pin]", "v Archived", "a:first"}));
    }

    // Rows moving (a pin, a new message re-sorting the list) leave the
    // list where the user scrolled it.
    void scrollKept()
    {
        m_rig = std::make_unique<Rig>();
        m_rig->host().show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_rig->host()));
        QList<model::Conversation> list;
        for (int i = 0; i < 200; ++i)
            list.append(session(QStringLiteral("session %1").arg(i), i + 1));
        m_rig->setSessions(list);
        QListView &view = sessionList(m_rig->sidebar());
        QScrollBar *bar = view.verticalScrollBar();
        QVERIFY(bar->maximum() > 1000);
        bar->setValue(900);
        m_rig->vm().togglePinSession(list.at(150).id);
        m_rig->vm().conversations().appendMessage(list.at(100).id,
                                                  model::ChatMessage::make(model::MessageRole::Assistant, "x"));
        QCoreApplication::processEvents();
        QCOMPARE(bar->value(), 900);
    }

    // Hover by event log: a late leave of A never hides B.
    void hover_data()
    {
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QString>("shown");
        QTest::newRow("leave A, enter B") << QStringList{"+A", "-A", "+B"} << "B";
        QTest::newRow("enter B before A's leave") << QStringList{"+A", "+B", "-A"} << "B";
        QTest::newRow("leave B") << QStringList{"+A", "+B", "-A", "-B"} << "";
        QTest::newRow("stale leave of A twice") << QStringList{"+B", "-A", "-A"} << "B";
    }
    void hover()
    {
        QFETCH(QStringList, events);
        QFETCH(QString, shown);
        const QUuid a = QUuid::createUuid(), b = QUuid::createUuid();
        panels::SessionHover hover;
        for (const QString &e : events) {
            const QUuid id = e.at(1) == u'A' ? a : b;
            e.startsWith(u'+') ? hover.enter(id) : hover.leave(id);
        }
        QCOMPARE(hover.id ? (*hover.id == a ? "A" : "B") : "", shown);
    }

    // Pointer moves over the list show "⋮" on the row under it only.
    void hoverInView()
    {
        m_rig = std::make_unique<Rig>();
        m_rig->host().show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_rig->host()));
        const model::Conversation a = session("a", 1), b = session("b", 2);
        m_rig->setSessions({a, b});
        QListView &list = sessionList(m_rig->sidebar());
        const auto at = [&](const QUuid &id) {
            return list.visualRect(sectionsOf(m_rig->sidebar()).index(m_rig->rowOf(id))).center();
        };
        QTest::mouseMove(list.viewport(), at(a.id));
        QCOMPARE(m_rig->sidebar().hoveredSession(), std::optional(a.id));
        QTest::mouseMove(list.viewport(), at(b.id));
        QCOMPARE(m_rig->sidebar().hoveredSession(), std::optional(b.id));
        QTest::mouseMove(list.viewport(), list.visualRect(sectionsOf(m_rig->sidebar()).index(0)).center());
        QCOMPARE(m_rig->sidebar().hoveredSession(), std::nullopt);
    }

    // The list with the keyboard: it enters on the selected session, the
    // arrows, Home and End move over the rows that act (never a header),
    // Return or Space selects or opens the archived group, and the menu
    // key or Shift+F10 opens the current session's menu. The keyboard stays
    // on its session when the rows are sorted again.
    void listByKeyboard_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("selected"); // the selected session afterwards
        QTest::addColumn<QString>("menuFor");  // whose menu opened, if any
        QTest::addColumn<QStringList>("rows");
        const QStringList rest{"# Sessions", "first", "second", "third", "> Archived"};
        QTest::newRow("enters on the selected one, Down, Return") << QStringList{"Down", "Return"} << "third" << ""
                                                                 << rest;
        QTest::newRow("Up twice stops at the top, Space") << QStringList{"Up", "Up", "Up", "Space"} << "first" << ""
                                                          << rest;
        QTest::newRow("Home skips the header") << QStringList{"End", "Home", "Return"} << "first" << "" << rest;
        QTest::newRow("End reaches the toggle, Return opens the group")
            << QStringList{"End", "Return", "End", "Return"} << "old" << ""
            << QStringList{"# Sessions", "first", "second", "third", "v Archived", "a:old"};
        QTest::newRow("Shift+F10 opens the current row's menu")
            << QStringList{"Up", "Shift+F10"} << "second" << "first" << rest;
        QTest::newRow("the menu key too") << QStringList{"Down", "Menu"} << "second" << "third" << rest;
        QTest::newRow("no menu on the toggle") << QStringList{"End", "Menu"} << "second" << "" << rest;
        QTest::newRow("kept on its session after a re-sort")
            << QStringList{"Down", "pin third", "Down", "Return"} << "first" << ""
            << QStringList{"# Sessions", "third [pin]", "first", "second", "> Archived"};
    }
    void listByKeyboard()
    {
        QFETCH(QStringList, keys);
        QFETCH(QString, selected);
        QFETCH(QString, menuFor);
        QFETCH(QStringList, rows);
        m_rig = std::make_unique<Rig>();
        QVERIFY(m_rig->showActive());
        const model::Conversation first = session("first", 1), second = session("second", 2),
                                  third = session("third", 3), old = session("old", 4, false, true);
        m_rig->setSessions({first, second, third, old}, second.id);
        panels::SidebarView &sidebar = m_rig->sidebar();
        // Tab from the search field: the list is the next stop.
        REQUIRE_NAMED(search, QLineEdit, &sidebar, QStringLiteral("Search sessions"));
        search->setFocus(Qt::TabFocusReason);
        QTest::keyClick(search, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), &sessionList(sidebar));
        for (const QString &key : keys) {
            if (key == "pin third")
                m_rig->vm().togglePinSession(third.id);
            else
                QTest::keyClick(&sessionList(sidebar), QKeySequence(key)[0].key(), QKeySequence(key)[0].keyboardModifiers());
        }
        QCOMPARE(m_rig->vm().conversations().selectedConversation()->title, selected);
        QMenu *menu = openedMenu(sidebar);
        QCOMPARE(menu && menu->isVisible(), !menuFor.isEmpty());
        if (menu) { // its entries act on that row: Pin pins it
            menu->close();
            menu->actions().first()->trigger();
            QCoreApplication::processEvents();
            QVERIFY(m_rig->rows().contains(menuFor + QStringLiteral(" [pin]")));
        } else {
            QCOMPARE(m_rig->rows(), rows);
        }
    }

    // The "⋮" button says what it is; the rest of the row says nothing.
    void menuButtonHelp()
    {
        m_rig = std::make_unique<Rig>();
        m_rig->host().show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_rig->host()));
        const model::Conversation a = session("a session with a title", 1);
        m_rig->setSessions({a});
        QListView &list = sessionList(m_rig->sidebar());
        const QRect row = list.visualRect(sectionsOf(m_rig->sidebar()).index(m_rig->rowOf(a.id)));
        const auto tipAt = [&](QPoint pos) {
            QTest::mouseMove(list.viewport(), pos);
            QHelpEvent help(QEvent::ToolTip, pos, list.viewport()->mapToGlobal(pos));
            QCoreApplication::sendEvent(list.viewport(), &help);
            // Not taken: the list has no help text there.
            return help.isAccepted() && QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        const QRect button = panels::SessionRowDelegate::menuButtonRect(row);
        QCOMPARE(tipAt(button.center()), QStringLiteral("Session actions"));
        QCOMPARE(tipAt(QPoint(row.left() + 20, row.center().y())), QString());
        QCOMPARE(tipAt(list.visualRect(sectionsOf(m_rig->sidebar()).index(0)).center()), QString()); // the header
    }

    // A fork's title is cut before " (fork)", which stays in view.
    void forkKeepsItsSuffix_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<qreal>("width");
        QTest::addColumn<QString>("kept"); // what must stay at the end
        const QString longTitle = QStringLiteral("Refactor the build scripts and the release notes");
        QTest::newRow("long fork") << longTitle + " (fork)" << 160.0 << " (fork)";
        QTest::newRow("narrow fork") << longTitle + " (fork)" << 90.0 << " (fork)";
        QTest::newRow("fork of a title with breaks") << "line one\nline two and more words (fork)" << 120.0 << " (fork)";
        QTest::newRow("emoji fork") << QString::fromUtf8("👨‍👩‍👧‍👦").repeated(12) + " (fork)" << 120.0 << " (fork)";
        QTest::newRow("not a fork: cut at the end") << longTitle + " (draft)" << 160.0 << QStringLiteral("…");
    }
    void forkKeepsItsSuffix()
    {
        QFETCH(QString, title);
        QFETCH(qreal, width);
        QFETCH(QString, kept);
        QFont font;
        font.setPixelSize(13);
        const QFontMetricsF metrics(font);
        const QString fitted = panels::SessionTitle::elided(title, metrics, width);
        QVERIFY2(fitted.endsWith(kept), qPrintable(fitted));
        QVERIFY(fitted.contains(u'…'));
        QVERIFY(metrics.horizontalAdvance(fitted) <= width);
        const QString line = panels::SessionTitle::oneLine(title);
        const QString before = fitted.left(fitted.indexOf(u'…'));
        QVERIFY(line.startsWith(before));
        QCOMPARE(before, platform::Graphemes::prefix(line, platform::Graphemes::count(before)));
    }

    // The header: New session, the project button and the search, both ways.
    void header()
    {
        m_rig = std::make_unique<Rig>();
        const model::Conversation a = session("alpha", 1);
        m_rig->setSessions({a});
        panels::SidebarView &sidebar = m_rig->sidebar();
        REQUIRE_CHILD(newSession, panels::SidebarButton, &sidebar, QStringLiteral("newSession"));
        newSession->click();
        QCOMPARE(m_rig->vm().conversations().selectedConversation()->title, QString("New session"));
        QCOMPARE(m_rig->stored().size(), 2);

        QCOMPARE(projectButton(sidebar).text(), QString("Open project folder"));
        const QUuid refresh = m_rig->vm().fileTreeRefresh();
        projectButton(sidebar).click(); // the panel is cancelled
        QTRY_VERIFY(m_rig->vm().fileTreeRefresh() != refresh);
        QCOMPARE(m_rig->panels().folderRequests, 1);
        QCOMPARE(projectButton(sidebar).text(), QString("Open project folder"));
        QTemporaryDir project;
        m_rig->vm().workspace().setWorkspace(project.path());
        QCOMPARE(projectButton(sidebar).text(), QFileInfo(project.path()).fileName());

        REQUIRE_NAMED(search, QLineEdit, &sidebar, QStringLiteral("Search sessions"));
        QTest::keyClicks(search, "ALP");
        QCOMPARE(m_rig->vm().sessionSearch(), QString("ALP"));
        QCOMPARE(m_rig->rows(), (QStringList{"# Sessions", "alpha"}));
        m_rig->vm().setSessionSearch("x");
        QCOMPARE(search->text(), QString("x"));
        QCOMPARE(m_rig->rows(), (QStringList{"# Sessions", "- No matches"}));
    }

    void projectTitle_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("title");
        QTest::newRow("none") << "" << "Open project folder";
        QTest::newRow("last component") << "/home/me/work/moon" << "moon";
        QTest::newRow("trailing slash") << "/home/me/work/moon/" << "moon";
        QTest::newRow("the root folder") << "/" << "/";
    }
    void projectTitle()
    {
        QFETCH(QString, root);
        QFETCH(QString, title);
        QCOMPARE(panels::SidebarView::projectTitle(root), title);
    }

    // The footer's first line.
    void footerTitle_data()
    {
        QTest::addColumn<QString>("email"); // "-": none
        QTest::addColumn<bool>("authenticated");
        QTest::addColumn<QString>("title");
        QTest::newRow("e-mail wins") << "me@example.com" << true << "me@example.com";
        QTest::newRow("e-mail even if the mirror lags") << "me@example.com" << false << "me@example.com";
        QTest::newRow("signed in without e-mail") << "-" << true << "Connected";
        QTest::newRow("signed out") << "-" << false << "Sign in";
    }
    void footerTitle()
    {
        QFETCH(QString, email);
        QFETCH(bool, authenticated);
        QFETCH(QString, title);
        const std::optional<QString> mail = email == "-" ? std::nullopt : std::optional(email);
        QCOMPARE(panels::AccountButton::title(mail, authenticated), title);
    }

    // The account button opens settings; the heart opens the tip link.
    void footer()
    {
        m_rig = std::make_unique<Rig>();
        m_rig->signIn().signedIn = false;
        m_rig->vm().refreshSignIn();
        REQUIRE_CHILD(footerWidget, panels::AccountFooter, &m_rig->sidebar());
        panels::AccountFooter &footer = *footerWidget;
        REQUIRE_CHILD(account, panels::AccountButton, &footer);
        QCOMPARE(account->currentTitle(), QString("Sign in"));
        QCOMPARE(account->toolTip(), QString("Settings"));
        account->click();
        QVERIFY(m_rig->vm().showSettings());
        // A short name; the sentence of its help is what it is described by.
        auto *tip = testsupport::namedWidget<glass::SymbolButton>(&footer, QStringLiteral("Tip"));
        QCOMPARE(tip != nullptr, app::Donation::isConfigured());
        if (tip) {
            QCOMPARE(tip->toolTip(), app::Donation::buttonHelp());
            QCOMPARE(tip->accessibleDescription(), app::Donation::buttonHelp());
            tip->click();
            QCOMPARE(m_rig->desktop().opened, QList<QUrl>{*app::Donation::tipJarURL()});
        }
    }

    // Titles fitted to the row are cut between characters.
    void elision_data()
    {
        QTest::addColumn<QString>("title");
        const QString family = QString::fromUtf8("👨‍👩‍👧‍👦");
        QTest::newRow("families") << family.repeated(30);
        QTest::newRow("combining accents") << QString::fromUtf8("e\u0301").repeated(60);
        QTest::newRow("line breaks") << QString("one\r\ntwo\nthree ").repeated(10);
    }
    void elision()
    {
        QFETCH(QString, title);
        QFont font;
        font.setPixelSize(13);
        const QFontMetricsF metrics(font);
        const QString line = panels::SessionTitle::oneLine(title);
        QVERIFY(!line.contains(u'\n') && !line.contains(u'\r'));
        for (qreal width : {30.0, 61.0, 97.0, 150.0}) {
            const QString fitted = panels::SessionTitle::elided(title, metrics, width);
            QVERIFY(fitted.endsWith(u'…'));
            QVERIFY(metrics.horizontalAdvance(fitted) <= width);
            const QString kept = fitted.chopped(1);
            QCOMPARE(kept, platform::Graphemes::prefix(line, platform::Graphemes::count(kept)));
        }
        QCOMPARE(panels::SessionTitle::elided("short", metrics, 200), QString("short"));
    }

    // The sidebar on the stage in a dark and a light skin: the selected
    // row stands out in the accent, lighter on the light skin, and its
    // title reads against it.
    void pictures_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("dark") << "default";
        QTest::newRow("light") << "daylight";
    }
    void pictures()
    {
        QFETCH(QString, skin);
        m_rig = std::make_unique<Rig>(skin);
        QCOMPARE(m_rig->skins().current().id, skin);
        const model::Conversation selected = session("Refactor the store writer", 2);
        const model::Conversation hovered = session("Sidebar polish and a title long enough to be cut", 4);
        m_rig->setSessions({session("Release checklist", 1, true), selected,
                            session("Unread reply from the agent", 3, false, false, true), hovered,
                            session("Old experiment", 30, false, true), session("Spike: video stage", 40, false, true)},
                           selected.id);
        sectionsOf(m_rig->sidebar()).setArchivedExpanded(true);
        m_rig->host().show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_rig->host()));
        QListView &list = sessionList(m_rig->sidebar());
        QTest::mouseMove(list.viewport(), QPoint(1, 1)); // the pointer may still be where the last test left it
        QTest::mouseMove(list.viewport(),
                         list.visualRect(sectionsOf(m_rig->sidebar()).index(m_rig->rowOf(hovered.id))).center());
        QCoreApplication::processEvents();
        QCOMPARE(m_rig->sidebar().hoveredSession(), std::optional(hovered.id));
        const QImage image = m_rig->host().grab().toImage();
        QVERIFY(image.save(outputPath("sidebar-" + skin)));

        const glass::Styles &s = m_rig->styles().styles();
        const auto pixelAt = [&](const QUuid &id) {
            const QRect row = list.visualRect(sectionsOf(m_rig->sidebar()).index(m_rig->rowOf(id)));
            const QPoint inHost = list.viewport()->mapTo(&m_rig->host(), QPoint(row.left() + 6, row.center().y()));
            return QColor(image.pixel(inHost * image.devicePixelRatio()));
        };
        const QColor chosen = pixelAt(selected.id), plain = pixelAt(hovered.id);
        const auto towardsAccent = [&](const QColor &c) {
            return std::abs(c.red() - s.accent.red()) + std::abs(c.green() - s.accent.green())
                   + std::abs(c.blue() - s.accent.blue());
        };
        QVERIFY2(towardsAccent(chosen) < towardsAccent(plain), "the selection is tinted with the accent");
        QVERIFY2(glass::Contrast::ratio(s.text, chosen) >= 4.5, "the selected title reads");
        QVERIFY2(glass::Contrast::ratio(s.textTertiary, plain) >= 3.0, "the faintest text reads");
    }

private:
    std::unique_ptr<Rig> m_rig;
};

MOONSHELF_TEST_WIDGETS_MAIN(SidebarTest)
#include "tst_sidebar.moc"
