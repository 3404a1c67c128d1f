#pragma once

#include "chat/markdown/CodeBlockView.h"
#include "chat/markdown/MarkdownRenderer.h"
#include "chat/markdown/TextSelection.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QHash>
#include <QTimer>
#include <QUuid>
#include <QWidget>

#include <memory>

namespace chat {

class MarkdownRenderCache;

// Shows a message's text: prose blocks and code cards, stacked 12 apart.
// A finished text comes from the render cache (laid out once per width and
// skin); a streaming text keeps one renderer and only its open tail is
// rebuilt, at most once per paint. Prose is laid out where it is seen and
// the rest in idle slices, so a huge message paints at once.
class MarkdownTextView : public QWidget {
    Q_OBJECT
public:
    explicit MarkdownTextView(QWidget *parent = nullptr);

    void setStyle(const MarkdownStyle &style);
    const MarkdownStyle &markdownStyle() const { return m_style; }
    void setMode(MarkdownRenderer::Mode mode);
    void setCache(MarkdownRenderCache *cache) { m_cache = cache; }
    // A finished text, cached under id.
    void setFinishedText(const QUuid &id, const QString &text);
    // A text still growing; a continuation only appends.
    void setStreamingText(const QString &text);
    void appendStreamingText(QStringView fragment);
    const QString &text() const { return m_text; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {40, 0}; }
    // The widest line any prose needs (for a bubble that fits its text).
    int idealWidth(int maxWidth) const;

    // The renderer for the current width (for tests and the benchmark).
    MarkdownRenderer &renderer() const { return rendererFor(width()); }

    const TextSelection &selection() const { return m_selection; }
    void setSelection(const TextSelection &selection);
    void clearSelection() { setSelection({}); }
    QString selectedText() const;
    // Puts the selected text on the clipboard; false when nothing is selected.
    bool copySelection();
    // While a drag selects: its end goes to pos (the list scrolled under a
    // pointer held still past its edge).
    bool isDragSelecting() const { return m_selecting && m_dragged; }
    void dragSelectionTo(QPointF pos);

signals:
    // A followable link was clicked (http, https or mailto only).
    void linkActivated(const QUrl &url);
    void codeCopied(const QString &code);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    bool event(QEvent *event) override;

private:
    struct Hit {
        int piece = -1;
        QRectF rect;
        QString href;
        bool copyButton = false;
        bool code = false;
        bool text = false; // over prose or code lines (not a card's header)
    };
    MarkdownRenderer &rendererFor(int width) const;
    Hit hitTest(QPointF pos) const;
    void layOutInIdle();
    // A selection just made: the view takes the focus (for Ctrl+C) and the
    // text becomes the primary selection where the system has one.
    void takeSelection();
    void heightsChanged();
    // The top of the open tail, in pixels (0 when it is not known).
    int tailTop() const;
    // Repaints from y down.
    void updateFrom(int y);
    // Listens for the worker of a long paragraph still waiting for its lines.
    void watchLines();
    void linesFound();

    MarkdownStyle m_style;
    MarkdownRenderer::Mode m_mode = MarkdownRenderer::Mode::Markdown;
    MarkdownRenderCache *m_cache = nullptr;
    QUuid m_id;
    QString m_text;
    bool m_streaming = false;
    mutable std::shared_ptr<MarkdownRenderer> m_renderer;
    mutable int m_lastHeight = -1;
    int m_askedHeight = -1; // the last height paint asked a layout for
    mutable QTimer m_idle;
    QTimer m_frame; // a tail whose rebuild was put off
    QFutureWatcher<void> m_linesFound;
    bool m_awaitingSize = false; // lines found, the view not yet resized to them
    CodeBlockView::LineCache m_codeLines;
    const MarkdownRenderer *m_codeLinesFor = nullptr; // whose pieces the lines are
    QHash<int, qreal> m_codeOffsets;
    QHash<int, int> m_copied; // piece -> copies still showing "Copied"
    QString m_pressedHref;

    TextSelection m_selection;
    bool m_selecting = false;   // the left button went down on text
    bool m_dragged = false;     // ... and moved far enough to select
    QPointF m_pressPos;
    QElapsedTimer m_sinceDoubleClick; // a press soon after is a triple click
    QPointF m_doubleClickPos;
};

} // namespace chat
