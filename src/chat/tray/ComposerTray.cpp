#include "chat/tray/ComposerTray.h"

#include "app/AppViewModel.h"
#include "chat/tray/ModelPicker.h"
#include "chat/tray/ProjectChip.h"
#include "chat/tray/SkinPalette.h"
#include "chat/tray/ToolGuardChip.h"
#include "chat/tray/TrayChips.h"
#include "chat/tray/TrayPopoverHost.h"
#include "glass/look/QirvTheme.h"
#include "glass/look/Styles.h"
#include "glass/stageview/WallpaperExpandedPanel.h"
#include "model/ModelCatalog.h"
#include "model/SettingsStore.h"
#include "stage/BackgroundSettings.h"

#include <QBoxLayout>
#include <QDir>
#include <QKeySequence>
#include <QShortcut>
#include <QTimer>
#include <QVariantAnimation>

namespace chat {

namespace {

const QKeySequence &sendShortcut()
{
    static const QKeySequence keys(Qt::CTRL | Qt::Key_Return);
    return keys;
}

} // namespace

ComposerTray::ComposerTray(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent), m_app(app), m_styles(styles)
{
    setObjectName(QStringLiteral("composerTray"));
    setAttribute(Qt::WA_NoSystemBackground);
    setFixedHeight(26); // the round buttons; the chips are a little lower
    m_host = new TrayPopoverHost(styles, this);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto *left = new QHBoxLayout;
    left->setSpacing(10);
    auto *right = new QHBoxLayout;
    right->setSpacing(10);
    row->addLayout(left);
    row->addSpacing(12);
    row->addStretch(1);
    row->addLayout(right);

    m_project = new ContextChip(styles, this);
    m_project->setObjectName(QStringLiteral("projectChip"));
    // A folder name is the one title nobody keeps short: cut in the middle
    // so the buttons on the right stay on the card.
    m_project->setMaximumTitleWidth(kProjectTitleWidth);
    m_guard = new ContextChip(styles, this);
    m_guard->setObjectName(QStringLiteral("toolGuardChip"));
    m_guard->setText(QStringLiteral("Permissions"));
    m_model = new ContextChip(styles, this);
    m_model->setObjectName(QStringLiteral("modelChip"));
    m_model->setSymbol(QStringLiteral("cpu"));
    for (ContextChip *chip : {m_project, m_guard, m_model})
        left->addWidget(chip, 0, Qt::AlignVCenter);

    auto button = [&](const char *name) {
        auto *b = new TrayIconButton(styles, this);
        b->setObjectName(QLatin1String(name));
        right->addWidget(b, 0, Qt::AlignVCenter);
        return b;
    };
    m_skin = button("skinButton");
    m_skin->setSymbol(QStringLiteral("paintpalette.fill"));
    m_skin->setToolTip(QStringLiteral("UI skin. Recolor chrome (bg / elevated / accent). Fonts stay put for now."));
    m_eye = button("wallpaperToggle");
    m_wallpaper = button("wallpaperButton");
    m_mic = button("micButton");
    // Symbols say nothing to a screen reader: each button is named, and the
    // toggles say whether they are on.
    m_skin->setAccessibleName(QStringLiteral("UI skin"));
    // A toggle's name stays; whether it is on is its state, and its
    // description says what pressing it does.
    m_eye->setAccessibleName(QStringLiteral("Background image / video"));
    m_wallpaper->setAccessibleName(QStringLiteral("Image"));
    m_mic->setAccessibleName(QStringLiteral("Speak"));
    for (TrayIconButton *toggle : {m_skin, m_eye, m_wallpaper, m_mic})
        toggle->setCheckable(true);
    m_send = button("sendButton");
    m_send->setSymbol(QStringLiteral("arrow.up"));
    m_send->setSymbolPixelSize(12);
    // Ctrl+Return anywhere in the window is the send button, acting at once
    // (a button's own shortcut clicks only after its press animation).
    auto *sendKeys = new QShortcut(sendShortcut(), this);
    connect(sendKeys, &QShortcut::activated, m_send, [this] {
        if (m_send->isEnabled())
            m_send->click();
    });
    m_stop = button("stopButton");
    m_stop->setSymbol(QStringLiteral("stop.fill"));
    m_stop->setToolTip(QStringLiteral("Stop. Cancel Qirv mid-response or mid-tool run."));
    m_stop->setAccessibleName(QStringLiteral("Stop run")); // the title bar's is "Stop"

    for (QWidget *anchor : {static_cast<QWidget *>(m_project), static_cast<QWidget *>(m_guard),
                            static_cast<QWidget *>(m_model), static_cast<QWidget *>(m_skin),
                            static_cast<QWidget *>(m_wallpaper)})
        m_host->addAnchor(anchor);

    // Actions.
    connect(m_project, &QAbstractButton::clicked, this, &ComposerTray::onProjectChip);
    connect(m_guard, &QAbstractButton::clicked, this, [this] { toggle(TrayPopover::permissions); });
    connect(m_model, &QAbstractButton::clicked, this, [this] { toggle(TrayPopover::model); });
    connect(m_skin, &QAbstractButton::clicked, this, [this] { toggle(TrayPopover::skin); });
    connect(m_eye, &QAbstractButton::clicked, this, [this] {
        stage::BackgroundSettings &bg = m_app.background();
        bg.setIsEnabled(!bg.isEnabled());
        if (bg.isEnabled())
            bg.reloadImage();
    });
    connect(m_wallpaper, &QAbstractButton::clicked, this, [this] { setWallpaperExpanded(!m_wallpaperExpanded); });
    connect(m_mic, &QAbstractButton::clicked, this, [this] { m_app.toggleDictation(m_draftReader); });
    connect(m_send, &QAbstractButton::clicked, this, [this] {
        m_app.stopDictation();
        m_app.send();
    });
    connect(m_stop, &QAbstractButton::clicked, this, [this] { m_app.stop(); });
    connect(m_host, &TrayPopoverHost::closed, this, &ComposerTray::onPopoverClosed);

    // What the looks follow.
    connect(&styles, &glass::StyleStore::changed, this, &ComposerTray::refresh);
    connect(&app.settingsStore(), &model::SettingsStore::settingsChanged, this, [this] {
        refreshChips();
        // The settings window changed what an open popover ticks: draw it again.
        if (m_popover == TrayPopover::permissions || m_popover == TrayPopover::model)
            showOpen();
    });
    connect(&app, &app::AppViewModel::projectRootChanged, this, &ComposerTray::refreshChips);
    connect(&app, &app::AppViewModel::shownPanelsChanged, this, &ComposerTray::refreshChips);
    connect(&app.background(), &stage::BackgroundSettings::isEnabledChanged, this, &ComposerTray::refreshButtons);
    connect(&app, &app::AppViewModel::isDictatingChanged, this, &ComposerTray::refreshButtons);
    connect(&app, &app::AppViewModel::isRunningChanged, this, &ComposerTray::refreshSend);
    connect(&app, &app::AppViewModel::draftChanged, this, &ComposerTray::refreshSend);
    connect(&app, &app::AppViewModel::attachmentsChanged, this, &ComposerTray::refreshSend);

    // The glow fades once, from a little after the pane first shows.
    m_glow = new QVariantAnimation(this);
    m_glow->setStartValue(1.0);
    m_glow->setEndValue(0.0);
    m_glow->setDuration(2400);
    m_glow->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_glow, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { setIntroGlow(value.toDouble()); });

    refresh();
}

ComposerTray::~ComposerTray()
{
    // The popover lives in the window, not in the tray: it goes with us.
    disconnect(m_host, nullptr, this, nullptr);
    m_host->close();
}

void ComposerTray::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_glowStarted)
        return;
    m_glowStarted = true;
    setIntroGlow(1.0);
    QTimer::singleShot(550, m_glow, [glow = m_glow] { glow->start(); });
}

void ComposerTray::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // The popover lies in the window, not in the tray: it must not outlive the row on screen.
    if (m_popover || m_wallpaperExpanded)
        setTrayPopover(std::nullopt);
}

void ComposerTray::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitRow();
}

// A narrow column (side panels open) keeps the row on the card: the chips
// shrink to their symbols, then the wallpaper's two buttons and the skin
// palette give way, in that order. The mic, send and stop always stay.
void ComposerTray::fitRow()
{
    constexpr int kGap = 10;
    constexpr int kButton = 26;
    int chips = 2 * kGap + 12;
    for (ContextChip *chip : {m_project, m_guard, m_model})
        chips += chip->minimumSizeHint().width();
    const int kept = m_app.isRunning() ? 3 : 2;
    const int room = width() - chips;
    TrayIconButton *const optional[] = {m_skin, m_eye, m_wallpaper};
    int shown = 3;
    while (shown > 0 && (kept + shown) * kButton + (kept + shown - 1) * kGap > room)
        --shown;
    for (int i = 0; i < 3; ++i)
        optional[i]->setVisible(i < shown);
    // What a hidden button opened has nothing left to hang from.
    if ((m_wallpaperExpanded && shown < 3) || (m_popover == TrayPopover::skin && shown < 1))
        setTrayPopover(std::nullopt);
}

void ComposerTray::setIntroGlow(double glow)
{
    m_introGlow = glow;
    refreshChips();
}

bool ComposerTray::canCompose() const
{
    return !m_app.draft().trimmed().isEmpty() || !m_app.attachments().isEmpty();
}


// ---- popovers

void ComposerTray::toggle(TrayPopover popover)
{
    setTrayPopover(m_popover == popover ? std::nullopt : std::optional<TrayPopover>(popover));
}

void ComposerTray::setTrayPopover(std::optional<TrayPopover> popover)
{
    m_popover = popover;
    m_wallpaperExpanded = false;
    showOpen();
}

void ComposerTray::setWallpaperExpanded(bool expanded)
{
    m_wallpaperExpanded = expanded;
    if (expanded)
        m_popover.reset();
    showOpen();
}

void ComposerTray::showOpen()
{
    if (m_popover) {
        QWidget *anchor = *m_popover == TrayPopover::project       ? static_cast<QWidget *>(m_project)
                          : *m_popover == TrayPopover::permissions ? static_cast<QWidget *>(m_guard)
                          : *m_popover == TrayPopover::model       ? static_cast<QWidget *>(m_model)
                                                                   : static_cast<QWidget *>(m_skin);
        QWidget *content = makePopover(*m_popover);
        m_host->open(anchor, content, true, TrayPopoverHost::choiceInUse(content));
    } else if (m_wallpaperExpanded) {
        // Made where it will lie (its glass and shadow go beside it there);
        // it draws its own glass.
        auto *panel =
            new glass::WallpaperExpandedPanel(m_app.background(), m_styles, TrayPopoverHost::overlayParent(m_wallpaper));
        panel->setObjectName(QStringLiteral("wallpaperPopover"));
        connect(panel, &glass::WallpaperExpandedPanel::expandedChanged, this, [this](bool on) {
            if (!on)
                setWallpaperExpanded(false);
        });
        m_host->open(m_wallpaper, panel, false);
    } else if (m_host->isOpen()) {
        m_host->close();
    }
    refresh();
}

QWidget *ComposerTray::makePopover(TrayPopover popover)
{
    // Made where they will lie, so their glass finds the stage.
    QWidget *parent = TrayPopoverHost::overlayParent(m_project);
    switch (popover) {
    case TrayPopover::project: {
        auto *content = new ProjectPopover(m_app.projectPanelShown(), m_styles, parent);
        connect(content, &ProjectPopover::toggleFilesRequested, this, [this] {
            setTrayPopover(std::nullopt);
            m_app.toggleProjectPanel();
        });
        connect(content, &ProjectPopover::revealRequested, this, [this] {
            setTrayPopover(std::nullopt);
            m_app.revealProjectInFinder();
        });
        connect(content, &ProjectPopover::terminalRequested, this, [this] {
            setTrayPopover(std::nullopt);
            m_app.openProjectInTerminal();
        });
        connect(content, &ProjectPopover::changeProjectRequested, this, [this] {
            setTrayPopover(std::nullopt);
            m_app.pickProjectFolder();
        });
        return content;
    }
    case TrayPopover::permissions: {
        auto *content = new ToolGuardPopover(m_app.settingsStore().settings().effectiveToolGuardMode(), m_styles, parent);
        connect(content, &ToolGuardPopover::chosen, this, [this](model::ToolGuardMode mode) {
            setTrayPopover(std::nullopt);
            m_app.setToolGuard(mode);
        });
        return content;
    }
    case TrayPopover::model: {
        auto *content = new ModelPickerPopover(m_app.settingsStore().settings().model, m_styles, parent);
        connect(content, &ModelPickerPopover::modelChosen, this, [this](const QString &id) {
            setTrayPopover(std::nullopt);
            model::AppSettings settings = m_app.settingsStore().settings();
            settings.model = id;
            m_app.settingsStore().setSettings(settings);
        });
        connect(content, &ModelPickerPopover::customRequested, this, [this] {
            m_app.openSettings(app::SettingsSection::model);
            setTrayPopover(std::nullopt);
        });
        return content;
    }
    case TrayPopover::skin:
        return new SkinPalettePopover(m_styles, parent);
    }
    return nullptr;
}

void ComposerTray::onPopoverClosed()
{
    // Closed from outside (a press elsewhere, Escape): nothing is open now.
    m_popover.reset();
    m_wallpaperExpanded = false;
    refresh();
}

void ComposerTray::onProjectChip()
{
    if (m_app.projectRootPath().isEmpty()) {
        // No project: the chip opens the folder picker at once.
        setTrayPopover(std::nullopt);
        m_app.pickProjectFolder();
        return;
    }
    toggle(TrayPopover::project);
}

// ---- looks

void ComposerTray::refresh()
{
    refreshChips();
    refreshButtons();
    refreshSend();
}

void ComposerTray::refreshChips()
{
    const QString root = m_app.projectRootPath();
    const ProjectChipLook project =
        projectChipLook(root.isEmpty() ? std::nullopt : std::optional<QString>(root), m_app.projectPanelShown());
    m_project->setText(project.title);
    m_project->setSymbol(project.symbol);
    m_project->setToolTip(plainToolTip(project.tooltip));
    // A reader hears what each chip is about, not its title alone.
    m_project->setAccessibleName(root.isEmpty() ? project.title
                                                : QStringLiteral("Project: ") + QDir(root).dirName());
    m_project->setLook(false, m_introGlow, false);

    const model::AppSettings &settings = m_app.settingsStore().settings();
    const model::ToolGuardMode mode = settings.effectiveToolGuardMode();
    m_guard->setSymbol(toolGuardInfo(mode).symbol);
    m_guard->setToolTip(toolGuardTooltip(mode));
    m_guard->setAccessibleName(QStringLiteral("Permissions: ") + toolGuardInfo(mode).title);
    m_guard->setLook(false, m_introGlow, mode == model::ToolGuardMode::Yolo);

    m_model->setText(model::ModelCatalog::chipLabel(settings.model));
    m_model->setToolTip(plainToolTip(modelChipTooltip(settings.model)));
    const std::optional<model::QirvModelOption> option = model::ModelCatalog::option(settings.model);
    m_model->setAccessibleName(QStringLiteral("Model: ") + (option ? option->title : settings.model));
    m_model->setMaximumTitleWidth(kProjectTitleWidth);
    m_model->setLook(false, 0, false);
    for (ContextChip *chip : {m_project, m_guard, m_model})
        chip->updateGeometry();
}

void ComposerTray::refreshButtons()
{
    const glass::Styles &s = m_styles.styles();
    const QColor accent = s.link.color;

    m_skin->setTint(s.textSecondary);
    m_skin->setFill(trayFill(s, m_popover == TrayPopover::skin));
    m_skin->setChecked(m_popover == TrayPopover::skin);

    const bool shown = m_app.background().isEnabled();
    m_eye->setSymbol(shown ? QStringLiteral("eye.slash.fill") : QStringLiteral("eye.fill"));
    m_eye->setTint(shown ? accent : s.textSecondary);
    m_eye->setFill(trayFill(s, shown));
    m_eye->setToolTip(shown ? QStringLiteral("Hide") : QStringLiteral("Show"));
    m_eye->setAccessibleDescription(shown ? QStringLiteral("Hide background image / video")
                                          : QStringLiteral("Show background image / video"));
    m_eye->setChecked(shown);

    m_wallpaper->setSymbol(m_wallpaperExpanded ? QStringLiteral("chevron.down")
                                               : QStringLiteral("photo.on.rectangle.angled"));
    m_wallpaper->setTint(s.textSecondary);
    m_wallpaper->setFill(trayFill(s, m_wallpaperExpanded));
    m_wallpaper->setToolTip(m_wallpaperExpanded ? QStringLiteral("Close") : QStringLiteral("Image"));
    m_wallpaper->setChecked(m_wallpaperExpanded);

    const bool listening = m_app.isDictating();
    m_mic->setSymbol(listening ? QStringLiteral("waveform") : QStringLiteral("mic.fill"));
    m_mic->setTint(listening ? accent : s.textSecondary);
    m_mic->setFill(trayFill(s, listening));
    m_mic->setToolTip(listening ? QStringLiteral("Stop listening")
                                : QStringLiteral("Speak. Dictate into the composer. The microphone is on only while you dictate."));
    m_mic->setChecked(listening);

    m_stop->setTint(Qt::white);
    m_stop->setFill(glass::QirvTheme::withOpacity(glass::QirvTheme::color(s.skin.colors.danger), 0.85));
}

void ComposerTray::refreshSend()
{
    const glass::Styles &s = m_styles.styles();
    const bool compose = canCompose();
    const bool running = m_app.isRunning();
    m_send->setTint(compose ? glass::QirvTheme::withOpacity(s.link.color, 0.95) : s.textTertiary);
    m_send->setFill(trayFill(s, compose));
    m_send->setRim(compose ? glass::QirvTheme::withOpacity(s.accent, 0.4) : QColor());
    m_send->setEnabled(compose || running);
    m_send->setOpacity(compose || running ? 1.0 : 0.45);
    const QString keys = sendShortcut().toString(QKeySequence::NativeText);
    m_send->setToolTip(running ? QStringLiteral("Stop current run and send this message (%1).").arg(keys)
                               : QStringLiteral("Send. Run this message (%1).").arg(keys));
    m_send->setAccessibleName(running ? QStringLiteral("Stop and send") : QStringLiteral("Send"));
    m_stop->setVisible(running);
    fitRow();
}

} // namespace chat
