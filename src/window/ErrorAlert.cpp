#include "window/ErrorAlert.h"

#include "app/AppViewModel.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace window {

ErrorAlert::ErrorAlert(app::AppViewModel &app, QWidget *window) : QObject(window), m_app(app), m_window(window)
{
    connect(&m_app, &app::AppViewModel::errorMessageChanged, this, &ErrorAlert::sync);
    sync();
}

bool ErrorAlert::isShown() const
{
    return m_box && m_box->isVisible();
}

void ErrorAlert::sync()
{
    const std::optional<QString> &message = m_app.errorMessage();
    if (!message) {
        if (m_box)
            m_box->close();
        return;
    }
    if (!m_box) {
        auto *box = new QMessageBox(m_window);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        box->setIcon(QMessageBox::Warning);
        box->setWindowTitle(title());
        box->setText(title());
        box->setTextFormat(Qt::PlainText);
        QPushButton *ok = box->addButton(QStringLiteral("OK"), QMessageBox::RejectRole);
        box->setDefaultButton(ok);
        box->setEscapeButton(ok);
        // Any way the alert goes away clears the error text.
        connect(box, &QMessageBox::finished, &m_app, [this] { m_app.setErrorMessage(std::nullopt); });
        m_box = box;
    }
    m_box->setInformativeText(*message);
    // The controller's text is shown as written, never as markup.
    if (auto *label = m_box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
    if (!m_box->isVisible())
        m_box->open();
}

} // namespace window
