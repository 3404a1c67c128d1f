#include "palette/CommandPaletteView.h"

#include "app/AppViewModel.h"
#include "glass/paint/FrostShapeBackground.h"
#include "glass/paint/HairlineRule.h"
#include "glass/look/Styles.h"
#include "glass/controls/SymbolButton.h"
#include "glass/look/SymbolIcons.h"
#include "glass/look/TextInk.h"
#include "palette/PaletteRow.h"
#include "stage/SkinHex.h"

#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QScrollArea>
#include <QTimer>

namespace palette {

namespace {
constexpr int kWidth = 520;
constexpr int kListMax = 360;
} // namespace

CommandPaletteView::CommandPaletteView(app::AppViewModel &app, glass::StyleStore &styles, QList<QAction *> actions,
                                       QWidget *parent)
    : QWidget(parent), m_app(app), m_styles(styles), m_actions(std::move(actions))
{
    setFixedWidth(kWidth);
    glass::FrostPanelBackground::install(this, glass::QirvTheme::FrostRole::panel, styles);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *search = new QHBoxLayout;
    search->setContentsMargins(16, 16, 16, 16);
    search->setSpacing(10);
    m_glass = new QLabel(this);
    m_field = new QLineEdit(this);
    m_field->setPlaceholderText(QStringLiteral("Jump to action…"));
    m_field->setAccessibleName(QStringLiteral("Command Palette"));
    m_field->setFrame(false);
    m_clear = new glass::SymbolButton(QStringLiteral("xmark.circle.fill"), styles.styles().textTertiary,
                                      QStringLiteral("Clear"), this);
    m_clear->setFocusPolicy(Qt::NoFocus);
    search->addWidget(m_glass);
    search->addWidget(m_field, 1);
    search->addWidget(m_clear);
    column->addLayout(search);
    column->addWidget(new glass::HairlineRule(
        styles, [](const glass::Styles &s) { return stage::colorFromSkinHex(s.skin.colors.border); }, this));

    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setFocusPolicy(Qt::NoFocus); // the search field keeps the keyboard; rows are clicked
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_list = new QWidget;
    m_list->setAutoFillBackground(false);
    m_rows = new QVBoxLayout(m_list);
    m_rows->setContentsMargins(0, 6, 0, 6);
    m_rows->setSpacing(2);
    m_scroll->setWidget(m_list);
    m_list->setAutoFillBackground(false); // setWidget turns it on; the glass shows through
    column->addWidget(m_scroll);

    connect(m_field, &QLineEdit::textChanged, this, &CommandPaletteView::rebuild);
    connect(m_field, &QLineEdit::returnPressed, this, [this] {
        // The first command as filtered at this moment; nothing when none matches.
        const auto shown = PaletteCommand::filtered(PaletteCommand::commands(m_app, m_actions), m_field->text());
        if (!shown.isEmpty())
            run(shown.first());
    });
    connect(m_clear, &QAbstractButton::clicked, this, [this] { m_field->clear(); });
    connect(&m_styles, &glass::StyleStore::changed, this, &CommandPaletteView::restyle);
    restyle();
    rebuild();
}

void CommandPaletteView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_field->setFocus(Qt::OtherFocusReason);
}

void CommandPaletteView::run(const PaletteCommand &command)
{
    if (m_ran)
        return; // once per opening: a double Return or a click and a Return
    m_ran = true;
    m_app.setShowCommandPalette(false);
    // After the sheet has closed, not inside the key press or click.
    QTimer::singleShot(0, &m_app, [action = command.action] {
        if (action)
            action();
    });
}

void CommandPaletteView::rebuild()
{
    while (QLayoutItem *item = m_rows->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_shownIds.clear();
    const auto shown = PaletteCommand::filtered(PaletteCommand::commands(m_app, m_actions), m_field->text());
    m_clear->setVisible(!m_field->text().isEmpty());
    if (shown.isEmpty()) {
        auto *none = new QLabel(QStringLiteral("No matches"), m_list);
        none->setAlignment(Qt::AlignCenter);
        none->setContentsMargins(24, 24, 24, 24);
        const glass::Styles &s = m_styles.styles();
        QFont f = s.body.font;
        f.setPixelSize(12);
        none->setFont(f);
        glass::setInk(none, s.textSecondary);
        m_rows->addWidget(none);
    }
    int height = 12;
    for (const PaletteCommand &command : shown) {
        auto *row = new PaletteRow(command, m_styles, m_list);
        connect(row, &QAbstractButton::clicked, this, [this, command] { run(command); });
        m_rows->addWidget(row);
        m_shownIds << command.id;
        height += row->sizeHint().height() + 2;
    }
    if (shown.isEmpty())
        height += 24 * 2 + 20;
    m_scroll->setFixedHeight(std::min(height, kListMax));
    adjustSize();
}

void CommandPaletteView::restyle()
{
    const glass::Styles &s = m_styles.styles();
    m_glass->setPixmap(
        glass::SymbolIcons::pixmap(QStringLiteral("magnifyingglass"), 16, s.textTertiary, devicePixelRatioF()));
    QFont title3 = s.body.font;
    title3.setPixelSize(15);
    m_field->setFont(title3);
    QPalette pal = m_field->palette();
    pal.setColor(QPalette::Text, s.text);
    pal.setColor(QPalette::Base, Qt::transparent);
    pal.setColor(QPalette::PlaceholderText, s.field.placeholder);
    pal.setColor(QPalette::Highlight, s.selection);
    m_field->setPalette(pal);
    m_clear->setColor(s.textTertiary);
    m_list->update();
}

} // namespace palette
