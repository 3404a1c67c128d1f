#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace stage {

// The sixteen colour strings of a skin. Where the views use each one:
struct SkinColors {
    QString bg;                  // window base, stage backdrop and veil, swatch face
    QString sidebar;             // kept from the file; unused
    QString elevated;            // glass tint, chips, code blocks, settings sections
    QString elevated2;           // second raised level: palette, banners, stage card
    QString border;              // swatches, palette, stage, peek panel, sections
    QString borderStrong;        // kept from the file; unused
    QString text;                // primary text and icons
    QString textSecondary;       // secondary text
    QString textTertiary;        // fainter text
    QString accent;              // selection, glass accent, activity marks, tray
    QString accentSoft;          // kept from the file; unused
    QString userBubble;          // the user's message bubble
    QString danger;              // failures and risk
    QString success;             // success states
    QString accentGradientStart; // first stop of the accent gradient
    QString accentGradientEnd;   // last stop of the accent gradient

    // All sixteen keys must be present and strings; unknown keys are ignored.
    static std::optional<SkinColors> fromJson(const QJsonObject &object);
    QJsonObject toJson() const;

    friend bool operator==(const SkinColors &, const SkinColors &) = default;
};

} // namespace stage
