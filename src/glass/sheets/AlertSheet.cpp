#include "glass/sheets/AlertSheet.h"

#include "glass/sheets/SheetKeys.h"
#include "glass/controls/StyledButton.h"
#include "glass/look/Styles.h"
#include "glass/look/SymbolIcons.h"
#include "glass/look/TextInk.h"

#include <QAccessible>
#include <QApplication>
#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>

namespace glass {

namespace {

constexpr int kSymbolSize = 28;

const ButtonStyle &styleFor(const Styles &s, AlertSheet::Role role)
{
    switch (role) {
    case AlertSheet::Role::preferred:
        return s.primary;
    case AlertSheet::Role::destructive:
        return s.destructive;
    case AlertSheet::Role::plain:
        break;
    }
    return s.secondaryButton;
}

} // namespace

AlertSheet::AlertSheet(StyleStore &styles, Kind kind, const QString &title, const QString &message, QWidget *parent)
    : QWidget(parent), m_styles(styles), m_kind(kind)
{
    setObjectName(QStringLiteral("alertSheet"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(18);

    auto *top = new QHBoxLayout;
    top->setSpacing(14);
    m_symbol = new QLabel(this);
    m_symbol->setFixedSize(kSymbolSize, kSymbolSize);
    top->addWidget(m_symbol, 0, Qt::AlignTop);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(6);
    m_title = new QLabel(title, this);
    m_title->setObjectName(QStringLiteral("alertTitle"));
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("alertMessage"));
    // Shown as written: an error text is never read as markup.
    for (QLabel *label : {m_title, m_message}) {
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        texts->addWidget(label);
    }
    top->addLayout(texts, 1);
    column->addLayout(top);

    m_buttonRow = new QWidget(this);
    auto *row = new QHBoxLayout(m_buttonRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addStretch(1);
    column->addWidget(m_buttonRow);

    setMessage(message);
    connect(&m_styles, &StyleStore::changed, this, &AlertSheet::restyle);
    restyle();
}

StyledButton *AlertSheet::addButton(const QString &text, Role role)
{
    auto *button = new StyledButton(text, styleFor(m_styles.styles(), role), m_buttonRow);
    // Return is the sheet's (keyPressEvent), whichever button has focus.
    button->setAutoDefault(false);
    m_buttonRow->layout()->addWidget(button);
    m_buttons.append(button);
    m_roles.append(role);
    connect(button, &QAbstractButton::clicked, this, [this, button] { emit answered(button); });
    updateGeometry();
    return button;
}

void AlertSheet::setDefaultButton(StyledButton *button)
{
    m_default = m_buttons.contains(button) ? button : nullptr;
}

QString AlertSheet::title() const
{
    return m_title->text();
}

QString AlertSheet::message() const
{
    return m_message->text();
}

void AlertSheet::setMessage(const QString &message)
{
    const bool changed = message != m_message->text();
    m_message->setText(message);
    // A reader speaks a sheet's new words as it spoke the first ones.
    if (changed && isVisible() && QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&event);
    }
    m_message->setVisible(!message.isEmpty());
    updateGeometry();
}

QSize AlertSheet::sizeHint() const
{
    // The height the wrapped texts need at the sheet's width.
    const int height = layout()->hasHeightForWidth() ? layout()->heightForWidth(kWidth) : layout()->sizeHint().height();
    return {kWidth, height};
}

void AlertSheet::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // As a platform alert is told: readers speak an alert's title and
    // message when it starts showing. The sheet shows with its overlay,
    // which Qt reports alone, so the sheet says it itself.
    if (QAccessible::isActive()) {
        QAccessibleEvent shown(this, QAccessible::ObjectShow);
        QAccessible::updateAccessibility(&shown);
        QAccessibleEvent alert(this, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    }
}

bool AlertSheet::event(QEvent *event)
{
    // Return and Escape are the sheet's while focus is inside it: the
    // window's own shortcuts for them must not fire.
    if (SheetKeys::claimShortcutOverride(event))
        return true;
    return QWidget::event(event);
}

void AlertSheet::keyPressEvent(QKeyEvent *event)
{
    if (!SheetKeys::isAccept(*event)) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    auto *focused = qobject_cast<StyledButton *>(QApplication::focusWidget());
    StyledButton *pressed = m_buttons.contains(focused) ? focused : m_default;
    if (pressed && pressed->isEnabled())
        pressed->click();
}

void AlertSheet::restyle()
{
    const Styles &s = m_styles.styles();
    setTextStyle(m_title, s.headline.font, s.headline.color);
    setTextStyle(m_message, s.body.font, s.body.color);
    const bool warning = m_kind == Kind::warning;
    m_symbol->setPixmap(SymbolIcons::pixmap(warning ? QStringLiteral("exclamationmark.triangle.fill")
                                                    : QStringLiteral("info.circle.fill"),
                                            kSymbolSize, warning ? s.warning : s.accent, devicePixelRatioF()));
    for (qsizetype i = 0; i < m_buttons.size(); ++i) {
        m_buttons.at(i)->setButtonStyle(styleFor(s, m_roles.at(i)));
        m_buttons.at(i)->restyle();
    }
    updateGeometry();
}

} // namespace glass
