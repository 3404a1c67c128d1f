#include "panels/ToolLogView.h"

#include "app/AppViewModel.h"
#include "app/ToolLogModel.h"
#include "glass/paint/FrostShapeBackground.h"
#include "glass/look/Styles.h"
#include "glass/controls/SymbolButton.h"
#include "panels/ActivitySpinner.h"
#include "panels/PanelChrome.h"
#include "panels/ToolLogList.h"
#include "panels/ToolLogRowDelegate.h"

#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace panels {

namespace {
// Tells the panel where in a row a press landed.
class PressFilter : public QObject {
public:
    using Handler = std::function<void(const QPoint &)>;
    PressFilter(QObject *parent, Handler handler) : QObject(parent), m_handler(std::move(handler)) {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonRelease) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::LeftButton)
                m_handler(mouse->position().toPoint());
        }
        return false;
    }

private:
    Handler m_handler;
};
} // namespace

ToolLogView::ToolLogView(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent), m_app(app), m_styles(styles)
{
    glass::FrostPanelBackground::install(this, glass::QirvTheme::FrostRole::panel, styles);
    const glass::Styles &s = styles.styles();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *header = new PanelHeader(styles, QStringLiteral("Tool log"), QStringLiteral("wrench.and.screwdriver"), this);
    auto *spinner = new ActivitySpinner(styles, this);
    auto *close = new glass::SymbolButton(QStringLiteral("xmark"), s.textTertiary, QStringLiteral("Hide Tools panel"));
    header->addTrailing(spinner);
    header->addTrailing(close);
    layout->addWidget(header);

    m_stack = new QStackedWidget(this);
    auto *empty = new PanelEmptyState(styles, QStringLiteral("wrench.and.screwdriver"), 26,
                                      QStringLiteral("No tool activity"),
                                      QStringLiteral("When Qirv uses files or shell, runs show up here."), m_stack);
    m_stack->addWidget(empty);
    m_list = new ToolLogList(m_stack);
    m_list->setModel(&m_app.toolLogModel());
    m_delegate = new ToolLogRowDelegate(styles, m_list);
    m_list->setItemDelegate(m_delegate);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->viewport()->setAutoFillBackground(false);
    m_list->viewport()->installEventFilter(new PressFilter(m_list, [this](const QPoint &pos) {
        onClicked(m_list->indexAt(pos), pos);
    }));
    m_stack->addWidget(m_list);
    layout->addWidget(m_stack, 1);

    spinner->setVisible(m_app.isRunning());
    connect(&m_app, &app::AppViewModel::isRunningChanged, spinner, [this, spinner] {
        spinner->setVisible(m_app.isRunning());
    });
    connect(close, &QAbstractButton::clicked, this, [this] { m_app.setShowToolLog(false); });
    connect(m_list, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { showMenu(m_list->indexAt(pos), m_list->viewport()->mapToGlobal(pos)); });
    connect(m_list, &ToolLogList::menuRequested, this, &ToolLogView::showMenu);
    // The keyboard's Return or Space: the row's "Reveal in Files".
    connect(m_list, &ToolLogList::rowChosen, this, [this](const QModelIndex &index) {
        if (const auto path = ToolLogRowDelegate::pathOf(index))
            m_app.revealInFileTree(*path);
    });
    auto &model = m_app.toolLogModel();
    connect(&model, &QAbstractItemModel::rowsInserted, this, &ToolLogView::showState);
    connect(&model, &QAbstractItemModel::rowsRemoved, this, &ToolLogView::showState);
    connect(&model, &QAbstractItemModel::modelReset, this, &ToolLogView::showState);
    connect(&m_styles, &glass::StyleStore::changed, this, [this, close] {
        close->setColor(m_styles.styles().textTertiary);
        m_list->doItemsLayout();
    });
    showState();
}

void ToolLogView::showState()
{
    m_stack->setCurrentIndex(m_app.toolLogModel().rowCount() == 0 ? 0 : 1);
}

void ToolLogView::onClicked(const QModelIndex &index, const QPoint &pos)
{
    if (!index.isValid())
        return;
    const QRect row = m_list->visualRect(index);
    const ToolLogRows::Layout l = m_delegate->layoutFor(index, row.width());
    const QPoint inRow = pos - row.topLeft();
    if (l.reveal.contains(inRow)) {
        if (const auto path = ToolLogRowDelegate::pathOf(index))
            m_app.revealInFileTree(*path);
        return;
    }
    if (l.result.contains(inRow)) {
        // Only the result text is selectable: it gets a text view of its own.
        if (m_selectable.isValid() && m_selectable != index)
            m_list->closePersistentEditor(m_selectable);
        m_selectable = index;
        m_list->openPersistentEditor(index);
    }
}

void ToolLogView::showMenu(const QModelIndex &index, const QPoint &globalPos)
{
    const auto path = index.isValid() ? ToolLogRowDelegate::pathOf(index) : std::nullopt;
    if (!path)
        return; // a row without a path has no menu items
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("Reveal in Files"), this, [this, p = *path] { m_app.revealInFileTree(p); });
    menu->addAction(QStringLiteral("Attach path to message"), this,
                    [this, p = *path] { m_app.attachLoggedPath(p); });
    menu->popup(globalPos);
}

} // namespace panels
