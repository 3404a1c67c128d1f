#pragma once

#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace settings {

class SymbolView;
struct SettingsLook;

// The titled card every settings section stands in: the title with its
// symbol above a rounded card holding the section's content.
class SectionCard : public QWidget {
    Q_OBJECT
public:
    SectionCard(const QString &title, const QString &symbol, QWidget *parent = nullptr);

    QString title() const;
    // Where the section puts its content (spacing 12).
    QVBoxLayout *content() const { return m_content; }
    QWidget *card() const;
    void applyLook(const SettingsLook &look);

private:
    class Card;
    SymbolView *m_symbol = nullptr;
    QLabel *m_title = nullptr;
    Card *m_card = nullptr;
    QVBoxLayout *m_content = nullptr;
};

} // namespace settings
