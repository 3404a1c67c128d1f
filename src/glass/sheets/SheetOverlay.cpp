#include "glass/sheets/SheetOverlay.h"

#include "glass/paint/Backdrop.h"
#include "glass/paint/GlassPainter.h"
#include "glass/paint/PaintBands.h"
#include "glass/sheets/SheetKeys.h"
#include "glass/look/Styles.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>

namespace glass {

SheetOverlay::SheetOverlay(QWidget *window, StyleStore &styles)
    : QWidget(window)
    , m_window(window)
    , m_styles(styles)
{
    hide();
    setFocusPolicy(Qt::NoFocus);
    window->installEventFilter(this);
    connect(&styles, &StyleStore::changed, this, [this] {
        ++m_look;
        update();
    });
}

SheetOverlay::~SheetOverlay()
{
    // The trap goes before the content it watches starts to die.
    delete m_trap;
}

void SheetOverlay::open(QWidget *content, QWidget *entry)
{
    if (!content || content == m_content)
        return;
    // One sheet per window: any other one goes first, and so does our own.
    if (m_window)
        for (SheetOverlay *other : m_window->findChildren<SheetOverlay *>(Qt::FindDirectChildrenOnly))
            if (other != this)
                other->close();
    close();
    m_content = content;
    content->setParent(this);
    content->installEventFilter(this);
    place();
    // Before anything is shown: content that focuses itself on show must
    // not hide from the trap what had the keyboard before it.
    m_trap = new FocusTrap(content, m_home, entry);
    show();
    raise();
    content->show();
    update();
}

void SheetOverlay::close()
{
    if (!m_content)
        return;
    QWidget *content = m_content;
    m_content = nullptr;
    content->removeEventFilter(this);
    // The keyboard goes back before the content hides, so it never passes
    // through whatever follows the sheet in the window's focus chain.
    if (m_trap)
        m_trap->release();
    delete m_trap;
    content->hide();
    content->deleteLater();
    hide();
    emit closed();
}

QRect SheetOverlay::contentGeometry() const
{
    if (!m_content)
        return {};
    const QRect room = rect().marginsRemoved(QMargins(kMargin, kMargin, kMargin, kMargin));
    QSize size = m_content->sizeHint().expandedTo(m_content->minimumSizeHint()).expandedTo(m_content->minimumSize());
    size = size.boundedTo(m_content->maximumSize()).boundedTo(room.size());
    QRect r(QPoint(0, 0), size);
    r.moveCenter(room.center());
    return r;
}

void SheetOverlay::place()
{
    if (m_window)
        setGeometry(m_window->rect());
    if (m_content)
        m_content->setGeometry(contentGeometry());
}

bool SheetOverlay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Resize)
        place();
    else if (watched == m_content && event->type() == QEvent::LayoutRequest)
        place();
    return false;
}

bool SheetOverlay::event(QEvent *event)
{
    // Escape and Return handed to the sheet are its own: no window shortcut
    // may take them first (the window's Escape forwards here, and would
    // otherwise be called again by its own key).
    if (m_content && SheetKeys::claimShortcutOverride(event))
        return true;
    return QWidget::event(event);
}

void SheetOverlay::keyPressEvent(QKeyEvent *event)
{
    if (!m_content || event->modifiers() & ~Qt::KeypadModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Escape:
        emit rejected();
        close();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit accepted();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void SheetOverlay::mousePressEvent(QMouseEvent *event)
{
    // The scrim swallows clicks: the window behind is not reachable while a sheet is open.
    event->accept();
}

bool SheetOverlay::focusNextPrevChild(bool next)
{
    if (!m_content)
        return QWidget::focusNextPrevChild(next);
    // Tab cycles through the content's controls only.
    const QList<QWidget *> stops = FocusTrap::tabStops(m_content);
    if (stops.isEmpty())
        return true;
    const qsizetype at = stops.indexOf(QApplication::focusWidget());
    const qsizetype n = stops.size();
    const qsizetype to = at < 0 ? (next ? 0 : n - 1) : (at + (next ? 1 : n - 1)) % n;
    stops[to]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

void SheetOverlay::paintEvent(QPaintEvent *)
{
    if (!m_content)
        return;
    const Styles &st = m_styles.styles();
    QPainter p(this);
    paintInBands(p, rect(), [&](const QRect &band) { p.fillRect(band, st.scrim); });
    // The sheet's glass, behind the content.
    const BackdropLocation where = locateBackdrop(this);
    const BackdropFrame *frame = where.provider ? &where.provider->backdropFrame() : nullptr;
    const QRect sheet = contentGeometry();
    const qreal dpr = devicePixelRatioF();
    const GlassKey key{where.provider, frame ? frame->revision : 0, sheet.translated(where.origin.toPoint()), dpr,
                       m_look};
    if (!(key == m_glassKey) || m_glass.isNull()) {
        m_glassKey = key;
        m_glass = QImage((QSizeF(sheet.size()) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
        m_glass.setDevicePixelRatio(dpr);
        m_glass.fill(Qt::transparent);
        QPainter g(&m_glass);
        const QRectF area(QPointF(0, 0), QSizeF(sheet.size()));
        const FrostShape shape = FrostShape::roundedRectangle(st.sheet.radius);
        GlassPainter::frostShape(g, area, shape, st.sheet.role, false, false, st.skin, frame,
                                 where.origin + QPointF(sheet.topLeft()));
        GlassPainter::innerBorder(g, area, shape, st.sheet.stroke, 1.0);
    }
    paintInBands(p, sheet, [&](const QRect &) { p.drawImage(sheet.topLeft(), m_glass); });
}

} // namespace glass
