#pragma once

#include "glass/paint/HairlineRule.h"

#include <QAbstractButton>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;

namespace glass {
class StyleStore;
struct Styles;
}

namespace panels {

// A leading-aligned button of the sidebar's header: a symbol and a title
// on one line, in the font and colour the styles give it.
class SidebarButton : public QAbstractButton {
    Q_OBJECT
public:
    using Look = std::function<void(const glass::Styles &, QFont &, QColor &)>;
    SidebarButton(const QString &symbol, const QString &title, QMargins padding, glass::StyleStore &styles, Look look,
                  QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    glass::StyleStore &m_styles;
    QString m_symbol;
    QMargins m_padding;
    Look m_look;
};

// The title search: a magnifying glass and a borderless field with the
// "Search" placeholder, on chip glass.
class SearchField : public QWidget {
    Q_OBJECT
public:
    SearchField(glass::StyleStore &styles, QWidget *parent = nullptr);
    QLineEdit *edit() const { return m_edit; }

private:
    void restyle();

    glass::StyleStore &m_styles;
    QLabel *m_icon = nullptr;
    QLineEdit *m_edit = nullptr;
};

// A 1-pixel line across the sidebar, the separator at 0.55.
class SidebarDivider : public glass::HairlineRule {
    Q_OBJECT
public:
    SidebarDivider(glass::StyleStore &styles, QWidget *parent = nullptr);
};

} // namespace panels
