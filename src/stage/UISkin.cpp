#include "stage/UISkin.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <cmath>

namespace stage {

namespace {

// A JSON integer: a number without a fraction that fits a signed 64-bit value.
std::optional<qint64> integerValue(const QJsonValue &value)
{
    if (value.type() != QJsonValue::Double)
        return std::nullopt;
    const double d = value.toDouble();
    if (!std::isfinite(d) || std::trunc(d) != d || d < -9.2e18 || d > 9.2e18)
        return std::nullopt;
    return qint64(d);
}

} // namespace

bool UISkin::isLight() const
{
    const QString k = kind.value_or(QStringLiteral("dark")).toLower();
    return k == u"light" || k == u"default" || id == u"golden-default";
}

std::optional<UISkin> UISkin::fromJson(const QByteArray &bytes)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return fromJson(doc.object());
}

std::optional<UISkin> UISkin::fromJson(const QJsonObject &object)
{
    const QJsonValue id = object.value(u"id");
    const QJsonValue name = object.value(u"name");
    const QJsonValue kind = object.value(u"kind");
    const QJsonValue colors = object.value(u"colors");
    const std::optional<qint64> version = integerValue(object.value(u"version"));
    if (id.type() != QJsonValue::String || name.type() != QJsonValue::String || !version
        || colors.type() != QJsonValue::Object)
        return std::nullopt;
    if (kind.type() != QJsonValue::Undefined && kind.type() != QJsonValue::Null
        && kind.type() != QJsonValue::String)
        return std::nullopt;
    const std::optional<SkinColors> decoded = SkinColors::fromJson(colors.toObject());
    if (!decoded)
        return std::nullopt;

    UISkin skin;
    skin.id = id.toString();
    skin.name = name.toString();
    skin.version = *version;
    if (kind.type() == QJsonValue::String)
        skin.kind = kind.toString();
    skin.colors = *decoded;
    return skin;
}

QJsonObject UISkin::toJson() const
{
    QJsonObject object{
        {QStringLiteral("id"), id},
        {QStringLiteral("name"), name},
        {QStringLiteral("version"), double(version)},
        {QStringLiteral("colors"), colors.toJson()},
    };
    if (kind)
        object.insert(QStringLiteral("kind"), *kind);
    return object;
}

size_t qHash(const SkinColors &c, size_t seed)
{
    return qHashMulti(seed, c.bg, c.sidebar, c.elevated, c.elevated2, c.border, c.borderStrong, c.text,
                      c.textSecondary, c.textTertiary, c.accent, c.accentSoft, c.userBubble, c.danger, c.success,
                      c.accentGradientStart, c.accentGradientEnd);
}

size_t qHash(const UISkin &skin, size_t seed)
{
    return qHashMulti(seed, skin.id, skin.name, skin.version, skin.kind.has_value(), skin.kind.value_or(QString()),
                      skin.colors);
}

UISkin UISkin::steel()
{
    UISkin skin;
    skin.id = QStringLiteral("default");
    skin.name = QStringLiteral("Steel");
    skin.version = 1;
    skin.kind = QStringLiteral("dark");
    skin.colors = SkinColors{
        .bg = QStringLiteral("#0A0C0F"),
        .sidebar = QStringLiteral("#10141A"),
        .elevated = QStringLiteral("#151A22"),
        .elevated2 = QStringLiteral("#1B222C"),
        .border = QStringLiteral("#2A3340"),
        .borderStrong = QStringLiteral("#3A4656"),
        .text = QStringLiteral("#E8ECF2"),
        .textSecondary = QStringLiteral("#8B96A8"),
        .textTertiary = QStringLiteral("#5C6778"),
        .accent = QStringLiteral("#8AA4B8"),
        .accentSoft = QStringLiteral("#8AA4B833"),
        .userBubble = QStringLiteral("#FFFFFF12"),
        .danger = QStringLiteral("#F25247"),
        .success = QStringLiteral("#4DD17A"),
        .accentGradientStart = QStringLiteral("#A8C0D0"),
        .accentGradientEnd = QStringLiteral("#5E7F98"),
    };
    return skin;
}

UISkin UISkin::duvedivOduv()
{
    UISkin skin;
    skin.id = QStringLiteral("duvediv-oduv");
    skin.name = QStringLiteral("Duvediv Oduv");
    skin.version = 1;
    skin.kind = QStringLiteral("dark");
    skin.colors = SkinColors{
        .bg = QStringLiteral("#0D0D0F"),
        .sidebar = QStringLiteral("#1414168C"),
        .elevated = QStringLiteral("#FFFFFF0F"),
        .elevated2 = QStringLiteral("#FFFFFF17"),
        .border = QStringLiteral("#FFFFFF1A"),
        .borderStrong = QStringLiteral("#FFFFFF29"),
        .text = QStringLiteral("#DBDBE0"),
        .textSecondary = QStringLiteral("#FFFFFF6B"),
        .textTertiary = QStringLiteral("#FFFFFF42"),
        .accent = QStringLiteral("#FF8C2E"),
        .accentSoft = QStringLiteral("#FF8C2E2E"),
        .userBubble = QStringLiteral("#FFFFFF14"),
        .danger = QStringLiteral("#F25247"),
        .success = QStringLiteral("#4DD17A"),
        .accentGradientStart = QStringLiteral("#FF9E38"),
        .accentGradientEnd = QStringLiteral("#F2611F"),
    };
    return skin;
}

} // namespace stage
