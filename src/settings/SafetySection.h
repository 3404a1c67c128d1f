#pragma once

#include "settings/SettingsLook.h"

#include <QWidget>

class QLabel;

namespace app {
class AppViewModel;
}

namespace settings {

class SegmentedControl;

// The tool guard: Ask, Balanced or YOLO, and a line on the mode in force.
class SafetySection : public QWidget {
    Q_OBJECT
public:
    explicit SafetySection(app::AppViewModel &app, QWidget *parent = nullptr);

    void applyLook(const SettingsLook &look);
    bool captionIsDanger() const { return m_danger; }

private:
    void sync();

    app::AppViewModel &m_app;
    SettingsLook m_look;
    bool m_danger = false;
    SegmentedControl *m_picker = nullptr;
    QLabel *m_caption = nullptr;
    QLabel *m_hint = nullptr;
};

} // namespace settings
