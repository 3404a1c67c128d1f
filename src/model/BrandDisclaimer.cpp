#include "model/BrandDisclaimer.h"

namespace model::BrandDisclaimer {

const QUrl &builtByURL()
{
    static const QUrl url(QStringLiteral("https://moonshelf.dev"));
    return url;
}

} // namespace model::BrandDisclaimer
