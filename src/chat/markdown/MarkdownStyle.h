#pragma once

#include <QColor>
#include <QFont>
#include <QString>

namespace chat {

// Fonts and colours a rendered message is laid out and painted with. Built
// from the skin's style values by the views; tests build it directly.
struct MarkdownStyle {
    QFont body;              // prose (pixel sized)
    qreal lineSpacing = 6;   // added between lines of prose
    QFont mono;              // code cards and code spans
    QFont label;             // the code card's language label and copy button
    QColor ink;              // prose
    QColor link;
    QColor codeText, codeLabel, codeHeaderFill, codeFill, codeStroke;
    QColor selection;        // behind selected text, prose and code
    QColor rule;             // table rules and the bar beside a quote
    qreal blockSpacing = 12; // between prose blocks and code cards
    // Identifies everything above that changes a layout or its colours.
    QString cacheTag;
};

} // namespace chat
