#pragma once

#include "model/ChatRecords.h"

#include <QAbstractButton>
#include <QWidget>

class QVariantAnimation;

namespace glass {
class StyleStore;
}

namespace chat {

// The copy button beside a bubble: shown while the pointer is over the
// bubble, while it holds the keyboard or for 1.2 s after a copy; otherwise
// invisible but keeping its place.
// Its symbol is drawn in the palette's WindowText: the skin's tertiary text
// as seen through the button's opacity, on held glass of its own.
// It fades in and out over 0.12 s, ease-out.
class MessageRowCopyButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int kFadeMs = 120;
    static constexpr int kSide = 36; // the 24 px square with 6 px around it
    explicit MessageRowCopyButton(glass::StyleStore &styles, QWidget *parent = nullptr);
    // The pointer came or went: the button fades. A reused row takes the
    // state of the message it now shows at once (animated false).
    void setHovering(bool on, bool animated = true);
    void setCopied(bool on);
    bool isCopied() const { return m_copied > 0; }
    bool isShown() const { return m_hovering || m_copied > 0 || m_keyboard; }
    // How far it is faded in, 0...1.
    double fade() const { return m_fade; }
    QSize sizeHint() const override { return {36, 36}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void applyLook();
    // Towards shown or hidden, as isShown() says.
    void fadeTo(bool animated);
    glass::StyleStore &m_styles;
    bool m_lightGlass = false;
    bool m_hovering = false;
    bool m_keyboard = false; // reached by Tab and holding the keyboard
    int m_copied = 0;
    double m_fade = 0;
    QVariantAnimation *m_fading = nullptr;
};

// The tools an assistant message asked for: one chip per call, stacked,
// names and symbols in the palette's WindowText (the skin's secondary text)
// on held glass of their own.
class MessageRowTools : public QWidget {
    Q_OBJECT
public:
    explicit MessageRowTools(glass::StyleStore &styles, QWidget *parent = nullptr);
    void setTools(const QList<model::ToolCallRecord> &tools);
    int chipCount() const { return int(m_names.size()); }
    // The capsule of a chip, and where its wrench symbol sits, in the widget.
    QRectF chipRect(int index) const;
    QRectF symbolRect(int index) const;
    QSize sizeHint() const override;

    // A chip: 8 px, the symbol, 4 px, the name, 8 px; 3 px above and below.
    static constexpr qreal kPadX = 8, kPadY = 3, kSymbol = 10, kGap = 4, kChipSpacing = 3;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void applyLook();
    QFont chipFont() const;
    qreal chipWidth(const QString &name) const;
    glass::StyleStore &m_styles;
    bool m_lightGlass = false;
    QStringList m_names;
    QImage m_symbol; // the wrench in the chips' ink, kept until the ink or the screen changes
};

// A small plain button: a painted symbol and a caption, in the palette's
// WindowText (the skin's text at 0.78), dimmer while pressed.
class MessageRowRetryButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit MessageRowRetryButton(glass::StyleStore &styles, QWidget *parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void applyLook();
    glass::StyleStore &m_styles;
};

} // namespace chat
