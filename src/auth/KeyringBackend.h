#pragma once

#include <QByteArray>
#include <QString>

#include <QCoroTask>

namespace auth {

// The outcome of one keyring job.
struct KeyringReply {
    enum class Outcome {
        ok,
        notFound,   // the keyring answered: there is no such item
        unavailable // no keyring, locked, or access refused
    };
    Outcome outcome = Outcome::ok;
    QByteArray data;  // read only
    int status = 0;   // the backend's error code when not ok
    QString detail;   // the backend's error text; never holds the secret
};

// One secret item (service and key fixed by the backend) in a keyring.
// Writes replace the item in place: a refused write leaves the old secret.
class KeyringBackend {
public:
    virtual ~KeyringBackend() = default;
    virtual QCoro::Task<KeyringReply> read() = 0;
    virtual QCoro::Task<KeyringReply> write(QByteArray secret) = 0;
    virtual QCoro::Task<KeyringReply> remove() = 0;
};

} // namespace auth
