#include "model/AttachmentTempStore.h"

#include <QtConcurrent/QtConcurrentRun>

#include <QCoroFuture>

namespace model {

// Each form copies the store (a folder path) before its first suspension, so
// the worker never reaches back into an object that may be gone. The future
// is a named local: g++ 12 destroys lambda temporaries of a
// `co_return co_await` expression twice.

QCoro::Task<AttachmentTempStore::StageFileResult>
AttachmentTempStore::stageFileAsync(QUrl url, QString displayPath, qint64 currentCount, qint64 currentTotalBytes) const
{
    QFuture<StageFileResult> future =
        QtConcurrent::run([store = *this, url, displayPath, currentCount, currentTotalBytes] {
            return store.stageFile(url, displayPath, currentCount, currentTotalBytes);
        });
    StageFileResult result = co_await future;
    co_return result;
}

QCoro::Task<AttachmentTempStore::StageImageResult>
AttachmentTempStore::stageImageAsync(QByteArray data, QString suggestedName, qint64 currentCount,
                                     qint64 currentTotalBytes) const
{
    QFuture<StageImageResult> future =
        QtConcurrent::run([store = *this, data, suggestedName, currentCount, currentTotalBytes] {
            return store.stageImage(data, suggestedName, currentCount, currentTotalBytes);
        });
    StageImageResult result = co_await future;
    co_return result;
}

} // namespace model
