#include "window/MainWindow.h"

#include "app/AppViewModel.h"
#include "glass/sheets/ButtonKeys.h"
#include "glass/controls/FocusInView.h"
#include "glass/controls/FocusRing.h"
#include "glass/sheets/FocusTrap.h"
#include "glass/look/Styles.h"
#include "glass/controls/TabStops.h"
#include "window/AboutPanel.h"
#include "window/ActionRegistry.h"
#include "window/ContentView.h"
#include "window/EscapeDispatcher.h"
#include "window/FramelessResize.h"
#include "window/QuitQuestion.h"
#include "window/SettingsHost.h"
#include "window/TitleStrip.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace window {

MainWindow::MainWindow(Services services, bool systemFrame, QWidget *parent)
    : QWidget(parent),
      m_app(services.app),
      m_styles(services.styles),
      m_desktop(services.desktop),
      m_systemFrame(systemFrame)
{
    setWindowTitle(title());
    setObjectName(QStringLiteral("mainWindow"));
    if (!m_systemFrame)
        setWindowFlag(Qt::FramelessWindowHint);
    setMinimumSize(minimumWindowSize());

    // Where the keyboard is shows in every window of the app.
    new glass::FocusRing(m_styles, this);
    // Return presses the button it is on, and whatever the keyboard reaches
    // is scrolled into view, in every window of the app.
    new glass::ButtonKeys(this);
    new glass::FocusInView(this);
    m_actions = new ActionRegistry(m_app, this);
    // Window actions: their keys work wherever the focus is in this window,
    // with or without the menu bar.
    addActions(m_actions->actions());
    m_menuBar = new QMenuBar;
    buildMenus();

    m_content = new ContentView({m_app, m_styles, services.skins, services.background}, *m_actions, m_menuBar,
                                !m_systemFrame, this);
    auto *fill = new QVBoxLayout(this);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(m_content);
    m_escape = new EscapeDispatcher(m_app, m_content->sheets(), this);
    m_escape->listenWhileIdle(this, m_actions->action(Command::stop));
    m_settings = new SettingsHost(m_app, m_styles, this);
    m_quitQuestion = new QuitQuestion(m_styles, this);
    m_content->addAlert(m_quitQuestion);
    connect(m_quitQuestion, &QuitQuestion::quitChosen, this, [this] {
        m_quitConfirmed = true;
        QTimer::singleShot(0, this, &QWidget::close);
    });

    connect(m_actions, &ActionRegistry::escapePressed, m_escape, [this] { m_escape->dispatch(); });
    connect(m_actions, &ActionRegistry::aboutRequested, this, &MainWindow::showAbout);
    connect(m_actions, &ActionRegistry::quitRequested, this, &QWidget::close);
    connect(m_settings, &SettingsHost::opened, this, &MainWindow::shareCommandsWith);
    connect(m_settings, &SettingsHost::closed, this, &MainWindow::takeKeyboardBack);
    // The palette opens here: asked for from another window, this one comes forward with it.
    connect(m_actions->action(Command::commandPalette), &QAction::triggered, this, [this] {
        if (!isActiveWindow()) {
            raise();
            activateWindow();
        }
    });

    placeDefault();
}

MainWindow::~MainWindow() = default;

bool MainWindow::systemFrameRequested()
{
    return qEnvironmentVariable("MOONSHELF_SYSTEM_FRAME") == QLatin1String("1");
}

void MainWindow::placeDefault()
{
    QSize size = defaultWindowSize();
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        resize(size);
        return;
    }
    const QRect available = screen->availableGeometry();
    size = size.boundedTo(available.size()).expandedTo(minimumWindowSize());
    QRect frame(QPoint(), size);
    frame.moveCenter(available.center());
    setGeometry(frame);
}

void MainWindow::buildMenus()
{
    QMenu *file = m_menuBar->addMenu(QStringLiteral("File"));
    const auto add = [this](QMenu *menu, Command c) { menu->addAction(m_actions->action(c)); };
    add(file, Command::newSession);
    add(file, Command::openProjectFolder);
    add(file, Command::exportSession);
    file->addSeparator();
    add(file, Command::commandPalette);
    add(file, Command::toggleSidebar);
    add(file, Command::toggleFiles);
    add(file, Command::toggleTools);
    file->addSeparator();
    add(file, Command::stop);
    file->addSeparator();
    add(file, Command::settings);
    file->addSeparator();
    add(file, Command::quit);
    QMenu *help = m_menuBar->addMenu(QStringLiteral("Help"));
    add(help, Command::about);
}

void MainWindow::shareCommandsWith(QWidget *other)
{
    // Their keys work there too; Escape stays the other window's own.
    for (QAction *a : m_actions->actions())
        if (a != m_actions->action(Command::stop))
            other->addAction(a);
}

void MainWindow::bringToFront()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void MainWindow::takeKeyboardBack()
{
    if (!isVisible())
        return;
    raise();
    activateWindow();
    // What had the keyboard here keeps it; when it is gone, the composer.
    if (!glass::FocusTrap::canTakeFocus(focusWidget()))
        if (QWidget *home = m_content->focusHome())
            home->setFocus(Qt::OtherFocusReason);
}

void MainWindow::showAbout()
{
    auto *panel = new AboutPanel(m_styles, m_app.tellingDesktop(), this);
    panel->setWindowModality(Qt::WindowModal);
    connect(panel, &QDialog::finished, this, &MainWindow::takeKeyboardBack);
    panel->open();
    emit aboutShown(panel);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    const QString lost = m_unsaved && !m_quitConfirmed ? m_unsaved() : QString();
    if (lost.isEmpty()) {
        event->accept();
        emit closedForGood();
        return;
    }
    event->ignore();
    if (m_quitQuestion->isAsked())
        return;
    m_quitQuestion->ask(lost);
    if (m_quitQuestion->sheet())
        emit quitQuestionShown(m_quitQuestion->sheet());
}

void MainWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange)
        m_content->titleStrip()->showMaximizedState(isMaximized());
    QWidget::changeEvent(event);
}

bool MainWindow::focusNextPrevChild(bool next)
{
    // Tab follows the window as it reads, whenever its views were made (a
    // sidebar shown again, rows laid out as they scroll in); Shift+Tab is
    // the same way back. Sheets and popovers keep their own round.
    QWidget *from = QApplication::focusWidget();
    if (!from || from->window() != this || !m_content->ordersTabFor(from))
        return QWidget::focusNextPrevChild(next);
    const QList<QWidget *> stops = m_content->tabStops();
    QWidget *at = from;
    while (at && at != this && !stops.contains(at))
        at = at->parentWidget(); // a control inside a stop (a card's preview)
    if (!at || at == this)
        return QWidget::focusNextPrevChild(next);
    QWidget *to = glass::TabStops::step(stops, at, next);
    if (!to)
        return QWidget::focusNextPrevChild(next);
    to->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

void MainWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_systemFrame && !m_resize && windowHandle())
        m_resize = new FramelessResize(windowHandle(), this);
}

} // namespace window
