#include "panels/FilePeekView.h"

#include "app/AppViewModel.h"
#include "glass/paint/FrostShapeBackground.h"
#include "glass/paint/HairlineRule.h"
#include "glass/controls/StyledButton.h"
#include "glass/look/Styles.h"
#include "glass/controls/SymbolButton.h"
#include "glass/look/SymbolIcons.h"
#include "glass/look/TextInk.h"
#include "panels/PanelChrome.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QAbstractTextDocumentLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyle>
#include <QTextBlock>

#include <cmath>

namespace panels {

namespace {

// The panel's hairline inside its edge.
class Edge : public QWidget {
public:
    explicit Edge(QWidget *parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.08f), 1));
        p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
};

} // namespace

QString FilePeekView::metaLine(const model::PeekedFile &file)
{
    if (file.errorMessage)
        return *file.errorMessage;
    if (file.isBinary)
        return QString::number(file.byteCount) + QStringLiteral(" bytes · binary");
    return QString::number(file.lineCount) + QStringLiteral(" lines · ") + QString::number(file.byteCount)
        + QStringLiteral(" bytes");
}

FilePeekView::FilePeekView(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent), m_app(app), m_styles(styles)
{
    glass::FrostPanelBackground::install(this, glass::QirvTheme::FrostRole::panel, styles);
    setMaximumHeight(kMaxHeight);
    const glass::Styles &s = styles.styles();

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto *header = new QHBoxLayout;
    header->setContentsMargins(14, 10, 14, 10);
    header->setSpacing(10);
    m_symbol = new QLabel(this);
    header->addWidget(m_symbol);
    auto *titles = new QVBoxLayout;
    titles->setSpacing(2);
    m_path = new QLabel(this);
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_path->setTextFormat(Qt::PlainText);
    m_path->setWordWrap(false);
    m_path->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred); // one line, however long
    m_meta = new QLabel(this);
    m_meta->setTextFormat(Qt::PlainText);
    m_meta->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    titles->addWidget(m_path);
    titles->addWidget(m_meta);
    header->addLayout(titles, 1);
    header->addSpacing(8);
    m_attach = new glass::StyledButton(QStringLiteral("Attach"), s.secondaryButton, this);
    m_attach->setIcon(glass::SymbolIcons::icon(QStringLiteral("paperclip"), s.secondaryButton.text, 12));
    m_attach->setToolTip(QStringLiteral("Attach this file to your next message so Qirv sees it as context."));
    m_reveal = new glass::StyledButton(QString(), s.secondaryButton, this);
    m_reveal->setIcon(glass::SymbolIcons::icon(QStringLiteral("folder"), s.secondaryButton.text, 13));
    m_reveal->setToolTip(QStringLiteral("Show in File Manager"));
    m_reveal->setAccessibleName(QStringLiteral("Show in File Manager"));
    m_close = new glass::SymbolButton(QStringLiteral("xmark"), s.textTertiary, QStringLiteral("Close peek"), this);
    header->addWidget(m_attach);
    header->addWidget(m_reveal);
    header->addWidget(m_close);
    column->addLayout(header);
    // The 1-pixel line under the header.
    column->addWidget(new glass::HairlineRule(styles, [](const glass::Styles &st) { return st.separator; }, this));

    m_body = new QStackedWidget(this);
    m_text = new QPlainTextEdit(m_body);
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap); // long lines are reached by scrolling sideways
    m_text->setFrameShape(QFrame::NoFrame);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text->viewport()->setAutoFillBackground(false);
    m_text->document()->setDocumentMargin(14);
    m_nothing = new PanelEmptyState(styles, QStringLiteral("doc.questionmark"), 20, QString(),
                                    QStringLiteral("Nothing to preview"), m_body);
    m_body->addWidget(m_text);
    m_body->addWidget(m_nothing);
    column->addWidget(m_body, 1);
    auto *edge = new Edge(this);
    glass::attachToHost(edge, this, glass::HostFollower::Placement::over);

    connect(m_attach, &QAbstractButton::clicked, this, [this] { m_app.attachProjectFile(m_file.url.toLocalFile()); });
    connect(m_reveal, &QAbstractButton::clicked, this, [this] { m_app.revealInFinder(m_file.url.toLocalFile()); });
    connect(m_close, &QAbstractButton::clicked, this, [this] { m_app.setPeekedFile(std::nullopt); });
    connect(&m_styles, &glass::StyleStore::changed, this, &FilePeekView::restyle);
    // Shown exactly while the controller holds a peeked file.
    connect(&m_app, &app::AppViewModel::peekedFileChanged, this, [this] {
        if (const auto &file = m_app.peekedFile())
            setFile(*file);
        setVisible(m_app.peekedFile().has_value());
    });
    if (const auto &file = m_app.peekedFile())
        setFile(*file);
    setVisible(m_app.peekedFile().has_value());
    restyle();
}

QSize FilePeekView::sizeHint() const
{
    QSize hint = QWidget::sizeHint();
    // The header and its rule, then the body as tall as its content.
    const int header = layout()->itemAt(0)->sizeHint().height() + 1;
    int body = m_nothing->sizeHint().height();
    if (m_body->currentWidget() == m_text) {
        const QTextDocument *doc = m_text->document();
        // Lines are alike (no wrapping, one font): one line's height does for
        // all. The last line holds the margin below too.
        const qreal line =
            doc->documentLayout()->blockBoundingRect(doc->lastBlock()).height() - doc->documentMargin();
        const int lines = qMin(doc->blockCount(), kMaxHeight);
        // The margins above and below, and the pixel the text view keeps free.
        body = int(std::ceil(lines * line + 2 * doc->documentMargin())) + 1 + 2 * m_text->frameWidth();
        // A scroll bar that takes room of its own, when lines are wider than the view.
        if (!style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, m_text) &&
            doc->documentLayout()->documentSize().width() > m_text->viewport()->width())
            body += m_text->horizontalScrollBar()->sizeHint().height();
    }
    hint.setHeight(qMin(kMaxHeight, header + body));
    return hint;
}

void FilePeekView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // A scroll bar of its own comes or goes with the width.
    if (sizeHint().height() != height())
        updateGeometry();
}

void FilePeekView::setFile(const model::PeekedFile &file)
{
    const bool sameText = file.content == m_file.content;
    m_file = file;
    m_path->setText(file.displayPath);
    m_path->setToolTip(file.displayPath);
    // A reader in the text hears which file it is reading.
    m_text->setAccessibleName(file.displayPath);
    m_meta->setText(metaLine(file));
    if (file.content) {
        // An empty text still shows an (empty) text area, not "Nothing to preview".
        if (!sameText || m_text->document()->isEmpty())
            m_text->setPlainText(*file.content);
        m_body->setCurrentWidget(m_text);
    } else {
        m_text->clear();
        m_body->setCurrentWidget(m_nothing);
    }
    restyle();
    updateGeometry();
}

void FilePeekView::restyle()
{
    const glass::Styles &s = m_styles.styles();
    const QString symbol = m_file.isBinary ? QStringLiteral("doc") : QStringLiteral("doc.text");
    m_symbol->setPixmap(glass::SymbolIcons::pixmap(symbol, 16, s.accent, devicePixelRatioF()));
    QFont pathFont = s.tertiary.font;
    pathFont.setWeight(QFont::DemiBold);
    m_path->setFont(pathFont);
    QFont metaFont = s.caption.font;
    m_meta->setFont(metaFont);
    glass::setInk(m_path, s.text);
    glass::setInk(m_meta, s.textTertiary);
    QFont mono = s.mono.font;
    mono.setPixelSize(11);
    m_text->setFont(mono);
    QPalette textPal = m_text->palette();
    QColor text = s.text;
    text.setAlphaF(0.92f);
    textPal.setColor(QPalette::Text, text);
    textPal.setColor(QPalette::Base, Qt::transparent);
    textPal.setColor(QPalette::Highlight, s.selection);
    m_text->setPalette(textPal);
    m_attach->setIcon(glass::SymbolIcons::icon(QStringLiteral("paperclip"), s.secondaryButton.text, 12));
    m_reveal->setIcon(glass::SymbolIcons::icon(QStringLiteral("folder"), s.secondaryButton.text, 13));
    m_attach->restyle();
    m_reveal->restyle();
    m_close->setColor(s.textTertiary);
    updateGeometry();
}

} // namespace panels
