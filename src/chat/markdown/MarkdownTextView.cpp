#include "chat/markdown/MarkdownTextView.h"

#include "chat/markdown/CodeBlockView.h"
#include "chat/markdown/MarkdownRenderCache.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTextCursor>
#include <QToolTip>

namespace chat {

using Kind = MarkdownText::Block::Kind;

MarkdownTextView::MarkdownTextView(QWidget *parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    m_idle.setSingleShot(true);
    m_idle.setInterval(0);
    connect(&m_idle, &QTimer::timeout, this, &MarkdownTextView::layOutInIdle);
    m_frame.setSingleShot(true);
    m_frame.setInterval(16);
    connect(&m_frame, &QTimer::timeout, this, [this] { heightsChanged(); });
    connect(&m_linesFound, &QFutureWatcherBase::finished, this, &MarkdownTextView::linesFound);
}

void MarkdownTextView::linesFound()
{
    if (!m_renderer)
        return;
    // A new height is only asked for: the resize that follows repaints.
    const int h = heightForWidth(qMax(1, width()));
    if (h != m_lastHeight) {
        m_lastHeight = h;
        m_awaitingSize = h != height();
        updateGeometry();
        // A parent that keeps the view's size shows the lines all the same.
        QTimer::singleShot(100, this, [this] {
            if (std::exchange(m_awaitingSize, false))
                update();
        });
    } else {
        update();
    }
    watchLines();
}

void MarkdownTextView::resizeEvent(QResizeEvent *event)
{
    m_awaitingSize = false;
    QWidget::resizeEvent(event);
}

void MarkdownTextView::watchLines()
{
    if (!m_renderer || m_linesFound.isRunning())
        return;
    for (int i = 0; i < m_renderer->count(); ++i) {
        const auto &piece = m_renderer->piece(i);
        if (piece.waiting()) {
            m_linesFound.setFuture(piece.paragraph->future());
            return;
        }
    }
}

void MarkdownTextView::setStyle(const MarkdownStyle &style)
{
    if (style.cacheTag == m_style.cacheTag && !m_style.cacheTag.isEmpty())
        return;
    m_style = style;
    m_renderer.reset();
    heightsChanged();
}

void MarkdownTextView::setMode(MarkdownRenderer::Mode mode)
{
    if (mode == m_mode)
        return;
    m_mode = mode;
    m_renderer.reset();
    m_selection = {};
}

void MarkdownTextView::setFinishedText(const QUuid &id, const QString &text)
{
    if (!m_streaming && id == m_id && text == m_text && m_renderer)
        return;
    // A pooled view showing another message must not keep places in the old one.
    if (m_streaming || id != m_id || text != m_text)
        m_selection = {};
    m_selecting = false;
    m_id = id;
    m_text = text;
    m_streaming = false;
    m_renderer.reset();
    m_codeOffsets.clear();
    heightsChanged();
}

void MarkdownTextView::setStreamingText(const QString &text)
{
    if (!m_streaming || !text.startsWith(m_text))
        m_selection = {};
    // Finished and shared with the reply's row: more text starts one of its own.
    if (m_renderer && m_renderer->isFinished() && text != m_text)
        m_renderer.reset();
    m_text = text;
    if (!m_streaming) {
        m_streaming = true;
        m_renderer.reset();
    }
    const int from = m_renderer ? tailTop() : 0;
    // A finished one holds this very text (else it went above).
    if (m_renderer && !m_renderer->isFinished())
        m_renderer->setText(text);
    // Only appended here; the tail is rebuilt when the frame is drawn.
    updateGeometry();
    updateFrom(from);
}

void MarkdownTextView::appendStreamingText(QStringView fragment)
{
    if (!m_streaming) {
        setStreamingText(m_text + fragment.toString());
        return;
    }
    if (m_renderer && m_renderer->isFinished() && !fragment.isEmpty())
        m_renderer.reset();
    m_text.append(fragment);
    const int from = m_renderer ? tailTop() : 0;
    if (m_renderer)
        m_renderer->append(fragment);
    updateGeometry();
    updateFrom(from);
}

int MarkdownTextView::tailTop() const
{
    // A restarted text (not a continuation) changes all of it.
    return m_renderer && m_text.startsWith(m_renderer->text()) ? int(std::floor(m_renderer->tailTop())) : 0;
}

void MarkdownTextView::updateFrom(int y)
{
    // What is finished above the open tail stays as drawn: a frame of
    // streaming repaints the tail only, not the whole reply and its glass.
    y = qMax(0, y - 1);
    if (y >= height())
        update();
    else
        update(QRect(0, y, width(), height() - y));
}

MarkdownRenderer &MarkdownTextView::rendererFor(int width) const
{
    width = qMax(1, width);
    if (m_renderer && int(m_renderer->width()) == width) {
        m_renderer->setAwaitsLines(window()->isVisible());
        return *m_renderer;
    }
    if (!m_streaming && m_cache) {
        m_renderer = m_cache->get(m_id, m_text, width, m_style, m_mode);
    } else {
        m_renderer = std::make_shared<MarkdownRenderer>(m_style, width, m_mode);
        m_renderer->append(m_text);
        if (!m_streaming)
            m_renderer->finish();
        else if (m_cache)
            m_cache->setLive(m_renderer);
    }
    m_renderer->setAwaitsLines(window()->isVisible());
    return *m_renderer;
}

int MarkdownTextView::heightForWidth(int width) const
{
    if (m_text.isEmpty())
        return 0;
    if (width < MarkdownRenderer::narrowestLayoutWidth(m_style))
        return int(std::ceil(MarkdownRenderer::estimateHeight(m_style, m_text, width)));
    MarkdownRenderer &r = rendererFor(width);
    r.refresh(!m_streaming);
    // Real heights where a few milliseconds suffice (every ordinary
    // message); estimates for the rest of a huge one, refined when idle.
    if (!r.layOutSome(4'000'000) && !m_idle.isActive())
        m_idle.start();
    return int(std::ceil(r.height()));
}

QSize MarkdownTextView::sizeHint() const
{
    // Plain text (a user's bubble) asks for the width its lines need.
    const int w = m_mode == MarkdownRenderer::Mode::Plain ? idealWidth(qMin(maximumWidth(), 4096))
                  : width() > 1                          ? width()
                                                         : 480;
    return {w, heightForWidth(w)};
}

int MarkdownTextView::idealWidth(int maxWidth) const
{
    if (m_text.isEmpty())
        return qMin(maxWidth, 1);
    MarkdownRenderer &r = rendererFor(maxWidth);
    r.refresh(true);
    qreal widest = 0;
    // Measuring needs a layout: only worth it for short texts.
    if (r.count() > 8)
        return maxWidth;
    for (int i = 0; i < r.count(); ++i) {
        r.layOut(i);
        const auto &p = r.piece(i);
        // A long paragraph fills any width it is shown at.
        if (p.kind == Kind::Code || p.paragraph)
            return maxWidth;
        if (p.doc)
            widest = qMax(widest, p.doc->idealWidth());
    }
    return qMin(maxWidth, int(std::ceil(widest)) + 1);
}

void MarkdownTextView::heightsChanged()
{
    const int h = m_text.isEmpty() ? 0 : heightForWidth(qMax(1, width()));
    if (h != m_lastHeight) {
        m_lastHeight = h;
        updateGeometry();
    }
    if (m_streaming)
        updateFrom(tailTop());
    else
        update();
    if (m_renderer && !m_idle.isActive())
        m_idle.start();
    watchLines();
}

void MarkdownTextView::layOutInIdle()
{
    if (!m_renderer)
        return;
    const qreal before = m_renderer->height();
    const bool done = m_renderer->layOutSome(6'000'000);
    if (m_renderer->height() != before) {
        const int h = int(std::ceil(m_renderer->height()));
        if (h != m_lastHeight) {
            m_lastHeight = h;
            updateGeometry();
        }
        update();
    }
    if (!done)
        m_idle.start();
    watchLines();
}

void MarkdownTextView::paintEvent(QPaintEvent *event)
{
    if (m_text.isEmpty())
        return;
    MarkdownRenderer &r = rendererFor(width());
    const qreal before = r.height();
    if (!r.refresh() && !m_frame.isActive())
        m_frame.start();
    if (m_codeLinesFor != &r) {
        m_codeLines.clear();
        m_codeLinesFor = &r;
    }
    QPainter p(this);
    const QRectF clip = event->rect();
    bool grew = r.height() != before;
    for (int i = r.pieceAt(clip.top()); i < r.count(); ++i) {
        if (r.top(i) > clip.bottom())
            break;
        // A worker's lines are taken when the list asks the height, not here.
        if (!r.piece(i).waiting())
            grew |= r.layOut(i);
        const auto &piece = r.piece(i);
        const QRectF rect(0, r.top(i), width(), piece.height);
        CodeBlockView::Selected span{0, 0, m_style.selection};
        if (!m_selection.isEmpty() && i >= m_selection.start().piece && i <= m_selection.end().piece)
            std::tie(span.from, span.to) =
                m_selection.spanIn(i, TextSelecting::pieceLength(r, i)).value_or(std::pair{0, 0});
        const bool selected = span.to > span.from;
        if (piece.kind == Kind::Code) {
            CodeBlockView::paint(p, rect, clip, piece.code, r, m_codeOffsets.value(i), m_copied.value(i) > 0,
                                 &m_codeLines, i, selected ? &span : nullptr);
            continue;
        }
        if (piece.paragraph) {
            // Lines found, but the view not yet resized to them: drawn now,
            // the bottom of the view would show the middle of the paragraph.
            // The guess shown stays until the resize.
            const bool placed = piece.exact && !m_awaitingSize;
            const qreal shown = placed ? piece.height
                                       : qMax<qreal>(1, height() - (std::ceil(r.height()) - piece.height));
            p.save();
            p.translate(rect.topLeft());
            const QRectF inside = clip.translated(-rect.topLeft()).intersected(QRectF(0, 0, width(), shown));
            p.setClipRect(inside);
            if (placed)
                piece.paragraph->draw(&p, inside, {span.from, span.to}, m_style.ink, m_style.selection);
            else
                piece.paragraph->drawGuess(&p, inside, shown, m_style.ink);
            p.restore();
            continue;
        }
        p.save();
        p.translate(rect.topLeft());
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette.setColor(QPalette::Text, m_style.ink);
        if (selected) {
            QAbstractTextDocumentLayout::Selection marked;
            marked.cursor = QTextCursor(piece.doc.get());
            marked.cursor.setPosition(span.from);
            marked.cursor.setPosition(span.to, QTextCursor::KeepAnchor);
            marked.format.setBackground(m_style.selection);
            // A list's number is drawn in the selection's own pen: without one it vanishes.
            marked.format.setForeground(m_style.ink);
            context.selections.append(marked);
        }
        context.clip = clip.translated(-rect.topLeft()).intersected(QRectF(0, 0, width(), piece.height));
        p.setClipRect(context.clip);
        piece.doc->drawQuoteBars(&p, context.clip);
        piece.doc->documentLayout()->draw(&p, context);
        p.restore();
    }
    // Estimated heights became real ones, or the height changed where no one
    // asked for a layout (a tail laid out while the stream pauses): the row is
    // laid out again.
    // Asked once per height: a parent that keeps another height is not asked again at every frame.
    const int wanted = int(std::ceil(r.height()));
    if (grew || (wanted != height() && wanted != m_askedHeight)) {
        m_askedHeight = wanted;
        m_lastHeight = wanted;
        QMetaObject::invokeMethod(this, [this] { updateGeometry(); update(); }, Qt::QueuedConnection);
    }
    watchLines();
}

MarkdownTextView::Hit MarkdownTextView::hitTest(QPointF pos) const
{
    Hit hit;
    if (m_text.isEmpty())
        return hit;
    MarkdownRenderer &r = rendererFor(width());
    const int i = r.pieceAt(pos.y());
    if (i >= r.count() || r.top(i) > pos.y())
        return hit;
    const auto &piece = r.piece(i);
    hit.piece = i;
    hit.rect = QRectF(0, r.top(i), width(), piece.height);
    if (piece.kind == Kind::Code) {
        hit.code = true;
        hit.text = pos.y() >= CodeBlockView::codeRect(hit.rect, r).top();
        hit.copyButton = CodeBlockView::copyButtonRect(hit.rect, r, m_copied.value(i) > 0)
                             .adjusted(-6, 0, 6, 0)
                             .contains(pos);
    } else if (piece.paragraph) {
        hit.text = true;
        // Until its lines are known no link is placed yet.
        if (piece.exact)
            hit.href = piece.paragraph->anchorAt(pos - hit.rect.topLeft());
    } else if (piece.doc) {
        hit.text = true;
        hit.href = piece.doc->documentLayout()->anchorAt(pos - hit.rect.topLeft());
    }
    return hit;
}

void MarkdownTextView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_selecting && (event->buttons() & Qt::LeftButton)) {
        if (!m_dragged && (event->position() - m_pressPos).manhattanLength() < QApplication::startDragDistance())
            return;
        m_dragged = true;
        dragSelectionTo(event->position());
        setCursor(Qt::IBeamCursor);
        return;
    }
    const Hit hit = hitTest(event->position());
    setCursor(hit.copyButton || !hit.href.isEmpty() ? Qt::PointingHandCursor
              : hit.text                            ? Qt::IBeamCursor
                                                    : Qt::ArrowCursor);
    QWidget::mouseMoveEvent(event);
}

void MarkdownTextView::dragSelectionTo(QPointF pos)
{
    if (!isDragSelecting())
        return;
    TextSelection next = m_selection;
    next.head = TextSelecting::pointAt(rendererFor(width()), pos, m_codeOffsets);
    setSelection(next);
}

void MarkdownTextView::mousePressEvent(QMouseEvent *event)
{
    const Hit hit = hitTest(event->position());
    m_pressedHref = event->button() == Qt::LeftButton ? hit.href : QString();
    if (event->button() == Qt::LeftButton && hit.copyButton) {
        const QString code = rendererFor(width()).piece(hit.piece).code.text();
        if (QClipboard *clipboard = QGuiApplication::clipboard())
            clipboard->setText(code);
        emit codeCopied(code);
        // Each copy posts its own reset; the first one to run clears the mark.
        m_copied[hit.piece] = 1;
        const int piece = hit.piece;
        QTimer::singleShot(1200, this, [this, piece] {
            m_copied.remove(piece);
            update();
        });
        update();
        event->accept();
        return;
    }
    if (event->button() != Qt::LeftButton || m_text.isEmpty()) {
        QWidget::mousePressEvent(event);
        return;
    }
    // One selection in the window: a press here ends any other.
    if (QWidget *top = window())
        for (MarkdownTextView *other : top->findChildren<MarkdownTextView *>())
            if (other != this)
                other->clearSelection();
    MarkdownRenderer &r = rendererFor(width());
    const TextPoint at = TextSelecting::pointAt(r, event->position(), m_codeOffsets);
    const bool triple = m_sinceDoubleClick.isValid() &&
                        m_sinceDoubleClick.elapsed() < QApplication::doubleClickInterval() &&
                        (event->position() - m_doubleClickPos).manhattanLength() < QApplication::startDragDistance();
    m_sinceDoubleClick.invalidate();
    m_pressPos = event->position();
    m_dragged = false;
    if (triple) {
        m_selecting = false;
        setSelection(TextSelecting::lineAt(r, at));
        takeSelection();
    } else {
        m_selecting = true;
        setSelection({at, at});
    }
    event->accept();
}

void MarkdownTextView::mouseReleaseEvent(QMouseEvent *event)
{
    const Hit hit = hitTest(event->position());
    // A drag that began on a link selects; only a click follows it.
    if (event->button() == Qt::LeftButton && !m_dragged && !m_pressedHref.isEmpty() && hit.href == m_pressedHref) {
        const QUrl url(hit.href);
        if (MarkdownText::isOpenableLink(url))
            emit linkActivated(url);
    }
    m_pressedHref.clear();
    if (event->button() == Qt::LeftButton && m_selecting) {
        m_selecting = false;
        m_dragged = false;
        takeSelection();
    }
    QWidget::mouseReleaseEvent(event);
}

void MarkdownTextView::mouseDoubleClickEvent(QMouseEvent *event)
{
    const Hit hit = hitTest(event->position());
    if (event->button() != Qt::LeftButton || hit.copyButton || !hit.href.isEmpty() || !hit.text) {
        // A second click on the button copies again.
        mousePressEvent(event);
        return;
    }
    MarkdownRenderer &r = rendererFor(width());
    setSelection(TextSelecting::wordAt(r, TextSelecting::pointAt(r, event->position(), m_codeOffsets)));
    m_selecting = false;
    m_sinceDoubleClick.start();
    m_doubleClickPos = event->position();
    takeSelection();
    event->accept();
}

void MarkdownTextView::takeSelection()
{
    if (m_selection.isEmpty())
        return;
    // Keys reach the view only with the focus: Ctrl+C copies from here.
    setFocus(Qt::MouseFocusReason);
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard && clipboard->supportsSelection())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

void MarkdownTextView::setSelection(const TextSelection &selection)
{
    if (selection == m_selection)
        return;
    m_selection = selection;
    update();
}

QString MarkdownTextView::selectedText() const
{
    if (m_selection.isEmpty() || m_text.isEmpty())
        return {};
    return TextSelecting::text(rendererFor(width()), m_selection);
}

bool MarkdownTextView::copySelection()
{
    const QString text = selectedText();
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (text.isEmpty() || !clipboard)
        return false;
    clipboard->setText(text);
    return true;
}

void MarkdownTextView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy) && copySelection()) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MarkdownTextView::focusOutEvent(QFocusEvent *event)
{
    // A menu or another window coming up keeps the selection; the user
    // moving on to another control ends it.
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason)
        clearSelection();
    QWidget::focusOutEvent(event);
}

void MarkdownTextView::contextMenuEvent(QContextMenuEvent *event)
{
    if (m_selection.isEmpty()) {
        event->ignore();
        return;
    }
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction *copy = menu->addAction(QStringLiteral("Copy"));
    copy->setShortcut(QKeySequence::Copy);
    connect(copy, &QAction::triggered, this, [this] { copySelection(); });
    menu->popup(event->globalPos());
    event->accept();
}

void MarkdownTextView::leaveEvent(QEvent *event)
{
    unsetCursor();
    QWidget::leaveEvent(event);
}

void MarkdownTextView::wheelEvent(QWheelEvent *event)
{
    const Hit hit = hitTest(event->position());
    QPoint delta = event->pixelDelta().isNull() ? event->angleDelta() / 2 : event->pixelDelta();
    if (event->modifiers() & (Qt::ShiftModifier | Qt::AltModifier))
        delta = QPoint(delta.y() ? delta.y() : delta.x(), 0);
    if (!hit.code || delta.x() == 0 || qAbs(delta.x()) < qAbs(delta.y())) {
        event->ignore(); // the transcript scrolls
        return;
    }
    const auto &code = rendererFor(width()).piece(hit.piece).code;
    const qreal limit = CodeBlockView::maxOffset(hit.rect, code);
    const qreal offset = qBound<qreal>(0, m_codeOffsets.value(hit.piece) - delta.x(), limit);
    m_codeOffsets[hit.piece] = offset;
    update(hit.rect.toAlignedRect());
    event->accept();
}

bool MarkdownTextView::event(QEvent *event)
{
    // Ctrl+C is ours while something is selected, whatever shortcut the window has.
    if (event->type() == QEvent::ShortcutOverride && !m_selection.isEmpty() &&
        static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
        event->accept();
        return true;
    }
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const Hit hit = hitTest(help->pos());
        if (!hit.href.isEmpty())
            QToolTip::showText(help->globalPos(), hit.href, this);
        else if (hit.copyButton)
            QToolTip::showText(help->globalPos(), QStringLiteral("Copy code"), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

} // namespace chat
