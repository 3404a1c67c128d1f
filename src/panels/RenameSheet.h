#pragma once

#include <QWidget>

class QLabel;

namespace glass {
class StyleStore;
class StyledButton;
class StyledField;
}

namespace panels {

// The content of the rename sheet: "Rename session", the title field filled
// with the current title, Cancel and Rename. Return commits whatever the
// field holds (the store ignores a blank title); the Rename button is off
// while the field is blank.
class RenameSheet : public QWidget {
    Q_OBJECT
public:
    RenameSheet(glass::StyleStore &styles, const QString &draft, QWidget *parent = nullptr);

    QString draft() const;
    static bool canRename(const QString &draft) { return !draft.trimmed().isEmpty(); }

    glass::StyledField *field() const { return m_field; }
    glass::StyledButton *renameButton() const { return m_rename; }
    glass::StyledButton *cancelButton() const { return m_cancel; }

    static constexpr int kWidth = 360;

signals:
    void committed(const QString &draft); // the draft as typed
    void cancelled();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void restyle();

    glass::StyleStore &m_styles;
    QLabel *m_title = nullptr;
    glass::StyledField *m_field = nullptr;
    glass::StyledButton *m_cancel = nullptr;
    glass::StyledButton *m_rename = nullptr;
};

} // namespace panels
