#pragma once

#include "chat/tray/TrayPopover.h"

#include <QWidget>

#include <functional>
#include <optional>

class QVariantAnimation;

namespace app {
class AppViewModel;
}
namespace glass {
class StyleStore;
}

namespace chat {

class ContextChip;
class TrayIconButton;
class TrayPopoverHost;

// The row under the composer's field: the project, permissions and model
// chips on the left; the skin palette, the stage's eye, the wallpaper
// panel, the microphone, send and (during a run) stop on the right. It
// keeps only which tray popover is open and whether the wallpaper panel is:
// at most one of them at a time. Every look is derived again from the
// controller whenever something it shows changes.
class ComposerTray : public QWidget {
    Q_OBJECT
public:
    // The widest title of the project and model chips.
    static constexpr int kProjectTitleWidth = 180;

    ComposerTray(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent = nullptr);
    ~ComposerTray() override;

    // The composer's own reading of its field, for dictation (the
    // controller's draft when not set).
    void setDraftReader(std::function<QString()> reader) { m_draftReader = std::move(reader); }

    std::optional<TrayPopover> trayPopover() const { return m_popover; }
    // Opens that popover (closing any other and the wallpaper panel), or none.
    void setTrayPopover(std::optional<TrayPopover> popover);
    bool wallpaperExpanded() const { return m_wallpaperExpanded; }
    void setWallpaperExpanded(bool expanded);

    // The chips' fading glow after the pane is first shown, 1 to 0.
    double introGlow() const { return m_introGlow; }
    void setIntroGlow(double glow);

    // Something to send: a draft with more than white space, or an attachment.
    bool canCompose() const;

    TrayPopoverHost &popovers() const { return *m_host; }
    ContextChip *projectChip() const { return m_project; }

    // One row whatever the width; said as height-for-width so the composer
    // card, which sizes itself that way, counts the row.
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int) const override { return height(); }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void fitRow();
    void toggle(TrayPopover popover);
    void showOpen();
    QWidget *makePopover(TrayPopover popover);
    void onPopoverClosed();
    void onProjectChip();
    void refresh();
    void refreshChips();
    void refreshButtons();
    void refreshSend();

    app::AppViewModel &m_app;
    glass::StyleStore &m_styles;
    std::function<QString()> m_draftReader;
    std::optional<TrayPopover> m_popover;
    bool m_wallpaperExpanded = false;
    double m_introGlow = 1.0;
    bool m_glowStarted = false;

    TrayPopoverHost *m_host = nullptr;
    QVariantAnimation *m_glow = nullptr;
    ContextChip *m_project = nullptr;
    ContextChip *m_guard = nullptr;
    ContextChip *m_model = nullptr;
    TrayIconButton *m_skin = nullptr;
    TrayIconButton *m_eye = nullptr;
    TrayIconButton *m_wallpaper = nullptr;
    TrayIconButton *m_mic = nullptr;
    TrayIconButton *m_send = nullptr;
    TrayIconButton *m_stop = nullptr;
};

} // namespace chat
