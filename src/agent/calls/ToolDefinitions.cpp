#include "agent/calls/ToolDefinitions.h"

#include <QJsonObject>

namespace agent::ToolDefinitions {

namespace {

struct Param {
    QString name;
    QString description; // empty: the parameter carries only its type
};

QJsonObject function(const QString &name, const QString &description, const QJsonObject &parameters)
{
    return QJsonObject{
        {QStringLiteral("type"), QStringLiteral("function")},
        {QStringLiteral("function"),
         QJsonObject{{QStringLiteral("name"), name},
                     {QStringLiteral("description"), description},
                     {QStringLiteral("parameters"), parameters}}},
    };
}

QJsonObject parameters(const QList<Param> &params)
{
    QJsonObject properties;
    QJsonArray required;
    for (const Param &p : params) {
        QJsonObject property{{QStringLiteral("type"), QStringLiteral("string")}};
        if (!p.description.isEmpty())
            property.insert(QStringLiteral("description"), p.description);
        properties.insert(p.name, property);
        required.append(p.name);
    }
    return QJsonObject{
        {QStringLiteral("type"), QStringLiteral("object")},
        {QStringLiteral("properties"), properties},
        {QStringLiteral("required"), required},
    };
}

QJsonArray buildSchemas()
{
    QJsonArray list;
    list.append(function(
        QStringLiteral("list_dir"),
        QStringLiteral("List files and directories under a path relative to the project workspace root. Use '.' for the root."),
        parameters({{QStringLiteral("path"), QStringLiteral("Relative path from workspace root, or '.'")}})));
    list.append(function(QStringLiteral("read_file"), QStringLiteral("Read a UTF-8 text file from the project workspace."),
                         parameters({{QStringLiteral("path"), QStringLiteral("Path relative to workspace root")}})));
    list.append(function(
        QStringLiteral("write_file"),
        QStringLiteral("Write full contents to a file (creates parents as needed). Prefer str_replace for small edits."),
        parameters({{QStringLiteral("path"), {}}, {QStringLiteral("content"), {}}})));
    list.append(function(
        QStringLiteral("str_replace"),
        QStringLiteral("Replace the first exact occurrence of old_string with new_string in a file."),
        parameters({{QStringLiteral("path"), {}}, {QStringLiteral("old_string"), {}}, {QStringLiteral("new_string"), {}}})));
    list.append(function(QStringLiteral("run_shell"),
                         QStringLiteral("Run a shell command with cwd set to the project workspace root. Prefer "
                                        "non-interactive commands. Do not use for secrets exfiltration."),
                         parameters({{QStringLiteral("command"), QStringLiteral("Command passed to zsh -lc")}})));
    return list;
}

} // namespace

const QJsonArray &schemas()
{
    static const QJsonArray list = buildSchemas();
    return list;
}

model::ToolRisk risk(QStringView toolName)
{
    if (toolName == u"list_dir" || toolName == u"read_file")
        return model::ToolRisk::Read;
    if (toolName == u"write_file" || toolName == u"str_replace")
        return model::ToolRisk::Write;
    return model::ToolRisk::Shell;
}

} // namespace agent::ToolDefinitions
