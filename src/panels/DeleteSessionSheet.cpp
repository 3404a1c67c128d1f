#include "panels/DeleteSessionSheet.h"

#include "glass/look/Styles.h"
#include "panels/SessionActions.h"

#include <QLabel>

namespace panels {

DeleteSessionSheet::DeleteSessionSheet(glass::StyleStore &styles, const QString &title, QWidget *parent)
    : SheetFrame(styles, SessionActions::deletePrompt(title), parent)
{
    setObjectName(QStringLiteral("deleteSessionSheet"));
    headline()->setWordWrap(true);
    headline()->setTextFormat(Qt::PlainText);
    addButtons(QStringLiteral("Delete"), styles.styles().destructive);
    restyle();
}

QString DeleteSessionSheet::prompt() const
{
    return headline()->text();
}

} // namespace panels
