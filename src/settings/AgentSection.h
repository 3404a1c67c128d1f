#pragma once

#include "settings/SettingsLook.h"

#include <QWidget>

namespace app {
class AppViewModel;
}

namespace settings {

class Stepper;

// The agent's limits: tool rounds per run (5-50) and the shell timeout
// (15-600 s in steps of 15). A stored value outside the range is shown as
// stored and changes only when the user steps it.
class AgentSection : public QWidget {
    Q_OBJECT
public:
    explicit AgentSection(app::AppViewModel &app, QWidget *parent = nullptr);

    void applyLook(const SettingsLook &look);

private:
    void sync();
    void stepIterations(int direction);
    void stepTimeout(int direction);

    app::AppViewModel &m_app;
    Stepper *m_iterations = nullptr;
    Stepper *m_timeout = nullptr;
};

} // namespace settings
