#pragma once

#include "model/SettingsRecords.h"
#include "model/StoreFile.h"

#include <QObject>
#include <QString>

namespace model {

// Holds the current AppSettings and keeps it in settings.json. Every
// assignment publishes and saves at once, even of an equal record.
class SettingsStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(model::AppSettings settings READ settings WRITE setSettings NOTIFY settingsChanged)

public:
    struct Options {
        QString filePath; // settings.json; its folder is created when missing
        StoreFileWriter writer = defaultStoreFileWriter();
        Clock clock = systemClock();
    };

    // The application's store, in the support folder.
    explicit SettingsStore(QObject *parent = nullptr);
    explicit SettingsStore(Options options, QObject *parent = nullptr);

    const AppSettings &settings() const { return m_settings; }
    void setSettings(const AppSettings &settings);
    // Why the newest save failed; empty when it succeeded or none ran.
    QString lastSaveFailure() const { return m_saveFailures.failure(); }

    // What start-up uses when there is no usable file: not yet onboarded.
    static AppSettings builtInDefaults() { return AppSettings{}; }

    QString filePath() const { return m_filePath; }
    // An unreadable or undecodable file gives the defaults and is moved
    // aside before the first write, never overwritten.
    StoreFileState loadState() const { return m_loadState; }
    QString setAsidePath() const { return m_setAside.setAsidePath(); }
    bool writesBlocked() const { return m_setAside.writesBlocked(); }

signals:
    void settingsChanged();
    // A save failed: sent for the first failure of a run, with its reason;
    // a save that succeeds ends the run. The new value stays in memory.
    void saveFailed(const QString &reason);

private:
    void save();

    AppSettings m_settings;
    QString m_filePath;
    StoreFileWriter m_writer;
    Clock m_clock;
    StoreFileState m_loadState = StoreFileState::NoFile;
    FileSetAside m_setAside;
    SaveFailureRun m_saveFailures;
};

} // namespace model
