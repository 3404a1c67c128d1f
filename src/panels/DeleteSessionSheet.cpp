#include "panels/DeleteSessionSheet.h"

#include "glass/StyledButton.h"
#include "glass/Styles.h"
#include "panels/SessionActions.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>

namespace panels {

DeleteSessionSheet::DeleteSessionSheet(glass::StyleStore &styles, const QString &title, QWidget *parent)
    : QWidget(parent), m_styles(styles)
{
    setObjectName(QStringLiteral("deleteSessionSheet"));
    setFixedWidth(360);
    const glass::Styles &s = styles.styles();
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(16);
    m_prompt = new QLabel(SessionActions::deletePrompt(title), this);
    m_prompt->setWordWrap(true);
    m_prompt->setTextFormat(Qt::PlainText);
    column->addWidget(m_prompt);
    auto *row = new QHBoxLayout;
    row->setSpacing(8);
    row->addStretch(1);
    m_cancel = new glass::StyledButton(QStringLiteral("Cancel"), s.secondaryButton, this);
    m_delete = new glass::StyledButton(QStringLiteral("Delete"), s.destructive, this);
    m_cancel->setAutoDefault(false);
    m_delete->setAutoDefault(false);
    row->addWidget(m_cancel);
    row->addWidget(m_delete);
    column->addLayout(row);
    connect(m_cancel, &QAbstractButton::clicked, this, &DeleteSessionSheet::cancelled);
    connect(m_delete, &QAbstractButton::clicked, this, &DeleteSessionSheet::confirmed);
    connect(&m_styles, &glass::StyleStore::changed, this, &DeleteSessionSheet::restyle);
    restyle();
}

QString DeleteSessionSheet::prompt() const
{
    return m_prompt->text();
}

bool DeleteSessionSheet::event(QEvent *event)
{
    // Return and Escape are the sheet's while focus is inside it: the
    // window's own shortcuts for them must not fire.
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (!(key->modifiers() & ~Qt::KeypadModifier)
            && (key->key() == Qt::Key_Escape || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void DeleteSessionSheet::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && !(event->modifiers() & ~Qt::KeypadModifier)) {
        event->accept();
        emit confirmed();
        return;
    }
    QWidget::keyPressEvent(event);
}

void DeleteSessionSheet::restyle()
{
    const glass::Styles &s = m_styles.styles();
    m_prompt->setFont(s.headline.font);
    QPalette pal = m_prompt->palette();
    pal.setColor(QPalette::WindowText, s.text);
    m_prompt->setPalette(pal);
    m_cancel->restyle();
    m_delete->restyle();
}

} // namespace panels
