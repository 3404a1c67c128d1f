#pragma once

#include "palette/PaletteCommand.h"

#include <QAbstractButton>

namespace glass {
class StyleStore;
}

namespace palette {

// One command: its symbol, title, subtitle and shortcut hint; the whole row clicks.
class PaletteRow : public QAbstractButton {
    Q_OBJECT
public:
    PaletteRow(const PaletteCommand &command, glass::StyleStore &styles, QWidget *parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    PaletteCommand m_command;
    glass::StyleStore &m_styles;
};

} // namespace palette
