#pragma once

#include "app/MessageListModel.h"
#include "app/SessionFilterModel.h"
#include "app/SessionListModel.h"
#include "app/ToolLogModel.h"

namespace app {

// The item models AppViewModel owns for the views. Proxies are declared
// after their source so they go first.
struct ItemModels {
    explicit ItemModels(model::ConversationStore &store)
        : sessions(store), sessionFilter(sessions, false), archivedFilter(sessions, true)
    {
    }

    SessionListModel sessions;
    SessionFilterModel sessionFilter;
    SessionFilterModel archivedFilter;
    MessageListModel messages;
    ToolLogModel toolLog;
};

} // namespace app
