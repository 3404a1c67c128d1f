// Attachment chips and drops on the composer card, on a controller of its
// own: the chips' texts by kind, thumbnails decoded once, removal by id,
// and synthesized drops of files, image bytes, a folder, a FIFO and text.

#include "app/AppTestKit.h"
#include "chat/composer/AttachmentChip.h"
#include "chat/composer/AttachmentChipText.h"
#include "chat/composer/AttachmentStrip.h"
#include "chat/composer/AttachmentThumbnails.h"
#include "chat/ChatView.h"
#include "chat/composer/ComposerBar.h"
#include "chat/composer/ComposerField.h"
#include "chat/transcript/TranscriptView.h"
#include "chat/welcome/WelcomeCard.h"
#include "chat/composer/DropOverlay.h"
#include "chat/composer/DropPlan.h"
#include "chat/composer/DropTarget.h"
#include "glass/look/Contrast.h"
#include "glass/look/Styles.h"
#include "glass/controls/SymbolButton.h"
#include "model/AttachmentTempStore.h"
#include "stage/SkinStore.h"
#include "support/NamedWidget.h"
#include "support/TestMain.h"

#include <QApplication>
#include <QBoxLayout>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <sys/stat.h>

using apptest::Harness;
using model::AttachedFile;

namespace {

struct Fixture {
    Harness h;
    QTemporaryDir files;
    std::unique_ptr<stage::SkinStore> skins;
    std::unique_ptr<glass::StyleStore> styles;

    explicit Fixture(const QString &skin = QStringLiteral("default"))
    {
        h.make();
        skins = std::make_unique<stage::SkinStore>(stage::SkinStore::Sources{
            QStringLiteral(":/skins"), QDir::temp().filePath(QStringLiteral("attach20-skins"))});
        skins->select(skin);
        styles = std::make_unique<glass::StyleStore>(*skins);
    }
    app::AppViewModel &vm() { return h.vm(); }
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = files.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("could not write a test file");
        f.write(bytes);
        return path;
    }
};

// A card like the composer's: a frame with a text field in it.
struct Card {
    QWidget widget;
    QPlainTextEdit *field = nullptr;
    chat::DropTarget *target = nullptr;
    Card(app::AppViewModel &vm, glass::StyleStore &styles)
    {
        auto *layout = new QVBoxLayout(&widget);
        field = new QPlainTextEdit;
        layout->addWidget(field);
        widget.resize(600, 160);
        target = new chat::DropTarget(vm, styles, &widget);
        widget.show();
    }
};

AttachedFile attachment(bool image, std::optional<QString> inlineContent, qint64 bytes)
{
    AttachedFile f;
    f.id = QUuid::createUuid();
    f.displayPath = QStringLiteral("notes.txt");
    f.isImage = image;
    f.inlineContent = std::move(inlineContent);
    f.byteCount = bytes;
    return f;
}

QByteArray encoded(const char *format, int seed)
{
    QImage image(64, 40, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(seed * 40 % 360, 200, 220));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QString outputPath(const QString &name)
{
    const QString dir = testsupport::outputDirectory();
    return QDir(dir).filePath(name);
}

bool send(QWidget *to, QEvent &event)
{
    return QCoreApplication::sendEvent(to, &event);
}

} // namespace

class TestAttachments : public QObject {
    Q_OBJECT

private slots:
    void byteLabel_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("label");
        QTest::newRow("zero") << qint64(0) << "0 B";
        QTest::newRow("negative stays in bytes") << qint64(-5) << "-5 B";
        QTest::newRow("last byte count") << qint64(1023) << "1023 B";
        QTest::newRow("one KiB") << qint64(1024) << "1 KB";
        QTest::newRow("1.5 KiB rounds up") << qint64(1536) << "2 KB";
        QTest::newRow("exact half to even") << qint64(2560) << "2 KB";
        QTest::newRow("just under a MiB") << qint64(1048575) << "1024 KB";
        QTest::newRow("one MiB") << qint64(1048576) << "1.0 MB";
        QTest::newRow("the staging limit") << qint64(12582912) << "12.0 MB";
        QTest::newRow("no grouping") << qint64(5'000'000'000) << "4768.4 MB";
    }
    void byteLabel()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, label);
        QCOMPARE(chat::AttachmentChipText::byteLabel(bytes), label);
        // The application's locale is no concern of the label.
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(chat::AttachmentChipText::byteLabel(bytes), label);
        QLocale::setDefault(before);
    }

    void chipTexts_data()
    {
        QTest::addColumn<bool>("image");
        QTest::addColumn<bool>("inlined");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("sizeLine");
        QTest::addColumn<QString>("toolTip");
        QTest::addColumn<QString>("symbol");
        QTest::newRow("image: the staged copy's size") << true << false << qint64(48'213) << int(chat::AttachmentChipKind::Image)
                                                        << "Image \u00B7 47 KB" << "Image attached (48213 bytes)" << "photo";
        QTest::newRow("inline text of 2 KiB") << false << true << qint64(2048) << int(chat::AttachmentChipKind::InlineText)
                                              << "2 KB" << "Will send inline context (2048 bytes)" << "doc.text";
        QTest::newRow("path only, whatever its size")
            << false << false << qint64(9'437'184) << int(chat::AttachmentChipKind::PathOnly) << "9.0 MB"
            << "Path only (large or binary)" << "doc.text";
        QTest::newRow("an image with inline text is still an image")
            << true << true << qint64(900) << int(chat::AttachmentChipKind::Image) << "Image \u00B7 900 B"
            << "Image attached (900 bytes)" << "photo";
    }
    void chipTexts()
    {
        QFETCH(bool, image);
        QFETCH(bool, inlined);
        QFETCH(qint64, bytes);
        QFETCH(int, kind);
        QFETCH(QString, sizeLine);
        QFETCH(QString, toolTip);
        QFETCH(QString, symbol);
        const AttachedFile f = attachment(image, inlined ? std::optional<QString>(QStringLiteral("x")) : std::nullopt, bytes);
        QCOMPARE(int(chat::AttachmentChipText::kind(f)), kind);
        QCOMPARE(chat::AttachmentChipText::sizeLine(f), sizeLine);
        QCOMPARE(chat::AttachmentChipText::toolTip(f), toolTip);
        QCOMPARE(chat::AttachmentChipText::symbol(f), symbol);
    }

    // The strip follows the controller's list, keeps chips (and their
    // thumbnails) by id, and removes only the chip pressed.
    void stripFollowsTheList()
    {
        Fixture f;
        QWidget host;
        auto *layout = new QHBoxLayout(&host);
        auto *strip = chat::AttachmentStrip::install(&host, f.vm(), *f.styles);
        host.resize(700, 60);
        host.show();

        QVERIFY(f.vm().attachFile(QUrl::fromLocalFile(f.write(QStringLiteral("notes.md"), QByteArray(2048, 'a')))));
        QVERIFY(f.vm().attachImageData(encoded("PNG", 1), QStringLiteral("Screenshot.png")));
        QVERIFY(f.vm().attachFile(QUrl::fromLocalFile(f.write(QStringLiteral("blob.bin"), QByteArray(200'000, 'b')))));
        QCOMPARE(layout->count(), 1);

        QList<chat::AttachmentChip *> chips = strip->chips();
        QCOMPARE(chips.size(), 3);
        QCOMPARE(chips.at(0)->nameText(), f.vm().attachments().at(0).displayPath);
        QCOMPARE(chips.at(0)->sizeText(), QStringLiteral("2 KB"));
        QCOMPARE(chips.at(0)->toolTip(), QStringLiteral("Will send inline context (2048 bytes)"));
        QVERIFY(chips.at(1)->sizeText().startsWith(QStringLiteral("Image \u00B7 ")));
        QCOMPARE(chips.at(2)->toolTip(), QStringLiteral("Path only (large or binary)"));
        // The chip's one button, found by its type: its help and its spoken name are what is checked.
        REQUIRE_CHILD(remove, glass::SymbolButton, chips.at(1));
        QCOMPARE(remove->toolTip(), QStringLiteral("Remove attachment"));
        QCOMPARE(testsupport::spokenName(remove), QStringLiteral("Remove attachment"));
        QTRY_VERIFY(chips.at(1)->showsThumbnail());
        QVERIFY(!chips.at(0)->showsThumbnail());

        // Removing the first keeps the others' widgets and decodes nothing again.
        REQUIRE_CHILD(thumbnails, chat::AttachmentThumbnails, strip);
        QCOMPARE(thumbnails->decodeCount(), 1);
        const QUuid imageId = chips.at(1)->file().id;
        REQUIRE_NAMED(removeFirst, glass::SymbolButton, chips.at(0), QStringLiteral("Remove attachment"));
        removeFirst->click();
        QCOMPARE(f.vm().attachments().size(), 2);
        const QList<chat::AttachmentChip *> after = strip->chips();
        QCOMPARE(after.size(), 2);
        QCOMPARE(after.at(0), chips.at(1));
        QCOMPARE(after.at(1), chips.at(2));
        QCOMPARE(after.at(0)->file().id, imageId);
        QVERIFY(after.at(0)->showsThumbnail());
        QCOMPARE(thumbnails->decodeCount(), 1);
    }

    // A staged image that is gone before it is decoded shows the symbol and still removes.
    void unreadableThumbnail()
    {
        Fixture f;
        QVERIFY(f.vm().attachImageData(encoded("PNG", 2), QStringLiteral("Screenshot.png")));
        const AttachedFile file = f.vm().attachments().first();
        QVERIFY(QFile::remove(file.url.toLocalFile()));
        chat::AttachmentStrip strip(f.vm(), *f.styles);
        strip.show();
        chat::AttachmentChip *chip = strip.chips().first();
        REQUIRE_CHILD(thumbnails, chat::AttachmentThumbnails, &strip);
        QTRY_COMPARE(thumbnails->state(file.id), chat::AttachmentThumbnails::State::Failed);
        QVERIFY(!chip->showsThumbnail());
        QCOMPARE(chip->toolTip(), chat::AttachmentChipText::toolTip(file));
        REQUIRE_NAMED(remove, glass::SymbolButton, chip, QStringLiteral("Remove attachment"));
        remove->click();
        QVERIFY(f.vm().attachments().isEmpty());
    }

    void thumbnailDecode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("decodes");
        QTest::newRow("wide PNG cropped to the square") << encoded("PNG", 3) << true;
        QTest::newRow("JPEG") << encoded("JPEG", 4) << true;
        QTest::newRow("not an image") << QByteArray("plain words") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void thumbnailDecode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, decodes);
        Fixture f;
        const QImage image = chat::AttachmentThumbnails::decode(f.write(QStringLiteral("t.img"), bytes), 72);
        QCOMPARE(!image.isNull(), decodes);
        if (decodes)
            QCOMPARE(image.size(), QSize(72, 72));
    }

    void thumbnailOfAFifoFailsAtOnce()
    {
        Fixture f;
        const QString fifo = f.files.filePath(QStringLiteral("pipe.png"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(chat::AttachmentThumbnails::decode(fifo, 72).isNull());
    }

    void dropPlans_data()
    {
        QTest::addColumn<QStringList>("formats");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("name");
        QTest::newRow("PNG wins over the others") << QStringList{"image/tiff", "image/jpeg", "image/png"} << true
                                                  << "Screenshot.png";
        QTest::newRow("JPEG only") << QStringList{"image/jpeg"} << true << "Screenshot.jpg";
        QTest::newRow("GIF") << QStringList{"image/gif"} << true << "Screenshot.gif";
        QTest::newRow("WebP") << QStringList{"image/webp"} << true << "Screenshot.webp";
        QTest::newRow("TIFF") << QStringList{"image/tiff"} << true << "Screenshot.tiff";
        QTest::newRow("another image type is a PNG") << QStringList{"image/bmp"} << true << "Screenshot.png";
        QTest::newRow("text is shown, not taken") << QStringList{"text/plain"} << true << "";
        QTest::newRow("something else") << QStringList{"application/x-thing"} << false << "";
    }
    void dropPlans()
    {
        QFETCH(QStringList, formats);
        QFETCH(bool, accepted);
        QFETCH(QString, name);
        QMimeData data;
        for (const QString &format : formats)
            data.setData(format, QByteArray("bytes of ") + format.toLatin1());
        QCOMPARE(chat::DropPlanning::acceptsDrag(data), accepted);
        const chat::DropPlan plan = chat::DropPlanning::plan(data);
        QCOMPARE(plan.taken(), !name.isEmpty());
        if (!name.isEmpty())
            QCOMPARE(plan.image->suggestedName, name);
    }

    void refusals_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("folder, trailing slash") << 1 << int(chat::DroppedFileKind::Folder)
                                                << "Could not attach \u201Cthings\u201D: it is a folder. Drop the files inside it instead.";
        QTest::newRow("FIFO") << 1 << int(chat::DroppedFileKind::Special)
                              << "Could not attach \u201Cthings\u201D: it is not a regular file.";
        QTest::newRow("gone") << 1 << int(chat::DroppedFileKind::Missing)
                              << "Could not attach \u201Cthings\u201D: it no longer exists.";
        QTest::newRow("several are counted") << 3 << int(chat::DroppedFileKind::Folder)
                                             << "Could not attach 3 of the dropped items: only regular files can be attached.";
    }
    void refusals()
    {
        QFETCH(int, count);
        QFETCH(int, kind);
        QFETCH(QString, text);
        QList<std::pair<QString, chat::DroppedFileKind>> refused;
        for (int i = 0; i < count; ++i)
            refused.append({QStringLiteral("/tmp/x/things/"), chat::DroppedFileKind(kind)});
        QCOMPARE(chat::DropPlanning::refusalText(refused), text);
    }

    // Drops as the window system delivers them: enter, then drop, on the card.
    void drops_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QStringList>("attached");
        QTest::addColumn<QString>("error");
        QTest::newRow("two files, in order") << "files" << true << QStringList{"a.txt", "b.txt"} << "";
        QTest::newRow("PNG bytes") << "png" << true << QStringList{"Screenshot"} << "";
        QTest::newRow("a picture file keeps its name over its image data") << "picture file" << true
                                                                          << QStringList{"photo"} << "";
        QTest::newRow("folder: refused with a text") << "folder" << true << QStringList{}
                                                     << "Could not attach \u201Cdocs\u201D: it is a folder. Drop the files inside it instead.";
        QTest::newRow("FIFO: refused, never opened") << "fifo" << true << QStringList{}
                                                     << "Could not attach \u201Cpipe\u201D: it is not a regular file.";
        QTest::newRow("a file and a folder") << "file and folder" << true << QStringList{"a.txt"}
                                             << "Could not attach \u201Cdocs\u201D: it is a folder. Drop the files inside it instead.";
        QTest::newRow("image bytes over the limit: refused before decoding")
            << "huge image" << true << QStringList{}
            << "File too large (12582913 bytes). Max 12 MB per drop.";
        QTest::newRow("plain text: not taken") << "text" << false << QStringList{} << "";
        QTest::newRow("eleven files: the first ten are staged, in order")
            << "eleven" << true
            << QStringList{"f00", "f01", "f02", "f03", "f04", "f05", "f06", "f07", "f08", "f09"}
            << "Max 10 attachments. Remove some first.";
    }
    void drops()
    {
        QFETCH(QString, what);
        QFETCH(bool, taken);
        QFETCH(QStringList, attached);
        QFETCH(QString, error);
        Fixture f;
        Card card(f.vm(), *f.styles);
        QStringList log;
        connect(card.target, &chat::DropTarget::dropTargetedChanged, &card.widget,
                [&log](bool on) { log.append(on ? QStringLiteral("overlay shown") : QStringLiteral("overlay hidden")); });

        QMimeData data;
        const QString docs = f.files.filePath(QStringLiteral("docs"));
        QDir().mkpath(docs);
        const QString fifo = f.files.filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QUrl a = QUrl::fromLocalFile(f.write(QStringLiteral("a.txt"), "alpha"));
        const QUrl b = QUrl::fromLocalFile(f.write(QStringLiteral("b.txt"), "beta"));
        if (what == QLatin1String("files"))
            data.setUrls({a, b});
        else if (what == QLatin1String("png"))
            data.setData(QStringLiteral("image/png"), encoded("PNG", 5));
        else if (what == QLatin1String("picture file")) {
            data.setUrls({QUrl::fromLocalFile(f.write(QStringLiteral("photo.png"), encoded("PNG", 6)))});
            data.setData(QStringLiteral("image/png"), encoded("PNG", 7));
        } else if (what == QLatin1String("folder"))
            data.setUrls({QUrl::fromLocalFile(docs)});
        else if (what == QLatin1String("fifo"))
            data.setUrls({QUrl::fromLocalFile(fifo)});
        else if (what == QLatin1String("file and folder"))
            data.setUrls({a, QUrl::fromLocalFile(docs)});
        else if (what == QLatin1String("eleven")) {
            QList<QUrl> urls;
            for (int i = 0; i < 11; ++i)
                urls.append(QUrl::fromLocalFile(f.write(QStringLiteral("f%1.txt").arg(i, 2, 10, QLatin1Char('0')), "x")));
            data.setUrls(urls);
        } else if (what == QLatin1String("huge image")) {
            QByteArray huge = encoded("PNG", 8);
            huge.resize(model::AttachmentTempStore::kMaxFileBytes + 1);
            data.setData(QStringLiteral("image/png"), huge);
        } else
            data.setText(QStringLiteral("some words"));

        const QPoint at(300, 10); // on the card, above its field
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        send(&card.widget, enter);
        QVERIFY(enter.isAccepted());
        REQUIRE_CHILD(overlay, chat::DropOverlay, &card.widget);
        QVERIFY(overlay->isVisible());
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        send(&card.widget, drop);
        QCOMPARE(drop.isAccepted(), taken);
        QVERIFY(!overlay->isVisible());
        QCOMPARE(log, (QStringList{"overlay shown", "overlay hidden"}));

        if (!error.isEmpty())
            QTRY_COMPARE(f.vm().errorMessage().value_or(QString()), error);
        QTRY_COMPARE(f.vm().attachments().size(), attached.size());
        QTest::qWait(50); // nothing more arrives
        QCOMPARE(f.vm().attachments().size(), attached.size());
        for (int i = 0; i < attached.size(); ++i)
            QVERIFY2(QFileInfo(f.vm().attachments().at(i).displayPath).fileName().contains(attached.at(i)),
                     qPrintable(f.vm().attachments().at(i).displayPath));
        if (error.isEmpty())
            QVERIFY(!f.vm().errorMessage());
        QVERIFY(card.field->toPlainText().isEmpty());
    }

    // Leaving without dropping shows and hides the overlay and stages nothing;
    // plain text dropped on the field is the field's.
    void dragAcrossAndTextIntoTheField()
    {
        Fixture f;
        Card card(f.vm(), *f.styles);
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(f.write(QStringLiteral("a.txt"), "alpha"))});
        QDragEnterEvent enter(QPoint(300, 10), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
        send(&card.widget, enter);
        QVERIFY(card.target->isDropTargeted());
        QDragLeaveEvent leave;
        send(&card.widget, leave);
        QVERIFY(!card.target->isDropTargeted());
        QTest::qWait(30);
        QVERIFY(f.vm().attachments().isEmpty());

        // Files dropped on the field are attached, not typed as paths.
        QWidget *viewport = card.field->viewport();
        QDragEnterEvent intoField(QPoint(20, 20), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
        send(viewport, intoField);
        QVERIFY(intoField.isAccepted());
        QDropEvent onField(QPointF(20, 20), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
        send(viewport, onField);
        QTRY_COMPARE(f.vm().attachments().size(), 1);
        QVERIFY(card.field->toPlainText().isEmpty());

        // Text over the field lights the card, and the field takes it.
        QMimeData text;
        text.setText(QStringLiteral("typed by drag"));
        QDragEnterEvent textIn(QPoint(20, 20), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        send(viewport, textIn);
        QVERIFY(card.target->isDropTargeted());
        QDropEvent textDrop(QPointF(20, 20), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        send(viewport, textDrop);
        QVERIFY(!card.target->isDropTargeted());
        QCOMPARE(card.field->toPlainText(), QStringLiteral("typed by drag"));
        QCOMPARE(f.vm().attachments().size(), 1);
    }

    // In the chat pane: an empty session shows the welcome card; files
    // dropped on the composer's card become chips above its field and the
    // composer grows to hold them; a drop on the list is not taken.
    void inTheChatPane_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("dark") << "default";
        QTest::newRow("light") << "golden-default";
    }
    void inTheChatPane()
    {
        QFETCH(QString, skin);
        Fixture f(skin);
        chat::ChatView view(f.vm(), *f.styles);
        view.resize(1000, 720);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto *welcome = view.welcomeSlot()->findChild<chat::WelcomeCard *>();
        QVERIFY(welcome);
        QTRY_VERIFY(welcome->isVisible());
        chat::ComposerBar *composer = view.composer();
        auto *strip = composer->attachmentSlot()->findChild<chat::AttachmentStrip *>();
        QVERIFY(strip);
        QVERIFY(!composer->attachmentSlot()->isVisible());
        const int before = composer->height();

        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(f.write(QStringLiteral("build.log"), QByteArray(300, 'l'))),
                      QUrl::fromLocalFile(f.write(QStringLiteral("shot.png"), encoded("PNG", 11)))});
        REQUIRE_CHILD(transcript, chat::TranscriptView, &view);
        QWidget *list = transcript->viewport();
        QDragEnterEvent overList(QPoint(400, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        send(list, overList);
        QVERIFY(!overList.isAccepted());

        QWidget *card = composer->card();
        const QPoint at(card->width() / 2, 8);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        send(card, enter);
        QVERIFY(enter.isAccepted());
        QApplication::processEvents();
        view.grab().save(outputPath(QStringLiteral("chat-pane-drop-%1.png").arg(skin)));
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        send(card, drop);
        QVERIFY(drop.isAccepted());
        QTRY_COMPARE(strip->chips().size(), 2);
        QVERIFY(composer->attachmentSlot()->isVisible());
        QTRY_VERIFY(composer->height() >= before + chat::AttachmentChip::kTile);
        QTRY_VERIFY(strip->chips().at(1)->showsThumbnail());
        // The chips lie above the field, inside the card.
        const QRect chips = strip->geometry().translated(strip->parentWidget()->mapTo(card, QPoint()));
        QVERIFY(card->rect().contains(chips));
        QVERIFY(chips.bottom() < composer->field()->mapTo(card, QPoint()).y());
        QApplication::processEvents();
        view.grab().save(outputPath(QStringLiteral("chat-pane-chips-%1.png").arg(skin)));
    }

    // The overlay over a composer-like card, dark and light: the dashed
    // accent frame shows at the border, the card's middle stays readable.
    void overlayPicture_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("dark") << "default";
        QTest::newRow("light") << "golden-default";
    }
    void overlayPicture()
    {
        QFETCH(QString, skin);
        Fixture f(skin);
        QVERIFY(f.vm().attachImageData(encoded("PNG", 9), QStringLiteral("Screenshot.png")));
        QVERIFY(f.vm().attachFile(QUrl::fromLocalFile(f.write(QStringLiteral("main.cpp"), "int main() {}\n"))));
        QWidget window;
        window.setPalette(f.styles->styles().palette());
        window.setAutoFillBackground(true);
        QPalette bg = window.palette();
        bg.setColor(QPalette::Window, f.styles->styles().glass);
        window.setPalette(bg);
        auto *column = new QVBoxLayout(&window);
        column->setContentsMargins(16, 12, 16, 12);
        auto *strip = new chat::AttachmentStrip(f.vm(), *f.styles);
        column->addWidget(strip);
        auto *field = new QPlainTextEdit;
        field->setFrameShape(QFrame::NoFrame);
        column->addWidget(field);
        window.resize(620, 170);
        new chat::DropTarget(f.vm(), *f.styles, &window);
        window.show();
        QTRY_VERIFY(strip->chips().first()->showsThumbnail());
        QImage plain = window.grab().toImage();
        plain.save(outputPath(QStringLiteral("attachments-%1.png").arg(skin)));

        QMimeData data;
        data.setData(QStringLiteral("image/png"), encoded("PNG", 10));
        QDragEnterEvent enter(QPoint(300, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        send(&window, enter);
        REQUIRE_CHILD(overlay, chat::DropOverlay, &window);
        QVERIFY(overlay->isVisible());
        const QImage over = window.grab().toImage();
        over.save(outputPath(QStringLiteral("drop-overlay-%1.png").arg(skin)));
        // The dashed border runs along the left edge: on for 7, off for 5.
        int changed = 0;
        for (int y = 20; y < 150; ++y) {
            const QColor a = over.pixelColor(1, y);
            const QColor b = plain.pixelColor(1, y);
            if (qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue()) > 60)
                ++changed;
        }
        QVERIFY2(changed > 130 * 0.45 && changed < 130 * 0.75, qPrintable(QString::number(changed)));
        // The sign's words stand out from the ground around them, whatever lies beneath.
        const QColor ground = over.pixelColor(310, 150);
        double best = 1;
        for (int y = 85; y < 125; ++y)
            for (int x = 250; x < 370; ++x)
                best = qMax(best, glass::Contrast::ratio(over.pixelColor(x, y), ground));
        QVERIFY2(best >= 4.5, qPrintable(QString::number(best)));
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestAttachments)
#include "tst_attachments.moc"
