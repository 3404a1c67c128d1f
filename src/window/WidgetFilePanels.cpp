#include "window/WidgetFilePanels.h"

#include "platform/OneShot.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace window {

namespace {

std::optional<QString> firstChoice(const QFileDialog &dialog)
{
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return std::nullopt;
    return chosen.first();
}

// The dialog deletes itself as it closes, before `finished` is delivered to
// anything queued on it (awaiting the signal itself never resumed). So the
// choice is read in a direct connection, while the dialog still exists, and
// handed over in a value that outlives it. A dialog deleted unanswered (its
// window gone) answers "cancelled", so the waiting task always goes on.
// Once it is gone the window behind it takes the keyboard back: without a
// window manager nothing else would, and keys would reach no window at all.
QCoro::Task<std::optional<QString>> run(QFileDialog *dialog)
{
    const QPointer<QWidget> behind = dialog->parentWidget() ? dialog->parentWidget()->window() : nullptr;
    platform::OneShot<std::optional<QString>> answer;
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, answer](int result) {
        answer.set(result == QDialog::Accepted ? firstChoice(*dialog) : std::nullopt);
    });
    QObject::connect(dialog, &QObject::destroyed, dialog, [answer] { answer.set(std::nullopt); });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->open();
    std::optional<QString> chosen = co_await answer;
    if (behind && behind->isVisible())
        behind->activateWindow();
    co_return chosen;
}

} // namespace

QCoro::Task<std::optional<QString>> WidgetFilePanels::chooseSaveFile(SaveRequest request)
{
    auto *dialog = new QFileDialog(m_window, request.title);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(request.nameFilter);
    dialog->setDirectory(QDir::homePath());
    dialog->selectFile(request.proposedName);
    // A name typed without an extension gets the proposed one, as the
    // filter promises ("notes" is saved as "notes.md").
    dialog->setDefaultSuffix(QFileInfo(request.proposedName).suffix());
    // The message names what the typed name is for.
    dialog->setLabelText(QFileDialog::FileName, request.message);
    co_return co_await run(dialog);
}

QCoro::Task<std::optional<QString>> WidgetFilePanels::chooseFolder(FolderRequest request)
{
    // The prompt is the button; the title bar says what the folder is for.
    auto *dialog = new QFileDialog(m_window, request.message);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setDirectory(QDir::homePath());
    dialog->setLabelText(QFileDialog::Accept, request.title);
    co_return co_await run(dialog);
}

} // namespace window
