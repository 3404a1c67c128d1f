#include "panels/ToolLogRows.h"

#include "glass/look/Styles.h"

#include <QFontMetrics>

namespace panels::ToolLogRows {

namespace {
constexpr int kPadX = 12;
constexpr int kPadY = 4;
constexpr int kSpacing = 6;
} // namespace

QString statusBadge(model::ToolLogEntry::Status status)
{
    return model::toRaw(status);
}

QColor color(model::ToolLogEntry::Status status, const glass::Styles &styles)
{
    using S = model::ToolLogEntry::Status;
    switch (status) {
    case S::Pending:
    case S::Running:
        return QColor::fromRgbF(0.45f, 0.78f, 1.0f, 1.0f);
    case S::Approved:
        return QColor(0x5e, 0x5c, 0xe6); // indigo
    case S::Denied:
        return styles.accent;
    case S::Success:
        return styles.success;
    case S::Failure:
        return styles.danger;
    }
    return styles.text;
}

QStringList wrapped(const QString &text, int columns, int maxLines)
{
    QStringList lines;
    columns = std::max(columns, 1);
    const QStringList pieces = text.split(u'\n');
    for (const QString &piece : pieces) {
        if (piece.isEmpty()) {
            lines.append(QString());
        } else {
            for (qsizetype at = 0; at < piece.size(); at += columns) {
                lines.append(piece.mid(at, columns));
                if (lines.size() >= maxLines)
                    break;
            }
        }
        if (lines.size() >= maxLines)
            break;
    }
    if (lines.size() > maxLines)
        lines.resize(maxLines);
    return lines;
}

Layout layout(const model::ToolLogEntry &entry, bool hasPath, int width, const Fonts &fonts)
{
    Layout l;
    const int inner = std::max(width - 2 * kPadX, 40);
    const QFontMetrics nameMetrics(fonts.name), badgeMetrics(fonts.badge), monoMetrics(fonts.mono),
        revealMetrics(fonts.reveal);
    int y = kPadY;
    const int badgeWidth = badgeMetrics.horizontalAdvance(statusBadge(entry.status)) + 12;
    const int firstRow = std::max(nameMetrics.height(), badgeMetrics.height() + 4);
    l.badge = QRect(kPadX + inner - badgeWidth, y + (firstRow - badgeMetrics.height() - 4) / 2, badgeWidth,
                    badgeMetrics.height() + 4);
    l.name = QRect(kPadX, y, inner - badgeWidth - 8, firstRow);
    y += firstRow + kSpacing;

    const int columns = std::max(1, inner / std::max(1, monoMetrics.horizontalAdvance(u'M')));
    const int argLines = int(wrapped(entry.argumentsPreview, columns, argumentLines).size());
    l.arguments = QRect(kPadX, y, inner, argLines * monoMetrics.lineSpacing());
    y += l.arguments.height();
    if (!entry.resultPreview.isEmpty()) {
        y += kSpacing;
        const int lines = int(wrapped(entry.resultPreview, columns, resultLines).size());
        l.result = QRect(kPadX, y, inner, lines * monoMetrics.lineSpacing());
        y += l.result.height();
    }
    if (hasPath) {
        y += kSpacing;
        l.reveal = QRect(kPadX, y, revealMetrics.horizontalAdvance(QStringLiteral("Reveal in Files")) + 18,
                         revealMetrics.height() + 2);
        y += l.reveal.height();
    }
    l.height = y + kPadY + 6;
    return l;
}

} // namespace panels::ToolLogRows
