#pragma once

#include <QWidget>

class QMenuBar;

namespace app {
class AppViewModel;
}
namespace glass {
class StageBackground;
class StyleStore;
}

namespace window {

class ActionRegistry;
class TitleButton;

// The transparent strip at the top of the main window, over the stage: the
// leading controls (sidebar, files), the menu bar, the trailing tool buttons
// (stop, tool log, export, open folder, new session) and, when the window
// has no frame of the window manager, the window buttons. Dragging its empty
// part moves the window; a double click maximizes or restores it.
class TitleStrip : public QWidget {
    Q_OBJECT
public:
    TitleStrip(app::AppViewModel &app, ActionRegistry &actions, glass::StyleStore &styles, QMenuBar *menuBar,
               bool windowButtons, QWidget *parent = nullptr);

    static constexpr int kHeight = 40;

    // The window went to or from maximized: the button shows what it does next.
    void showMaximizedState(bool maximized);

    // How strongly the strip shades the stage under it (0: not at all), so
    // its symbols and menus stay legible over a bright or a dark wallpaper.
    qreal shade() const { return m_shade; }
    // Follows what the stage shows.
    void watchStage(glass::StageBackground *stage);
    // The shade for a stage of mean luminance `stage` under text meant for
    // the skin's background of luminance `base` (both 0..1).
    static qreal shadeFor(qreal stage, qreal base);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();
    void applyStyles();
    void toggleMaximized();
    void measureStage();

    app::AppViewModel &m_app;
    ActionRegistry &m_actions;
    glass::StyleStore &m_styles;
    QMenuBar *m_menuBar = nullptr;
    TitleButton *m_sidebar = nullptr;
    TitleButton *m_files = nullptr;
    TitleButton *m_stop = nullptr;
    TitleButton *m_toolLog = nullptr;
    TitleButton *m_export = nullptr;
    TitleButton *m_openFolder = nullptr;
    TitleButton *m_newSession = nullptr;
    TitleButton *m_minimize = nullptr;
    TitleButton *m_maximize = nullptr;
    TitleButton *m_close = nullptr;
    qreal m_shade = 0;
};

} // namespace window
