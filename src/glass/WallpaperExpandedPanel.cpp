#include "glass/WallpaperExpandedPanel.h"

#include "stage/BackgroundSettings.h"
#include "glass/GlassDecoration.h"
#include "glass/GlassSwitch.h"
#include "glass/QirvTheme.h"
#include "stage/SkinStore.h"
#include "glass/SymbolIcons.h"

#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTextLayout>
#include <QToolButton>
#include <QVBoxLayout>

#include <qcoro/qcorotask.h>

#include <cmath>

namespace glass {

namespace {

constexpr int kPadding = 14;
constexpr int kSliderSteps = 1000;

// Text sizes of the panel, in logical pixels.
QFont sized(QFont font, int pixels)
{
    font.setPixelSize(pixels);
    return font;
}
constexpr int kSubheadline = 11;
constexpr int kBody = 13;
constexpr int kCaption = 10;
constexpr int kSmallControl = 11;

QString rgba(QColor c, qreal opacity = 1.0)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alphaF() * opacity);
}

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

QPushButton *actionButton(const QString &title, const QString &objectName, QWidget *parent)
{
    auto *button = new QPushButton(title, parent);
    button->setObjectName(objectName);
    button->setToolTip(title);
    button->setFont(sized(button->font(), kSmallControl));
    button->setCursor(Qt::PointingHandCursor);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return button;
}

} // namespace

WallpaperExpandedPanel::WallpaperExpandedPanel(stage::BackgroundSettings *bg, stage::SkinStore *skins, QWidget *parent)
    : QWidget(parent)
    , m_bg(bg)
    , m_skins(skins)
{
    m_chooser = [this](const QString &caption, const QStringList &filters) {
        return QFileDialog::getOpenFileName(this, caption, QString(), filters.join(QStringLiteral(";;")));
    };
    build();
    m_glass = trayGlassPopover(this, 16, skins);
    restyle();
    refresh();
    connect(bg, &stage::BackgroundSettings::changed, this, &WallpaperExpandedPanel::refresh);
    connect(bg, &stage::BackgroundSettings::canUndoChanged, this, &WallpaperExpandedPanel::refresh);
    connect(bg, &stage::BackgroundSettings::isEnabledChanged, this, &WallpaperExpandedPanel::refresh);
    connect(bg, &stage::BackgroundSettings::overlayOpacityChanged, this, &WallpaperExpandedPanel::refresh);
    connect(bg, &stage::BackgroundSettings::animateKenBurnsChanged, this, &WallpaperExpandedPanel::refresh);
    connect(bg, &stage::BackgroundSettings::customURLStringChanged, this, &WallpaperExpandedPanel::refresh);
    connect(bg, &stage::BackgroundSettings::statusMessageChanged, this, &WallpaperExpandedPanel::refresh);
    connect(skins, &stage::SkinStore::changed, this, &WallpaperExpandedPanel::restyle);
    connect(skins, &stage::SkinStore::selectedIDChanged, this, &WallpaperExpandedPanel::restyle);
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

QString WallpaperExpandedPanel::percentText(double overlayOpacity)
{
    // Truncated, not rounded: 0.29 × 100 is just under 29 and reads 28%.
    return QString::number(qint64(std::trunc(overlayOpacity * 100))) + QLatin1Char('%');
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
    m_title->setFont(sized(font(), kSubheadline));
    m_close = new QToolButton(this);
    m_close->setObjectName(QStringLiteral("closeButton"));
    m_close->setToolTip(QStringLiteral("Close"));
    m_close->setAutoRaise(true);
    m_close->setCursor(Qt::PointingHandCursor);
    m_close->setIconSize(QSize(kBody + 2, kBody + 2));
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
    m_overlayLabel->setFont(sized(font(), kCaption));
    m_percent = new QLabel(this);
    m_percent->setObjectName(QStringLiteral("overlayPercent"));
    m_percent->setFont(sized(font(), kCaption));
    overlayRow->addWidget(m_overlayLabel);
    overlayRow->addStretch(1);
    overlayRow->addWidget(m_percent);
    m_slider = new QSlider(Qt::Horizontal, this);
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
    m_photo = actionButton(QStringLiteral("Photo"), QStringLiteral("photoButton"), this);
    m_video = actionButton(QStringLiteral("Video"), QStringLiteral("videoButton"), this);
    m_random = actionButton(QStringLiteral("Random"), QStringLiteral("randomButton"), this);
    m_undo = actionButton(QStringLiteral("Undo"), QStringLiteral("undoButton"), this);
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
    m_url = new QLineEdit(this);
    m_url->setObjectName(QStringLiteral("urlField"));
    m_url->setPlaceholderText(QStringLiteral("URL"));
    m_url->setFont(sized(font(), kCaption));
    connect(m_url, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (m_bg)
            m_bg->setCustomURLString(text);
        m_go->setEnabled(canGo(text));
    });
    m_go = new QPushButton(QStringLiteral("Go"), this);
    m_go->setObjectName(QStringLiteral("goButton"));
    m_go->setFont(sized(font(), kSmallControl));
    m_go->setCursor(Qt::PointingHandCursor);
    connect(m_go, &QPushButton::clicked, this, [this] {
        if (m_bg)
            m_bg->applyRemoteURL();
    });
    urlRow->addWidget(m_url, 1);
    urlRow->addWidget(m_go);
    column->addLayout(urlRow);

    // Clear.
    m_clear = actionButton(QStringLiteral("Clear"), QStringLiteral("clearButton"), this);
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
    m_status->setFont(sized(font(), kCaption));
    m_status->setWordWrap(false);
    column->addWidget(m_status);
}

void WallpaperExpandedPanel::restyle()
{
    if (!m_skins)
        return;
    const stage::UISkin skin = m_skins->current();
    const QColor text = QirvTheme::color(skin.colors.text);
    const QColor secondary = QirvTheme::color(skin.colors.textSecondary);
    const QColor tertiary = QirvTheme::color(skin.colors.textTertiary);
    const QColor accent = QirvTheme::color(skin.colors.accent);
    const QColor danger = QirvTheme::color(skin.colors.danger);
    const QColor bg = QirvTheme::color(skin.colors.bg);

    setStyleSheet(QStringLiteral(
        "QPushButton { color: %1; background: rgba(255,255,255,0.08); border: 1px solid rgba(255,255,255,0.14);"
        " border-radius: 6px; padding: 3px 8px; }"
        "QPushButton:hover { background: rgba(255,255,255,0.13); }"
        "QPushButton:pressed { background: rgba(255,255,255,0.04); }"
        "QPushButton:disabled { color: %2; background: rgba(255,255,255,0.04); border-color: rgba(255,255,255,0.07); }"
        "QPushButton#photoButton { color: %3; background: %4; border-color: %5; }"
        "QPushButton#goButton { color: %6; background: %3; border: none; padding: 3px 12px; }"
        "QPushButton#goButton:disabled { color: %2; background: rgba(255,255,255,0.06); }"
        "QPushButton#clearButton { color: %7; }"
        "QLineEdit { color: %1; background: rgba(0,0,0,0.22); border: 1px solid rgba(255,255,255,0.16);"
        " border-radius: 5px; padding: 2px 6px; selection-background-color: %3; }"
        "QLineEdit:focus { border-color: %5; }"
        "QToolButton { border: none; background: transparent; }"
        "QSlider::groove:horizontal { height: 4px; border-radius: 2px; background: rgba(255,255,255,0.16); }"
        "QSlider::sub-page:horizontal { border-radius: 2px; background: %3; }"
        "QSlider::handle:horizontal { width: 14px; height: 14px; margin: -5px 0; border-radius: 7px;"
        " background: rgba(245,245,247,0.96); }")
                      .arg(rgba(text), rgba(tertiary), rgba(accent), rgba(accent, 0.16), rgba(accent, 0.4),
                           rgba(bg), rgba(danger)));

    auto colour = [](QWidget *w, const QColor &c) {
        QPalette p = w->palette();
        p.setColor(QPalette::WindowText, c);
        w->setPalette(p);
    };
    colour(m_title, secondary);
    colour(m_overlayLabel, secondary);
    colour(m_percent, tertiary);
    colour(m_status, tertiary);
    m_stage->setColors(secondary, accent, QColor(255, 255, 255, 46));
    m_motion->setColors(secondary, accent, QColor(255, 255, 255, 46));

    m_close->setIcon(SymbolIcons::icon(QStringLiteral("xmark.circle.fill"), tertiary, kBody + 2));
    m_photo->setIcon(SymbolIcons::icon(QStringLiteral("photo.badge.plus"), accent, 13));
    m_video->setIcon(SymbolIcons::icon(QStringLiteral("film"), text, 13));
    m_random->setIcon(SymbolIcons::icon(QStringLiteral("shuffle"), text, 13));
    m_undo->setIcon(SymbolIcons::icon(QStringLiteral("arrow.uturn.backward"), text, 13));
    m_clear->setIcon(SymbolIcons::icon(QStringLiteral("trash"), danger, 13));
}

void WallpaperExpandedPanel::refresh()
{
    if (!m_bg)
        return;
    m_refreshing = true;
    const bool on = m_bg->isEnabled();
    m_stage->setChecked(on);
    m_stage->setText(on ? QStringLiteral("On") : QStringLiteral("Off"));
    m_percent->setText(percentText(m_bg->overlayOpacity()));
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
