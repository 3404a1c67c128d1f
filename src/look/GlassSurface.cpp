#include "look/GlassSurface.h"

#include "look/SkinStore.h"

#include <QEvent>
#include <QPainter>
#include <QTimer>

namespace look {

GlassSurface::GlassSurface(QWidget *parent, SkinStore *skins)
    : QWidget(parent)
    , m_skins(skins ? skins : &SkinStore::shared())
{
    connect(m_skins, &SkinStore::changed, this, qOverload<>(&QWidget::update));
    connect(m_skins, &SkinStore::selectedIDChanged, this, qOverload<>(&QWidget::update));
}

UISkin GlassSurface::skin() const
{
    return m_skins ? m_skins->current() : UISkin::steel();
}

HostFollower::HostFollower(QWidget *piece, QWidget *host, Placement placement, QMargins around)
    : QObject(piece)
    , m_piece(piece)
    , m_host(host)
    , m_placement(placement)
    , m_around(around)
{
    host->installEventFilter(this);
    sync();
}

void HostFollower::setMargins(QMargins around)
{
    m_around = around;
    sync();
}

bool HostFollower::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_host)
        return false;
    switch (event->type()) {
    case QEvent::Resize:
    case QEvent::Move:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::ParentChange:
    case QEvent::ZOrderChange:
        sync();
        break;
    case QEvent::ChildAdded:
        // Children added later stack above the overlay: lift it again once they are in.
        if (m_placement == Placement::over)
            QTimer::singleShot(0, this, [this] {
                if (m_piece)
                    m_piece->raise();
            });
        break;
    default:
        break;
    }
    return false;
}

void HostFollower::sync()
{
    if (!m_piece || !m_host)
        return;
    switch (m_placement) {
    case Placement::behind:
        m_piece->setGeometry(m_host->rect());
        m_piece->lower();
        break;
    case Placement::over:
        m_piece->setGeometry(m_host->rect());
        m_piece->raise();
        break;
    case Placement::around: {
        QWidget *parent = m_host->parentWidget();
        if (m_piece->parentWidget() != parent) {
            m_piece->setParent(parent);
        }
        if (!parent)
            return;
        m_piece->setGeometry(m_host->geometry().marginsAdded(m_around));
        m_piece->setVisible(m_host->isVisibleTo(parent));
        m_piece->stackUnder(m_host);
        break;
    }
    }
}

PaintedPiece::PaintedPiece(QWidget *parent, Paint paint)
    : QWidget(parent)
    , m_paint(std::move(paint))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void PaintedPiece::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    m_paint(p, QRectF(rect()));
}

void attachToHost(QWidget *piece, QWidget *host, HostFollower::Placement placement, QMargins around)
{
    piece->setAttribute(Qt::WA_TransparentForMouseEvents);
    if (placement != HostFollower::Placement::around) {
        piece->setParent(host);
        piece->show();
    }
    new HostFollower(piece, host, placement, around);
}

} // namespace look
