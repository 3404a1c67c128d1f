#pragma once

#include <QUrl>

namespace platform {

// Where the service and its authorization server live. Tests and a local
// service stand in through MOONSHELF_API_BASE and MOONSHELF_AUTH_BASE.
namespace ServiceHosts {

QUrl apiBase();
QUrl authBase();

} // namespace ServiceHosts
} // namespace platform
