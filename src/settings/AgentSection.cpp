#include "settings/AgentSection.h"

#include "app/AppViewModel.h"
#include "model/SettingsStore.h"
#include "settings/SectionValues.h"
#include "settings/Stepper.h"

#include <QVBoxLayout>

namespace settings {

AgentSection::AgentSection(app::AppViewModel &app, QWidget *parent) : QWidget(parent), m_app(app)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    m_iterations = new Stepper(this);
    m_timeout = new Stepper(this);
    m_iterations->setObjectName(QStringLiteral("iterations"));
    m_timeout->setObjectName(QStringLiteral("shellTimeout"));
    m_iterations->setSubject(QStringLiteral("Max tool iterations"));
    m_timeout->setSubject(QStringLiteral("Shell timeout"));
    column->addWidget(m_iterations);
    column->addWidget(m_timeout);
    connect(m_iterations, &Stepper::stepRequested, this, &AgentSection::stepIterations);
    connect(m_timeout, &Stepper::stepRequested, this, &AgentSection::stepTimeout);
    connect(&m_app.settingsStore(), &model::SettingsStore::settingsChanged, this, &AgentSection::sync);
    sync();
}

void AgentSection::sync()
{
    const model::AppSettings &settings = m_app.settingsStore().settings();
    const double iterations = double(settings.maxAgentIterations);
    m_iterations->setLabel(SectionValues::iterationsLabel(settings.maxAgentIterations));
    m_iterations->setStepEnabled(SectionValues::canStep(iterations, -1, SectionValues::kIterations),
                                 SectionValues::canStep(iterations, +1, SectionValues::kIterations));
    const double timeout = SectionValues::timeoutStepBase(settings.shellTimeoutSeconds);
    m_timeout->setLabel(SectionValues::timeoutLabel(settings.shellTimeoutSeconds));
    m_timeout->setStepEnabled(SectionValues::canStep(timeout, -1, SectionValues::kTimeout),
                              SectionValues::canStep(timeout, +1, SectionValues::kTimeout));
}

void AgentSection::stepIterations(int direction)
{
    model::AppSettings settings = m_app.settingsStore().settings();
    const double next = SectionValues::stepped(double(settings.maxAgentIterations), direction, SectionValues::kIterations);
    settings.maxAgentIterations = qint64(next);
    m_app.settingsStore().setSettings(settings);
}

void AgentSection::stepTimeout(int direction)
{
    model::AppSettings settings = m_app.settingsStore().settings();
    settings.shellTimeoutSeconds = SectionValues::stepped(SectionValues::timeoutStepBase(settings.shellTimeoutSeconds),
                                                          direction, SectionValues::kTimeout);
    m_app.settingsStore().setSettings(settings);
}

void AgentSection::applyLook(const SettingsLook &look)
{
    m_iterations->applyLook(look);
    m_timeout->applyLook(look);
}

} // namespace settings
