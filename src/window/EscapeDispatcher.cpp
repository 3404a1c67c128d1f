#include "window/EscapeDispatcher.h"

#include "app/AppViewModel.h"
#include "chat/transcript/ApprovalCard.h"
#include "glass/sheets/SheetOverlay.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QShortcut>

namespace window {

EscapeDispatcher::EscapeDispatcher(app::AppViewModel &app, glass::SheetOverlay *sheets, QObject *parent)
    : QObject(parent), m_app(app), m_sheets(sheets)
{
}

void EscapeDispatcher::listenWhileIdle(QWidget *window, QAction *stop)
{
    auto *idle = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    idle->setContext(Qt::WindowShortcut);
    idle->setEnabled(!stop->isEnabled());
    connect(stop, &QAction::enabledChanged, idle, [idle](bool stopOn) { idle->setEnabled(!stopOn); });
    connect(idle, &QShortcut::activated, this, [this] { dispatch(); });
}

EscapeDispatcher::Outcome EscapeDispatcher::dispatch()
{
    if (m_sheets && m_sheets->isOpen()) {
        // The sheet handles the key as if it had come to it directly.
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(m_sheets, &escape);
        return Outcome::sheet;
    }
    if (m_app.peekedFile()) {
        m_app.setPeekedFile(std::nullopt);
        return Outcome::peekClosed;
    }
    if (m_app.pendingApproval()) {
        // Someone writing the next instruction may press Escape for the
        // draft: only the card itself answers then. Stopping would deny the
        // call just the same, so nothing happens.
        if (!m_app.draft().isEmpty() && !approvalHoldsKeyboard())
            return Outcome::nothing;
        m_app.resolveApproval(false, false);
        return Outcome::denied;
    }
    if (m_app.isRunning()) {
        m_app.stop();
        return Outcome::stopped;
    }
    return Outcome::nothing;
}

bool EscapeDispatcher::approvalHoldsKeyboard()
{
    for (QWidget *w = QApplication::focusWidget(); w; w = w->parentWidget())
        if (qobject_cast<chat::ApprovalCard *>(w))
            return true;
    return false;
}

} // namespace window
