#pragma once

#include "stage/StagePhotoCredit.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace stage {

// The one JSON object of background.json. Decoding is strict: a required
// key that is missing or of the wrong type spoils the whole file.
struct BackgroundPersisted {
    bool isEnabled = false;
    double overlayOpacity = 0.35;
    QString customURLString;
    std::optional<QString> currentImagePath;
    bool animateKenBurns = true;
    bool useVideo = false;
    std::optional<QString> videoFilePath;
    QStringList historyStack; // newest first
    bool didFinishInitialSetup = true; // must be present; its value is not consulted
    std::optional<StagePhotoCredit> photoCredit;

    static std::optional<BackgroundPersisted> decode(const QByteArray &json);
    // Compact JSON; absent optional keys are left out.
    QByteArray encode() const;

    friend bool operator==(const BackgroundPersisted &, const BackgroundPersisted &) = default;
};

} // namespace stage
