#include "panels/SessionRowDelegate.h"

#include "app/SessionListModel.h"
#include "glass/controls/FocusRing.h"
#include "glass/look/QirvTheme.h"
#include "glass/look/Styles.h"
#include "glass/look/SymbolIcons.h"
#include "panels/SessionHover.h"
#include "panels/SessionSections.h"
#include "panels/SessionTitle.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

namespace panels {

namespace {
using Kind = SessionSectionsModel::RowKind;
using Roles = app::SessionListModel::Role;

constexpr int kLead = 12;     // the row inset and room inside the selection
constexpr int kTrail = 4 + 2; // row inset and the stack's padding at the trailing edge
constexpr int kSpacing = 6;
constexpr int kDot = 7;
constexpr int kPin = 10;
constexpr int kTextLead = 12; // header, empty line and toggle text

QFont withWeight(QFont f, QFont::Weight w)
{
    f.setWeight(w);
    return f;
}
} // namespace

SessionRowDelegate::SessionRowDelegate(glass::StyleStore &styles, const SessionHover &hover, QObject *parent)
    : QStyledItemDelegate(parent), m_styles(styles), m_hover(hover)
{
}

QRect SessionRowDelegate::menuButtonRect(const QRect &row)
{
    return QRect(row.right() + 1 - kTrail - 16, row.center().y() - 10 + 1, 16, 20);
}

QSize SessionRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    return {option.rect.width() > 0 ? option.rect.width() : 200, kRowHeight};
}

bool SessionRowDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                   const QModelIndex &index)
{
    if (event->type() == QEvent::ToolTip && index.data(SessionSectionsModel::KindRole).value<Kind>() == Kind::session
        && menuButtonRect(option.rect).contains(event->pos())) {
        QToolTip::showText(event->globalPos(), QStringLiteral("Session actions"), view->viewport(),
                           menuButtonRect(option.rect));
        return true;
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

void SessionRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const glass::Styles &s = m_styles.styles();
    QPainter &p = *painter;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QRect r = option.rect;
    switch (index.data(SessionSectionsModel::KindRole).value<Kind>()) {
    case Kind::sectionHeader: {
        p.setFont(withWeight(s.caption.font, QFont::DemiBold));
        p.setPen(s.textTertiary);
        p.drawText(r.adjusted(kTextLead, 8, -kTrail, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   index.data(Qt::DisplayRole).toString());
        break;
    }
    case Kind::emptyText: {
        p.setFont(s.caption.font);
        p.setPen(s.textTertiary);
        p.drawText(r.adjusted(kTextLead, 0, -kTrail, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   index.data(Qt::DisplayRole).toString());
        break;
    }
    case Kind::archivedToggle: {
        const QRect line = r.adjusted(0, 6, 0, 0); // a gap between the sections
        const bool expanded = index.data(SessionSectionsModel::ExpandedRole).toBool();
        const int chevron = 9;
        const QRectF mark(line.left() + kTextLead, line.center().y() - chevron / 2.0 + 0.5, chevron, chevron);
        p.drawImage(mark, glass::SymbolIcons::render(expanded ? QStringLiteral("chevron.down")
                                                              : QStringLiteral("chevron.right"),
                                                     mark.size(), s.textTertiary, p.device()->devicePixelRatioF()));
        p.setFont(s.tertiary.font);
        p.setPen(s.textSecondary);
        p.drawText(line.adjusted(kTextLead + chevron + kSpacing, 0, -kTrail, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   index.data(Qt::DisplayRole).toString());
        break;
    }
    case Kind::session:
        paintSession(p, r, index);
        break;
    }
    if (option.state & QStyle::State_HasFocus) {
        // The keyboard's row, ringed as the window's focus ring would be.
        const qreal half = glass::FocusRing::kWidth / 2;
        p.setPen(QPen(s.focusRing, glass::FocusRing::kWidth));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(r).adjusted(4 + half, 1 + half, -4 - half, -1 - half), 8 - half, 8 - half);
    }
    p.restore();
}

void SessionRowDelegate::paintSession(QPainter &p, const QRect &r, const QModelIndex &index) const
{
    const glass::Styles &s = m_styles.styles();
    const qreal dpr = p.device()->devicePixelRatioF();
    const QUuid id = index.data(Roles::IdRole).toUuid();
    const bool unread = index.data(Roles::IsUnreadRole).toBool();
    const bool pinned = index.data(Roles::IsPinnedRole).toBool();
    const bool selected = index.data(Roles::IsSelectedRole).toBool();

    if (selected) {
        QPainterPath fill;
        fill.addRoundedRect(QRectF(r).adjusted(4, 1, -4, -1), 8, 8);
        p.fillPath(fill, glass::QirvTheme::withOpacity(s.accent, selectionOpacity(s.light)));
    }

    const QRect content = r.adjusted(kLead, 4, -kTrail, -4);
    qreal x = content.left();
    const qreal cy = r.center().y() + 0.5;
    if (unread) {
        p.setPen(Qt::NoPen);
        p.setBrush(s.accent);
        p.drawEllipse(QRectF(x, cy - kDot / 2.0, kDot, kDot));
        x += kDot + kSpacing;
    }
    if (pinned) {
        const QRectF pin(x, cy - kPin / 2.0, kPin, kPin);
        p.drawImage(pin, glass::SymbolIcons::render(QStringLiteral("pin.fill"), pin.size(), s.textSecondary, dpr));
        x += kPin + kSpacing;
    }

    const QRect button = menuButtonRect(r);
    const QFont font = withWeight(s.body.font, unread ? QFont::DemiBold : QFont::Normal);
    const qreal width = button.left() - kSpacing - x;
    p.setFont(font);
    p.setPen(s.text);
    p.drawText(QRectF(x, content.top(), std::max<qreal>(0, width), content.height()), Qt::AlignLeft | Qt::AlignVCenter,
               fitted(index.data(Roles::TitleRole).toString(), font, width));

    if (m_hover.id == id) {
        QFont dots = s.body.font;
        dots.setWeight(QFont::DemiBold);
        p.setFont(dots);
        p.setPen(s.textSecondary);
        p.drawText(button, Qt::AlignCenter, QStringLiteral("⋮"));
    }
}

QString SessionRowDelegate::fitted(const QString &title, const QFont &font, qreal width) const
{
    if (width <= 0)
        return {};
    const QString key = font.key() + u'|' + QString::number(width) + u'|' + title;
    if (const auto it = m_elided.constFind(key); it != m_elided.constEnd())
        return *it;
    if (m_elided.size() > 4000)
        m_elided.clear();
    const QString text = SessionTitle::elided(title, QFontMetricsF(font), width);
    m_elided.insert(key, text);
    return text;
}

} // namespace panels
