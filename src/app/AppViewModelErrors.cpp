#include "app/AppViewModel.h"

#include "model/ConversationStore.h"

namespace app {

void AppViewModel::setErrorMessage(const std::optional<QString> &text)
{
    if (text)
        m_appError = text;
    else if (m_appError)
        m_appError.reset();
    else if (m_errorConversationID)
        m_runErrors.remove(*m_errorConversationID);
    refreshErrorMessage();
}

void AppViewModel::setRunError(const QUuid &conversationID, const std::optional<RunError> &error)
{
    if (error)
        m_runErrors.insert(conversationID, *error);
    else
        m_runErrors.remove(conversationID);
    refreshErrorMessage();
}

void AppViewModel::refreshErrorMessage()
{
    std::optional<QString> shown = m_appError;
    std::optional<QUuid> owner;
    bool wantsSignIn = false;
    if (!shown) {
        const std::optional<QUuid> selected = m_conversations->selectedConversationID();
        if (selected) {
            const auto it = m_runErrors.constFind(*selected);
            if (it != m_runErrors.cend()) {
                shown = it->text;
                owner = selected;
                wantsSignIn = it->wantsSignIn;
            }
        }
    }
    // One notice for both: a view hearing of it reads the text and its owner.
    if (shown == m_errorMessage && owner == m_errorConversationID && wantsSignIn == m_errorWantsSignIn)
        return;
    m_errorMessage = shown;
    m_errorConversationID = owner;
    m_errorWantsSignIn = wantsSignIn;
    emit errorMessageChanged();
}

void AppViewModel::dropErrorsOfDeletedSessions()
{
    if (m_runErrors.isEmpty())
        return;
    bool dropped = false;
    for (auto it = m_runErrors.begin(); it != m_runErrors.end();) {
        if (m_conversations->conversation(it.key())) {
            ++it;
        } else {
            it = m_runErrors.erase(it);
            dropped = true;
        }
    }
    if (dropped)
        refreshErrorMessage();
}

} // namespace app
