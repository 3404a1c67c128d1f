#include "panels/RenameSheet.h"

#include "glass/StyledButton.h"
#include "glass/StyledField.h"
#include "glass/Styles.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>

namespace panels {

RenameSheet::RenameSheet(glass::StyleStore &styles, const QString &draft, QWidget *parent)
    : QWidget(parent), m_styles(styles)
{
    setObjectName(QStringLiteral("renameSheet"));
    setFixedWidth(kWidth);
    const glass::Styles &s = styles.styles();
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(16);
    m_title = new QLabel(QStringLiteral("Rename session"), this);
    column->addWidget(m_title);
    m_field = new glass::StyledField(s.field, this);
    m_field->setPlaceholderText(QStringLiteral("Title"));
    m_field->setAccessibleName(QStringLiteral("Title"));
    m_field->setText(draft);
    m_field->selectAll();
    column->addWidget(m_field);
    auto *row = new QHBoxLayout;
    row->setSpacing(8);
    row->addStretch(1);
    m_cancel = new glass::StyledButton(QStringLiteral("Cancel"), s.secondaryButton, this);
    m_rename = new glass::StyledButton(QStringLiteral("Rename"), s.primary, this);
    // Return is the sheet's (see keyPressEvent), whichever button has focus.
    m_cancel->setAutoDefault(false);
    m_rename->setAutoDefault(false);
    row->addWidget(m_cancel);
    row->addWidget(m_rename);
    column->addLayout(row);

    const auto sync = [this] { m_rename->setEnabled(canRename(m_field->text())); };
    connect(m_field, &QLineEdit::textChanged, this, sync);
    connect(m_cancel, &QAbstractButton::clicked, this, &RenameSheet::cancelled);
    connect(m_rename, &QAbstractButton::clicked, this, [this] { emit committed(m_field->text()); });
    connect(&m_styles, &glass::StyleStore::changed, this, &RenameSheet::restyle);
    sync();
    restyle();
}

QString RenameSheet::draft() const
{
    return m_field->text();
}

bool RenameSheet::event(QEvent *event)
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

void RenameSheet::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && !(event->modifiers() & ~Qt::KeypadModifier)) {
        event->accept();
        emit committed(m_field->text());
        return;
    }
    QWidget::keyPressEvent(event);
}

void RenameSheet::restyle()
{
    const glass::Styles &s = m_styles.styles();
    m_title->setFont(s.headline.font);
    QPalette pal = m_title->palette();
    pal.setColor(QPalette::WindowText, s.text);
    m_title->setPalette(pal);
    m_field->restyle();
    m_cancel->restyle();
    m_rename->restyle();
}

} // namespace panels
