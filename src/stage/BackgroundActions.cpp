// The user's wallpaper actions. Each one that changes the wallpaper starts
// a new generation first; after every suspension it checks that it is
// still the newest, so a slower, older action can never undo a later one.

#include "stage/BackgroundSettings.h"

#include "stage/BackgroundFiles.h"
#include "stage/StagePhotoCatalog.h"
#include "stage/WallpaperDownloader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRandomGenerator>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

namespace stage {

namespace {

constexpr int kJpegQuality = 88;
constexpr double kOpaqueVeil = 0.999;

const QString kCouldNotLoadURL = QStringLiteral("Could not load image from URL.");

// A decoded image and its JPEG form for the current slot, made off the UI thread.
struct Prepared {
    QImage image;
    QByteArray jpeg;
};

Prepared prepare(const QImage &image)
{
    Prepared p;
    if (!image.isNull()) {
        p.image = image;
        p.jpeg = BackgroundFiles::encodeJpeg(image, kJpegQuality);
    }
    return p;
}

QFuture<Prepared> prepareBytes(QByteArray bytes, qint64 maxPixels)
{
    return QtConcurrent::run([bytes, maxPixels] { return prepare(BackgroundFiles::decodeImageBytes(bytes, maxPixels)); });
}

QFuture<Prepared> prepareFile(QString path, qint64 maxPixels)
{
    return QtConcurrent::run([path, maxPixels] { return prepare(BackgroundFiles::decodeImageFile(path, maxPixels)); });
}

// Connection, time-out, redirect and proxy failures (Qt numbers them below
// 200) and a body that breaks the protocol; the other codes stand for HTTP
// error statuses that came complete.
bool isTransportError(QNetworkReply::NetworkError error)
{
    return (error != QNetworkReply::NoError && int(error) < 200) || error == QNetworkReply::ProtocolFailure;
}

} // namespace

quint64 BackgroundSettings::beginGeneration()
{
    ++m_fetchGeneration;
    // Whatever download was showing progress is no longer the newest.
    setLoadingRemote(false);
    return m_fetchGeneration;
}

QCoro::Task<> BackgroundSettings::pickLocalImage(QString path)
{
    if (path.isEmpty())
        co_return; // the panel was cancelled
    const quint64 generation = beginGeneration();
    QPointer<BackgroundSettings> self(this);
    QFuture<Prepared> work = prepareFile(path, m_config.maxImagePixels);
    const Prepared prepared = co_await work;
    if (!self || !isCurrent(generation))
        co_return;
    if (prepared.image.isNull()) {
        setStatusMessage(QStringLiteral("Could not read image."));
        co_return;
    }
    pushCurrentToHistoryIfNeeded();
    saveEncodedAsCurrent(prepared.image, prepared.jpeg);
    setUseVideo(false);
    setVideoFilePath(QString(), false);
    setIsEnabled(true);
    std::optional<StagePhotoCredit> credit =
        StagePhotoCatalog::credit(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded));
    setPhotoCredit(credit ? credit : StagePhotoCatalog::credit(m_customURLString));
    setStatusMessage(QStringLiteral("Using ") + QFileInfo(path).fileName());
    persist();
}

QCoro::Task<> BackgroundSettings::pickLocalVideo(QString path)
{
    if (path.isEmpty())
        co_return;
    const quint64 generation = beginGeneration();
    const QString destination = QDir(m_config.supportDirectory)
                                    .filePath(QStringLiteral("wallpaper-video.") + BackgroundFiles::videoSlotExtension(path));

    // The chosen file may already be the current video: keep it as it is.
    if (!BackgroundFiles::isSameFile(path, destination)) {
        QPointer<BackgroundSettings> self(this);
        const QString folder = m_config.supportDirectory;
        QFuture<platform::Result<QString, QString>> work =
            QtConcurrent::run([path, folder] { return BackgroundFiles::copyToTemporary(path, folder); });
        const platform::Result<QString, QString> copied = co_await work;
        if (!self || !isCurrent(generation)) {
            if (copied)
                QFile::remove(copied.value());
            co_return;
        }
        if (!copied) {
            setStatusMessage(copied.error());
            co_return;
        }
        // Only now, with the copy complete, does the old video go.
        const QString error = BackgroundFiles::replaceWith(copied.value(), destination);
        if (!error.isEmpty()) {
            setStatusMessage(error);
            co_return;
        }
    }

    pushCurrentToHistoryIfNeeded();
    setVideoFilePath(destination, true);
    setUseVideo(true);
    setLoadedImage({});
    m_currentImagePath.clear();
    setIsEnabled(true);
    setStatusMessage(QStringLiteral("Video set."));
    persist();
}

QCoro::Task<> BackgroundSettings::applyRemoteURL()
{
    const QString text = m_customURLString.trimmed();
    const QUrl url(text, QUrl::StrictMode);
    // QUrl lower-cases the scheme; the scheme as typed must be exactly one of these.
    const QStringView typedScheme = QStringView(text).left(url.scheme().size());
    if (!url.isValid() || (typedScheme != u"http" && typedScheme != u"https")) {
        setStatusMessage(QStringLiteral("Enter a valid http(s) image URL."));
        co_return;
    }
    // Named, not built in the co_await expression (g++ 12 may destroy such temporaries twice).
    const QString status = QStringLiteral("Background from URL.");
    co_await fetchAndApply(url, status);
}

QCoro::Task<> BackgroundSettings::fetchPicsumRandom()
{
    const quint32 seed = QRandomGenerator::system()->bounded(100000u) + 1;
    QString base = m_config.randomImageBase.toString(QUrl::FullyEncoded);
    while (base.endsWith(u'/'))
        base.chop(1);
    const QUrl url(base + QStringLiteral("/seed/%1/1920/1080").arg(seed), QUrl::StrictMode);
    if (!url.isValid())
        co_return;
    setCustomURLString(url.toString(QUrl::FullyEncoded));
    setPhotoCredit(std::nullopt);
    const QString status = QStringLiteral("Random image."); // named: see applyRemoteURL
    co_await fetchAndApply(url, status);
}

QCoro::Task<> BackgroundSettings::fetchAndApply(QUrl url, QString status)
{
    const quint64 generation = beginGeneration();
    setLoadingRemote(true);
    QPointer<BackgroundSettings> self(this);

    QCoro::Task<WallpaperDownload> transfer = downloadWallpaper(
        &network(), url, WallpaperDownloadLimits{m_config.maxDownloadBytes, m_config.transferTimeoutMs});
    const WallpaperDownload download = co_await transfer;
    if (!self || !isCurrent(generation))
        co_return; // a later action owns the stage (and the progress flag)

    const bool httpOK = download.httpStatus >= 200 && download.httpStatus <= 399;
    // A transfer that broke off (also after the status line came) is a
    // failed download, never a short image; an HTTP error status is not.
    const bool transportFailed = download.error != QNetworkReply::NoError && !download.tooLarge
                                 && (download.httpStatus == 0 || isTransportError(download.error));
    if (transportFailed) {
        setStatusMessage(download.errorText);
        setLoadingRemote(false);
        co_return;
    }
    Prepared prepared;
    if (httpOK && !download.tooLarge && !download.body.isEmpty()) {
        QFuture<Prepared> work = prepareBytes(download.body, m_config.maxImagePixels);
        prepared = co_await work;
        if (!self || !isCurrent(generation))
            co_return;
    }
    if (prepared.image.isNull()) {
        setStatusMessage(kCouldNotLoadURL);
        setLoadingRemote(false);
        co_return;
    }

    pushCurrentToHistoryIfNeeded();
    saveEncodedAsCurrent(prepared.image, prepared.jpeg);
    setUseVideo(false);
    setVideoFilePath(QString(), false);
    setIsEnabled(true);
    const QString address = url.toString(QUrl::FullyEncoded);
    setCustomURLString(address);
    setPhotoCredit(StagePhotoCatalog::credit(address));
    setStatusMessage(status);
    persist();
    setLoadingRemote(false);
}

QCoro::Task<> BackgroundSettings::undoWallpaper()
{
    if (m_historyStack.isEmpty()) {
        setStatusMessage(QStringLiteral("Nothing to undo."));
        co_return;
    }
    const quint64 generation = beginGeneration();
    const QString previous = m_historyStack.first();
    QPointer<BackgroundSettings> self(this);
    const qint64 maxPixels = m_config.maxImagePixels;
    QFuture<Prepared> work = QtConcurrent::run([previous, maxPixels] {
        Prepared p;
        p.image = BackgroundFiles::decodeImageFile(previous, maxPixels);
        return p;
    });
    const Prepared prepared = co_await work;
    if (!self || !isCurrent(generation) || m_historyStack.value(0) != previous)
        co_return;

    if (prepared.image.isNull()) {
        m_historyStack.removeFirst();
        setStatusMessage(QStringLiteral("Previous image missing from history."));
        refreshCanUndo();
        persist();
        co_return;
    }
    // The restored file is in place before the history copy goes; a failed
    // copy leaves the current image and the history as they were.
    const QString error = BackgroundFiles::copyReplacing(previous, currentImageFilePath());
    if (!error.isEmpty()) {
        setStatusMessage(error);
        co_return;
    }
    m_historyStack.removeFirst();
    if (BackgroundFiles::isHistoryEntry(previous, historyDirectory()))
        QFile::remove(previous);

    m_currentImagePath = currentImageFilePath();
    setLoadedImage(prepared.image);
    setUseVideo(false);
    setVideoFilePath(QString(), false);
    setIsEnabled(true);
    setStatusMessage(QStringLiteral("Restored previous wallpaper."));
    refreshCanUndo();
    persist();
}

void BackgroundSettings::clearBackground()
{
    beginGeneration();
    setIsEnabled(false);
    setLoadedImage({});
    setUseVideo(false);
    setStatusMessage(QStringLiteral("Background hidden. Your image is still saved for next time you turn it on."));
    persist();
}

void BackgroundSettings::applyOverlayOpacity(double value)
{
    if (std::isnan(value) || value < 0.0)
        value = 0.0;
    else if (value > 1.0)
        value = 1.0;
    setOverlayOpacity(value);
    if (!m_isEnabled && value < kOpaqueVeil && (!m_loadedImage.isNull() || m_useVideo)) {
        setIsEnabled(true);
        if (!m_useVideo)
            loadCurrentFromDisk();
    }
}

} // namespace stage
