#pragma once

#include <QString>

#include <qcoro/qcorotask.h>

#include <optional>

namespace app {

// The file panels the controller asks the user through. The window layer
// shows them (this layer has no widgets); tests answer with a script.
// Each ends with the chosen path, or none when the user cancelled.
class FilePanels {
public:
    struct SaveRequest {
        QString title;
        QString message;
        QString proposedName;
        QString nameFilter; // e.g. "Markdown (*.md)"
    };
    struct FolderRequest {
        QString title;
        QString message;
    };

    virtual ~FilePanels() = default;
    virtual QCoro::Task<std::optional<QString>> chooseSaveFile(SaveRequest request) = 0;
    virtual QCoro::Task<std::optional<QString>> chooseFolder(FolderRequest request) = 0;
};

} // namespace app
