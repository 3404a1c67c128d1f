#include "chat/composer/DropTarget.h"

#include "app/AppViewModel.h"
#include "chat/composer/DropOverlay.h"
#include "model/AttachmentTempStore.h"

#include <QCoroFuture>
#include <QAbstractScrollArea>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>
#include <QtConcurrent/QtConcurrentRun>

namespace chat {

DropTarget::DropTarget(app::AppViewModel &app, glass::StyleStore &styles, QWidget *card)
    : QObject(card), m_app(&app), m_card(card)
{
    m_overlay = new DropOverlay(styles, card);
    card->setAcceptDrops(true);
    card->installEventFilter(this);
    const QList<QWidget *> children = card->findChildren<QWidget *>();
    for (QWidget *child : children) {
        if (!child->acceptDrops())
            continue;
        // A scroll area's viewport hands its drags to the area's handlers
        // directly, past any filter on the area itself.
        if (auto *area = qobject_cast<QAbstractScrollArea *>(child))
            area->viewport()->installEventFilter(this);
    }
}

void DropTarget::setTargeted(bool on)
{
    if (m_targeted == on)
        return;
    m_targeted = on;
    m_overlay->setVisible(on);
    if (on)
        m_overlay->raise();
    emit dropTargetedChanged(on);
}

bool DropTarget::eventFilter(QObject *watched, QEvent *event)
{
    const bool onCard = watched == m_card;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        const QMimeData *data = drag->mimeData();
        if (!data || !DropPlanning::acceptsDrag(*data))
            return false;
        setTargeted(true);
        // Plain text over the field is the field's to insert.
        if (!onCard && !DropPlanning::offersAttachable(*data))
            return false;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::DragLeave:
        // Leaving the card for its field is no leave; the field's enter follows.
        setTargeted(false);
        return false;
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        setTargeted(false);
        const QMimeData *data = drop->mimeData();
        if (!data)
            return false;
        if (!onCard && !DropPlanning::offersAttachable(*data))
            return false;
        if (handleDrop(*data))
            drop->acceptProposedAction();
        else
            drop->ignore();
        return true;
    }
    default:
        return false;
    }
}

bool DropTarget::handleDrop(const QMimeData &data)
{
    DropPlan plan = DropPlanning::plan(data);
    if (!plan.taken())
        return false;
    stage(std::move(plan));
    return true;
}

QCoro::Task<> DropTarget::stage(DropPlan plan)
{
    QPointer<DropTarget> self(this);
    if (!plan.files.isEmpty()) {
        QStringList paths;
        for (const QUrl &url : std::as_const(plan.files))
            paths.append(url.toLocalFile());
        // Looked at on a worker: a path on a hung mount never stalls the window.
        auto looking = QtConcurrent::run([paths] {
            QList<DroppedFileKind> kinds;
            for (const QString &path : paths)
                kinds.append(DropPlanning::classify(path));
            return kinds;
        });
        const QList<DroppedFileKind> kinds = co_await looking;
        if (!self || !self->m_app)
            co_return;
        QList<std::pair<QString, DroppedFileKind>> refused;
        for (qsizetype i = 0; i < plan.files.size(); ++i) {
            if (kinds.at(i) == DroppedFileKind::Regular)
                self->m_app->attachFileAsync(plan.files.at(i)); // queued by the controller in this order
            else
                refused.append({paths.at(i), kinds.at(i)});
        }
        if (!refused.isEmpty())
            self->m_app->setErrorMessage(DropPlanning::refusalText(refused));
    }
    if (plan.image && self && self->m_app) {
        const qint64 size = plan.image->data.size();
        if (size > model::AttachmentTempStore::kMaxFileBytes)
            self->m_app->setErrorMessage(model::AttachmentTempStore::IngestError::fileTooLarge(size).description());
        else
            self->m_app->attachImageDataAsync(plan.image->data, plan.image->suggestedName);
    }
}

} // namespace chat
