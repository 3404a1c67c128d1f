#pragma once

#include "glass/look/Styles.h"

#include <QWidget>

class QLabel;

namespace app {
class AppViewModel;
}
namespace glass {
class StyledButton;
}

namespace settings {

// The welcome shown once, on a first start: the app's mark, a title, a line
// and a disclaimer, three numbered first steps, and two ways out. Both mark
// onboarding complete (saved with the settings), so it does not come back;
// "Open Settings first…" also opens the settings window. Return is
// "Let's build"; there is no other way to close it.
class OnboardingSheet : public QWidget {
    Q_OBJECT
public:
    OnboardingSheet(app::AppViewModel &app, glass::StyleStore &styles, QWidget *parent = nullptr);

    static constexpr QSize kSize{480, 560};

    struct Step {
        QString number, title, detail;
    };
    static QList<Step> steps();


    QSize sizeHint() const override { return kSize; }

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void complete(bool openSettings);
    void restyle();

    app::AppViewModel &m_app;
    glass::StyleStore &m_styles;
    glass::ButtonStyle m_buildStyle;
    glass::ButtonStyle m_settingsStyle;
    QLabel *m_title = nullptr;
    QLabel *m_subtitle = nullptr;
    QLabel *m_disclaimer = nullptr;
    QList<QLabel *> m_stepTitles;
    QList<QLabel *> m_stepDetails;
    glass::StyledButton *m_build = nullptr;
    glass::StyledButton *m_settings = nullptr;
};

} // namespace settings
