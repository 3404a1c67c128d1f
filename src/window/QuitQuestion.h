#pragma once

#include "glass/sheets/AlertSheet.h"
#include "window/WindowAlert.h"

#include <QPointer>
#include <QString>

namespace window {

// "Quit Moonshelf Mac?" when quitting would lose what could not be saved:
// a sheet over the main window with "Quit Anyway" and "Cancel", Return
// and Escape cancelling.
class QuitQuestion : public WindowAlert {
    Q_OBJECT
public:
    QuitQuestion(glass::StyleStore &styles, QObject *parent = nullptr);

    // Asks, saying what would be lost; asked again, it says it again.
    void ask(const QString &lost);
    bool isAsked() const { return m_asked; }

    bool wanted() const override { return m_asked; }
    glass::AlertSheet *makeSheet() override;
    void dismissed() override;
    // The person is leaving: a rename half typed does not hold it back.
    bool waitsForOtherSheets() const override { return false; }

    // The question while it is shown, else null.
    glass::AlertSheet *sheet() const { return m_sheet; }

signals:
    void quitChosen();

private:
    glass::StyleStore &m_styles;
    QPointer<glass::AlertSheet> m_sheet;
    QString m_lost;
    bool m_asked = false;
};

} // namespace window
