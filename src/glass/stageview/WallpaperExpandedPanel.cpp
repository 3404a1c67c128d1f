#include "glass/stageview/WallpaperExpandedPanel.h"

#include "glass/paint/GlassDecoration.h"
#include "glass/controls/GlassSwitch.h"
#include "glass/sheets/OpenFileChoice.h"
#include "glass/controls/StyledButton.h"
#include "glass/controls/StyledField.h"
#include "glass/controls/StyledSlider.h"
#include "glass/look/Styles.h"
#include "glass/look/SymbolIcons.h"
#include "glass/look/TextInk.h"
#include "stage/OverlayPercent.h"
#include "stage/BackgroundSettings.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QTextLayout>
#include <QToolButton>
#include <QVBoxLayout>

#include <qcoro/qcorotask.h>

#include <cmath>

namespace glass {

namespace {

constexpr int kPadding = 14;
constexpr int kSliderSteps = 1000;

constexpr int kCloseIcon = 15;
constexpr int kButtonIcon = 13;

// The Photo and Video buttons switch the stage on once the pick is done,
// whatever came of it (a cancelled panel too).
QCoro::Task<> pickThenEnable(QPointer<stage::BackgroundSettings> bg, QString path, bool video)
{
    if (!bg)
        co_return;
    if (video)
        co_await bg->pickLocalVideo(path);
    else
        co_await bg->pickLocalImage(path);
    if (bg)
        bg->setIsEnabled(true);
}

StyledButton *actionButton(const QString &title, const QString &objectName, const ButtonStyle &style, QWidget *parent)
{
    auto *button = new StyledButton(title, style, parent);
    button->setObjectName(objectName);
    button->setToolTip(title);
    button->setIconSize(QSize(kButtonIcon, kButtonIcon));
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return button;
}

} // namespace

WallpaperExpandedPanel::WallpaperExpandedPanel(stage::BackgroundSettings &bg, StyleStore &styles, QWidget *parent)
    : QWidget(parent)
    , m_bg(&bg)
    , m_styles(styles)
{
    m_chooser = [this](const QString &caption, const QStringList &filters) {
        return chooseFileToOpen(this, caption, filters);
    };
    build();
    m_glass = trayGlassPopover(this, 16, styles);
    restyle();
    refresh();
    connect(&bg, &stage::BackgroundSettings::changed, this, &WallpaperExpandedPanel::refresh);
    connect(&bg, &stage::BackgroundSettings::canUndoChanged, this, &WallpaperExpandedPanel::refresh);
    connect(&bg, &stage::BackgroundSettings::isEnabledChanged, this, &WallpaperExpandedPanel::refresh);
    connect(&bg, &stage::BackgroundSettings::overlayOpacityChanged, this, &WallpaperExpandedPanel::refresh);
    connect(&bg, &stage::BackgroundSettings::animateKenBurnsChanged, this, &WallpaperExpandedPanel::refresh);
    connect(&bg, &stage::BackgroundSettings::customURLStringChanged, this, &WallpaperExpandedPanel::refresh);
    connect(&bg, &stage::BackgroundSettings::statusMessageChanged, this, &WallpaperExpandedPanel::refresh);
    connect(&styles, &StyleStore::changed, this, &WallpaperExpandedPanel::restyle);
}

void WallpaperExpandedPanel::setExpanded(bool expanded)
{
    if (m_expanded == expanded)
        return;
    m_expanded = expanded;
    emit expandedChanged(expanded);
}

bool WallpaperExpandedPanel::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::LayoutRequest)
        fitToContent();
    return handled;
}

// Height free: a panel placed by hand (not by a layout) follows its content,
// e.g. when the status line comes or goes.
void WallpaperExpandedPanel::fitToContent()
{
    QWidget *parent = parentWidget();
    const bool managed = parent && parent->layout() && parent->layout()->indexOf(this) >= 0;
    if (!managed && layout())
        resize(kWidth, hasHeightForWidth() ? heightForWidth(kWidth) : sizeHint().height());
}

void WallpaperExpandedPanel::setFileChooser(FileChooser chooser)
{
    m_chooser = std::move(chooser);
}

QString WallpaperExpandedPanel::statusText(const QString &text, const QFont &font, int width)
{
    QString flowing = text;
    flowing.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    flowing.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(flowing, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine first = layout.createLine();
    if (!first.isValid()) {
        layout.endLayout();
        return {};
    }
    first.setLineWidth(width);
    QTextLine second = layout.createLine();
    if (second.isValid())
        second.setLineWidth(width);
    layout.endLayout();
    auto plain = [](QString line) { return line.replace(QChar::LineSeparator, QLatin1Char(' ')).trimmed(); };
    const QString top = plain(flowing.mid(first.textStart(), first.textLength()));
    if (!second.isValid())
        return top;
    const QString rest = plain(flowing.mid(second.textStart()));
    return top + QLatin1Char('\n') + QFontMetrics(font).elidedText(rest, Qt::ElideRight, width);
}

bool WallpaperExpandedPanel::canGo(const QString &address)
{
    return !address.trimmed().isEmpty();
}

void WallpaperExpandedPanel::build()
{
    setFixedWidth(kWidth);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    column->setSpacing(12);

    // Header.
    auto *header = new QHBoxLayout;
    m_title = new QLabel(QStringLiteral("Image"), this);
    m_title->setObjectName(QStringLiteral("titleLabel"));
    m_close = new QToolButton(this);
    m_close->setObjectName(QStringLiteral("closeButton"));
    m_close->setToolTip(QStringLiteral("Close"));
    m_close->setAccessibleName(QStringLiteral("Close image panel")); // the window has a Close too
    m_close->setAutoRaise(true);
    m_close->setCursor(Qt::PointingHandCursor);
    m_close->setIconSize(QSize(kCloseIcon, kCloseIcon));
    connect(m_close, &QToolButton::clicked, this, [this] { setExpanded(false); });
    header->addWidget(m_title);
    header->addStretch(1);
    header->addWidget(m_close);
    column->addLayout(header);

    // Stage switch.
    m_stage = new GlassSwitch(QStringLiteral("Off"), this);
    m_stage->setObjectName(QStringLiteral("stageSwitch"));
    connect(m_stage, &GlassSwitch::clicked, this, [this](bool on) {
        if (!m_bg)
            return;
        m_bg->setIsEnabled(on);
        if (on)
            m_bg->reloadImage();
    });
    column->addWidget(m_stage);

    // Overlay.
    auto *overlay = new QVBoxLayout;
    overlay->setSpacing(4);
    auto *overlayRow = new QHBoxLayout;
    m_overlayLabel = new QLabel(QStringLiteral("Overlay"), this);
    m_overlayLabel->setObjectName(QStringLiteral("overlayLabel"));
    m_percent = new QLabel(this);
    m_percent->setObjectName(QStringLiteral("overlayPercent"));
    overlayRow->addWidget(m_overlayLabel);
    overlayRow->addStretch(1);
    overlayRow->addWidget(m_percent);
    m_slider = new StyledSlider(m_styles.styles(), this);
    m_slider->setAccessibleName(QStringLiteral("Overlay"));
    m_slider->setObjectName(QStringLiteral("overlaySlider"));
    m_slider->setRange(0, kSliderSteps);
    connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
        // Through the action, never the field: it may switch the stage on.
        if (!m_refreshing && m_bg)
            m_bg->applyOverlayOpacity(double(value) / kSliderSteps);
    });
    overlay->addLayout(overlayRow);
    overlay->addWidget(m_slider);
    column->addLayout(overlay);

    // Motion.
    m_motion = new GlassSwitch(QStringLiteral("Motion"), this);
    m_motion->setObjectName(QStringLiteral("motionSwitch"));
    connect(m_motion, &GlassSwitch::clicked, this, [this](bool on) {
        if (m_bg)
            m_bg->setAnimateKenBurns(on);
    });
    column->addWidget(m_motion);

    // Actions.
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);
    m_photo = actionButton(QStringLiteral("Photo"), QStringLiteral("photoButton"), m_styles.styles().tinted, this);
    m_video = actionButton(QStringLiteral("Video"), QStringLiteral("videoButton"), m_styles.styles().secondaryButton, this);
    m_random = actionButton(QStringLiteral("Random"), QStringLiteral("randomButton"), m_styles.styles().secondaryButton, this);
    m_undo = actionButton(QStringLiteral("Undo"), QStringLiteral("undoButton"), m_styles.styles().secondaryButton, this);
    connect(m_photo, &QPushButton::clicked, this, &WallpaperExpandedPanel::choosePhoto);
    connect(m_video, &QPushButton::clicked, this, &WallpaperExpandedPanel::chooseVideo);
    connect(m_random, &QPushButton::clicked, this, [this] {
        if (m_bg)
            m_bg->fetchPicsumRandom();
    });
    connect(m_undo, &QPushButton::clicked, this, [this] {
        if (m_bg)
            m_bg->undoWallpaper();
    });
    grid->addWidget(m_photo, 0, 0);
    grid->addWidget(m_video, 0, 1);
    grid->addWidget(m_random, 1, 0);
    grid->addWidget(m_undo, 1, 1);
    column->addLayout(grid);

    // Address.
    auto *urlRow = new QHBoxLayout;
    urlRow->setSpacing(8);
    m_url = new StyledField(m_styles.styles().field, this);
    m_url->setObjectName(QStringLiteral("urlField"));
    m_url->setPlaceholderText(QStringLiteral("URL"));
    m_url->setAccessibleName(QStringLiteral("Image URL"));
    connect(m_url, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (m_bg)
            m_bg->setCustomURLString(text);
        m_go->setEnabled(canGo(text));
    });
    m_go = new StyledButton(QStringLiteral("Go"), m_styles.styles().primary, this);
    m_go->setObjectName(QStringLiteral("goButton"));
    connect(m_go, &QPushButton::clicked, this, [this] {
        if (m_bg)
            m_bg->applyRemoteURL();
    });
    urlRow->addWidget(m_url, 1);
    urlRow->addWidget(m_go);
    column->addLayout(urlRow);

    // Clear.
    m_clear = actionButton(QStringLiteral("Clear"), QStringLiteral("clearButton"), m_styles.styles().quietDestructive, this);
    m_clear->setToolTip(QString()); // only the grid's buttons have a help text
    connect(m_clear, &QPushButton::clicked, this, [this] {
        if (m_bg)
            m_bg->clearBackground();
        setExpanded(false);
    });
    column->addWidget(m_clear);

    // Status.
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusLine"));
    m_status->setWordWrap(false);
    column->addWidget(m_status);
}

void WallpaperExpandedPanel::restyle()
{
    const Styles &st = m_styles.styles();
    const auto label = [](QLabel *l, const TextStyle &style) { setTextStyle(l, style.font, style.color); };
    label(m_title, st.secondary);
    label(m_overlayLabel, st.caption);
    label(m_percent, {st.caption.font, st.textTertiary});
    label(m_status, {st.caption.font, st.textTertiary});
    const QColor off = st.light ? QColor::fromRgbF(0, 0, 0, 0.16f) : QColor::fromRgbF(1, 1, 1, 0.18f);
    m_stage->setColors(st.textSecondary, st.accent, off);
    m_motion->setColors(st.textSecondary, st.accent, off);
    for (StyledButton *b : {m_photo, m_video, m_random, m_undo, m_go, m_clear})
        b->restyle();
    m_url->restyle();
    m_slider->update();

    m_close->setIcon(SymbolIcons::icon(QStringLiteral("xmark.circle.fill"), st.textTertiary, kCloseIcon));
    m_photo->setIcon(SymbolIcons::icon(QStringLiteral("photo.badge.plus"), st.tinted.text, kButtonIcon));
    m_video->setIcon(SymbolIcons::icon(QStringLiteral("film"), st.secondaryButton.text, kButtonIcon));
    m_random->setIcon(SymbolIcons::icon(QStringLiteral("shuffle"), st.secondaryButton.text, kButtonIcon));
    m_undo->setIcon(SymbolIcons::icon(QStringLiteral("arrow.uturn.backward"), st.secondaryButton.text, kButtonIcon));
    m_clear->setIcon(SymbolIcons::icon(QStringLiteral("trash"), st.quietDestructive.text, kButtonIcon));
}

void WallpaperExpandedPanel::refresh()
{
    if (!m_bg)
        return;
    m_refreshing = true;
    const bool on = m_bg->isEnabled();
    m_stage->setChecked(on);
    m_stage->setText(on ? QStringLiteral("On") : QStringLiteral("Off"));
    m_percent->setText(stage::overlayPercentText(m_bg->overlayOpacity()));
    m_slider->setValue(int(std::lround(m_bg->overlayOpacity() * kSliderSteps)));
    m_motion->setChecked(m_bg->animateKenBurns());
    m_motion->setEnabled(on);
    m_undo->setEnabled(m_bg->canUndo());
    if (m_url->text() != m_bg->customURLString())
        m_url->setText(m_bg->customURLString());
    m_go->setEnabled(canGo(m_bg->customURLString()));
    const QString status = m_bg->statusMessage();
    m_status->setVisible(!status.isNull());
    m_status->setText(status.isNull() ? QString()
                                      : statusText(status, m_status->font(), kWidth - 2 * kPadding));
    m_refreshing = false;
    fitToContent();
}

void WallpaperExpandedPanel::choosePhoto()
{
    // The file panel runs its own event loop: the panel may be gone after it.
    const QPointer<WallpaperExpandedPanel> self(this);
    const QString path = m_chooser ? m_chooser(stage::BackgroundSettings::chooseImageMessage(),
                                               stage::BackgroundSettings::imageNameFilters())
                                   : QString();
    if (self)
        pickThenEnable(m_bg, path, false);
}

void WallpaperExpandedPanel::chooseVideo()
{
    // The file panel runs its own event loop: the panel may be gone after it.
    const QPointer<WallpaperExpandedPanel> self(this);
    const QString path = m_chooser ? m_chooser(stage::BackgroundSettings::chooseVideoMessage(),
                                               stage::BackgroundSettings::videoNameFilters())
                                   : QString();
    if (self)
        pickThenEnable(m_bg, path, true);
}

} // namespace glass
