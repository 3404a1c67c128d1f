#pragma once

// Private to MoonshelfAuth's sources.

#include <QNetworkReply>
#include <QPointer>

namespace auth {

// One device sign-in. Cancelling marks it (and aborts its request); the task
// checks the mark after every wait and, once marked, writes nothing.
struct SignInAttempt {
    bool cancelled = false;
    bool finished = false;
    QPointer<QNetworkReply> inflight;
};

} // namespace auth
