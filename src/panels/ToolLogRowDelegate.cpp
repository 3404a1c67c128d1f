#include "panels/ToolLogRowDelegate.h"

#include "app/AppViewModel.h"
#include "app/ToolLogModel.h"
#include "glass/controls/FocusRing.h"
#include "glass/look/Styles.h"
#include "glass/look/SymbolIcons.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QToolTip>

namespace panels {

namespace {
model::ToolLogEntry entryOf(const QModelIndex &index)
{
    return index.data(app::ToolLogModel::EntryRole).value<model::ToolLogEntry>();
}

void drawLines(QPainter *p, const QRect &box, const QStringList &lines, int lineSpacing)
{
    int y = box.top();
    for (const QString &line : lines) {
        // Unclipped: a monospace underscore lies below the descent its line
        // box allows, and clipped to the box it vanished.
        p->drawText(QRect(box.left(), y, box.width(), lineSpacing), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip,
                    line);
        y += lineSpacing;
    }
}
} // namespace

ToolLogRowDelegate::ToolLogRowDelegate(glass::StyleStore &styles, QObject *parent)
    : QStyledItemDelegate(parent), m_styles(styles)
{
}

ToolLogRows::Fonts ToolLogRowDelegate::fonts() const
{
    const glass::Styles &s = m_styles.styles();
    ToolLogRows::Fonts f;
    f.name = s.tertiary.font;
    f.name.setWeight(QFont::DemiBold);
    f.badge = s.caption.font;
    f.badge.setWeight(QFont::DemiBold);
    f.mono = s.mono.font;
    f.mono.setPixelSize(10);
    f.reveal = f.badge;
    return f;
}

std::optional<QString> ToolLogRowDelegate::pathOf(const QModelIndex &index)
{
    const model::ToolLogEntry entry = entryOf(index);
    return app::AppViewModel::extractPath(entry.name, entry.argumentsPreview);
}

ToolLogRows::Layout ToolLogRowDelegate::layoutFor(const QModelIndex &index, int width) const
{
    const model::ToolLogEntry entry = entryOf(index);
    return ToolLogRows::layout(entry, pathOf(index).has_value(), width, fonts());
}

QSize ToolLogRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    return {option.rect.width(), layoutFor(index, option.rect.width()).height};
}

bool ToolLogRowDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                   const QModelIndex &index)
{
    const QRect reveal = index.isValid()
                             ? layoutFor(index, option.rect.width()).reveal.translated(option.rect.topLeft())
                             : QRect();
    if (event->type() == QEvent::ToolTip && !reveal.isNull() && reveal.contains(event->pos())) {
        QToolTip::showText(event->globalPos(), QStringLiteral("Open the file tree and peek this path"),
                           view->viewport(), reveal);
        return true;
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

void ToolLogRowDelegate::paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const glass::Styles &s = m_styles.styles();
    const model::ToolLogEntry entry = entryOf(index);
    const ToolLogRows::Fonts f = fonts();
    const ToolLogRows::Layout l = ToolLogRows::layout(entry, pathOf(index).has_value(), option.rect.width(), f);
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    p->translate(option.rect.topLeft());

    p->setFont(f.name);
    p->setPen(s.text);
    p->drawText(l.name, Qt::AlignLeft | Qt::AlignVCenter,
                QFontMetrics(f.name).elidedText(entry.name, Qt::ElideRight, l.name.width()));

    const QColor status = ToolLogRows::color(entry.status, s);
    QColor badgeFill = status;
    badgeFill.setAlphaF(0.18f);
    p->setPen(Qt::NoPen);
    p->setBrush(badgeFill);
    p->drawRoundedRect(l.badge, l.badge.height() / 2.0, l.badge.height() / 2.0);
    p->setFont(f.badge);
    p->setPen(status);
    p->drawText(l.badge, Qt::AlignCenter, ToolLogRows::statusBadge(entry.status));

    const QFontMetrics mono(f.mono);
    const int columns = std::max(1, l.arguments.width() / std::max(1, mono.horizontalAdvance(u'M')));
    p->setFont(f.mono);
    QColor args = s.text;
    args.setAlphaF(0.82f);
    p->setPen(args);
    drawLines(p, l.arguments, ToolLogRows::wrapped(entry.argumentsPreview, columns, ToolLogRows::argumentLines),
              mono.lineSpacing());
    if (!l.result.isNull()) {
        QColor result = s.text;
        result.setAlphaF(0.92f);
        p->setPen(result);
        drawLines(p, l.result, ToolLogRows::wrapped(entry.resultPreview, columns, ToolLogRows::resultLines),
                  mono.lineSpacing());
    }
    if (!l.reveal.isNull()) {
        const int symbol = l.reveal.height() - 4;
        p->drawImage(QPointF(l.reveal.left(), l.reveal.top() + 2),
                     glass::SymbolIcons::render(QStringLiteral("folder"), QSizeF(symbol, symbol), s.accent,
                                                p->device()->devicePixelRatioF()));
        p->setFont(f.reveal);
        p->setPen(s.accent);
        p->drawText(l.reveal.adjusted(symbol + 5, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                    QStringLiteral("Reveal in Files"));
    }
    if (option.state & QStyle::State_HasFocus) {
        // The keyboard's row, ringed as the window's focus ring would be.
        const qreal half = glass::FocusRing::kWidth / 2;
        p->setPen(QPen(s.focusRing, glass::FocusRing::kWidth));
        p->setBrush(Qt::NoBrush);
        p->drawRoundedRect(QRectF(0, 0, option.rect.width(), option.rect.height()).adjusted(4 + half, 1 + half, -4 - half, -1 - half), 8, 8);
    }
    p->restore();
}

QWidget *ToolLogRowDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const
{
    auto *editor = new QPlainTextEdit(parent);
    editor->setReadOnly(true);
    editor->setFrameShape(QFrame::NoFrame);
    editor->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    editor->setWordWrapMode(QTextOption::WrapAnywhere);
    editor->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    editor->document()->setDocumentMargin(0);
    const glass::Styles &s = m_styles.styles();
    editor->setFont(fonts().mono);
    QPalette pal = editor->palette();
    // Opaque, so the painted lines under it do not show through.
    pal.setColor(QPalette::Base, s.glass);
    pal.setColor(QPalette::Text, s.text);
    pal.setColor(QPalette::Highlight, s.selection);
    editor->setPalette(pal);
    return editor;
}

void ToolLogRowDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    static_cast<QPlainTextEdit *>(editor)->setPlainText(entryOf(index).resultPreview);
}

void ToolLogRowDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                              const QModelIndex &index) const
{
    const ToolLogRows::Layout l = layoutFor(index, option.rect.width());
    editor->setGeometry(l.result.translated(option.rect.topLeft()));
}

} // namespace panels
