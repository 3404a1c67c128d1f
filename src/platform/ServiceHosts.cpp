#include "platform/ServiceHosts.h"

#include <QtGlobal>

namespace platform::ServiceHosts {

namespace {

QUrl fromEnvironment(const char *name, const char *fallback)
{
    const QByteArray value = qgetenv(name);
    const QUrl url(QString::fromUtf8(value.isEmpty() ? QByteArray(fallback) : value));
    return url.isValid() && !url.scheme().isEmpty() ? url : QUrl(QString::fromLatin1(fallback));
}

} // namespace

QUrl apiBase()
{
    return fromEnvironment("MOONSHELF_API_BASE", "https://api.ovu.ai");
}

QUrl authBase()
{
    return fromEnvironment("MOONSHELF_AUTH_BASE", "https://auth.ovu.ai");
}

} // namespace platform::ServiceHosts
