#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QString>
#include <QUrl>

#include <qcoro/qcorotask.h>

class QNetworkAccessManager;

namespace stage {

// What one web-image download brought back.
struct WallpaperDownload {
    // The HTTP status of the final reply; 0 when no HTTP reply came.
    int httpStatus = 0;
    QByteArray body;
    // The body passed the byte limit; the transfer was stopped.
    bool tooLarge = false;
    // TimeoutError when no byte came for the transfer time-out.
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QString errorText;
};

struct WallpaperDownloadLimits {
    qint64 maxBytes = 40LL * 1024 * 1024;
    int transferTimeoutMs = 60'000;
};

// A plain GET of an image address. Redirects are followed also to other
// hosts (the random-image service answers with one; no credentials travel
// with these requests). The body is counted while it arrives, and the
// transfer stops as soon as it passes the limit.
QCoro::Task<WallpaperDownload> downloadWallpaper(QNetworkAccessManager *network, QUrl url,
                                                 WallpaperDownloadLimits limits);

} // namespace stage
