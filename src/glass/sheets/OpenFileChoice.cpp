#include "glass/sheets/OpenFileChoice.h"

#include <QFileDialog>
#include <QPointer>
#include <QWidget>

namespace glass {

QString chooseFileToOpen(QWidget *over, const QString &caption, const QStringList &filters)
{
    const QPointer<QWidget> behind = over ? over->window() : nullptr;
    const QString path = QFileDialog::getOpenFileName(over, caption, QString(), filters.join(QStringLiteral(";;")));
    if (behind && behind->isVisible())
        behind->activateWindow();
    return path;
}

} // namespace glass
