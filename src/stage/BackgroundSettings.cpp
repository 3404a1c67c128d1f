#include "stage/BackgroundSettings.h"

#include "stage/BackgroundFiles.h"
#include "stage/BackgroundPersisted.h"
#include "stage/StagePhotoCatalog.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/SharedNetwork.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>

namespace stage {

namespace {

constexpr int kMigratedJpegQuality = 90;

double clampedOpacity(double value)
{
    if (std::isnan(value) || value < 0.0)
        return 0.0;
    return value > 1.0 ? 1.0 : value;
}

} // namespace

BackgroundSettings::Config BackgroundSettings::defaultConfig()
{
    Config config;
    config.supportDirectory = platform::AppPaths::supportDirectory();
    return config;
}

BackgroundSettings &BackgroundSettings::shared()
{
    static BackgroundSettings *settings = new BackgroundSettings(defaultConfig());
    return *settings;
}

BackgroundSettings::BackgroundSettings(const Config &config, QObject *parent)
    : QObject(parent)
    , m_config(config)
{
    m_config.supportDirectory = QDir::cleanPath(QDir(m_config.supportDirectory).absolutePath());
    QDir().mkpath(m_config.supportDirectory);
    QDir().mkpath(historyDirectory());

    loadPersisted();
    if (!m_useVideo && m_config.startupImageInBackground) {
        // Finished by loadStartupImage(), in the same order, once decoded.
        m_startupLoad = beginGeneration();
        loadStartupImage();
    } else if (!m_useVideo) {
        loadCurrentFromDisk();
        if (!m_loadedImage.isNull() && !m_currentImagePath.isEmpty())
            persist();
        if (m_loadedImage.isNull())
            installShipDefaultStage();
    }
    setPhotoCredit(StagePhotoCatalog::credit(m_customURLString));
    refreshCanUndo();
}

namespace {

// What start-up shows, found and decoded on a worker thread.
struct StartupImage {
    QString winner;          // the candidate that decoded; empty: none did
    QImage image;            // its picture
    QByteArray migrated;     // a legacy winner as JPEG for the current slot; empty: copy it
    QByteArray firstRun;     // no winner: the first-run image's bytes
    QImage firstRunImage;    // and its picture; null: it does not decode
};

StartupImage findStartupImage(const QStringList &candidates, const QString &currentSlot, const QString &firstRun,
                              qint64 maxPixels, QSize fit)
{
    StartupImage found;
    for (const QString &path : candidates) {
        if (!QFileInfo(path).isFile())
            continue;
        if (path == currentSlot) {
            found.image = BackgroundFiles::decodeImageFile(path, maxPixels, fit);
        } else {
            // A legacy file moves into the current slot whole: decoded at full size.
            found.image = BackgroundFiles::decodeImageFile(path, maxPixels);
            if (!found.image.isNull())
                found.migrated = BackgroundFiles::encodeJpeg(found.image, kMigratedJpegQuality);
        }
        if (!found.image.isNull()) {
            found.winner = path;
            return found;
        }
    }
    QFile resource(firstRun);
    if (resource.open(QIODevice::ReadOnly)) {
        found.firstRun = resource.readAll();
        found.firstRunImage = BackgroundFiles::decodeImageBytes(found.firstRun, maxPixels, fit);
    }
    return found;
}

} // namespace

void BackgroundSettings::loadStartupImage()
{
    const quint64 generation = m_startupLoad;
    // A watcher, not a co_await: the result is applied from the event loop
    // even when the worker is done before the constructor is, so nothing is
    // ever decoded on the way to the window's first frame.
    auto *watcher = new QFutureWatcher<StartupImage>(this);
    connect(watcher, &QFutureWatcher<StartupImage>::finished, this, [this, watcher, generation] {
        const StartupImage found = watcher->result();
        watcher->deleteLater();
        // Any wallpaper action meanwhile, a reload or video mode has the last word.
        const bool current = m_startupLoad == generation && isCurrent(generation) && !m_useVideo;
        m_startupLoad = 0;
        if (current && !found.winner.isEmpty()) {
            if (found.winner != currentImageFilePath()) {
                if (!found.migrated.isEmpty())
                    (void)platform::writeFileAtomically(currentImageFilePath(), found.migrated);
                else if (!QFileInfo::exists(currentImageFilePath()))
                    QFile::copy(found.winner, currentImageFilePath());
            }
            m_currentImagePath = currentImageFilePath();
            setLoadedImage(found.image);
            persist();
        } else if (current && !found.firstRunImage.isNull()) {
            installFirstRunStage(found.firstRun, found.firstRunImage);
        }
        emit startupImageLoaded();
    });
    watcher->setFuture(QtConcurrent::run(findStartupImage, currentImageCandidates(), currentImageFilePath(),
                                         m_config.firstRunImage, m_config.maxImagePixels, m_config.startupImageFit));
}

BackgroundSettings::~BackgroundSettings() = default;

QString BackgroundSettings::configPath() const
{
    return QDir(m_config.supportDirectory).filePath(QStringLiteral("background.json"));
}

QString BackgroundSettings::currentImageFilePath() const
{
    return QDir(m_config.supportDirectory).filePath(QStringLiteral("wallpaper-current.jpg"));
}

QString BackgroundSettings::historyDirectory() const
{
    return QDir(m_config.supportDirectory).filePath(QStringLiteral("wallpaper-history"));
}

QNetworkAccessManager &BackgroundSettings::network() const
{
    return m_config.network ? *m_config.network : platform::sharedNetwork();
}

// --- published fields and their change rules ---

void BackgroundSettings::setIsEnabled(bool on)
{
    if (on != m_isEnabled) {
        // Turning the stage off is a later choice than any download in flight.
        if (!on)
            beginGeneration();
        m_isEnabled = on;
        emit isEnabledChanged(on);
        emit changed();
    }
    if (!m_suppressPersist)
        persist();
}

void BackgroundSettings::setOverlayOpacity(double opacity)
{
    opacity = clampedOpacity(opacity);
    if (opacity != m_overlayOpacity) {
        m_overlayOpacity = opacity;
        emit overlayOpacityChanged(opacity);
        emit changed();
    }
    if (!m_suppressPersist)
        persist();
}

void BackgroundSettings::setAnimateKenBurns(bool on)
{
    if (on != m_animateKenBurns) {
        m_animateKenBurns = on;
        emit animateKenBurnsChanged(on);
        emit changed();
    }
    if (!m_suppressPersist)
        persist();
}

void BackgroundSettings::setUseVideo(bool on)
{
    if (on != m_useVideo) {
        m_useVideo = on;
        emit useVideoChanged(on);
        emit changed();
    }
    if (!m_suppressPersist)
        persist();
}

void BackgroundSettings::setCustomURLString(const QString &text)
{
    if (text != m_customURLString) {
        m_customURLString = text;
        emit customURLStringChanged(text);
        emit changed();
    }
    if (!m_suppressPersist)
        setPhotoCredit(StagePhotoCatalog::credit(text));
}

void BackgroundSettings::setLoadedImage(const QImage &image)
{
    if (image.isNull() && m_loadedImage.isNull())
        return;
    m_loadedImage = image;
    emit loadedImageChanged();
    emit changed();
}

void BackgroundSettings::setStatusMessage(const QString &text)
{
    m_statusMessage = text;
    emit statusMessageChanged(text);
    emit changed();
}

void BackgroundSettings::setLoadingRemote(bool loading)
{
    if (loading == m_isLoadingRemote)
        return;
    m_isLoadingRemote = loading;
    emit isLoadingRemoteChanged(loading);
    emit changed();
}

void BackgroundSettings::setCanUndo(bool canUndo)
{
    if (canUndo == m_canUndo)
        return;
    m_canUndo = canUndo;
    emit canUndoChanged(canUndo);
    emit changed();
}

void BackgroundSettings::setPhotoCredit(const std::optional<StagePhotoCredit> &credit)
{
    if (credit == m_photoCredit)
        return;
    m_photoCredit = credit;
    emit photoCreditChanged();
    emit changed();
}

void BackgroundSettings::setVideoFilePath(const QString &path, bool newVideo)
{
    if (path == m_videoFilePath && !newVideo)
        return;
    m_videoFilePath = path;
    if (newVideo)
        ++m_videoRevision;
    emit videoChanged();
    emit changed();
}

void BackgroundSettings::refreshCanUndo()
{
    setCanUndo(!m_historyStack.isEmpty());
}

// --- start-up and files ---

void BackgroundSettings::loadPersisted()
{
    m_suppressPersist = true;
    QFile file(configPath());
    std::optional<BackgroundPersisted> record;
    if (file.open(QIODevice::ReadOnly))
        record = BackgroundPersisted::decode(file.readAll());

    if (!record) {
        setIsEnabled(false);
        setOverlayOpacity(0.35);
        setAnimateKenBurns(true);
        setUseVideo(false);
        m_historyStack.clear();
        setPhotoCredit(std::nullopt);
        m_suppressPersist = false;
        return;
    }

    setIsEnabled(record->isEnabled);
    setOverlayOpacity(record->overlayOpacity);
    setCustomURLString(record->customURLString);
    // Paths from the file are only taken when they name our own files.
    const QString current = record->currentImagePath.value_or(QString());
    const QDir support(m_config.supportDirectory);
    if (current == currentImageFilePath() || current == support.filePath(QStringLiteral("user-wallpaper-remote.jpg"))
        || current == support.filePath(QStringLiteral("user-wallpaper.jpg")))
        m_currentImagePath = current;
    setAnimateKenBurns(record->animateKenBurns);
    setUseVideo(record->useVideo);
    const QString video = record->videoFilePath.value_or(QString());
    setVideoFilePath(BackgroundFiles::isVideoSlot(video, m_config.supportDirectory) ? video : QString(), false);

    m_historyStack.clear();
    for (const QString &path : record->historyStack) {
        if (m_historyStack.size() >= BackgroundFiles::kHistoryLimit)
            break;
        if (BackgroundFiles::isHistoryEntry(path, historyDirectory()) && QFileInfo(path).isFile()
            && !m_historyStack.contains(path))
            m_historyStack.append(path);
    }
    setPhotoCredit(record->photoCredit ? record->photoCredit : StagePhotoCatalog::credit(record->customURLString));
    m_suppressPersist = false;
}

void BackgroundSettings::persist()
{
    if (!m_photoCredit)
        setPhotoCredit(StagePhotoCatalog::credit(m_customURLString));
    BackgroundPersisted record;
    record.isEnabled = m_isEnabled;
    record.overlayOpacity = m_overlayOpacity;
    record.customURLString = m_customURLString;
    if (!m_currentImagePath.isEmpty())
        record.currentImagePath = m_currentImagePath;
    record.animateKenBurns = m_animateKenBurns;
    record.useVideo = m_useVideo;
    if (!m_videoFilePath.isEmpty())
        record.videoFilePath = m_videoFilePath;
    record.historyStack = m_historyStack;
    record.didFinishInitialSetup = true;
    record.photoCredit = m_photoCredit;
    // A file that already holds these bytes is left alone: every start
    // restores the wallpaper, and replacing and syncing the file then held
    // the UI thread while the window drew its first frame.
    const QByteArray bytes = record.encode();
    QFile current(configPath());
    if (!current.open(QIODevice::ReadOnly) || current.size() != bytes.size() || current.readAll() != bytes) {
        // A failed write is not reported: the state in memory stays right and
        // the next change writes the file again.
        (void)platform::writeFileAtomically(configPath(), bytes);
    }
    refreshCanUndo();
}

QStringList BackgroundSettings::currentImageCandidates() const
{
    const QDir support(m_config.supportDirectory);
    QStringList candidates;
    if (!m_currentImagePath.isEmpty())
        candidates << m_currentImagePath;
    candidates << currentImageFilePath() << support.filePath(QStringLiteral("user-wallpaper-remote.jpg"))
               << support.filePath(QStringLiteral("user-wallpaper.jpg"));
    return candidates;
}

void BackgroundSettings::loadCurrentFromDisk()
{
    const QStringList candidates = currentImageCandidates();
    for (const QString &path : candidates) {
        if (!QFileInfo(path).isFile())
            continue;
        const QImage image = BackgroundFiles::decodeImageFile(path, m_config.maxImagePixels);
        if (image.isNull())
            continue;
        if (path != currentImageFilePath()) {
            // An older file: move its picture into the current slot, leave it in place.
            const QByteArray jpeg = BackgroundFiles::encodeJpeg(image, kMigratedJpegQuality);
            if (!jpeg.isEmpty())
                (void)platform::writeFileAtomically(currentImageFilePath(), jpeg);
            else if (!QFileInfo::exists(currentImageFilePath()))
                QFile::copy(path, currentImageFilePath());
        }
        m_currentImagePath = currentImageFilePath();
        setLoadedImage(image);
        return;
    }
    setLoadedImage({});
}

void BackgroundSettings::installShipDefaultStage()
{
    QFile resource(m_config.firstRunImage);
    if (!resource.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = resource.readAll();
    const QImage image = BackgroundFiles::decodeImageBytes(bytes, m_config.maxImagePixels);
    if (!image.isNull())
        installFirstRunStage(bytes, image);
}

void BackgroundSettings::installFirstRunStage(const QByteArray &bytes, const QImage &image)
{
    // The WebP bytes go under the .jpg name; the file is read back by content.
    (void)platform::writeFileAtomically(currentImageFilePath(), bytes);
    setLoadedImage(image);
    m_currentImagePath = currentImageFilePath();
    setCustomURLString(StagePhotoCatalog::firstRunImageAddress());
    setIsEnabled(true);
    persist();
}

void BackgroundSettings::saveEncodedAsCurrent(const QImage &image, const QByteArray &jpeg)
{
    if (!jpeg.isEmpty()) {
        (void)platform::writeFileAtomically(currentImageFilePath(), jpeg);
        m_currentImagePath = currentImageFilePath();
    }
    setLoadedImage(image);
}

void BackgroundSettings::pushCurrentToHistoryIfNeeded()
{
    const QString source = m_currentImagePath.isEmpty() ? currentImageFilePath() : m_currentImagePath;
    if (!QFileInfo(source).isFile())
        return;
    // Two pushes in one millisecond would share a name; the later one takes
    // the next free number instead of losing the picture it replaces.
    QDir history(historyDirectory());
    qint64 stamp = QDateTime::currentMSecsSinceEpoch();
    while (history.exists(BackgroundFiles::historyFileName(stamp)))
        ++stamp;
    const QString destination = history.filePath(BackgroundFiles::historyFileName(stamp));
    if (!QFile::copy(source, destination))
        return;
    m_historyStack.prepend(destination);
    while (m_historyStack.size() > BackgroundFiles::kHistoryLimit) {
        const QString oldest = m_historyStack.takeLast();
        if (BackgroundFiles::isHistoryEntry(oldest, historyDirectory()))
            QFile::remove(oldest);
    }
    refreshCanUndo();
    persist();
}

void BackgroundSettings::reloadImage()
{
    if (!m_isEnabled)
        return;
    if (m_useVideo) {
        m_startupLoad = 0; // a start-up image has nothing to add to a video
        setLoadedImage({});
        return;
    }
    loadCurrentFromDisk();
    // An image found now wins over a start-up load still in flight; with
    // none, that load may still install the first-run image.
    if (!m_loadedImage.isNull())
        m_startupLoad = 0;
}

QStringList BackgroundSettings::imageNameFilters()
{
    return {QStringLiteral("Images (*.jpg *.jpeg *.png *.heic *.heif *.webp *.gif *.bmp *.tif *.tiff)")};
}

QStringList BackgroundSettings::videoNameFilters()
{
    return {QStringLiteral("Movies (*.mp4 *.m4v *.mov *.qt *.mkv *.webm *.avi *.mpg *.mpeg *.ogv)")};
}

} // namespace stage
