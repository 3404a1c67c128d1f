#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

class QLabel;
class QToolButton;

namespace stage {
class BackgroundSettings;
}

namespace glass {

class GlassSwitch;
class StyleStore;
class StyledButton;
class StyledField;
class StyledSlider;
class TrayGlassPopover;

// A compact glass card with every control of the stage: on or off, the
// veil, the motion, a photo or a video, a random image, undo, an image from
// an address, clearing, and the last status line. It keeps no state of its
// own: every control reads and changes the stage::BackgroundSettings it is
// given. Its looks are the style values of the skin in use.
// The caller shows it while expanded is true; Close and Clear set it false.
class WallpaperExpandedPanel : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool expanded READ isExpanded WRITE setExpanded NOTIFY expandedChanged)
public:
    // Asks the user for a file: (caption, name filters) -> path, empty when cancelled.
    using FileChooser = std::function<QString(const QString &caption, const QStringList &filters)>;

    WallpaperExpandedPanel(stage::BackgroundSettings &bg, StyleStore &styles, QWidget *parent = nullptr);

    bool isExpanded() const { return m_expanded; }
    void setExpanded(bool expanded);

    // The open panels of the desktop unless replaced (tests do).
    void setFileChooser(FileChooser chooser);

    // The status line: at most two lines at width, the rest cut with an
    // ellipsis; a word longer than a line breaks anywhere, and a line break
    // in the text starts a new line.
    static QString statusText(const QString &text, const QFont &font, int width);
    // Go is usable once the address holds something besides white space.
    static bool canGo(const QString &address);

    static constexpr int kWidth = 288;

signals:
    void expandedChanged(bool expanded);

protected:
    bool event(QEvent *event) override;

private:
    void build();
    void restyle();
    void refresh();
    void fitToContent();
    void choosePhoto();
    void chooseVideo();

    QPointer<stage::BackgroundSettings> m_bg;
    StyleStore &m_styles;
    FileChooser m_chooser;
    bool m_expanded = true;
    bool m_refreshing = false;

    QLabel *m_title = nullptr;
    QToolButton *m_close = nullptr;
    GlassSwitch *m_stage = nullptr;
    QLabel *m_overlayLabel = nullptr;
    QLabel *m_percent = nullptr;
    StyledSlider *m_slider = nullptr;
    GlassSwitch *m_motion = nullptr;
    StyledButton *m_photo = nullptr;
    StyledButton *m_video = nullptr;
    StyledButton *m_random = nullptr;
    StyledButton *m_undo = nullptr;
    StyledField *m_url = nullptr;
    StyledButton *m_go = nullptr;
    StyledButton *m_clear = nullptr;
    QLabel *m_status = nullptr;
    TrayGlassPopover *m_glass = nullptr;
};

} // namespace glass
