#include "settings/SettingsWindow.h"

#include "app/AccountController.h"
#include "app/AppViewModel.h"
#include "glass/sheets/AlertSheet.h"
#include "glass/look/Contrast.h"
#include "glass/sheets/SheetOverlay.h"
#include "glass/controls/StyledButton.h"
#include "glass/look/Styles.h"
#include "glass/look/TextInk.h"
#include "settings/AboutSection.h"
#include "settings/AgentSection.h"
#include "settings/ApiKeySection.h"
#include "settings/BackgroundCard.h"
#include "settings/BannerView.h"
#include "settings/ClinkingGlasses.h"
#include "settings/ModelSection.h"
#include "settings/PageScrollArea.h"
#include "settings/SafetySection.h"
#include "settings/SectionCard.h"
#include "settings/SettingsButton.h"
#include "settings/SettingsText.h"
#include "settings/SignInSection.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace settings {

SettingsWindow::SettingsWindow(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent, Qt::Window), m_app(app), m_styles(styles)
{
    setWindowTitle(QStringLiteral("Settings"));
    setObjectName(QStringLiteral("settings"));
    setMinimumSize(kWidth, kMinHeight);
    setMaximumSize(kWidth, kMaxHeight);
    resize(kWidth, kDefaultHeight);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_header = new ColorPane(this);
    auto *header = new QHBoxLayout(m_header);
    header->setContentsMargins(16, 16, 16, 16);
    m_title = makeText(QStringLiteral("Settings"), m_header, false);
    m_done = new SettingsButton(QStringLiteral("Done"), m_header);
    header->addWidget(m_title);
    header->addStretch(1);
    header->addWidget(m_done);
    column->addWidget(m_header);

    m_bannerRow = new QWidget(this);
    auto *bannerRow = new QVBoxLayout(m_bannerRow);
    bannerRow->setContentsMargins(16, 0, 16, 10);
    m_bannerView = new BannerView(m_bannerRow);
    bannerRow->addWidget(m_bannerView);
    m_bannerRow->hide();
    column->addWidget(m_bannerRow);

    m_divider = new ColorPane(this);
    m_divider->setFixedHeight(1);
    column->addWidget(m_divider);

    m_scroll = new PageScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setFocusPolicy(Qt::NoFocus); // Tab goes to the controls, each scrolled into view
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_column = new QWidget(m_scroll);
    auto *sections = new QVBoxLayout(m_column);
    sections->setContentsMargins(16, 16, 16, 16);
    sections->setSpacing(16);
    m_scroll->setWidget(m_column);
    column->addWidget(m_scroll, 1);

    SectionCard *about = addSection(QStringLiteral("About this app"), QStringLiteral("info.circle"));
    SectionCard *tip = addSection(QStringLiteral("Free \u00b7 optional tip"), QStringLiteral("heart.fill"));
    SectionCard *signIn = addSection(QStringLiteral("Moonshelf (your Ovu subscription)"), QStringLiteral("sparkles"));
    SectionCard *stage = addSection(QStringLiteral("Stage background"), QStringLiteral("photo.on.rectangle.angled"));
    SectionCard *apiKey = addSection(QStringLiteral("API key (optional fallback)"), QStringLiteral("key.fill"));
    SectionCard *model = addSection(QStringLiteral("Model"), QStringLiteral("cpu"));
    SectionCard *safety = addSection(QStringLiteral("Safety"), QStringLiteral("shield.lefthalf.filled"));
    SectionCard *agent = addSection(QStringLiteral("Agent"), QStringLiteral("gearshape.2"));
    sections->addStretch(1);

    app::AccountController &links = m_app.account();
    m_about = new AboutSection(links, about->card());
    about->content()->addWidget(m_about);
    m_tip = new TipSection(links, tip->card());
    tip->content()->addWidget(m_tip);
    if (ClinkingGlasses *glasses = m_tip->glasses()) {
        glasses->setReduceMotion(m_styles.reduceMotion());
        connect(&m_styles, &glass::StyleStore::reduceMotionChanged, glasses, &ClinkingGlasses::setReduceMotion);
    }
    m_signIn = new SignInSection(m_app, signIn->card());
    signIn->content()->addWidget(m_signIn);
    m_background = new BackgroundCard(m_app.background(), links, stage->card());
    stage->content()->addWidget(m_background);
    m_apiKey = new ApiKeySection(m_app, apiKey->card());
    apiKey->content()->addWidget(m_apiKey);
    m_model = new ModelSection(m_app, model->card());
    model->content()->addWidget(m_model);
    m_safety = new SafetySection(m_app, safety->card());
    safety->content()->addWidget(m_safety);
    m_agent = new AgentSection(m_app, agent->card());
    agent->content()->addWidget(m_agent);
    connect(m_tip, &TipSection::bannerRequested, this, &SettingsWindow::setBanner);
    connect(m_signIn, &SignInSection::bannerRequested, this, &SettingsWindow::setBanner);
    connect(m_apiKey, &ApiKeySection::bannerRequested, this, &SettingsWindow::setBanner);
    connect(m_signIn, &SignInSection::alertRequested, this, &SettingsWindow::presentAlert);

    // The sign-in object's transitions, one at a time as they happen.
    app::AccountController &account = m_app.account();
    connect(&account, &app::AccountController::sessionChanged, this, [this] { m_app.refreshSignIn(); });
    connect(&account, &app::AccountController::lastStatusChanged, this, [this] {
        app::AccountController &a = m_app.account();
        if (const auto banner = BannerRules::onLastStatus(a.lastStatus(), a.lastError()))
            setBanner(*banner);
    });
    connect(&account, &app::AccountController::pageUnopened, this,
            [this](const QString &text) { setBanner(Banner{Banner::Kind::Error, text}); });
    connect(&account, &app::AccountController::lastErrorChanged, this, [this] {
        if (const auto banner = BannerRules::onLastError(m_app.account().lastError()))
            setBanner(*banner);
    });

    connect(m_done, &QAbstractButton::clicked, this, &SettingsWindow::done);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &SettingsWindow::done);

    m_presentAlert = [this](const QString &title, const QString &message, bool warning) {
        showAlertSheet(title, message, warning);
    };

    connect(&m_styles, &glass::StyleStore::changed, this, [this] {
        applyLook();
        // A new skin starts the column from the top.
        m_scroll->verticalScrollBar()->setValue(0);
    });
    applyLook();
}

SectionCard *SettingsWindow::addSection(const QString &title, const QString &symbol)
{
    auto *card = new SectionCard(title, symbol, m_column);
    static_cast<QVBoxLayout *>(m_column->layout())->addWidget(card);
    m_sections.append(card);
    return card;
}

void SettingsWindow::setBanner(const Banner &banner)
{
    m_banner = banner;
    m_bannerView->setBanner(banner, m_look);
    m_bannerRow->show();
    emit bannerChanged();
}

void SettingsWindow::presentAlert(const QString &title, const QString &message)
{
    if (m_presentAlert)
        m_presentAlert(title, message, alertIsWarning(title));
}

void SettingsWindow::showSection(app::SettingsSection section)
{
    const auto index = qsizetype(section);
    if (index < 0 || index >= m_sections.size())
        return;
    m_shownSection = index;
    scrollToSection();
    // Again once a window just opened has laid itself out.
    QTimer::singleShot(0, this, &SettingsWindow::scrollToSection);
}

void SettingsWindow::scrollToSection()
{
    if (m_shownSection < 0)
        return;
    m_column->layout()->activate();
    const int margin = m_column->layout()->contentsMargins().top();
    m_scroll->verticalScrollBar()->setValue(m_sections.at(m_shownSection)->y() - margin);
}

void SettingsWindow::showAlertSheet(const QString &title, const QString &message, bool warning)
{
    // In the window, on its glass; nothing waits for the answer.
    if (!m_sheets)
        m_sheets = new glass::SheetOverlay(this, m_styles);
    auto *sheet = new glass::AlertSheet(
        m_styles, warning ? glass::AlertSheet::Kind::warning : glass::AlertSheet::Kind::information, title, message);
    glass::StyledButton *ok = sheet->addButton(QStringLiteral("OK"), glass::AlertSheet::Role::preferred);
    sheet->setDefaultButton(ok);
    connect(sheet, &glass::AlertSheet::answered, this, [this, sheet] {
        if (m_sheets->content() == sheet)
            m_sheets->close();
    });
    m_sheets->open(sheet, ok);
}

void SettingsWindow::done()
{
    m_app.refreshSignIn();
    close();
}

void SettingsWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        onAppear();
}

void SettingsWindow::hideEvent(QHideEvent *event)
{
    // What is still being typed is kept when the window goes.
    m_model->flush();
    QWidget::hideEvent(event);
}

void SettingsWindow::onAppear()
{
    m_apiKey->prefillFromKeyring();
    m_app.refreshSignIn();
    app::AccountController &account = m_app.account();
    if (const auto banner = BannerRules::onAppear(account.hasSession(), account.lastStatus()))
        setBanner(*banner);
}

void SettingsWindow::applyLook()
{
    m_look = SettingsLook::build(m_styles.styles());
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, m_look.elevated);
    palette.setColor(QPalette::WindowText, m_look.text);
    palette.setColor(QPalette::Base, m_look.elevated2);
    palette.setColor(QPalette::AlternateBase, m_look.elevated2);
    palette.setColor(QPalette::Text, m_look.text);
    palette.setColor(QPalette::Button, m_look.elevated2);
    palette.setColor(QPalette::ButtonText, m_look.text);
    palette.setColor(QPalette::Highlight, m_look.accent);
    palette.setColor(QPalette::HighlightedText, m_look.bg);
    palette.setColor(QPalette::PlaceholderText, m_look.textTertiary);
    palette.setColor(QPalette::ToolTipBase, m_look.elevated2);
    palette.setColor(QPalette::ToolTipText, m_look.text);
    palette.setColor(QPalette::Mid, m_look.border);
    palette.setColor(QPalette::Dark, m_look.border);
    setPalette(palette);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_column->setAutoFillBackground(false);

    m_header->setColor(m_look.bg);
    glass::setTextStyle(m_title, m_look.title, glass::Contrast::ensure(m_look.text, m_look.bg, 4.5));
    m_done->setButtonStyle(m_look.prominent);
    m_divider->setColor(m_look.border);
    for (SectionCard *card : m_sections)
        card->applyLook(m_look);
    m_about->applyLook(m_look);
    m_tip->applyLook(m_look);
    m_signIn->applyLook(m_look);
    m_background->applyLook(m_look);
    m_apiKey->applyLook(m_look);
    m_model->applyLook(m_look);
    m_safety->applyLook(m_look);
    m_agent->applyLook(m_look);
    if (m_banner)
        m_bannerView->setBanner(*m_banner, m_look);
    update();
}

void SettingsWindow::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), m_look.elevated);
}

} // namespace settings
