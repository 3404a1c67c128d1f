#include "chat/composer/AttachmentChipText.h"

#include <cstdio>

namespace chat::AttachmentChipText {

namespace {

// printf's %f is locale-independent only in the "C" locale; format the
// number by hand from its rounded parts instead. Rounding follows printf:
// an exact half goes to the even neighbour.
QString fixed(double value, int decimals)
{
    char buffer[64];
    // snprintf under LC_NUMERIC could print a comma: replace whatever
    // separator it used with a point.
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    QString text = QString::fromLatin1(buffer);
    if (decimals > 0) {
        const qsizetype separator = text.size() - decimals - 1;
        if (separator > 0)
            text[separator] = QLatin1Char('.');
    }
    return text;
}

} // namespace

AttachmentChipKind kind(const model::AttachedFile &file)
{
    if (file.isImage)
        return AttachmentChipKind::Image;
    return file.inlineContent ? AttachmentChipKind::InlineText : AttachmentChipKind::PathOnly;
}

QString byteLabel(qint64 bytes)
{
    constexpr qint64 kKiB = 1024;
    constexpr qint64 kMiB = 1024 * 1024;
    if (bytes < kKiB)
        return QString::number(bytes) + QStringLiteral(" B");
    if (bytes < kMiB)
        return fixed(double(bytes) / double(kKiB), 0) + QStringLiteral(" KB");
    return fixed(double(bytes) / double(kMiB), 1) + QStringLiteral(" MB");
}

QString sizeLine(const model::AttachedFile &file)
{
    if (kind(file) == AttachmentChipKind::Image)
        return QStringLiteral("Image \u00B7 ") + byteLabel(file.byteCount);
    return byteLabel(file.byteCount);
}

QString toolTip(const model::AttachedFile &file)
{
    switch (kind(file)) {
    case AttachmentChipKind::Image:
        return QStringLiteral("Image attached (%1 bytes)").arg(QString::number(file.byteCount));
    case AttachmentChipKind::InlineText:
        return QStringLiteral("Will send inline context (%1 bytes)").arg(QString::number(file.byteCount));
    case AttachmentChipKind::PathOnly:
        return QStringLiteral("Path only (large or binary)");
    }
    return {};
}

QString symbol(const model::AttachedFile &file)
{
    return file.isImage ? QStringLiteral("photo") : QStringLiteral("doc.text");
}

} // namespace chat::AttachmentChipText
