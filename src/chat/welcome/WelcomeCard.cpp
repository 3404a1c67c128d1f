#include "chat/welcome/WelcomeCard.h"

#include "app/AppViewModel.h"
#include "chat/welcome/ConnectEmberCapsule.h"
#include "chat/welcome/StatusChip.h"
#include "glass/marks/AppIconMark.h"
#include "glass/look/Contrast.h"
#include "glass/paint/GlassDecoration.h"
#include "glass/look/Styles.h"
#include "glass/look/SymbolIcons.h"
#include "glass/look/TextInk.h"

#include <QBoxLayout>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QUrl>

#include <algorithm>

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

constexpr int kChipSpacing = 10;
constexpr int kCardMargin = 12;

// The question at the largest size (up to its font's) at which its longest
// word fits the width: a narrow card wraps it between words, never in one.
class FittedTitle : public QLabel {
public:
    static constexpr int kSmallestPixels = 18;

    using QLabel::QLabel;

    void setBaseFont(const QFont &font)
    {
        m_base = font;
        setFont(fontFor(width()));
        updateGeometry();
    }

    QFont fontFor(int width) const
    {
        QFont f = m_base;
        for (int px = m_base.pixelSize(); px > kSmallestPixels; --px) {
            f.setPixelSize(px);
            if (widestWord(f) <= width)
                return f;
        }
        f.setPixelSize(std::min(kSmallestPixels, m_base.pixelSize()));
        return f;
    }

    int heightForWidth(int width) const override
    {
        const QFontMetrics fm(fontFor(width));
        return fm.boundingRect(QRect(0, 0, width, 100000), Qt::AlignHCenter | Qt::TextWordWrap, text()).height();
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QLabel::resizeEvent(event);
        const QFont f = fontFor(width());
        if (f.pixelSize() != font().pixelSize())
            setFont(f);
    }

private:
    int widestWord(const QFont &f) const
    {
        const QFontMetrics fm(f);
        int widest = 0;
        for (const QString &word : text().split(QLatin1Char(' '), Qt::SkipEmptyParts))
            widest = std::max(widest, fm.horizontalAdvance(word));
        return widest;
    }

    QFont m_base;
};

} // namespace

WelcomeCard::WelcomeCard(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent), m_app(app), m_styles(styles)
{
    setObjectName(QStringLiteral("welcomeCard"));
    setAttribute(Qt::WA_NoSystemBackground);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(kCardMargin, 0, kCardMargin, 40);
    outer->setSpacing(22);

    m_card = new QWidget;
    m_card->setObjectName(QStringLiteral("welcomeCardGlass"));
    // As wide as the tagline may grow, narrower in a narrow column. Its
    // texts fill it without alignment flags, so they wrap to its width.
    m_card->setMaximumWidth(kTaglineMaxWidth + 2 * kCardPadding);
    m_card->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    // Its contents wrap, shrink and stack: the column sets its width, and
    // its height is counted at that width, not at its longest word's.
    m_card->setMinimumWidth(2 * kCardPadding + 64);
    auto *content = new QVBoxLayout(m_card);
    content->setContentsMargins(kCardPadding, kCardPadding, kCardPadding, kCardPadding);
    content->setSpacing(16);

    auto *mark = new glass::AppIconMark(72, true, styles);
    content->addWidget(mark, 0, Qt::AlignHCenter);

    m_title = new FittedTitle(QStringLiteral("What are we building?"));
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

    // Side by side, or one above the other when a narrow card has no room.
    auto *row = new QBoxLayout(QBoxLayout::LeftToRight);
    m_chips = row;
    row->setContentsMargins(0, 4, 0, 0);
    row->setSpacing(kChipSpacing);
    row->addStretch(1);
    const glass::Styles &s = styles.styles();
    m_live = new StatusChip(QStringLiteral("Moonshelf live"), QStringLiteral("bolt.fill"), s.success, styles);
    m_live->setObjectName(QStringLiteral("welcomeLiveChip"));
    m_connect = new ConnectEmberCapsule(QStringLiteral("Connect Moonshelf"), QStringLiteral("person.badge.key"),
                                        styles);
    m_project = new StatusChip(QStringLiteral("Open folder"), QStringLiteral("folder.fill"), s.textSecondary, styles);
    m_project->setObjectName(QStringLiteral("welcomeProjectChip"));
    row->addWidget(m_live, 0, Qt::AlignCenter);
    row->addWidget(m_connect, 0, Qt::AlignCenter);
    row->addWidget(m_project, 0, Qt::AlignCenter);
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
    m_menu->setObjectName(QStringLiteral("welcomeProjectMenu"));
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

bool WelcomeCard::chipsStacked() const
{
    return m_chips->direction() == QBoxLayout::TopToBottom;
}

bool WelcomeCard::chipsStackAt(int width) const
{
    const int card = std::min(width - 2 * kCardMargin, kTaglineMaxWidth + 2 * kCardPadding);
    // Side by side while the account chip stays whole and the folder's name
    // keeps a few letters; its cut name is the first thing to give way.
    QWidget *account = m_live->isHidden() ? static_cast<QWidget *>(m_connect) : static_cast<QWidget *>(m_live);
    const int needed = account->sizeHint().width() + kChipSpacing + m_project->minimumSizeHint().width();
    return needed > card - 2 * kCardPadding;
}

int WelcomeCard::heightForWidth(int width) const
{
    int height = layout()->totalHeightForWidth(width);
    const bool stack = chipsStackAt(width);
    if (stack == chipsStacked())
        return height;
    // The row as it will lie once resized to that width.
    int line = 0;
    int column = -kChipSpacing;
    for (QWidget *chip : {static_cast<QWidget *>(m_live), static_cast<QWidget *>(m_connect),
                          static_cast<QWidget *>(m_project)}) {
        if (chip->isHidden())
            continue;
        line = std::max(line, chip->sizeHint().height());
        column += chip->sizeHint().height() + kChipSpacing;
    }
    return height + (stack ? column - line : line - column);
}

void WelcomeCard::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeChips();
}

void WelcomeCard::placeChips()
{
    const bool stack = chipsStackAt(width());
    // In a row the account chip keeps its whole title; stacked it may cut it.
    for (QWidget *account : {static_cast<QWidget *>(m_live), static_cast<QWidget *>(m_connect)})
        account->setMinimumWidth(stack ? 0 : account->sizeHint().width());
    const auto direction = stack ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight;
    if (m_chips->direction() != direction)
        m_chips->setDirection(direction);
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
    static_cast<FittedTitle *>(m_title)->setBaseFont(title);
    glass::setInk(m_title, s.text);

    m_tagline->setFont(s.body.font);
    glass::setInk(m_tagline, s.textSecondary);
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
    placeChips();
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
    const bool shown = m_app.projectPanelShown();
    QAction *files = m_menu->addAction(
        glass::SymbolIcons::icon(shown ? QStringLiteral("sidebar.left") : QStringLiteral("list.bullet.rectangle"), ink),
        shown ? QStringLiteral("Hide Files") : QStringLiteral("Show Files"));
    connect(files, &QAction::triggered, this, [this] { m_app.toggleProjectPanel(); });
    m_menu->addSeparator();
    QAction *reveal = m_menu->addAction(glass::SymbolIcons::icon(QStringLiteral("folder"), ink),
                                        QStringLiteral("Show in File Manager"));
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
