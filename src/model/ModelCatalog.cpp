#include "model/ModelCatalog.h"

#include "platform/Graphemes.h"

namespace model::ModelCatalog {

namespace {

QString cut(const QString &text, qsizetype shownWhenUnder, qsizetype keep)
{
    if (platform::Graphemes::count(text) < shownWhenUnder)
        return text;
    return platform::Graphemes::prefix(text, keep) + QChar(0x2026);
}

} // namespace

const QList<QirvModelOption> &options()
{
    static const QList<QirvModelOption> rows{
        {QStringLiteral("qirv-4.5"), QStringLiteral("Qirv 4.5"),
         QStringLiteral("Flagship \u00B7 code, agents, everything"), QStringLiteral("New")},
        {QStringLiteral("qirv-4.5-latest"), QStringLiteral("Qirv 4.5 Latest"),
         QStringLiteral("Always the newest 4.5 cut"), std::nullopt},
        {QStringLiteral("qirv-build-0.1"), QStringLiteral("Qirv Build"),
         QStringLiteral("Code API \u00B7 256k context"), QStringLiteral("Code")},
        {QStringLiteral("qirv-4.3"), QStringLiteral("Qirv 4.3"), QStringLiteral("Solid chat \u00B7 1M context"),
         std::nullopt},
        {QStringLiteral("qirv-4.20-0309-reasoning"), QStringLiteral("Qirv 4.20 Reason"),
         QStringLiteral("Deep reasoning \u00B7 1M context"), std::nullopt},
        {QStringLiteral("qirv-4.20-0309-non-reasoning"), QStringLiteral("Qirv 4.20 Fast"),
         QStringLiteral("Snappy non-reasoning \u00B7 1M"), std::nullopt},
        {QStringLiteral("qirv-4.20-multi-agent-0309"), QStringLiteral("Qirv 4.20 Multi"),
         QStringLiteral("Multi-agent \u00B7 1M context"), std::nullopt},
    };
    return rows;
}

std::optional<QirvModelOption> option(const QString &id)
{
    for (const QirvModelOption &row : options()) {
        if (row.id == id)
            return row;
    }
    return std::nullopt;
}

bool isKnown(const QString &id)
{
    return option(id).has_value();
}

QString chipLabel(const QString &id)
{
    if (const auto row = option(id))
        return cut(row->title, 13, 11);
    static const QString prefix = QStringLiteral("qirv-");
    const QString rest = id.startsWith(prefix) ? id.mid(prefix.size()) : id;
    return cut(rest, 15, 12);
}

} // namespace model::ModelCatalog
