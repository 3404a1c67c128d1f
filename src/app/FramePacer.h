#pragma once

#include <QObject>
#include <QTimer>

namespace app {

// Turns a burst of changes into at most one notice per frame: the first
// poke() after a notice starts the frame, and due() follows when it ends,
// standing for every poke() made meanwhile. flush() gives an owed notice
// at once, for the moment a change must not wait (the end of a run).
class FramePacer : public QObject {
    Q_OBJECT

public:
    // One frame at 60 Hz: no view paints more often.
    static constexpr int kFrameMs = 16;

    explicit FramePacer(QObject *parent = nullptr);

    void poke();
    // True when a notice was owed and went out now.
    bool flush();
    bool isOwed() const { return m_frame.isActive(); }

signals:
    void due();

private:
    QTimer m_frame;
};

} // namespace app
