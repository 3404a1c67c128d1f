#include "chat/tray/TrayPopoverHost.h"

#include "glass/paint/Backdrop.h"
#include "glass/paint/GlassDecoration.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QVariantAnimation>

namespace chat {

TrayPopoverHost::TrayPopoverHost(glass::StyleStore &styles, QObject *parent) : QObject(parent), m_styles(styles)
{
}

TrayPopoverHost::~TrayPopoverHost()
{
    dismiss();
}

void TrayPopoverHost::addAnchor(QWidget *anchor)
{
    m_anchors.append(anchor);
}

QWidget *TrayPopoverHost::overlayParent(QWidget *anchor)
{
    if (!anchor)
        return nullptr;
    for (QWidget *ancestor = anchor->parentWidget(); ancestor; ancestor = ancestor->parentWidget()) {
        for (QObject *child : ancestor->children())
            if (dynamic_cast<glass::BackdropProvider *>(child))
                return ancestor;
        if (ancestor->isWindow())
            return ancestor;
    }
    return anchor->window();
}

QRect TrayPopoverHost::placement(const QRect &anchor, const QSize &size, const QSize &window)
{
    int x = anchor.center().x() + 1 - size.width() / 2;
    x = qMin(x, window.width() - kMargin - size.width());
    x = qMax(x, kMargin);
    int y = anchor.top() - kGap - size.height();
    if (y < kMargin) {
        const int below = anchor.bottom() + 1 + kGap;
        y = below + size.height() <= window.height() - kMargin ? below : kMargin;
    }
    return {QPoint(x, y), size};
}

void TrayPopoverHost::open(QWidget *anchor, QWidget *content, bool dressed, QWidget *entry)
{
    dismiss();
    if (!anchor || !content)
        return;
    m_anchor = anchor;
    m_window = overlayParent(anchor);
    m_content = content;
    content->setParent(m_window);
    if (dressed)
        glass::trayGlassPopover(content, 16, m_styles);
    content->adjustSize();
    place();
    m_trap = new glass::FocusTrap(content, m_home, entry);
    content->show();
    content->raise();
    fadeIn(content);
    qApp->installEventFilter(this);
}

QWidget *TrayPopoverHost::choiceInUse(QWidget *content)
{
    for (QWidget *w : glass::FocusTrap::tabStops(content))
        if (auto *button = qobject_cast<QAbstractButton *>(w); button && button->isCheckable() && button->isChecked())
            return button;
    return nullptr;
}

void TrayPopoverHost::fadeIn(QWidget *content)
{
    // The effect paints through an offscreen copy, so it only stays for the fade.
    auto *effect = new QGraphicsOpacityEffect(content);
    effect->setOpacity(0);
    content->setGraphicsEffect(effect);
    auto *fade = new QVariantAnimation(content);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    fade->setDuration(kFadeMs);
    fade->setEasingCurve(QEasingCurve::OutQuad);
    connect(fade, &QVariantAnimation::valueChanged, effect,
            [effect](const QVariant &value) { effect->setOpacity(value.toDouble()); });
    connect(fade, &QVariantAnimation::finished, content, [content] { content->setGraphicsEffect(nullptr); });
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void TrayPopoverHost::dismiss()
{
    if (qApp)
        qApp->removeEventFilter(this);
    if (m_trap) {
        // Back to what had the keyboard before the content hides.
        m_trap->release();
        delete m_trap;
    }
    if (m_content) {
        // Often closed from a handler of its own rows: hide now, delete later.
        m_content->hide();
        m_content->deleteLater();
    }
    m_content = nullptr;
    m_anchor = nullptr;
    m_window = nullptr;
}

void TrayPopoverHost::close()
{
    if (!isOpen())
        return;
    dismiss();
    emit closed();
}

void TrayPopoverHost::place()
{
    if (!m_content || !m_anchor || !m_window)
        return;
    const QRect anchor(m_anchor->mapTo(m_window, QPoint(0, 0)), m_anchor->size());
    QSize size = m_content->size();
    if (m_content->hasHeightForWidth())
        size.setHeight(m_content->heightForWidth(size.width()));
    m_content->setGeometry(placement(anchor, size, m_window->size()));
}

bool TrayPopoverHost::isInside(QWidget *widget, QWidget *container) const
{
    return container && widget && (widget == container || container->isAncestorOf(widget));
}

bool TrayPopoverHost::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_content)
        return false;
    switch (event->type()) {
    case QEvent::LayoutRequest:
        // Content that grows (a status line in the wallpaper panel) stays whole.
        if (watched == m_content) {
            m_content->adjustSize();
            place();
        }
        break;
    case QEvent::Resize:
    case QEvent::Move:
        // Content that sizes itself (the wallpaper panel) keeps its place above the anchor.
        if (watched == m_window || watched == m_anchor || watched == m_content)
            place();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget)
            break;
        // Presses in other windows (a file dialog the panel opened) leave it open.
        if (isInside(widget, m_content) || widget->window() != m_window->window())
            break;
        for (const QPointer<QWidget> &anchor : std::as_const(m_anchors))
            if (isInside(widget, anchor))
                return false;
        close(); // and the press goes on to its target
        break;
    }
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        auto *widget = qobject_cast<QWidget *>(watched);
        // Return presses the focused row or button of the popover.
        if (event->type() == QEvent::KeyPress && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            !(key->modifiers() & ~Qt::KeypadModifier) && isInside(widget, m_content)) {
            if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
                button->click();
                return true;
            }
        }
        if (key->key() != Qt::Key_Escape || !widget || widget->window() != m_window->window())
            break;
        key->accept();
        if (event->type() == QEvent::KeyPress)
            close();
        return true;
    }
    default:
        break;
    }
    return false;
}

} // namespace chat
