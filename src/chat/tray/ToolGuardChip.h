#pragma once

#include "model/SettingsRecords.h"

#include <QAbstractButton>
#include <QString>

namespace glass {
class StyleStore;
}

namespace chat {

// The tool guard as the tray shows it.
struct ToolGuardModeInfo {
    QString symbol;
    QString title;
    QString subtitle; // in the popover
    QString description;
};
ToolGuardModeInfo toolGuardInfo(model::ToolGuardMode mode);

// "Permissions · <title>. <description>" and a second line on how to change it.
QString toolGuardTooltip(model::ToolGuardMode mode);

// The popover of the permissions chip: one row per mode, the mode in force
// ticked. Choosing a row emits chosen(), also for the mode in force.
class ToolGuardPopover : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 240;

    ToolGuardPopover(model::ToolGuardMode current, glass::StyleStore &styles, QWidget *parent = nullptr);

signals:
    void chosen(model::ToolGuardMode mode);
};

// One row of that popover.
class ToolGuardRow : public QAbstractButton {
    Q_OBJECT
public:
    ToolGuardRow(model::ToolGuardMode mode, bool current, glass::StyleStore &styles, QWidget *parent = nullptr);
    model::ToolGuardMode mode() const { return m_mode; }
    bool isCurrent() const { return m_current; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    // Checked tells a screen reader which row is ticked; a click asks for the
    // choice and the tick follows the store, not the click.
    void nextCheckState() override {}

private:
    glass::StyleStore &m_styles;
    model::ToolGuardMode m_mode;
    bool m_current;
};

} // namespace chat
