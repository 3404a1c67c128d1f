#include "window/SettingsHost.h"

#include "app/AppViewModel.h"
#include "glass/look/Styles.h"
#include "settings/SettingsWindow.h"

#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <QWidget>

namespace window {

SettingsHost::SettingsHost(app::AppViewModel &app, glass::StyleStore &styles, QObject *parent)
    : QObject(parent), m_app(app), m_styles(styles)
{
    connect(&m_app, &app::AppViewModel::showSettingsChanged, this, [this] {
        if (!m_app.showSettings())
            return;
        open();
        if (const std::optional<app::SettingsSection> section = m_app.takeSettingsSection())
            if (auto *window = qobject_cast<settings::SettingsWindow *>(m_window))
                window->showSection(*section);
        QTimer::singleShot(0, &m_app, [this] { m_app.setShowSettings(false); });
    });
}

QWidget *SettingsHost::make()
{
    return new settings::SettingsWindow(m_app, m_styles);
}

void SettingsHost::open()
{
    if (!m_window) {
        m_window = make();
        m_window->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_window, &QObject::destroyed, this, &SettingsHost::closed);
        placeOverOwner();
        emit opened(m_window);
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

// Without a window manager (and under some that place new windows at the
// screen's corner) the window would open far from where the person looks.
void SettingsHost::placeOverOwner()
{
    const auto *owner = qobject_cast<QWidget *>(parent());
    if (!owner || !owner->isVisible())
        return;
    QRect wanted(QPoint(), m_window->size());
    wanted.moveCenter(owner->geometry().center());
    if (const QScreen *screen = owner->screen()) {
        const QRect room = screen->availableGeometry();
        wanted.moveLeft(std::clamp(wanted.left(), room.left(), std::max(room.left(), room.right() - wanted.width())));
        wanted.moveTop(std::clamp(wanted.top(), room.top(), std::max(room.top(), room.bottom() - wanted.height())));
    }
    m_window->move(wanted.topLeft());
}

} // namespace window
