#include "stage/StagePhotoCatalog.h"

#include "model/BrandDisclaimer.h"

#include <array>

namespace stage::StagePhotoCatalog {

namespace {

// The curated set: our own painted scenes, published on the project's site.
const QString kArtist = QStringLiteral("Moonshelf");
const QString kSiteDomain = model::BrandDisclaimer::builtByURL().host().toLower();
const QString kHomePage = model::BrandDisclaimer::builtByURL().toString(QUrl::StripTrailingSlash);

const QString kSeriesATitle = QStringLiteral("Night Harbour");
const QString kSeriesASlug = QStringLiteral("night-harbour");
const QString kSeriesAFirstTitle = QStringLiteral("Lanterns on the Quay");
const QString kSeriesBTitle = QStringLiteral("Still Orbit");
const QString kSeriesBSlug = QStringLiteral("still-orbit");

QString seriesPage(const QString &slug)
{
    return kHomePage + QStringLiteral("/photographic-series/") + slug;
}

struct Rule {
    QString key; // lower case
    StagePhotoCredit credit;
};

// Most specific first: single photographs, then series, then the site.
const std::array<Rule, 5> &rules()
{
    static const std::array<Rule, 5> table{{
        {kSeriesASlug + QStringLiteral("/01"),
         {kSeriesAFirstTitle, kArtist, kSeriesATitle, seriesPage(kSeriesASlug)}},
        {kSeriesBSlug + QStringLiteral("/04"),
         {kSeriesBTitle + QStringLiteral(" 04"), kArtist, kSeriesBTitle, seriesPage(kSeriesBSlug)}},
        {kSeriesASlug, {kSeriesATitle, kArtist, kSeriesATitle, seriesPage(kSeriesASlug)}},
        {kSeriesBSlug, {kSeriesBTitle, kArtist, kSeriesBTitle, seriesPage(kSeriesBSlug)}},
        {kSiteDomain, {QStringLiteral("Photograph"), kArtist, std::nullopt, kHomePage}},
    }};
    return table;
}

} // namespace

std::optional<StagePhotoCredit> credit(const std::optional<QString> &imageAddress)
{
    if (!imageAddress)
        return std::nullopt;
    const QString lowered = imageAddress->toLower();
    if (lowered.isEmpty())
        return std::nullopt;
    for (const Rule &rule : rules()) {
        if (lowered.contains(rule.key))
            return rule.credit;
    }
    return std::nullopt;
}

QString firstRunImageAddress()
{
    return kHomePage + QStringLiteral("/images/sliders/") + kSeriesASlug + QStringLiteral("/01.webp");
}

QString artistName()
{
    return kArtist;
}

QString siteHomePage()
{
    return kHomePage;
}

} // namespace stage::StagePhotoCatalog
