#pragma once

#include <QObject>
#include <QPointer>

#include <QMessageBox>


namespace app {
class AppViewModel;
}

namespace window {

// The one alert of the main window, "Something went wrong", shown while the
// controller has an error text (also an empty one). Dismissing it clears
// the text; a new text while it shows replaces the message. Never blocks:
// the alert is window-modal and opened, not run.
class ErrorAlert : public QObject {
    Q_OBJECT
public:
    ErrorAlert(app::AppViewModel &app, QWidget *window);

    static QString title() { return QStringLiteral("Something went wrong"); }

    // The alert while it is shown, else null.
    QMessageBox *box() const { return m_box; }
    bool isShown() const;

private:
    void sync();

    app::AppViewModel &m_app;
    QWidget *m_window;
    QPointer<QMessageBox> m_box;
};

} // namespace window
