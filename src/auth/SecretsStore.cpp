#include "auth/SecretsStore.h"

#include "auth/CredentialPlace.h"
#include "auth/OAuthRequest.h"
#include "auth/OAuthSession.h"
#include "auth/QtKeychainBackend.h"
#include "platform/CredentialEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <QCoroSignal>

namespace auth {

QString SecretsError::description() const
{
    // The status code alone does not say why; the keyring's message does.
    const QString reason = detail.isEmpty() ? QString() : QLatin1Char(' ') + detail;
    switch (kind) {
    case Kind::keychainWriteFailed:
        return QStringLiteral("Could not save API key to the keyring (status %1).").arg(status) + reason;
    case Kind::nothingToImport:
        return QStringLiteral(
            "No OVU_API_KEY env var or config file found (~/.config/ovu/api_key, ~/.qirv/api_key).");
    case Kind::keychainDeleteFailed:
        return QStringLiteral("Could not remove API key from the keyring (status %1).").arg(status) + reason;
    case Kind::keyHasLineBreak:
        return QStringLiteral("The API key in %1 contains a line break or NUL character; it was not saved.")
            .arg(detail);
    case Kind::keyTooLarge:
        return QStringLiteral("The API key in %1 is larger than %2; it was not saved.").arg(detail, tokenLimitText());
    }
    return {};
}

SecretsStore::SecretsStore(std::unique_ptr<KeyringBackend> backend, QObject *parent)
    : QObject(parent), m_backend(std::move(backend))
{
    reload();
}

SecretsStore::~SecretsStore() = default;

SecretsStore &SecretsStore::shared()
{
    static SecretsStore *store = new SecretsStore(
        std::make_unique<QtKeychainBackend>(QString::fromLatin1(kService), QString::fromLatin1(kKey)),
        QCoreApplication::instance());
    return *store;
}

std::optional<QString> SecretsStore::loadAPIKey() const
{
    return m_key;
}

void SecretsStore::setCache(KeyState state, std::optional<QString> key)
{
    if (state == m_state && key == m_key)
        return;
    m_state = state;
    m_key = std::move(key);
    emit changed();
}

QCoro::Task<bool> SecretsStore::acquire()
{
    QPointer<SecretsStore> self(this);
    while (self && self->m_busy)
        co_await qCoro(self.data(), &SecretsStore::operationFinished);
    if (!self)
        co_return false;
    m_busy = true;
    co_return true;
}

void SecretsStore::release()
{
    m_busy = false;
    emit operationFinished();
}

QCoro::Task<> SecretsStore::ready()
{
    QPointer<SecretsStore> self(this);
    while (self && self->m_state == KeyState::loading)
        co_await qCoro(self.data(), &SecretsStore::changed);
}

QCoro::Task<> SecretsStore::reload()
{
    QPointer<SecretsStore> self(this);
    if (!co_await acquire())
        co_return;
    const KeyringReply reply = co_await m_backend->read();
    if (!self)
        co_return;
    switch (reply.outcome) {
    case KeyringReply::Outcome::ok: {
        // Bytes that are not UTF-8 are no key.
        auto text = OAuth::strictUtf8(reply.data);
        setCache(text ? KeyState::present : KeyState::absent, std::move(text));
        break;
    }
    case KeyringReply::Outcome::notFound:
        setCache(KeyState::absent, std::nullopt);
        break;
    case KeyringReply::Outcome::unavailable:
        setCache(KeyState::unavailable, std::nullopt);
        break;
    }
    release();
}

QCoro::Task<platform::Status<SecretsError>> SecretsStore::saveAPIKey(QString key)
{
    QPointer<SecretsStore> self(this);
    if (!co_await acquire())
        co_return SecretsError{SecretsError::Kind::keychainWriteFailed, -1, {}};
    // Named, not a temporary of the co_await expression (g++ 12 may destroy those twice).
    const QByteArray secret = key.toUtf8();
    const KeyringReply reply = co_await m_backend->write(secret);
    if (!self)
        co_return SecretsError{SecretsError::Kind::keychainWriteFailed, -1, {}};
    platform::Status<SecretsError> result;
    if (reply.outcome == KeyringReply::Outcome::ok)
        setCache(KeyState::present, std::move(key));
    else
        result = SecretsError{SecretsError::Kind::keychainWriteFailed, reply.status, reply.detail};
    release();
    co_return result;
}

QCoro::Task<platform::Status<SecretsError>> SecretsStore::deleteAPIKey()
{
    QPointer<SecretsStore> self(this);
    if (!co_await acquire())
        co_return SecretsError{SecretsError::Kind::keychainDeleteFailed, -1, {}};
    const KeyringReply reply = co_await m_backend->remove();
    if (!self)
        co_return SecretsError{SecretsError::Kind::keychainDeleteFailed, -1, {}};
    platform::Status<SecretsError> result;
    if (reply.outcome == KeyringReply::Outcome::unavailable)
        result = SecretsError{SecretsError::Kind::keychainDeleteFailed, reply.status, reply.detail};
    else
        setCache(KeyState::absent, std::nullopt);
    release();
    co_return result;
}

namespace {

// A break inside the key would split the HTTP header it is sent in; a NUL
// would cut it short. Such a key is refused rather than saved over a good one.
bool hasLineBreak(const QString &key)
{
    return key.contains(QLatin1Char('\n')) || key.contains(QLatin1Char('\r')) || key.contains(QChar(0));
}

} // namespace

QCoro::Task<platform::Result<QString, SecretsError>> SecretsStore::importFromEnvironmentOrConfigFiles()
{
    using R = platform::Result<QString, SecretsError>;

    std::optional<QString> found;
    QString source;
    // The variable is taken as it is, but a line break at either end would
    // end up in an HTTP header.
    if (auto env = OAuth::strictUtf8(qgetenv(platform::CredentialEnvironment::kApiKey))) {
        while (env->endsWith(QLatin1Char('\n')) || env->endsWith(QLatin1Char('\r')))
            env->chop(1);
        while (env->startsWith(QLatin1Char('\n')) || env->startsWith(QLatin1Char('\r')))
            env->remove(0, 1);
        if (!env->isEmpty()) {
            found = *env;
            source = QString::fromLatin1(platform::CredentialEnvironment::kApiKey);
        }
    }
    if (!found) {
        const QDir home(QDir::homePath());
        for (const char *relative : platform::CredentialEnvironment::kApiKeyFiles) {
            QFile file(home.filePath(QString::fromLatin1(relative)));
            // Not a regular file (a FIFO would block): skipped like a missing one.
            if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly))
                continue;
            // One the model's tools can reach is not the person's key.
            if (!CredentialPlace::refusalOfOpen(file.handle()).isEmpty())
                continue;
            // A key file is a line; a huge one is not read whole.
            const auto text = OAuth::strictUtf8(file.read(kTokenLimitBytes + 64));
            if (file.error() != QFileDevice::NoError || !text)
                continue;
            const QString trimmed = text->trimmed();
            if (!trimmed.isEmpty()) {
                found = trimmed;
                source = QStringLiteral("~/") + QString::fromLatin1(relative);
                break;
            }
        }
    }
    if (!found)
        co_return R::failure(SecretsError{SecretsError::Kind::nothingToImport, 0, {}});
    if (hasLineBreak(*found))
        co_return R::failure(SecretsError{SecretsError::Kind::keyHasLineBreak, 0, source});
    if (!tokenFits(*found))
        co_return R::failure(SecretsError{SecretsError::Kind::keyTooLarge, 0, source});

    const auto saved = co_await saveAPIKey(*found);
    if (!saved)
        co_return R::failure(saved.error());
    co_return *found;
}

} // namespace auth
