#include "panels/SidebarView.h"

#include "app/AppViewModel.h"
#include "app/SessionFilterModel.h"
#include "app/SessionListModel.h"
#include "glass/paint/FrostShapeBackground.h"
#include "glass/sheets/SheetOverlay.h"
#include "glass/paint/SidebarGlassBackground.h"
#include "glass/look/Styles.h"
#include "panels/AccountFooter.h"
#include "panels/DeleteSessionSheet.h"
#include "panels/RenameSheet.h"
#include "panels/SessionActions.h"
#include "panels/SessionList.h"
#include "panels/SessionRowDelegate.h"
#include "panels/SessionSections.h"
#include "panels/SidebarControls.h"

#include <QBoxLayout>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>

namespace panels {

namespace {
using Kind = SessionSectionsModel::RowKind;
using Roles = app::SessionListModel::Role;
// The window's title strip above holds the title-bar controls: no clear
// band is needed inside the sidebar.
constexpr int kTitleBand = 0;

QWidget *padded(QWidget *child, QMargins margins, QWidget *parent)
{
    auto *box = new QWidget(parent);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(margins);
    layout->setSpacing(0);
    child->setParent(box);
    layout->addWidget(child);
    return box;
}
} // namespace

SidebarView::SidebarView(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent), m_app(app), m_styles(styles),
      m_sections(std::make_unique<SessionSectionsModel>(app.sessionFilter(), app.archivedFilter()))
{
    setObjectName(QStringLiteral("sidebar"));
    glass::SidebarGlassBackground::install(this, app.background(), styles);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, kTitleBand, 0, 0);
    column->setSpacing(0);

    // The header: New session, the project, the search.
    auto *header = new QWidget(this);
    auto *headerColumn = new QVBoxLayout(header);
    headerColumn->setContentsMargins(0, 0, 0, 0);
    headerColumn->setSpacing(10);
    m_newSession = new SidebarButton(QStringLiteral("plus"), QStringLiteral("New session"), QMargins(12, 8, 12, 8),
                                     styles, [](const glass::Styles &s, QFont &font, QColor &color) {
                                         font = s.tertiary.font; // subheadline, semibold
                                         font.setWeight(QFont::DemiBold);
                                         color = s.text;
                                     });
    m_newSession->setObjectName(QStringLiteral("newSession"));
    m_newSession->setToolTip(QStringLiteral("Start a new session on your current project."));
    auto *newBox = padded(m_newSession, QMargins(12, 6, 12, 0), header);
    glass::FrostShapeBackground::install(m_newSession, glass::QirvTheme::FrostRole::chip,
                                         glass::FrostShape::roundedRectangle(10), true, false, styles);
    headerColumn->addWidget(newBox);

    m_project = new SidebarButton(QStringLiteral("folder"), QString(), QMargins(12, 4, 12, 4), styles,
                                  [](const glass::Styles &s, QFont &font, QColor &color) {
                                      font = s.tertiary.font; // subheadline
                                      color = s.textSecondary;
                                  });
    m_project->setObjectName(QStringLiteral("projectButton"));
    m_project->setToolTip(QStringLiteral("Project folder Qirv may read and edit."));
    headerColumn->addWidget(padded(m_project, QMargins(4, 0, 4, 0), header));

    m_search = new SearchField(styles, header);
    auto *searchBox = padded(m_search, QMargins(12, 0, 12, 10), header);
    glass::FrostShapeBackground::install(m_search, glass::QirvTheme::FrostRole::chip,
                                         glass::FrostShape::roundedRectangle(8), true, false, styles);
    headerColumn->addWidget(searchBox);
    column->addWidget(header);
    column->addWidget(new SidebarDivider(styles, this));

    // The list.
    m_list = new SessionList(this);
    m_list->setObjectName(QStringLiteral("sessionList"));
    m_list->setModel(m_sections.get());
    m_delegate = new SessionRowDelegate(styles, m_hover, m_list);
    m_list->setItemDelegate(m_delegate);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setUniformItemSizes(true);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setMouseTracking(true);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setAutoFillBackground(false);
    m_list->viewport()->setAutoFillBackground(false);
    m_list->viewport()->installEventFilter(this);
    column->addWidget(m_list, 1);
    column->addWidget(new SidebarDivider(styles, this));

    m_footer = new AccountFooter(app, styles, this);
    column->addWidget(m_footer);

    using VM = app::AppViewModel;
    connect(m_newSession, &QAbstractButton::clicked, &m_app, [this] { m_app.newChat(); });
    connect(m_project, &QAbstractButton::clicked, &m_app, [this] { m_app.pickProjectFolder(); });
    connect(&m_app, &VM::projectRootChanged, this, &SidebarView::syncProject);
    connect(m_search->edit(), &QLineEdit::textEdited, &m_app, [this](const QString &text) {
        m_app.setSessionSearch(text);
    });
    connect(&m_app, &VM::sessionSearchChanged, this, &SidebarView::syncSearch);
    m_sections->setHistoryLoading(!m_app.isHistoryLoaded());
    connect(&m_app, &VM::historyLoaded, this, [this] { m_sections->setHistoryLoading(false); });
    // The keyboard enters on the selected session.
    m_list->setEntryRow([this] {
        for (int row = 0; row < m_sections->rowCount(); ++row)
            if (m_sections->kindAt(row) == Kind::session && m_sections->index(row).data(Roles::IsSelectedRole).toBool())
                return row;
        return -1;
    });
    connect(m_list, &SessionList::rowActivated, this, &SidebarView::activateRow);
    connect(m_list, &SessionList::menuRequested, this, &SidebarView::openMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        const QModelIndex at = m_list->indexAt(pos);
        if (at.isValid() && m_sections->kindAt(at.row()) == Kind::session)
            openMenu(at.row(), m_list->viewport()->mapToGlobal(pos));
    });
    connect(&m_styles, &glass::StyleStore::changed, this, [this] {
        m_list->viewport()->update();
        update();
    });
    // The open session is drawn from the model; screen readers learn it from
    // the list's selection, which no click changes (the list selects nothing).
    QAbstractItemModel *sections = m_sections.get();
    connect(sections, &QAbstractItemModel::modelReset, this, &SidebarView::syncReaderSelection);
    connect(sections, &QAbstractItemModel::layoutChanged, this, &SidebarView::syncReaderSelection);
    connect(sections, &QAbstractItemModel::rowsInserted, this, &SidebarView::syncReaderSelection);
    connect(sections, &QAbstractItemModel::rowsRemoved, this, &SidebarView::syncReaderSelection);
    connect(sections, &QAbstractItemModel::dataChanged, this, &SidebarView::syncReaderSelection);
    syncProject();
    syncSearch();
    syncReaderSelection();
}

void SidebarView::syncReaderSelection()
{
    QItemSelectionModel *selection = m_list->selectionModel();
    for (int row = 0; row < m_sections->rowCount(); ++row) {
        const QModelIndex at = m_sections->index(row);
        if (at.data(Roles::IsSelectedRole).toBool()) {
            if (!selection->isSelected(at))
                selection->select(at, QItemSelectionModel::ClearAndSelect);
            return;
        }
    }
    if (selection->hasSelection())
        selection->clearSelection();
}

SidebarView::~SidebarView()
{
    // The list goes with the widget, after the members: it must not outlive its model unheard.
    m_list->setModel(nullptr);
}


QString SidebarView::projectTitle(const QString &rootPath)
{
    if (rootPath.isEmpty())
        return QStringLiteral("Open project folder");
    const QString name = QDir(QDir::cleanPath(rootPath)).dirName();
    return name.isEmpty() ? QDir::cleanPath(rootPath) : name;
}

void SidebarView::syncProject()
{
    const QString title = projectTitle(m_app.projectRootPath());
    m_project->setText(title);
    m_project->setAccessibleName(title);
    m_project->updateGeometry();
    m_project->update();
}

void SidebarView::syncSearch()
{
    const QString &text = m_app.sessionSearch();
    if (m_search->edit()->text() != text)
        m_search->edit()->setText(text);
    m_sections->setSearchText(text);
}

void SidebarView::setSheets(glass::SheetOverlay *sheets)
{
    m_sheets = sheets;
}

glass::SheetOverlay *SidebarView::sheets()
{
    if (!m_sheets)
        m_sheets = new glass::SheetOverlay(window(), m_styles);
    return m_sheets;
}

bool SidebarView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_list->viewport())
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseMove:
        setHovered(m_list->indexAt(static_cast<QMouseEvent *>(event)->position().toPoint()));
        break;
    case QEvent::Leave:
        setHovered({});
        break;
    case QEvent::MouseButtonRelease: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton)
            onListClicked(mouse->position().toPoint());
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void SidebarView::setHovered(const QModelIndex &index)
{
    const bool isSession = index.isValid() && m_sections->kindAt(index.row()) == Kind::session;
    const std::optional<QUuid> now = isSession ? std::optional(index.data(Roles::IdRole).toUuid()) : std::nullopt;
    if (now == m_hover.id)
        return;
    bool changed = false;
    if (m_hover.id)
        changed |= m_hover.leave(*m_hover.id);
    if (now)
        changed |= m_hover.enter(*now);
    if (changed)
        m_list->viewport()->update();
}

void SidebarView::onListClicked(const QPoint &pos)
{
    const QModelIndex at = m_list->indexAt(pos);
    if (!at.isValid())
        return;
    if (m_sections->kindAt(at.row()) == Kind::session) {
        const QRect button = SessionRowDelegate::menuButtonRect(m_list->visualRect(at));
        if (button.contains(pos)) {
            openMenu(at.row(), m_list->viewport()->mapToGlobal(button.bottomLeft()));
            return;
        }
    }
    activateRow(at.row());
}

void SidebarView::activateRow(int row)
{
    switch (m_sections->kindAt(row)) {
    case Kind::archivedToggle:
        m_sections->setArchivedExpanded(!m_sections->archivedExpanded());
        return;
    case Kind::session:
        m_app.selectSession(m_sections->index(row).data(Roles::IdRole).toUuid());
        return;
    default:
        return;
    }
}

void SidebarView::openMenu(int row, const QPoint &globalPos)
{
    const QModelIndex at = m_sections->index(row);
    if (!at.isValid() || m_sections->kindAt(row) != Kind::session)
        return;
    // The row's values as the menu shows them; the actions use these.
    const QUuid id = at.data(Roles::IdRole).toUuid();
    const bool unread = at.data(Roles::IsUnreadRole).toBool();
    const auto entries = SessionActions::entries(at.data(Roles::IsPinnedRole).toBool(), unread,
                                                 at.data(SessionSectionsModel::InArchiveRole).toBool());
    QMenu *menu = SessionActions::buildMenu(entries, m_styles.styles(), this,
                                            [this, id, unread](SessionActions::Action action) {
                                                using A = SessionActions::Action;
                                                if (action == A::rename)
                                                    openRename(id);
                                                else if (action == A::remove)
                                                    openDelete(id);
                                                else
                                                    SessionActions::run(m_app, action, id, unread);
                                            });
    menu->setAccessibleName(QStringLiteral("Session actions"));
    menu->popup(globalPos);
}

QString SidebarView::titleOf(const QUuid &id) const
{
    const auto &sessions = m_app.sessionModel();
    const int row = sessions.rowOf(id);
    return row < 0 ? QString() : sessions.summaryAt(row).title;
}

void SidebarView::openRename(const QUuid &id)
{
    if (m_app.sessionModel().rowOf(id) < 0)
        return;
    m_renameDraft = titleOf(id);
    m_renameTarget = id;
    auto *sheet = new RenameSheet(m_styles, m_renameDraft);
    connect(sheet, &RenameSheet::committed, this, [this, sheet, id](const QString &draft) {
        m_renameDraft = draft;
        // As typed: the store trims it, ignores a blank one and caps its length.
        m_app.renameSession(id, draft);
        closeSheet(sheet);
    });
    connect(sheet, &RenameSheet::cancelled, this, [this, sheet] { closeSheet(sheet); });
    connect(sheet, &QObject::destroyed, this, [this] { m_renameTarget.reset(); });
    openSheet(sheet);
}

void SidebarView::openDelete(const QUuid &id)
{
    if (m_app.sessionModel().rowOf(id) < 0)
        return;
    auto *sheet = new DeleteSessionSheet(m_styles, titleOf(id));
    connect(sheet, &DeleteSessionSheet::confirmed, this, [this, sheet, id] {
        closeSheet(sheet);
        m_app.deleteSession(id);
    });
    connect(sheet, &DeleteSessionSheet::cancelled, this, [this, sheet] { closeSheet(sheet); });
    openSheet(sheet);
}

void SidebarView::openSheet(QWidget *content)
{
    sheets()->open(content);
}

void SidebarView::closeSheet(QWidget *content)
{
    // Only our own sheet: another one may have taken the overlay meanwhile.
    if (m_sheets && m_sheets->content() == content)
        m_sheets->close();
}

} // namespace panels
