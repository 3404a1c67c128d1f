#pragma once

#include <QAbstractButton>
#include <QColor>

namespace window {

// A title-bar button: one symbol in the primary text colour at an opacity
// that tells the state it controls (on, off, disabled), a faint fill under
// the pointer, and its help text as tooltip. No text, no key of its own;
// Tab reaches it, and Return or Space presses it then.
class TitleButton : public QAbstractButton {
    Q_OBJECT
public:
    TitleButton(const QString &symbol, QWidget *parent = nullptr);

    void setSymbol(const QString &symbol);
    QString symbol() const { return m_symbol; }
    void setOpacity(qreal opacity);
    qreal opacity() const { return m_opacity; }
    void setColor(const QColor &color);
    // The window's close button: a red fill under the pointer.
    void setDestructiveHover(bool on) { m_destructiveHover = on; }

    QSize sizeHint() const override { return {30, 28}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    // A checkable one shows the state it is given: a click asks for the
    // change, which comes back through setChecked once it is made.
    void nextCheckState() override {}
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    QString m_symbol;
    QColor m_color = Qt::white;
    qreal m_opacity = 0.55;
    bool m_hover = false;
    bool m_destructiveHover = false;
};

} // namespace window
