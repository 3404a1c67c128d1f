#include "chat/composer/AttachmentStrip.h"

#include "app/AppViewModel.h"
#include "chat/composer/AttachmentChip.h"
#include "chat/composer/AttachmentThumbnails.h"

#include <QBoxLayout>
#include <QScrollBar>
#include <QWheelEvent>

namespace chat {

namespace {
constexpr int kChipHeight = AttachmentChip::kTile + 8;
}

AttachmentStrip::AttachmentStrip(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent)
    : QScrollArea(parent), m_app(app), m_styles(styles), m_thumbnails(new AttachmentThumbnails(this))
{
    setObjectName(QStringLiteral("attachmentStrip"));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    viewport()->setAutoFillBackground(false);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    m_row = new QWidget;
    m_row->setAutoFillBackground(false);
    auto *layout = new QHBoxLayout(m_row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addStretch(1);
    setWidget(m_row);
    m_row->setAutoFillBackground(false); // setWidget turned it on
    setFixedHeight(kChipHeight);

    connect(&app, &app::AppViewModel::attachmentsChanged, this, &AttachmentStrip::sync);
    sync();
}

AttachmentStrip::~AttachmentStrip() = default;

AttachmentStrip *AttachmentStrip::install(QWidget *slot, app::AppViewModel &app, glass::StyleStore &styles)
{
    auto *strip = new AttachmentStrip(app, styles, slot);
    if (slot->layout())
        slot->layout()->addWidget(strip);
    return strip;
}

QList<AttachmentChip *> AttachmentStrip::chips() const
{
    QList<AttachmentChip *> list;
    auto *layout = static_cast<QHBoxLayout *>(m_row->layout());
    for (int i = 0; i < layout->count(); ++i) {
        if (auto *chip = qobject_cast<AttachmentChip *>(layout->itemAt(i)->widget()))
            list.append(chip);
    }
    return list;
}

void AttachmentStrip::sync()
{
    const QList<model::AttachedFile> &files = m_app.attachments();
    QList<QUuid> ids;
    for (const model::AttachedFile &file : files)
        ids.append(file.id);

    for (auto it = m_chips.begin(); it != m_chips.end();) {
        if (ids.contains(it.key())) {
            ++it;
            continue;
        }
        delete it.value();
        it = m_chips.erase(it);
    }
    m_thumbnails->keepOnly(ids);

    auto *layout = static_cast<QHBoxLayout *>(m_row->layout());
    for (int i = 0; i < files.size(); ++i) {
        const model::AttachedFile &file = files.at(i);
        AttachmentChip *chip = m_chips.value(file.id);
        if (!chip) {
            chip = new AttachmentChip(file, *m_thumbnails, m_styles, m_row);
            connect(chip, &AttachmentChip::removeClicked, this, [this](const QUuid &id) { m_app.removeAttachment(id); });
            m_chips.insert(file.id, chip);
        } else {
            chip->setFile(file);
        }
        // In the controller's order, before the closing stretch.
        if (layout->indexOf(chip) != i) {
            layout->removeWidget(chip);
            layout->insertWidget(i, chip);
        }
        chip->show();
    }
    updateGeometry();
}

QSize AttachmentStrip::sizeHint() const
{
    return {m_row->sizeHint().width(), kChipHeight};
}

QSize AttachmentStrip::minimumSizeHint() const
{
    return {0, kChipHeight};
}

void AttachmentStrip::wheelEvent(QWheelEvent *event)
{
    // A mouse wheel scrolls the row sideways.
    const QPoint delta = event->angleDelta();
    const int step = delta.x() != 0 ? delta.x() : delta.y();
    QScrollBar *bar = horizontalScrollBar();
    if (bar->maximum() == 0) {
        event->ignore();
        return;
    }
    bar->setValue(bar->value() - step / 2);
    event->accept();
}

} // namespace chat
