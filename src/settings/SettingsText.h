#pragma once

#include "glass/look/TextInk.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

class QLabel;

namespace settings {

// A plain-text label (never read as markup or looked up), wrapping when asked.
QLabel *makeText(const QString &text, QWidget *parent, bool wrap = true);

// A symbol of our own, in one colour.
class SymbolView : public QWidget {
    Q_OBJECT
public:
    SymbolView(const QString &symbol, int size, QWidget *parent = nullptr);
    void setSymbol(const QString &symbol);
    void setColor(const QColor &color);
    QString symbol() const { return m_symbol; }
    QSize sizeHint() const override { return QSize(m_size, m_size); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_symbol;
    int m_size;
    QColor m_color;
};

// A widget filled with one colour (the header's ground, the divider).
class ColorPane : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    void setColor(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
};

} // namespace settings
