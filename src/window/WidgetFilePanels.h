#pragma once

#include "app/FilePanels.h"

#include <QPointer>
#include <QWidget>

namespace window {

// The controller's file panels as file dialogs over the main window:
// window-modal and opened, never run in a nested loop.
class WidgetFilePanels final : public app::FilePanels {
public:
    void setParentWindow(QWidget *window) { m_window = window; }

    QCoro::Task<std::optional<QString>> chooseSaveFile(SaveRequest request) override;
    QCoro::Task<std::optional<QString>> chooseFolder(FolderRequest request) override;

private:
    QPointer<QWidget> m_window;
};

} // namespace window
