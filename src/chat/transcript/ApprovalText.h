#pragma once

#include "model/RunRecords.h"

#include <QColor>
#include <QList>
#include <QString>

namespace glass {
struct Styles;
}

namespace chat {

// What a pending tool call's preview shows: the text with every control,
// zero-width, bidirectional and other invisible formatting character
// replaced by a visible marker, so what the user approves is what runs.
struct VisiblePreview {
    QString text;
    struct Mark {
        int start = 0;
        int length = 0;
        friend bool operator==(const Mark &, const Mark &) = default;
    };
    QList<Mark> marks; // where the markers stand in text
};

namespace ApprovalText {

// Line feeds and tabs stay; CR LF reads as a line feed; C0 controls become
// their control pictures (U+2400...), anything else invisible "⟨U+XXXX⟩".
VisiblePreview visible(const QString &raw);
// True for a code point that shows nothing or reorders what follows it.
bool isHidden(char32_t codePoint);

// The look of a risk: symbol, badge, colours, preview height, third button.
struct RiskLook {
    QString symbol;
    QString badge;
    QColor riskColor;
    QColor previewColor;
    int previewHeightLimit = 140;
    bool offersAllowWrites = false;
};
RiskLook look(model::ToolRisk risk, const glass::Styles &styles);

} // namespace ApprovalText

} // namespace chat
