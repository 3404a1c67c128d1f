#pragma once

#include "glass/look/Styles.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"

#include <QTemporaryDir>
#include <QUrl>

// What a chat row needs around it, in a folder of its own: the skins, their
// styles and a stage whose wallpaper is off and whose web images go nowhere.
struct ChatStores {
    QTemporaryDir dir;
    stage::SkinStore skins{stage::SkinStore::Sources{QStringLiteral(":/skins"), dir.filePath(QStringLiteral("skins"))}};
    glass::StyleStore styles{skins};
    stage::BackgroundSettings background{backgroundConfig(dir)};

    ChatStores() { background.setIsEnabled(false); }

    static stage::BackgroundSettings::Config backgroundConfig(const QTemporaryDir &dir)
    {
        stage::BackgroundSettings::Config config;
        config.supportDirectory = dir.filePath(QStringLiteral("support"));
        config.randomImageBase = QUrl(QStringLiteral("http://127.0.0.1:9"));
        return config;
    }
};
