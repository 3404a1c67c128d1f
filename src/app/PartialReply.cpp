#include "app/PartialReply.h"

#include "model/ChatRecords.h"

#include <QRegularExpression>

namespace app::PartialReply {

QString stopMark()
{
    return QStringLiteral("\n\n*(stopped)*");
}

QString incompleteMark()
{
    return QStringLiteral("\n\n*(incomplete)*");
}

namespace {

// A data-URL image the cut ended inside: the storage clean-up only knows
// whole ones, and its base64 must not stay behind the mark.
QString withoutCutImage(const QString &text)
{
    if (!text.contains(QLatin1String("data:image")))
        return text;
    static const QRegularExpression cutImage(
        QStringLiteral(R"re(!\[[^\]]*\]\(data:image\/[a-zA-Z0-9.+-]*(?:;[A-Za-z0-9]*(?:,[A-Za-z0-9+/=\s]*)?)?\z)re"));
    if (!cutImage.isValid())
        return text;
    QString cleaned = text;
    cleaned.remove(cutImage);
    return cleaned;
}

} // namespace

std::optional<QString> marked(const QString &text, const QString &mark)
{
    model::ChatMessage reply = model::ChatMessage::make(model::MessageRole::Assistant, withoutCutImage(text));
    const QString kept = model::ChatMessage::sanitizeForStorage({reply}).constFirst().content;
    if (kept.isEmpty())
        return std::nullopt;
    return kept + mark;
}

} // namespace app::PartialReply
