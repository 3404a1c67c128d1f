#pragma once

#include "settings/SettingsLook.h"

#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <functional>

class QLabel;
class QSlider;

namespace app {
class AccountController;
}
namespace glass {
class GlassSwitch;
}
namespace stage {
class BackgroundSettings;
}

namespace settings {

class BusyIndicator;
class FieldFrame;
class LinkButton;
class SettingsButton;

// The stage's controls: show, overlay, motion, the image and video
// choosers, random, undo, an image address, turn off; the download's
// progress, the last status and the curated photo's credit. Everything
// shown comes from the one stage state; the card keeps nothing of its own.
class BackgroundCard : public QWidget {
    Q_OBJECT
public:
    // Asks for a file: (message, name filters) -> path, empty when cancelled.
    using FileChooser = std::function<QString(const QString &, const QStringList &)>;

    BackgroundCard(stage::BackgroundSettings &bg, app::AccountController &links, QWidget *parent = nullptr);

    void applyLook(const SettingsLook &look);
    void setFileChooser(FileChooser chooser) { m_choose = std::move(chooser); }

    // The random-image service's home page.
    static QUrl picsumHomePage();
    // Where the credit link goes: the credit's page, else the photographer's site.
    static QUrl creditDestination(const std::optional<QString> &creditUrl);
    static QString creditLinkText();

    SettingsButton *randomButton() const { return m_random; }
    BusyIndicator *progress() const { return m_progress; }

private:
    void sync();

    stage::BackgroundSettings &m_bg;
    app::AccountController &m_links;
    FileChooser m_choose;

    QLabel *m_intro = nullptr;
    glass::GlassSwitch *m_show = nullptr;
    QLabel *m_overlayTitle = nullptr;
    QLabel *m_percent = nullptr;
    QSlider *m_overlay = nullptr;
    glass::GlassSwitch *m_motion = nullptr;
    SettingsButton *m_chooseImage = nullptr;
    SettingsButton *m_chooseVideo = nullptr;
    SettingsButton *m_random = nullptr;
    SettingsButton *m_undo = nullptr;
    FieldFrame *m_url = nullptr;
    SettingsButton *m_apply = nullptr;
    BusyIndicator *m_progress = nullptr;
    QLabel *m_status = nullptr;
    QWidget *m_credit = nullptr;
    QLabel *m_creditTitle = nullptr;
    QLabel *m_creditLine = nullptr;
    LinkButton *m_creditLink = nullptr;
    SettingsButton *m_turnOff = nullptr;
    LinkButton *m_picsum = nullptr;
    QLabel *m_hint = nullptr;
};

} // namespace settings
