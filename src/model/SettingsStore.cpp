#include "model/SettingsStore.h"

#include "model/SettingsJson.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QFileInfo>

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
        if (auto decoded = decodeSettings(read.bytes))
            m_settings = decoded.value();
        else
            m_loadState = StoreFileState::Undecodable;
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
    // Memory keeps the new value after a failed write.
    const QString failure = m_setAside.prepareWrite(m_filePath, m_clock())
                                ? m_writer(m_filePath, encodeSettings(m_settings))
                                : m_setAside.blockReason();
    if (m_saveFailures.note(failure))
        emit saveFailed(failure);
}

} // namespace model
