#pragma once

#include "auth/KeyringBackend.h"

namespace auth {

// The Secret Service (through QtKeychain) item service/key.
class QtKeychainBackend final : public KeyringBackend {
public:
    QtKeychainBackend(QString service, QString key);

    QCoro::Task<KeyringReply> read() override;
    QCoro::Task<KeyringReply> write(QByteArray secret) override;
    QCoro::Task<KeyringReply> remove() override;

private:
    QString m_service;
    QString m_key;
};

} // namespace auth
