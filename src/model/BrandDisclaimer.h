#pragma once

#include <QUrl>

namespace model::BrandDisclaimer {

// The builders' site, opened from the About credits.
const QUrl &builtByURL();

} // namespace model::BrandDisclaimer
