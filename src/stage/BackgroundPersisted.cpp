#include "stage/BackgroundPersisted.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace stage {

namespace {

bool readBool(const QJsonObject &o, QStringView key, bool &out)
{
    const QJsonValue v = o.value(key);
    out = v.toBool();
    return v.type() == QJsonValue::Bool;
}

bool readString(const QJsonObject &o, QStringView key, QString &out)
{
    const QJsonValue v = o.value(key);
    out = v.toString();
    return v.type() == QJsonValue::String;
}

// Absent or null: none. Present with another type: a fault.
bool readOptionalString(const QJsonObject &o, QStringView key, std::optional<QString> &out)
{
    const QJsonValue v = o.value(key);
    if (v.type() == QJsonValue::String)
        out = v.toString();
    return v.type() == QJsonValue::String || v.type() == QJsonValue::Undefined || v.type() == QJsonValue::Null;
}

} // namespace

std::optional<BackgroundPersisted> BackgroundPersisted::decode(const QByteArray &json)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();

    BackgroundPersisted p;
    const QJsonValue opacity = o.value(u"overlayOpacity");
    const QJsonValue history = o.value(u"historyStack");
    if (!readBool(o, u"isEnabled", p.isEnabled) || opacity.type() != QJsonValue::Double
        || !readString(o, u"customURLString", p.customURLString)
        || !readOptionalString(o, u"currentImagePath", p.currentImagePath)
        || !readBool(o, u"animateKenBurns", p.animateKenBurns) || !readBool(o, u"useVideo", p.useVideo)
        || !readOptionalString(o, u"videoFilePath", p.videoFilePath) || history.type() != QJsonValue::Array
        || !readBool(o, u"didFinishInitialSetup", p.didFinishInitialSetup))
        return std::nullopt;
    p.overlayOpacity = opacity.toDouble();
    for (const QJsonValue &entry : history.toArray()) {
        if (entry.type() != QJsonValue::String)
            return std::nullopt;
        p.historyStack.append(entry.toString());
    }
    const QJsonValue credit = o.value(u"photoCredit");
    if (credit.type() == QJsonValue::Object) {
        p.photoCredit = StagePhotoCredit::fromJson(credit.toObject());
        if (!p.photoCredit)
            return std::nullopt;
    } else if (credit.type() != QJsonValue::Undefined && credit.type() != QJsonValue::Null) {
        return std::nullopt;
    }
    return p;
}

QByteArray BackgroundPersisted::encode() const
{
    QJsonObject o{
        {QStringLiteral("isEnabled"), isEnabled},
        {QStringLiteral("overlayOpacity"), overlayOpacity},
        {QStringLiteral("customURLString"), customURLString},
        {QStringLiteral("animateKenBurns"), animateKenBurns},
        {QStringLiteral("useVideo"), useVideo},
        {QStringLiteral("historyStack"), QJsonArray::fromStringList(historyStack)},
        {QStringLiteral("didFinishInitialSetup"), didFinishInitialSetup},
    };
    if (currentImagePath)
        o.insert(QStringLiteral("currentImagePath"), *currentImagePath);
    if (videoFilePath)
        o.insert(QStringLiteral("videoFilePath"), *videoFilePath);
    if (photoCredit)
        o.insert(QStringLiteral("photoCredit"), photoCredit->toJson());
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

} // namespace stage
