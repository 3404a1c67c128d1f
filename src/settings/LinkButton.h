#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>

namespace settings {

// A text link: its label in one colour, an optional arrow symbol after it,
// a pointing hand over it. What it opens is the owner's business.
class LinkButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit LinkButton(const QString &text, QWidget *parent = nullptr);

    void setLook(const QFont &font, const QColor &color);
    void setTrailingSymbol(const QString &symbol, int size);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
    QString m_symbol;
    int m_symbolSize = 9;
};

} // namespace settings
