#pragma once

#include "settings/SettingsLook.h"

#include <QWidget>

class QLabel;

namespace settings {

class SettingsButton;

// A label and a pair of step buttons. It shows what it is given and says
// which way the user stepped; the owner decides the value.
class Stepper : public QWidget {
    Q_OBJECT
public:
    explicit Stepper(QWidget *parent = nullptr);

    void setLabel(const QString &text);
    // What the steps change, for screen readers: the buttons are named after it.
    void setSubject(const QString &subject);
    QString label() const;
    void setStepEnabled(bool down, bool up);
    void applyLook(const SettingsLook &look);


signals:
    void stepRequested(int direction); // +1 or -1

private:
    QLabel *m_label = nullptr;
    SettingsButton *m_down = nullptr;
    SettingsButton *m_up = nullptr;
};

} // namespace settings
