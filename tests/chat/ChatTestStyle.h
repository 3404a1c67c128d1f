#pragma once

#include "chat/markdown/MarkdownStyle.h"

// A fixed style, so layouts do not depend on the skin in use.
inline chat::MarkdownStyle chatTestStyle()
{
    chat::MarkdownStyle style;
    style.body.setFamily(QStringLiteral("DejaVu Sans"));
    style.body.setPixelSize(15);
    style.mono.setFamily(QStringLiteral("DejaVu Sans Mono"));
    style.mono.setPixelSize(12);
    style.label.setPixelSize(10);
    style.label.setWeight(QFont::DemiBold);
    style.ink = QColor(0xe6, 0xe6, 0xee);
    style.link = QColor(0x7a, 0xb4, 0xff);
    style.codeText = style.ink;
    style.codeLabel = QColor(0xa0, 0xa0, 0xb0);
    style.codeHeaderFill = QColor(40, 40, 50, 166);
    style.codeFill = QColor(30, 30, 38, 230);
    style.codeStroke = QColor(255, 255, 255, 26);
    style.cacheTag = QStringLiteral("test");
    return style;
}
