#include "settings/ModelSection.h"

#include "app/AppViewModel.h"
#include "glass/look/Contrast.h"
#include "glass/controls/FocusRing.h"
#include "glass/look/SymbolIcons.h"
#include "glass/look/TextInk.h"
#include "model/SettingsStore.h"
#include "settings/FieldFrame.h"
#include "settings/RoundedBox.h"
#include "settings/SettingsText.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

namespace settings {

namespace {
constexpr int kPadding = 10;
constexpr int kMark = 16;
} // namespace

ModelRow::ModelRow(const model::QirvModelOption &option, QWidget *parent) : QAbstractButton(parent), m_option(option)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    glass::FocusRing::setShape(this, 8);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(option.title);
    // Checked is how a reader hears which row is chosen; a click asks for the
    // choice, which comes back through setSelected.
    setCheckable(true);
}

void ModelRow::setSelected(bool selected)
{
    m_selected = selected;
    setChecked(selected);
    update();
}

void ModelRow::applyLook(const SettingsLook &look)
{
    m_look = look;
    updateGeometry();
    update();
}

QSize ModelRow::sizeHint() const
{
    const int height = QFontMetrics(m_look.captionBold).height() + 2 + QFontMetrics(m_look.caption).height();
    return QSize(200, std::max(height, QFontMetrics(m_look.callout).height() + 2 + QFontMetrics(m_look.caption).height()) +
                          2 * kPadding);
}

void ModelRow::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const SettingsLook &l = m_look;
    const QColor fill = m_selected ? SettingsLook::faded(l.accent, l.light ? 0.10 : 0.14)
                                   : SettingsLook::faded(l.elevated2, 0.55);
    // White at 0.14 around an unselected row on every skin (on a light
    // card it is a faint lift of the edge, not a line).
    const QColor stroke = m_selected ? SettingsLook::faded(l.accent, 0.35) : QColor::fromRgbF(1, 1, 1, 0.14f);
    paintRoundedBox(p, rect(), 8, fill, stroke);

    // Text is checked against the row as it is painted over the card.
    const QColor ground = glass::Contrast::over(fill, l.elevated);
    const QColor titleInk = glass::Contrast::ensure(l.text, ground, 4.5);
    const QColor subtitleInk = glass::Contrast::ensure(l.textTertiary, ground, 3.0);
    const QColor accentInk = glass::Contrast::ensure(l.accent, ground, 3.0);

    QFont titleFont = l.callout;
    titleFont.setWeight(QFont::DemiBold);
    const QFontMetrics titleMetrics(titleFont);
    const QFontMetrics subtitleMetrics(l.caption);
    const int top = (height() - titleMetrics.height() - 2 - subtitleMetrics.height()) / 2;
    int x = kPadding;
    p.setFont(titleFont);
    p.setPen(titleInk);
    p.drawText(QPoint(x, top + titleMetrics.ascent()), m_option.title);
    x += titleMetrics.horizontalAdvance(m_option.title) + 6;
    if (m_option.badge) {
        const QFontMetrics badgeMetrics(l.badge);
        const QRectF badge(x, top + (titleMetrics.height() - badgeMetrics.height() - 2) / 2.0,
                           badgeMetrics.horizontalAdvance(*m_option.badge) + 10, badgeMetrics.height() + 2);
        QPainterPath capsule;
        capsule.addRoundedRect(badge, badge.height() / 2, badge.height() / 2);
        p.fillPath(capsule, SettingsLook::faded(l.accent, 0.14));
        p.setFont(l.badge);
        p.setPen(accentInk);
        p.drawText(badge, Qt::AlignCenter, *m_option.badge);
    }
    p.setFont(l.caption);
    p.setPen(subtitleInk);
    const int subtitleWidth = width() - 2 * kPadding - kMark - 8;
    p.drawText(QPoint(kPadding, top + titleMetrics.height() + 2 + subtitleMetrics.ascent()),
               subtitleMetrics.elidedText(m_option.subtitle, Qt::ElideRight, subtitleWidth));
    if (m_selected) {
        const QImage mark = glass::SymbolIcons::render(QStringLiteral("checkmark.circle.fill"), QSizeF(kMark, kMark),
                                                       accentInk, devicePixelRatioF());
        p.drawImage(QPointF(width() - kPadding - kMark, (height() - kMark) / 2.0), mark);
    }
}

ModelSection::ModelSection(app::AppViewModel &app, QWidget *parent) : QWidget(parent), m_app(app)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);

    auto *list = new QVBoxLayout;
    list->setSpacing(8);
    for (const model::QirvModelOption &option : model::ModelCatalog::options()) {
        auto *row = new ModelRow(option, this);
        connect(row, &QAbstractButton::clicked, this, [this, id = option.id] {
            // A tap replaces whatever was being typed.
            m_pending.reset();
            m_writeTimer->stop();
            writeModel(id);
        });
        list->addWidget(row);
        m_rows.append(row);
    }
    column->addLayout(list);

    m_label = makeText(QStringLiteral("Or paste a custom API id"), this, false);
    m_label->setContentsMargins(0, 4, 0, 0);
    column->addWidget(m_label);
    m_field = new FieldFrame(QStringLiteral("e.g. qirv-4.5"), this);
    m_field->edit()->setAccessibleName(QStringLiteral("Custom API id"));
    column->addWidget(m_field);
    m_caption = makeText(QStringLiteral("Composer chip uses the same list. Flagship default is Qirv 4.5."), this, true);
    column->addWidget(m_caption);

    m_writeTimer = new QTimer(this);
    m_writeTimer->setSingleShot(true);
    m_writeTimer->setInterval(kWriteIntervalMs);
    connect(m_writeTimer, &QTimer::timeout, this, &ModelSection::flush);
    connect(m_field->edit(), &QLineEdit::textEdited, this, [this](const QString &text) {
        m_pending = text;
        // Not restarted on each key: a steady typist still gets a write
        // every interval.
        if (!m_writeTimer->isActive())
            m_writeTimer->start();
    });
    connect(m_field->edit(), &QLineEdit::editingFinished, this, &ModelSection::flush);
    connect(&m_app.settingsStore(), &model::SettingsStore::settingsChanged, this, &ModelSection::sync);
    sync();
}

ModelSection::~ModelSection()
{
    flush();
}

void ModelSection::flush()
{
    m_writeTimer->stop();
    if (!m_pending)
        return;
    const QString text = *m_pending;
    m_pending.reset();
    writeModel(text);
}

void ModelSection::writeModel(const QString &id)
{
    model::AppSettings settings = m_app.settingsStore().settings();
    settings.model = id;
    m_app.settingsStore().setSettings(settings);
}

void ModelSection::sync()
{
    const QString &model = m_app.settingsStore().settings().model;
    for (ModelRow *row : m_rows)
        row->setSelected(row->option().id == model);
    // What is being typed stays until it is written.
    if (!m_pending && m_field->edit()->text() != model) {
        const QSignalBlocker block(m_field->edit());
        m_field->edit()->setText(model);
    }
}

void ModelSection::applyLook(const SettingsLook &look)
{
    for (ModelRow *row : m_rows)
        row->applyLook(look);
    glass::setTextStyle(m_label, look.captionBold, look.textTertiary);
    glass::setTextStyle(m_caption, look.caption, look.textSecondary);
    m_field->setFieldStyle(look.field, 10);
    m_field->setChipFrost(look.skin);
}

} // namespace settings
