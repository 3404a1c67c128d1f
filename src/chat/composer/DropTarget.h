#pragma once

#include "chat/composer/DropPlan.h"

#include <QObject>
#include <QPointer>

#include <qcoro/qcorotask.h>

class QDropEvent;
class QMimeData;

namespace app {
class AppViewModel;
}
namespace glass {
class StyleStore;
}

namespace chat {

class DropOverlay;

// Makes the composer card the window's target for dropped files and
// images. Dropped files are looked at on a worker: folders, FIFOs, devices
// and vanished paths are refused with an error text, regular files go to
// the controller's staging in the drop's order. Image data over the
// staging limit is refused before anything decodes it. All staging runs
// on workers through the controller's asynchronous attach.
class DropTarget : public QObject {
    Q_OBJECT
public:
    // Takes drops on card and on those of its children that take drops
    // themselves (the text field, which keeps plain-text drops for itself).
    DropTarget(app::AppViewModel &app, glass::StyleStore &styles, QWidget *card);

    bool isDropTargeted() const { return m_targeted; }

    // Whether the drop was taken: the answer is given at once, before any
    // file is looked at or staged.
    bool handleDrop(const QMimeData &data);

signals:
    void dropTargetedChanged(bool targeted);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setTargeted(bool on);
    QCoro::Task<> stage(DropPlan plan);

    QPointer<app::AppViewModel> m_app;
    QPointer<QWidget> m_card;
    DropOverlay *m_overlay = nullptr;
    bool m_targeted = false;
};

} // namespace chat
