#include "window/AboutPanel.h"

#include "glass/look/Styles.h"
#include "model/BrandDisclaimer.h"
#include "platform/DesktopServices.h"

#include <QCoreApplication>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

namespace window {

AboutPanel::AboutPanel(glass::StyleStore &styles, platform::DesktopServices &desktop, QWidget *parent)
    : QDialog(parent)
{
    const glass::Styles &s = styles.styles();
    setWindowTitle(QStringLiteral("About Moonshelf Mac"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(32, 24, 32, 24);
    column->setSpacing(6);

    auto *icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/brand/AppIcon-1024.png")).pixmap(96, 96));
    icon->setAlignment(Qt::AlignCenter);
    column->addWidget(icon);

    auto *name = new QLabel(QStringLiteral("Moonshelf Mac"), this);
    QFont nameFont = s.headline.font;
    nameFont.setBold(true);
    name->setFont(nameFont);
    name->setAlignment(Qt::AlignCenter);
    column->addWidget(name);

    auto *version = new QLabel(QStringLiteral("Version %1").arg(QCoreApplication::applicationVersion()), this);
    version->setFont(s.caption.font);
    version->setAlignment(Qt::AlignCenter);
    column->addWidget(version);

    // The credits: an empty first paragraph (two line breaks), then the link.
    column->addSpacing(QFontMetrics(s.caption.font).lineSpacing() * 2);
    auto *link = new QLabel(this);
    QFont linkFont = s.caption.font;
    linkFont.setPixelSize(11);
    linkFont.setWeight(QFont::DemiBold);
    link->setFont(linkFont);
    link->setTextFormat(Qt::RichText);
    link->setText(QStringLiteral("<a href=\"%1\" style=\"color:%2\">%3</a>")
                      .arg(model::BrandDisclaimer::builtByURL().toString(QUrl::FullyEncoded).toHtmlEscaped(),
                           s.link.color.name(), creditsLinkText()));
    link->setAlignment(Qt::AlignCenter);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(link, &QLabel::linkActivated, this,
            [&desktop](const QString &) {
                const QUrl maker = model::BrandDisclaimer::builtByURL();
                desktop.openUrl(maker);
            });
    column->addWidget(link);
    setMinimumWidth(300);
}

} // namespace window
