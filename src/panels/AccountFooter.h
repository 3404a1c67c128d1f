#pragma once

#include <QAbstractButton>
#include <QWidget>

#include <optional>

namespace app {
class AppViewModel;
}
namespace glass {
class StyleStore;
class SymbolButton;
}

namespace panels {

// The account button at the foot of the sidebar: a status dot (success
// while signed in, else the accent), the account's title over the sign-in
// status, and a gear; it opens the settings window.
class AccountButton : public QAbstractButton {
    Q_OBJECT
public:
    AccountButton(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent = nullptr);

    // The first line: the session's e-mail, else "Connected" while signed in
    // (an API key, say), else "Sign in".
    static QString title(const std::optional<QString> &email, bool isAuthenticated);
    QString currentTitle() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    app::AppViewModel &m_app;
    glass::StyleStore &m_styles;
};

// The bottom row of the sidebar: the account button and, when a tip link
// is configured, the heart that opens it.
class AccountFooter : public QWidget {
    Q_OBJECT
public:
    AccountFooter(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent = nullptr);

    // Null when no tip link is configured.

private:
    app::AppViewModel &m_app;
    glass::StyleStore &m_styles;
    AccountButton *m_account = nullptr;
    glass::SymbolButton *m_tip = nullptr;
};

} // namespace panels
