#pragma once

class QNetworkAccessManager;

namespace platform {

// The process-wide network session (one QNetworkAccessManager, created on
// first use on the main thread). Redirects stay on the same origin, so an
// Authorization header never travels to another host.
QNetworkAccessManager &sharedNetwork();

} // namespace platform
