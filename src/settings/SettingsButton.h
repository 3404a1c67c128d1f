#pragma once

#include "glass/look/Styles.h"

#include <QAbstractButton>
#include <QString>

class QTimer;

namespace settings {

// A push button drawn from a button style: a rounded fill with a hairline,
// an optional symbol before the text and one after it, and a small spinner
// in place of the label while busy.
class SettingsButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit SettingsButton(const QString &text, QWidget *parent = nullptr);

    void setButtonStyle(const glass::ButtonStyle &style);
    const glass::ButtonStyle &buttonStyle() const { return m_style; }
    void setLeadingSymbol(const QString &symbol) { m_leading = symbol; update(); }
    void setTrailingSymbol(const QString &symbol) { m_trailing = symbol; update(); }
    void setBusy(bool busy);
    bool isBusy() const { return m_busy; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    glass::ButtonStyle m_style;
    QString m_leading;
    QString m_trailing;
    bool m_busy = false;
    bool m_hovered = false;
    int m_spinAngle = 0;
    QTimer *m_spin = nullptr;
};

} // namespace settings
