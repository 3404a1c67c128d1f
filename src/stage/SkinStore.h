#pragma once

#include "stage/UISkin.h"

#include <QList>
#include <QObject>
#include <QString>

namespace stage {

// The process-wide holder of the skins and the user's choice of one.
// Reads the resource skins, then the user's skins folder (a user skin
// replaces one of the same id in place), adds the two built-in skins and
// orders them: "default" first, dark before light, then by name.
class SkinStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<stage::UISkin> skins READ skins NOTIFY skinsChanged)
    Q_PROPERTY(QString selectedID READ selectedID WRITE setSelectedID NOTIFY selectedIDChanged)

public:
    struct Sources {
        QString resourceDirectory; // e.g. ":/skins"
        QString userDirectory;     // created when missing
    };

    // The folders the application uses: ":/skins" and <support>/skins.
    static Sources defaultSources();

    // Reads uiSkinID, then both folders, at once.
    explicit SkinStore(const Sources &sources, QObject *parent = nullptr);

    // Created on first use with defaultSources(); never released.
    static SkinStore &shared();

    const QList<UISkin> &skins() const { return m_skins; }
    QString selectedID() const { return m_selectedID; }

    // Every assignment writes uiSkinID, also from a view binding.
    void setSelectedID(const QString &id);

    // The skin in use: the selected one, else "default", else Steel.
    UISkin current() const;

    // From the skin palette: ignored for an id no skin has; otherwise
    // selects it and announces changed() once more.
    void select(const QString &id);

    // The stable display order (a before b).
    static bool ordersBefore(const UISkin &a, const UISkin &b);

signals:
    void skinsChanged();
    void selectedIDChanged(const QString &id);
    // Any change a view must redraw for (the selection, or select()).
    void changed();

private:
    void reload(const Sources &sources);

    QList<UISkin> m_skins;
    QString m_selectedID;
};

} // namespace stage
