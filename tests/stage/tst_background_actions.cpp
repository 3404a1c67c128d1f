#include "support/TestMain.h"
#include "support/WebImagePeer.h"

#include "stage/BackgroundPersisted.h"
#include "stage/BackgroundSettings.h"
#include "stage/StagePhotoCatalog.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cmath>
#include <limits>

using namespace stage;
using testsupport::WebImagePeer;

Q_DECLARE_METATYPE(testsupport::WebImagePeer::Reply)

namespace {

const QString kCouldNotLoad = QStringLiteral("Could not load image from URL.");

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// The colour in the middle of an image (away from the white test corner).
QColor middle(const QImage &image)
{
    return image.pixelColor(image.width() * 3 / 4, image.height() * 3 / 4);
}

bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) < 12 && std::abs(a.green() - b.green()) < 12 && std::abs(a.blue() - b.blue()) < 12;
}

// One stage in its own folder, talking to its own web peer.
struct Stage {
    QTemporaryDir root;
    QString support = root.filePath("support");
    WebImagePeer peer;
    QNetworkAccessManager network;
    std::unique_ptr<BackgroundSettings> settings;

    explicit Stage(qint64 maxBytes = 40LL * 1024 * 1024, int timeoutMs = 20'000)
    {
        BackgroundSettings::Config c;
        c.supportDirectory = support;
        c.randomImageBase = peer.base();
        c.network = &network;
        c.maxDownloadBytes = maxBytes;
        c.transferTimeoutMs = timeoutMs;
        settings = std::make_unique<BackgroundSettings>(c);
    }
    BackgroundSettings &b() { return *settings; }
    QString file(const QString &name) const { return QDir(support).filePath(name); }
    QString localImage(const QString &name, QColor color, const char *format = "png")
    {
        const QString path = root.filePath(name);
        writeAll(path, WebImagePeer::imageBody(format, QSize(64, 48), color));
        return path;
    }
    void applyAddress(const QUrl &url)
    {
        b().setCustomURLString(url.toString());
        QCoro::waitFor(b().applyRemoteURL());
    }
};

// A one-second clip of a test pattern, or empty when ffmpeg is missing.
QString makeVideo(const QString &path, const QString &pattern)
{
    if (QStandardPaths::findExecutable("ffmpeg").isEmpty())
        return {};
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-loglevel", "error", "-y", "-f", "lavfi", "-i", pattern + "=size=64x48:rate=10", "-t",
                            "1", "-pix_fmt", "yuv420p", "-f", "mp4", path});
    if (!ffmpeg.waitForFinished(30'000) || ffmpeg.exitCode() != 0)
        return {};
    return path;
}

} // namespace

class TestBackgroundActions : public QObject {
    Q_OBJECT

private slots:
    void chooseImage()
    {
        Stage s;
        const QImage firstRun = s.b().loadedImage();
        QCoro::waitFor(s.b().pickLocalImage(s.localImage("holiday photo.png", Qt::red)));
        QCOMPARE(s.b().statusMessage(), QStringLiteral("Using holiday photo.png"));
        QVERIFY(near(middle(s.b().loadedImage()), Qt::red));
        QVERIFY(readAll(s.file("wallpaper-current.jpg")).startsWith("\xFF\xD8"));
        QCOMPARE(s.b().historyStack().size(), 1);
        QVERIFY(s.b().canUndo());
        QVERIFY(s.b().isEnabled());
        // The address is left alone, and still earns its credit.
        QCOMPARE(s.b().customURLString(), StagePhotoCatalog::firstRunImageAddress());
        QCOMPARE(s.b().photoCredit()->title, QStringLiteral("Lanterns on the Quay"));

        QCoro::waitFor(s.b().undoWallpaper());
        QCOMPARE(s.b().statusMessage(), QStringLiteral("Restored previous wallpaper."));
        QCOMPARE(s.b().loadedImage().size(), firstRun.size());
        QVERIFY(!s.b().canUndo());
        QVERIFY(QDir(s.file("wallpaper-history")).isEmpty());
        QCoro::waitFor(s.b().undoWallpaper());
        QCOMPARE(s.b().statusMessage(), QStringLiteral("Nothing to undo."));
    }

    void chooseImageFailures()
    {
        Stage s;
        QCoro::waitFor(s.b().pickLocalImage(QString())); // cancelled panel
        QVERIFY(s.b().statusMessage().isNull());
        writeAll(s.root.filePath("notes.png"), "just text");
        QCoro::waitFor(s.b().pickLocalImage(s.root.filePath("notes.png")));
        QCOMPARE(s.b().statusMessage(), QStringLiteral("Could not read image."));
        QVERIFY(s.b().historyStack().isEmpty());
        QCOMPARE(s.b().currentImagePath(), s.file("wallpaper-current.jpg"));
    }

    void webImage_data()
    {
        QTest::addColumn<WebImagePeer::Reply>("reply");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QColor>("color");
        const auto image = [](const char *format, QColor c, int status = 200) {
            WebImagePeer::Reply r;
            r.status = status;
            r.body = WebImagePeer::imageBody(format, QSize(80, 60), c);
            return r;
        };
        QTest::newRow("jpeg") << image("jpeg", Qt::blue) << "Background from URL." << QColor(Qt::blue);
        QTest::newRow("png") << image("png", Qt::green) << "Background from URL." << QColor(Qt::green);
        QTest::newRow("webp") << image("webp", Qt::magenta) << "Background from URL." << QColor(Qt::magenta);
        QTest::newRow("any status below 400") << image("jpeg", Qt::blue, 299) << "Background from URL." << QColor(Qt::blue);
        QTest::newRow("404 with an image body") << image("png", Qt::blue, 404) << kCouldNotLoad << QColor();
        QTest::newRow("500") << image("png", Qt::blue, 500) << kCouldNotLoad << QColor();
        QTest::newRow("html page") << WebImagePeer::Reply{200, "text/html", "<html><body>hi</body></html>", {}, false, 0}
                                   << kCouldNotLoad << QColor();
        QTest::newRow("empty body") << WebImagePeer::Reply{200, "image/png", {}, {}, false, 0} << kCouldNotLoad << QColor();
        WebImagePeer::Reply bomb{200, "image/png", WebImagePeer::pngBomb(60000, 60000), {}, false, 0};
        QTest::newRow("decompression bomb") << bomb << kCouldNotLoad << QColor();
        WebImagePeer::Reply endless{200, "image/jpeg", {}, {}, false, 41LL * 1024 * 1024};
        QTest::newRow("body past 40 MB, no length") << endless << kCouldNotLoad << QColor();
        // Refused from the header alone: the client does not wait for the rest.
        WebImagePeer::Reply claimed{200, "image/jpeg", WebImagePeer::imageBody("jpeg", QSize(8, 8), Qt::blue), {}, false,
                                    0, 41LL * 1024 * 1024};
        QTest::newRow("length past 40 MB") << claimed << kCouldNotLoad << QColor();
    }

    void webImage()
    {
        QFETCH(WebImagePeer::Reply, reply);
        QFETCH(QString, status);
        QFETCH(QColor, color);
        Stage s;
        s.peer.route("/wall", reply);
        const QImage before = s.b().loadedImage();
        const QByteArray currentFile = readAll(s.file("wallpaper-current.jpg"));
        s.applyAddress(s.peer.url("/wall"));
        QCOMPARE(s.b().statusMessage(), status);
        QVERIFY(!s.b().isLoadingRemote());
        if (color.isValid()) {
            QVERIFY(near(middle(s.b().loadedImage()), color));
            QCOMPARE(s.b().historyStack().size(), 1);
            QCOMPARE(s.b().customURLString(), s.peer.url("/wall").toString());
            QVERIFY(!s.b().photoCredit());
        } else {
            QCOMPARE(s.b().loadedImage(), before);
            QCOMPARE(readAll(s.file("wallpaper-current.jpg")), currentFile);
            QVERIFY(s.b().historyStack().isEmpty());
            QCOMPARE(s.b().customURLString(), s.peer.url("/wall").toString()); // what the user typed
        }
    }

    // Qt's HTTP stack reads no body after a 304, as the protocol says, so
    // such a reply never carries an image: it is refused and changes nothing.
    void notModifiedCarriesNoImage()
    {
        Stage s;
        WebImagePeer::Reply r;
        r.status = 304;
        r.body = WebImagePeer::imageBody("jpeg", QSize(80, 60), Qt::cyan);
        s.peer.route("/cached", r);
        const QImage before = s.b().loadedImage();
        s.applyAddress(s.peer.url("/cached"));
        QCOMPARE(s.b().statusMessage(), kCouldNotLoad);
        QCOMPARE(s.b().loadedImage(), before);
        QVERIFY(!s.b().isLoadingRemote());
    }

    void redirectIsFollowed()
    {
        Stage s;
        WebImagePeer::Reply moved{302, "text/plain", "moved", "/final.jpg", false, 0};
        s.peer.route("/moved", moved);
        WebImagePeer::Reply image;
        image.body = WebImagePeer::imageBody("jpeg", QSize(80, 60), Qt::yellow);
        s.peer.route("/final.jpg", image);
        s.applyAddress(s.peer.url("/moved"));
        QCOMPARE(s.b().statusMessage(), QStringLiteral("Background from URL."));
        QVERIFY(near(middle(s.b().loadedImage()), Qt::yellow));
        QCOMPARE(s.b().customURLString(), s.peer.url("/moved").toString()); // the address asked for
        QCOMPARE(s.peer.requests(), (QStringList{"/moved", "/final.jpg"}));
    }

    void refusedAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("ftp") << "ftp://example.org/a.jpg";
        QTest::newRow("file") << "file:///tmp/a.jpg";
        QTest::newRow("no address") << "just some words";
        QTest::newRow("empty") << "";
        QTest::newRow("javascript") << "javascript:alert(1)";
        // The scheme is compared as typed: QUrl would lower-case it.
        QTest::newRow("scheme in capitals") << "HTTPS://127.0.0.1:1/a.jpg";
        QTest::newRow("scheme in mixed case") << "Http://127.0.0.1:1/a.jpg";
    }

    void refusedAddresses()
    {
        QFETCH(QString, text);
        Stage s;
        s.b().setCustomURLString(text);
        QCoro::waitFor(s.b().applyRemoteURL());
        QCOMPARE(s.b().statusMessage(), QStringLiteral("Enter a valid http(s) image URL."));
        QCOMPARE(s.b().customURLString(), text);
        QVERIFY(s.peer.requests().isEmpty());
    }

    void addressIsTrimmed()
    {
        Stage s;
        WebImagePeer::Reply image;
        image.body = WebImagePeer::imageBody("png", QSize(80, 60), Qt::darkGreen);
        s.peer.route("/a.png", image);
        s.b().setCustomURLString("  " + s.peer.url("/a.png").toString() + " \n");
        QCoro::waitFor(s.b().applyRemoteURL());
        QCOMPARE(s.b().statusMessage(), QStringLiteral("Background from URL."));
        QCOMPARE(s.b().customURLString(), s.peer.url("/a.png").toString());
    }

    void networkFailureGivesItsOwnText()
    {
        Stage s;
        quint16 closedPort = 0;
        {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost, 0);
            closedPort = probe.serverPort();
        }
        s.applyAddress(QUrl(QStringLiteral("http://127.0.0.1:%1/x.jpg").arg(closedPort)));
        QVERIFY(!s.b().statusMessage().isEmpty());
        QVERIFY(s.b().statusMessage() != kCouldNotLoad);
        QVERIFY(!s.b().isLoadingRemote());
        QVERIFY(s.b().historyStack().isEmpty());
    }

    // A reply whose body stops short of its length is a failed download:
    // the decoder would otherwise make an image of the half that came.
    void cutOffBodyIsANetworkFailure()
    {
        Stage s;
        const QByteArray full = WebImagePeer::imageBody("jpeg", QSize(640, 480), Qt::blue);
        WebImagePeer::Reply cut;
        cut.body = full.left(full.size() * 3 / 4);
        cut.declaredLength = full.size();
        s.peer.route("/cut.jpg", cut);
        const QImage before = s.b().loadedImage();
        const QByteArray currentFile = readAll(s.file("wallpaper-current.jpg"));
        s.applyAddress(s.peer.url("/cut.jpg"));
        QVERIFY(!s.b().statusMessage().isEmpty());
        QVERIFY2(s.b().statusMessage() != kCouldNotLoad, qPrintable(s.b().statusMessage()));
        QVERIFY(s.b().statusMessage() != QStringLiteral("Background from URL."));
        QCOMPARE(s.b().loadedImage(), before);
        QCOMPARE(readAll(s.file("wallpaper-current.jpg")), currentFile);
        QVERIFY(s.b().historyStack().isEmpty());
        QVERIFY(!s.b().isLoadingRemote());
    }

    // A server that answers nothing ends the download with its error text;
    // the stage does not wait forever.
    void stalledServerTimesOut()
    {
        Stage s(40LL * 1024 * 1024, 300);
        WebImagePeer::Reply never;
        never.body = WebImagePeer::imageBody("jpeg", QSize(80, 60), Qt::red);
        never.held = true;
        s.peer.route("/stall", never);
        const QImage before = s.b().loadedImage();
        s.applyAddress(s.peer.url("/stall"));
        QVERIFY2(s.b().statusMessage().contains(QStringLiteral("timed out")), qPrintable(s.b().statusMessage()));
        QVERIFY(!s.b().isLoadingRemote());
        QCOMPARE(s.b().loadedImage(), before);
    }

    void randomImage()
    {
        Stage s;
        WebImagePeer::Reply image;
        image.body = WebImagePeer::imageBody("jpeg", QSize(80, 60), Qt::darkBlue);
        s.peer.routeOthers(image);
        QCoro::Task<> random = s.b().fetchPicsumRandom();
        // The field shows the random address at once, without a credit.
        QVERIFY(s.b().customURLString().startsWith(s.peer.base().toString() + "/seed/"));
        QVERIFY(!s.b().photoCredit());
        QVERIFY(s.b().isLoadingRemote());
        QCoro::waitFor(random);
        QCOMPARE(s.b().statusMessage(), QStringLiteral("Random image."));
        QCOMPARE(s.peer.requests().size(), 1);
        static const QRegularExpression form(QStringLiteral("^/seed/([0-9]+)/1920/1080$"));
        const QRegularExpressionMatch m = form.match(s.peer.requests().first());
        QVERIFY(m.hasMatch());
        const int seed = m.captured(1).toInt();
        QVERIFY(seed >= 1 && seed <= 100000);
        QCOMPARE(s.b().customURLString(), s.peer.url(s.peer.requests().first()).toString());
        QVERIFY(!s.b().photoCredit());
    }

    void onlyTheNewestDownloadApplies()
    {
        Stage s;
        WebImagePeer::Reply first;
        first.body = WebImagePeer::imageBody("jpeg", QSize(80, 60), Qt::red);
        first.held = true;
        WebImagePeer::Reply second = first;
        second.body = WebImagePeer::imageBody("jpeg", QSize(80, 60), Qt::blue);
        s.peer.route("/first", first);
        s.peer.route("/second", second);

        s.b().setCustomURLString(s.peer.url("/first").toString());
        QCoro::Task<> a = s.b().applyRemoteURL();
        QTRY_COMPARE(s.peer.heldCount("/first"), 1);
        s.b().setCustomURLString(s.peer.url("/second").toString());
        QCoro::Task<> b = s.b().applyRemoteURL();
        QTRY_COMPARE(s.peer.heldCount("/second"), 1);

        s.peer.release("/first");
        QCoro::waitFor(a);
        QVERIFY(s.b().isLoadingRemote()); // still waiting for the second
        QVERIFY(s.b().statusMessage().isNull());
        QVERIFY(s.b().historyStack().isEmpty());

        s.peer.release("/second");
        QCoro::waitFor(b);
        QVERIFY(!s.b().isLoadingRemote());
        QVERIFY(near(middle(s.b().loadedImage()), Qt::blue));
        QCOMPARE(s.b().historyStack().size(), 1);
    }

    void lateDownloadLosesToLaterActions_data()
    {
        QTest::addColumn<QString>("later");
        QTest::addColumn<int>("lateStatus");
        QTest::newRow("choose image") << "image" << 200;
        QTest::newRow("turn off") << "off" << 200;
        QTest::newRow("undo") << "undo" << 200;
        QTest::newRow("choose video") << "video" << 200;
        QTest::newRow("late 404 writes no status") << "image" << 404;
    }

    void lateDownloadLosesToLaterActions()
    {
        QFETCH(QString, later);
        QFETCH(int, lateStatus);
        Stage s;
        if (later == u"undo")
            QCoro::waitFor(s.b().pickLocalImage(s.localImage("one.png", Qt::green)));
        WebImagePeer::Reply slow;
        slow.body = WebImagePeer::imageBody("jpeg", QSize(80, 60), Qt::red);
        slow.held = true;
        slow.status = lateStatus;
        s.peer.route("/slow", slow);
        s.b().setCustomURLString(s.peer.url("/slow").toString());
        QCoro::Task<> download = s.b().applyRemoteURL();
        QTRY_COMPARE(s.peer.heldCount("/slow"), 1);
        QVERIFY(s.b().isLoadingRemote());

        if (later == u"image") {
            QCoro::waitFor(s.b().pickLocalImage(s.localImage("two.png", Qt::yellow)));
        } else if (later == u"off") {
            s.b().clearBackground();
        } else if (later == u"undo") {
            QCoro::waitFor(s.b().undoWallpaper());
        } else {
            const QString video = makeVideo(s.root.filePath("clip.mp4"), "testsrc");
            if (video.isEmpty())
                QSKIP("ffmpeg is not installed");
            QCoro::waitFor(s.b().pickLocalVideo(video));
        }
        QVERIFY(!s.b().isLoadingRemote()); // the later choice owns the stage
        const QString status = s.b().statusMessage();
        const bool enabled = s.b().isEnabled();
        const QStringList history = s.b().historyStack();
        const QByteArray currentFile = readAll(s.file("wallpaper-current.jpg"));

        s.peer.release("/slow");
        QCoro::waitFor(download);
        QCOMPARE(s.b().statusMessage(), status);
        QCOMPARE(s.b().isEnabled(), enabled);
        QCOMPARE(s.b().historyStack(), history);
        QCOMPARE(readAll(s.file("wallpaper-current.jpg")), currentFile);
        QVERIFY(!s.b().isLoadingRemote());
    }

    void undoWithMissingFile_data()
    {
        QTest::addColumn<bool>("deleted");
        QTest::newRow("history file deleted by hand") << true;
        QTest::newRow("history file no longer an image") << false;
    }

    void undoWithMissingFile()
    {
        QFETCH(bool, deleted);
        Stage s;
        QCoro::waitFor(s.b().pickLocalImage(s.localImage("one.png", Qt::green)));
        const QByteArray current = readAll(s.file("wallpaper-current.jpg"));
        const QString newest = s.b().historyStack().first();
        if (deleted) {
            QVERIFY(QFile::remove(newest));
        } else {
            QFile f(newest);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write("not a picture");
        }
        QCoro::waitFor(s.b().undoWallpaper());
        QCOMPARE(s.b().statusMessage(), QStringLiteral("Previous image missing from history."));
        QVERIFY(!s.b().canUndo());
        QCOMPARE(readAll(s.file("wallpaper-current.jpg")), current);
        QVERIFY(near(middle(s.b().loadedImage()), Qt::green));
        QVERIFY(BackgroundPersisted::decode(readAll(s.file("background.json")))->historyStack.isEmpty());
        // An undecodable file stays in the folder, no longer listed.
        QCOMPARE(QFileInfo::exists(newest), !deleted);
    }

    void emptyUndoDoesNotSave()
    {
        Stage s;
        QFile::remove(s.file("background.json"));
        QCoro::waitFor(s.b().undoWallpaper());
        QCOMPARE(s.b().statusMessage(), QStringLiteral("Nothing to undo."));
        QVERIFY(!QFileInfo::exists(s.file("background.json")));
    }

    void historyCapDeletesTheOldest()
    {
        Stage s;
        QStringList history;
        const QByteArray small = WebImagePeer::imageBody("jpeg", QSize(4, 4), Qt::gray);
        for (int i = 0; i < 200; ++i) {
            const QString path = s.file(QStringLiteral("wallpaper-history/wp-%1.jpg").arg(5000 - i));
            writeAll(path, small);
            history << path;
        }
        QJsonObject o = QJsonDocument::fromJson(readAll(s.file("background.json"))).object();
        o.insert("historyStack", QJsonArray::fromStringList(history));
        writeAll(s.file("background.json"), QJsonDocument(o).toJson());
        s.settings.reset();
        BackgroundSettings::Config c;
        c.supportDirectory = s.support;
        s.settings = std::make_unique<BackgroundSettings>(c);
        QCOMPARE(s.b().historyStack().size(), 200);

        QCoro::waitFor(s.b().pickLocalImage(s.localImage("new.png", Qt::red)));
        QCOMPARE(s.b().historyStack().size(), 200);
        QVERIFY(!QFileInfo::exists(history.last()));
        QCOMPARE(s.b().historyStack().at(1), history.first());
        QCOMPARE(readAll(s.b().historyStack().first()).size() > 0, true);
    }

    void quickPushesKeepEveryImage()
    {
        Stage s;
        for (int i = 0; i < 4; ++i)
            QCoro::waitFor(s.b().pickLocalImage(s.localImage(QStringLiteral("p%1.png").arg(i), QColor(40 * i, 0, 0))));
        const QStringList history = s.b().historyStack();
        QCOMPARE(history.size(), 4);
        QCOMPARE(QSet<QString>(history.begin(), history.end()).size(), 4);
        for (const QString &path : history)
            QVERIFY(QFileInfo::exists(path));
    }

    void video()
    {
        Stage s;
        const QString first = makeVideo(s.root.filePath("first.mp4"), "testsrc");
        const QString second = makeVideo(s.root.filePath("second.mp4"), "smptebars");
        if (first.isEmpty() || second.isEmpty())
            QSKIP("ffmpeg is not installed");
        const QString slot = s.file("wallpaper-video.mp4");

        QCoro::waitFor(s.b().pickLocalVideo(first));
        QCOMPARE(s.b().statusMessage(), QStringLiteral("Video set."));
        QVERIFY(s.b().useVideo());
        QVERIFY(s.b().isEnabled());
        QVERIFY(s.b().loadedImage().isNull());
        QVERIFY(s.b().currentImagePath().isEmpty());
        QCOMPARE(s.b().videoFilePath(), slot);
        QCOMPARE(readAll(slot), readAll(first));
        QCOMPARE(s.b().historyStack().size(), 1);
        const int revision = s.b().videoRevision();

        // Same extension: the slot really holds the new clip, and the view is told.
        QCoro::waitFor(s.b().pickLocalVideo(second));
        QCOMPARE(readAll(slot), readAll(second));
        QVERIFY(s.b().videoRevision() > revision);
        QCOMPARE(s.b().historyStack().size(), 2); // the same image once more

        // Choosing the slot itself keeps it.
        QCoro::waitFor(s.b().pickLocalVideo(slot));
        QCOMPARE(s.b().statusMessage(), QStringLiteral("Video set."));
        QCOMPARE(readAll(slot), readAll(second));

        // A failed copy changes nothing.
        s.b().setCustomURLString({});
        const QStringList history = s.b().historyStack();
        QCoro::waitFor(s.b().pickLocalVideo(s.root.filePath("missing.mov")));
        QVERIFY(s.b().statusMessage() != QStringLiteral("Video set."));
        QVERIFY(!s.b().statusMessage().isEmpty());
        QCOMPARE(s.b().historyStack(), history);
        QCOMPARE(s.b().videoFilePath(), slot);
        QVERIFY(!QFileInfo::exists(s.file("wallpaper-video.mov")));

        // Undo leaves video mode with the image that was current before.
        QCoro::waitFor(s.b().undoWallpaper());
        QCOMPARE(s.b().statusMessage(), QStringLiteral("Restored previous wallpaper."));
        QVERIFY(!s.b().useVideo());
        QVERIFY(s.b().videoFilePath().isEmpty());
        QVERIFY(!s.b().loadedImage().isNull());
        QCOMPARE(s.b().loadedImage().size(), QSize(1920, 1080));
    }

    void videoWithoutExtension()
    {
        Stage s;
        const QString clip = makeVideo(s.root.filePath("clip"), "testsrc");
        if (clip.isEmpty())
            QSKIP("ffmpeg is not installed");
        QCoro::waitFor(s.b().pickLocalVideo(clip));
        QCOMPARE(s.b().videoFilePath(), s.file("wallpaper-video.mp4"));
        QVERIFY(QFileInfo::exists(s.file("wallpaper-video.mp4")));
    }

    void turnOff()
    {
        Stage s;
        s.b().clearBackground();
        QCOMPARE(s.b().statusMessage(),
                 QStringLiteral("Background hidden. Your image is still saved for next time you turn it on."));
        QVERIFY(!s.b().isEnabled());
        QVERIFY(s.b().loadedImage().isNull());
        QVERIFY(QFileInfo::exists(s.file("wallpaper-current.jpg")));
        QVERIFY(!BackgroundPersisted::decode(readAll(s.file("background.json")))->isEnabled);
    }

    void veilOpacity_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("stored");
        QTest::addColumn<bool>("shown");
        QTest::newRow("above one") << 1.7 << 1.0 << false;
        QTest::newRow("below zero") << -0.2 << 0.0 << true;
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 0.0 << true;
        QTest::newRow("nearly opaque keeps it hidden") << 0.9995 << 0.9995 << false;
        QTest::newRow("half shows the stage") << 0.5 << 0.5 << true;
    }

    void veilOpacity()
    {
        QFETCH(double, value);
        QFETCH(double, stored);
        QFETCH(bool, shown);
        Stage s;
        s.b().setIsEnabled(false); // hidden, but the image is still loaded
        s.b().applyOverlayOpacity(value);
        QCOMPARE(s.b().overlayOpacity(), stored);
        QCOMPARE(s.b().isEnabled(), shown);
        QCOMPARE(BackgroundPersisted::decode(readAll(s.file("background.json")))->overlayOpacity, stored);
    }
};

MOONSHELF_TEST_GUI_MAIN(TestBackgroundActions)
#include "tst_background_actions.moc"
