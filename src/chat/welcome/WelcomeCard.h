#pragma once

#include <QWidget>

class QBoxLayout;
class QLabel;
class QMenu;

namespace app {
class AppViewModel;
}
namespace glass {
class StyleStore;
}

namespace chat {

class ConnectEmberCapsule;
class StatusChip;

// What an empty session shows: the app mark, the question, the tagline and
// a status row with the account (a live badge, or the glowing capsule that
// opens the settings) and the project (its folder's name with a menu of
// project actions, or "Open folder"), on a glass card.
class WelcomeCard : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTaglineMaxWidth = 440;
    static constexpr int kCardPadding = 28;

    WelcomeCard(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent = nullptr);

    // Puts a card into the chat list's welcome slot (its layout).
    static WelcomeCard *install(QWidget *slot, app::AppViewModel &app, glass::StyleStore &styles);

    QWidget *card() const { return m_card; }
    QLabel *title() const { return m_title; }
    // Exactly one of these two is shown: the badge while signed in.
    // The project's chip ("Open folder" without a project) and its menu.
    StatusChip *projectChip() const { return m_project; }

    // The last component of the folder's path, a trailing slash ignored.
    static QString folderName(const QString &rootPath);

    // Counts the status row as it will lie at that width (stacked when narrow).
    int heightForWidth(int width) const override;
    bool hasHeightForWidth() const override { return true; }
    bool chipsStacked() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    bool chipsStackAt(int width) const;
    void placeChips();
    void refresh();
    void applyLook();
    void fillProjectMenu();
    void onProjectChip();

    app::AppViewModel &m_app;
    glass::StyleStore &m_styles;
    QWidget *m_card = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_tagline = nullptr;
    StatusChip *m_live = nullptr;
    ConnectEmberCapsule *m_connect = nullptr;
    StatusChip *m_project = nullptr;
    QMenu *m_menu = nullptr;
    QBoxLayout *m_chips = nullptr;
};

} // namespace chat
