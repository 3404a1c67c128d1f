#include "app/AppViewModel.h"

#include "app/ItemModels.h"
#include "model/ConversationStore.h"

namespace app {

SessionListModel &AppViewModel::sessionModel() const
{
    return m_itemModels->sessions;
}

SessionFilterModel &AppViewModel::sessionFilter() const
{
    return m_itemModels->sessionFilter;
}

SessionFilterModel &AppViewModel::archivedFilter() const
{
    return m_itemModels->archivedFilter;
}

MessageListModel &AppViewModel::messageModel() const
{
    return m_itemModels->messages;
}

ToolLogModel &AppViewModel::toolLogModel() const
{
    return m_itemModels->toolLog;
}

void AppViewModel::wireItemModels()
{
    m_itemModels = std::make_unique<ItemModels>(*m_conversations);
    ItemModels &models = *m_itemModels;

    models.sessionFilter.setSearch(m_sessionSearch);
    models.archivedFilter.setSearch(m_sessionSearch);
    connect(this, &AppViewModel::sessionSearchChanged, this, [this] {
        m_itemModels->sessionFilter.setSearch(m_sessionSearch);
        m_itemModels->archivedFilter.setSearch(m_sessionSearch);
    });

    using Store = model::ConversationStore;
    const auto followShown = [this](const QUuid &id) {
        if (m_itemModels->messages.conversationID() == id)
            refreshMessageRows();
    };
    connect(m_conversations.get(), &Store::conversationChanged, this, followShown);
    connect(m_conversations.get(), &Store::messageAppended, this,
            [followShown](const QUuid &conversationID, const QUuid &) { followShown(conversationID); });
    // A removed session shown here was the selected one: the selection
    // change that follows replaces the rows once.
    connect(m_conversations.get(), &Store::conversationsReplaced, this, &AppViewModel::refreshMessageRows);
    connect(m_conversations.get(), &Store::selectedConversationIDChanged, this, &AppViewModel::refreshMessageRows);

    connect(this, &AppViewModel::streamingTextChanged, this, &AppViewModel::refreshLiveRows);
    connect(this, &AppViewModel::isRunningChanged, this, &AppViewModel::refreshLiveRows);
    connect(this, &AppViewModel::pendingApprovalChanged, this, &AppViewModel::refreshLiveRows);
    connect(this, &AppViewModel::toolLogChanged, this, [this] {
        m_itemModels->toolLog.sync(m_toolLog);
        refreshLiveRows();
    });

    models.toolLog.sync(m_toolLog);
    refreshMessageRows();
}

void AppViewModel::refreshMessageRows()
{
    if (!m_itemModels)
        return;
    const std::optional<model::Conversation> shown = m_conversations->selectedConversation();
    if (shown)
        m_itemModels->messages.showConversation(shown->id, shown->messages);
    else
        m_itemModels->messages.showConversation(std::nullopt, {});
    refreshLiveRows();
}

void AppViewModel::refreshLiveRows()
{
    if (!m_itemModels)
        return;
    MessageListModel &messages = m_itemModels->messages;
    // A run's reply and approval card stay with the session it runs in.
    const std::optional<QUuid> runIn = runConversationID();
    const bool ours = runIn && messages.conversationID() == runIn;
    messages.setLive(ours, m_streamingText, liveActivity());
    messages.setApproval(ours ? m_pendingApproval : std::nullopt);
}

} // namespace app
