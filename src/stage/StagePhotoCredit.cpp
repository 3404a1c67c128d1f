#include "stage/StagePhotoCredit.h"

namespace stage {

QString StagePhotoCredit::detailLine() const
{
    static const QString separator = QStringLiteral(" \u00B7 ");
    QString line = title;
    if (series && !series->isEmpty())
        line += separator + *series;
    return line + separator + artist;
}

std::optional<StagePhotoCredit> StagePhotoCredit::fromJson(const QJsonObject &object)
{
    const QJsonValue title = object.value(u"title");
    const QJsonValue artist = object.value(u"artist");
    if (title.type() != QJsonValue::String || artist.type() != QJsonValue::String)
        return std::nullopt;
    StagePhotoCredit credit{title.toString(), artist.toString(), {}, {}};
    // Optional keys: absent or null is none; any other type spoils the record.
    const auto optionalText = [&object](QStringView key, std::optional<QString> &out) {
        const QJsonValue v = object.value(key);
        if (v.type() == QJsonValue::String)
            out = v.toString();
        return v.type() == QJsonValue::String || v.type() == QJsonValue::Undefined
               || v.type() == QJsonValue::Null;
    };
    if (!optionalText(u"series", credit.series) || !optionalText(u"url", credit.url))
        return std::nullopt;
    return credit;
}

QJsonObject StagePhotoCredit::toJson() const
{
    QJsonObject object{{QStringLiteral("title"), title}, {QStringLiteral("artist"), artist}};
    if (series)
        object.insert(QStringLiteral("series"), *series);
    if (url)
        object.insert(QStringLiteral("url"), *url);
    return object;
}

} // namespace stage
