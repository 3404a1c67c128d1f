#include "model/SettingsJson.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

namespace model {

namespace {

using Kind = JsonDecodeError::Kind;
using Result = platform::Result<AppSettings, JsonDecodeError>;

Result fail(Kind kind, const char *key)
{
    return Result::failure(JsonDecodeError{kind, QString::fromLatin1(key)});
}

// Missing and null both leave the default.
bool isAbsent(const QJsonValue &v)
{
    return v.isUndefined() || v.isNull();
}

template <typename E>
std::optional<Kind> readEnum(const QJsonValue &v, E &out)
{
    if (!v.isString())
        return Kind::WrongType;
    const auto value = fromRaw<E>(v.toString());
    if (!value)
        return Kind::UnknownValue;
    out = *value;
    return std::nullopt;
}

} // namespace

QByteArray encodeSettings(const AppSettings &s)
{
    QJsonObject o;
    o.insert(QLatin1String("model"), s.model);
    o.insert(QLatin1String("policyMode"), toRaw(s.policyMode));
    o.insert(QLatin1String("yoloEnabled"), s.yoloEnabled);
    o.insert(QLatin1String("allowForChatWrites"), s.allowForChatWrites);
    o.insert(QLatin1String("shellTimeoutSeconds"), s.shellTimeoutSeconds);
    o.insert(QLatin1String("maxAgentIterations"), s.maxAgentIterations);
    o.insert(QLatin1String("hasCompletedOnboarding"), s.hasCompletedOnboarding);
    if (s.toolGuardMode)
        o.insert(QLatin1String("toolGuardMode"), toRaw(*s.toolGuardMode));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

Result decodeSettings(QByteArrayView json)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return Result::failure(JsonDecodeError{Kind::NotJson, parseError.errorString()});
    if (!doc.isObject())
        return fail(Kind::WrongType, "");
    const QJsonObject o = doc.object();

    AppSettings s;
    s.hasCompletedOnboarding = true; // a file without the key predates onboarding
    s.toolGuardMode.reset();

    if (const QJsonValue v = o.value(QLatin1String("model")); !isAbsent(v)) {
        if (!v.isString())
            return fail(Kind::WrongType, "model");
        s.model = v.toString();
    }
    if (const QJsonValue v = o.value(QLatin1String("policyMode")); !isAbsent(v)) {
        if (const auto kind = readEnum(v, s.policyMode))
            return fail(*kind, "policyMode");
    }
    struct Flag {
        const char *key;
        bool &field;
    };
    const Flag flags[] = {{"yoloEnabled", s.yoloEnabled},
                          {"allowForChatWrites", s.allowForChatWrites},
                          {"hasCompletedOnboarding", s.hasCompletedOnboarding}};
    for (const Flag &flag : flags) {
        const QJsonValue v = o.value(QLatin1String(flag.key));
        if (isAbsent(v))
            continue;
        if (!v.isBool())
            return fail(Kind::WrongType, flag.key);
        flag.field = v.toBool();
    }
    if (const QJsonValue v = o.value(QLatin1String("shellTimeoutSeconds")); !isAbsent(v)) {
        if (!v.isDouble())
            return fail(Kind::WrongType, "shellTimeoutSeconds");
        s.shellTimeoutSeconds = v.toDouble();
    }
    if (const QJsonValue v = o.value(QLatin1String("maxAgentIterations")); !isAbsent(v)) {
        if (!v.isDouble())
            return fail(Kind::WrongType, "maxAgentIterations");
        // A whole number that fits; 2.5 or 1e300 fail the record rather than
        // being forced into an integer.
        const qint64 a = v.toInteger(0);
        const qint64 b = v.toInteger(1);
        if (a != b)
            return fail(Kind::BadNumber, "maxAgentIterations");
        s.maxAgentIterations = a;
    }
    if (const QJsonValue v = o.value(QLatin1String("toolGuardMode")); !isAbsent(v)) {
        ToolGuardMode mode{};
        if (const auto kind = readEnum(v, mode))
            return fail(*kind, "toolGuardMode");
        s.toolGuardMode = mode;
    }
    if (!s.toolGuardMode)
        s.toolGuardMode = s.derivedToolGuardMode();
    return s;
}

} // namespace model
