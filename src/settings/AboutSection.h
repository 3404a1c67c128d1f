#pragma once

#include "settings/SettingsBanner.h"
#include "settings/SettingsLook.h"

#include <QWidget>

#include <QCoroTask>

class QLabel;

namespace app {
class AccountController;
}

namespace settings {

class ClinkingGlasses;
class LinkButton;
class SettingsButton;

// What the app is and is not, that it is free, and the maker's link.
class AboutSection : public QWidget {
    Q_OBJECT
public:
    AboutSection(app::AccountController &links, QWidget *parent = nullptr);
    void applyLook(const SettingsLook &look);

private:
    QLabel *m_intro = nullptr;
    QLabel *m_disclaimer = nullptr;
    QLabel *m_free = nullptr;
    LinkButton *m_maker = nullptr;
};

// Free, with an optional tip: a button and the glasses that open the tip
// link, or a note when no link is built in.
class TipSection : public QWidget {
    Q_OBJECT
public:
    TipSection(app::AccountController &links, QWidget *parent = nullptr);
    void applyLook(const SettingsLook &look);

    ClinkingGlasses *glasses() const { return m_glasses; }
    bool showsTipControls() const { return m_tip != nullptr; }

    // The note shown when no tip link is built in.
    static QString notLinkedText();

signals:
    void bannerRequested(const settings::Banner &banner);

private:
    QCoro::Task<> tip();

    app::AccountController &m_links;
    QLabel *m_free = nullptr;
    QLabel *m_optional = nullptr;
    SettingsButton *m_tip = nullptr;
    ClinkingGlasses *m_glasses = nullptr;
    QLabel *m_caption = nullptr;
};

} // namespace settings
