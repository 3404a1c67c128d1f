#include "panels/FileTreeView.h"

#include "app/AppViewModel.h"
#include "glass/paint/FrostShapeBackground.h"
#include "glass/controls/StyledButton.h"
#include "glass/look/Styles.h"
#include "glass/controls/SymbolButton.h"
#include "panels/FileTreeModel.h"
#include "panels/FileTreeOutline.h"
#include "panels/FileTreeRowDelegate.h"
#include "panels/PanelChrome.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTreeView>
#include <QVBoxLayout>

namespace panels {

FileTreeView::FileTreeView(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent), m_app(app), m_styles(styles), m_model(new FileTreeModel(this))
{
    glass::FrostPanelBackground::install(this, glass::QirvTheme::FrostRole::panel, styles);
    const glass::Styles &s = styles.styles();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *header = new PanelHeader(styles, QStringLiteral("Project"), QString(), this);
    auto *refresh = new glass::SymbolButton(QStringLiteral("arrow.clockwise"), s.textSecondary,
                                            QStringLiteral("Refresh file tree"));
    auto *hide = new glass::SymbolButton(QStringLiteral("xmark"), s.textTertiary, QStringLiteral("Hide Files panel"));
    header->addTrailing(refresh);
    header->addTrailing(hide);
    layout->addWidget(header);

    m_stack = new QStackedWidget(this);
    m_empty = new PanelEmptyState(styles, QStringLiteral("folder"), 30, QStringLiteral("No folder open"),
                                  QStringLiteral("Open a project so Qirv can use file and shell tools."), m_stack);
    auto *open = new glass::StyledButton(QStringLiteral("Open Folder…"), s.secondaryButton);
    m_empty->addControl(open);
    m_stack->addWidget(m_empty);

    m_tree = new FileTreeOutline(m_stack);
    m_tree->setAccessibleName(QStringLiteral("Project files"));
    m_tree->setModel(m_model);
    m_tree->setHeaderHidden(true);
    m_tree->setFrameShape(QFrame::NoFrame);
    m_tree->setSelectionMode(QAbstractItemView::NoSelection);
    m_tree->setUniformRowHeights(true);
    m_tree->setIndentation(14);
    m_tree->setMouseTracking(true);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_tree->viewport()->setAutoFillBackground(false);
    m_tree->setAutoFillBackground(false);
    m_tree->setItemDelegate(new FileTreeRowDelegate(styles, m_tree));
    m_stack->addWidget(m_tree);
    layout->addWidget(m_stack, 1);

    connect(refresh, &QAbstractButton::clicked, this, &FileTreeView::reload);
    connect(hide, &QAbstractButton::clicked, this, [this] { m_app.setShowProjectPanel(false); });
    connect(open, &QAbstractButton::clicked, this, [this] { m_app.pickProjectFolder(); });
    connect(m_tree, &QTreeView::clicked, this, [this](const QModelIndex &index) {
        if (!index.data(FileTreeModel::IsDirectoryRole).toBool())
            m_app.peekFile(QUrl::fromLocalFile(index.data(FileTreeModel::PathRole).toString()));
    });
    // The keyboard's Return or Space: what a click does.
    connect(m_tree, &FileTreeOutline::rowChosen, this, [this](const QModelIndex &index) {
        if (!index.data(FileTreeModel::IsDirectoryRole).toBool())
            m_app.peekFile(QUrl::fromLocalFile(index.data(FileTreeModel::PathRole).toString()));
    });
    m_tree->setEntryRow([this] {
        const auto &peeked = m_app.peekedFile();
        return peeked ? m_model->indexForPath(peeked->url.path()) : QModelIndex();
    });
    const auto openMenu = [this](const QModelIndex &index, const QPoint &globalPos) {
        if (!index.isValid())
            return;
        QMenu *menu = rowMenu(index.data(FileTreeModel::PathRole).toString(),
                              index.data(FileTreeModel::IsDirectoryRole).toBool(), this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(globalPos);
    };
    connect(m_tree, &QWidget::customContextMenuRequested, this, [this, openMenu](const QPoint &pos) {
        openMenu(m_tree->indexAt(pos), m_tree->viewport()->mapToGlobal(pos));
    });
    connect(m_tree, &FileTreeOutline::menuRequested, this, openMenu);
    // Folders the user opened stay open, and the list stays where it was.
    connect(m_tree, &QTreeView::expanded, this,
            [this](const QModelIndex &i) { m_openFolders.insert(i.data(FileTreeModel::PathRole).toString()); });
    connect(m_tree, &QTreeView::collapsed, this,
            [this](const QModelIndex &i) { m_openFolders.remove(i.data(FileTreeModel::PathRole).toString()); });
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, &FileTreeView::rememberOpenFolders);
    connect(m_model, &FileTreeModel::reloaded, this, &FileTreeView::restoreOpenFolders);

    connect(&m_app, &app::AppViewModel::projectRootChanged, this, [this] {
        m_openFolders.clear();
        m_scroll = 0;
        reload();
    });
    connect(&m_app, &app::AppViewModel::fileTreeRefreshChanged, this, &FileTreeView::reload);
    connect(&m_app, &app::AppViewModel::peekedFileChanged, this, &FileTreeView::updateHighlights);
    connect(&m_app, &app::AppViewModel::highlightedFilePathChanged, this, &FileTreeView::updateHighlights);
    connect(&m_styles, &glass::StyleStore::changed, this, [this, refresh, hide, open] {
        const glass::Styles &st = m_styles.styles();
        refresh->setColor(st.textSecondary);
        hide->setColor(st.textTertiary);
        open->restyle();
        m_tree->viewport()->update();
    });
    showState();
}

QMenu *FileTreeView::rowMenu(const QString &path, bool isDirectory, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    const QUrl url = QUrl::fromLocalFile(path);
    if (!isDirectory) {
        menu->addAction(QStringLiteral("Peek"), this, [this, url] { m_app.peekFile(url); });
        menu->addAction(QStringLiteral("Attach to message"), this, [this, path] { m_app.attachProjectFile(path); });
        menu->addSeparator();
    }
    menu->addAction(QStringLiteral("Show in File Manager"), this, [this, path] { m_app.revealInFinder(path); });
    menu->addAction(QStringLiteral("Copy path"), this, [this, path] { copyText(path); });
    // Computed once, when the menu is built; the same value is copied.
    if (const std::optional<QString> relative = m_app.relativePath(url))
        menu->addAction(QStringLiteral("Copy project path"), this, [this, r = *relative] { copyText(r); });
    return menu;
}

void FileTreeView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    reload();
}

void FileTreeView::reload()
{
    m_model->setRootPath(m_app.projectRootPath());
    m_model->requestReload();
    showState();
}

void FileTreeView::showState()
{
    m_stack->setCurrentWidget(m_app.projectRootPath().isEmpty() ? static_cast<QWidget *>(m_empty) : m_tree);
}

void FileTreeView::updateHighlights()
{
    QSet<QString> paths;
    if (const auto &peeked = m_app.peekedFile())
        paths.insert(peeked->url.path());
    if (const auto &highlighted = m_app.highlightedFilePath())
        paths.insert(*highlighted);
    m_model->setHighlightedPaths(paths);
}

void FileTreeView::rememberOpenFolders()
{
    m_scroll = m_tree->verticalScrollBar()->value();
}

void FileTreeView::restoreOpenFolders()
{
    // Parents before children: a folder can only open inside an open one.
    QStringList open(m_openFolders.begin(), m_openFolders.end());
    std::sort(open.begin(), open.end(), [](const QString &a, const QString &b) { return a.size() < b.size(); });
    const QSignalBlocker blocker(m_tree); // re-opening is not the user opening
    QSet<QString> stillThere;
    for (const QString &path : open) {
        const QModelIndex index = m_model->indexForPath(path);
        if (!index.isValid())
            continue;
        m_tree->expand(index);
        stillThere.insert(path);
    }
    m_openFolders = stillThere;
    m_tree->doItemsLayout(); // so the scroll range covers the re-opened folders
    m_tree->verticalScrollBar()->setValue(m_scroll);
    updateHighlights();
    showState();
}

void FileTreeView::copyText(const QString &text)
{
    QGuiApplication::clipboard()->setText(text);
}

} // namespace panels
