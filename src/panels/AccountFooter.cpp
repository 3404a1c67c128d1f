#include "panels/AccountFooter.h"

#include "app/AccountController.h"
#include "app/AppViewModel.h"
#include "app/Donation.h"
#include "glass/look/QirvTheme.h"
#include "glass/look/Styles.h"
#include "glass/controls/SymbolButton.h"
#include "glass/look/SymbolIcons.h"

#include <QBoxLayout>
#include <QPainter>
#include <QRadialGradient>

namespace panels {

namespace {
constexpr int kDot = 8;
constexpr int kGear = 14;

QFont titleFont(const glass::Styles &s)
{
    QFont f = s.tertiary.font; // subheadline, medium
    f.setWeight(QFont::Medium);
    return f;
}
} // namespace

AccountButton::AccountButton(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent)
    : QAbstractButton(parent), m_app(app), m_styles(styles)
{
    setObjectName(QStringLiteral("accountButton"));
    setToolTip(QStringLiteral("Settings"));
    setAccessibleName(QStringLiteral("Settings"));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, &m_app, [this] { m_app.setShowSettings(true); });
    using VM = app::AppViewModel;
    connect(&m_app, &VM::isAuthenticatedChanged, this, [this] { update(); });
    connect(&m_app, &VM::authStatusTextChanged, this, [this] { update(); });
    connect(&m_app.account(), &app::AccountController::sessionChanged, this, [this] { update(); });
    connect(&m_styles, &glass::StyleStore::changed, this, [this] {
        updateGeometry();
        update();
    });
}

QString AccountButton::title(const std::optional<QString> &email, bool isAuthenticated)
{
    if (email)
        return *email;
    return isAuthenticated ? QStringLiteral("Connected") : QStringLiteral("Sign in");
}

QString AccountButton::currentTitle() const
{
    return title(m_app.accountEmail(), m_app.isAuthenticated());
}

QSize AccountButton::sizeHint() const
{
    const glass::Styles &s = m_styles.styles();
    const int lines = QFontMetrics(titleFont(s)).height() + 2 + QFontMetrics(s.caption.font).height();
    return {160, 10 + lines + 10};
}

void AccountButton::paintEvent(QPaintEvent *)
{
    const glass::Styles &s = m_styles.styles();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();
    if ((underMouse() || isDown()) && isEnabled()) {
        QColor fill = s.text;
        fill.setAlphaF(isDown() ? 0.10f : 0.05f);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(r.adjusted(4, 3, -2, -3), 8, 8);
    }

    // The dot with a glow of its own colour.
    const QColor dot = m_app.isAuthenticated() ? s.success : s.accent;
    const QPointF centre(12 + kDot / 2.0, r.center().y());
    QRadialGradient glow(centre, kDot / 2.0 + 4);
    glow.setColorAt(0.45, glass::QirvTheme::withOpacity(dot, 0.6));
    glow.setColorAt(1.0, glass::QirvTheme::withOpacity(dot, 0.0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(centre, kDot / 2.0 + 4, kDot / 2.0 + 4);
    p.setBrush(dot);
    p.drawEllipse(centre, kDot / 2.0, kDot / 2.0);

    const qreal textLeft = 12 + kDot + 10;
    const qreal gearLeft = r.right() - 8 - kGear;
    const qreal textWidth = std::max<qreal>(0, gearLeft - 4 - textLeft);
    const QFont top = titleFont(s);
    const QFontMetricsF topMetrics(top);
    const QFontMetricsF bottomMetrics(s.caption.font);
    const qreal block = topMetrics.height() + 2 + bottomMetrics.height();
    const qreal y = r.center().y() - block / 2;
    p.setFont(top);
    p.setPen(s.text);
    p.drawText(QRectF(textLeft, y, textWidth, topMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
               topMetrics.elidedText(currentTitle(), Qt::ElideRight, textWidth));
    p.setFont(s.caption.font);
    p.setPen(s.textSecondary);
    p.drawText(QRectF(textLeft, y + topMetrics.height() + 2, textWidth, bottomMetrics.height()),
               Qt::AlignLeft | Qt::AlignVCenter,
               bottomMetrics.elidedText(m_app.authStatusText(), Qt::ElideRight, textWidth));

    const QRectF gear(gearLeft, r.center().y() - kGear / 2.0, kGear, kGear);
    p.drawImage(gear, glass::SymbolIcons::render(QStringLiteral("gearshape"), gear.size(), s.textTertiary,
                                                 devicePixelRatioF()));
}

AccountFooter::AccountFooter(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent)
    : QWidget(parent), m_app(app), m_styles(styles)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    m_account = new AccountButton(app, styles, this);
    row->addWidget(m_account, 1);
    if (app::Donation::isConfigured()) {
        const glass::Styles &s = styles.styles();
        m_tip = new glass::SymbolButton(QStringLiteral("heart.fill"), glass::QirvTheme::withOpacity(s.accent, 0.85),
                                        app::Donation::buttonHelp(), this);
        m_tip->setObjectName(QStringLiteral("tipButton"));
        // Its help text is a sentence: the name is short, the sentence its description.
        m_tip->setAccessibleName(QStringLiteral("Tip"));
        m_tip->setAccessibleDescription(app::Donation::buttonHelp());
        m_tip->setSymbolSize(12);
        m_tip->setFixedSize(28, 28);
        m_tip->setCursor(Qt::PointingHandCursor);
        row->addWidget(m_tip);
        row->addSpacing(8);
        connect(m_tip, &QAbstractButton::clicked, &m_app, [this] { m_app.openTipJar(); });
        connect(&m_styles, &glass::StyleStore::changed, m_tip, [this] {
            m_tip->setColor(glass::QirvTheme::withOpacity(m_styles.styles().accent, 0.85));
        });
    }
}

} // namespace panels
