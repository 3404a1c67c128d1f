#include "WindowKit.h"

#include "glass/sheets/AlertSheet.h"
#include "glass/look/QirvTheme.h"
#include "glass/sheets/SheetOverlay.h"
#include "glass/controls/StyledButton.h"
#include "glass/look/Styles.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"
#include "glass/stageview/StageBackground.h"
#include "support/NamedWidget.h"
#include "support/TestMain.h"
#include "window/ActionRegistry.h"
#include "window/AppStyle.h"
#include "window/ContentView.h"
#include "window/DeferredIcon.h"
#include "window/ErrorAlert.h"
#include "window/EscapeDispatcher.h"
#include "window/MainWindow.h"
#include "window/PanelSlot.h"
#include "window/SettingsHost.h"
#include "window/TitleButton.h"
#include "window/TitleStrip.h"
#include "window/UnsavedWork.h"
#include "chat/ChatView.h"
#include "chat/tray/ComposerTray.h"
#include "chat/tray/TrayChips.h"
#include "chat/tray/TrayPopoverHost.h"
#include "model/ConversationStore.h"
#include "palette/PaletteCommand.h"
#include "panels/FileTreeModel.h"
#include "panels/FileTreeView.h"
#include "panels/ToolLogList.h"
#include "panels/ToolLogRowDelegate.h"
#include "panels/ToolLogRows.h"
#include "panels/ToolLogView.h"

#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListView>
#include <QPainter>
#include <QStyleFactory>
#include <QToolTip>

#include <QLabel>
#include <QApplication>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <qcoro/qcorotask.h>

#include <optional>

using window::ContentView;
using window::PanelSlot;

namespace {

struct Widths {
    int sidebar, fileTree, chat, toolLog;
};

// The slots are looked up again here: each test requires them before asking.
Widths widths(ContentView *c)
{
    const auto w = [](PanelSlot *s) { return s->isVisible() ? s->width() : 0; };
    return {w(windowtest::panelSlot(c, QStringLiteral("sidebar"))), w(windowtest::panelSlot(c, QStringLiteral("fileTree"))), windowtest::panelSlot(c, QStringLiteral("chat"))->width(), w(windowtest::panelSlot(c, QStringLiteral("toolLog")))};
}

bool settled(ContentView *c)
{
    return !windowtest::panelSlot(c, QStringLiteral("sidebar"))->isAnimating();
}

// Where the first row of the tool log offers "Reveal in Files": the first
// point that shows the button's help text.
std::optional<QPoint> revealPoint(QListView &list)
{
    const QRect row = list.visualRect(list.model()->index(0, 0));
    for (int y = row.center().y(); y <= row.bottom(); y += 2)
        for (int x = row.left(); x <= row.right(); x += 4) {
            QHelpEvent help(QEvent::ToolTip, {x, y}, list.viewport()->mapToGlobal(QPoint(x, y)));
            QCoreApplication::sendEvent(list.viewport(), &help);
            if (help.isAccepted() && QToolTip::isVisible()
                && QToolTip::text() == QStringLiteral("Open the file tree and peek this path"))
                return QPoint(x, y);
        }
    return std::nullopt;
}

// The window's picture in a dark and a light skin, for a person to look at.
void saveInDarkAndLight(windowtest::WindowKit &kit, QWidget &w, const QString &name)
{
    for (const QString &skin : {QStringLiteral("default"), QStringLiteral("paper")}) {
        kit.skins().select(skin);
        w.grab().save(QDir(testsupport::outputDirectory()).filePath(QStringLiteral("%1-%2.png").arg(name, skin)));
    }
}

} // namespace

class TestWindowLayout : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The tool log's monospace lines show every underscore ("test_core.py"
    // read as "test core.py" once its stroke, below the line's descent,
    // was cut off), in a dark skin and a light one.
    void toolLogShowsUnderscores_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("dark skin") << "default";
        QTest::newRow("light skin") << "paper";
    }
    void toolLogShowsUnderscores()
    {
        QFETCH(QString, skin);
        windowtest::WindowKit kit;
        kit.skins().select(skin);
        QFile file(QDir(kit.projectPath()).filePath(QStringLiteral("test_core.py")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x = 1\n") > 0);
        file.close();
        kit.vm().setShowToolLog(true);
        QVERIFY(kit.show());
        kit.peer().enqueue(testsupport::ChatServicePeer::toolCallReply({{"c1", "read_file", R"({"path":"test_core.py"})"}}));
        kit.peer().enqueue(testsupport::ChatServicePeer::textReply(QStringLiteral("Read.")));
        kit.vm().setDraft(QStringLiteral("go"));
        kit.vm().send();
        QTRY_VERIFY(!kit.vm().isRunning() && kit.vm().toolLog().size() == 1);
        REQUIRE_CHILD(list, panels::ToolLogList, &kit.window());
        QTest::qWait(50);
        const QModelIndex index = list->model()->index(0, 0);
        auto *delegate = qobject_cast<panels::ToolLogRowDelegate *>(list->itemDelegate());
        QVERIFY(delegate);
        const QRect row = list->visualRect(index);
        const panels::ToolLogRows::Layout l = delegate->layoutFor(index, row.width());
        const QFontMetrics mono(delegate->fonts().mono);
        const QString preview = kit.vm().toolLog().first().argumentsPreview;
        const int columns = std::max(1, l.arguments.width() / std::max(1, mono.horizontalAdvance(u'M')));
        const QStringList lines = panels::ToolLogRows::wrapped(preview, columns, panels::ToolLogRows::argumentLines);
        const QImage shot = list->viewport()->grab().toImage();
        const qreal dpr = shot.devicePixelRatio();
        int checked = 0;
        for (int n = 0; n < lines.size(); ++n) {
            const int at = int(lines[n].indexOf(u'_'));
            if (at < 0)
                continue;
            // The underscore's cell, from the baseline to just under the line's box.
            const int top = row.top() + l.arguments.top() + n * mono.lineSpacing();
            const int x0 = row.left() + l.arguments.left() + mono.horizontalAdvance(lines[n].left(at));
            const QRect cell(x0 + 1, top + mono.ascent() - 1, mono.horizontalAdvance(u'_') - 2,
                             mono.lineSpacing() - mono.ascent() + 4);
            // What lies there without ink: past the line's end, on the same band.
            const QColor bare = shot.pixelColor(QPoint(row.left() + l.arguments.left() +
                                                       mono.horizontalAdvance(lines[n]) + 12, cell.center().y()) * dpr);
            int ink = 0;
            for (int y = cell.top(); y <= cell.bottom(); ++y)
                for (int x = cell.left(); x <= cell.right(); ++x) {
                    const QColor c = shot.pixelColor(QPoint(x, y) * dpr);
                    if (qAbs(c.red() - bare.red()) + qAbs(c.green() - bare.green()) + qAbs(c.blue() - bare.blue()) > 90)
                        ++ink;
                }
            QVERIFY2(ink >= cell.width() / 2, qPrintable(QStringLiteral("no underscore in \"%1\" (%2 inked pixels)").arg(lines[n]).arg(ink)));
            ++checked;
        }
        QVERIFY2(checked > 0, qPrintable(lines.join(u'|')));
        shot.save(QDir(testsupport::outputDirectory()).filePath(QStringLiteral("toollog-underscore-%1.png").arg(skin)));
    }

    // Scroll bars lie over the content (no track beside it), in every scroll
    // area of the app: the list keeps its whole width over the stage.
    void scrollBarsLieOverContent()
    {
        std::unique_ptr<QStyle> style(window::makeAppStyle());
        QScrollArea area;
        area.setStyle(style.get()); // a widget's style does not reach its children
        area.verticalScrollBar()->setStyle(style.get());
        area.horizontalScrollBar()->setStyle(style.get());
        area.setFrameShape(QFrame::NoFrame);
        area.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        auto *tall = new QWidget;
        tall->setFixedSize(100, 2000);
        area.setWidget(tall);
        area.resize(300, 200);
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        QVERIFY(area.verticalScrollBar()->isVisible());
        QCOMPARE(area.viewport()->width(), area.width());
        QVERIFY(area.verticalScrollBar()->geometry().intersects(area.viewport()->geometry()));
    }

    void deferredIconIsMadeOnFirstUse_data()
    {
        QTest::addColumn<QString>("use");
        QTest::addColumn<int>("made");
        QTest::newRow("only held") << QStringLiteral("none") << 0;
        QTest::newRow("asked whether null") << QStringLiteral("isNull") << 0;
        QTest::newRow("pixmap") << QStringLiteral("pixmap") << 1;
        QTest::newRow("painted") << QStringLiteral("paint") << 1;
        QTest::newRow("sizes") << QStringLiteral("sizes") << 1;
        QTest::newRow("pixmap twice, once via a copy") << QStringLiteral("copy") << 1;
    }

    // What a deferred icon stands for is made when it is first drawn or
    // measured, once, and the icon draws as the one made.
    void deferredIconIsMadeOnFirstUse()
    {
        QFETCH(QString, use);
        QFETCH(int, made);
        QImage red(16, 16, QImage::Format_ARGB32_Premultiplied);
        red.fill(Qt::red);
        int calls = 0;
        const QIcon icon = window::deferredIcon([&] {
            ++calls;
            return QIcon(QPixmap::fromImage(red));
        });
        QImage drawn;
        if (use == QLatin1String("isNull")) {
            QVERIFY(!icon.isNull());
        } else if (use == QLatin1String("pixmap")) {
            drawn = icon.pixmap(16, 16).toImage();
        } else if (use == QLatin1String("paint")) {
            drawn = QImage(16, 16, QImage::Format_ARGB32_Premultiplied);
            drawn.fill(Qt::transparent);
            QPainter p(&drawn);
            icon.paint(&p, drawn.rect());
        } else if (use == QLatin1String("sizes")) {
            QCOMPARE(icon.availableSizes(), QList<QSize>{QSize(16, 16)});
        } else if (use == QLatin1String("copy")) {
            QIcon copy = icon;
            copy.detach();
            QCOMPARE(copy.pixmap(16, 16).toImage().pixel(8, 8), red.pixel(8, 8));
            drawn = icon.pixmap(16, 16).toImage();
        }
        QCOMPARE(calls, made);
        if (!drawn.isNull())
            QCOMPARE(drawn.convertToFormat(QImage::Format_ARGB32).pixel(8, 8), qRgb(255, 0, 0));
    }

    void menuBarArrowDrawsAsFusions_data()
    {
        QTest::addColumn<int>("which");
        QTest::newRow("horizontal") << int(QStyle::SP_ToolBarHorizontalExtensionButton);
        QTest::newRow("vertical") << int(QStyle::SP_ToolBarVerticalExtensionButton);
    }

    // The app's style gives the menu bar's overflow arrow deferred, and it
    // draws as Fusion's own.
    void menuBarArrowDrawsAsFusions()
    {
        QFETCH(int, which);
        std::unique_ptr<QStyle> style(window::makeAppStyle());
        std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
        const auto pixmap = QStyle::StandardPixmap(which);
        const QIcon ours = style->standardIcon(pixmap);
        const QIcon theirs = fusion->standardIcon(pixmap);
        QVERIFY(!theirs.isNull());
        QCOMPARE(ours.availableSizes(), theirs.availableSizes());
        for (int side : {16, 32})
            QCOMPARE(ours.pixmap(side, side).toImage(), theirs.pixmap(side, side).toImage());
    }

    void windowGeometry()
    {
        windowtest::WindowKit kit;
        window::MainWindow &w = kit.window();
        QVERIFY(kit.show());
        QCOMPARE(w.windowTitle(), QStringLiteral("Moonshelf Mac"));
        QCOMPARE(w.size(), QSize(1280, 800));
        QCOMPARE(w.minimumSize(), QSize(1100, 700));
        const QRect screen = w.screen()->availableGeometry();
        QVERIFY(qAbs(w.geometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(w.geometry().center().y() - screen.center().y()) <= 1);
        w.resize(800, 500); // not below the minimum
        QCOMPARE(w.size(), QSize(1100, 700));
        QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
        // The stage lies under everything, the title strip included.
        ContentView *c = w.content();
        REQUIRE_CHILD(stage, glass::StageBackground, c, QStringLiteral("stage"));
        QCOMPARE(stage->geometry(), c->rect());
        QCOMPARE(c->titleStrip()->geometry().top(), 0);
        QCOMPARE(c->titleStrip()->height(), window::TitleStrip::kHeight);
    }

    // The lines beside the file tree and the tool log are the skin's border
    // colour, on a dark and a light skin, over a dark and a bright stage.
    void panelLinesInTheBorderColour_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QColor>("stage");
        QTest::newRow("dark skin, dark stage") << "default" << QColor(12, 14, 20);
        QTest::newRow("dark skin, bright stage") << "aurora" << QColor(250, 246, 230);
        QTest::newRow("light skin, dark stage") << "paper" << QColor(12, 14, 20);
        QTest::newRow("light skin, bright stage") << "daylight" << QColor(250, 246, 230);
    }
    void panelLinesInTheBorderColour()
    {
        QFETCH(QString, skin);
        QFETCH(QColor, stage);
        windowtest::WindowKit kit;
        kit.skins().select(skin);
        QTemporaryDir dir;
        QImage wallpaper(64, 40, QImage::Format_RGB32);
        wallpaper.fill(stage);
        QVERIFY(wallpaper.save(dir.filePath(QStringLiteral("flat.png"))));
        QCoro::waitFor(kit.background().pickLocalImage(dir.filePath(QStringLiteral("flat.png"))));
        QVERIFY(kit.background().isEnabled());
        kit.background().applyOverlayOpacity(0.0);
        QVERIFY(kit.show());
        app::AppViewModel &vm = kit.vm();
        vm.setShowProjectPanel(true);
        vm.setShowToolLog(true);
        ContentView *c = kit.window().content();
        REQUIRE_CHILD(sidebarSlot, PanelSlot, c, QStringLiteral("sidebar"));
        REQUIRE_CHILD(fileTreeSlot, PanelSlot, c, QStringLiteral("fileTree"));
        REQUIRE_CHILD(toolLogSlot, PanelSlot, c, QStringLiteral("toolLog"));
        QTRY_VERIFY(settled(c));
        QVERIFY(kit.waitForStage()); // faded in, for the saved picture
        const QImage shot = kit.window().grab().toImage();
        const QString out = testsupport::outputDirectory();
        shot.save(QDir(out).filePath(QStringLiteral("panel-lines-%1-%2.png").arg(skin, stage.name().mid(1))));
        const QColor border = glass::QirvTheme::color(kit.styles().styles().skin.colors.border);
        QCOMPARE(border.alpha(), 255); // these skins' borders are opaque: the line shows it as it is
        const int y = c->height() / 2;
        const QList<int> lines{fileTreeSlot->geometry().right(), toolLogSlot->geometry().left()};
        for (int x : lines) {
            const QPoint at = c->mapTo(&kit.window(), QPoint(x, y)) * shot.devicePixelRatio();
            const QColor seen(shot.pixel(at));
            const int off = std::abs(seen.red() - border.red()) + std::abs(seen.green() - border.green()) +
                            std::abs(seen.blue() - border.blue());
            QVERIFY2(off <= 6, qPrintable(QStringLiteral("line at %1: %2, border %3").arg(x).arg(seen.name(), border.name())));
        }
    }

    void columns_data()
    {
        QTest::addColumn<bool>("sidebar");
        QTest::addColumn<bool>("files");
        QTest::addColumn<bool>("tools");
        QTest::newRow("start: sidebar only") << true << false << false;
        QTest::newRow("all panels") << true << true << true;
        QTest::newRow("files without sidebar") << false << true << false;
        QTest::newRow("tools only") << false << false << true;
        QTest::newRow("none: chat fills the window") << false << false << false;
    }

    // Each panel's width with its line, and the chat taking the rest.
    void columns()
    {
        QFETCH(bool, sidebar);
        QFETCH(bool, files);
        QFETCH(bool, tools);
        windowtest::WindowKit kit;
        QVERIFY(kit.show());
        app::AppViewModel &vm = kit.vm();
        ContentView *c = kit.window().content();
        REQUIRE_CHILD(sidebarSlot, PanelSlot, c, QStringLiteral("sidebar"));
        REQUIRE_CHILD(fileTreeSlot, PanelSlot, c, QStringLiteral("fileTree"));
        REQUIRE_CHILD(chatSlot, PanelSlot, c, QStringLiteral("chat"));
        REQUIRE_CHILD(toolLogSlot, PanelSlot, c, QStringLiteral("toolLog"));
        vm.setShowSidebar(sidebar);
        vm.setShowProjectPanel(files);
        vm.setShowToolLog(tools);
        QTRY_VERIFY(settled(c));
        QTRY_COMPARE(widths(c).sidebar + widths(c).fileTree + widths(c).chat + widths(c).toolLog, 1280);
        const Widths w = widths(c);
        QCOMPARE(w.sidebar, sidebar ? 261 : 0);
        QCOMPARE(w.fileTree, files ? 241 : 0);
        QCOMPARE(w.toolLog, tools ? 281 : 0);
        QCOMPARE(w.chat, 1280 - w.sidebar - w.fileTree - w.toolLog);
        if (sidebar)
            QCOMPARE(sidebarSlot->panelRect().width(), 260);
        if (files)
            QCOMPARE(fileTreeSlot->panelRect().width(), 240);
        if (tools)
            QCOMPARE(toolLogSlot->panelRect().width(), 280);
        // Order, left to right: sidebar, file tree, chat, tool log.
        if (files)
            QCOMPARE(fileTreeSlot->geometry().right() + 1, chatSlot->geometry().left());
        if (tools)
            QCOMPARE(chatSlot->geometry().right() + 1, toolLogSlot->geometry().left());
    }

    // In a narrow window the file tree steps aside for the chat first, then
    // the tool log (the one the person opened last goes last), and they come
    // back with the room; the person's choice stays stored as it was.
    void narrowColumns_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("sidebar");
        QTest::addColumn<QString>("opened"); // which panel the person opened last ("" : both at start)
        QTest::addColumn<bool>("treeShown");
        QTest::addColumn<bool>("logShown");
        QTest::newRow("wide enough for every panel") << QSize(1280, 800) << true << "" << true << true;
        QTest::newRow("1100 x 700: the file tree steps aside") << QSize(1100, 700) << true << "" << false << true;
        QTest::newRow("1100 x 700 without the sidebar: room for all") << QSize(1100, 700) << false << "" << true << true;
        QTest::newRow("tree opened last: the tool log steps aside") << QSize(1100, 700) << true << "tree" << true << false;
        QTest::newRow("log opened last: the tree steps aside") << QSize(1100, 700) << true << "log" << false << true;
        QTest::newRow("narrower still: both step aside") << QSize(900, 600) << true << "" << false << false;
    }
    void narrowColumns()
    {
        QFETCH(QSize, size);
        QFETCH(bool, sidebar);
        QFETCH(QString, opened);
        QFETCH(bool, treeShown);
        QFETCH(bool, logShown);
        windowtest::WindowKit kit;
        kit.styles().setReduceMotion(true);
        QVERIFY(kit.show());
        window::MainWindow &w = kit.window();
        app::AppViewModel &vm = kit.vm();
        ContentView *c = w.content();
        REQUIRE_CHILD(sidebarSlot, PanelSlot, c, QStringLiteral("sidebar"));
        REQUIRE_CHILD(fileTreeSlot, PanelSlot, c, QStringLiteral("fileTree"));
        REQUIRE_CHILD(chatSlot, PanelSlot, c, QStringLiteral("chat"));
        REQUIRE_CHILD(toolLogSlot, PanelSlot, c, QStringLiteral("toolLog"));
        w.setMinimumSize(600, 500); // below the window's own, for the narrowest row
        vm.setShowSidebar(sidebar);
        vm.setShowProjectPanel(true);
        vm.setShowToolLog(true);
        if (opened == QLatin1String("tree")) {
            vm.setShowProjectPanel(false);
            vm.setShowProjectPanel(true);
        } else if (opened == QLatin1String("log")) {
            vm.setShowToolLog(false);
            vm.setShowToolLog(true);
        }
        w.resize(size);
        QTRY_COMPARE(c->width(), size.width());
        QTRY_COMPARE(widths(c).sidebar + widths(c).fileTree + widths(c).chat + widths(c).toolLog, size.width());
        QCOMPARE(fileTreeSlot->isVisible(), treeShown);
        QCOMPARE(toolLogSlot->isVisible(), logShown);
        QVERIFY(vm.showProjectPanel() && vm.showToolLog()); // the person's choice, kept
        if (treeShown || logShown)
            QVERIFY2(widths(c).chat >= ContentView::kMinChatWidth, qPrintable(QString::number(widths(c).chat)));
        if (size == QSize(1100, 700) && sidebar && opened.isEmpty()) {
            saveInDarkAndLight(kit, w, QStringLiteral("narrow-1100"));
        }

        // Room again: every panel back, as the person left them.
        w.resize(1400, 800);
        QTRY_VERIFY(fileTreeSlot->isVisible() && toolLogSlot->isVisible());
        // A panel the person closed stays closed when room returns.
        w.resize(size);
        vm.setShowToolLog(false);
        w.resize(1400, 800);
        QTRY_COMPARE(c->width(), 1400);
        QVERIFY(!toolLogSlot->isVisible());
        QVERIFY(fileTreeSlot->isVisible());
    }

    // The person asks for the tree with the tool log's "Reveal in Files":
    // in a narrow window it comes forward and the tool log steps aside
    // instead; both stay stored open and come back with the room.
    void revealBringsTheTreeForward_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("treeOpen"); // stored before the reveal (the log opened after it)
        QTest::addColumn<bool>("logShown"); // after the reveal
        QTest::newRow("1100 x 700, tree stepped aside: it comes forward") << QSize(1100, 700) << true << false;
        QTest::newRow("1100 x 700, tree closed: it opens in front") << QSize(1100, 700) << false << false;
        QTest::newRow("wide enough: the log stays beside it") << QSize(1400, 800) << true << true;
    }
    void revealBringsTheTreeForward()
    {
        QFETCH(QSize, size);
        QFETCH(bool, treeOpen);
        QFETCH(bool, logShown);
        windowtest::WindowKit kit;
        kit.styles().setReduceMotion(true);
        QVERIFY(kit.show());
        window::MainWindow &w = kit.window();
        app::AppViewModel &vm = kit.vm();
        ContentView *c = w.content();
        REQUIRE_CHILD(sidebarSlot, PanelSlot, c, QStringLiteral("sidebar"));
        REQUIRE_CHILD(fileTreeSlot, PanelSlot, c, QStringLiteral("fileTree"));
        REQUIRE_CHILD(chatSlot, PanelSlot, c, QStringLiteral("chat"));
        REQUIRE_CHILD(toolLogSlot, PanelSlot, c, QStringLiteral("toolLog"));
        QDir(kit.projectPath()).mkpath(QStringLiteral("notes"));
        QFile file(kit.projectPath() + QStringLiteral("/notes/a.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("alpha\n") == 6);
        file.close();
        kit.peer().enqueue(testsupport::ChatServicePeer::toolCallReply(
            {{"c1", "read_file",
              QString::fromUtf8(QJsonDocument(QJsonObject{{"path", "notes/a.txt"}}).toJson(QJsonDocument::Compact))}}));
        kit.peer().enqueue(testsupport::ChatServicePeer::textReply(QStringLiteral("Read it.")));
        vm.setDraft(QStringLiteral("read the notes"));
        vm.send();
        QTRY_VERIFY(!vm.isRunning());

        vm.setShowProjectPanel(treeOpen);
        vm.setShowToolLog(true); // opened last: the first to stay
        w.resize(size);
        QTRY_COMPARE(c->width(), size.width());
        QTRY_VERIFY(toolLogSlot->isVisible());
        QCOMPARE(fileTreeSlot->isVisible(), treeOpen && logShown);
        auto *log = qobject_cast<panels::ToolLogView *>(toolLogSlot->view());
        QVERIFY(log);
        REQUIRE_CHILD(list, panels::ToolLogList, log);
        QTRY_COMPARE(list->model()->rowCount(), 1);
        const std::optional<QPoint> reveal = revealPoint(*list);
        QVERIFY(reveal);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, *reveal);

        QTRY_VERIFY(fileTreeSlot->isVisible());
        QTRY_VERIFY(vm.peekedFile() && vm.peekedFile()->displayPath == QStringLiteral("notes/a.txt"));
        QCOMPARE(toolLogSlot->isVisible(), logShown);
        QVERIFY(vm.showProjectPanel() && vm.showToolLog()); // the log stays the person's choice
        QVERIFY2(widths(c).chat >= ContentView::kMinChatWidth, qPrintable(QString::number(widths(c).chat)));
        auto *tree = qobject_cast<panels::FileTreeView *>(fileTreeSlot->view());
        QVERIFY(tree);
        REQUIRE_CHILD(files, panels::FileTreeModel, tree);
        QTRY_VERIFY(files->indexForPath(kit.projectPath() + QStringLiteral("/notes")).isValid());
        if (size == QSize(1100, 700) && treeOpen) {
            saveInDarkAndLight(kit, w, QStringLiteral("reveal-1100"));
        }

        // Room again: the log back beside the tree.
        w.resize(1500, 800);
        QTRY_VERIFY(fileTreeSlot->isVisible() && toolLogSlot->isVisible());
    }

    // The Files and Tools toggles (their keys, the title bar's buttons, the
    // tray's pop-up) act on what shows: a panel standing aside in a narrow
    // window comes forward at the first press, the other stepping aside with
    // both kept stored open; a panel that shows closes. Labels and buttons
    // follow what shows.
    void togglesActOnWhatShows_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("panel"); // "files" or "tools": the one toggled, opened first
        QTest::addColumn<QString>("via");   // "key", "button" (the title bar's), "tray" (its Files row)
        QTest::newRow("1100 x 700, tree aside: Ctrl+B") << QSize(1100, 700) << "files" << "key";
        QTest::newRow("1100 x 700, tree aside: Files button") << QSize(1100, 700) << "files" << "button";
        QTest::newRow("1100 x 700, tree aside: the tray's Files row") << QSize(1100, 700) << "files" << "tray";
        QTest::newRow("1100 x 700, log aside: Ctrl+Shift+L") << QSize(1100, 700) << "tools" << "key";
        QTest::newRow("1100 x 700, log aside: Tools button") << QSize(1100, 700) << "tools" << "button";
        QTest::newRow("wide: Ctrl+B hides the tree, then shows it") << QSize(1400, 800) << "files" << "key";
    }
    void togglesActOnWhatShows()
    {
        QFETCH(QSize, size);
        QFETCH(QString, panel);
        QFETCH(QString, via);
        windowtest::WindowKit kit;
        kit.styles().setReduceMotion(true);
        window::MainWindow &w = kit.window();
        app::AppViewModel &vm = kit.vm();
        ContentView *c = w.content();
        REQUIRE_CHILD(sidebarSlot, PanelSlot, c, QStringLiteral("sidebar"));
        REQUIRE_CHILD(fileTreeSlot, PanelSlot, c, QStringLiteral("fileTree"));
        REQUIRE_CHILD(chatSlot, PanelSlot, c, QStringLiteral("chat"));
        REQUIRE_CHILD(toolLogSlot, PanelSlot, c, QStringLiteral("toolLog"));
        window::TitleStrip *strip = c->titleStrip();
        REQUIRE_NAMED(filesButton, window::TitleButton, strip, QStringLiteral("Files"));
        REQUIRE_NAMED(toolsButton, window::TitleButton, strip, QStringLiteral("Tools"));
        const bool files = panel == QLatin1String("files");
        PanelSlot *toggled = files ? fileTreeSlot : toolLogSlot;
        PanelSlot *other = files ? toolLogSlot : fileTreeSlot;
        window::TitleButton *button = files ? filesButton : toolsButton;
        QAction *action = w.actions().action(files ? window::Command::toggleFiles : window::Command::toggleTools);
        const auto stored = [&](bool tree) { return tree ? vm.showProjectPanel() : vm.showToolLog(); };
        // The other panel opened last: the toggled one steps aside first.
        if (files) {
            vm.setShowProjectPanel(true);
            vm.setShowToolLog(true);
        } else {
            vm.setShowToolLog(true);
            vm.setShowProjectPanel(true);
        }
        QVERIFY(kit.show());
        w.resize(size);
        w.activateWindow();
        QTRY_VERIFY(QApplication::activeWindow() == &w);
        QTRY_COMPARE(c->width(), size.width());
        const bool wide = size.width() >= 1400;
        QCOMPARE(toggled->isVisible(), wide);

        for (int press = 1; press <= 2; ++press) {
            const bool was = toggled->isVisible();
            if (via == QLatin1String("key")) {
                QTest::keySequence(w.focusWidget() ? w.focusWidget() : &w, action->shortcut());
            } else if (via == QLatin1String("button")) {
                button->click();
            } else {
                auto *chatView = qobject_cast<chat::ChatView *>(chatSlot->view());
                QVERIFY(chatView);
                REQUIRE_CHILD(tray, chat::ComposerTray, chatView);
                QTest::mouseClick(tray->projectChip(), Qt::LeftButton, {}, tray->projectChip()->rect().center());
                QTRY_VERIFY(tray->popovers().content());
                REQUIRE_CHILD(row, QAbstractButton, tray->popovers().content(), QStringLiteral("filesRow"));
                QCOMPARE(row->text(), was ? QStringLiteral("Hide Files") : QStringLiteral("Show Files"));
                row->click();
            }
            const QString at = QStringLiteral("press %1").arg(press);
            QTRY_VERIFY2(toggled->isVisible() != was, qPrintable(at));
            const bool shows = !was;
            QCOMPARE(stored(files), shows); // brought forward: still stored open
            QVERIFY(stored(!files));        // the other stays the person's choice
            QCOMPARE(other->isVisible(), wide || !shows);
            QTRY_COMPARE(widths(c).sidebar + widths(c).fileTree + widths(c).chat + widths(c).toolLog, size.width());
            QVERIFY2(widths(c).chat >= ContentView::kMinChatWidth, qPrintable(at));
            // Labels and the title bar's buttons follow what shows.
            const auto commands = palette::PaletteCommand::commands(vm, w.actions().actions());
            const auto title = [&](const char *id) {
                for (const auto &command : commands)
                    if (command.id == QLatin1String(id))
                        return command.title;
                return QString();
            };
            const auto label = [](bool shown, const char *name) {
                return (shown ? QStringLiteral("Hide ") : QStringLiteral("Show ")) + QLatin1String(name);
            };
            QCOMPARE(title("toggle-files"), label(fileTreeSlot->isVisible(), "Files"));
            QCOMPARE(title("toggle-tools"), label(toolLogSlot->isVisible(), "Tools"));
            QCOMPARE(filesButton->opacity() > 0.7, fileTreeSlot->isVisible());
            QCOMPARE(toolsButton->opacity() > 0.7, toolLogSlot->isVisible());
        }
    }

    void viewsMadeAtStart_data()
    {
        QTest::addColumn<QString>("slot");
        QTest::addColumn<bool>("made");
        QTest::newRow("sidebar, open") << QStringLiteral("sidebar") << true;
        QTest::newRow("chat") << QStringLiteral("chat") << true;
        QTest::newRow("file tree, closed") << QStringLiteral("fileTree") << false;
        QTest::newRow("tool log, closed") << QStringLiteral("toolLog") << false;
        QTest::newRow("file peek, nothing peeked") << QStringLiteral("filePeek") << false;
    }

    // As the window is built, only the panels that show get a view: one
    // made for a closed panel would be thrown away at once, costing the
    // start its time.
    void viewsMadeAtStart()
    {
        QFETCH(QString, slot);
        QFETCH(bool, made);
        // A view is given to its slot as it is made, before anything could
        // drop it again.
        struct ViewsGiven : QObject {
            QStringList places;
            bool eventFilter(QObject *watched, QEvent *event) override
            {
                if (event->type() == QEvent::ChildAdded && qobject_cast<PanelSlot *>(watched) &&
                    static_cast<QChildEvent *>(event)->child()->isWidgetType())
                    places << watched->objectName();
                return false;
            }
        } given;
        qApp->installEventFilter(&given);
        windowtest::WindowKit kit;
        qApp->removeEventFilter(&given);
        ContentView *c = kit.window().content();
        QVERIFY(!kit.vm().showProjectPanel() && !kit.vm().showToolLog() && !kit.vm().peekedFile());
        QCOMPARE(given.places.contains(slot), made);
        REQUIRE_CHILD(place, PanelSlot, c, slot);
        QCOMPARE(place->view() != nullptr, made);
    }

    // Hiding the sidebar slides it out within its room (the chat grows by
    // 261 at the end);
    // a panel's view leaves with it and comes back fresh.
    void sidebarSlidesAndDiscards()
    {
        windowtest::WindowKit kit;
        QVERIFY(kit.show());
        ContentView *c = kit.window().content();
        REQUIRE_CHILD(sidebarSlot, PanelSlot, c, QStringLiteral("sidebar"));
        REQUIRE_CHILD(chatSlot, PanelSlot, c, QStringLiteral("chat"));
        int made = 0;
        sidebarSlot->setFactory([&made](QWidget *parent) {
            ++made;
            return new QLabel(QStringLiteral("view"), parent);
        });
        QCOMPARE(made, 1);
        QPointer<QWidget> first = sidebarSlot->view();
        QTRY_COMPARE(chatSlot->width(), 1280 - 261);
        kit.vm().setShowSidebar(false);
        QVERIFY(sidebarSlot->isAnimating());
        QCOMPARE(sidebarSlot->width(), 261);
        QCOMPARE(chatSlot->width(), 1280 - 261);
        QTRY_VERIFY(settled(c));
        QTRY_COMPARE(chatSlot->width(), 1280);
        QTRY_VERIFY(first.isNull());
        kit.vm().setShowSidebar(true);
        QTRY_VERIFY(settled(c));
        QCOMPARE(made, 2);
        QTRY_COMPARE(chatSlot->width(), 1280 - 261);
    }

    void titleButtons()
    {
        windowtest::WindowKit kit;
        QVERIFY(kit.show()); // its buttons follow what shows
        app::AppViewModel &vm = kit.vm();
        window::TitleStrip *strip = kit.window().content()->titleStrip();
        REQUIRE_NAMED(sidebarButton, window::TitleButton, strip, QStringLiteral("Sidebar"));
        REQUIRE_NAMED(stopButton, window::TitleButton, strip, QStringLiteral("Stop"));
        REQUIRE_NAMED(newSessionButton, window::TitleButton, strip, QStringLiteral("New Session"));
        REQUIRE_NAMED(filesButton, window::TitleButton, strip, QStringLiteral("Files"));
        REQUIRE_NAMED(toolsButton, window::TitleButton, strip, QStringLiteral("Tools"));
        REQUIRE_NAMED(openFolderButton, window::TitleButton, strip, QStringLiteral("Open project folder"));
        QCOMPARE(sidebarButton->toolTip(), QStringLiteral("Hide Sidebar (Ctrl+Alt+S)"));
        QCOMPARE(sidebarButton->symbol(), QStringLiteral("sidebar.left"));
        QCOMPARE(stopButton->isEnabled(), false);
        QCOMPARE(stopButton->opacity(), 0.28);
        QCOMPARE(newSessionButton->toolTip(), QStringLiteral("New Session (Ctrl+N)"));
        sidebarButton->click();
        QVERIFY(!vm.showSidebar());
        QCOMPARE(sidebarButton->toolTip(), QStringLiteral("Show Sidebar (Ctrl+Alt+S)"));
        QCOMPARE(sidebarButton->symbol(), QStringLiteral("sidebar.right"));
        QCOMPARE(sidebarButton->opacity(), 0.55);
        filesButton->click();
        QVERIFY(vm.showProjectPanel());
        QCOMPARE(filesButton->symbol(), QStringLiteral("folder.fill"));
        toolsButton->click();
        QVERIFY(vm.showToolLog());
        QCOMPARE(toolsButton->opacity(), 0.72);
        const QUuid refresh = vm.fileTreeRefresh();
        openFolderButton->click();
        QTRY_VERIFY(vm.fileTreeRefresh() != refresh); // also when the panel is cancelled
    }

    void oneSettingsWindow()
    {
        windowtest::WindowKit kit;
        QVERIFY(kit.show());
        app::AppViewModel &vm = kit.vm();
        window::SettingsHost &host = kit.window().settings();
        QSignalSpy opened(&host, &window::SettingsHost::opened);
        vm.setShowSettings(true);
        vm.setShowSettings(true); // again before the reset: nothing more
        QTRY_VERIFY(!vm.showSettings());
        QPointer<QWidget> first = host.window();
        QVERIFY(first && first->isVisible());
        QCOMPARE(first->width(), 520);
        QCOMPARE(first->minimumHeight(), 480);
        QCOMPARE(first->windowTitle(), QStringLiteral("Settings"));
        const QPoint offCentre = first->geometry().center() - kit.window().geometry().center();
        QVERIFY2(offCentre.manhattanLength() <= 6, qPrintable(QStringLiteral("settings %1,%2 from the window's centre")
                                                                  .arg(offCentre.x()).arg(offCentre.y())));
        for (int i = 0; i < 3; ++i) {
            vm.setShowSettings(true);
            QTRY_VERIFY(!vm.showSettings());
        }
        QCOMPARE(host.window(), first.data());
        QCOMPARE(opened.size(), 1);
        first->close();
        QTRY_VERIFY(first.isNull()); // closing discards it
        vm.setShowSettings(true);
        QTRY_VERIFY(host.window());
        QCOMPARE(opened.size(), 2);
        host.window()->close();
    }

    void alert_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("dismiss");
        QTest::newRow("OK clears the text") << "Could not resolve path in project: x" << "ok";
        QTest::newRow("Escape clears it too") << "boom" << "escape";
        QTest::newRow("empty text still alerts") << "" << "ok";
        QTest::newRow("markup shown as written") << "<b>not bold</b>" << "ok";
    }

    void alert()
    {
        QFETCH(QString, message);
        QFETCH(QString, dismiss);
        windowtest::WindowKit kit;
        QVERIFY(kit.show());
        app::AppViewModel &vm = kit.vm();
        REQUIRE_CHILD(alert, window::ErrorAlert, kit.window().content());
        QVERIFY(!alert->isShown());
        vm.setErrorMessage(message);
        QTRY_VERIFY(alert->isShown());
        glass::AlertSheet *sheet = alert->sheet();
        QCOMPARE(kit.window().content()->sheets()->content(), sheet);
        QCOMPARE(sheet->title(), QStringLiteral("Something went wrong"));
        QCOMPARE(sheet->message(), message);
        REQUIRE_CHILD(text, QLabel, sheet, QStringLiteral("alertMessage"));
        QCOMPARE(text->textFormat(), Qt::PlainText);
        // The app's own error: "OK" alone ("Retry" is for a run's error).
        QList<QString> shown;
        for (glass::StyledButton *b : sheet->buttons()) {
            if (b->isVisibleTo(sheet))
                shown.append(b->text());
        }
        QCOMPARE(shown, QList<QString>{QStringLiteral("OK")});
        // A new text while it shows replaces the message, in the same alert.
        vm.setErrorMessage(message + QStringLiteral(" again"));
        QCOMPARE(alert->sheet(), sheet);
        QCOMPARE(sheet->message(), message + QStringLiteral(" again"));
        if (dismiss == "ok")
            sheet->defaultButton()->click();
        else
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTRY_VERIFY(!alert->isShown());
        QCOMPARE(vm.errorMessage(), std::nullopt);
    }

    // A sheet gets Escape before the run does.
    void escapeGoesToSheetFirst()
    {
        windowtest::WindowKit kit;
        QVERIFY(kit.show());
        glass::SheetOverlay *sheets = kit.window().content()->sheets();
        QSignalSpy rejected(sheets, &glass::SheetOverlay::rejected);
        sheets->open(new QLabel(QStringLiteral("sheet")));
        QVERIFY(sheets->isOpen());
        REQUIRE_CHILD(escape, window::EscapeDispatcher, &kit.window());
        QCOMPARE(escape->dispatch(), window::EscapeDispatcher::Outcome::sheet);
        QCOMPARE(rejected.size(), 1);
        QCOMPARE(escape->dispatch(), window::EscapeDispatcher::Outcome::nothing);
    }

    void unsavedWork_data()
    {
        QTest::addColumn<QString>("conversations");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QStringList>("named");
        QTest::newRow("both saved: nothing to ask") << "" << "" << QStringList{};
        QTest::newRow("conversations failed") << "write: No space left on device" << ""
                                              << QStringList{"conversations", "No space left on device"};
        QTest::newRow("settings failed") << "" << "create: Read-only file system"
                                         << QStringList{"settings", "Read-only file system"};
        QTest::newRow("both failed") << "a" << "b" << QStringList{"conversations could not be saved (a)", "settings could not be saved (b)"};
    }

    void unsavedWork()
    {
        QFETCH(QString, conversations);
        QFETCH(QString, settings);
        QFETCH(QStringList, named);
        const QString text = window::describeUnsavedWork(conversations, settings);
        QCOMPARE(text.isEmpty(), named.isEmpty());
        for (const QString &part : named)
            QVERIFY2(text.contains(part), qPrintable(text));
    }

    // The whole quit question, from a failed save in the store to the answer.
    void quitAsksAfterFailedSave()
    {
        windowtest::WindowKit kit;
        QVERIFY(kit.show());
        window::MainWindow &w = kit.window();
        model::ConversationStore &store = kit.vm().conversations();
        w.setUnsavedWork([&store] {
            store.flush();
            QCoreApplication::sendPostedEvents(&store, QEvent::MetaCall);
            return window::describeUnsavedWork(store.lastSaveFailure(), {});
        });
        QSignalSpy asked(&w, &window::MainWindow::quitQuestionShown);
        QSignalSpy closed(&w, &window::MainWindow::closedForGood);
        // The support folder's file turned into a folder: every save fails.
        QFile::remove(store.filePath());
        QVERIFY(QDir().mkpath(store.filePath() + QStringLiteral("/blocked")));
        store.newChat();
        w.close();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(closed.size(), 0);
        QDir(store.filePath()).removeRecursively();
        store.newChat(); // saves again, and succeeds
        w.close();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(closed.size(), 1);
    }

    void quitAsksWhenSaveFailed()
    {
        windowtest::WindowKit kit;
        QVERIFY(kit.show());
        window::MainWindow &w = kit.window();
        w.setUnsavedWork([] { return QStringLiteral("Conversations: disk full"); });
        QSignalSpy asked(&w, &window::MainWindow::quitQuestionShown);
        QSignalSpy closed(&w, &window::MainWindow::closedForGood);
        w.close();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(closed.size(), 0);
        QVERIFY(w.isVisible());
        auto *box = qobject_cast<glass::AlertSheet *>(asked.first().first().value<QWidget *>());
        QCOMPARE(box->title(), QStringLiteral("Quit Moonshelf Mac?"));
        QVERIFY(box->message().startsWith(QStringLiteral("Your latest changes are not saved.")));
        QVERIFY(box->message().contains(QStringLiteral("disk full")));
        QPushButton *cancel = nullptr, *quit = nullptr;
        for (QAbstractButton *b : box->buttons()) {
            if (b->text() == QStringLiteral("Cancel"))
                cancel = qobject_cast<QPushButton *>(b);
            if (b->text() == QStringLiteral("Quit Anyway"))
                quit = qobject_cast<QPushButton *>(b);
        }
        QVERIFY(cancel && quit);
        cancel->click();
        QTest::qWait(10);
        QCOMPARE(closed.size(), 0);
        QVERIFY(w.isVisible());
        w.close();
        QTRY_COMPARE(asked.size(), 2);
        box = qobject_cast<glass::AlertSheet *>(asked.last().first().value<QWidget *>());
        for (QAbstractButton *b : box->buttons()) {
            if (b->text() == QStringLiteral("Quit Anyway"))
                b->click();
        }
        QTRY_COMPARE(closed.size(), 1);
        QVERIFY(!w.isVisible());
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestWindowLayout)
#include "tst_window_layout.moc"
