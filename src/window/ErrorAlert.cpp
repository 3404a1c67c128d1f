#include "window/ErrorAlert.h"

#include "app/AppViewModel.h"
#include "glass/sheets/AlertSheet.h"
#include "glass/controls/StyledButton.h"

namespace window {

ErrorAlert::ErrorAlert(app::AppViewModel &app, glass::StyleStore &styles, QObject *parent)
    : WindowAlert(parent), m_app(app), m_styles(styles)
{
    connect(&m_app, &app::AppViewModel::errorMessageChanged, this, &ErrorAlert::sync);
    connect(&m_app, &app::AppViewModel::isRunningChanged, this, &ErrorAlert::sync);
}

bool ErrorAlert::wanted() const
{
    return m_app.errorMessage().has_value();
}

bool ErrorAlert::isShown() const
{
    return m_sheet && m_sheet->isVisible();
}

glass::AlertSheet *ErrorAlert::makeSheet()
{
    auto *sheet = new glass::AlertSheet(m_styles, glass::AlertSheet::Kind::warning, title(),
                                        m_app.errorMessage().value_or(QString()));
    m_retry = sheet->addButton(QStringLiteral("Retry"), glass::AlertSheet::Role::plain);
    m_settings = sheet->addButton(QStringLiteral("Settings"), glass::AlertSheet::Role::plain);
    glass::StyledButton *ok = sheet->addButton(QStringLiteral("OK"), glass::AlertSheet::Role::preferred);
    sheet->setDefaultButton(ok);
    connect(sheet, &glass::AlertSheet::answered, this, [this, ok](glass::StyledButton *button) {
        if (button == ok) {
            m_app.setErrorMessage(std::nullopt);
            return;
        }
        if (button == m_settings) {
            m_app.setErrorMessage(std::nullopt);
            m_app.openSettings(app::SettingsSection::signIn);
            return;
        }
        // The session whose run failed, whichever is selected by now.
        if (const std::optional<QUuid> session = m_app.errorConversationID())
            m_app.retryLastExchange(*session);
    });
    m_sheet = sheet;
    sync();
    return sheet;
}

void ErrorAlert::dismissed()
{
    m_app.setErrorMessage(std::nullopt);
}

void ErrorAlert::sync()
{
    if (m_sheet && m_app.errorMessage()) {
        m_sheet->setMessage(*m_app.errorMessage());
        // Only a run's error can be retried, and not while a run goes on; a
        // refused or missing credential fails again until the person signs in.
        const bool wantsSignIn = m_app.errorWantsSignIn();
        m_retry->setVisible(m_app.errorConversationID().has_value() && !wantsSignIn);
        m_settings->setVisible(wantsSignIn);
        m_retry->setEnabled(!m_app.isRunning());
    }
    emit wantedChanged();
}

} // namespace window
