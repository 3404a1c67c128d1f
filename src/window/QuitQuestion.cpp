#include "window/QuitQuestion.h"

#include "glass/sheets/AlertSheet.h"
#include "glass/controls/StyledButton.h"

namespace window {

QuitQuestion::QuitQuestion(glass::StyleStore &styles, QObject *parent) : WindowAlert(parent), m_styles(styles) {}

void QuitQuestion::ask(const QString &lost)
{
    m_lost = lost;
    m_asked = true;
    emit wantedChanged();
}

glass::AlertSheet *QuitQuestion::makeSheet()
{
    auto *sheet = new glass::AlertSheet(m_styles, glass::AlertSheet::Kind::warning,
                                        QStringLiteral("Quit Moonshelf Mac?"),
                                        QStringLiteral("Your latest changes are not saved.\n\n") + m_lost);
    glass::StyledButton *quit = sheet->addButton(QStringLiteral("Quit Anyway"), glass::AlertSheet::Role::destructive);
    glass::StyledButton *stay = sheet->addButton(QStringLiteral("Cancel"), glass::AlertSheet::Role::preferred);
    sheet->setDefaultButton(stay);
    connect(sheet, &glass::AlertSheet::answered, this, [this, quit](glass::StyledButton *button) {
        m_asked = false;
        emit wantedChanged();
        if (button == quit)
            emit quitChosen();
    });
    m_sheet = sheet;
    return sheet;
}

void QuitQuestion::dismissed()
{
    m_asked = false;
    emit wantedChanged();
}

} // namespace window
