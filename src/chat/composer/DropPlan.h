#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

class QMimeData;

namespace chat {

// What a drop on the composer brings, read from its data before anything
// is staged: the dropped files (taken first), else one image's bytes with
// the name it is staged under. Nothing here reads a file or decodes an image.
struct DroppedImage {
    QByteArray data;
    QString mimeType;
    QString suggestedName; // "Screenshot." and the extension of the type
};

struct DropPlan {
    QList<QUrl> files; // local files, in the drop's order
    std::optional<DroppedImage> image;

    bool taken() const { return !files.isEmpty() || image.has_value(); }
};

// What a dropped path turned out to be, looked at (not opened) on a worker.
// Regular also stands for a path that could not be looked at for another
// reason: staging then says why.
enum class DroppedFileKind { Regular, Folder, Special, Missing };

namespace DropPlanning {

// The image types tried for data without a file, best first.
const QStringList &imageTypes();

// The staged name for image data of that MIME type ("Screenshot.png" for
// PNG and any image type without an extension of its own).
QString suggestedName(const QString &mimeType);

// Whether a drag carrying this data lights the drop target: files, image
// data or plain text (the last is shown but not taken).
bool acceptsDrag(const QMimeData &data);

// Whether the data offers something the drop would take (local files or
// image data), without reading the image's bytes.
bool offersAttachable(const QMimeData &data);

DropPlan plan(const QMimeData &data);

// A stat (links followed): never opens the path, so a FIFO cannot block.
DroppedFileKind classify(const QString &path);

// The error text for dropped paths that are not regular files (empty when
// there are none): one names the item, several are counted.
QString refusalText(const QList<std::pair<QString, DroppedFileKind>> &refused);

} // namespace DropPlanning
} // namespace chat
