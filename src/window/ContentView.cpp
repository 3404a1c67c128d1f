#include "window/ContentView.h"

#include "app/AppViewModel.h"
#include "chat/ChatView.h"
#include "chat/composer/ComposerBar.h"
#include "chat/composer/ComposerField.h"
#include "glass/sheets/AlertSheet.h"
#include "glass/look/Motion.h"
#include "glass/controls/StyledButton.h"
#include "glass/sheets/SheetOverlay.h"
#include "glass/stageview/StageBackground.h"
#include "glass/look/Styles.h"
#include "glass/controls/TabStops.h"
#include "palette/CommandPaletteView.h"
#include "settings/OnboardingSheet.h"
#include "window/ActionRegistry.h"
#include "panels/FilePeekView.h"
#include "panels/FileTreeView.h"
#include "panels/SidebarView.h"
#include "panels/ToolLogView.h"
#include "window/ErrorAlert.h"
#include "window/PanelSlot.h"
#include "window/TitleStrip.h"

#include <QHBoxLayout>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QVBoxLayout>

#include <array>
#include <cmath>

namespace window {

namespace {

// The line right of the sidebar: white at 0.14, again at 0.65.
QColor sidebarLine()
{
    return QColor::fromRgbF(1, 1, 1, 0.14f * 0.65f);
}

} // namespace

ContentView::ContentView(Stores stores, ActionRegistry &actions, QMenuBar *menuBar, bool windowButtons, QWidget *parent)
    : QWidget(parent), m_app(stores.app), m_styles(stores.styles)
{
    m_stage = new glass::StageBackground(stores.background, stores.styles, this);
    m_stage->setObjectName(QStringLiteral("stage"));
    m_stage->lower();

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_titleStrip = new TitleStrip(m_app, actions, m_styles, menuBar, windowButtons, this);
    column->addWidget(m_titleStrip);
    m_titleStrip->watchStage(m_stage);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    column->addLayout(row, 1);

    m_sidebar = new PanelSlot(QStringLiteral("sidebar"), kSidebarWidth, this);
    m_sidebar->setEdgeLine(Qt::RightEdge, sidebarLine());
    m_sidebar->setMotion(kSidebarMs, glass::Motion::easeInOut());
    m_fileTree = new PanelSlot(QStringLiteral("fileTree"), kFileTreeWidth, this);
    m_toolLog = new PanelSlot(QStringLiteral("toolLog"), kToolLogWidth, this);

    auto *chatColumn = new QVBoxLayout;
    chatColumn->setContentsMargins(0, 0, 0, 0);
    chatColumn->setSpacing(0);
    m_peek = new PanelSlot(QStringLiteral("filePeek"), 0, this);
    m_peek->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_chat = new PanelSlot(QStringLiteral("chat"), 0, this);
    chatColumn->addWidget(m_peek);
    chatColumn->addWidget(m_chat, 1);
    m_peek->setMotion(kPeekMs, glass::Motion::easeOut());
    m_peek->setOverlaid(m_chat);

    row->addWidget(m_sidebar);
    row->addWidget(m_fileTree);
    row->addLayout(chatColumn, 1);
    row->addWidget(m_toolLog);

    m_sheets = new glass::SheetOverlay(this, m_styles);
    m_sheets->setFocusHome([this] { return focusHome(); });
    m_alert = new ErrorAlert(m_app, m_styles, this);
    addAlert(m_alert);

    m_commandActions = actions.actions();
    // The side panels come in once syncPanels() below finds them wanted: a
    // slot present while its view is plugged in makes that view at once,
    // only for it to be dropped again when the panel is closed.
    for (PanelSlot *slot : {m_fileTree, m_toolLog, m_peek})
        slot->setPresent(false);
    plugViews();

    using VM = app::AppViewModel;
    connect(&m_app, &VM::showSidebarChanged, this, [this] { syncPanels(true); });
    // The panel opened last is the last to step aside for the chat.
    connect(&m_app, &VM::showProjectPanelChanged, this, [this] {
        if (m_app.showProjectPanel())
            m_toolLogStepsAsideFirst = true;
        syncPanels(false);
    });
    // Asked for while it stands aside (a reveal, its toggle), a panel comes forward.
    connect(&m_app, &VM::fileTreeRequested, this, [this] {
        m_toolLogStepsAsideFirst = true;
        syncPanels(false);
    });
    connect(&m_app, &VM::toolLogRequested, this, [this] {
        m_toolLogStepsAsideFirst = false;
        syncPanels(false);
    });
    connect(&m_app, &VM::showToolLogChanged, this, [this] {
        if (m_app.showToolLog())
            m_toolLogStepsAsideFirst = false;
        syncPanels(false);
    });
    // The sidebar holds its room until it is gone; then the panels may come back.
    connect(m_sidebar, &PanelSlot::presenceSettled, this, [this] {
        m_besideSidebar = {};
        fitSidePanels();
    });
    connect(m_sidebar, &PanelSlot::progressChanged, this, &ContentView::followSidebar);
    connect(&m_app, &VM::peekedFileChanged, this, [this] { syncPanels(false); });
    // A new session is for writing in: the keyboard goes to its composer,
    // from wherever it was (a title-bar button would take the next space).
    // An open sheet keeps it; another window gets it back when it leaves.
    connect(&m_app, &VM::newChatStarted, this, [this] {
        if (QWidget *home = focusHome())
            home->setFocus(Qt::OtherFocusReason);
    });
    connect(&m_app, &VM::showOnboardingChanged, this, &ContentView::syncSheets);
    connect(&m_app, &VM::showCommandPaletteChanged, this, &ContentView::syncSheets);
    connect(m_sheets, &glass::SheetOverlay::closed, this, [this] {
        // A sheet closed by its own means (Escape, its buttons) lowers its flag.
        const Sheet was = std::exchange(m_openSheet, Sheet::none);
        if (was == Sheet::onboarding)
            m_app.setShowOnboarding(false);
        else if (was == Sheet::palette)
            m_app.setShowCommandPalette(false);
        else if (was == Sheet::alert)
            std::exchange(m_openAlert, nullptr)->dismissed();
        syncSheets();
    });
    connect(&m_styles, &glass::StyleStore::changed, this, &ContentView::applyStyles);
    applyStyles();
    syncPanels(false);
    syncSheets();
}

void ContentView::plugViews()
{
    // Each view is plugged in here by one line; a slot without one is laid
    // out and stays empty over the stage.
    m_sidebar->setFactory([this](QWidget *p) {
        auto *sidebar = new panels::SidebarView(m_app, m_styles, p);
        sidebar->setSheets(m_sheets);
        return sidebar;
    });
    m_fileTree->setFactory([this](QWidget *p) { return new panels::FileTreeView(m_app, m_styles, p); });
    m_toolLog->setFactory([this](QWidget *p) { return new panels::ToolLogView(m_app, m_styles, p); });
    m_peek->setFactory([this](QWidget *p) { return new panels::FilePeekView(m_app, m_styles, p); });
    m_chat->setFactory([this](QWidget *p) { return new chat::ChatView(m_app, m_styles, p); });
    m_onboardingSheet = [this](QWidget *p) { return new settings::OnboardingSheet(m_app, m_styles, p); };
    m_paletteSheet = [this](QWidget *p) {
        return new palette::CommandPaletteView(m_app, m_styles, m_commandActions, p);
    };
}

QWidget *ContentView::focusHome() const
{
    auto *chat = qobject_cast<chat::ChatView *>(m_chat->view());
    return chat ? chat->composer()->field() : nullptr;
}

QList<QWidget *> ContentView::tabStops() const
{
    QList<QWidget *> stops = glass::TabStops::readingOrder(m_titleStrip);
    for (PanelSlot *slot : {m_sidebar, m_fileTree, m_peek, m_chat, m_toolLog}) {
        if (auto *chat = qobject_cast<chat::ChatView *>(slot->view()))
            stops << chat->tabStops();
        else
            stops << glass::TabStops::readingOrder(slot);
    }
    return stops;
}

bool ContentView::ordersTabFor(const QWidget *w) const
{
    for (const QWidget *place : {static_cast<const QWidget *>(m_titleStrip), static_cast<const QWidget *>(m_sidebar),
                                 static_cast<const QWidget *>(m_fileTree), static_cast<const QWidget *>(m_peek),
                                 static_cast<const QWidget *>(m_chat), static_cast<const QWidget *>(m_toolLog)})
        if (w && (w == place || place->isAncestorOf(w)))
            return true;
    return false;
}

void ContentView::applyStyles()
{
    const QColor border = glass::QirvTheme::color(m_styles.styles().skin.colors.border);
    m_fileTree->setEdgeLine(Qt::RightEdge, border);
    m_toolLog->setEdgeLine(Qt::LeftEdge, border);
}

void ContentView::syncPanels(bool animateSidebar)
{
    const bool motion = isVisible() && !m_styles.reduceMotion();
    // A sidebar that comes takes its room at once: the panels beside step
    // aside first, so the chat is laid out once for both.
    if (m_app.showSidebar())
        fitSidePanels();
    m_sidebar->setPresent(m_app.showSidebar(), animateSidebar && motion);
    fitSidePanels();
    m_peek->setPresent(m_app.peekedFile().has_value() && m_peek->hasFactory(), motion);
}

void ContentView::followSidebar(double progress)
{
    // The room is taken at once and given back once the sidebar is gone, so
    // the chat is laid out once per slide; meanwhile what stands beside it
    // is moved with it (the file tree by the whole slide, the centred chat
    // column by half), so nothing jumps when the room changes hands.
    const int shift = -int(std::lround((1 - progress) * m_sidebar->width()));
    const auto follow = [](QWidget *w, Shift &kept, int by) {
        if (w->x() != kept.placedX) // laid out anew since: that is where it stands
            kept.applied = 0;
        w->move(w->x() - kept.applied + by, w->y());
        kept.applied = by;
        kept.placedX = w->x();
    };
    follow(m_fileTree, m_besideSidebar.fileTree, shift);
    follow(m_peek, m_besideSidebar.peek, shift / 2);
    follow(m_chat, m_besideSidebar.chat, shift / 2);
}

void ContentView::fitSidePanels()
{
    const Room room = roomForPanels();
    m_fileTree->setPresent(room.fileTree);
    m_toolLog->setPresent(room.toolLog);
    m_app.setPanelsAside(m_app.showProjectPanel() && !room.fileTree, m_app.showToolLog() && !room.toolLog);
}

ContentView::Room ContentView::roomForPanels() const
{
    // Which of the panels the person keeps open fit beside a readable chat,
    // stepping aside one by one; their stored choice stays as it is.
    Room room{m_app.showProjectPanel(), m_app.showToolLog()};
    const bool sidebarRoom = m_app.showSidebar() || m_sidebar->isAnimating();
    const int rest = width() - (sidebarRoom ? kSidebarWidth + 1 : 0);
    const auto chat = [&] {
        return rest - (room.fileTree ? kFileTreeWidth + 1 : 0) - (room.toolLog ? kToolLogWidth + 1 : 0);
    };
    for (bool *panel : m_toolLogStepsAsideFirst ? std::array{&room.toolLog, &room.fileTree}
                                                : std::array{&room.fileTree, &room.toolLog}) {
        if (chat() >= kMinChatWidth)
            break;
        *panel = false;
    }
    return room;
}

void ContentView::addAlert(WindowAlert *alert)
{
    m_alerts.prepend(alert);
    connect(alert, &WindowAlert::wantedChanged, this, &ContentView::syncSheets);
    syncSheets();
}

void ContentView::syncSheets()
{
    // Closing a sheet below calls back here (closed()); this call finishes the job.
    if (m_syncingSheets)
        return;
    const QScopedValueRollback guard(m_syncingSheets, true);
    // An alert first, then onboarding: the palette waits behind it. A sheet
    // whose view is not plugged in does not open (an empty sheet would only
    // be in the way).
    Sheet wanted = Sheet::none;
    WindowAlert *alert = nullptr;
    for (WindowAlert *a : std::as_const(m_alerts)) {
        if (a->wanted()) {
            alert = a;
            break;
        }
    }
    if (alert)
        wanted = Sheet::alert;
    else if (m_app.showOnboarding() && m_onboardingSheet)
        wanted = Sheet::onboarding;
    else if (m_app.showCommandPalette() && m_paletteSheet)
        wanted = Sheet::palette;
    if (wanted == m_openSheet && alert == m_openAlert)
        return;
    // An alert that waits lets a view's own sheet (a rename) finish first.
    if (alert && m_openSheet == Sheet::none && m_sheets->isOpen() && alert->waitsForOtherSheets())
        return;
    if (m_openSheet != Sheet::none) {
        m_openSheet = Sheet::none; // closed() must not lower the flag that is still up
        m_openAlert = nullptr;
        m_sheets->close();
    }
    if (wanted == Sheet::none)
        return;
    QWidget *content = nullptr;
    QWidget *entry = nullptr;
    if (alert) {
        glass::AlertSheet *sheet = alert->makeSheet();
        content = sheet;
        entry = sheet->defaultButton();
    } else {
        content = (wanted == Sheet::onboarding ? m_onboardingSheet : m_paletteSheet)(nullptr);
    }
    if (!content)
        return;
    // A sheet opened by a view (a rename) goes first, while no flag stands
    // for the open sheet: its closing must not lower the flag of this one.
    m_sheets->close();
    m_openSheet = wanted;
    m_openAlert = alert;
    m_sheets->open(content, entry);
}

void ContentView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (event->size().width() != event->oldSize().width())
        syncPanels(false);
    m_stage->setGeometry(rect());
    m_sheets->setGeometry(rect());
}

} // namespace window
