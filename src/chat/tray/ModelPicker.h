#pragma once

#include "model/ModelCatalog.h"

#include <QAbstractButton>
#include <QString>

namespace glass {
class StyleStore;
}

namespace chat {

// "Model: <id in full>" and what the chip is for.
QString modelChipTooltip(const QString &selectedID);

// The model chip's popover: the catalog with titles, subtitles and badges,
// the selected row highlighted and ticked; an id the catalog does not know
// as a "Custom" entry; and the way to the settings, where one is typed.
class ModelPickerPopover : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 280;

    ModelPickerPopover(const QString &selectedID, glass::StyleStore &styles, QWidget *parent = nullptr);

signals:
    void modelChosen(const QString &id);
    void customRequested();
};

// One catalog row.
class ModelRow : public QAbstractButton {
    Q_OBJECT
public:
    ModelRow(const model::QirvModelOption &option, bool selected, glass::StyleStore &styles, QWidget *parent = nullptr);
    const model::QirvModelOption &option() const { return m_option; }
    bool isSelected() const { return m_selected; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    // Checked tells a screen reader which row is ticked; a click asks for the
    // choice and the tick follows the store, not the click.
    void nextCheckState() override {}

private:
    glass::StyleStore &m_styles;
    model::QirvModelOption m_option;
    bool m_selected;
};

// The selected id that no catalog row has; shown, not pressable.
class CustomModelEntry : public QWidget {
    Q_OBJECT
public:
    CustomModelEntry(const QString &id, glass::StyleStore &styles, QWidget *parent = nullptr);
    QString id() const { return m_id; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    glass::StyleStore &m_styles;
    QString m_id;
};

} // namespace chat
