#pragma once

#include "panels/SheetFrame.h"

namespace glass {
class StyledField;
}

namespace panels {

// The content of the rename sheet: "Rename session", the title field filled
// with the current title, Cancel and Rename. Return commits whatever the
// field holds (the store ignores a blank title); the Rename button is off
// while the field is blank. It stands on the skin's elevated colour.
class RenameSheet : public SheetFrame {
    Q_OBJECT
public:
    RenameSheet(glass::StyleStore &styles, const QString &draft, QWidget *parent = nullptr);

    QString draft() const;
    static bool canRename(const QString &draft) { return !draft.trimmed().isEmpty(); }

    glass::StyledField *field() const { return m_field; }

signals:
    void committed(const QString &draft); // the draft as typed

protected:
    void confirm() override;
    void restyle() override;
    // The sheet stands on the skin's elevated colour, over the sheet glass.
    void paintEvent(QPaintEvent *event) override;

private:
    glass::StyledField *m_field = nullptr;
    glass::StyledButton *m_rename = nullptr;
};

} // namespace panels
