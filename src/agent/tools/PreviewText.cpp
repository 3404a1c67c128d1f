#include "agent/tools/PreviewText.h"

#include "platform/Graphemes.h"

namespace agent::PreviewText {

namespace {

bool needsEscape(char32_t c, bool keepLineBreaks)
{
    if (c == U'\n' || c == U'\t')
        return !keepLineBreaks;
    return c < 0x20 || (c >= 0x7f && c <= 0x9f)   // C0, DEL, C1 controls
           || c == 0x061c                         // Arabic letter mark
           || (c >= 0x200b && c <= 0x200f)        // zero-width characters, LRM, RLM
           || (c >= 0x2028 && c <= 0x202e)        // separators, embeddings and overrides
           || (c >= 0x2060 && c <= 0x2069)        // word joiner, invisible operators, isolates
           || c == 0xfeff;                        // zero-width no-break space
}

} // namespace

QString capped(const QString &text)
{
    // Fewer code units than the cap means fewer characters too.
    if (text.size() <= kPreviewCap)
        return text;
    const qsizetype cut = platform::Graphemes::offsetOf(text, kPreviewCap);
    if (cut >= text.size())
        return text;
    return text.first(cut) + QStringLiteral("\n…(preview truncated)");
}

QString escapedForDisplay(const QString &text, bool keepLineBreaks)
{
    QString out;
    out.reserve(text.size());
    // Every escaped character lies in the BMP, so surrogates pass through as they are.
    for (const QChar ch : text) {
        const char32_t c = ch.unicode();
        if (needsEscape(c, keepLineBreaks))
            out.append(QStringLiteral("\\u{%1}").arg(QString::number(uint(c), 16).toUpper().rightJustified(4, u'0')));
        else
            out.append(ch);
    }
    return out;
}

} // namespace agent::PreviewText
