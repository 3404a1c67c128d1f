#include "panels/FileTreeRowDelegate.h"

#include "glass/controls/FocusRing.h"
#include "glass/look/Styles.h"
#include "glass/look/SymbolIcons.h"
#include "panels/FileTreeModel.h"

#include <QPainter>

namespace panels {

namespace {
constexpr int kRowHeight = 24;
constexpr int kSymbol = 14;

QFont callout(const glass::Styles &s)
{
    QFont f = s.body.font;
    f.setPixelSize(12);
    return f;
}
} // namespace

FileTreeRowDelegate::FileTreeRowDelegate(glass::StyleStore &styles, QObject *parent)
    : QStyledItemDelegate(parent), m_styles(styles)
{
}

void FileTreeRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const glass::Styles &s = m_styles.styles();
    const bool highlighted = index.data(FileTreeModel::IsHighlightedRole).toBool();
    const bool folder = index.data(FileTreeModel::IsDirectoryRole).toBool();
    const QRect r = option.rect;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (highlighted) {
        QColor tint = s.accent;
        tint.setAlphaF(0.12f);
        painter->setPen(Qt::NoPen);
        painter->setBrush(tint);
        painter->drawRoundedRect(QRectF(r).adjusted(0, 1, -4, -1), 5, 5);
    } else if (option.state & QStyle::State_MouseOver) {
        QColor hover = s.text;
        hover.setAlphaF(0.06f);
        painter->setPen(Qt::NoPen);
        painter->setBrush(hover);
        painter->drawRoundedRect(QRectF(r).adjusted(0, 1, -4, -1), 5, 5);
    }
    const QColor color = highlighted ? s.accent : s.text;
    const QString symbol = folder ? QStringLiteral("folder.fill") : QStringLiteral("doc.text");
    const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    painter->drawImage(QPointF(r.left() + 4, r.top() + (r.height() - kSymbol) / 2.0),
                       glass::SymbolIcons::render(symbol, QSizeF(kSymbol, kSymbol), color, dpr));
    painter->setFont(callout(s));
    painter->setPen(color);
    const QRect text = r.adjusted(4 + kSymbol + 6, 0, -6, 0);
    painter->drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
                      painter->fontMetrics().elidedText(index.data().toString(), Qt::ElideMiddle, text.width()));
    if (option.state & QStyle::State_HasFocus) {
        // The keyboard's row, ringed as the window's focus ring would be.
        const qreal half = glass::FocusRing::kWidth / 2;
        painter->setPen(QPen(s.focusRing, glass::FocusRing::kWidth));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(r).adjusted(4 + half, 1 + half, -4 - half, -1 - half), 5, 5);
    }
    painter->restore();
}

QSize FileTreeRowDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return {120, kRowHeight};
}

} // namespace panels
