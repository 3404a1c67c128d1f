#include "../app/AppTestKit.h"

#include "glass/sheets/SheetOverlay.h"
#include "glass/controls/StyledButton.h"
#include "glass/look/Styles.h"
#include "model/SettingsJson.h"
#include "model/SettingsStore.h"
#include "platform/AppPaths.h"
#include "settings/OnboardingSheet.h"
#include "stage/SkinStore.h"
#include "support/NamedWidget.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>

namespace {

// The sheet's closing buttons, as a screen reader names them.
const QString kBuild = QStringLiteral("Let's build");
const QString kSettingsFirst = QStringLiteral("Open Settings first\u2026");

// hasCompletedOnboarding as settings.json holds it now; absent: no file.
std::optional<bool> storedFlag()
{
    QFile file(QDir(platform::AppPaths::supportDirectory()).filePath(QStringLiteral("settings.json")));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
    if (!o.contains(QStringLiteral("hasCompletedOnboarding")))
        return std::nullopt;
    return o.value(QStringLiteral("hasCompletedOnboarding")).toBool();
}

// The sheet in an overlay over a host window, as the main window shows it.
struct Stage {
    QTemporaryDir skinDir;
    stage::SkinStore skins{stage::SkinStore::Sources{QStringLiteral(":/skins"), skinDir.filePath("skins")}};
    glass::StyleStore styles{skins};
    QWidget host;
    glass::SheetOverlay *sheets = nullptr;
    QPointer<settings::OnboardingSheet> sheet;

    Stage(app::AppViewModel &vm, const QString &skin = QStringLiteral("default"))
    {
        skins.select(skin);
        host.resize(900, 700);
        sheets = new glass::SheetOverlay(&host, styles);
        sheets->setGeometry(host.rect());
        sheet = new settings::OnboardingSheet(vm, styles);
        sheets->open(sheet);
        // The window closes the sheet when the flag goes down.
        QObject::connect(&vm, &app::AppViewModel::showOnboardingChanged, sheets, [this, &vm] {
            if (!vm.showOnboarding())
                sheets->close();
        });
    }
};

} // namespace

class OnboardingTest : public QObject {
    Q_OBJECT

private slots:
    // A first start raises the sheet; either button saves the flag, lowers
    // the sheet, and only then (for the second) opens settings. The next
    // start does not raise it again.
    void completion_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("Let's build") << "build" << QStringList{"saved", "sheet down"};
        QTest::newRow("Return acts as Let's build") << "return" << QStringList{"saved", "sheet down"};
        QTest::newRow("Open Settings first…") << "settings"
                                              << QStringList{"saved", "sheet down", "settings up"};
    }
    void completion()
    {
        QFETCH(QString, how);
        QFETCH(QStringList, log);
        apptest::Harness harness;
        app::AppViewModel &vm = harness.make();
        QVERIFY(vm.showOnboarding());
        QCOMPARE(storedFlag(), std::nullopt);
        Stage stage(vm);
        stage.host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&stage.host));

        QStringList events;
        connect(&vm.settingsStore(), &model::SettingsStore::settingsChanged, this, [&] {
            events << (vm.settingsStore().settings().hasCompletedOnboarding ? "saved" : "not saved");
        });
        connect(&vm, &app::AppViewModel::showOnboardingChanged, this, [&] {
            events << (vm.showOnboarding() ? "sheet up" : "sheet down");
        });
        connect(&vm, &app::AppViewModel::showSettingsChanged, this, [&] {
            events << (vm.showSettings() ? "settings up" : "settings down");
        });
        REQUIRE_NAMED(build, glass::StyledButton, stage.sheet, kBuild);
        REQUIRE_NAMED(settingsFirst, glass::StyledButton, stage.sheet, kSettingsFirst);
        if (how == "build")
            build->click();
        else if (how == "settings")
            settingsFirst->click();
        else
            QTest::keyClick(settingsFirst, Qt::Key_Return); // whichever button has focus
        QCoreApplication::processEvents();
        QCOMPARE(events, log);
        QVERIFY(vm.settingsStore().settings().hasCompletedOnboarding);
        QCOMPARE(storedFlag(), std::optional(true));
        QVERIFY(!stage.sheets->isOpen());

        app::AppViewModel &again = harness.make();
        QVERIFY(!again.showOnboarding());
    }

    // Escape is no way out: only the two buttons close the welcome.
    void escapeKeepsIt()
    {
        apptest::Harness harness;
        app::AppViewModel &vm = harness.make();
        Stage stage(vm);
        stage.host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&stage.host));
        REQUIRE_NAMED(build, glass::StyledButton, stage.sheet, kBuild);
        QTest::keyClick(build, Qt::Key_Escape);
        QCoreApplication::processEvents();
        QVERIFY(stage.sheets->isOpen());
        QVERIFY(vm.showOnboarding());
        QCOMPARE(storedFlag(), std::nullopt);
    }

    void steps()
    {
        const QList<settings::OnboardingSheet::Step> steps = settings::OnboardingSheet::steps();
        QCOMPARE(steps.size(), 3);
        QCOMPARE(steps.at(0).title, QString("Connect your Moonshelf"));
        QCOMPARE(steps.at(1).title, QString("Open a project folder"));
        QCOMPARE(steps.at(2).title, QString("Build with guardrails you own"));
        // Shortcut hints read as on this keyboard.
        QVERIFY(steps.at(1).detail.startsWith("Ctrl+O or the project chip."));
        for (const auto &step : steps)
            QVERIFY(!step.detail.contains(QChar(0x2318)));
    }

    // The page keeps 480 × 560 in a dark and a light skin, and every text
    // is laid out inside it at its full height.
    void pictures_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("dark") << "default";
        QTest::newRow("light") << "daylight";
    }
    void pictures()
    {
        QFETCH(QString, skin);
        apptest::Harness harness;
        app::AppViewModel &vm = harness.make();
        Stage stage(vm, skin);
        stage.host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&stage.host));
        QCOMPARE(stage.sheet->size(), QSize(480, 560));
        const QString path = QDir(testsupport::outputDirectory()).filePath("onboarding-" + skin + ".png");
        QVERIFY(stage.host.grab().save(path));
        for (QLabel *label : stage.sheet->findChildren<QLabel *>()) {
            const QRect inSheet(label->mapTo(stage.sheet, QPoint()), label->size());
            QVERIFY2(stage.sheet->rect().contains(inSheet), qPrintable(label->text()));
            QVERIFY2(label->height() >= label->heightForWidth(label->width()), qPrintable(label->text()));
        }
        REQUIRE_NAMED(build, glass::StyledButton, stage.sheet, kBuild);
        const QRect button(build->mapTo(stage.sheet, QPoint()), build->size());
        QVERIFY(stage.sheet->rect().contains(button));
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(OnboardingTest)
#include "tst_onboarding.moc"
