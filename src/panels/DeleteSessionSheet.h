#pragma once

#include "panels/SheetFrame.h"

namespace panels {

// Asks before a session is deleted for good: "Delete “<title>”? This
// cannot be undone." with Cancel and Delete. Return deletes; Escape (the
// sheet's) and Cancel keep the session.
class DeleteSessionSheet : public SheetFrame {
    Q_OBJECT
public:
    DeleteSessionSheet(glass::StyleStore &styles, const QString &title, QWidget *parent = nullptr);

    QString prompt() const;

signals:
    void confirmed();

protected:
    void confirm() override { emit confirmed(); }
};

} // namespace panels
