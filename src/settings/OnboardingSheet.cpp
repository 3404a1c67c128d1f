#include "settings/OnboardingSheet.h"

#include "app/AppViewModel.h"
#include "glass/marks/AppIconMark.h"
#include "glass/look/QirvTheme.h"
#include "glass/sheets/SheetKeys.h"
#include "glass/controls/StyledButton.h"
#include "glass/look/TextInk.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>

namespace settings {

namespace {

constexpr int kTextWidth = 400;
constexpr int kBadge = 24;

// The step's number on a disc of the accent gradient.
class StepBadge : public QWidget {
public:
    StepBadge(const QString &number, glass::StyleStore &styles, QWidget *parent)
        : QWidget(parent), m_number(number), m_styles(styles)
    {
        setFixedSize(kBadge, kBadge);
        connect(&styles, &glass::StyleStore::changed, this, [this] { update(); });
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        const glass::Styles &s = m_styles.styles();
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF disc(0, 0, kBadge, kBadge);
        p.setPen(Qt::NoPen);
        p.setBrush(glass::QirvTheme::accentGradient(disc, s.skin));
        p.drawEllipse(disc);
        QFont font = s.caption.font;
        font.setWeight(QFont::Bold);
        p.setFont(font);
        p.setPen(QColor::fromRgbF(0, 0, 0, 0.85f));
        p.drawText(disc, Qt::AlignCenter, m_number);
    }

private:
    QString m_number;
    glass::StyleStore &m_styles;
};

QLabel *label(const QString &text, QWidget *parent, Qt::Alignment align)
{
    auto *l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(true);
    l->setAlignment(align);
    return l;
}

} // namespace

QList<OnboardingSheet::Step> OnboardingSheet::steps()
{
    return {
        {QStringLiteral("1"), QStringLiteral("Connect your Moonshelf"),
         QStringLiteral("Sign in with the Moonshelf subscription you already pay Ovu for. This app does not sell or "
                        "replace that subscription.")},
        {QStringLiteral("2"), QStringLiteral("Open a project folder"),
         QStringLiteral("Ctrl+O or the project chip. File & shell tools stay inside that folder. Show in File Manager or "
                        "Terminal anytime.")},
        {QStringLiteral("3"), QStringLiteral("Build with guardrails you own"),
         QStringLiteral("Writes and shell need your OK by default. Approve with a real diff preview. YOLO is opt-in in "
                        "Settings.")},
    };
}

OnboardingSheet::OnboardingSheet(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent), m_app(app), m_styles(styles)
{
    setObjectName(QStringLiteral("onboardingSheet"));
    setFixedSize(kSize);
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);

    auto *header = new QVBoxLayout;
    header->setContentsMargins(32, 28, 32, 0);
    header->setSpacing(18);
    auto *mark = new glass::AppIconMark(64, true, styles, this);
    header->addWidget(mark, 0, Qt::AlignHCenter);
    m_title = label(QStringLiteral("Welcome to Moonshelf Mac"), this, Qt::AlignHCenter);
    header->addWidget(m_title);
    m_subtitle = label(QStringLiteral("A native build stage for Qirv on Linux. Open a project, run a session, ship."),
                       this, Qt::AlignHCenter);
    // A wrapped label asks for little width: give it the whole column.
    m_subtitle->setFixedWidth(kTextWidth);
    header->addWidget(m_subtitle, 0, Qt::AlignHCenter);
    m_disclaimer = label(QStringLiteral("Independent third-party desktop app. Requires your own Moonshelf subscription from "
                                        "Ovu. Not affiliated with, endorsed by, or part of Ovu."),
                         this, Qt::AlignHCenter);
    m_disclaimer->setFixedWidth(kTextWidth);
    m_disclaimer->setContentsMargins(0, 4, 0, 0);
    header->addWidget(m_disclaimer, 0, Qt::AlignHCenter);
    page->addLayout(header);

    auto *stepsColumn = new QVBoxLayout;
    stepsColumn->setContentsMargins(36, 28, 36, 0);
    stepsColumn->setSpacing(14);
    for (const Step &step : steps()) {
        auto *row = new QHBoxLayout;
        row->setSpacing(14);
        row->addWidget(new StepBadge(step.number, styles, this), 0, Qt::AlignTop);
        auto *texts = new QVBoxLayout;
        texts->setSpacing(4);
        QLabel *title = label(step.title, this, Qt::AlignLeft);
        QLabel *detail = label(step.detail, this, Qt::AlignLeft);
        texts->addWidget(title);
        texts->addWidget(detail);
        m_stepTitles.append(title);
        m_stepDetails.append(detail);
        row->addLayout(texts, 1);
        stepsColumn->addLayout(row);
    }
    page->addLayout(stepsColumn);
    page->addStretch(1);
    page->addSpacing(20);

    auto *buttons = new QVBoxLayout;
    buttons->setContentsMargins(36, 0, 36, 28);
    buttons->setSpacing(10);
    m_build = new glass::StyledButton(QStringLiteral("Let's build"), m_buildStyle, this);
    m_build->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_settings = new glass::StyledButton(QStringLiteral("Open Settings first…"), m_settingsStyle, this);
    // Return belongs to "Let's build" whichever button has focus (keyPressEvent).
    m_build->setAutoDefault(false);
    m_settings->setAutoDefault(false);
    buttons->addWidget(m_build);
    buttons->addWidget(m_settings, 0, Qt::AlignHCenter);
    page->addLayout(buttons);

    connect(m_build, &QAbstractButton::clicked, this, [this] { complete(false); });
    connect(m_settings, &QAbstractButton::clicked, this, [this] { complete(true); });
    connect(&m_styles, &glass::StyleStore::changed, this, &OnboardingSheet::restyle);
    restyle();
}

void OnboardingSheet::complete(bool openSettings)
{
    // The flag is saved and the sheet dismissed before settings open.
    m_app.completeOnboarding(openSettings);
}

bool OnboardingSheet::event(QEvent *event)
{
    // Return and Escape are the sheet's while focus is inside it: the
    // window's own shortcuts for them must not fire.
    if (glass::SheetKeys::claimShortcutOverride(event))
        return true;
    return QWidget::event(event);
}

void OnboardingSheet::keyPressEvent(QKeyEvent *event)
{
    if (event->modifiers() & ~Qt::KeypadModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        complete(false);
        return;
    case Qt::Key_Escape:
        // Only the two buttons close the welcome.
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void OnboardingSheet::restyle()
{
    const glass::Styles &s = m_styles.styles();
    m_buildStyle = s.primary;
    m_buildStyle.font = s.headline.font;
    m_buildStyle.height = QFontMetrics(s.headline.font).height() + 24;
    m_settingsStyle = s.plain;
    m_settingsStyle.font = s.secondary.font;
    m_settingsStyle.text = s.textSecondary;
    m_build->restyle();
    m_settings->restyle();

    QFont title = s.title.font;
    title.setPixelSize(26);
    title.setWeight(QFont::DemiBold);
    glass::setTextStyle(m_title, title, s.text);
    glass::setTextStyle(m_subtitle, s.secondary.font, s.textSecondary);
    glass::setTextStyle(m_disclaimer, s.caption.font, s.textTertiary);
    QFont stepTitle = s.tertiary.font;
    stepTitle.setWeight(QFont::DemiBold);
    for (QLabel *l : std::as_const(m_stepTitles))
        glass::setTextStyle(l, stepTitle, s.text);
    for (QLabel *l : std::as_const(m_stepDetails))
        glass::setTextStyle(l, s.caption.font, s.textSecondary);
}

} // namespace settings
