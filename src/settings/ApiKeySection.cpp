#include "settings/ApiKeySection.h"

#include "app/AccountController.h"
#include "app/AppViewModel.h"
#include "glass/look/TextInk.h"
#include "settings/FieldFrame.h"
#include "settings/SettingsButton.h"
#include "settings/SettingsText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace settings {

ApiKeySection::ApiKeySection(app::AppViewModel &app, QWidget *parent)
    : QWidget(parent), m_app(app), m_account(app.account())
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);

    m_field = new FieldFrame(QStringLiteral("Ovu API key"), this);
    m_field->edit()->setAccessibleName(QStringLiteral("Ovu API key"));
    QLineEdit *edit = m_field->edit();
    edit->setEchoMode(QLineEdit::Password);
    // No context menu: it offers nothing a masked field may do.
    edit->setContextMenuPolicy(Qt::NoContextMenu);
    column->addWidget(m_field);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    m_save = new SettingsButton(QStringLiteral("Save to Keyring"), this);
    m_import = new SettingsButton(QStringLiteral("Import from env / config"), this);
    m_clear = new SettingsButton(QStringLiteral("Clear key"), this);
    buttons->addWidget(m_save);
    buttons->addWidget(m_import);
    buttons->addWidget(m_clear);
    buttons->addStretch(1);
    column->addLayout(buttons);

    m_note = makeText(QStringLiteral("The keyring is unavailable: a stored key can be neither read nor changed "
                                     "until it is unlocked."),
                      this, true);
    column->addWidget(m_note);
    m_caption = makeText(captionText(), this, true);
    column->addWidget(m_caption);

    connect(edit, &QLineEdit::textEdited, this, [this] {
        m_edited = true;
        sync();
    });
    connect(edit, &QLineEdit::textChanged, this, &ApiKeySection::sync);
    connect(m_save, &QAbstractButton::clicked, this, [this] { save(); });
    connect(m_import, &QAbstractButton::clicked, this, [this] { importKey(); });
    connect(m_clear, &QAbstractButton::clicked, this, [this] { clear(); });
    connect(&m_account, &app::AccountController::changed, this, [this] {
        // The keyring's first answer may come after the window opened.
        if (!m_edited && !m_busy)
            prefillFromKeyring();
        sync();
    });
    sync();
}

QString ApiKeySection::captionText()
{
    return QStringLiteral("Only if Moonshelf sign-in fails. Pay-per-token via console.ovu.ai.");
}

void ApiKeySection::prefillFromKeyring()
{
    const auto key = m_account.storedAPIKey();
    if (!key)
        return;
    const QSignalBlocker block(m_field->edit());
    m_field->edit()->setText(*key);
    m_edited = false;
    sync();
}

void ApiKeySection::sync()
{
    const bool hasText = !m_field->edit()->text().trimmed().isEmpty();
    m_save->setEnabled(hasText && !m_busy);
    m_import->setEnabled(!m_busy);
    m_clear->setEnabled(!m_busy);
    m_clear->setVisible(m_account.storedAPIKey().has_value());
    m_note->setVisible(m_account.keyState() == app::AccountController::KeyState::Unavailable);
}

void ApiKeySection::setBusy(bool busy)
{
    m_busy = busy;
    sync();
}

void ApiKeySection::applyLook(const SettingsLook &look)
{
    m_look = look;
    m_field->setFieldStyle(look.field, 10);
    m_save->setButtonStyle(look.prominent);
    m_import->setButtonStyle(look.bordered);
    m_clear->setButtonStyle(look.destructive);
    glass::setTextStyle(m_caption, look.caption, look.textSecondary);
    glass::setTextStyle(m_note, look.caption, look.danger);
}

QCoro::Task<> ApiKeySection::save()
{
    if (m_busy)
        co_return;
    QPointer<ApiKeySection> self(this);
    setBusy(true);
    // Named, not a temporary of the co_await expression (g++ 12 may destroy those twice).
    const QString typed = m_field->edit()->text();
    const auto saved = co_await m_account.saveAPIKey(typed);
    if (!self)
        co_return;
    setBusy(false);
    if (saved) {
        m_app.refreshSignIn();
        emit bannerRequested(Banner{Banner::Kind::Success, QStringLiteral("API key saved to the keyring (fallback).")});
    } else {
        emit bannerRequested(Banner{Banner::Kind::Error, saved.error()});
    }
    emit actionFinished();
}

QCoro::Task<> ApiKeySection::importKey()
{
    if (m_busy)
        co_return;
    QPointer<ApiKeySection> self(this);
    setBusy(true);
    const auto imported = co_await m_account.importAPIKey();
    if (!self)
        co_return;
    setBusy(false);
    if (imported) {
        {
            const QSignalBlocker block(m_field->edit());
            m_field->edit()->setText(imported.value());
        }
        m_edited = false;
        sync();
        m_app.refreshSignIn();
        emit bannerRequested(Banner{Banner::Kind::Success, QStringLiteral("Imported API key and saved to the keyring.")});
    } else {
        emit bannerRequested(Banner{Banner::Kind::Error, imported.error()});
    }
    emit actionFinished();
}

QCoro::Task<> ApiKeySection::clear()
{
    if (m_busy)
        co_return;
    QPointer<ApiKeySection> self(this);
    setBusy(true);
    const auto removed = co_await m_account.clearAPIKey();
    if (!self)
        co_return;
    setBusy(false);
    // The typed text stays, so the key can be saved again.
    m_edited = true;
    if (removed) {
        m_app.refreshSignIn();
        emit bannerRequested(Banner{Banner::Kind::Info, QStringLiteral("API key removed.")});
    } else {
        emit bannerRequested(Banner{Banner::Kind::Error, removed.error()});
    }
    emit actionFinished();
}

} // namespace settings
