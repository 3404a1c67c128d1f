#include "settings/SectionCard.h"

#include "glass/look/TextInk.h"
#include "settings/RoundedBox.h"
#include "settings/SettingsLook.h"
#include "settings/SettingsText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace settings {

class SectionCard::Card : public QWidget {
public:
    using QWidget::QWidget;
    QColor fill, stroke;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        paintRoundedBox(p, rect(), 12, fill, stroke);
    }
};

SectionCard::SectionCard(const QString &title, const QString &symbol, QWidget *parent) : QWidget(parent)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);

    auto *titleRow = new QHBoxLayout;
    titleRow->setSpacing(6);
    m_symbol = new SymbolView(symbol, 13, this);
    m_title = makeText(title, this, false);
    titleRow->addWidget(m_symbol);
    titleRow->addWidget(m_title);
    titleRow->addStretch(1);
    column->addLayout(titleRow);

    m_card = new Card(this);
    m_content = new QVBoxLayout(m_card);
    m_content->setContentsMargins(14, 14, 14, 14);
    m_content->setSpacing(12);
    m_content->setAlignment(Qt::AlignTop);
    column->addWidget(m_card);
}

QWidget *SectionCard::card() const
{
    return m_card;
}

QString SectionCard::title() const
{
    return m_title->text();
}

void SectionCard::applyLook(const SettingsLook &look)
{
    glass::setTextStyle(m_title, look.sectionTitle, look.textSecondary);
    m_symbol->setColor(look.textSecondary);
    m_card->fill = look.elevated;
    m_card->stroke = look.border;
    m_card->update();
}

} // namespace settings
