#pragma once

#include <QHash>
#include <QStyledItemDelegate>

namespace glass {
class StyleStore;
}

namespace panels {

struct SessionHover;

// Paints the rows of the sidebar's list: the section header, the empty
// line, the "Archived" toggle and the session rows (unread dot, pin, title,
// and the "⋮" button, shown only on the hovered row). The keyboard's row
// is ringed while the list holds it.
class SessionRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    SessionRowDelegate(glass::StyleStore &styles, const SessionHover &hover, QObject *parent);

    // Where the "⋮" button sits in a session row's rectangle.
    static QRect menuButtonRect(const QRect &row);
    // The selection fill: the accent, lighter on a light skin.
    static qreal selectionOpacity(bool lightSkin) { return lightSkin ? 0.16 : 0.22; }

    // Every row is as high, so the list lays out 5,000 rows without asking
    // each one (uniform item sizes).
    static constexpr int kRowHeight = 30;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // The "⋮" button's help text, over the button of a session row.
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

private:
    void paintSession(QPainter &p, const QRect &rect, const QModelIndex &index) const;
    QString fitted(const QString &title, const QFont &font, qreal width) const;

    glass::StyleStore &m_styles;
    const SessionHover &m_hover;
    mutable QHash<QString, QString> m_elided; // by font, width and title
};

} // namespace panels
