#pragma once

#include <QWidget>

class QLabel;

namespace glass {
class StyleStore;
class StyledButton;
}

namespace panels {

// Asks before a session is deleted for good: "Delete “<title>”? This
// cannot be undone." with Cancel and Delete. Return deletes; Escape (the
// sheet's) and Cancel keep the session.
class DeleteSessionSheet : public QWidget {
    Q_OBJECT
public:
    DeleteSessionSheet(glass::StyleStore &styles, const QString &title, QWidget *parent = nullptr);

    QString prompt() const;
    glass::StyledButton *deleteButton() const { return m_delete; }
    glass::StyledButton *cancelButton() const { return m_cancel; }

signals:
    void confirmed();
    void cancelled();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void restyle();

    glass::StyleStore &m_styles;
    QLabel *m_prompt = nullptr;
    glass::StyledButton *m_cancel = nullptr;
    glass::StyledButton *m_delete = nullptr;
};

} // namespace panels
