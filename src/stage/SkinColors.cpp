#include "stage/SkinColors.h"

#include <array>

namespace stage {

namespace {

using Field = QString SkinColors::*;

struct Key {
    const char *name;
    Field field;
};

// The keys of a skin file's "colors" object, in their documented order.
constexpr std::array<Key, 16> kKeys{{
    {"bg", &SkinColors::bg},
    {"sidebar", &SkinColors::sidebar},
    {"elevated", &SkinColors::elevated},
    {"elevated2", &SkinColors::elevated2},
    {"border", &SkinColors::border},
    {"borderStrong", &SkinColors::borderStrong},
    {"text", &SkinColors::text},
    {"textSecondary", &SkinColors::textSecondary},
    {"textTertiary", &SkinColors::textTertiary},
    {"accent", &SkinColors::accent},
    {"accentSoft", &SkinColors::accentSoft},
    {"userBubble", &SkinColors::userBubble},
    {"danger", &SkinColors::danger},
    {"success", &SkinColors::success},
    {"accentGradientStart", &SkinColors::accentGradientStart},
    {"accentGradientEnd", &SkinColors::accentGradientEnd},
}};

} // namespace

std::optional<SkinColors> SkinColors::fromJson(const QJsonObject &object)
{
    SkinColors colors;
    for (const Key &key : kKeys) {
        const QJsonValue value = object.value(QLatin1String(key.name));
        if (value.type() != QJsonValue::String)
            return std::nullopt;
        colors.*key.field = value.toString();
    }
    return colors;
}

QJsonObject SkinColors::toJson() const
{
    QJsonObject object;
    for (const Key &key : kKeys)
        object.insert(QLatin1String(key.name), this->*key.field);
    return object;
}

} // namespace stage
