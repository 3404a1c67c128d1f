#include "settings/BackgroundCard.h"

#include "app/AccountController.h"
#include "glass/controls/GlassSwitch.h"
#include "glass/sheets/OpenFileChoice.h"
#include "glass/look/TextInk.h"
#include "settings/BusyIndicator.h"
#include "settings/FieldFrame.h"
#include "settings/LinkButton.h"
#include "settings/SectionValues.h"
#include "settings/SettingsButton.h"
#include "settings/SettingsText.h"
#include "stage/BackgroundSettings.h"
#include "stage/OverlayPercent.h"
#include "stage/StagePhotoCatalog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

namespace settings {

namespace {
// The slider's steps over 0...1.
constexpr int kSliderSteps = 1000;

// The wheel scrolls the settings page past the slider; only a slider the
// user has clicked or tabbed into takes it.
class WheelOnlyWhenFocused : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Wheel && !static_cast<QWidget *>(watched)->hasFocus()) {
            event->ignore(); // on to the scroll area
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};
} // namespace

QUrl BackgroundCard::picsumHomePage()
{
    return QUrl(QStringLiteral("https://picsum.photos"));
}

QUrl BackgroundCard::creditDestination(const std::optional<QString> &creditUrl)
{
    return QUrl(creditUrl ? *creditUrl : stage::StagePhotoCatalog::siteHomePage(), QUrl::StrictMode);
}

QString BackgroundCard::creditLinkText()
{
    return QStringLiteral("View on ") + QUrl(stage::StagePhotoCatalog::siteHomePage()).host() + QStringLiteral(" \u2197");
}

BackgroundCard::BackgroundCard(stage::BackgroundSettings &bg, app::AccountController &links, QWidget *parent)
    : QWidget(parent), m_bg(bg), m_links(links)
{
    m_choose = [this](const QString &message, const QStringList &filters) {
        return glass::chooseFileToOpen(this, message, filters);
    };

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);

    m_intro = makeText(QStringLiteral("Stage image behind the glass."), this, true);
    column->addWidget(m_intro);
    m_show = new glass::GlassSwitch(QStringLiteral("Show background image / video"), this);
    column->addWidget(m_show);

    auto *overlay = new QVBoxLayout;
    overlay->setSpacing(6);
    auto *overlayRow = new QHBoxLayout;
    m_overlayTitle = makeText(QStringLiteral("Overlay"), this, false);
    m_percent = makeText(QString(), this, false);
    m_percent->setObjectName(QStringLiteral("overlayPercent"));
    overlayRow->addWidget(m_overlayTitle);
    overlayRow->addStretch(1);
    overlayRow->addWidget(m_percent);
    overlay->addLayout(overlayRow);
    m_overlay = new QSlider(Qt::Horizontal, this);
    m_overlay->setRange(0, kSliderSteps);
    m_overlay->setAccessibleName(QStringLiteral("Overlay"));
    m_overlay->setFocusPolicy(Qt::StrongFocus);
    m_overlay->installEventFilter(new WheelOnlyWhenFocused(m_overlay));
    overlay->addWidget(m_overlay);
    column->addLayout(overlay);

    m_motion = new glass::GlassSwitch(QStringLiteral("Motion"), this);
    column->addWidget(m_motion);

    auto *sources = new QHBoxLayout;
    sources->setSpacing(8);
    m_chooseImage = new SettingsButton(QStringLiteral("Choose image\u2026"), this);
    m_chooseVideo = new SettingsButton(QStringLiteral("Choose video\u2026"), this);
    sources->addWidget(m_chooseImage);
    sources->addWidget(m_chooseVideo);
    sources->addStretch(1);
    column->addLayout(sources);

    auto *history = new QHBoxLayout;
    history->setSpacing(8);
    m_random = new SettingsButton(QStringLiteral("Random"), this);
    m_random->setToolTip(QStringLiteral("Random"));
    m_undo = new SettingsButton(QStringLiteral("Undo photo"), this);
    m_undo->setLeadingSymbol(QStringLiteral("arrow.uturn.backward"));
    m_undo->setToolTip(QStringLiteral("Undo"));
    history->addWidget(m_random);
    history->addWidget(m_undo);
    history->addStretch(1);
    column->addLayout(history);

    auto *urlRow = new QHBoxLayout;
    urlRow->setSpacing(8);
    m_url = new FieldFrame(QStringLiteral("https://\u2026 image URL"), this);
    m_url->edit()->setAccessibleName(QStringLiteral("Image URL"));
    m_apply = new SettingsButton(QStringLiteral("Apply URL"), this);
    urlRow->addWidget(m_url, 1);
    urlRow->addWidget(m_apply);
    column->addLayout(urlRow);

    m_progress = new BusyIndicator(QStringLiteral("Loading\u2026"), this);
    column->addWidget(m_progress, 0, Qt::AlignLeft);
    m_status = makeText(QString(), this, true);
    m_status->setObjectName(QStringLiteral("stageStatus"));
    column->addWidget(m_status);

    m_credit = new QWidget(this);
    m_credit->setObjectName(QStringLiteral("photoCredit"));
    auto *credit = new QVBoxLayout(m_credit);
    credit->setContentsMargins(0, 6, 0, 0);
    credit->setSpacing(6);
    m_creditTitle = makeText(QStringLiteral("Photo credit"), m_credit, false);
    m_creditLine = makeText(QString(), m_credit, true);
    m_creditLine->setObjectName(QStringLiteral("photoCreditLine"));
    m_creditLink = new LinkButton(creditLinkText(), m_credit);
    credit->addWidget(m_creditTitle);
    credit->addWidget(m_creditLine);
    credit->addWidget(m_creditLink, 0, Qt::AlignLeft);
    column->addWidget(m_credit);

    auto *bottom = new QHBoxLayout;
    m_turnOff = new SettingsButton(QStringLiteral("Turn off"), this);
    m_picsum = new LinkButton(QStringLiteral("Picsum"), this);
    bottom->addWidget(m_turnOff);
    bottom->addStretch(1);
    bottom->addWidget(m_picsum);
    column->addLayout(bottom);
    m_hint = makeText(QStringLiteral("File, URL, random, or video."), this, true);
    column->addWidget(m_hint);

    // Controls write through the stage state; it answers with its notices.
    connect(m_show, &QAbstractButton::toggled, this, [this](bool on) { m_bg.setIsEnabled(on); });
    connect(m_motion, &QAbstractButton::toggled, this, [this](bool on) { m_bg.setAnimateKenBurns(on); });
    connect(m_overlay, &QSlider::valueChanged, this,
            [this](int value) { m_bg.applyOverlayOpacity(double(value) / kSliderSteps); });
    connect(m_url->edit(), &QLineEdit::textEdited, this, [this](const QString &text) { m_bg.setCustomURLString(text); });
    connect(m_chooseImage, &QAbstractButton::clicked, this, [this] {
        const QString path = m_choose(stage::BackgroundSettings::chooseImageMessage(),
                                      stage::BackgroundSettings::imageNameFilters());
        if (!path.isEmpty())
            m_bg.pickLocalImage(path);
    });
    connect(m_chooseVideo, &QAbstractButton::clicked, this, [this] {
        const QString path = m_choose(stage::BackgroundSettings::chooseVideoMessage(),
                                      stage::BackgroundSettings::videoNameFilters());
        if (!path.isEmpty())
            m_bg.pickLocalVideo(path);
    });
    connect(m_random, &QAbstractButton::clicked, this, [this] { m_bg.fetchPicsumRandom(); });
    connect(m_undo, &QAbstractButton::clicked, this, [this] { m_bg.undoWallpaper(); });
    connect(m_apply, &QAbstractButton::clicked, this, [this] { m_bg.applyRemoteURL(); });
    connect(m_turnOff, &QAbstractButton::clicked, this, [this] { m_bg.clearBackground(); });
    connect(m_picsum, &QAbstractButton::clicked, this, [this] {
        const QUrl home = picsumHomePage();
        m_links.openWebPage(home);
    });
    connect(m_creditLink, &QAbstractButton::clicked, this, [this] {
        const auto shown = m_bg.photoCredit();
        const QUrl destination = creditDestination(shown ? shown->url : std::nullopt);
        m_links.openWebPage(destination);
    });

    // The stage turned on, from here or anywhere: bring its image in line.
    connect(&m_bg, &stage::BackgroundSettings::isEnabledChanged, this, [this](bool on) {
        if (on)
            m_bg.reloadImage();
    });
    connect(&m_bg, &stage::BackgroundSettings::changed, this, &BackgroundCard::sync);
    sync();
}

void BackgroundCard::sync()
{
    {
        const QSignalBlocker a(m_show), b(m_motion), c(m_overlay);
        m_show->setChecked(m_bg.isEnabled());
        m_motion->setChecked(m_bg.animateKenBurns());
        const double opacity = std::isfinite(m_bg.overlayOpacity()) ? m_bg.overlayOpacity() : 0.0;
        m_overlay->setValue(int(std::lround(std::clamp(opacity, 0.0, 1.0) * kSliderSteps)));
    }
    m_motion->setEnabled(m_bg.isEnabled());
    m_percent->setText(stage::overlayPercentText(m_bg.overlayOpacity()));
    m_undo->setEnabled(m_bg.canUndo());
    if (m_url->edit()->text() != m_bg.customURLString()) {
        const QSignalBlocker block(m_url->edit());
        m_url->edit()->setText(m_bg.customURLString());
    }
    m_progress->setVisible(m_bg.isLoadingRemote());
    m_status->setVisible(!m_bg.statusMessage().isNull());
    m_status->setText(m_bg.statusMessage());
    const auto credit = m_bg.photoCredit();
    m_credit->setVisible(credit.has_value());
    if (credit) {
        m_creditLine->setText(credit->detailLine());
        m_creditLink->setVisible(app::AccountController::isWebAddress(creditDestination(credit->url)));
    }
}

void BackgroundCard::applyLook(const SettingsLook &look)
{
    glass::setTextStyle(m_intro, look.caption, look.textSecondary);
    m_show->setColors(look.text, look.accent, SettingsLook::faded(look.textTertiary, 0.5));
    m_motion->setColors(look.text, look.accent, SettingsLook::faded(look.textTertiary, 0.5));
    m_show->setFont(look.callout);
    m_motion->setFont(look.callout);
    glass::setTextStyle(m_overlayTitle, look.callout, look.textSecondary);
    QFont digits = look.caption;
    digits.setStyleHint(QFont::Monospace);
    digits.setFamily(QStringLiteral("monospace"));
    glass::setTextStyle(m_percent, digits, look.textTertiary);
    for (SettingsButton *button : {m_chooseImage, m_chooseVideo, m_random, m_undo})
        button->setButtonStyle(look.bordered);
    m_apply->setButtonStyle(look.prominent);
    m_turnOff->setButtonStyle(look.destructive);
    m_url->setFieldStyle(look.field, 8);
    m_progress->setLook(look.caption, look.textSecondary);
    glass::setTextStyle(m_status, look.caption, look.textSecondary);
    glass::setTextStyle(m_creditTitle, look.captionBold, look.textTertiary);
    glass::setTextStyle(m_creditLine, look.callout, look.textSecondary);
    m_creditLink->setLook(look.captionBold, look.accent);
    m_picsum->setLook(look.caption, look.accent);
    glass::setTextStyle(m_hint, look.caption2, look.textTertiary);
}

} // namespace settings
