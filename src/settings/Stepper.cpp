#include "settings/Stepper.h"

#include "glass/look/TextInk.h"
#include "settings/SettingsButton.h"
#include "settings/SettingsText.h"

#include <QHBoxLayout>
#include <QLabel>

namespace settings {

Stepper::Stepper(QWidget *parent) : QWidget(parent)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    m_label = makeText(QString(), this, false);
    m_down = new SettingsButton(QStringLiteral("\u2212"), this);
    m_up = new SettingsButton(QStringLiteral("+"), this);
    m_down->setAccessibleName(QStringLiteral("Decrement"));
    m_up->setAccessibleName(QStringLiteral("Increment"));
    row->addWidget(m_label);
    row->addStretch(1);
    row->addWidget(m_down);
    row->addWidget(m_up);
    connect(m_down, &QAbstractButton::clicked, this, [this] { emit stepRequested(-1); });
    connect(m_up, &QAbstractButton::clicked, this, [this] { emit stepRequested(+1); });
}

void Stepper::setLabel(const QString &text)
{
    m_label->setText(text);
    // A reader on a step button hears the value it changes.
    m_down->setAccessibleDescription(text);
    m_up->setAccessibleDescription(text);
}

void Stepper::setSubject(const QString &subject)
{
    m_down->setAccessibleName(QStringLiteral("Decrement ") + subject);
    m_up->setAccessibleName(QStringLiteral("Increment ") + subject);
}

QString Stepper::label() const
{
    return m_label->text();
}

void Stepper::setStepEnabled(bool down, bool up)
{
    m_down->setEnabled(down);
    m_up->setEnabled(up);
}

void Stepper::applyLook(const SettingsLook &look)
{
    glass::setTextStyle(m_label, look.callout, look.text);
    glass::ButtonStyle step = look.bordered;
    step.padding = QMargins(10, 0, 10, 0);
    step.height = 24;
    m_down->setButtonStyle(step);
    m_up->setButtonStyle(step);
    m_down->setFixedWidth(32);
    m_up->setFixedWidth(32);
}

} // namespace settings
