#include "window/WidgetFilePanels.h"

#include <QDir>
#include <QFileDialog>

#include <qcoro/qcorosignal.h>

namespace window {

namespace {

QCoro::Task<std::optional<QString>> run(QFileDialog *dialog)
{
    QPointer<QFileDialog> guard(dialog);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->open();
    const int result = co_await qCoro(dialog, &QDialog::finished);
    if (!guard || result != QDialog::Accepted)
        co_return std::nullopt;
    const QStringList chosen = guard->selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        co_return std::nullopt;
    co_return chosen.first();
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
    co_return co_await run(dialog);
}

QCoro::Task<std::optional<QString>> WidgetFilePanels::chooseFolder(FolderRequest request)
{
    auto *dialog = new QFileDialog(m_window, request.title);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, request.title);
    co_return co_await run(dialog);
}

} // namespace window
