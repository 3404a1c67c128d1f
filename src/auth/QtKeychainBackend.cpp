#include "auth/QtKeychainBackend.h"

#include <qt6keychain/keychain.h>

#include <QCoroSignal>

#include <memory>

namespace auth {

namespace {

// Runs a job to its end. The job is owned here, not auto-deleted, so its
// result can be read after the signal.
QCoro::Task<KeyringReply> run(std::unique_ptr<QKeychain::Job> job)
{
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    job->start();
    co_await qCoro(job.get(), &QKeychain::Job::finished);
    KeyringReply reply;
    reply.status = job->error();
    switch (job->error()) {
    case QKeychain::NoError:
        reply.outcome = KeyringReply::Outcome::ok;
        if (auto *readJob = qobject_cast<QKeychain::ReadPasswordJob *>(job.get()))
            reply.data = readJob->binaryData();
        break;
    case QKeychain::EntryNotFound:
        reply.outcome = KeyringReply::Outcome::notFound;
        break;
    default:
        reply.outcome = KeyringReply::Outcome::unavailable;
        reply.detail = job->errorString();
        break;
    }
    co_return reply;
}

} // namespace

QtKeychainBackend::QtKeychainBackend(QString service, QString key)
    : m_service(std::move(service)), m_key(std::move(key))
{
}

QCoro::Task<KeyringReply> QtKeychainBackend::read()
{
    auto job = std::make_unique<QKeychain::ReadPasswordJob>(m_service);
    job->setKey(m_key);
    return run(std::move(job));
}

QCoro::Task<KeyringReply> QtKeychainBackend::write(QByteArray secret)
{
    // The Secret Service replaces an item with the same attributes in place.
    auto job = std::make_unique<QKeychain::WritePasswordJob>(m_service);
    job->setKey(m_key);
    job->setBinaryData(secret);
    return run(std::move(job));
}

QCoro::Task<KeyringReply> QtKeychainBackend::remove()
{
    auto job = std::make_unique<QKeychain::DeletePasswordJob>(m_service);
    job->setKey(m_key);
    return run(std::move(job));
}

} // namespace auth
