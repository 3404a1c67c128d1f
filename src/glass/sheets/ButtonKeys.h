#pragma once

#include <QObject>

namespace glass {

// Return and Enter press the button that holds the keyboard, as Space does,
// in every window of the application: Qt's own buttons take Return only as
// a dialog's default, which leaves a person on the keyboard with a key that
// does nothing on most of the app's buttons. A held key presses once. In
// a sheet Return stays the sheet's default action. One per application.
class ButtonKeys : public QObject {
    Q_OBJECT
public:
    explicit ButtonKeys(QObject *parent = nullptr);
    ~ButtonKeys() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace glass
