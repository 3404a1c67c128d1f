#include "model/AttachmentTempStoreNaming.h"

#include <QStringList>
#include <QTextBoundaryFinder>
#include <QUuid>

namespace model::AttachmentNaming {

namespace {

QString lastPathComponent(const QString &path)
{
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return path.isEmpty() ? QString() : QStringLiteral("/");
    return parts.last();
}

// Longest prefix of text, ending on a character boundary, that fits maxBytes of UTF-8.
QString cutToBytes(const QString &text, qsizetype maxBytes)
{
    if (text.toUtf8().size() <= maxBytes)
        return text;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype kept = 0;
    qsizetype bytes = 0;
    qsizetype start = 0;
    for (qsizetype end = finder.toNextBoundary(); end != -1; end = finder.toNextBoundary()) {
        bytes += QStringView(text).mid(start, end - start).toUtf8().size();
        if (bytes > maxBytes)
            break;
        kept = end;
        start = end;
    }
    return text.left(kept);
}

} // namespace

QString baseName(const QString &suggestedName)
{
    QString name = lastPathComponent(suggestedName);
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    name.replace(QLatin1Char(':'), QLatin1Char('-'));
    for (QChar &c : name) {
        const auto category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph)
            c = QLatin1Char('-');
    }
    if (name.isEmpty())
        name = QStringLiteral("drop.bin");
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    return cutToBytes(name, kMaxBaseBytes);
}

QString stagedFileName(const QString &suggestedName, const QString &extension)
{
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    return uuid.left(8) + QLatin1Char('-') + baseName(suggestedName) + QLatin1Char('.') + extension;
}

QString lowerExtension(const QString &path)
{
    const QString name = lastPathComponent(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return {};
    return name.mid(dot + 1).toLower();
}

} // namespace model::AttachmentNaming
