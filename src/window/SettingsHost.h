#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

namespace app {
class AppViewModel;
}
namespace glass {
class StyleStore;
}

namespace window {

// Opens the settings window when the controller raises showSettings, and
// lowers the flag again one turn later so the next request is a change.
// There is one settings window however often it is asked for: an open one
// is brought to the front. It is deleted when closed; the model keeps
// everything it showed.
class SettingsHost : public QObject {
    Q_OBJECT
public:
    SettingsHost(app::AppViewModel &app, glass::StyleStore &styles, QObject *parent = nullptr);

    static constexpr int kWidth = 520;
    static constexpr int kMinHeight = 480;
    static constexpr int kDefaultHeight = 780;

    QWidget *window() const { return m_window; }
    void open();

signals:
    void opened(QWidget *window);
    // The settings window closed (and is gone).
    void closed();

private:
    QWidget *make();
    void placeOverOwner();

    app::AppViewModel &m_app;
    glass::StyleStore &m_styles;
    QPointer<QWidget> m_window;
};

} // namespace window
