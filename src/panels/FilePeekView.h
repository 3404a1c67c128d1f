#pragma once

#include "model/RunRecords.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QStackedWidget;

namespace app {
class AppViewModel;
}
namespace glass {
class StyledButton;
class StyleStore;
class SymbolButton;
} // namespace glass

namespace panels {

class PanelEmptyState;

// One project file shown read-only above the chat: its path and size line,
// attach, reveal and close, and its text (or "Nothing to preview"). It is
// as tall as its content asks, up to 280 px; a longer text scrolls inside.
class FilePeekView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxHeight = 280;
    FilePeekView(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent = nullptr);
    QSize sizeHint() const override;

    // The size and kind line under the path.
    static QString metaLine(const model::PeekedFile &file);

    // Shows the file; the panel has no state of its own beyond it.
    void setFile(const model::PeekedFile &file);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void restyle();

    app::AppViewModel &m_app;
    glass::StyleStore &m_styles;
    model::PeekedFile m_file;
    QLabel *m_symbol = nullptr;
    QLabel *m_path = nullptr;
    QLabel *m_meta = nullptr;
    glass::StyledButton *m_attach = nullptr;
    glass::StyledButton *m_reveal = nullptr;
    glass::SymbolButton *m_close = nullptr;
    QStackedWidget *m_body = nullptr;
    QPlainTextEdit *m_text = nullptr;
    PanelEmptyState *m_nothing = nullptr;
};

} // namespace panels
