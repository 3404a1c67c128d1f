#include "model/SettingsStore.h"

#include "model/SettingsJson.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSettingsStore, "moonshelf.model.settings")

namespace model {

namespace {

QString defaultFilePath()
{
    return QDir(platform::AppPaths::supportDirectory()).filePath(QStringLiteral("settings.json"));
}

} // namespace

SettingsStore::SettingsStore(QObject *parent) : SettingsStore(Options{defaultFilePath()}, parent) {}

SettingsStore::SettingsStore(Options options, QObject *parent)
    : QObject(parent),
      m_settings(builtInDefaults()),
      m_filePath(std::move(options.filePath)),
      m_writer(std::move(options.writer)),
      m_clock(std::move(options.clock))
{
    QDir().mkpath(QFileInfo(m_filePath).absolutePath());

    // Nothing is written at start-up, whatever is found.
    const FileRead read = readStoreFile(m_filePath);
    m_loadState = read.state;
    if (read.state == StoreFileState::Loaded) {
        auto decoded = decodeSettings(read.bytes);
        if (decoded) {
            m_settings = decoded.value();
        } else {
            m_loadState = StoreFileState::Undecodable;
            qCWarning(lcSettingsStore) << "cannot decode" << m_filePath << ":" << decoded.error().text()
                                       << "- it will be set aside";
        }
    } else if (read.state == StoreFileState::Unreadable) {
        qCWarning(lcSettingsStore) << "cannot read" << m_filePath << "- it will be set aside";
    }
    m_setAside.arm(m_loadState == StoreFileState::Unreadable || m_loadState == StoreFileState::Undecodable);
}

void SettingsStore::setSettings(const AppSettings &settings)
{
    m_settings = settings;
    emit settingsChanged();
    save();
}

void SettingsStore::save()
{
    if (!m_setAside.prepareWrite(m_filePath, m_clock())) {
        qCWarning(lcSettingsStore) << "not writing" << m_filePath
                                   << ": the unreadable file there could not be moved aside";
        return;
    }
    const QString error = m_writer(m_filePath, encodeSettings(m_settings));
    if (!error.isEmpty())
        qCWarning(lcSettingsStore) << "cannot write" << m_filePath << ":" << error;
}

} // namespace model
