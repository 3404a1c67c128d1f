#include "app/AccountController.h"
#include "app/AppViewModel.h"

#include "model/ConversationStore.h"
#include "model/SettingsStore.h"

namespace app {

void AppViewModel::selectSession(const QUuid &id)
{
    m_conversations->select(id);
}

void AppViewModel::togglePinSession(const QUuid &id)
{
    m_conversations->togglePin(id);
}

void AppViewModel::setSessionUnread(const QUuid &id, bool unread)
{
    // The store's own operation writes the same whole file its other saves do.
    m_conversations->setUnread(id, unread);
}

void AppViewModel::renameSession(const QUuid &id, const QString &title)
{
    m_conversations->rename(id, title);
}

void AppViewModel::forkSession(const QUuid &id)
{
    m_conversations->fork(id);
}

void AppViewModel::archiveSession(const QUuid &id)
{
    m_conversations->archive(id);
}

void AppViewModel::unarchiveSession(const QUuid &id)
{
    m_conversations->unarchive(id);
}

void AppViewModel::deleteSession(const QUuid &id)
{
    m_conversations->deleteConversation(id);
}

QCoro::Task<> AppViewModel::exportSession(const QUuid &id)
{
    // Not a coroutine: the export reads the selection before its first
    // suspension, so selecting first is enough.
    m_conversations->select(id);
    return exportSelectedSession();
}

std::optional<QString> AppViewModel::accountEmail()
{
    return account().sessionEmail();
}

void AppViewModel::completeOnboarding(bool openSettings)
{
    model::AppSettings settings = m_settingsStore->settings();
    settings.hasCompletedOnboarding = true;
    m_settingsStore->setSettings(settings);
    setShowOnboarding(false);
    if (openSettings)
        setShowSettings(true);
}

} // namespace app
