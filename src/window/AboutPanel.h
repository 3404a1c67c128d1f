#pragma once

#include <QDialog>

namespace glass {
class StyleStore;
}
namespace platform {
class DesktopServices;
}

namespace window {

// The About panel: the app's icon, name and version, then the credits, two
// centred paragraphs, the second a link to the makers' page that opens in
// the browser. Built afresh each time it is asked for.
class AboutPanel : public QDialog {
    Q_OBJECT
public:
    AboutPanel(glass::StyleStore &styles, platform::DesktopServices &desktop, QWidget *parent = nullptr);

    static QString creditsLinkText() { return QStringLiteral("Built by Dulmar"); }
};

} // namespace window
