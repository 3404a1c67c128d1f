#include "model/JsonDecodeError.h"

namespace model {

QString JsonDecodeError::text() const
{
    QString what;
    switch (kind) {
    case Kind::NotJson: what = QStringLiteral("The data is not valid JSON"); break;
    case Kind::WrongType: what = QStringLiteral("A value has the wrong type"); break;
    case Kind::MissingKey: what = QStringLiteral("A required key is missing"); break;
    case Kind::UnknownValue: what = QStringLiteral("A value is not one of the known texts"); break;
    case Kind::BadNumber: what = QStringLiteral("A number is out of range"); break;
    case Kind::BadDate: what = QStringLiteral("A date is not in the expected form"); break;
    case Kind::BadUuid: what = QStringLiteral("An identifier is not a valid UUID"); break;
    }
    return where.isEmpty() ? what + u'.' : QStringLiteral("%1 (%2).").arg(what, where);
}

} // namespace model
