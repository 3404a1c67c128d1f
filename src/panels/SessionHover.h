#pragma once

#include <QUuid>

#include <optional>

namespace panels {

// The session row under the pointer. A leave clears only its own row, so a
// late leave of row A cannot hide the button of row B entered meanwhile.
struct SessionHover {
    std::optional<QUuid> id;

    // True when the hovered row changed.
    bool enter(const QUuid &row)
    {
        if (id == row)
            return false;
        id = row;
        return true;
    }
    bool leave(const QUuid &row)
    {
        if (id != row)
            return false;
        id.reset();
        return true;
    }
};

} // namespace panels
