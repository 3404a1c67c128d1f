#include "chat/tray/ProjectChip.h"

#include "chat/tray/TrayChips.h"

#include <QBoxLayout>

namespace chat {

QString projectFolderName(const QString &rootPath)
{
    QString path = rootPath;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    if (path == QLatin1String("/"))
        return path;
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

ProjectChipLook projectChipLook(const std::optional<QString> &rootPath, bool showProjectPanel)
{
    if (!rootPath || rootPath->isEmpty())
        return {QStringLiteral("No project. Click to open"), QStringLiteral("folder.badge.plus"),
                QStringLiteral("No project yet. Click to choose a folder. Qirv\u2019s file and shell tools only work "
                               "inside that folder."),
                false};
    const QString name = projectFolderName(*rootPath);
    return {name, showProjectPanel ? QStringLiteral("sidebar.left") : QStringLiteral("folder.fill"),
            QStringLiteral("Project: ") + name + QLatin1Char('\n') + *rootPath +
                QStringLiteral("\n\nClick for: show/hide Files tree \u00B7 Show in File Manager \u00B7 Open in Terminal "
                               "\u00B7 Change project."),
            true};
}

ProjectPopover::ProjectPopover(bool showProjectPanel, glass::StyleStore &styles, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("projectPopover"));
    setFixedWidth(kWidth);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 6, 0, 6);
    column->setSpacing(2);

    auto row = [&](const QString &name, const QString &title, const QString &symbol, void (ProjectPopover::*signal)()) {
        auto *r = new TrayPopoverRow(title, symbol, styles, this);
        r->setObjectName(name);
        connect(r, &QAbstractButton::clicked, this, signal);
        column->addWidget(r);
    };
    row(QStringLiteral("filesRow"), showProjectPanel ? QStringLiteral("Hide Files") : QStringLiteral("Show Files"),
        showProjectPanel ? QStringLiteral("sidebar.left") : QStringLiteral("list.bullet.rectangle"),
        &ProjectPopover::toggleFilesRequested);
    column->addWidget(new TrayDivider(styles, this));
    row(QStringLiteral("revealRow"), QStringLiteral("Show in File Manager"), QStringLiteral("folder"),
        &ProjectPopover::revealRequested);
    row(QStringLiteral("terminalRow"), QStringLiteral("Open in Terminal"), QStringLiteral("terminal"),
        &ProjectPopover::terminalRequested);
    column->addWidget(new TrayDivider(styles, this));
    row(QStringLiteral("changeRow"), QStringLiteral("Change Project\u2026"), QStringLiteral("folder.badge.gearshape"),
        &ProjectPopover::changeProjectRequested);
}

} // namespace chat
