#pragma once

#include "glass/paint/BackdropBlur.h"
#include "glass/stageview/KenBurnsMotion.h"

#include <QImage>
#include <QRegion>

#include <functional>
#include <optional>

class QPainter;
class QWidget;

namespace glass {

// The stage's picture as last drawn (device pixels), copied wherever
// anything above the stage repaints: the picture is resampled only when it
// moves a visible step. A step of the drift is drawn off the UI thread into
// a former frame's memory, and only where no glass hides the stage; the
// rest is drawn when something first shows it.
//
// What holds between any two calls:
// - shownPose() is what the stage shows, or will once the step being drawn
//   lands; the drift's next step is counted from it.
// - image() holds the picture at the frame's pose within drawn() and
//   nothing known outside it.
// - While a step is drawn, what is shown from the former frame outside the
//   step's region is remembered: the landed step repaints its own region
//   and that, and nothing else, so no former frame's pixels stay on screen
//   and the glass above the rest is left alone.
// - The landed repaint is taken once; it is not looked over for glass again.
// - A step overtaken by another, or by redraw(), is dropped when it lands.
// - The bake is the picture with the colour and veil laid on, kept with
//   what it was made from; it is good only for that.
class StageCanvas {
public:
    // What a baked picture was made from: the scaled copy, the colour and the veil.
    struct BakedFrom {
        qint64 scaled = 0;
        QRgb bg = 0;
        qreal veil = -1;
        bool operator==(const BakedFrom &) const = default;
    };
    // Draws the picture at a pose over a region of a frame.
    using Draw = std::function<void(QPainter &, const KenBurnsPose &, const QRegion &)>;
    // Draws a step's frame into a former frame's memory (or new memory when
    // that does not fit); a second image is the bake made on the way.
    using Job = std::function<QList<QImage>(QImage into)>;

    // stage: the widget drawn, repainted when a step lands.
    explicit StageCanvas(QWidget &stage);

    KenBurnsPose shownPose() const { return m_shownPose; }
    const QImage &image() const { return m_image; }
    QRegion drawn() const { return m_drawn; }
    // A step is being drawn and has not landed yet.
    bool isStepping() const { return m_worker.isBusy(); }

    // The look changed: everything drawn is forgotten (a step being drawn
    // too), and the stage shows pose wherever it is next painted.
    void redraw(const KenBurnsPose &pose);
    // The stage changed size: the frame is let go; a step being drawn still lands.
    void resized();
    // A step of the drift to pose, drawn by job over region (where nothing
    // hides the stage); until it lands the frame shown stays. An empty
    // region draws nothing now: the stage is drawn at pose when shown.
    void step(const KenBurnsPose &pose, const QRegion &region, Job job, std::optional<BakedFrom> bake);
    // A step's result: it becomes the frame and its region is repainted.
    void land(const QList<QImage> &images, quint64 serial);
    // A paint shows region: what of it the frame does not hold yet is drawn
    // now, at the frame's own pose.
    void uncover(const QRegion &region, const Draw &draw);
    // Copies region of the frame (uncovered first) to the stage.
    void paint(QPainter &painter, const QRegion &region) const;
    // Whether a paint asking for region is the repaint of a landed step;
    // taken by the first paint after the landing, whatever it asks.
    bool takeLanded(const QRegion &asked);

    // The bake made from, else a null image.
    QImage baked(const BakedFrom &from) const;
    // The picture it was made from is gone.
    void forgetBake() { m_baked = QImage(); }

private:
    QWidget &m_stage;
    QImage m_image;
    QRegion m_drawn;
    KenBurnsPose m_pose;       // the frame's
    KenBurnsPose m_shownPose;

    // The step being drawn.
    LatestImageWorker m_worker;
    quint64 m_serial = 0;
    QRegion m_pendingDrawn;
    KenBurnsPose m_pendingPose;
    BakedFrom m_pendingBake;
    QRegion m_shownWhilePending; // drawn from the former frame meanwhile, outside m_pendingDrawn
    QRegion m_landed;            // the repaint a landed step asked for, until it is painted
    QImage m_spare;              // a former frame, memory for the next step's

    QImage m_baked;
    BakedFrom m_bakedFrom;
};

} // namespace glass
