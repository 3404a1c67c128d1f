#include "stage/WallpaperDownloader.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QPointer>

#include <qcoro/qcoronetworkreply.h>

#include <memory>

namespace stage {

QCoro::Task<WallpaperDownload> downloadWallpaper(QNetworkAccessManager *network, QUrl url,
                                                 WallpaperDownloadLimits limits)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(limits.transferTimeoutMs);

    // The reply goes with this download, unless its manager took it first.
    struct ReplyOwner {
        QPointer<QNetworkReply> reply;
        ~ReplyOwner()
        {
            if (reply)
                reply->deleteLater();
        }
    };
    const ReplyOwner owner{network->get(request)};
    QNetworkReply *r = owner.reply.data();

    // Shared with the slots below; lives as long as the reply's connections.
    auto result = std::make_shared<WallpaperDownload>();
    const auto over = [result, r, limits](qint64 size) {
        if (size <= limits.maxBytes || result->tooLarge)
            return false;
        result->tooLarge = true;
        result->body.clear();
        r->abort();
        return true;
    };
    QObject::connect(r, &QNetworkReply::metaDataChanged, r, [r, over] {
        const QVariant length = r->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid())
            over(length.toLongLong());
    });
    QObject::connect(r, &QNetworkReply::readyRead, r, [r, result, over] {
        if (result->tooLarge)
            return;
        const QByteArray chunk = r->readAll();
        if (!over(result->body.size() + chunk.size()))
            result->body += chunk;
    });

    // Named, not a temporary of the co_await expression (g++ 12 may destroy those twice).
    auto awaitable = qCoro(r);
    co_await awaitable.waitForFinished();
    if (!owner.reply) {
        result->error = QNetworkReply::OperationCanceledError;
        result->errorText = QStringLiteral("Operation canceled");
        co_return *result;
    }

    if (!result->tooLarge) {
        const QByteArray rest = r->readAll();
        if (!over(result->body.size() + rest.size()))
            result->body += rest;
    }
    const QVariant status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    result->httpStatus = status.isValid() ? status.toInt() : 0;
    result->error = r->error();
    result->errorText = r->errorString();
    // Only the transfer time-out cancels a reply we did not stop ourselves;
    // say what happened rather than "Operation canceled".
    if (result->error == QNetworkReply::OperationCanceledError && !result->tooLarge) {
        result->error = QNetworkReply::TimeoutError;
        result->errorText = QCoreApplication::translate("QAbstractSocket", "Socket operation timed out");
    }
    if (result->tooLarge)
        result->body.clear();
    co_return *result;
}

} // namespace stage
