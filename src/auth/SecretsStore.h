#pragma once

#include "auth/KeyringBackend.h"
#include "platform/Result.h"

#include <QObject>
#include <QString>

#include <QCoroTask>

#include <memory>
#include <optional>

namespace auth {

struct SecretsError {
    enum class Kind { keychainWriteFailed, nothingToImport, keychainDeleteFailed, keyHasLineBreak, keyTooLarge };
    Kind kind = Kind::nothingToImport;
    qint32 status = 0;
    // The keyring's own message, shown after the status; for keyHasLineBreak
    // and keyTooLarge, where the key came from.
    QString detail;

    QString description() const;
    friend bool operator==(const SecretsError &, const SecretsError &) = default;
};

// The API key kept in the keyring (item service "com.ovu.QirvMac", key
// "api_key"). Keyring jobs are asynchronous; the key is cached here (loaded
// at start, updated by save and delete) so the synchronous reads of the
// sign-in state never wait.
class SecretsStore : public QObject {
    Q_OBJECT
public:
    enum class KeyState {
        loading,    // the first read has not answered yet
        present,
        absent,     // the keyring answered: no key
        unavailable // no keyring, locked or refused: whether a key exists is unknown
    };
    Q_ENUM(KeyState)

    static constexpr char kService[] = "com.ovu.QirvMac";
    static constexpr char kKey[] = "api_key";

    // Starts reading the key at once.
    explicit SecretsStore(std::unique_ptr<KeyringBackend> backend, QObject *parent = nullptr);
    ~SecretsStore() override;

    // The process's store, on the Secret Service.
    static SecretsStore &shared();

    // The cached key as stored: not trimmed, possibly empty; none when there
    // is no key or the keyring could not be read.
    std::optional<QString> loadAPIKey() const;
    KeyState keyState() const { return m_state; }

    // Completes once the first read has answered.
    QCoro::Task<> ready();
    // Reads the key again (after the keyring was unlocked, say).
    QCoro::Task<> reload();

    // Stores the key unchanged, replacing any earlier one in place; a refused
    // write keeps the earlier key.
    [[nodiscard]] QCoro::Task<platform::Status<SecretsError>> saveAPIKey(QString key);
    // Removes the key; fails only when the keyring refused and the key is
    // still there.
    [[nodiscard]] QCoro::Task<platform::Status<SecretsError>> deleteAPIKey();
    // OVU_API_KEY (line breaks at its ends removed), else the first key file
    // with text (~/.config/ovu/api_key, ~/.qirv/api_key,
    // ~/.config/qirv/api_key), trimmed; saved and returned.
    [[nodiscard]] QCoro::Task<platform::Result<QString, SecretsError>> importFromEnvironmentOrConfigFiles();

signals:
    // The cached key or the keyring's state changed.
    void changed();
    void operationFinished();

private:
    QCoro::Task<> read();
    // Keyring jobs run one at a time, so the cache follows their order.
    QCoro::Task<bool> acquire();
    void release();
    void setCache(KeyState state, std::optional<QString> key);

    std::unique_ptr<KeyringBackend> m_backend;
    KeyState m_state = KeyState::loading;
    std::optional<QString> m_key;
    bool m_busy = false;
};

} // namespace auth
