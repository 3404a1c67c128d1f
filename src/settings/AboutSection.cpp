#include "settings/AboutSection.h"

#include "app/AccountController.h"
#include "app/Donation.h"
#include "app/TellingDesktop.h"
#include "glass/look/TextInk.h"
#include "model/BrandDisclaimer.h"
#include "settings/ClinkingGlasses.h"
#include "settings/LinkButton.h"
#include "settings/SettingsButton.h"
#include "settings/SettingsText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

namespace settings {

AboutSection::AboutSection(app::AccountController &links, QWidget *parent) : QWidget(parent)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    m_intro = makeText(QStringLiteral("Moonshelf Mac is an independent desktop app for builders who use Qirv. It is not "
                                      "an Ovu product. You need your own Moonshelf subscription from Ovu to connect. "
                                      "This app is fan-built tooling, not an official client."),
                       this, true);
    m_disclaimer = makeText(QStringLiteral("Independent third-party desktop app. Requires your own Moonshelf subscription "
                                           "from Ovu. Not affiliated with, endorsed by, or part of Ovu."),
                            this, true);
    m_free = makeText(QStringLiteral("Free to download and use. Optional PayPal tips welcome. Never a paywall for "
                                     "Moonshelf Mac."),
                      this, true);
    m_free->setContentsMargins(0, 4, 0, 0);
    m_maker = new LinkButton(QStringLiteral("Built by Dulmar"), this);
    m_maker->setTrailingSymbol(QStringLiteral("arrow.up.right"), 9);
    m_maker->setContentsMargins(0, 2, 0, 0);
    column->addWidget(m_intro);
    column->addWidget(m_disclaimer);
    column->addWidget(m_free);
    column->addWidget(m_maker, 0, Qt::AlignLeft);
    connect(m_maker, &QAbstractButton::clicked, this, [&links] {
        const QUrl maker = model::BrandDisclaimer::builtByURL();
        links.openWebPage(maker);
    });
}

void AboutSection::applyLook(const SettingsLook &look)
{
    glass::setTextStyle(m_intro, look.callout, look.textSecondary);
    glass::setTextStyle(m_disclaimer, look.caption2, look.textTertiary);
    glass::setTextStyle(m_free, look.caption, look.textSecondary);
    m_maker->setLook(look.caption, look.accent);
}

QString TipSection::notLinkedText()
{
    return QStringLiteral("PayPal not linked yet. To offer tips, create a PayPal personal link, put its handle in "
                          "Donation's paypalMeHandle and rebuild. Download stays free.");
}

TipSection::TipSection(app::AccountController &links, QWidget *parent) : QWidget(parent), m_links(links)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    m_free = makeText(QStringLiteral("Moonshelf Mac is free to download and use. No trial. No locked features. No card "
                                     "required for the app."),
                      this, true);
    m_optional = makeText(QStringLiteral("If it earns a place on your desk, you can tip via PayPal. Totally optional. "
                                         "Your Moonshelf subscription is still through Ovu."),
                          this, true);
    column->addWidget(m_free);
    column->addWidget(m_optional);
    if (app::Donation::isConfigured()) {
        auto *row = new QHBoxLayout;
        row->setSpacing(14);
        m_tip = new SettingsButton(QStringLiteral("Buy me a drink"), this);
        m_tip->setLeadingSymbol(QStringLiteral("heart.fill"));
        m_tip->setTrailingSymbol(QStringLiteral("arrow.up.right"));
        m_tip->setToolTip(app::Donation::buttonHelp());
        m_glasses = new ClinkingGlasses(this);
        row->addWidget(m_tip);
        row->addWidget(m_glasses);
        row->addStretch(1);
        column->addLayout(row);
        m_caption = makeText(QStringLiteral("Opens PayPal in your browser. Optional. The app never requires it."), this, true);
        connect(m_tip, &QAbstractButton::clicked, this, &TipSection::tip);
        connect(m_glasses, &QAbstractButton::clicked, this, &TipSection::tip);
    } else {
        m_caption = makeText(notLinkedText(), this, true);
    }
    column->addWidget(m_caption);
}

QCoro::Task<> TipSection::tip()
{
    QPointer<TipSection> self(this);
    const auto url = app::Donation::tipJarURL();
    if (url) {
        // The browser's opener may fail a moment after it started.
        const bool opened = co_await m_links.openWebPage(*url);
        if (opened || !self)
            co_return;
    }
    // With the address to copy when it was the browser that failed.
    QString text = QStringLiteral("Couldn\u2019t open PayPal.");
    if (url && app::AccountController::isWebAddress(*url))
        text += QLatin1Char(' ') + app::DesktopText::unopened(*url);
    emit bannerRequested(Banner{Banner::Kind::Error, text});
}

void TipSection::applyLook(const SettingsLook &look)
{
    glass::setTextStyle(m_free, look.callout, look.textSecondary);
    glass::setTextStyle(m_optional, look.caption, look.textTertiary);
    glass::setTextStyle(m_caption, look.caption2, look.textTertiary);
    if (m_tip) {
        // The tip button keeps its own blue; its label is held legible on it.
        glass::ButtonStyle blue = look.prominent;
        blue.fill = QColor::fromRgbF(0, 0.48f, 0.8f);
        blue.fillHover = blue.fill.lighter(110);
        blue.fillPressed = blue.fill.darker(115);
        blue.text = QColor(255, 255, 255);
        blue.stroke = Qt::transparent;
        blue.padding = QMargins(12, 4, 12, 4);
        m_tip->setButtonStyle(blue);
    }
}

} // namespace settings
