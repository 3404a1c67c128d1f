// The model, safety, agent, stage, about and tip sections: what they show of
// the settings and the stage state, and what each control changes.
#include "SettingsTestKit.h"

#include "app/AccountController.h"
#include "app/Donation.h"
#include "model/BrandDisclaimer.h"
#include "glass/paint/FrostShape.h"
#include "glass/paint/GlassPainter.h"
#include "glass/controls/GlassSwitch.h"
#include "model/ModelCatalog.h"
#include "model/SettingsStore.h"
#include "platform/UserDefaults.h"
#include "stage/OverlayPercent.h"
#include "settings/AboutSection.h"
#include "settings/AgentSection.h"
#include "settings/BackgroundCard.h"
#include "settings/BusyIndicator.h"
#include "settings/ClinkingGlasses.h"
#include "settings/FieldFrame.h"
#include "settings/LinkButton.h"
#include "settings/ModelSection.h"
#include "settings/SafetySection.h"
#include "settings/SectionValues.h"
#include "settings/SegmentedControl.h"
#include "settings/SettingsButton.h"
#include "settings/Stepper.h"
#include "stage/StagePhotoCatalog.h"
#include "support/NamedWidget.h"
#include "support/TestEnvironment.h"
#include "support/TestMain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QSlider>
#include <QWheelEvent>

#include <cmath>
#include <limits>

using namespace settingstest;
using settings::SettingsWindow;
namespace Values = settings::SectionValues;

namespace {

// The custom model id field, as a screen reader names it.
const QString kCustomField = QStringLiteral("Custom API id");

} // namespace

class SectionsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Rig> m_rig;

    SettingsWindow &makeWindow(const model::AppSettings &settings = {})
    {
        m_rig = std::make_unique<Rig>();
        SettingsWindow &window = m_rig->make();
        m_rig->vm().settingsStore().setSettings(settings);
        window.show();
        return window;
    }
    const model::AppSettings &stored() { return m_rig->vm().settingsStore().settings(); }

private slots:
    void init()
    {
        authtest::resetStoredState();
        platform::UserDefaults::setValue(QString::fromLatin1(platform::UserDefaults::kExplicitSignOut), true);
    }
    void cleanup() { m_rig.reset(); }

    void overlayPercent_data()
    {
        QTest::addColumn<double>("opacity");
        QTest::addColumn<QString>("shown");
        QTest::newRow("0.29 is not 28") << 0.29 << "29%";
        QTest::newRow("0.57 is not 56") << 0.57 << "57%";
        QTest::newRow("0.357 truncates") << 0.357 << "35%";
        QTest::newRow("0.999") << 0.999 << "99%";
        QTest::newRow("one") << 1.0 << "100%";
        QTest::newRow("zero") << 0.0 << "0%";
        QTest::newRow("just under 0.29 stays 28") << 0.2899999 << "28%";
        QTest::newRow("above one") << 3.5 << "100%";
        QTest::newRow("negative") << -0.4 << "0%";
        QTest::newRow("not a number") << std::nan("") << "0%";
    }
    void overlayPercent()
    {
        QFETCH(double, opacity);
        QFETCH(QString, shown);
        QCOMPARE(stage::overlayPercentText(opacity), shown);
    }

    void timeoutLabel_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("label");
        QTest::newRow("default") << 120.0 << "Shell timeout: 120s";
        QTest::newRow("truncated") << 100.7 << "Shell timeout: 100s";
        QTest::newRow("below range shown as stored") << 5.0 << "Shell timeout: 5s";
        QTest::newRow("not a number") << std::nan("") << "Shell timeout: nans";
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "Shell timeout: infs";
        QTest::newRow("beyond 64 bits") << 1e300 << "Shell timeout: 1.0000000000000001e+300s";
    }
    void timeoutLabel()
    {
        QFETCH(double, seconds);
        QFETCH(QString, label);
        QCOMPARE(Values::timeoutLabel(seconds), label);
    }

    void stepping_data()
    {
        QTest::addColumn<QString>("range");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("direction");
        QTest::addColumn<bool>("offered");
        QTest::addColumn<double>("next");
        const double nan = std::nan("");
        QTest::newRow("iterations up") << "iterations" << 25.0 << 1 << true << 26.0;
        QTest::newRow("iterations at the top") << "iterations" << 50.0 << 1 << false << 50.0;
        QTest::newRow("iterations at the bottom") << "iterations" << 5.0 << -1 << false << 5.0;
        QTest::newRow("iterations below range step up") << "iterations" << 3.0 << 1 << true << 5.0;
        QTest::newRow("iterations above range step down") << "iterations" << 80.0 << -1 << true << 50.0;
        QTest::newRow("timeout up by 15") << "timeout" << 120.0 << 1 << true << 135.0;
        QTest::newRow("timeout at 600") << "timeout" << 600.0 << 1 << false << 600.0;
        QTest::newRow("timeout off the grid") << "timeout" << 100.0 << 1 << true << 115.0;
        QTest::newRow("timeout above range down") << "timeout" << 700.0 << -1 << true << 600.0;
        QTest::newRow("timeout not a number up") << "timeout" << nan << 1 << true << 15.0;
        QTest::newRow("timeout not a number down") << "timeout" << nan << -1 << true << 600.0;
    }
    void stepping()
    {
        QFETCH(QString, range);
        QFETCH(double, value);
        QFETCH(int, direction);
        QFETCH(bool, offered);
        QFETCH(double, next);
        const Values::StepRange &r = range == QLatin1String("timeout") ? Values::kTimeout : Values::kIterations;
        QCOMPARE(Values::canStep(value, direction, r), offered);
        if (offered)
            QCOMPARE(Values::stepped(value, direction, r), next);
    }

    // Rows mark the model in use; a tap writes its id; the field follows.
    void modelRows()
    {
        SettingsWindow &window = makeWindow();
        REQUIRE_CHILD(section, settings::ModelSection, &window);
        REQUIRE_NAMED(field, QLineEdit, section, kCustomField);
        QCOMPARE(section->rows().size(), model::ModelCatalog::options().size());
        const auto marked = [&] {
            QStringList ids;
            for (settings::ModelRow *row : section->rows())
                if (row->isSelected())
                    ids.append(row->option().id);
            return ids;
        };
        QCOMPARE(marked(), QStringList{QStringLiteral("qirv-4.5")});
        QCOMPARE(field->text(), QStringLiteral("qirv-4.5"));
        settings::ModelRow *last = section->rows().last();
        last->click();
        QCOMPARE(stored().model, last->option().id);
        QCOMPARE(marked(), QStringList{last->option().id});
        QCOMPARE(field->text(), last->option().id);
    }

    // Typing writes at most a few times a second and the rest on hiding;
    // another case or surrounding spaces mark no row.
    void customModelIsThrottled()
    {
        SettingsWindow &window = makeWindow();
        REQUIRE_CHILD(section, settings::ModelSection, &window);
        REQUIRE_NAMED(field, QLineEdit, section, kCustomField);
        QSignalSpy writes(&m_rig->vm().settingsStore(), &model::SettingsStore::settingsChanged);
        field->setFocus();
        field->selectAll();
        QElapsedTimer clock;
        clock.start();
        for (const QChar c : QStringLiteral("QIRV-4.5 custom"))
            QTest::keyClick(field, c.toLatin1(), Qt::NoModifier, 20);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(writes.size() <= elapsed / settings::ModelSection::kWriteIntervalMs + 1,
                 qPrintable(QStringLiteral("%1 writes in %2 ms").arg(writes.size()).arg(elapsed)));
        window.hide();
        QCOMPARE(stored().model, QStringLiteral("QIRV-4.5 custom"));
        for (settings::ModelRow *row : section->rows())
            QVERIFY(!row->isSelected());
    }

    void toolGuard_data()
    {
        QTest::addColumn<int>("stored"); // -1: none stored
        QTest::addColumn<bool>("powerUser");
        QTest::addColumn<bool>("yolo");
        QTest::addColumn<int>("shown");
        QTest::addColumn<bool>("danger");
        QTest::newRow("default ask") << 0 << false << false << 0 << false;
        QTest::newRow("legacy power user with yolo") << -1 << true << true << 2 << true;
        QTest::newRow("legacy power user without yolo") << -1 << true << false << 0 << false;
        QTest::newRow("balanced") << 1 << false << false << 1 << false;
    }
    void toolGuard()
    {
        QFETCH(int, stored);
        QFETCH(bool, powerUser);
        QFETCH(bool, yolo);
        QFETCH(int, shown);
        QFETCH(bool, danger);
        model::AppSettings settings;
        settings.toolGuardMode = stored < 0 ? std::nullopt : std::optional(model::kAllToolGuardModes.at(stored));
        settings.policyMode = powerUser ? model::PolicyMode::PowerUser : model::PolicyMode::Tiered;
        settings.yoloEnabled = yolo;
        SettingsWindow &window = makeWindow(settings);
        REQUIRE_CHILD(section, settings::SafetySection, &window);
        REQUIRE_NAMED(picker, settings::SegmentedControl, section, QStringLiteral("Tool guard"));
        REQUIRE_CHILD(caption, QLabel, section, QStringLiteral("guardCaption"));
        QCOMPARE(picker->current(), shown);
        QCOMPARE(section->captionIsDanger(), danger);
        QCOMPARE(caption->text(),
                 Values::guardCaption(model::kAllToolGuardModes.at(std::size_t(shown))).text);
        // Showing it wrote nothing back.
        QCOMPARE(this->stored().toolGuardMode, settings.toolGuardMode);
    }

    // Choosing a segment goes through the controller: mode and legacy fields.
    void choosingGuard()
    {
        SettingsWindow &window = makeWindow();
        REQUIRE_CHILD(section, settings::SafetySection, &window);
        REQUIRE_NAMED(picker, settings::SegmentedControl, section, QStringLiteral("Tool guard"));
        QTest::mouseClick(picker, Qt::LeftButton, {}, picker->segmentRect(2).center());
        QCOMPARE(stored().toolGuardMode, std::optional(model::ToolGuardMode::Yolo));
        QCOMPARE(stored().policyMode, model::PolicyMode::PowerUser);
        QVERIFY(stored().yoloEnabled);
        QTest::mouseClick(picker, Qt::LeftButton, {}, picker->segmentRect(1).center());
        QCOMPARE(stored().toolGuardMode, std::optional(model::ToolGuardMode::Balanced));
        QCOMPARE(stored().policyMode, model::PolicyMode::Tiered);
        QVERIFY(!stored().yoloEnabled);
        QVERIFY(!section->captionIsDanger());
    }

    // Out-of-range and odd stored limits are shown as stored; a step brings
    // them into range and writes once.
    void agentLimits()
    {
        model::AppSettings odd;
        odd.maxAgentIterations = 3;
        odd.shellTimeoutSeconds = 100.7;
        SettingsWindow &window = makeWindow(odd);
        REQUIRE_CHILD(section, settings::AgentSection, &window);
        REQUIRE_CHILD(iterations, settings::Stepper, section, QStringLiteral("iterations"));
        REQUIRE_CHILD(timeout, settings::Stepper, section, QStringLiteral("shellTimeout"));
        REQUIRE_NAMED(fewerIterations, settings::SettingsButton, section, QStringLiteral("Decrement Max tool iterations"));
        REQUIRE_NAMED(moreIterations, settings::SettingsButton, section, QStringLiteral("Increment Max tool iterations"));
        REQUIRE_NAMED(longerTimeout, settings::SettingsButton, section, QStringLiteral("Increment Shell timeout"));
        QCOMPARE(iterations->label(), QStringLiteral("Max tool iterations: 3"));
        QCOMPARE(timeout->label(), QStringLiteral("Shell timeout: 100s"));
        QCOMPARE(stored().maxAgentIterations, 3);
        QCOMPARE(stored().shellTimeoutSeconds, 100.7);
        QVERIFY(!fewerIterations->isEnabled());

        QSignalSpy writes(&m_rig->vm().settingsStore(), &model::SettingsStore::settingsChanged);
        moreIterations->click();
        QCOMPARE(stored().maxAgentIterations, 5);
        longerTimeout->click();
        QCOMPARE(stored().shellTimeoutSeconds, 115.0);
        QCOMPARE(writes.size(), 2);
        QCOMPARE(timeout->label(), QStringLiteral("Shell timeout: 115s"));
    }

    void agentLimitNotANumber()
    {
        model::AppSettings odd;
        odd.shellTimeoutSeconds = std::numeric_limits<double>::quiet_NaN();
        SettingsWindow &window = makeWindow(odd);
        REQUIRE_CHILD(section, settings::AgentSection, &window);
        REQUIRE_CHILD(timeout, settings::Stepper, section, QStringLiteral("shellTimeout"));
        REQUIRE_NAMED(longerTimeout, settings::SettingsButton, section, QStringLiteral("Increment Shell timeout"));
        QCOMPARE(timeout->label(), QStringLiteral("Shell timeout: nans"));
        longerTimeout->click();
        QCOMPARE(stored().shellTimeoutSeconds, 15.0);
    }

    // The stage card binds to the one stage state and reflects it.
    void stageCard()
    {
        SettingsWindow &window = makeWindow();
        REQUIRE_CHILD(card, settings::BackgroundCard, &window);
        REQUIRE_CHILD(percent, QLabel, card, QStringLiteral("overlayPercent"));
        REQUIRE_CHILD(status, QLabel, card, QStringLiteral("stageStatus"));
        REQUIRE_CHILD(credit, QWidget, card, QStringLiteral("photoCredit"));
        REQUIRE_CHILD(creditLine, QLabel, card, QStringLiteral("photoCreditLine"));
        REQUIRE_NAMED(overlay, QSlider, card, QStringLiteral("Overlay"));
        REQUIRE_NAMED(motion, glass::GlassSwitch, card, QStringLiteral("Motion"));
        REQUIRE_NAMED(shown, glass::GlassSwitch, card, QStringLiteral("Show background image / video"));
        REQUIRE_NAMED(url, QLineEdit, card, QStringLiteral("Image URL"));
        REQUIRE_NAMED(applyUrl, settings::SettingsButton, card, QStringLiteral("Apply URL"));
        REQUIRE_NAMED(turnOff, settings::SettingsButton, card, QStringLiteral("Turn off"));
        REQUIRE_NAMED(undo, settings::SettingsButton, card, QStringLiteral("Undo photo"));
        REQUIRE_NAMED(picsum, settings::LinkButton, card, QStringLiteral("Picsum"));
        stage::BackgroundSettings &bg = m_rig->background();
        // Shown on the slider's coarser steps, never written back rounded.
        bg.setOverlayOpacity(0.3574);
        QCOMPARE(percent->text(), QStringLiteral("35%"));
        QCOMPARE(bg.overlayOpacity(), 0.3574);
        bg.setIsEnabled(false);
        QVERIFY(!motion->isEnabled());
        QVERIFY(overlay->isEnabled());

        // The first-run image is loaded: moving the veil turns the stage on.
        QVERIFY(!bg.loadedImage().isNull());
        overlay->setValue(290);
        QCOMPARE(bg.overlayOpacity(), 0.29);
        // The wheel over a slider the user has not picked scrolls the page,
        // not the veil; once picked, it moves the slider.
        const auto wheel = [&] {
            QSlider *slider = overlay;
            const QPointF at(slider->width() / 2.0, slider->height() / 2.0);
            QWheelEvent event(at, slider->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(slider, &event);
        };
        overlay->clearFocus();
        wheel();
        QCOMPARE(overlay->value(), 290);
        overlay->setFocus();
        if (overlay->hasFocus()) { // focus needs an active window
            wheel();
            QVERIFY(overlay->value() != 290);
            overlay->setValue(290);
            overlay->clearFocus();
        }
        QCOMPARE(percent->text(), QStringLiteral("29%"));
        QVERIFY(bg.isEnabled());
        QVERIFY(shown->isChecked());

        shown->click();
        QVERIFY(!bg.isEnabled());
        QVERIFY(!motion->isEnabled());
        shown->click();
        QVERIFY(bg.isEnabled());
        QVERIFY(motion->isEnabled());
        motion->click();
        QCOMPARE(bg.animateKenBurns(), false);

        QVERIFY(!status->isVisibleTo(card));
        url->clear();
        bg.setCustomURLString(QString());
        applyUrl->click();
        QTRY_COMPARE(status->text(), QStringLiteral("Enter a valid http(s) image URL."));
        QVERIFY(status->isVisibleTo(card));

        // A curated address shows its credit as it is typed.
        QVERIFY(!credit->isVisibleTo(card));
        const QString curated = stage::StagePhotoCatalog::firstRunImageAddress();
        QTest::keyClicks(url, curated);
        QCOMPARE(bg.customURLString(), curated);
        QVERIFY(credit->isVisibleTo(card));
        QCOMPARE(creditLine->text(), stage::StagePhotoCatalog::credit(curated)->detailLine());
        REQUIRE_NAMED(creditLink, settings::LinkButton, card, settings::BackgroundCard::creditLinkText());
        creditLink->click();
        QCOMPARE(m_rig->desktop().opened.size(), 1);
        QVERIFY(app::AccountController::isWebAddress(m_rig->desktop().opened.first()));

        picsum->click();
        QCOMPARE(m_rig->desktop().opened.last(), settings::BackgroundCard::picsumHomePage());

        turnOff->click();
        QVERIFY(!bg.isEnabled());
        QVERIFY(!shown->isChecked());
        QCOMPARE(status->text(),
                 QStringLiteral("Background hidden. Your image is still saved for next time you turn it on."));
        QVERIFY(!undo->isEnabled() || bg.canUndo());
    }

    // A cancelled chooser changes nothing; an unreadable file says so.
    void stageChoosers()
    {
        SettingsWindow &window = makeWindow();
        REQUIRE_CHILD(card, settings::BackgroundCard, &window);
        REQUIRE_CHILD(status, QLabel, card, QStringLiteral("stageStatus"));
        REQUIRE_NAMED(choose, settings::SettingsButton, card, QStringLiteral("Choose image\u2026"));
        stage::BackgroundSettings &bg = m_rig->background();
        QStringList asked;
        QString answer;
        card->setFileChooser([&](const QString &message, const QStringList &) {
            asked.append(message);
            return answer;
        });
        const QString before = bg.statusMessage();
        choose->click();
        QCOMPARE(asked, QStringList{QStringLiteral("Choose image")});
        QCOMPARE(bg.statusMessage(), before);

        QTemporaryDir dir;
        answer = dir.filePath(QStringLiteral("not-an-image.png"));
        QFile file(answer);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("plain text");
        file.close();
        choose->click();
        QTRY_COMPARE(status->text(), QStringLiteral("Could not read image."));
    }

    // The tip link's browser fails a moment after it was asked: the tip
    // section says so then.
    void tipUnopened_data()
    {
        QTest::addColumn<bool>("browserWorks");
        QTest::addColumn<QString>("banner");
        QTest::newRow("opens") << true << "-";
        QTest::newRow("browser fails")
            << false
            << QStringLiteral("error: Couldn\u2019t open PayPal. No browser could be started to open %1. Copy the "
                              "address into a browser yourself.");
    }
    void tipUnopened()
    {
        QFETCH(bool, browserWorks);
        QFETCH(QString, banner);
        if (!app::Donation::isConfigured())
            QSKIP("no tip link in this build");
        SettingsWindow &window = makeWindow();
        m_rig->desktop().browserWorks = browserWorks;
        m_rig->desktop().answerAfter = std::chrono::milliseconds(200);
        REQUIRE_NAMED(tipButton, settings::SettingsButton, &window, QStringLiteral("Buy me a drink"));
        tipButton->click();
        QVERIFY(!window.banner());
        if (browserWorks) {
            QTest::qWait(400);
            QVERIFY(!window.banner());
        } else {
            QTRY_COMPARE(describe(window.banner()), banner.arg(app::Donation::tipJarURL()->toString()));
        }
    }

    // Both tip controls run the same action once; the maker's link opens.
    void tipAndAbout()
    {
        SettingsWindow &window = makeWindow();
        REQUIRE_CHILD(tip, settings::TipSection, &window);
        QCOMPARE(tip->showsTipControls(), app::Donation::isConfigured());
        if (tip->showsTipControls()) {
            REQUIRE_NAMED(tipButton, settings::SettingsButton, tip, QStringLiteral("Buy me a drink"));
            tipButton->click();
            m_rig->styles().setReduceMotion(true); // as the desktop asks
            tip->glasses()->click();
            QCOMPARE(tip->glasses()->tilt(), 0.0);
            QCOMPARE(m_rig->desktop().opened, (QList<QUrl>{*app::Donation::tipJarURL(), *app::Donation::tipJarURL()}));
        }
        m_rig->desktop().opened.clear();
        REQUIRE_NAMED(maker, settings::LinkButton, &window, QStringLiteral("Built by Dulmar"));
        maker->click();
        QCOMPARE(m_rig->desktop().opened, (QList<QUrl>{model::BrandDisclaimer::builtByURL()}));
        QVERIFY(!window.banner());
    }

    // The model rows and the custom id field as drawn on light skins too:
    // an unselected row's edge is white at 0.14 (a lift, never a dark
    // line), and the field stands on the chip's frost with its stroke.
    void modelSectionLooks_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("light paper") << "paper";
        QTest::newRow("light daylight") << "daylight";
        QTest::newRow("dark default") << "default";
    }
    void modelSectionLooks()
    {
        QFETCH(QString, skin);
        m_rig = std::make_unique<Rig>();
        SettingsWindow &window = m_rig->make(skin);
        window.resize(520, 2300);
        window.show();
        QCoreApplication::processEvents();
        const QImage shot = window.grab().toImage();
        const qreal dpr = shot.devicePixelRatio();
        REQUIRE_CHILD(section, settings::ModelSection, &window);
        const QRect around(section->mapTo(&window, QPoint(-30, -50)), section->size() + QSize(60, 80));
        shot.copy(QRect(around.topLeft() * dpr, around.size() * dpr))
            .save(QDir(testsupport::outputDirectory()).filePath(QStringLiteral("settings-model-%1.png").arg(skin)));
        const auto pixel = [&](QWidget *w, QPoint p) { return QColor(shot.pixel(w->mapTo(&window, p) * dpr)); };

        settings::ModelRow *plain = nullptr;
        for (settings::ModelRow *row : section->rows())
            if (!row->isSelected())
                plain = row;
        QVERIFY(plain);
        const int mid = plain->height() / 2;
        const QColor edge = pixel(plain, {0, mid}), inside = pixel(plain, {3, mid});
        QVERIFY2(edge.lightness() >= inside.lightness(),
                 qPrintable(QStringLiteral("edge %1, inside %2").arg(edge.name(), inside.name())));

        REQUIRE_CHILD(field, settings::FieldFrame, section);
        QImage frost(field->size() * dpr, QImage::Format_ARGB32_Premultiplied);
        frost.setDevicePixelRatio(dpr);
        frost.fill(pixel(field, {field->width() / 2, -6})); // the card behind it
        {
            QPainter p(&frost);
            glass::GlassPainter::frostShape(p, QRectF(QPointF(0, 0), QSizeF(field->size())),
                                            glass::FrostShape::roundedRectangle(8), glass::QirvTheme::FrostRole::chip,
                                            true, false, m_rig->skins().current(), nullptr, {});
        }
        for (const QPoint at : {QPoint(4, field->height() / 2), QPoint(field->width() - 5, field->height() / 2)}) {
            const QColor seen = pixel(field, at), expected(frost.pixel(at * dpr));
            const int off = std::abs(seen.red() - expected.red()) + std::abs(seen.green() - expected.green()) +
                            std::abs(seen.blue() - expected.blue());
            QVERIFY2(off <= 6, qPrintable(QStringLiteral("%1 instead of %2").arg(seen.name(), expected.name())));
        }
    }

    // The whole window, every section filled, in a dark and a light skin.
    void pictures_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("dark") << "default";
        QTest::newRow("light") << "daylight";
    }
    void pictures()
    {
        QFETCH(QString, skin);
        m_rig = std::make_unique<Rig>();
        SettingsWindow &window = m_rig->make(skin);
        m_rig->background().setCustomURLString(stage::StagePhotoCatalog::firstRunImageAddress());
        window.resize(520, 2300);
        window.show();
        QCoreApplication::processEvents();
        savePicture(window, QStringLiteral("settings-all-") + skin);
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(SectionsTest)
#include "tst_settings_sections.moc"
