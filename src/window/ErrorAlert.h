#pragma once

#include "glass/sheets/AlertSheet.h"
#include "glass/controls/StyledButton.h"
#include "window/WindowAlert.h"

#include <QPointer>

namespace app {
class AppViewModel;
}

namespace window {

// The one alert of the main window, "Something went wrong", a sheet shown
// while the controller has an error text (also an empty one). "OK",
// Return and Escape dismiss it, which clears the text; a new text while it
// shows replaces the message. A run's error offers "Retry", which runs that
// session's last message again.
class ErrorAlert : public WindowAlert {
    Q_OBJECT
public:
    ErrorAlert(app::AppViewModel &app, glass::StyleStore &styles, QObject *parent = nullptr);

    static QString title() { return QStringLiteral("Something went wrong"); }

    bool wanted() const override;
    glass::AlertSheet *makeSheet() override;
    void dismissed() override;

    // The alert while it is shown, else null.
    glass::AlertSheet *sheet() const { return m_sheet; }
    bool isShown() const;

private:
    void sync();

    app::AppViewModel &m_app;
    glass::StyleStore &m_styles;
    QPointer<glass::AlertSheet> m_sheet;
    QPointer<glass::StyledButton> m_retry;
    QPointer<glass::StyledButton> m_settings;
};

} // namespace window
