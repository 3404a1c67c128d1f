#include "panels/RenameSheet.h"

#include "glass/StyledButton.h"
#include "glass/StyledField.h"
#include "glass/Styles.h"

#include <QBoxLayout>

namespace panels {

RenameSheet::RenameSheet(glass::StyleStore &styles, const QString &draft, QWidget *parent)
    : SheetFrame(styles, QStringLiteral("Rename session"), parent)
{
    setObjectName(QStringLiteral("renameSheet"));
    m_field = new glass::StyledField(styles.styles().field, this);
    m_field->setPlaceholderText(QStringLiteral("Title"));
    m_field->setAccessibleName(QStringLiteral("Title"));
    m_field->setText(draft);
    m_field->selectAll();
    column()->addWidget(m_field);
    m_rename = addButtons(QStringLiteral("Rename"), styles.styles().primary);

    const auto sync = [this] { m_rename->setEnabled(canRename(m_field->text())); };
    connect(m_field, &QLineEdit::textChanged, this, sync);
    sync();
    restyle();
}

QString RenameSheet::draft() const
{
    return m_field->text();
}

void RenameSheet::confirm()
{
    emit committed(m_field->text());
}

void RenameSheet::restyle()
{
    SheetFrame::restyle();
    m_field->restyle();
}

} // namespace panels
