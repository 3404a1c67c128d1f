#include "chat/transcript/ApprovalText.h"

#include "glass/look/QirvTheme.h"
#include "glass/look/Styles.h"

namespace chat::ApprovalText {

bool isHidden(char32_t c)
{
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F))
        return true;
    switch (c) {
    case 0x00AD: // soft hyphen
    case 0x034F: // combining grapheme joiner
    case 0x061C: // Arabic letter mark
    case 0x115F:
    case 0x1160:
    case 0x17B4:
    case 0x17B5:
    case 0x180E:
    case 0x2028: // line and paragraph separators break lines unseen
    case 0x2029:
    case 0x3164:
    case 0xFEFF:
    case 0xFFA0:
        return true;
    default:
        break;
    }
    if ((c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F))
        return true;
    if (c >= 0xFE00 && c <= 0xFE0F) // variation selectors
        return true;
    if ((c >= 0xE0000 && c <= 0xE007F) || (c >= 0xE0100 && c <= 0xE01EF)) // tags, more selectors
        return true;
    return QChar::category(c) == QChar::Other_Format;
}

VisiblePreview visible(const QString &raw)
{
    VisiblePreview out;
    out.text.reserve(raw.size());
    const QList<uint> points = raw.toUcs4();
    for (qsizetype i = 0; i < points.size(); ++i) {
        const char32_t c = points[i];
        if (c == u'\n' || c == u'\t') {
            out.text += QChar(c);
            continue;
        }
        if (c == u'\r' && i + 1 < points.size() && points[i + 1] == u'\n')
            continue;
        if (!isHidden(c)) {
            out.text += QString::fromUcs4(&c, 1);
            continue;
        }
        const int start = int(out.text.size());
        if (c < 0x20)
            out.text += QChar(char16_t(0x2400 + c));
        else if (c == 0x7F)
            out.text += QChar(char16_t(0x2421));
        else
            out.text += QStringLiteral("\u27E8U+%1\u27E9").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper();
        out.marks.append({start, int(out.text.size()) - start});
    }
    return out;
}

RiskLook look(model::ToolRisk risk, const glass::Styles &styles)
{
    using glass::QirvTheme::color;
    RiskLook l;
    switch (risk) {
    case model::ToolRisk::Read:
        l.symbol = QStringLiteral("eye");
        l.riskColor = styles.light ? QColor(0x00, 0x7A, 0xFF) : QColor(0x0A, 0x84, 0xFF);
        // Light skins keep the preview well dark (see ApprovalCard), so the
        // text takes the dark skin's tones there.
        l.previewColor = styles.light ? QColor(0xB4, 0xBC, 0xC8) : color(styles.skin.colors.textSecondary);
        l.previewHeightLimit = 140;
        break;
    case model::ToolRisk::Write:
        l.symbol = QStringLiteral("pencil");
        l.riskColor = color(styles.skin.colors.accent);
        l.previewColor = styles.light ? QColor::fromRgbF(1, 1, 1, 0.92f)
                                      : glass::QirvTheme::withOpacity(color(styles.skin.colors.text), 0.92);
        l.previewHeightLimit = 220;
        l.offersAllowWrites = true;
        break;
    case model::ToolRisk::Shell:
        l.symbol = QStringLiteral("terminal");
        l.riskColor = color(styles.skin.colors.danger);
        l.previewColor = QColor::fromRgbF(1.0f, 0.82f, 0.58f);
        l.previewHeightLimit = 120;
        break;
    }
    l.badge = model::toRaw(risk).toUpper();
    return l;
}

} // namespace chat::ApprovalText
