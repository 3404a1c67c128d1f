#include "app/AppViewModel.h"

#include "agent/files/WorkspaceManager.h"
#include "app/FilePanels.h"
#include "app/SessionExport.h"
#include "app/TellingDesktop.h"
#include "model/ConversationStore.h"
#include "platform/AtomicFile.h"
#include "platform/DesktopServices.h"
#include "platform/UserDefaults.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

namespace app {

namespace {

// What the export leaves behind: nothing, or why it failed.
QString writeExport(const model::Conversation &conversation, const QString &path, const QDateTime &when,
                    const QLocale &locale)
{
    const QByteArray bytes = SessionExport::markdown(conversation, when, locale);
    platform::WriteOptions options;
    // A new transcript is private like the history it comes from; one
    // written over an existing file keeps that file's mode.
    if (QFileInfo::exists(path))
        options.mode = std::nullopt;
    return platform::writeFileAtomically(path, bytes, options);
}

// Why a folder the panel returned cannot be the project, or none.
std::optional<QString> unusableFolder(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return path + QStringLiteral(" is no longer there.");
    if (!info.isDir())
        return path + QStringLiteral(" is not a folder.");
    if (!info.isReadable() || !info.isExecutable())
        return QStringLiteral("Moonshelf Mac may not read ") + path + QStringLiteral(" (permission denied).");
    return std::nullopt;
}

} // namespace

platform::DesktopServices &AppViewModel::desktop() const
{
    if (m_services.desktop)
        return *m_services.desktop;
    static platform::SystemDesktopServices system; // stateless
    return system;
}

QCoro::Task<> AppViewModel::pickProjectFolder()
{
    QPointer<AppViewModel> self(this);
    if (m_services.panels) {
        // Named, not a braced temporary: g++ 12 destroys a braced argument
        // of a coroutine twice.
        const FilePanels::FolderRequest request{agent::WorkspaceManager::pickerPrompt(),
                                                agent::WorkspaceManager::pickerMessage()};
        const std::optional<QString> folder = co_await m_services.panels->chooseFolder(request);
        if (!self)
            co_return;
        if (folder && !folder->isEmpty()) {
            if (const std::optional<QString> why = unusableFolder(*folder)) {
                setErrorMessage(QStringLiteral("Could not open the project folder: ") + *why);
            } else if (!m_workspace->setWorkspace(*folder)) {
                setErrorMessage(QStringLiteral("The project folder is open, but it will not be remembered at the "
                                               "next start: ")
                                + platform::UserDefaults::location() + QStringLiteral(" cannot be written."));
            }
        }
    }
    // The tree reloads also after a cancelled panel.
    setFileTreeRefresh(QUuid::createUuid());
}

void AppViewModel::revealProjectInFinder()
{
    if (!m_workspace->hasRoot()) {
        pickProjectFolder();
        return;
    }
    tellingDesktop().revealFile(m_workspace->rootPath());
}

QCoro::Task<> AppViewModel::openProjectInTerminal()
{
    if (!m_workspace->hasRoot()) {
        pickProjectFolder();
        co_return;
    }
    QPointer<AppViewModel> self(this);
    // The folder goes to the terminal as its working directory, never as
    // text a shell would read.
    const QString root = m_workspace->rootPath();
    platform::DesktopServices &desk = desktop(); // outlives this object
    if (co_await desk.openTerminal(root) || !self)
        co_return;
    // Without a terminal the file manager shows the folder, and the person learns why.
    const bool shown = co_await desk.revealFile(root);
    if (!self)
        co_return;
    setErrorMessage(DesktopText::noTerminal(root) + QLatin1Char(' ')
                    + (shown ? QStringLiteral("The file manager shows the folder instead.")
                             : DesktopText::unopened(QUrl::fromLocalFile(root))));
}

void AppViewModel::revealInFileTree(const QString &pathOrRelative)
{
    const QString text = pathOrRelative.trimmed();
    std::optional<QString> resolved;
    if (!text.isEmpty()) {
        if (text.startsWith(QLatin1Char('/')) && QFileInfo::exists(text)) {
            resolved = text;
        } else {
            const auto inProject = m_workspace->resolvePath(text);
            if (inProject.ok())
                resolved = inProject.value();
        }
    }
    if (!resolved) {
        setErrorMessage(QStringLiteral("Could not resolve path in project: ") + pathOrRelative);
        return;
    }
    setShowProjectPanel(true);
    emit fileTreeRequested();
    setHighlightedFilePath(*resolved);
    setFileTreeRefresh(QUuid::createUuid());
    peekFile(QUrl::fromLocalFile(*resolved));
}

QCoro::Task<> AppViewModel::exportSelectedSession()
{
    const std::optional<model::Conversation> selected = m_conversations->selectedConversation();
    if (!selected || !m_services.panels)
        co_return;
    const QUuid id = selected->id;
    QPointer<AppViewModel> self(this);
    const FilePanels::SaveRequest request{SessionExport::panelTitle(), SessionExport::panelMessage(),
                                          SessionExport::proposedFileName(selected->title),
                                          QStringLiteral("Markdown (*.md);;Text (*.txt);;All files (*)")};
    const std::optional<QString> path = co_await m_services.panels->chooseSaveFile(request); // named: see above
    if (!self || !path || path->isEmpty())
        co_return;

    // The session may have changed (or gone) while the panel was open.
    const std::optional<model::Conversation> current = m_conversations->conversation(id);
    if (!current) {
        setErrorMessage(SessionExport::failurePrefix() + QStringLiteral("the session was deleted."));
        co_return;
    }
    // Building and writing a long history takes a while: off the UI thread.
    // The future is named: g++ 12 destroys temporaries of a co_await
    // expression twice.
    QFuture<QString> writing =
        QtConcurrent::run([conversation = *current, target = *path, when = QDateTime::currentDateTime()] {
            return writeExport(conversation, target, when, QLocale());
        });
    const QString failure = co_await writing;
    if (!self)
        co_return;
    if (!failure.isEmpty())
        setErrorMessage(SessionExport::failurePrefix() + failure);
}

} // namespace app
