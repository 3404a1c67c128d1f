#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace model {

// One model the user can pick.
struct QirvModelOption {
    QString id; // sent to the service
    QString title;
    QString subtitle;
    std::optional<QString> badge;

    friend bool operator==(const QirvModelOption &, const QirvModelOption &) = default;
};

// The fixed list of models shown by the model picker, the tray chip and settings.
namespace ModelCatalog {

const QList<QirvModelOption> &options();

// The first row whose id equals the identifier exactly (case-sensitive).
std::optional<QirvModelOption> option(const QString &id);

bool isKnown(const QString &id);

// The short label on the tray's model chip, cut by user-perceived characters.
QString chipLabel(const QString &id);

} // namespace ModelCatalog
} // namespace model
