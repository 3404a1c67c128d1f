#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace stage {

// The credit of a curated wallpaper photograph.
struct StagePhotoCredit {
    QString title;
    QString artist;
    std::optional<QString> series;
    std::optional<QString> url;

    // "title · series · artist" (series only when present and not empty).
    QString detailLine() const;

    // title and artist required strings; series and url optional strings.
    static std::optional<StagePhotoCredit> fromJson(const QJsonObject &object);
    QJsonObject toJson() const;

    friend bool operator==(const StagePhotoCredit &, const StagePhotoCredit &) = default;
};

} // namespace stage
