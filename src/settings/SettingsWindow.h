#pragma once

#include "app/SettingsSection.h"
#include "glass/sheets/SheetOverlay.h"
#include "settings/SettingsBanner.h"
#include "settings/SettingsLook.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QScrollArea;

namespace app {
class AppViewModel;
}
namespace glass {
class StyleStore;
}

namespace settings {

class AboutSection;
class AgentSection;
class ApiKeySection;
class BackgroundCard;
class ModelSection;
class SafetySection;
class TipSection;
class BannerView;
class ColorPane;
class SectionCard;
class SettingsButton;
class SignInSection;

// The settings window: a header with "Done", the one banner, and a
// scrolling column of eight section cards. Its own top-level window with
// the window manager's decorations, 520 wide and at least 480 high.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 520;
    static constexpr int kMinHeight = 480;
    static constexpr int kMaxHeight = 50000;
    static constexpr int kDefaultHeight = 780;

    SettingsWindow(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent = nullptr);

    const std::optional<Banner> &banner() const { return m_banner; }
    void setBanner(const Banner &banner);

    // An alert with one "OK" button, a sheet in this window, a warning when
    // the title says something failed. Tests may hand in their own presenter.
    using AlertPresenter = std::function<void(const QString &title, const QString &message, bool warning)>;
    void setAlertPresenter(AlertPresenter presenter) { m_presentAlert = std::move(presenter); }
    void presentAlert(const QString &title, const QString &message);

    // Refreshes the controller's sign-in fields and closes the window (also Escape).
    void done();

    // Scrolls the column so the section's title stands at its top.
    void showSection(app::SettingsSection section);

    const QList<SectionCard *> &sections() const { return m_sections; }
    // Where the alerts show; null until the first one.
    glass::SheetOverlay *sheets() const { return m_sheets; }
    BannerView *bannerView() const { return m_bannerView; }
    const SettingsLook &look() const { return m_look; }

signals:
    void bannerChanged();

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void applyLook();
    void onAppear();
    SectionCard *addSection(const QString &title, const QString &symbol);
    void showAlertSheet(const QString &title, const QString &message, bool warning);
    void scrollToSection();

    app::AppViewModel &m_app;
    glass::StyleStore &m_styles;
    SettingsLook m_look;
    std::optional<Banner> m_banner;
    AlertPresenter m_presentAlert;

    QPointer<glass::SheetOverlay> m_sheets;
    ColorPane *m_header = nullptr;
    QLabel *m_title = nullptr;
    SettingsButton *m_done = nullptr;
    QWidget *m_bannerRow = nullptr;
    BannerView *m_bannerView = nullptr;
    ColorPane *m_divider = nullptr;
    QScrollArea *m_scroll = nullptr;
    QWidget *m_column = nullptr;
    QList<SectionCard *> m_sections;
    qsizetype m_shownSection = -1; // asked by showSection(), until laid out
    SignInSection *m_signIn = nullptr;
    ApiKeySection *m_apiKey = nullptr;
    AboutSection *m_about = nullptr;
    TipSection *m_tip = nullptr;
    BackgroundCard *m_background = nullptr;
    ModelSection *m_model = nullptr;
    SafetySection *m_safety = nullptr;
    AgentSection *m_agent = nullptr;
};

} // namespace settings
