#pragma once

#include "stage/StagePhotoCredit.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <QSize>
#include <QStringList>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <optional>

class QNetworkAccessManager;

namespace stage {

// The wallpaper stage behind the main window: whether it shows, its veil,
// its motion, image or video mode, the current image and its credit, the
// undo history, and the status line of the last wallpaper action. Kept in
// background.json and a few files in the application's folder:
//   wallpaper-current.jpg        the current image (content-sniffed on reading)
//   wallpaper-history/wp-<ms>.jpg earlier images, newest first, at most 200
//   wallpaper-video.<ext>        the copied video
// Main thread only. Big decoding, encoding and copying run on worker
// threads; every action that changes the wallpaper moves a generation
// counter, so an older action still in flight (a slow download) can no
// longer change anything when it completes.
class BackgroundSettings : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isEnabled READ isEnabled WRITE setIsEnabled NOTIFY isEnabledChanged)
    Q_PROPERTY(double overlayOpacity READ overlayOpacity WRITE setOverlayOpacity NOTIFY overlayOpacityChanged)
    Q_PROPERTY(bool animateKenBurns READ animateKenBurns WRITE setAnimateKenBurns NOTIFY animateKenBurnsChanged)
    Q_PROPERTY(bool useVideo READ useVideo WRITE setUseVideo NOTIFY useVideoChanged)
    Q_PROPERTY(QImage loadedImage READ loadedImage NOTIFY loadedImageChanged)
    Q_PROPERTY(QString statusMessage READ statusMessage NOTIFY statusMessageChanged)
    Q_PROPERTY(bool isLoadingRemote READ isLoadingRemote NOTIFY isLoadingRemoteChanged)
    Q_PROPERTY(QString customURLString READ customURLString WRITE setCustomURLString NOTIFY customURLStringChanged)
    Q_PROPERTY(bool canUndo READ canUndo NOTIFY canUndoChanged)
    Q_PROPERTY(QString videoFilePath READ videoFilePath NOTIFY videoChanged)
    Q_PROPERTY(int videoRevision READ videoRevision NOTIFY videoChanged)

public:
    struct Config {
        QString supportDirectory;                          // the application's folder
        QString firstRunImage = QStringLiteral(":/default-stage.webp");
        QUrl randomImageBase = QUrl(QStringLiteral("https://picsum.photos"));
        QNetworkAccessManager *network = nullptr;          // null: platform::sharedNetwork()
        qint64 maxDownloadBytes = 40LL * 1024 * 1024;      // checked while reading
        qint64 maxImagePixels = 64LL * 1024 * 1024;        // larger images are refused undecoded
        int transferTimeoutMs = 60'000;                    // no bytes for this long: failure
        // Start-up finds and decodes the current image (or the first-run
        // image) on a worker thread, no larger than needed to fill
        // startupImageFit, instead of before the window can first be drawn;
        // until it is there the stage shows its colour alone.
        bool startupImageInBackground = false;
        QSize startupImageFit;                             // invalid: full size
    };
    // The application's folder and the real web hosts.
    static Config defaultConfig();

    // Restores background.json and the current image, or installs the
    // first-run stage image when image mode finds nothing to show (at once,
    // or once a worker has decoded it: see Config).
    explicit BackgroundSettings(const Config &config, QObject *parent = nullptr);
    ~BackgroundSettings() override;

    // Created on first use with defaultConfig(); never released.
    static BackgroundSettings &shared();

    // Published fields. Setting isEnabled, overlayOpacity, animateKenBurns
    // or useVideo saves background.json; setting customURLString refreshes
    // photoCredit from the catalog and does not save.
    bool isEnabled() const { return m_isEnabled; }
    void setIsEnabled(bool on);
    double overlayOpacity() const { return m_overlayOpacity; }
    void setOverlayOpacity(double opacity);
    bool animateKenBurns() const { return m_animateKenBurns; }
    void setAnimateKenBurns(bool on);
    bool useVideo() const { return m_useVideo; }
    void setUseVideo(bool on);
    QImage loadedImage() const { return m_loadedImage; } // null: none
    QString statusMessage() const { return m_statusMessage; } // null: none
    bool isLoadingRemote() const { return m_isLoadingRemote; }
    QString customURLString() const { return m_customURLString; }
    void setCustomURLString(const QString &text);
    bool canUndo() const { return m_canUndo; }
    std::optional<StagePhotoCredit> photoCredit() const { return m_photoCredit; }
    QString videoFilePath() const { return m_videoFilePath; } // empty: none
    // Moves whenever a video is set, so a player reloads even when the
    // path is the same as before.
    int videoRevision() const { return m_videoRevision; }

    // The start-up image is still being decoded off the UI thread.
    bool isLoadingStartupImage() const { return m_startupLoad != 0; }

    // Plain state, for the views and tests.
    QString currentImagePath() const { return m_currentImagePath; } // empty: none
    QStringList historyStack() const { return m_historyStack; }
    QString supportDirectory() const { return m_config.supportDirectory; }
    QString configPath() const;
    QString currentImageFilePath() const;
    QString historyDirectory() const;

    // Saves background.json now.
    void persist();
    // After the stage was switched on: brings loadedImage in line with the mode.
    void reloadImage();

    // Actions. Each ends in statusMessage and raises nothing. The file
    // choosers are the views' business: they pass the chosen path (empty
    // when the panel was cancelled). The returned task may be ignored.
    QCoro::Task<> pickLocalImage(QString path);
    QCoro::Task<> pickLocalVideo(QString path);
    QCoro::Task<> applyRemoteURL();
    QCoro::Task<> fetchPicsumRandom();
    QCoro::Task<> undoWallpaper();
    void clearBackground();
    void applyOverlayOpacity(double value);

    // What the views' file panels offer.
    static QString chooseImageMessage() { return QStringLiteral("Choose image"); }
    static QString chooseVideoMessage() { return QStringLiteral("Choose video"); }
    static QStringList imageNameFilters(); // JPEG, PNG, HEIC, WebP, GIF, BMP, TIFF
    static QStringList videoNameFilters(); // MPEG-4, QuickTime, any movie

signals:
    void isEnabledChanged(bool on);
    void overlayOpacityChanged(double opacity);
    void animateKenBurnsChanged(bool on);
    void useVideoChanged(bool on);
    void loadedImageChanged();
    void statusMessageChanged(const QString &text);
    void isLoadingRemoteChanged(bool loading);
    void customURLStringChanged(const QString &text);
    void canUndoChanged(bool canUndo);
    void photoCreditChanged();
    void videoChanged();
    // After any published field changed.
    void changed();
    // The start-up image decoded in the background was applied (or found stale).
    void startupImageLoaded();

private:
    // Start-up and files.
    void loadPersisted();
    void loadCurrentFromDisk();
    void installShipDefaultStage();
    void installFirstRunStage(const QByteArray &bytes, const QImage &image);
    void loadStartupImage();
    QStringList currentImageCandidates() const;
    void saveEncodedAsCurrent(const QImage &image, const QByteArray &jpeg);
    void pushCurrentToHistoryIfNeeded();
    void refreshCanUndo();

    // Actions.
    QCoro::Task<> fetchAndApply(QUrl url, QString status);
    // Starts a new generation: whatever was in flight is stale from now on.
    quint64 beginGeneration();
    bool isCurrent(quint64 generation) const { return generation == m_fetchGeneration; }

    // Setters that obey no change rule.
    void setLoadedImage(const QImage &image);
    void setStatusMessage(const QString &text);
    void setLoadingRemote(bool loading);
    void setCanUndo(bool canUndo);
    void setPhotoCredit(const std::optional<StagePhotoCredit> &credit);
    void setVideoFilePath(const QString &path, bool newVideo);

    QNetworkAccessManager &network() const;

    Config m_config;
    bool m_isEnabled = false;
    double m_overlayOpacity = 0.35;
    bool m_animateKenBurns = true;
    bool m_useVideo = false;
    QImage m_loadedImage;
    QString m_statusMessage;
    bool m_isLoadingRemote = false;
    QString m_customURLString;
    bool m_canUndo = false;
    std::optional<StagePhotoCredit> m_photoCredit;
    QString m_videoFilePath;
    int m_videoRevision = 0;

    QString m_currentImagePath;
    bool m_suppressPersist = false;
    quint64 m_fetchGeneration = 0;
    quint64 m_startupLoad = 0; // the generation a background start-up load began in; 0: none
    QStringList m_historyStack;
};

} // namespace stage
