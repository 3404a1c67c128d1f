#include "app/AccountController.h"
#include "app/AppViewModel.h"

#include "auth/MoonshelfAuth.h"
#include "platform/DesktopServices.h"

namespace app {

AccountController &AppViewModel::account()
{
    if (!m_account) {
        static platform::SystemDesktopServices systemDesktop;
        auth::MoonshelfAuth &auth = m_services.auth ? *m_services.auth : auth::MoonshelfAuth::shared();
        platform::DesktopServices &desktop = m_services.desktop ? *m_services.desktop : systemDesktop;
        m_account = new AccountController(auth, desktop, this);
        connect(m_account, &AccountController::changed, this, &AppViewModel::mirrorSignIn);
    }
    return *m_account;
}

void AppViewModel::refreshSignIn()
{
    mirrorSignIn();
}

} // namespace app
