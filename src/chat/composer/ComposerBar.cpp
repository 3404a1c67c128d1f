#include "chat/composer/ComposerBar.h"

#include "app/AppViewModel.h"
#include "chat/composer/ComposerField.h"
#include "chat/composer/ComposerPlaceholders.h"
#include "glass/controls/FocusRing.h"
#include "glass/paint/FrostShape.h"
#include "glass/paint/GlassDecoration.h"
#include "glass/look/QirvTheme.h"
#include "glass/look/Styles.h"

#include <QBoxLayout>
#include <QEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QTimer>

namespace chat {

namespace {

constexpr int kSidePad = 28;
constexpr qreal kRadius = 14;

// The accent ring drawn over the card while dictation listens.
class ListeningRing : public QWidget {
public:
    ListeningRing(glass::StyleStore &styles, QWidget *parent) : QWidget(parent), m_styles(styles)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    bool on = false;

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (!on)
            return;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor accent = glass::QirvTheme::withOpacity(
            glass::QirvTheme::color(m_styles.styles().skin.colors.accent), 0.65);
        p.setPen(QPen(accent, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawPath(glass::FrostShape::roundedRectangle(kRadius).inset(QRectF(rect()), 0.75));
    }

private:
    glass::StyleStore &m_styles;
};

} // namespace

ComposerBar::ComposerBar(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent), m_app(app), m_styles(styles)
{
    setAttribute(Qt::WA_NoSystemBackground);
    m_placeholderIndex = int(QRandomGenerator::global()->bounded(ComposerPlaceholders::kCount));

    m_card = new QWidget(this);
    m_card->setObjectName(QStringLiteral("composerInputCard"));
    m_card->setToolTip(QStringLiteral("Drop project files or screenshots here to attach them."));
    auto *column = new QVBoxLayout(m_card);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->setSizeConstraint(QLayout::SetDefaultConstraint);

    m_attachments = new QWidget;
    m_attachments->setObjectName(QStringLiteral("attachmentSlot"));
    auto *strip = new QHBoxLayout(m_attachments);
    strip->setContentsMargins(16, 12, 16, 0);
    strip->setSpacing(8);
    column->addWidget(m_attachments);

    m_fieldArea = new QWidget;
    m_fieldArea->setMinimumHeight(32);
    auto *fieldBox = new QVBoxLayout(m_fieldArea);
    fieldBox->setContentsMargins(16, 16, 16, 10);
    m_field = new ComposerField;
    // Its accent caret shows the keyboard is here; an accent ring on the
    // card means dictation listens.
    glass::FocusRing::setOwnIndicator(m_field);
    fieldBox->addWidget(m_field);
    column->addWidget(m_fieldArea);

    m_tray = new QWidget;
    m_tray->setObjectName(QStringLiteral("traySlot"));
    auto *tray = new QHBoxLayout(m_tray);
    tray->setContentsMargins(12, 0, 12, 12);
    tray->setSpacing(10);
    column->addWidget(m_tray);

    m_frost = glass::FrostFieldModifier::apply(m_card, kRadius, false, styles);
    m_ring = new ListeningRing(styles, m_card);

    connect(m_field, &ComposerField::submitRequested, this, [this] {
        // Return sends only while nothing runs; the draft stays otherwise.
        if (!m_app.isRunning())
            m_app.send();
    });
    connect(m_field, &ComposerField::sendNowRequested, this, [this] {
        if (m_stopDictation)
            m_stopDictation();
        m_app.send();
    });
    connect(m_field, &QPlainTextEdit::textChanged, this, [this] {
        if (m_pushing)
            return;
        m_app.setDraft(m_field->toPlainText());
        refreshPlaceholder();
    });
    connect(m_field, &ComposerField::fittedHeightChanged, this, [this] {
        placeCard();
        emit heightChanged();
    });
    connect(&app, &app::AppViewModel::draftChanged, this, &ComposerBar::pullDraft);
    connect(&app, &app::AppViewModel::isRunningChanged, this, &ComposerBar::onRunningChanged);
    connect(&app, &app::AppViewModel::attachmentsChanged, this, [this] {
        const bool any = !m_app.attachments().isEmpty();
        m_attachments->setVisible(any);
        m_fieldArea->layout()->setContentsMargins(16, any ? 10 : 16, 16, 10);
        refreshPlaceholder();
        placeCard();
        emit heightChanged();
    });
    connect(&styles, &glass::StyleStore::changed, this, &ComposerBar::applyLook);

    m_wasRunning = app.isRunning();
    m_attachments->setVisible(!app.attachments().isEmpty());
    pullDraft();
    applyLook();
    refreshPlaceholder();
}

QString ComposerBar::draftNow() const
{
    return m_field->toPlainText();
}

std::function<QString()> ComposerBar::draftReader()
{
    QPointer<ComposerBar> self(this);
    return [self]() -> QString { return self ? self->draftNow() : QString(); };
}

void ComposerBar::setListening(bool listening)
{
    if (m_listening == listening)
        return;
    m_listening = listening;
    m_frost->setEmphasized(listening);
    static_cast<ListeningRing *>(m_ring)->on = listening;
    m_ring->update();
    refreshPlaceholder();
}

void ComposerBar::setPlaceholderIndex(int index)
{
    m_placeholderIndex = ((index % ComposerPlaceholders::kCount) + ComposerPlaceholders::kCount) %
                         ComposerPlaceholders::kCount;
    refreshPlaceholder();
}

QString ComposerBar::placeholder() const
{
    return ComposerPlaceholders::fieldPlaceholder(m_listening, m_app.isRunning(), !m_app.attachments().isEmpty(),
                                                  m_placeholderIndex);
}

bool ComposerBar::canCompose() const
{
    return ComposerPlaceholders::canCompose(m_app.draft(), !m_app.attachments().isEmpty());
}

void ComposerBar::pullDraft()
{
    if (m_field->toPlainText() == m_app.draft())
        return;
    m_pushing = true;
    m_field->setPlainText(m_app.draft());
    m_field->moveCursor(QTextCursor::End);
    m_pushing = false;
    refreshPlaceholder();
}

void ComposerBar::onRunningChanged()
{
    const bool running = m_app.isRunning();
    if (running == m_wasRunning)
        return;
    m_wasRunning = running;
    if (running) {
        if (m_stopDictation)
            m_stopDictation();
        QTimer::singleShot(0, this, [this] { takeFocus(); });
    } else {
        m_placeholderIndex = ComposerPlaceholders::advancedIndex(m_placeholderIndex, m_app.draft());
    }
    refreshPlaceholder();
}

void ComposerBar::refreshPlaceholder()
{
    m_field->setPlaceholder(placeholder());
}

void ComposerBar::applyLook()
{
    const glass::Styles &s = m_styles.styles();
    QFont f = s.body.font;
    f.setPixelSize(15);
    m_field->setFont(f);
    m_field->setColors(glass::QirvTheme::color(s.skin.colors.text), glass::QirvTheme::color(s.skin.colors.textTertiary),
                       glass::QirvTheme::color(s.skin.colors.accent));
    m_ring->update();
}

int ComposerBar::heightForWidth(int width) const
{
    const int cardWidth = qMin(kCardMaxWidth, width - 2 * kSidePad);
    const int card = qMax(54, m_card->layout()->totalHeightForWidth(qMax(100, cardWidth)));
    return card + 2 * kVerticalPad;
}

QSize ComposerBar::sizeHint() const
{
    return {kCardMaxWidth + 2 * kSidePad, heightForWidth(kCardMaxWidth + 2 * kSidePad)};
}

void ComposerBar::placeCard()
{
    const int cardWidth = qMin(kCardMaxWidth, width() - 2 * kSidePad);
    const int cardHeight = qMax(54, m_card->layout()->totalHeightForWidth(qMax(100, cardWidth)));
    m_card->setGeometry((width() - cardWidth) / 2, kVerticalPad, cardWidth, cardHeight);
    m_ring->setGeometry(m_card->rect());
    m_ring->raise();
}

void ComposerBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeCard();
}

bool ComposerBar::event(QEvent *event)
{
    if (event->type() == QEvent::LayoutRequest) {
        placeCard();
        emit heightChanged();
    }
    return QWidget::event(event);
}

void ComposerBar::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_focusedOnce) {
        m_focusedOnce = true;
        takeFocus();
    }
}

void ComposerBar::takeFocus()
{
    // Never from a sheet or another control of the window that holds it,
    // whether or not the window is active yet.
    QWidget *focus = window()->focusWidget();
    QWidget *pane = parentWidget() ? parentWidget() : this;
    if (focus && !pane->isAncestorOf(focus))
        return;
    m_field->setFocus(Qt::OtherFocusReason);
}

void ComposerBar::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (m_stopDictation)
        m_stopDictation();
}

} // namespace chat
