#include "settings/SignInSection.h"

#include "app/AccountController.h"
#include "app/AppViewModel.h"
#include "glass/look/TextInk.h"
#include "settings/BusyIndicator.h"
#include "settings/LinkButton.h"
#include "settings/SettingsButton.h"
#include "settings/SettingsText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

namespace settings {

namespace {

class StatusDot : public QWidget {
public:
    explicit StatusDot(QWidget *parent) : QWidget(parent) { setFixedSize(10, 10); }
    QColor color;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(QRectF(rect()));
    }
};

} // namespace

SignInSection::SignInSection(app::AppViewModel &app, QWidget *parent)
    : QWidget(parent), m_app(app), m_account(app.account())
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);

    // Status block.
    auto *statusRow = new QHBoxLayout;
    auto *statusText = new QVBoxLayout;
    statusText->setSpacing(4);
    m_mode = makeText(QString(), this, true);
    m_mode->setObjectName(QStringLiteral("signInMode"));
    m_detail = makeText(QString(), this, true);
    m_detail->setObjectName(QStringLiteral("signInDetail"));
    m_cliPath = makeText(QStringLiteral("Qirv CLI session lives at: ~/.qirv/auth.json"), this, true);
    m_cliPath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusText->addWidget(m_mode);
    statusText->addWidget(m_detail);
    statusText->addWidget(m_cliPath);
    statusRow->addLayout(statusText, 1);
    m_dot = new StatusDot(this);
    statusRow->addWidget(m_dot, 0, Qt::AlignVCenter);
    column->addLayout(statusRow);

    // Waiting for the browser.
    m_waiting = new QWidget(this);
    auto *waiting = new QVBoxLayout(m_waiting);
    waiting->setContentsMargins(0, 0, 0, 0);
    waiting->setSpacing(8);
    m_progress = new BusyIndicator(QStringLiteral("Waiting for browser approval\u2026"), m_waiting);
    m_code = makeText(QString(), m_waiting, false);
    m_code->setObjectName(QStringLiteral("signInCode"));
    m_code->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pageLink = new LinkButton(QStringLiteral("Open sign-in page"), m_waiting);
    m_cancel = new SettingsButton(QStringLiteral("Cancel"), m_waiting);
    for (QWidget *w : {static_cast<QWidget *>(m_progress), static_cast<QWidget *>(m_code),
                       static_cast<QWidget *>(m_pageLink), static_cast<QWidget *>(m_cancel)})
        waiting->addWidget(w, 0, Qt::AlignLeft);
    column->addWidget(m_waiting);

    // Sign in, import, sign out.
    m_idle = new QWidget(this);
    auto *idle = new QVBoxLayout(m_idle);
    idle->setContentsMargins(0, 0, 0, 0);
    idle->setSpacing(8);
    m_signIn = new SettingsButton(QStringLiteral("Sign in with Moonshelf"), m_idle);
    m_signIn->setLeadingSymbol(QStringLiteral("person.badge.key.fill"));
    m_import = new SettingsButton(QStringLiteral("Import from Qirv CLI"), m_idle);
    m_import->setLeadingSymbol(QStringLiteral("square.and.arrow.down"));
    m_import->setToolTip(QStringLiteral("Import from ~/.qirv/auth.json"));
    m_signOut = new SettingsButton(QStringLiteral("Sign out Moonshelf"), m_idle);
    for (QWidget *w : {m_signIn, m_import, m_signOut})
        idle->addWidget(w, 0, Qt::AlignLeft);
    column->addWidget(m_idle);

    m_caption = makeText(QStringLiteral("This uses the same Moonshelf login as Qirv Build. You should not need a "
                                        "separate paid API key for normal use."),
                         this, true);
    column->addWidget(m_caption);

    connect(m_signIn, &QAbstractButton::clicked, this, &SignInSection::signIn);
    connect(m_cancel, &QAbstractButton::clicked, this, [this] { m_account.cancelSignIn(); });
    connect(m_signOut, &QAbstractButton::clicked, this, &SignInSection::signOut);
    connect(m_import, &QAbstractButton::clicked, this, &SignInSection::importFromCli);
    connect(m_pageLink, &QAbstractButton::clicked, this, [this] {
        if (const auto url = m_account.signInVerificationURL())
            m_account.openWebPage(*url);
    });
    connect(&m_account, &app::AccountController::changed, this, &SignInSection::sync);
    sync();
}

std::optional<QString> SignInSection::detailText(bool hasSession, const std::optional<QString> &email,
                                                 bool isSignedIn)
{
    if (hasSession && email)
        return *email;
    if (!isSignedIn)
        return QStringLiteral("Not connected. Sign in or import your Qirv CLI session.");
    return std::nullopt;
}

bool SignInSection::isWaitingShown() const
{
    return !m_waiting->isHidden();
}

void SignInSection::sync()
{
    m_mode->setText(m_account.authModeDescription());
    const auto detail = detailText(m_account.hasSession(), m_account.sessionEmail(), m_account.isSignedIn());
    m_detail->setVisible(detail.has_value());
    m_detail->setText(detail.value_or(QString()));
    m_signedInDot = m_account.isSignedIn() && !m_account.isCredentialRefused();
    auto *dot = static_cast<StatusDot *>(m_dot);
    dot->color = m_signedInDot ? m_look.success : m_look.warning;
    dot->update();

    const bool signingIn = m_account.isSigningIn();
    m_waiting->setVisible(signingIn);
    m_idle->setVisible(!signingIn);
    const auto code = m_account.signInUserCode();
    m_code->setVisible(code.has_value());
    m_code->setText(code ? QStringLiteral("Code: ") + *code : QString());
    m_pageLink->setVisible(m_account.signInVerificationURL().has_value());

    const bool importing = m_account.isImporting();
    m_signIn->setEnabled(!importing);
    m_import->setEnabled(!importing);
    m_import->setBusy(importing);
    m_signOut->setVisible(m_account.hasSession());
}

void SignInSection::applyLook(const SettingsLook &look)
{
    m_look = look;
    glass::setTextStyle(m_mode, look.subheadline, look.text);
    glass::setTextStyle(m_detail, look.caption, look.textSecondary);
    glass::setTextStyle(m_cliPath, look.caption2, look.textTertiary);
    glass::setTextStyle(m_code, look.code, look.text);
    glass::setTextStyle(m_caption, look.caption, look.textSecondary);
    m_progress->setLook(look.callout, look.text);
    m_pageLink->setLook(look.callout, look.accent);
    m_cancel->setButtonStyle(look.bordered);
    m_signIn->setButtonStyle(look.prominent);
    m_import->setButtonStyle(look.bordered);
    m_signOut->setButtonStyle(look.destructive);
    sync();
}

void SignInSection::signIn()
{
    emit bannerRequested(Banner{Banner::Kind::Info, QStringLiteral("Opening browser for Moonshelf sign-in\u2026")});
    m_account.startDeviceSignIn();
}

void SignInSection::signOut()
{
    m_account.signOut();
    m_app.refreshSignIn();
    emit bannerRequested(Banner{Banner::Kind::Info, QStringLiteral("Signed out of Moonshelf session.")});
}

void SignInSection::importFromCli()
{
    emit bannerRequested(
        Banner{Banner::Kind::Info, QStringLiteral("Importing from ") + m_account.cliSessionPath() + QChar(0x2026)});
    // The banner is drawn before the file is read.
    QTimer::singleShot(0, this, &SignInSection::finishImport);
}

void SignInSection::finishImport()
{
    const auto imported = m_account.importFromQirvCLI();
    if (imported) {
        m_app.refreshSignIn();
        emit bannerRequested(Banner{Banner::Kind::Success, imported.value()});
        emit alertRequested(QStringLiteral("Moonshelf connected"), imported.value());
    } else {
        emit bannerRequested(Banner{Banner::Kind::Error, imported.error()});
        emit alertRequested(QStringLiteral("Import failed"), imported.error());
    }
}

} // namespace settings
