#include "agent/tools/ApprovalPreview.h"

#include "agent/calls/ToolArguments.h"
#include "agent/files/FileReading.h"
#include "agent/files/WorkspaceManager.h"
#include "agent/tools/FileTools.h"
#include "agent/tools/LineDiff.h"
#include "agent/tools/PreviewText.h"
#include "agent/tools/StrReplaceEdit.h"
#include "agent/tools/ToolRouter.h"

#include <QJsonDocument>
#include <QStringDecoder>

#include <cerrno>

namespace agent::ApprovalPreview {

namespace {

using PreviewText::capped;
using ReadKind = FileReading::ReadFailure::Kind;

const QString &separator()
{
    static const QString line = QString(40, QChar(0x2500));
    return line;
}

// The path as the arguments give it; the placeholder stands in for a missing
// one and is then looked up like any other path.
QString givenPath(const QJsonObject &args)
{
    return ToolArguments::string(args, QStringLiteral("path")).value_or(QStringLiteral("(unknown path)"));
}

QString shown(const QString &path)
{
    return PreviewText::escapedForDisplay(path, false);
}

// The file's text when it is a regular file holding strict UTF-8 text.
std::optional<QString> readText(const WorkspaceManager &workspace, const QString &path)
{
    const auto bytes = FileReading::readProjectFile(workspace, path, FileTools::kEditCap);
    if (!bytes)
        return std::nullopt;
    return FileReading::decodeUtf8Strict(*bytes);
}

QString prettyJSON(const QString &text)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        return text;
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString pretty = decoder.decode(doc.toJson(QJsonDocument::Indented));
    if (pretty.endsWith(u'\n'))
        pretty.chop(1);
    return decoder.hasError() ? text : pretty;
}

QString framedContent(const QString &heading, const QString &content)
{
    return heading + u'\n' + separator() + u'\n' + capped(content);
}

Built writeFilePreview(const QJsonObject &args, const WorkspaceManager &workspace)
{
    const QString given = givenPath(args);
    const QString path = shown(given);
    const QString content = ToolArguments::string(args, QStringLiteral("content")).value_or(QString());
    Built built{QStringLiteral("write ") + path, {}};

    // Read through the same confined walk as the tools, so a link swapped in
    // cannot show an outside file's text on the card.
    const auto bytes = FileReading::readProjectFile(workspace, given, FileTools::kEditCap);
    if (bytes) {
        if (const std::optional<QString> old = FileReading::decodeUtf8Strict(*bytes)) {
            built.preview = LineDiff::unifiedDiff(path, *old, content);
            return built;
        }
        built.preview = framedContent(
            QStringLiteral("Overwrites an existing non-text file of %1 bytes: ").arg(bytes->size()) + path, content);
        return built;
    }
    const FileReading::ReadFailure &failure = bytes.error();
    switch (failure.kind) {
    case ReadKind::Workspace:
        built.preview = QStringLiteral("New file: ") + path + QStringLiteral("\n\n") + capped(content);
        break;
    case ReadKind::TooLarge:
        built.preview = framedContent(
            QStringLiteral("Overwrites an existing file of %1 bytes, too large to compare: ").arg(failure.size) + path,
            content);
        break;
    case ReadKind::NotRegular:
        // The atomic write puts a regular file in its place.
        built.preview = framedContent(QStringLiteral("Replaces an existing special file (not a regular file): ") + path, content);
        break;
    case ReadKind::Directory:
        built.preview = framedContent(QStringLiteral("Folder, not a file (the write will fail): ") + path, content);
        break;
    case ReadKind::System:
        // Only a path with nothing there (or a name no folder can hold) is a
        // new file; one that cannot be looked at may hide an existing file.
        built.preview = failure.error == ENOENT || failure.error == ENOTDIR || failure.error == ENAMETOOLONG
                            ? framedContent(QStringLiteral("New file: ") + path, content)
                            : framedContent(QStringLiteral("Overwrites an existing file that cannot be read: ") + path, content);
        break;
    }
    return built;
}

Built strReplacePreview(const QJsonObject &args, const WorkspaceManager &workspace)
{
    const QString given = givenPath(args);
    const QString path = shown(given);
    const QString oldString = ToolArguments::string(args, QStringLiteral("old_string")).value_or(QString());
    const QString newString = ToolArguments::string(args, QStringLiteral("new_string")).value_or(QString());

    QStringList lines{QStringLiteral("str_replace · ") + path, separator()};
    const std::optional<QString> text = readText(workspace, given);
    // The same search the edit itself uses, so the card shows the place that changes.
    const std::optional<StrReplaceEdit::Edit> edit = text ? StrReplaceEdit::plan(*text, oldString, newString) : std::nullopt;
    if (edit) {
        const TextSearch::Match *match = &edit->match;
        const QStringList before = text->first(match->start).split(u'\n');
        const QStringList after = text->sliced(match->start + match->length).split(u'\n');
        for (const QString &piece : before.mid(qMax<qsizetype>(0, before.size() - 3)))
            lines.append(QStringLiteral("  ") + piece);
        for (const QString &piece : oldString.split(u'\n'))
            lines.append(QStringLiteral("- ") + piece);
        for (const QString &piece : newString.split(u'\n'))
            lines.append(QStringLiteral("+ ") + piece);
        for (const QString &piece : after.first(qMin<qsizetype>(3, after.size())))
            lines.append(QStringLiteral("  ") + piece);
    } else {
        lines.append(QStringLiteral("− old:"));
        for (const QString &piece : oldString.split(u'\n'))
            lines.append(QStringLiteral("- ") + piece);
        lines.append(QString());
        lines.append(QStringLiteral("+ new:"));
        for (const QString &piece : newString.split(u'\n'))
            lines.append(QStringLiteral("+ ") + piece);
    }
    return {QStringLiteral("edit ") + path, capped(lines.join(u'\n'))};
}

Built shellPreview(const PreparedCall &call)
{
    const QString shown = PreviewText::escapedForDisplay(call.commandText(), true);
    if (const std::optional<QString> reason = ToolRouter::destructiveShellReason(call))
        return {QStringLiteral("run_shell: needs a look"), QStringLiteral("⚠ ") + *reason + QStringLiteral("\n$ ") + shown};
    return {QStringLiteral("run_shell"), QStringLiteral("$ ") + shown};
}

} // namespace

Built build(const PreparedCall &call, const WorkspaceManager &workspace)
{
    if (call.name == u"write_file")
        return writeFilePreview(call.arguments, workspace);
    if (call.name == u"str_replace")
        return strReplacePreview(call.arguments, workspace);
    if (call.name == u"run_shell")
        return shellPreview(call);
    return {PreviewText::escapedForDisplay(call.name, false),
            PreviewText::escapedForDisplay(prettyJSON(call.argumentsJSON), true)};
}

Built build(const QString &toolName, const QString &argumentsJSON, const WorkspaceManager &workspace)
{
    return build(PreparedCall::read({}, toolName, argumentsJSON), workspace);
}

} // namespace agent::ApprovalPreview
