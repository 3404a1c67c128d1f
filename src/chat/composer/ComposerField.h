#pragma once

#include <QPlainTextEdit>

namespace chat {

// The composer's text field: plain text, no frame, growing from one to
// eight lines. Return asks to send; Shift+Return puts a line break where
// the caret is; Ctrl+Return asks to send now (stopping a run first).
// The placeholder shows while the text is only white space.
class ComposerField : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 8;

    explicit ComposerField(QWidget *parent = nullptr);

    void setPlaceholder(const QString &text);
    QString placeholder() const { return m_placeholder; }
    void setColors(const QColor &text, const QColor &placeholder, const QColor &accent);
    bool showsPlaceholder() const;
    // The caret, drawn in the accent: where it stands in the viewport, and
    // whether the blink shows it now (only while the field has the focus).
    static constexpr int kCaretWidth = 1;
    QRectF caretRect() const;
    bool caretShown() const;
    // Height for the text's lines, one to eight.
    int fittedHeight() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void submitRequested();
    void sendNowRequested();
    void fittedHeightChanged();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void refit();

    QString m_placeholder;
    QColor m_placeholderColor;
    QColor m_caretColor;
    int m_fitted = 0;
};

} // namespace chat
