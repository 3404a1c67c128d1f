#include "panels/RenameSheet.h"

#include "glass/paint/FrostShape.h"
#include "glass/paint/GlassPainter.h"
#include "glass/controls/StyledButton.h"
#include "glass/controls/StyledField.h"
#include "glass/look/Styles.h"

#include <QBoxLayout>
#include <QPainter>

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
    update();
}

void RenameSheet::paintEvent(QPaintEvent *)
{
    const glass::Styles &s = styles().styles();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area(rect());
    const glass::FrostShape shape = glass::FrostShape::roundedRectangle(s.sheet.radius);
    p.fillPath(shape.path(area), glass::QirvTheme::color(s.skin.colors.elevated));
    glass::GlassPainter::innerBorder(p, area, shape, s.sheet.stroke, 1.0);
}

} // namespace panels
