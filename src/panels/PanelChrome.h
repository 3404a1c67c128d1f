#pragma once

#include <QWidget>

class QBoxLayout;
class QLabel;

namespace glass {
class StyleStore;
}

namespace panels {

// The top of a side panel: a header row (a symbol, a title, then trailing
// controls) and a divider.
class PanelHeader : public QWidget {
    Q_OBJECT
public:
    PanelHeader(glass::StyleStore &styles, const QString &title, const QString &symbol, QWidget *parent = nullptr);
    void addTrailing(QWidget *widget);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void restyle();

    glass::StyleStore &m_styles;
    QString m_symbol;
    QLabel *m_icon = nullptr;
    QLabel *m_title = nullptr;
    QBoxLayout *m_row = nullptr;
};

// The empty state of a panel: a large symbol, a headline and a caption,
// centred, with optional controls below.
class PanelEmptyState : public QWidget {
    Q_OBJECT
public:
    PanelEmptyState(glass::StyleStore &styles, const QString &symbol, int symbolSize, const QString &headline,
                    const QString &caption, QWidget *parent = nullptr);
    void addControl(QWidget *widget);

private:
    void restyle();

    glass::StyleStore &m_styles;
    QString m_symbol;
    int m_symbolSize;
    QLabel *m_icon = nullptr;
    QLabel *m_headline = nullptr;
    QLabel *m_caption = nullptr;
    QBoxLayout *m_column = nullptr;
};

} // namespace panels
