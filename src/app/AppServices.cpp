#include "app/AppServices.h"

#include "app/MoonshelfSignIn.h"
#include "auth/MoonshelfAuth.h"

#include <QClipboard>
#include <QGuiApplication>

namespace app {

AppServices AppServices::live()
{
    AppServices services;
    services.historyInBackground = true;
    services.signIn = std::make_unique<MoonshelfSignIn>(auth::MoonshelfAuth::shared());
    services.setClipboardText = [](const QString &text) {
        // Only a GUI application has a clipboard.
        if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            return;
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(text);
    };
    return services;
}

} // namespace app
