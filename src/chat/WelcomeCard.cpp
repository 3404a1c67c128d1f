#include "chat/WelcomeCard.h"

#include "app/AppViewModel.h"
#include "chat/ConnectEmberCapsule.h"
#include "chat/StatusChip.h"
#include "glass/AppIconMark.h"
#include "glass/Contrast.h"
#include "glass/GlassDecoration.h"
#include "glass/Styles.h"
#include "glass/SymbolIcons.h"

#include <QBoxLayout>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QUrl>

namespace chat {

namespace {

// A colour of our own made legible on the card's glass, like the skin's text colours.
QColor legible(const QColor &c, const glass::Styles &s)
{
    return glass::Contrast::ensure(glass::Contrast::ensure(c, s.glassEdge, 4.5), s.glass, 4.5);
}

QColor projectTint(const glass::Styles &s)
{
    return legible(QColor::fromRgbF(0.45f, 0.65f, 1.0f), s);
}

} // namespace

WelcomeCard::WelcomeCard(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent), m_app(app), m_styles(styles)
{
    setObjectName(QStringLiteral("welcomeCard"));
    setAttribute(Qt::WA_NoSystemBackground);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(12, 0, 12, 40);
    outer->setSpacing(22);

    m_card = new QWidget;
    m_card->setObjectName(QStringLiteral("welcomeCardGlass"));
    // As wide as the tagline may grow, narrower in a narrow column. Its
    // texts fill it without alignment flags, so they wrap to its width.
    m_card->setMaximumWidth(kTaglineMaxWidth + 2 * kCardPadding);
    m_card->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto *content = new QVBoxLayout(m_card);
    content->setContentsMargins(kCardPadding, kCardPadding, kCardPadding, kCardPadding);
    content->setSpacing(16);

    auto *mark = new glass::AppIconMark(72, true, styles);
    content->addWidget(mark, 0, Qt::AlignHCenter);

    m_title = new QLabel(QStringLiteral("What are we building?"));
    m_title->setTextFormat(Qt::PlainText);
    m_title->setAlignment(Qt::AlignHCenter);
    m_title->setWordWrap(true);
    content->addWidget(m_title);

    m_tagline = new QLabel(QStringLiteral("Moonshelf Mac. One stage for builders. Open a project, spin a session, ship "
                                          "cool shit with Qirv. Flagship models now and next."));
    m_tagline->setTextFormat(Qt::PlainText);
    m_tagline->setAlignment(Qt::AlignHCenter);
    m_tagline->setWordWrap(true);
    content->addWidget(m_tagline);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 4, 0, 0);
    row->setSpacing(10);
    row->addStretch(1);
    const glass::Styles &s = styles.styles();
    m_live = new StatusChip(QStringLiteral("Moonshelf live"), QStringLiteral("bolt.fill"), s.success, styles);
    m_live->setObjectName(QStringLiteral("welcomeLiveChip"));
    m_connect = new ConnectEmberCapsule(QStringLiteral("Connect Moonshelf"), QStringLiteral("person.badge.key.fill"),
                                        styles);
    m_project = new StatusChip(QStringLiteral("Open folder"), QStringLiteral("folder.fill"), s.textSecondary, styles);
    m_project->setObjectName(QStringLiteral("welcomeProjectChip"));
    row->addWidget(m_live, 0, Qt::AlignVCenter);
    row->addWidget(m_connect, 0, Qt::AlignVCenter);
    row->addWidget(m_project, 0, Qt::AlignVCenter);
    row->addStretch(1);
    content->addLayout(row);

    auto *centred = new QHBoxLayout;
    centred->setContentsMargins(0, 0, 0, 0);
    centred->addStretch(1);
    centred->addWidget(m_card, 1000);
    centred->addStretch(1);
    outer->addLayout(centred);
    outer->addStretch(1); // given more height than it needs, the card keeps its own
    glass::glassCard(m_card, 24, styles);

    m_menu = new QMenu(this);
    connect(m_menu, &QMenu::aboutToShow, this, &WelcomeCard::fillProjectMenu);

    connect(m_connect, &QAbstractButton::clicked, this, [this] { m_app.setShowSettings(true); });
    connect(m_project, &QAbstractButton::clicked, this, &WelcomeCard::onProjectChip);
    connect(&app, &app::AppViewModel::isAuthenticatedChanged, this, &WelcomeCard::refresh);
    connect(&app, &app::AppViewModel::projectRootChanged, this, &WelcomeCard::refresh);
    connect(&styles, &glass::StyleStore::changed, this, &WelcomeCard::applyLook);
    applyLook();
}

WelcomeCard *WelcomeCard::install(QWidget *slot, app::AppViewModel &app, glass::StyleStore &styles)
{
    auto *card = new WelcomeCard(app, styles, slot);
    if (slot->layout())
        slot->layout()->addWidget(card);
    return card;
}

QString WelcomeCard::folderName(const QString &rootPath)
{
    const QString clean = QDir::cleanPath(rootPath);
    const QString name = QUrl::fromLocalFile(clean).fileName();
    return name.isEmpty() ? clean : name;
}

void WelcomeCard::applyLook()
{
    const glass::Styles &s = m_styles.styles();
    QFont title = s.body.font;
    title.setPixelSize(32);
    title.setWeight(QFont::DemiBold);
    m_title->setFont(title);
    QPalette titlePalette = m_title->palette();
    titlePalette.setColor(QPalette::WindowText, s.text);
    m_title->setPalette(titlePalette);

    m_tagline->setFont(s.body.font);
    QPalette taglinePalette = m_tagline->palette();
    taglinePalette.setColor(QPalette::WindowText, s.textSecondary);
    m_tagline->setPalette(taglinePalette);
    refresh();
}

void WelcomeCard::refresh()
{
    const glass::Styles &s = m_styles.styles();
    const bool signedIn = m_app.isAuthenticated();
    m_live->setLook(QStringLiteral("Moonshelf live"), QStringLiteral("bolt.fill"), s.success);
    m_live->setVisible(signedIn);
    m_connect->setVisible(!signedIn);

    const QString root = m_app.projectRootPath();
    if (root.isEmpty())
        m_project->setLook(QStringLiteral("Open folder"), QStringLiteral("folder.fill"), s.textSecondary);
    else
        m_project->setLook(folderName(root), QStringLiteral("folder.fill"), projectTint(s));
    m_project->setToolTip(QString());
}

void WelcomeCard::onProjectChip()
{
    if (m_app.projectRootPath().isEmpty()) {
        m_app.pickProjectFolder();
        return;
    }
    m_menu->popup(m_project->mapToGlobal(QPoint(0, m_project->height() + 4)));
}

void WelcomeCard::fillProjectMenu()
{
    m_menu->clear();
    const QColor ink = palette().color(QPalette::WindowText);
    const bool shown = m_app.showProjectPanel();
    QAction *files = m_menu->addAction(
        glass::SymbolIcons::icon(shown ? QStringLiteral("sidebar.left") : QStringLiteral("list.bullet.rectangle"), ink),
        shown ? QStringLiteral("Hide Files") : QStringLiteral("Show Files"));
    connect(files, &QAction::triggered, this, [this] { m_app.setShowProjectPanel(!m_app.showProjectPanel()); });
    m_menu->addSeparator();
    QAction *reveal = m_menu->addAction(glass::SymbolIcons::icon(QStringLiteral("folder"), ink),
                                        QStringLiteral("Reveal in Finder"));
    connect(reveal, &QAction::triggered, this, [this] { m_app.revealProjectInFinder(); });
    QAction *terminal = m_menu->addAction(glass::SymbolIcons::icon(QStringLiteral("terminal"), ink),
                                          QStringLiteral("Open in Terminal"));
    connect(terminal, &QAction::triggered, this, [this] { m_app.openProjectInTerminal(); });
    m_menu->addSeparator();
    QAction *change = m_menu->addAction(glass::SymbolIcons::icon(QStringLiteral("folder.badge.gearshape"), ink),
                                        QStringLiteral("Change Project\u2026"));
    connect(change, &QAction::triggered, this, [this] { m_app.pickProjectFolder(); });
}

} // namespace chat
