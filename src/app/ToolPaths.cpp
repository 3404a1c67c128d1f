#include "app/ToolPaths.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace app {

std::optional<QString> extractToolPath(const QString &preview)
{
    const QJsonDocument doc = QJsonDocument::fromJson(preview.toUtf8());
    if (doc.isObject()) {
        const QJsonValue path = doc.object().value(QStringLiteral("path"));
        if (path.isString() && !path.toString().isEmpty())
            return path.toString();
    }

    // Previews are cut by the agent loop, so fall back to a plain scan.
    qsizetype i = preview.indexOf(QStringLiteral("\"path\""));
    if (i < 0)
        return std::nullopt;
    i = preview.indexOf(QLatin1Char(':'), i + 6);
    if (i < 0)
        return std::nullopt;
    ++i;
    while (i < preview.size()
           && (preview[i] == QLatin1Char(' ') || preview[i] == QLatin1Char('\n') || preview[i] == QLatin1Char('\t')))
        ++i;
    if (i >= preview.size() || preview[i] != QLatin1Char('"'))
        return std::nullopt;
    const qsizetype start = i + 1;
    const qsizetype end = preview.indexOf(QLatin1Char('"'), start);
    if (end < 0 || end == start)
        return std::nullopt;
    return preview.mid(start, end - start);
}

} // namespace app
