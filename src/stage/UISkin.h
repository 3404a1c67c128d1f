#pragma once

#include "stage/SkinColors.h"

#include <QByteArray>
#include <QHashFunctions>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace stage {

// One named colour skin, as read from a skin file.
struct UISkin {
    QString id;
    QString name;
    qint64 version = 1;          // kept, not interpreted
    std::optional<QString> kind; // "dark", "light" or "default"; absent counts as dark
    SkinColors colors;

    // Light styling: kind "light" or "default" (any case), or the id "golden-default".
    bool isLight() const;

    // Strict decoding of one skin file (UTF-8 JSON object); nothing on any fault.
    static std::optional<UISkin> fromJson(const QByteArray &bytes);
    static std::optional<UISkin> fromJson(const QJsonObject &object);
    QJsonObject toJson() const;

    // The two skins that always exist.
    static UISkin steel();        // id "default"
    static UISkin duvedivOduv();  // id "duvediv-oduv"

    friend bool operator==(const UISkin &, const UISkin &) = default;
};

// Hashing covers every field, like equality.
size_t qHash(const SkinColors &colors, size_t seed = 0);
size_t qHash(const UISkin &skin, size_t seed = 0);

} // namespace stage
