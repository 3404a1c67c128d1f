#include "app/Donation.h"

#include "platform/DesktopServices.h"

namespace app::Donation {

namespace {

bool isDigitsOnly(const QString &text)
{
    // Characters with a numeric value (digits of any script, numerals,
    // fractions); a point, comma, space, letter or currency sign is not.
    for (QChar c : text) {
        const auto category = c.category();
        if (category != QChar::Number_DecimalDigit && category != QChar::Number_Letter
            && category != QChar::Number_Other)
            return false;
    }
    return !text.isEmpty();
}

} // namespace

QString buttonHelp()
{
    return QStringLiteral("Opens PayPal in your browser. Optional tip. App stays free either way.");
}

std::optional<QUrl> tipJarURL(const QString &override, const QString &handle, const QString &amount)
{
    const QString overrideText = override.trimmed();
    if (!overrideText.isEmpty()) {
        const QUrl url(overrideText, QUrl::StrictMode);
        const QString scheme = url.scheme().toLower();
        if (url.isValid() && (scheme == u"https" || scheme == u"http"))
            return url;
    }

    QString bare = handle.trimmed();
    if (bare.isEmpty())
        return std::nullopt;
    const QString host = QString::fromUtf16(paypalHost);
    for (const QString &prefix : {QStringLiteral("https://www.") + host + u'/', QStringLiteral("http://www.") + host + u'/',
                                  QStringLiteral("https://") + host + u'/', QStringLiteral("http://") + host + u'/'})
        bare.remove(prefix, Qt::CaseInsensitive);
    while (bare.startsWith(u'/'))
        bare.remove(0, 1);
    while (bare.endsWith(u'/'))
        bare.chop(1);
    if (bare.isEmpty())
        return std::nullopt;

    QString text = QStringLiteral("https://www.") + host + u'/' + bare;
    const QString amountText = amount.trimmed();
    if (isDigitsOnly(amountText))
        text += u'/' + amountText;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

std::optional<QUrl> tipJarURL()
{
    return tipJarURL(QString::fromUtf16(tipJarURLStringOverride), QString::fromUtf16(paypalMeHandle),
                     QString::fromUtf16(paypalSuggestedAmount));
}

bool isConfigured()
{
    return tipJarURL().has_value();
}

QCoro::Task<bool> openTipJar(platform::DesktopServices &desktop)
{
    const auto url = tipJarURL();
    if (!url)
        co_return false;
    co_return co_await desktop.openUrl(*url);
}

} // namespace app::Donation
