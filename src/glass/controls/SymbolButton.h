#pragma once

#include <QAbstractButton>
#include <QColor>

namespace glass {

// A borderless button showing one symbol (and optionally a short label) in
// one colour, with a faint fill under the pointer. Its help text is the tooltip.
class SymbolButton : public QAbstractButton {
    Q_OBJECT
public:
    SymbolButton(const QString &symbol, const QColor &color, const QString &help, QWidget *parent = nullptr);

    void setSymbol(const QString &symbol);
    void setColor(const QColor &color);
    void setLabel(const QString &label, const QFont &font);
    void setSymbolSize(int pixels);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    QString m_symbol;
    QColor m_color;
    QString m_label;
    QFont m_labelFont;
    int m_symbolSize = 14;
    bool m_hover = false;
};

} // namespace glass
