#pragma once

#include "palette/PaletteCommand.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QScrollArea;
class QVBoxLayout;

namespace glass {
class StyleStore;
class SymbolButton;
} // namespace glass

namespace palette {

// The command palette: a search field over the frequent actions; a click on
// a row, or Return for the first row, closes it and runs the command once.
class CommandPaletteView : public QWidget {
    Q_OBJECT
public:
    CommandPaletteView(app::AppViewModel &app, glass::StyleStore &styles, QList<QAction *> actions,
                       QWidget *parent = nullptr);

    QLineEdit &field() const { return *m_field; }
    // The rows shown now, by command id.
    QStringList shownIds() const { return m_shownIds; }
    // Closes the palette and runs the command on a later turn; a second
    // call in the same opening does nothing.
    void run(const PaletteCommand &command);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void rebuild();
    void restyle();

    app::AppViewModel &m_app;
    glass::StyleStore &m_styles;
    QList<QAction *> m_actions;
    QLineEdit *m_field = nullptr;
    QLabel *m_glass = nullptr;
    glass::SymbolButton *m_clear = nullptr;
    QScrollArea *m_scroll = nullptr;
    QWidget *m_list = nullptr;
    QVBoxLayout *m_rows = nullptr;
    QStringList m_shownIds;
    bool m_ran = false;
};

} // namespace palette
