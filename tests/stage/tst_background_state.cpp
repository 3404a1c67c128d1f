#include "support/TestMain.h"

#include "stage/BackgroundPersisted.h"
#include "stage/BackgroundFiles.h"
#include "stage/BackgroundSettings.h"
#include "stage/StagePhotoCatalog.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace stage;

namespace {

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

QByteArray jpegOf(QColor color, QSize size = QSize(32, 24))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 95);
    return bytes;
}

// A background.json as a saved, valid one looks; rows change it.
QJsonObject validRecord()
{
    return QJsonObject{
        {"isEnabled", true},   {"overlayOpacity", 0.8}, {"customURLString", "https://example.org/a.jpg"},
        {"animateKenBurns", false}, {"useVideo", false}, {"historyStack", QJsonArray{}},
        {"didFinishInitialSetup", true},
    };
}

// The file's inode: an atomic write replaces it, a file left alone keeps it.
ino_t inode(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

struct Stage {
    QTemporaryDir root;
    QString support = root.filePath("support");

    BackgroundSettings::Config config(const QString &firstRun = QStringLiteral(":/default-stage.webp")) const
    {
        BackgroundSettings::Config c;
        c.supportDirectory = support;
        c.firstRunImage = firstRun;
        return c;
    }
    QString file(const QString &name) const { return QDir(support).filePath(name); }
    QString history(const QString &name) const { return QDir(support).filePath("wallpaper-history/" + name); }
    void writeRecord(const QJsonObject &o) const { writeAll(file("background.json"), QJsonDocument(o).toJson()); }
    std::optional<BackgroundPersisted> saved() const { return BackgroundPersisted::decode(readAll(file("background.json"))); }
};

} // namespace

class TestBackgroundState : public QObject {
    Q_OBJECT

private slots:
    void firstRunInstallsTheStageImage()
    {
        Stage s;
        BackgroundSettings b(s.config());
        QVERIFY(b.isEnabled());
        QVERIFY(!b.loadedImage().isNull());
        QCOMPARE(b.currentImagePath(), s.file("wallpaper-current.jpg"));
        // The WebP bytes, byte for byte, under the .jpg name.
        QFile resource(":/default-stage.webp");
        QVERIFY(resource.open(QIODevice::ReadOnly));
        QCOMPARE(readAll(s.file("wallpaper-current.jpg")), resource.readAll());
        QCOMPARE(b.customURLString(), StagePhotoCatalog::firstRunImageAddress());
        QCOMPARE(b.photoCredit(), StagePhotoCatalog::credit(StagePhotoCatalog::firstRunImageAddress()));
        QVERIFY(!b.canUndo());

        const auto saved = s.saved();
        QVERIFY(saved);
        QVERIFY(saved->isEnabled);
        QCOMPARE(saved->currentImagePath, std::optional<QString>(s.file("wallpaper-current.jpg")));
        QCOMPARE(saved->photoCredit, b.photoCredit());
    }

    // The file's keys are exactly the record's, absent optionals left out, compact.
    void savedFileKeys()
    {
        Stage s;
        BackgroundSettings b(s.config());
        const QByteArray bytes = readAll(s.file("background.json"));
        QVERIFY(!bytes.contains('\n'));
        const QJsonObject o = QJsonDocument::fromJson(bytes).object();
        QStringList keys = o.keys();
        keys.sort();
        QCOMPARE(keys, (QStringList{"animateKenBurns", "currentImagePath", "customURLString", "didFinishInitialSetup",
                                    "historyStack", "isEnabled", "overlayOpacity", "photoCredit", "useVideo"}));
        QStringList creditKeys = o.value("photoCredit").toObject().keys();
        creditKeys.sort();
        QCOMPARE(creditKeys, (QStringList{"artist", "series", "title", "url"}));
        QCOMPARE(o.value("didFinishInitialSetup"), QJsonValue(true));

        b.setCustomURLString("https://example.org/");
        b.persist();
        const QJsonObject plain = QJsonDocument::fromJson(readAll(s.file("background.json"))).object();
        QVERIFY(!plain.contains("photoCredit"));
        QVERIFY(!plain.contains("videoFilePath"));
    }

    void shippedStageImageIsModest()
    {
        const QImage image(":/default-stage.webp");
        QCOMPARE(image.size(), QSize(1920, 1080));
        QVERIFY(QFileInfo(":/default-stage.webp").size() < 400 * 1024);
    }

    void missingResourceLeavesTheStageEmpty()
    {
        Stage s;
        BackgroundSettings b(s.config(s.root.filePath("absent.webp")));
        QVERIFY(!b.isEnabled());
        QVERIFY(b.loadedImage().isNull());
        QVERIFY(!QFileInfo::exists(s.file("wallpaper-current.jpg")));
    }

    void strictRecord_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("readable");
        const auto variant = [](auto change) {
            QJsonObject o = validRecord();
            change(o);
            return QJsonDocument(o).toJson();
        };
        QTest::newRow("valid") << variant([](QJsonObject &) {}) << true;
        QTest::newRow("valid with credit") << variant([](QJsonObject &o) {
            o.insert("photoCredit", QJsonObject{{"title", "T"}, {"artist", "A"}});
        }) << true;
        QTest::newRow("no didFinishInitialSetup") << variant([](QJsonObject &o) { o.remove("didFinishInitialSetup"); })
                                                  << false;
        QTest::newRow("isEnabled as text") << variant([](QJsonObject &o) { o.insert("isEnabled", "true"); }) << false;
        QTest::newRow("opacity as text") << variant([](QJsonObject &o) { o.insert("overlayOpacity", "0.5"); }) << false;
        QTest::newRow("history entry not text") << variant([](QJsonObject &o) { o.insert("historyStack", QJsonArray{1}); })
                                                << false;
        QTest::newRow("credit without artist") << variant([](QJsonObject &o) {
            o.insert("photoCredit", QJsonObject{{"title", "T"}});
        }) << false;
        QTest::newRow("video path not text") << variant([](QJsonObject &o) { o.insert("videoFilePath", 4); }) << false;
        QTest::newRow("no historyStack") << variant([](QJsonObject &o) { o.remove("historyStack"); }) << false;
        QTest::newRow("no customURLString") << variant([](QJsonObject &o) { o.remove("customURLString"); }) << false;
        QTest::newRow("useVideo null") << variant([](QJsonObject &o) { o.insert("useVideo", QJsonValue::Null); })
                                       << false;
        QTest::newRow("history not a list") << variant([](QJsonObject &o) { o.insert("historyStack", "a"); }) << false;
        QTest::newRow("credit series not text") << variant([](QJsonObject &o) {
            o.insert("photoCredit", QJsonObject{{"title", "T"}, {"artist", "A"}, {"series", 2}});
        }) << false;
        QTest::newRow("credit not an object") << variant([](QJsonObject &o) { o.insert("photoCredit", "T"); }) << false;
        QTest::newRow("optional keys null") << variant([](QJsonObject &o) {
            o.insert("currentImagePath", QJsonValue::Null);
            o.insert("photoCredit", QJsonValue::Null);
        }) << true;
        QTest::newRow("unknown key ignored") << variant([](QJsonObject &o) { o.insert("extra", 1); }) << true;
        QTest::newRow("array at top") << QByteArray("[]") << false;
        QTest::newRow("not JSON") << QByteArray("{\"isEnabled\": tr") << false;
    }

    void strictRecord()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, readable);
        Stage s;
        writeAll(s.file("background.json"), json);
        writeAll(s.file("wallpaper-current.jpg"), jpegOf(Qt::red));
        BackgroundSettings b(s.config());
        QCOMPARE(b.overlayOpacity(), readable ? 0.8 : 0.35);
        QCOMPARE(b.animateKenBurns(), !readable);
        QCOMPARE(b.isEnabled(), readable);
        QCOMPARE(b.customURLString(), readable ? QStringLiteral("https://example.org/a.jpg") : QString());
        QVERIFY(!b.loadedImage().isNull()); // the current file is found either way
    }

    void historyFromTheFileIsTrustedForNothing()
    {
        Stage s;
        QTemporaryDir outside;
        const QString foreign = outside.filePath("wp-1.jpg");
        writeAll(foreign, jpegOf(Qt::blue));
        writeAll(s.history("wp-10.jpg"), jpegOf(Qt::green));
        writeAll(s.history("notes.jpg"), jpegOf(Qt::green));
        writeAll(s.file("wallpaper-current.jpg"), jpegOf(Qt::red));
        QJsonObject o = validRecord();
        o.insert("historyStack", QJsonArray{foreign, s.history("wp-10.jpg"), s.history("wp-11.jpg"), s.history("notes.jpg"),
                                            s.file("wallpaper-current.jpg"), s.history("../wallpaper-history/wp-10.jpg"),
                                            "wallpaper-history/wp-10.jpg", s.history("wp-10.jpg")});
        s.writeRecord(o);

        BackgroundSettings b(s.config());
        QCOMPARE(b.historyStack(), QStringList{s.history("wp-10.jpg")});
        QVERIFY(b.canUndo());
        QCoro::waitFor(b.undoWallpaper());
        QCOMPARE(b.statusMessage(), QStringLiteral("Restored previous wallpaper."));
        QCoro::waitFor(b.undoWallpaper());
        QCOMPARE(b.statusMessage(), QStringLiteral("Nothing to undo."));
        QVERIFY(QFileInfo::exists(foreign));
        QVERIFY(QFileInfo::exists(s.history("notes.jpg")));
    }

    void historyIsCappedOnLoad()
    {
        Stage s;
        writeAll(s.file("wallpaper-current.jpg"), jpegOf(Qt::red));
        QJsonArray history;
        const QByteArray bytes = jpegOf(Qt::green, QSize(4, 4));
        for (int i = 0; i < 230; ++i) {
            writeAll(s.history(QStringLiteral("wp-%1.jpg").arg(1000 + i)), bytes);
            history.append(s.history(QStringLiteral("wp-%1.jpg").arg(1000 + i)));
        }
        QJsonObject o = validRecord();
        o.insert("historyStack", history);
        s.writeRecord(o);
        BackgroundSettings b(s.config());
        QCOMPARE(b.historyStack().size(), 200);
        QCOMPARE(b.historyStack().first(), s.history("wp-1000.jpg"));
    }

    void foreignCurrentPathIsNotFollowed()
    {
        Stage s;
        QTemporaryDir outside;
        writeAll(outside.filePath("elsewhere.jpg"), jpegOf(Qt::blue));
        writeAll(s.file("wallpaper-current.jpg"), jpegOf(Qt::red));
        QJsonObject o = validRecord();
        o.insert("currentImagePath", outside.filePath("elsewhere.jpg"));
        o.insert("videoFilePath", outside.filePath("movie.mp4"));
        s.writeRecord(o);
        BackgroundSettings b(s.config());
        QCOMPARE(b.currentImagePath(), s.file("wallpaper-current.jpg"));
        QVERIFY(qRed(b.loadedImage().pixel(0, 0)) > 200);
        QVERIFY(b.videoFilePath().isEmpty());
        QCOMPARE(s.saved()->currentImagePath, std::optional<QString>(s.file("wallpaper-current.jpg")));
    }

    void savedCreditIsReplacedAtStart()
    {
        Stage s;
        writeAll(s.file("wallpaper-current.jpg"), jpegOf(Qt::red));
        QJsonObject o = validRecord();
        o.insert("photoCredit", QJsonObject{{"title", "Old"}, {"artist", "Someone"}});
        s.writeRecord(o);
        BackgroundSettings b(s.config());
        QVERIFY(!b.photoCredit()); // example.org is no curated photograph
    }

    void videoModeAtStartLoadsNoImage()
    {
        Stage s;
        QJsonObject o = validRecord();
        o.insert("useVideo", true);
        o.insert("videoFilePath", s.file("wallpaper-video.mp4")); // gone
        s.writeRecord(o);
        BackgroundSettings b(s.config());
        QVERIFY(b.useVideo());
        QVERIFY(b.loadedImage().isNull());
        QCOMPARE(b.videoFilePath(), s.file("wallpaper-video.mp4"));
        QVERIFY(!QFileInfo::exists(s.file("wallpaper-current.jpg")));
    }

    void legacyImageIsMigrated()
    {
        Stage s;
        QImage png(40, 30, QImage::Format_RGB32);
        png.fill(Qt::yellow);
        QVERIFY(png.save(s.root.filePath("legacy.png"), "PNG"));
        QDir().mkpath(s.support);
        QVERIFY(QFile::copy(s.root.filePath("legacy.png"), s.file("user-wallpaper.jpg")));
        BackgroundSettings b(s.config());
        QCOMPARE(b.currentImagePath(), s.file("wallpaper-current.jpg"));
        QVERIFY(readAll(s.file("wallpaper-current.jpg")).startsWith("\xFF\xD8")); // JPEG now
        QVERIFY(QFileInfo::exists(s.file("user-wallpaper.jpg")));
        QCOMPARE(s.saved()->currentImagePath, std::optional<QString>(s.file("wallpaper-current.jpg")));
        QCOMPARE(b.loadedImage().size(), QSize(40, 30));
    }

    void restartWritesTheRecordOnlyWhenItsBytesDiffer_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("as last written") << "unchanged" << false;
        QTest::newRow("same record, other layout") << "indented" << true;
        QTest::newRow("removed") << "removed" << true;
    }

    void restartWritesTheRecordOnlyWhenItsBytesDiffer()
    {
        QFETCH(QString, before);
        QFETCH(bool, replaced);
        Stage s;
        QByteArray written;
        {
            BackgroundSettings first(s.config());
            written = readAll(s.file("background.json"));
        }
        QVERIFY(!written.isEmpty());
        if (before == u"indented")
            writeAll(s.file("background.json"), QJsonDocument::fromJson(written).toJson(QJsonDocument::Indented));
        else if (before == u"removed")
            QVERIFY(QFile::remove(s.file("background.json")));
        const ino_t old = inode(s.file("background.json"));

        // Restoring the current image saves the record.
        BackgroundSettings again(s.config());
        QCOMPARE(again.currentImagePath(), s.file("wallpaper-current.jpg"));
        if (before == u"removed")
            QVERIFY(s.saved()); // written afresh, from defaults
        else
            QCOMPARE(readAll(s.file("background.json")), written);
        QCOMPARE(inode(s.file("background.json")) != old, replaced);
    }

    void addressFieldRefreshesCreditWithoutSaving()
    {
        Stage s;
        BackgroundSettings b(s.config());
        const QByteArray before = readAll(s.file("background.json"));
        QSignalSpy credit(&b, &BackgroundSettings::photoCreditChanged);
        b.setCustomURLString(StagePhotoCatalog::siteHomePage() + "/images/sliders/still-orbit/04.webp");
        QCOMPARE(credit.count(), 1);
        QCOMPARE(b.photoCredit()->title, QStringLiteral("Still Orbit 04"));
        QCOMPARE(readAll(s.file("background.json")), before);
        b.setCustomURLString("https://example.org/");
        QVERIFY(!b.photoCredit());
        b.persist(); // an absent credit is filled from the address before writing
        QVERIFY(!s.saved()->photoCredit);
    }

    void togglesSave_data()
    {
        QTest::addColumn<QString>("field");
        QTest::newRow("isEnabled") << "isEnabled";
        QTest::newRow("overlayOpacity") << "overlayOpacity";
        QTest::newRow("animateKenBurns") << "animateKenBurns";
        QTest::newRow("useVideo") << "useVideo";
    }

    void togglesSave()
    {
        QFETCH(QString, field);
        Stage s;
        BackgroundSettings b(s.config());
        QFile::remove(s.file("background.json"));
        if (field == u"isEnabled")
            b.setIsEnabled(false);
        else if (field == u"overlayOpacity")
            b.setOverlayOpacity(0.6);
        else if (field == u"animateKenBurns")
            b.setAnimateKenBurns(false);
        else
            b.setUseVideo(true);
        const auto saved = s.saved();
        QVERIFY(saved);
        QCOMPARE(saved->isEnabled, b.isEnabled());
        QCOMPARE(saved->overlayOpacity, b.overlayOpacity());
        QCOMPARE(saved->animateKenBurns, b.animateKenBurns());
        QCOMPARE(saved->useVideo, b.useVideo());
    }

    void reloadAfterTurningOn()
    {
        Stage s;
        BackgroundSettings b(s.config());
        b.clearBackground();
        QVERIFY(b.loadedImage().isNull());
        b.reloadImage(); // still off: nothing
        QVERIFY(b.loadedImage().isNull());
        b.setIsEnabled(true);
        b.reloadImage();
        QVERIFY(!b.loadedImage().isNull());
        QVERIFY(!b.useVideo());
    }
    // Start-up in the background: nothing is decoded before the window can
    // be drawn, and what comes once the worker is done is what a start-up
    // in one go gives, the picture decoded no larger than the screen needs.
    void startupInBackground_data()
    {
        QTest::addColumn<QString>("onDisk");
        QTest::addColumn<QSize>("imageSize");     // of the loaded image afterwards; empty: none
        QTest::addColumn<bool>("enabled");        // afterwards
        QTest::addColumn<QByteArray>("slotStart"); // how wallpaper-current.jpg begins afterwards; empty: absent
        QTest::newRow("first start: the first-run image, shrunk to cover")
            << "nothing" << QSize(355, 200) << true << QByteArray("RIFF");
        QTest::newRow("current image, shrunk to cover") << "current 1600x1200" << QSize(300, 225) << true
                                                        << QByteArray("\xFF\xD8");
        QTest::newRow("current image smaller than the screen stays whole")
            << "current 100x80" << QSize(100, 80) << true << QByteArray("\xFF\xD8");
        QTest::newRow("legacy image, no settings file: migrated whole") << "legacy 400x300" << QSize(400, 300) << false
                                                      << QByteArray("\xFF\xD8");
        QTest::newRow("undecodable current: the first-run image again")
            << "garbage current" << QSize(355, 200) << true << QByteArray("RIFF");
        QTest::newRow("stage off: its image still loads") << "current 1600x1200, stage off" << QSize(300, 225)
                                                          << false << QByteArray("\xFF\xD8");
    }

    void startupInBackground()
    {
        QFETCH(QString, onDisk);
        QFETCH(QSize, imageSize);
        QFETCH(bool, enabled);
        QFETCH(QByteArray, slotStart);
        Stage s;
        QDir().mkpath(s.support);
        if (onDisk.startsWith("current")) {
            writeAll(s.file("wallpaper-current.jpg"),
                     jpegOf(Qt::blue, onDisk.startsWith("current 100x80") ? QSize(100, 80) : QSize(1600, 1200)));
            QJsonObject o = validRecord();
            o.insert("currentImagePath", s.file("wallpaper-current.jpg"));
            o.insert("isEnabled", !onDisk.endsWith("stage off"));
            s.writeRecord(o);
        } else if (onDisk.startsWith("legacy")) {
            writeAll(s.file("user-wallpaper.jpg"), jpegOf(Qt::yellow, QSize(400, 300)));
        } else if (onDisk.startsWith("garbage")) {
            writeAll(s.file("wallpaper-current.jpg"), "not an image");
        }
        BackgroundSettings::Config config = s.config();
        config.startupImageInBackground = true;
        config.startupImageFit = QSize(300, 200);
        BackgroundSettings b(config);
        // Nothing decoded yet: the stage shows its colour.
        QVERIFY(b.loadedImage().isNull());
        QVERIFY(b.isLoadingStartupImage());
        QSignalSpy loaded(&b, &BackgroundSettings::startupImageLoaded);
        QVERIFY(loaded.wait(10'000));
        QVERIFY(!b.isLoadingStartupImage());
        QCOMPARE(b.loadedImage().size(), imageSize);
        QCOMPARE(b.isEnabled(), enabled);
        QCOMPARE(b.currentImagePath(), s.file("wallpaper-current.jpg"));
        QVERIFY(readAll(s.file("wallpaper-current.jpg")).startsWith(slotStart));
        const auto saved = s.saved();
        QVERIFY(saved);
        QCOMPARE(saved->currentImagePath, std::optional<QString>(s.file("wallpaper-current.jpg")));
        QCOMPARE(saved->isEnabled, enabled);
    }

    // Whatever the user does while start-up is still decoding has the last
    // word; a reload that finds nothing leaves the first-run image to come.
    void startupInBackgroundAndLaterChoices_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<bool>("imageOnDisk");
        QTest::addColumn<QSize>("imageSize"); // afterwards; 0 x 0: none
        QTest::addColumn<bool>("video");
        QTest::newRow("reloaded: the file read whole wins") << "reload" << true << QSize(1600, 1200) << false;
        QTest::newRow("switched to video") << "video" << true << QSize(0, 0) << true;
        QTest::newRow("first start, switched on: the first-run image still comes")
            << "switch on" << false << QSize(355, 200) << false;
    }

    void startupInBackgroundAndLaterChoices()
    {
        QFETCH(QString, meanwhile);
        QFETCH(bool, imageOnDisk);
        QFETCH(QSize, imageSize);
        QFETCH(bool, video);
        Stage s;
        QDir().mkpath(s.support);
        if (imageOnDisk) {
            writeAll(s.file("wallpaper-current.jpg"), jpegOf(Qt::blue, QSize(1600, 1200)));
            QJsonObject o = validRecord();
            o.insert("currentImagePath", s.file("wallpaper-current.jpg"));
            s.writeRecord(o);
        }
        BackgroundSettings::Config config = s.config();
        config.startupImageInBackground = true;
        config.startupImageFit = QSize(300, 200);
        BackgroundSettings b(config);
        QSignalSpy loaded(&b, &BackgroundSettings::startupImageLoaded);
        if (meanwhile == "video")
            b.setUseVideo(true);
        if (meanwhile == "switch on")
            b.setIsEnabled(true);
        b.reloadImage();
        QVERIFY(loaded.wait(10'000));
        QCOMPARE(b.loadedImage().size(), imageSize);
        QCOMPARE(b.useVideo(), video);
        QVERIFY(b.isEnabled());
    }

    void coveringSize_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("fit");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("wide image, wide screen") << QSize(4000, 2000) << QSize(2000, 1200) << QSize(2400, 1200);
        QTest::newRow("tall image covers the width") << QSize(1000, 3000) << QSize(500, 500) << QSize(500, 1500);
        QTest::newRow("smaller than the screen: whole") << QSize(800, 600) << QSize(1920, 1080) << QSize(800, 600);
        QTest::newRow("no screen size: whole") << QSize(4000, 2000) << QSize() << QSize(4000, 2000);
    }

    void coveringSize()
    {
        QFETCH(QSize, size);
        QFETCH(QSize, fit);
        QFETCH(QSize, expected);
        QCOMPARE(BackgroundFiles::coveringSize(size, fit), expected);
    }

    void decodesByContent_data()
    {
        QTest::addColumn<QByteArray>("written"); // the format the bytes are in
        QTest::addColumn<QByteArray>("told");    // what their first bytes show
        QTest::newRow("jpeg") << QByteArray("jpeg") << QByteArray("jpeg");
        QTest::newRow("png") << QByteArray("png") << QByteArray("png");
        QTest::newRow("webp") << QByteArray("webp") << QByteArray("webp");
        QTest::newRow("bmp") << QByteArray("bmp") << QByteArray("bmp");
        QTest::newRow("tiff: left to Qt to tell") << QByteArray("tiff") << QByteArray();
    }

    // Whatever the format, the image decodes, scaled to cover the fit; the
    // first bytes tell the common formats without asking Qt's plugins.
    void decodesByContent()
    {
        QFETCH(QByteArray, written);
        QFETCH(QByteArray, told);
        QImage source(400, 200, QImage::Format_RGB32);
        source.fill(QColor(30, 140, 220));
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(source.save(&buffer, written.constData()));
        QCOMPARE(BackgroundFiles::formatOf(bytes.left(16)), told);
        const QImage image = BackgroundFiles::decodeImageBytes(bytes, 1'000'000, QSize(100, 40));
        QCOMPARE(image.size(), QSize(100, 50));
        QVERIFY(qAbs(qBlue(image.pixel(50, 25)) - 220) < 12);
    }

    void formatOfShortOrForeignBytes_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::newRow("nothing") << QByteArray();
        QTest::newRow("a RIFF that is no WebP") << QByteArray("RIFF\x10\0\0\0WAVEfmt ", 16);
        QTest::newRow("half a PNG signature") << QByteArray("\x89PNG");
        QTest::newRow("text") << QByteArray("hello, world");
    }
    void formatOfShortOrForeignBytes()
    {
        QFETCH(QByteArray, head);
        QCOMPARE(BackgroundFiles::formatOf(head), QByteArray());
    }
};

MOONSHELF_TEST_GUI_MAIN(TestBackgroundState)
#include "tst_background_state.moc"
