#pragma once

#include <QNetworkReply>
#include <QPointer>

// Private to MoonshelfAuth's sources.
#include "auth/MoonshelfAuth.h"

namespace auth {

// One device sign-in. Cancelling marks it; the task checks the mark after
// every wait and, once marked, writes nothing.
struct MoonshelfAuth::SignInAttempt {
    bool cancelled = false;
    bool finished = false;
    QPointer<QNetworkReply> inflight;
};

} // namespace auth
