#pragma once

#include <QHash>
#include <QScrollArea>
#include <QUuid>

namespace app {
class AppViewModel;
}
namespace glass {
class StyleStore;
}

namespace chat {

class AttachmentChip;
class AttachmentThumbnails;

// The composer's row of attachment chips, one per staged attachment in the
// controller's order, scrolling sideways when they do not fit. Chips are
// kept by attachment id, so a change of the list builds only new chips and
// no thumbnail is decoded twice.
class AttachmentStrip : public QScrollArea {
    Q_OBJECT
public:
    AttachmentStrip(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent = nullptr);
    ~AttachmentStrip() override;

    // Puts a strip into the composer's attachment slot (its layout).
    static AttachmentStrip *install(QWidget *slot, app::AppViewModel &app, glass::StyleStore &styles);

    QList<AttachmentChip *> chips() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void wheelEvent(QWheelEvent *event) override;

private:
    void sync();

    app::AppViewModel &m_app;
    glass::StyleStore &m_styles;
    AttachmentThumbnails *m_thumbnails = nullptr;
    QWidget *m_row = nullptr;
    QHash<QUuid, AttachmentChip *> m_chips;
};

} // namespace chat
