#pragma once

#include "app/SignInSource.h"

#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class QNetworkAccessManager;

namespace stage {
class BackgroundSettings;
}
namespace model {
class AttachmentTempStore;
}
namespace auth {
class MoonshelfAuth;
}
namespace platform {
class DesktopServices;
}
namespace dictation {
class SpeechCapture;
}

namespace app {

class FilePanels;

// Everything the controller takes from outside. The application fills it
// with the real services (live()); tests fill it with doubles and loopback
// peers. Pointers are not owned and must outlive the controller.
struct AppServices {
    std::unique_ptr<SignInSource> signIn;          // owned by the controller
    QNetworkAccessManager *network = nullptr;      // null: the process-wide one
    QUrl endpoint;                                 // chat completions; empty: the service's
    std::function<void(const QString &)> setClipboardText;
    model::AttachmentTempStore *staging = nullptr; // null: the shared staging store
    stage::BackgroundSettings *background = nullptr; // null: the shared stage state
    FilePanels *panels = nullptr;                  // null: no panel is shown (as if cancelled)
    auth::MoonshelfAuth *auth = nullptr;           // null: the process's sign-in object
    platform::DesktopServices *desktop = nullptr;  // null: the system's browser
    dictation::SpeechCapture *speech = nullptr;    // null: the shared microphone dictation
    // The conversation history read on a thread of its own, arriving after
    // the window's first frame (the app); false: read before the controller
    // exists.
    bool historyInBackground = false;

    // The real sign-in, network, service, clipboard, staging and stage.
    static AppServices live();
};

} // namespace app
