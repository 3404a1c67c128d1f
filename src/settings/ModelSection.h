#pragma once

#include "model/ModelCatalog.h"
#include "settings/SettingsLook.h"

#include <QAbstractButton>
#include <QList>
#include <QWidget>

#include <optional>

class QLabel;
class QTimer;

namespace app {
class AppViewModel;
}

namespace settings {

class FieldFrame;

// One catalog entry as a selectable row: title, optional badge, subtitle,
// and the check mark when it is the model in use.
class ModelRow : public QAbstractButton {
    Q_OBJECT
public:
    ModelRow(const model::QirvModelOption &option, QWidget *parent = nullptr);

    const model::QirvModelOption &option() const { return m_option; }
    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }
    void applyLook(const SettingsLook &look);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void nextCheckState() override {}

private:
    model::QirvModelOption m_option;
    bool m_selected = false;
    SettingsLook m_look;
};

// The model every run sends: the catalog as rows and a field for any other
// identifier. Typing is written at most a few times a second, and what is
// still pending when the window hides.
class ModelSection : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWriteIntervalMs = 300;

    explicit ModelSection(app::AppViewModel &app, QWidget *parent = nullptr);
    ~ModelSection() override;

    void applyLook(const SettingsLook &look);
    // Writes the typed identifier now if one is waiting.
    void flush();

    const QList<ModelRow *> &rows() const { return m_rows; }

private:
    void sync();
    void writeModel(const QString &id);

    app::AppViewModel &m_app;
    QList<ModelRow *> m_rows;
    FieldFrame *m_field = nullptr;
    QLabel *m_label = nullptr;
    QLabel *m_caption = nullptr;
    QTimer *m_writeTimer = nullptr;
    std::optional<QString> m_pending;
};

} // namespace settings
