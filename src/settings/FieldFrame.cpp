#include "settings/FieldFrame.h"

#include "glass/paint/Backdrop.h"
#include "glass/controls/FocusRing.h"
#include "glass/paint/FrostShape.h"
#include "glass/paint/GlassPainter.h"
#include "glass/controls/StyledField.h"
#include "settings/RoundedBox.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>

namespace settings {

FieldFrame::FieldFrame(const QString &placeholder, QWidget *parent) : QWidget(parent)
{
    m_edit = new QLineEdit(this);
    m_edit->setFrame(false);
    m_edit->setPlaceholderText(placeholder);
    m_edit->installEventFilter(this);
    glass::FocusRing::setFrame(m_edit, this);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_edit);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void FieldFrame::setFieldStyle(const glass::FieldStyle &style, int padding)
{
    m_style = style;
    glass::FocusRing::setShape(m_edit, style.radius);
    layout()->setContentsMargins(padding, padding, padding, padding);
    m_edit->setFont(style.font);
    m_edit->setPalette(
        glass::StyledField::textPalette(m_edit->palette(), style.text, style.placeholder, style.selection));
    update();
}

bool FieldFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        update();
    return QWidget::eventFilter(watched, event);
}

void FieldFrame::setChipFrost(const stage::UISkin &skin)
{
    m_frost = skin;
    update();
}

void FieldFrame::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (m_frost) {
        // The focus shows as the keyboard's ring, around it.
        const glass::BackdropLocation where = glass::locateBackdrop(this);
        glass::GlassPainter::frostShape(p, QRectF(rect()), glass::FrostShape::roundedRectangle(m_style.radius),
                                        glass::QirvTheme::FrostRole::chip, true, false, *m_frost,
                                        where.provider ? &where.provider->backdropFrame() : nullptr, where.origin);
        return;
    }
    const bool focused = m_edit->hasFocus();
    paintRoundedBox(p, rect(), m_style.radius, focused ? m_style.fillFocus : m_style.fill,
                    focused ? m_style.strokeFocus : m_style.stroke);
}

} // namespace settings
