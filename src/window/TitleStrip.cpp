#include "window/TitleStrip.h"

#include "app/AppViewModel.h"
#include "glass/paint/Backdrop.h"
#include "glass/stageview/StageBackground.h"
#include "glass/look/Styles.h"
#include "window/ActionRegistry.h"
#include "window/TitleButton.h"

#include <QHBoxLayout>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace window {

namespace {

constexpr qreal kOn = 0.72;
constexpr qreal kOff = 0.55;
constexpr qreal kStopIdle = 0.28;

QString withShortcut(const QString &text, const QAction *action)
{
    return QStringLiteral("%1 (%2)").arg(text, action->shortcut().toString(QKeySequence::NativeText));
}

} // namespace

TitleStrip::TitleStrip(app::AppViewModel &app, ActionRegistry &actions, glass::StyleStore &styles, QMenuBar *menuBar,
                       bool windowButtons, QWidget *parent)
    : QWidget(parent), m_app(app), m_actions(actions), m_styles(styles), m_menuBar(menuBar)
{
    setFixedHeight(kHeight);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(10, 4, 8, 4);
    row->setSpacing(2);

    const auto button = [this, row](const QString &symbol, Command command) {
        auto *b = new TitleButton(symbol, this);
        row->addWidget(b);
        if (command != Command::about) {
            QAction *action = m_actions.action(command);
            connect(b, &QAbstractButton::clicked, action, &QAction::trigger);
        }
        return b;
    };

    m_sidebar = button(QStringLiteral("sidebar.left"), Command::toggleSidebar);
    m_files = button(QStringLiteral("folder"), Command::toggleFiles);
    m_files->setToolTip(QStringLiteral("Files. Show or hide the project file tree."));
    // The symbols say nothing to a screen reader: each button is named, and
    // the three panel buttons say whether their panel is on.
    m_sidebar->setAccessibleName(QStringLiteral("Sidebar"));
    m_files->setAccessibleName(QStringLiteral("Files"));
    for (TitleButton *toggle : {m_sidebar, m_files})
        toggle->setCheckable(true);
    if (m_menuBar) {
        row->addSpacing(6);
        m_menuBar->setParent(this);
        m_menuBar->setNativeMenuBar(false);
        m_menuBar->setAutoFillBackground(false);
        m_menuBar->setAttribute(Qt::WA_TranslucentBackground);
        m_menuBar->installEventFilter(this);
        row->addWidget(m_menuBar, 0, Qt::AlignVCenter);
    }
    row->addStretch(1);

    m_stop = new TitleButton(QStringLiteral("stop.fill"), this);
    row->addWidget(m_stop);
    // The button stops; Escape goes through the window's dispatcher instead.
    connect(m_stop, &QAbstractButton::clicked, &m_app, &app::AppViewModel::stop);
    m_stop->setToolTip(QStringLiteral("Stop. Cancel Qirv mid-response or mid-tool run."));
    m_stop->setAccessibleName(QStringLiteral("Stop"));
    m_toolLog = button(QStringLiteral("wrench.and.screwdriver"), Command::toggleTools);
    m_toolLog->setToolTip(QStringLiteral("Tools. Show or hide the tool log."));
    m_toolLog->setAccessibleName(QStringLiteral("Tools"));
    m_toolLog->setCheckable(true);
    m_export = button(QStringLiteral("square.and.arrow.up"), Command::exportSession);
    m_export->setToolTip(QStringLiteral("Export session as Markdown"));
    m_export->setAccessibleName(QStringLiteral("Export session as Markdown"));
    m_openFolder = button(QStringLiteral("folder.badge.plus"), Command::openProjectFolder);
    m_openFolder->setToolTip(QStringLiteral("Open project folder"));
    m_openFolder->setAccessibleName(QStringLiteral("Open project folder"));
    m_newSession = button(QStringLiteral("plus"), Command::newSession);
    m_newSession->setToolTip(withShortcut(QStringLiteral("New Session"), m_actions.action(Command::newSession)));
    m_newSession->setAccessibleName(QStringLiteral("New Session"));
    m_export->setOpacity(kOff);
    m_openFolder->setOpacity(kOff);
    m_newSession->setOpacity(kOff);

    if (windowButtons) {
        row->addSpacing(10);
        m_minimize = new TitleButton(QStringLiteral("window.minimize"), this);
        m_minimize->setToolTip(QStringLiteral("Minimize"));
        m_minimize->setAccessibleName(QStringLiteral("Minimize"));
        m_maximize = new TitleButton(QStringLiteral("window.maximize"), this);
        m_maximize->setToolTip(QStringLiteral("Maximize"));
        m_maximize->setAccessibleName(QStringLiteral("Maximize"));
        m_close = new TitleButton(QStringLiteral("window.close"), this);
        m_close->setToolTip(QStringLiteral("Close"));
        m_close->setAccessibleName(QStringLiteral("Close"));
        m_close->setDestructiveHover(true);
        for (TitleButton *b : {m_minimize, m_maximize, m_close}) {
            b->setOpacity(kOn);
            row->addWidget(b);
        }
        connect(m_minimize, &QAbstractButton::clicked, this, [this] { window()->showMinimized(); });
        connect(m_maximize, &QAbstractButton::clicked, this, &TitleStrip::toggleMaximized);
        connect(m_close, &QAbstractButton::clicked, this, [this] { window()->close(); });
    }

    using VM = app::AppViewModel;
    for (auto signal : {&VM::showSidebarChanged, &VM::shownPanelsChanged, &VM::isRunningChanged})
        connect(&m_app, signal, this, &TitleStrip::refresh);
    connect(&m_styles, &glass::StyleStore::changed, this, &TitleStrip::applyStyles);
    applyStyles();
    refresh();
}

void TitleStrip::refresh()
{
    const bool sidebar = m_app.showSidebar();
    m_sidebar->setSymbol(sidebar ? QStringLiteral("sidebar.left") : QStringLiteral("sidebar.right"));
    m_sidebar->setOpacity(sidebar ? kOn : kOff);
    m_sidebar->setChecked(sidebar);
    m_sidebar->setToolTip(withShortcut(sidebar ? QStringLiteral("Hide Sidebar") : QStringLiteral("Show Sidebar"),
                                       m_actions.action(Command::toggleSidebar)));

    const bool files = m_app.projectPanelShown();
    m_files->setSymbol(files ? QStringLiteral("folder.fill") : QStringLiteral("folder"));
    m_files->setOpacity(files ? kOn : kOff);
    m_files->setChecked(files);

    const bool running = m_app.isRunning();
    m_stop->setEnabled(running);
    m_stop->setOpacity(running ? kOn : kStopIdle);

    const bool tools = m_app.toolLogShown();
    m_toolLog->setSymbol(tools ? QStringLiteral("wrench.and.screwdriver.fill") : QStringLiteral("wrench.and.screwdriver"));
    m_toolLog->setOpacity(tools ? kOn : kOff);
    m_toolLog->setChecked(tools);
}

void TitleStrip::applyStyles()
{
    const glass::Styles &s = m_styles.styles();
    for (TitleButton *b : findChildren<TitleButton *>())
        b->setColor(s.text);
    if (m_menuBar) {
        QFont font = s.body.font;
        m_menuBar->setFont(font);
        QPalette palette = m_menuBar->palette();
        palette.setColor(QPalette::Window, Qt::transparent);
        palette.setColor(QPalette::Button, Qt::transparent);
        palette.setColor(QPalette::ButtonText, s.text);
        palette.setColor(QPalette::WindowText, s.text);
        m_menuBar->setPalette(palette);
    }
}

qreal TitleStrip::shadeFor(qreal stage, qreal base)
{
    // The text colours are made for the skin's own background; the further
    // the stage strays from it, the more of that background goes under the
    // strip (at most 0.85, so the stage still shows through).
    return qBound<qreal>(0, (qAbs(stage - base) - 0.08) * 1.8, 0.85);
}

void TitleStrip::watchStage(glass::StageBackground *stage)
{
    connect(stage, &glass::StageBackground::backdropChanged, this, &TitleStrip::measureStage);
    measureStage();
}

void TitleStrip::measureStage()
{
    const glass::BackdropLocation where = glass::locateBackdrop(this);
    if (!where.provider)
        return;
    const glass::BackdropFrame &frame = where.provider->backdropFrame();
    // The stage under the strip, small: only its mean brightness matters.
    constexpr int kScale = 8;
    QImage sample(qMax(1, width() / kScale), qMax(1, height() / kScale), QImage::Format_RGB32);
    sample.fill(frame.base);
    {
        QPainter p(&sample);
        p.scale(1.0 / kScale, 1.0 / kScale);
        glass::paintBackdrop(p, frame, where.origin, QRectF(rect()));
    }
    qreal sum = 0;
    for (int y = 0; y < sample.height(); ++y)
        for (int x = 0; x < sample.width(); ++x)
            sum += qGray(sample.pixel(x, y)) / 255.0;
    const qreal stage = sum / (sample.width() * sample.height());
    const qreal base = qGray(frame.base.rgb()) / 255.0;
    const qreal shade = shadeFor(stage, base);
    if (qAbs(shade - m_shade) < 0.01)
        return;
    m_shade = shade;
    update();
}

void TitleStrip::paintEvent(QPaintEvent *)
{
    if (m_shade <= 0)
        return;
    QPainter p(this);
    QColor top = glass::locateBackdrop(this).provider ? glass::locateBackdrop(this).provider->backdropFrame().base
                                                      : QColor(Qt::black);
    // Full behind the controls, thinning towards the stage below.
    QColor middle = top, bottom = top;
    top.setAlphaF(float(m_shade));
    middle.setAlphaF(float(m_shade * 0.92));
    bottom.setAlphaF(float(m_shade * 0.45));
    QLinearGradient fill(0, 0, 0, height());
    fill.setColorAt(0, top);
    fill.setColorAt(0.7, middle);
    fill.setColorAt(1, bottom);
    p.fillRect(rect(), fill);
}

void TitleStrip::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    measureStage();
}

void TitleStrip::toggleMaximized()
{
    QWidget *w = window();
    if (w->isMaximized())
        w->showNormal();
    else
        w->showMaximized();
}

void TitleStrip::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && window()->windowHandle()) {
        if (window()->windowHandle()->startSystemMove()) {
            event->accept();
            return;
        }
    }
    QWidget::mousePressEvent(event);
}

void TitleStrip::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_maximize) {
        toggleMaximized();
        event->accept();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void TitleStrip::showMaximizedState(bool maximized)
{
    if (!m_maximize)
        return;
    m_maximize->setSymbol(maximized ? QStringLiteral("window.restore") : QStringLiteral("window.maximize"));
    m_maximize->setToolTip(maximized ? QStringLiteral("Restore") : QStringLiteral("Maximize"));
    m_maximize->setAccessibleName(m_maximize->toolTip());
}

bool TitleStrip::eventFilter(QObject *watched, QEvent *event)
{
    // The menu bar's empty part drags the window like the rest of the strip.
    if (watched == m_menuBar && event->type() == QEvent::MouseButtonPress) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && !m_menuBar->actionAt(mouse->position().toPoint())
            && window()->windowHandle() && window()->windowHandle()->startSystemMove())
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace window
