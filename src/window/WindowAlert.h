#pragma once

#include <QObject>

namespace glass {
class AlertSheet;
}

namespace window {

// An alert the main window shows as a sheet while wanted() holds, before
// the sheets its flags stand for (onboarding, palette), which come back
// after it. The alert answers its own buttons by no longer being wanted.
class WindowAlert : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool wanted() const = 0;
    // The sheet's content, new each time it is shown.
    virtual glass::AlertSheet *makeSheet() = 0;
    // Its sheet went without an answer (Escape): as its escape button does.
    virtual void dismissed() = 0;
    // Whether it waits while a sheet a view opened (a rename) is up, rather
    // than take its place: nothing typed there is lost.
    virtual bool waitsForOtherSheets() const { return true; }

signals:
    void wantedChanged();
};

} // namespace window
