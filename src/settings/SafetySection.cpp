#include "settings/SafetySection.h"

#include "app/AppViewModel.h"
#include "glass/look/TextInk.h"
#include "model/SettingsStore.h"
#include "settings/SectionValues.h"
#include "settings/SegmentedControl.h"
#include "settings/SettingsText.h"

#include <QLabel>
#include <QVBoxLayout>

namespace settings {

namespace {
QStringList segmentTitles()
{
    QStringList titles;
    for (const model::ToolGuardMode mode : model::kAllToolGuardModes)
        titles.append(SectionValues::guardTitle(mode));
    return titles;
}
} // namespace

SafetySection::SafetySection(app::AppViewModel &app, QWidget *parent) : QWidget(parent), m_app(app)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    m_picker = new SegmentedControl(segmentTitles(), this);
    m_picker->setAccessibleName(QStringLiteral("Tool guard"));
    m_caption = makeText(QString(), this, true);
    m_caption->setObjectName(QStringLiteral("guardCaption"));
    m_hint = makeText(QStringLiteral("Also on the composer row (Ask / Balanced / YOLO)."), this, true);
    column->addWidget(m_picker);
    column->addWidget(m_caption);
    column->addWidget(m_hint);

    connect(m_picker, &SegmentedControl::activated, this, [this](int index) {
        m_app.setToolGuard(model::kAllToolGuardModes.at(std::size_t(index)));
    });
    connect(&m_app.settingsStore(), &model::SettingsStore::settingsChanged, this, &SafetySection::sync);
    sync();
}

void SafetySection::sync()
{
    const model::ToolGuardMode mode = m_app.settingsStore().settings().effectiveToolGuardMode();
    m_picker->setCurrent(int(std::find(model::kAllToolGuardModes.begin(), model::kAllToolGuardModes.end(), mode) -
                             model::kAllToolGuardModes.begin()));
    const SectionValues::GuardCaption caption = SectionValues::guardCaption(mode);
    m_caption->setText(caption.text);
    m_danger = caption.danger;
    glass::setTextStyle(m_caption, m_look.caption, m_danger ? m_look.danger : m_look.textSecondary);
}

void SafetySection::applyLook(const SettingsLook &look)
{
    m_look = look;
    m_picker->applyLook(look);
    glass::setTextStyle(m_hint, look.caption2, look.textTertiary);
    sync();
}

} // namespace settings
