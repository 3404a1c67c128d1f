#include "app/AppViewModel.h"

#include "model/AttachmentTempStore.h"

#include <QCoroFuture>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

namespace app {

namespace {

using Store = model::AttachmentTempStore;

// Staging again is rare: only when attachments changed or the staging
// folder was emptied while a worker staged.
constexpr int kStagingAttempts = 3;

// Lets the next queued attach go when this one ends, however it ends.
struct TurnRelease {
    platform::OneShot<bool> turn;
    ~TurnRelease() { turn.set(true); }
};

} // namespace

platform::OneShot<bool> AppViewModel::takeAttachTurn(std::optional<platform::OneShot<bool>> &previous)
{
    previous = std::exchange(m_attachTail, platform::OneShot<bool>());
    return *m_attachTail;
}

bool AppViewModel::stagedStillFits(const model::StagedAttachment &staged, qint64 count, qint64 total) const
{
    // Removals meanwhile only leave more room.
    if (m_attachments.size() > count || attachedBytes() > total)
        return false;
    // clearAttachments() empties the staging folder, also of a copy that
    // was written but not yet attached.
    return !staged.isOwnedTemp || QFileInfo::exists(staged.url.toLocalFile());
}

QCoro::Task<bool> AppViewModel::attachFileAsync(QUrl url)
{
    QPointer<AppViewModel> self(this);
    std::optional<platform::OneShot<bool>> previous;
    const TurnRelease release{takeAttachTurn(previous)};
    // A copy (it holds only its folder), usable after the controller is gone.
    const Store store = staging();
    if (previous) {
        co_await *previous;
        if (!self)
            co_return false;
    }
    for (int attempt = 0; attempt < kStagingAttempts; ++attempt) {
        const std::optional<AttachTarget> target = self->attachTarget(url);
        if (!target)
            co_return false;
        const qint64 count = self->m_attachments.size();
        const qint64 total = self->attachedBytes();
        const Store::StageFileResult staged =
            co_await store.stageFileAsync(target->file, target->displayPath, count, total);
        if (!self) {
            if (staged.ok())
                store.deleteOwned(staged.value());
            co_return false;
        }
        const bool removedSome = self->m_attachments.size() < count || self->attachedBytes() < total;
        if (!staged.ok()) {
            if (removedSome)
                continue; // refused against limits that no longer hold
            self->setErrorMessage(model::describe(staged.error()));
            co_return false;
        }
        if (self->stagedStillFits(staged.value(), count, total) && self->attachTarget(url)) {
            self->appendAttachment(model::AttachedFile::fromStaged(staged.value()), {});
            co_return true;
        }
        store.deleteOwned(staged.value());
    }
    self->setErrorMessage(Store::IngestError::writeFailed().description());
    co_return false;
}

QCoro::Task<bool> AppViewModel::attachImageDataAsync(QByteArray data, QString suggestedName)
{
    QPointer<AppViewModel> self(this);
    std::optional<platform::OneShot<bool>> previous;
    const TurnRelease release{takeAttachTurn(previous)};
    const Store store = staging();
    if (data.isEmpty())
        co_return false;
    if (previous) {
        co_await *previous;
        if (!self)
            co_return false;
    }
    // Hashing a large photo is itself a few frames' work.
    const QFuture<QByteArray> hashing =
        QtConcurrent::run([data] { return QCryptographicHash::hash(data, QCryptographicHash::Sha256); });
    const QByteArray hash = co_await hashing;
    if (!self)
        co_return false;
    for (int attempt = 0; attempt < kStagingAttempts; ++attempt) {
        if (self->isImageAttached(hash))
            co_return false;
        const qint64 count = self->m_attachments.size();
        const qint64 total = self->attachedBytes();
        const Store::StageImageResult staged = co_await store.stageImageAsync(data, suggestedName, count, total);
        if (!self) {
            if (staged.ok())
                store.deleteOwned(staged.value());
            co_return false;
        }
        const bool removedSome = self->m_attachments.size() < count || self->attachedBytes() < total;
        if (!staged.ok()) {
            if (removedSome)
                continue;
            self->setErrorMessage(staged.error().description());
            co_return false;
        }
        if (self->stagedStillFits(staged.value(), count, total) && !self->isImageAttached(hash)) {
            self->appendAttachment(model::AttachedFile::fromStaged(staged.value()), hash);
            co_return true;
        }
        store.deleteOwned(staged.value());
    }
    self->setErrorMessage(Store::IngestError::writeFailed().description());
    co_return false;
}

} // namespace app
