#include "panels/SheetFrame.h"

#include "glass/sheets/SheetKeys.h"
#include "glass/controls/StyledButton.h"
#include "glass/look/Styles.h"
#include "glass/look/TextInk.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>

namespace panels {

SheetFrame::SheetFrame(glass::StyleStore &styles, const QString &headline, QWidget *parent)
    : QWidget(parent), m_styles(styles)
{
    setFixedWidth(kWidth);
    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(20, 20, 20, 20);
    m_column->setSpacing(16);
    m_headline = new QLabel(headline, this);
    m_column->addWidget(m_headline);
    connect(&m_styles, &glass::StyleStore::changed, this, &SheetFrame::restyle);
}

glass::StyledButton *SheetFrame::addButtons(const QString &action, const glass::ButtonStyle &style)
{
    auto *row = new QHBoxLayout;
    row->setSpacing(8);
    row->addStretch(1);
    m_cancel = new glass::StyledButton(QStringLiteral("Cancel"), m_styles.styles().secondaryButton, this);
    m_action = new glass::StyledButton(action, style, this);
    // Return is the sheet's (see keyPressEvent), whichever button has focus.
    m_cancel->setAutoDefault(false);
    m_action->setAutoDefault(false);
    row->addWidget(m_cancel);
    row->addWidget(m_action);
    m_column->addLayout(row);
    connect(m_cancel, &QAbstractButton::clicked, this, &SheetFrame::cancelled);
    connect(m_action, &QAbstractButton::clicked, this, &SheetFrame::confirm);
    return m_action;
}

bool SheetFrame::event(QEvent *event)
{
    // Return and Escape are the sheet's while focus is inside it: the
    // window's own shortcuts for them must not fire.
    if (glass::SheetKeys::claimShortcutOverride(event))
        return true;
    return QWidget::event(event);
}

void SheetFrame::keyPressEvent(QKeyEvent *event)
{
    if (glass::SheetKeys::isAccept(*event)) {
        event->accept();
        confirm();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SheetFrame::restyle()
{
    const glass::Styles &s = m_styles.styles();
    m_headline->setFont(s.headline.font);
    glass::setInk(m_headline, s.text);
    if (m_cancel)
        m_cancel->restyle();
    if (m_action)
        m_action->restyle();
}

} // namespace panels
