#pragma once

#include "stage/StagePhotoCredit.h"

#include <QString>

#include <optional>

namespace stage {

// The curated wallpaper photographs that come with the application, and
// the credit that an image address earns.
namespace StagePhotoCatalog {

// The first match of the address (lower-cased) against the catalog's keys,
// most specific first; nothing for an absent, empty or foreign address.
std::optional<StagePhotoCredit> credit(const std::optional<QString> &imageAddress);

// The web address of the first curated photograph: the first-run stage image.
QString firstRunImageAddress();

// Content of the catalog, for views that link to it.
QString artistName();
QString siteHomePage();

} // namespace StagePhotoCatalog
} // namespace stage
