#pragma once

#include "app/FramePacer.h"
#include "app/MessageListModel.h"
#include "app/SessionFilterModel.h"
#include "app/SessionListModel.h"
#include "app/ToolLogModel.h"

namespace app {

// The item models AppViewModel owns for the views, and the frame clock
// that paces the streamed text. Proxies are declared after their source so
// they go first.
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
    // Paces the announcements of streamed fragments.
    FramePacer streamFrame;
    // The streamed text as last announced: the live row shows only that,
    // whatever else refreshes it meanwhile.
    QString announcedText;
};

} // namespace app
