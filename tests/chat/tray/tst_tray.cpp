#include "app/AppViewModel.h"
#include "app/FilePanels.h"
#include "chat/tray/ComposerTray.h"
#include "chat/tray/ModelPicker.h"
#include "chat/tray/ProjectChip.h"
#include "chat/tray/SkinPalette.h"
#include "chat/tray/ToolGuardChip.h"
#include "chat/tray/TrayChips.h"
#include "chat/tray/TrayPopoverHost.h"
#include "dictation/DictationFakes.h"
#include "dictation/SpeechCapture.h"
#include "glass/look/Contrast.h"
#include "glass/look/QirvTheme.h"
#include "glass/stageview/StageBackground.h"
#include "glass/look/Styles.h"
#include "model/AttachmentTempStore.h"
#include "model/SettingsStore.h"
#include "platform/DesktopServices.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"
#include "support/NamedWidget.h"
#include "support/PaintHelpers.h"
#include "support/TestMain.h"
#include "AppTestKit.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGraphicsOpacityEffect>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cmath>
#include <memory>

using namespace chat;
using model::ToolGuardMode;

namespace {

struct RecordingDesktop final : platform::DesktopServices {
    QStringList calls;
    QCoro::Task<bool> openUrl(QUrl url) override
    {
        calls << QStringLiteral("open ") + url.toString();
        co_return true;
    }
    QCoro::Task<bool> revealFile(QString path) override
    {
        calls << QStringLiteral("reveal ") + path;
        co_return true;
    }
    QCoro::Task<bool> openTerminal(QString folder) override
    {
        calls << QStringLiteral("terminal ") + folder;
        co_return true;
    }
};

struct ScriptedPanels final : app::FilePanels {
    int folderAsks = 0;
    std::optional<QString> folder; // the answer; none: cancelled
    QCoro::Task<std::optional<QString>> chooseSaveFile(SaveRequest) override { co_return std::nullopt; }
    QCoro::Task<std::optional<QString>> chooseFolder(FolderRequest) override
    {
        ++folderAsks;
        co_return folder;
    }
};

QString savePng(const QImage &image, const QString &name)
{
    const QString path = QDir(testsupport::outputDirectory()).filePath(name + QStringLiteral(".png"));
    image.save(path);
    return path;
}

// A controller with recording doubles, the shipped skins, a stage, and the
// tray at the bottom of a window.
struct Rig {
    QTemporaryDir dir;
    QTemporaryDir project;
    std::unique_ptr<model::AttachmentTempStore> staging;
    std::unique_ptr<stage::BackgroundSettings> bg;
    std::unique_ptr<stage::SkinStore> skins;
    std::unique_ptr<glass::StyleStore> styles;
    std::unique_ptr<dictation::SpeechCapture> speech;
    dictationtest::FakeAudioInput *audio = nullptr;
    dictationtest::FakeSpeechAccess *access = nullptr;
    dictationtest::ScriptedRecognizer *recognizer = nullptr;
    RecordingDesktop desktop;
    ScriptedPanels panels;
    std::unique_ptr<app::AppViewModel> app;
    std::unique_ptr<QWidget> window;
    glass::StageBackground *stageView = nullptr;
    ComposerTray *tray = nullptr;
    QPushButton *elsewhere = nullptr;

    explicit Rig(const QString &skin = QStringLiteral("default"), bool withProject = true,
                 const QImage &wallpaper = QImage())
    {
        apptest::Harness::removeStoreFiles();
        staging = std::make_unique<model::AttachmentTempStore>(dir.filePath(QStringLiteral("staging")));
        stage::BackgroundSettings::Config config;
        config.supportDirectory = dir.filePath(QStringLiteral("stage"));
        config.firstRunImage = QStringLiteral(MOONSHELF_SOURCE_DIR "/resources/default-stage.webp");
        if (!wallpaper.isNull()) {
            config.firstRunImage = dir.filePath(QStringLiteral("bright.png"));
            wallpaper.save(config.firstRunImage);
        }
        bg = std::make_unique<stage::BackgroundSettings>(config);
        bg->setAnimateKenBurns(false);
        skins = std::make_unique<stage::SkinStore>(stage::SkinStore::Sources{
            QStringLiteral(MOONSHELF_SOURCE_DIR "/resources/skins"), dir.filePath(QStringLiteral("user-skins"))});
        skins->select(skin);
        styles = std::make_unique<glass::StyleStore>(*skins);

        dictation::SpeechCapture::Dependencies deps;
        auto input = std::make_unique<dictationtest::FakeAudioInput>();
        auto speechAccess = std::make_unique<dictationtest::FakeSpeechAccess>();
        audio = input.get();
        access = speechAccess.get();
        deps.input = std::move(input);
        deps.access = std::move(speechAccess);
        deps.localeName = QStringLiteral("en-US");
        deps.makeRecognizer = [this](const QString &) -> std::unique_ptr<dictation::Recognizer> {
            auto r = std::make_unique<dictationtest::ScriptedRecognizer>();
            recognizer = r.get();
            return r;
        };
        speech = std::make_unique<dictation::SpeechCapture>(std::move(deps));

        app::AppServices services;
        services.signIn = std::make_unique<apptest::FakeSignIn>(std::make_shared<apptest::FakeSignIn::Script>());
        services.staging = staging.get();
        services.background = bg.get();
        services.desktop = &desktop;
        services.panels = &panels;
        services.speech = speech.get();
        services.endpoint = QUrl(QStringLiteral("http://127.0.0.1:9/v1/chat/completions"));
        app = std::make_unique<app::AppViewModel>(std::move(services));
        if (withProject) {
            panels.folder = project.path();
            QCoro::waitFor(app->pickProjectFolder());
        }

        window = std::make_unique<QWidget>();
        window->resize(820, 520);
        stageView = new glass::StageBackground(*bg, *styles, window.get());
        stageView->setGeometry(window->rect());
        elsewhere = new QPushButton(QStringLiteral("Elsewhere"), window.get());
        elsewhere->setGeometry(20, 20, 120, 30);
        tray = new ComposerTray(*app, *styles, window.get());
        tray->setGeometry(20, 470, 780, 32);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    template <typename T = QWidget>
    T *inPopover(const QString &name) const
    {
        QWidget *content = tray->popovers().content();
        return content ? content->findChild<T *>(name) : nullptr;
    }
    void click(QWidget *w) const { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }
    void setSettings(const std::function<void(model::AppSettings &)> &change) const
    {
        model::AppSettings s = app->settingsStore().settings();
        change(s);
        app->settingsStore().setSettings(s);
    }
};

// A bright, busy wallpaper: light colour bands under a fine white checker.
QImage brightWallpaper()
{
    return testsupport::checkeredBands(QColor(250, 190, 160), QColor(250, 240, 170), QColor(170, 210, 250), 120);
}

QColor alphaOf(const QColor &c, double opacity)
{
    return glass::QirvTheme::withOpacity(c, opacity);
}

bool near(const QColor &a, const QColor &b)
{
    return a.rgb() == b.rgb() && std::abs(a.alphaF() - b.alphaF()) < 0.002;
}

} // namespace

class TrayTest : public QObject {
    Q_OBJECT
private slots:
    // warning > emphasized > glow > resting; the glow clamped, NaN as 0.
    void chipColourRule_data()
    {
        QTest::addColumn<bool>("emphasized");
        QTest::addColumn<double>("glow");
        QTest::addColumn<bool>("warning");
        QTest::addColumn<QString>("border");  // base colour of the border
        QTest::addColumn<double>("borderAlpha");
        QTest::addColumn<QString>("content");
        QTest::addColumn<double>("contentAlpha");
        QTest::newRow("warning-wins-over-emphasized") << true << 0.0 << true << "danger" << 0.55 << "danger" << 0.9;
        QTest::newRow("warning-border-brightens-content-stays") << false << 1.0 << true << "danger" << 0.80 << "danger" << 0.9;
        QTest::newRow("emphasized-at-rest") << true << 0.0 << false << "accent" << 0.28 << "accentText" << 0.75;
        QTest::newRow("emphasized-glowing") << true << 1.0 << false << "accent" << 0.53 << "accentText" << 0.90;
        QTest::newRow("glow-full") << false << 1.0 << false << "accent" << 0.38 << "accentText" << 0.90;
        QTest::newRow("glow-just-above-threshold") << false << 0.021 << false << "accent" << 0.38 * 0.021 << "accentText"
                                                   << 0.55 + 0.35 * 0.021;
        QTest::newRow("glow-at-threshold-rests") << false << 0.02 << false << "rim" << -1.0 << "textSecondary" << 1.0;
        QTest::newRow("glow-above-one-is-one") << false << 5.0 << false << "accent" << 0.38 << "accentText" << 0.90;
        QTest::newRow("glow-below-zero-rests") << false << -3.0 << false << "rim" << -1.0 << "textSecondary" << 1.0;
        QTest::newRow("glow-nan-rests") << false << std::nan("") << false << "rim" << -1.0 << "textSecondary" << 1.0;
        QTest::newRow("nan-glow-emphasized-as-zero") << true << std::nan("") << false << "accent" << 0.28 << "accentText"
                                                     << 0.75;
    }
    void chipColourRule()
    {
        QFETCH(bool, emphasized);
        QFETCH(double, glow);
        QFETCH(bool, warning);
        QFETCH(QString, border);
        QFETCH(double, borderAlpha);
        QFETCH(QString, content);
        QFETCH(double, contentAlpha);
        for (const QString &skin : {QStringLiteral("default"), QStringLiteral("golden-default")}) {
            stage::SkinStore skins(stage::SkinStore::Sources{QStringLiteral(MOONSHELF_SOURCE_DIR "/resources/skins"),
                                                             QDir::temp().filePath(QStringLiteral("no-user-skins"))});
            skins.select(skin);
            const glass::Styles s = glass::Styles::build(skins.current());
            auto base = [&](const QString &name) {
                if (name == QLatin1String("danger"))
                    return s.danger;
                if (name == QLatin1String("accent"))
                    return s.accent;
                if (name == QLatin1String("accentText"))
                    return s.link.color;
                if (name == QLatin1String("textSecondary"))
                    return s.textSecondary;
                return trayRim(s);
            };
            const ChipColors c = contextChipColors(s, emphasized, glow, warning);
            const QColor wantBorder = borderAlpha < 0 ? base(border) : alphaOf(base(border), borderAlpha);
            QVERIFY2(near(c.border, wantBorder), qPrintable(skin + QStringLiteral(" border")));
            QVERIFY2(near(c.content, alphaOf(base(content), contentAlpha)), qPrintable(skin + QStringLiteral(" content")));
        }
    }

    // A widget keeps the last symbol image it drew; a new name, colour,
    // size or scale draws the new symbol, as painting it afresh does.
    void keptSymbolFollowsItsLook_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QColor>("color");
        QTest::addColumn<double>("size");
        QTest::addColumn<double>("dpr");
        QTest::newRow("same") << "checkmark" << QColor(Qt::white) << 14.0 << 1.0;
        QTest::newRow("name") << "text.cursor" << QColor(Qt::white) << 14.0 << 1.0;
        QTest::newRow("colour") << "checkmark" << QColor(Qt::red) << 14.0 << 1.0;
        QTest::newRow("size") << "checkmark" << QColor(Qt::white) << 20.0 << 1.0;
        QTest::newRow("scale") << "checkmark" << QColor(Qt::white) << 14.0 << 2.0;
    }
    void keptSymbolFollowsItsLook()
    {
        QFETCH(QString, name);
        QFETCH(QColor, color);
        QFETCH(double, size);
        QFETCH(double, dpr);
        const auto canvas = [](qreal scale) {
            QImage image((QSizeF(32, 32) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(scale);
            image.fill(Qt::transparent);
            return image;
        };
        TraySymbolImage kept;
        QImage first = canvas(1.0);
        {
            QPainter p(&first);
            kept.paint(p, QStringLiteral("checkmark"), QRectF(4, 4, 14, 14), Qt::white);
        }
        QImage again = canvas(dpr);
        QImage fresh = canvas(dpr);
        {
            QPainter p(&again);
            kept.paint(p, name, QRectF(4, 4, size, size), color);
        }
        {
            QPainter p(&fresh);
            paintTraySymbol(p, name, QRectF(4, 4, size, size), color);
        }
        QVERIFY(fresh != canvas(dpr)); // the symbol is there at all
        QCOMPARE(again, fresh);
    }

    // A round button's disc and rim and a chip's capsule rim come from a
    // picture kept per look: after another look it must draw as the shape
    // drawn directly over the same ground does.
    void keptOutlineFollowsItsLook_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("round");
        QTest::addColumn<QColor>("fill");
        QTest::addColumn<QColor>("rim");
        QTest::addColumn<double>("opacity");
        QTest::addColumn<double>("dpr");
        const QColor fill(60, 70, 90, 71), rim(255, 255, 255, 36);
        QTest::newRow("same") << QSize(26, 26) << true << fill << rim << 1.0 << 1.0;
        QTest::newRow("pressed") << QSize(26, 26) << true << fill << rim << 0.7 << 1.0;
        QTest::newRow("active fill") << QSize(26, 26) << true << QColor(255, 140, 60, 56) << rim << 1.0 << 1.0;
        QTest::newRow("larger") << QSize(32, 32) << true << fill << rim << 1.0 << 1.0;
        QTest::newRow("capsule chip") << QSize(120, 23) << false << QColor() << QColor(255, 255, 255, 60) << 1.0
                                      << 1.0;
        QTest::newRow("scale") << QSize(26, 26) << true << fill << rim << 1.0 << 2.0;
    }
    void keptOutlineFollowsItsLook()
    {
        QFETCH(QSize, size);
        QFETCH(bool, round);
        QFETCH(QColor, fill);
        QFETCH(QColor, rim);
        QFETCH(double, opacity);
        QFETCH(double, dpr);
        const auto ground = [](qreal scale) {
            QImage image((QSizeF(130, 40) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(scale);
            image.fill(QColor(20, 40, 70));
            return image;
        };
        TrayOutlineImage kept;
        QImage first = ground(1.0);
        {
            QPainter p(&first);
            kept.paint(p, {QSize(26, 26), true, QColor(10, 10, 10, 80).rgba(), QColor(Qt::white).rgba(), 1.0});
        }
        const TrayOutlineImage::Look look{size, round, fill.rgba(), rim.rgba(), opacity};
        QImage again = ground(dpr);
        QImage fresh = ground(dpr);
        {
            QPainter p(&again);
            kept.paint(p, look);
        }
        {
            QPainter p(&fresh);
            TrayOutlineImage::draw(p, look);
        }
        QVERIFY(fresh != ground(dpr)); // the outline is there at all
        // Its layers are flattened (premultiplied, 8 bits) before they are
        // laid on: a level of rounding for each.
        int largest = 0;
        for (int y = 0; y < fresh.height(); ++y)
            for (int x = 0; x < fresh.width(); ++x) {
                const QRgb a = fresh.pixel(x, y), b = again.pixel(x, y);
                largest = std::max({largest, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                    std::abs(qBlue(a) - qBlue(b))});
            }
        QVERIFY2(largest <= 2, qPrintable(QStringLiteral("largest %1").arg(largest)));
    }

    void trayFillAndRim()
    {
        Rig rig(QStringLiteral("golden-default"));
        const glass::Styles &s = rig.styles->styles();
        QVERIFY(near(trayFill(s, true), alphaOf(s.accent, 0.22)));
        QVERIFY(near(trayFill(s, false), alphaOf(glass::QirvTheme::color(s.skin.colors.elevated), 0.28)));
        // White would vanish on the light glass of a light skin.
        QCOMPARE(trayRim(s).black(), 255);
    }

    void popoverRawNames_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<bool>("known");
        QTest::newRow("project") << "project" << true;
        QTest::newRow("permissions") << "permissions" << true;
        QTest::newRow("model") << "model" << true;
        QTest::newRow("skin") << "skin" << true;
        QTest::newRow("case-matters") << "Skin" << false;
        QTest::newRow("wallpaper-is-no-tray-popover") << "wallpaper" << false;
        QTest::newRow("empty") << "" << false;
    }
    void popoverRawNames()
    {
        QFETCH(QString, raw);
        QFETCH(bool, known);
        const std::optional<TrayPopover> p = trayPopoverFromRaw(raw);
        QCOMPARE(p.has_value(), known);
        if (p)
            QCOMPARE(toRaw(*p), raw);
    }

    void folderName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("root") << "/" << "/";
        QTest::newRow("nested") << "/home/ada/moon" << "moon";
        QTest::newRow("trailing-slash") << "/home/ada/moon/" << "moon";
        QTest::newRow("spaces-kept") << "/tmp/my project" << "my project";
    }
    void folderName()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(projectFolderName(path), name);
    }

    // The effective mode, as the chip, its tooltip and the popover's tick show it.
    void toolGuardEffectiveMode_data()
    {
        QTest::addColumn<QString>("stored"); // empty: none stored
        QTest::addColumn<bool>("powerUser");
        QTest::addColumn<bool>("yolo");
        QTest::addColumn<QString>("mode");
        QTest::newRow("none-poweruser-yolo") << "" << true << true << "yolo";
        QTest::newRow("none-poweruser-no-yolo") << "" << true << false << "ask";
        QTest::newRow("none-tiered-yolo") << "" << false << true << "ask";
        QTest::newRow("stored-balanced-wins") << "balanced" << true << true << "balanced";
        QTest::newRow("stored-yolo") << "yolo" << false << false << "yolo";
    }
    void toolGuardEffectiveMode()
    {
        QFETCH(QString, stored);
        QFETCH(bool, powerUser);
        QFETCH(bool, yolo);
        QFETCH(QString, mode);
        Rig rig;
        rig.tray->setIntroGlow(0);
        rig.setSettings([&](model::AppSettings &s) {
            s.toolGuardMode = stored.isEmpty() ? std::nullopt : model::fromRaw<ToolGuardMode>(stored);
            s.policyMode = powerUser ? model::PolicyMode::PowerUser : model::PolicyMode::Tiered;
            s.yoloEnabled = yolo;
        });
        const ToolGuardMode expected = *model::fromRaw<ToolGuardMode>(mode);
        REQUIRE_CHILD(chip, chat::ContextChip, rig.tray, QStringLiteral("toolGuardChip"));
        QCOMPARE(chip->text(), QStringLiteral("Permissions"));
        QCOMPARE(chip->symbol(), toolGuardInfo(expected).symbol);
        QCOMPARE(chip->toolTip(), toolGuardTooltip(expected));
        const glass::Styles &s = rig.styles->styles();
        QCOMPARE(chip->colors().content == alphaOf(s.danger, 0.9), expected == ToolGuardMode::Yolo);

        rig.click(chip);
        QCOMPARE(rig.tray->trayPopover(), std::optional<TrayPopover>(TrayPopover::permissions));
        for (ToolGuardMode m : model::kAllToolGuardModes) {
            auto *row = rig.inPopover<ToolGuardRow>(QStringLiteral("guard-") + model::toRaw(m));
            QVERIFY(row);
            QCOMPARE(row->isCurrent(), m == expected);
        }
    }

    // A change made elsewhere (the settings window) moves the tick of the open popover.
    void openPopoverFollowsTheSettings()
    {
        Rig rig;
        REQUIRE_CHILD(toolGuardChip, chat::ContextChip, rig.tray, QStringLiteral("toolGuardChip"));
        rig.setSettings([](model::AppSettings &s) { s.toolGuardMode = ToolGuardMode::Ask; });
        rig.click(toolGuardChip);
        rig.app->setToolGuard(ToolGuardMode::Balanced);
        QVERIFY(rig.tray->popovers().isOpen());
        auto *balanced = rig.inPopover<ToolGuardRow>(QStringLiteral("guard-balanced"));
        auto *ask = rig.inPopover<ToolGuardRow>(QStringLiteral("guard-ask"));
        QVERIFY(balanced && ask);
        QVERIFY(balanced->isCurrent());
        QVERIFY(!ask->isCurrent());
    }

    void toolGuardTooltipText()
    {
        QCOMPARE(toolGuardTooltip(ToolGuardMode::Ask),
                 QStringLiteral("Permissions \u00B7 Ask. Ask: approve every write and shell. Reads are free.\n"
                                "Click to change Ask / Balanced / YOLO."));
    }

    // A row stores its mode, even the one in force, and closes the popover.
    void toolGuardRowChooses_data()
    {
        QTest::addColumn<QString>("row");
        QTest::newRow("switch-to-yolo") << "yolo";
        QTest::newRow("same-mode-writes-again") << "ask";
    }
    void toolGuardRowChooses()
    {
        QFETCH(QString, row);
        Rig rig;
        REQUIRE_CHILD(toolGuardChip, chat::ContextChip, rig.tray, QStringLiteral("toolGuardChip"));
        rig.setSettings([](model::AppSettings &s) { s.toolGuardMode = ToolGuardMode::Ask; });
        QSignalSpy saved(&rig.app->settingsStore(), &model::SettingsStore::settingsChanged);
        rig.click(toolGuardChip);
        QWidget *chosen = rig.inPopover(QStringLiteral("guard-") + row);
        QVERIFY(chosen);
        rig.click(chosen);
        QCOMPARE(saved.count(), 1);
        QCOMPARE(rig.app->settingsStore().settings().toolGuardMode, model::fromRaw<ToolGuardMode>(row));
        QVERIFY(!rig.tray->popovers().isOpen());
        QCOMPARE(rig.tray->trayPopover(), std::nullopt);
        QCOMPARE(toolGuardChip->symbol(), toolGuardInfo(*model::fromRaw<ToolGuardMode>(row)).symbol);
    }

    void modelChip_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("custom");
        QTest::newRow("catalog") << "qirv-4.5" << "Qirv 4.5" << false;
        QTest::newRow("long-title-cut") << "qirv-4.20-0309-reasoning" << QStringLiteral("Qirv 4.20 R\u2026") << false;
        QTest::newRow("unknown-short") << "custom7" << "custom7" << true;
        QTest::newRow("case-matters") << "Qirv-4.5" << "Qirv-4.5" << true;
        QTest::newRow("empty") << "" << "" << true;
    }
    void modelChip()
    {
        QFETCH(QString, id);
        QFETCH(QString, label);
        QFETCH(bool, custom);
        Rig rig;
        rig.setSettings([&](model::AppSettings &s) { s.model = id; });
        REQUIRE_CHILD(chip, chat::ContextChip, rig.tray, QStringLiteral("modelChip"));
        QCOMPARE(chip->text(), label);
        QCOMPARE(chip->toolTip(), modelChipTooltip(id));
        QVERIFY(chip->toolTip().startsWith(QStringLiteral("Model: ") + id + QLatin1Char('\n')));
        // Never glows: the resting look even at full glow.
        rig.tray->setIntroGlow(1);
        QCOMPARE(chip->colors(), contextChipColors(rig.styles->styles(), false, 0, false));

        rig.click(chip);
        int selected = 0;
        for (const model::QirvModelOption &option : model::ModelCatalog::options()) {
            auto *row = rig.inPopover<ModelRow>(QStringLiteral("model-") + option.id);
            QVERIFY(row);
            selected += row->isSelected();
            QCOMPARE(row->isSelected(), option.id == id);
        }
        QCOMPARE(selected, custom ? 0 : 1);
        auto *entry = rig.inPopover<CustomModelEntry>(QStringLiteral("customEntry"));
        QCOMPARE(entry != nullptr, custom);
        if (entry)
            QCOMPARE(entry->id(), id);
    }

    // The row's id goes to the settings (and so to settings.json); nothing else changes.
    void modelSelectionWritesSettings()
    {
        Rig rig;
        REQUIRE_CHILD(modelChip, chat::ContextChip, rig.tray, QStringLiteral("modelChip"));
        rig.setSettings([](model::AppSettings &s) { s.model = QStringLiteral("custom7"); });
        const model::AppSettings before = rig.app->settingsStore().settings();
        const QString target = model::ModelCatalog::options().last().id;
        rig.click(modelChip);
        QWidget *chosen = rig.inPopover(QStringLiteral("model-") + target);
        QVERIFY(chosen);
        rig.click(chosen);
        QVERIFY(!rig.tray->popovers().isOpen());
        model::AppSettings expected = before;
        expected.model = target;
        QCOMPARE(rig.app->settingsStore().settings(), expected);
        QFile file(rig.app->settingsStore().filePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("model")).toString(), target);
        QCOMPARE(modelChip->text(), model::ModelCatalog::chipLabel(target));
    }

    void customIdOpensSettings()
    {
        Rig rig;
        REQUIRE_CHILD(modelChip, chat::ContextChip, rig.tray, QStringLiteral("modelChip"));
        rig.click(modelChip);
        QWidget *custom = rig.inPopover(QStringLiteral("customInSettings"));
        QVERIFY(custom);
        rig.click(custom);
        QVERIFY(rig.app->showSettings());
        QCOMPARE(rig.app->takeSettingsSection(), std::optional(app::SettingsSection::model));
        QVERIFY(!rig.tray->popovers().isOpen());
    }

    void noProjectChipPicksAtOnce()
    {
        Rig rig(QStringLiteral("default"), false);
        ContextChip *chip = rig.tray->projectChip();
        QCOMPARE(chip->text(), QStringLiteral("No project. Click to open"));
        QCOMPARE(chip->symbol(), QStringLiteral("folder.badge.plus"));
        const QUuid refresh = rig.app->fileTreeRefresh();
        rig.panels.folder.reset(); // the user cancels
        rig.click(chip);
        QTRY_COMPARE(rig.panels.folderAsks, 1);
        QVERIFY(!rig.tray->popovers().isOpen());
        QTRY_VERIFY(rig.app->fileTreeRefresh() != refresh);
        QCOMPARE(chip->text(), QStringLiteral("No project. Click to open"));
        rig.panels.folder = rig.project.path();
        rig.click(chip);
        QTRY_COMPARE(chip->text(), projectFolderName(rig.project.path()));
        QCOMPARE(chip->symbol(), QStringLiteral("folder.fill"));
    }

    // A folder name is shown as written: a tag in it is not markup, and a
    // long one is cut in the middle so the row keeps its buttons on the card.
    void projectNameShownAsWritten_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("escaped");
        QTest::addColumn<bool>("cut");
        QTest::newRow("tag-in-name") << "<i>moon" << true << false;
        QTest::newRow("plain") << "moon" << false << false;
        QTest::newRow("very-long") << QString(QStringLiteral("long-folder-name-").repeated(12)) << false << true;
    }
    void projectNameShownAsWritten()
    {
        QFETCH(QString, name);
        QFETCH(bool, escaped);
        QFETCH(bool, cut);
        Rig rig(QStringLiteral("default"), false);
        const QString path = rig.project.filePath(name);
        QVERIFY(QDir().mkpath(path));
        rig.panels.folder = path;
        QCoro::waitFor(rig.app->pickProjectFolder());
        ContextChip *chip = rig.tray->projectChip();
        QCOMPARE(chip->text(), name);
        QCOMPARE(chip->toolTip().startsWith(QStringLiteral("<qt>")), escaped);
        if (escaped)
            QVERIFY(chip->toolTip().contains(QStringLiteral("Project: &lt;i&gt;moon<br>")));
        QCOMPARE(chip->shownTitle() != name, cut);
        QVERIFY(chip->sizeHint().width() <= ComposerTray::kProjectTitleWidth + 40);
        if (cut)
            QVERIFY(chip->shownTitle().contains(QChar(0x2026)));
    }

    // A chip squeezed by a narrow chat column (side panels open) draws its
    // title cut with an ellipsis that fits, never clipped mid-letter.
    void squeezedChipCutsItsTitle_data()
    {
        QTest::addColumn<int>("squeeze");
        QTest::newRow("laid out whole") << 0;
        QTest::newRow("squeezed") << 30;
        QTest::newRow("crushed") << 1000;
    }
    void squeezedChipCutsItsTitle()
    {
        QFETCH(int, squeeze);
        Rig rig(QStringLiteral("default"), false);
        REQUIRE_CHILD(chip, chat::ContextChip, rig.tray, QStringLiteral("toolGuardChip"));
        const QSize whole = chip->sizeHint();
        chip->resize(std::max(0, whole.width() - squeeze), whole.height());
        const QString title = chip->paintedTitle();
        if (squeeze == 0) {
            QCOMPARE(title, chip->shownTitle());
            return;
        }
        QVERIFY(title.size() < chip->shownTitle().size());
        QVERIFY(title.isEmpty() || title.endsWith(QChar(0x2026)));
    }

    // Each row acts and closes the popover.
    void projectPopoverActions_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("call"); // what reached the desktop, "files" or "picker"
        QTest::newRow("files") << "filesRow" << "files";
        QTest::newRow("reveal") << "revealRow" << "reveal";
        QTest::newRow("terminal") << "terminalRow" << "terminal";
        QTest::newRow("change") << "changeRow" << "picker";
    }
    void projectPopoverActions()
    {
        QFETCH(QString, row);
        QFETCH(QString, call);
        Rig rig;
        const QString root = rig.app->projectRootPath();
        QCOMPARE(rig.tray->projectChip()->toolTip(),
                 QStringLiteral("Project: %1\n%2\n\nClick for: show/hide Files tree \u00B7 Show in File Manager \u00B7 Open "
                                "in Terminal \u00B7 Change project.")
                     .arg(projectFolderName(root), root));
        const int asks = rig.panels.folderAsks;
        const bool files = rig.app->showProjectPanel();
        rig.click(rig.tray->projectChip());
        QVERIFY(rig.tray->popovers().isOpen());
        auto *filesRow = rig.inPopover<TrayPopoverRow>(QStringLiteral("filesRow"));
        QWidget *chosen = rig.inPopover(row);
        QVERIFY(filesRow && chosen);
        QCOMPARE(filesRow->text(), files ? QStringLiteral("Hide Files") : QStringLiteral("Show Files"));
        rig.click(chosen);
        QVERIFY(!rig.tray->popovers().isOpen());
        QCOMPARE(rig.tray->trayPopover(), std::nullopt);
        if (call == QLatin1String("files")) {
            QCOMPARE(rig.app->showProjectPanel(), !files);
            QCOMPARE(rig.tray->projectChip()->symbol(),
                     !files ? QStringLiteral("sidebar.left") : QStringLiteral("folder.fill"));
        } else if (call == QLatin1String("picker")) {
            QTRY_COMPARE(rig.panels.folderAsks, asks + 1);
        } else {
            QCOMPARE(rig.desktop.calls, QStringList{call + QLatin1Char(' ') + root});
        }
        if (call != QLatin1String("files"))
            QCOMPARE(rig.app->showProjectPanel(), files);
    }

    void skinTileSelectsAndStays()
    {
        Rig rig;
        REQUIRE_CHILD(skinButton, chat::TrayIconButton, rig.tray, QStringLiteral("skinButton"));
        rig.click(skinButton);
        QCOMPARE(rig.tray->trayPopover(), std::optional<TrayPopover>(TrayPopover::skin));
        QCOMPARE(skinButton->fill(), trayFill(rig.styles->styles(), true));
        QWidget *popover = rig.tray->popovers().content();
        auto *tile = rig.inPopover<SkinTile>(QStringLiteral("skin-golden-default"));
        QVERIFY(tile);
        QVERIFY(!tile->isSelected());
        QSignalSpy restyled(rig.styles.get(), &glass::StyleStore::changed);
        rig.click(tile);
        QCOMPARE(rig.skins->selectedID(), QStringLiteral("golden-default"));
        QVERIFY(restyled.count() >= 1);
        QVERIFY(rig.styles->styles().light);
        QVERIFY(tile->isSelected());
        auto *first = rig.inPopover<SkinTile>(QStringLiteral("skin-default"));
        QVERIFY(first);
        QVERIFY(!first->isSelected());
        // Still open, the same popover.
        QCOMPARE(rig.tray->popovers().content(), popover);
        QVERIFY(popover->isVisible());
        QCOMPARE(rig.tray->trayPopover(), std::optional<TrayPopover>(TrayPopover::skin));
        // The store's order, "default" first.
        QList<SkinTile *> tiles = popover->findChildren<SkinTile *>();
        QCOMPARE(tiles.size(), rig.skins->skins().size());
        QCOMPARE(tiles.first()->skin().id, QStringLiteral("default"));
    }

    void skinNameShrinksThenCuts()
    {
        QFont f;
        f.setPixelSize(10);
        QString shown;
        QCOMPARE(skinNamePixelSize(f, QStringLiteral("Cobalt"), 80, &shown), 10);
        QCOMPARE(shown, QStringLiteral("Cobalt"));
        const QString longName = QStringLiteral("An extremely long skin name");
        QCOMPARE(skinNamePixelSize(f, longName, 80, &shown), 8);
        QVERIFY(shown.endsWith(QChar(0x2026)));
    }

    // One press switches; a press on the open one's chip closes it; a press
    // elsewhere closes it and still reaches its target; Escape closes it
    // before the window's own Escape action.
    void popoverSwitchingAndClosing()
    {
        Rig rig;
        REQUIRE_CHILD(modelChip, chat::ContextChip, rig.tray, QStringLiteral("modelChip"));
        REQUIRE_CHILD(toolGuardChip, chat::ContextChip, rig.tray, QStringLiteral("toolGuardChip"));
        REQUIRE_CHILD(skinButton, chat::TrayIconButton, rig.tray, QStringLiteral("skinButton"));
        auto *escapeAction = new QAction(rig.window.get());
        escapeAction->setShortcut(Qt::Key_Escape);
        rig.window->addAction(escapeAction);
        QSignalSpy escapeFired(escapeAction, &QAction::triggered);
        QSignalSpy closed(&rig.tray->popovers(), &TrayPopoverHost::closed);

        rig.click(modelChip);
        QCOMPARE(rig.tray->trayPopover(), std::optional<TrayPopover>(TrayPopover::model));
        rig.click(rig.tray->projectChip());
        QCOMPARE(rig.tray->trayPopover(), std::optional<TrayPopover>(TrayPopover::project));
        QVERIFY(rig.inPopover(QStringLiteral("filesRow")));
        QVERIFY(!rig.inPopover(QStringLiteral("modelHeader")));
        rig.click(toolGuardChip);
        QCOMPARE(rig.tray->trayPopover(), std::optional<TrayPopover>(TrayPopover::permissions));
        rig.click(skinButton);
        QCOMPARE(rig.tray->trayPopover(), std::optional<TrayPopover>(TrayPopover::skin));
        rig.click(skinButton);
        QCOMPARE(rig.tray->trayPopover(), std::nullopt);
        QVERIFY(!rig.tray->popovers().isOpen());

        rig.click(modelChip);
        QSignalSpy pressed(rig.elsewhere, &QPushButton::clicked);
        rig.click(rig.elsewhere);
        QVERIFY(!rig.tray->popovers().isOpen());
        QCOMPARE(rig.tray->trayPopover(), std::nullopt);
        QCOMPARE(pressed.count(), 1);

        rig.click(modelChip);
        rig.elsewhere->setFocus();
        QTest::keyClick(rig.elsewhere, Qt::Key_Escape);
        QVERIFY(!rig.tray->popovers().isOpen());
        QCOMPARE(rig.tray->trayPopover(), std::nullopt);
        QCOMPARE(escapeFired.count(), 0);
        QTest::keyClick(rig.elsewhere, Qt::Key_Escape); // nothing open: the window's action has it
        QCOMPARE(escapeFired.count(), 1);
        QVERIFY(closed.count() >= 2);
    }

    // Only the capsule takes presses; a popover row takes them anywhere.
    void hitAreas()
    {
        Rig rig;
        REQUIRE_CHILD(chip, chat::ContextChip, rig.tray, QStringLiteral("modelChip"));
        QTest::mouseClick(chip, Qt::LeftButton, {}, QPoint(1, 1)); // the corner outside the capsule
        QCOMPARE(rig.tray->trayPopover(), std::nullopt);
        QTest::mouseClick(chip, Qt::LeftButton, {}, QPoint(chip->width() / 2, 1));
        QCOMPARE(rig.tray->trayPopover(), std::optional<TrayPopover>(TrayPopover::model));
        QWidget *row = rig.inPopover(QStringLiteral("customInSettings"));
        QVERIFY(row);
        QTest::mouseClick(row, Qt::LeftButton, {}, QPoint(row->width() - 3, 2)); // empty space, in the inset
        QVERIFY(rig.app->showSettings());
    }

    void wallpaperPanelAndChipsExclude()
    {
        Rig rig;
        REQUIRE_CHILD(modelChip, chat::ContextChip, rig.tray, QStringLiteral("modelChip"));
        REQUIRE_CHILD(wallpaperButton, chat::TrayIconButton, rig.tray, QStringLiteral("wallpaperButton"));
        REQUIRE_CHILD(toolGuardChip, chat::ContextChip, rig.tray, QStringLiteral("toolGuardChip"));
        rig.click(modelChip);
        rig.click(wallpaperButton);
        QVERIFY(rig.tray->wallpaperExpanded());
        QCOMPARE(rig.tray->trayPopover(), std::nullopt);
        QCOMPARE(wallpaperButton->symbol(), QStringLiteral("chevron.down"));
        QCOMPARE(wallpaperButton->toolTip(), QStringLiteral("Close"));
        QVERIFY(rig.inPopover(QStringLiteral("titleLabel"))); // the wallpaper panel
        // A status line makes the panel taller; the popover grows with it, above the button.
        QWidget *frame = rig.tray->popovers().content();
        const int before = frame->height();
        rig.bg->clearBackground();
        QTRY_VERIFY(frame->height() > before);
        QTRY_COMPARE(frame->height(), frame->sizeHint().height());
        QVERIFY(frame->geometry().bottom() < wallpaperButton->mapTo(rig.window.get(), QPoint(0, 0)).y());
        rig.click(toolGuardChip);
        QVERIFY(!rig.tray->wallpaperExpanded());
        QCOMPARE(rig.tray->trayPopover(), std::optional<TrayPopover>(TrayPopover::permissions));
        QCOMPARE(wallpaperButton->symbol(), QStringLiteral("photo.on.rectangle.angled"));
        QCOMPARE(wallpaperButton->toolTip(), QStringLiteral("Image"));
    }

    void eyeShowsAndHides()
    {
        Rig rig;
        QVERIFY(rig.bg->isEnabled());
        REQUIRE_CHILD(eye, chat::TrayIconButton, rig.tray, QStringLiteral("wallpaperToggle"));
        QCOMPARE(eye->symbol(), QStringLiteral("eye.slash.fill"));
        QCOMPARE(eye->toolTip(), QStringLiteral("Hide"));
        rig.click(eye);
        QVERIFY(!rig.bg->isEnabled());
        QCOMPARE(eye->symbol(), QStringLiteral("eye.fill"));
        QCOMPARE(eye->toolTip(), QStringLiteral("Show"));
        rig.bg->clearBackground(); // no image in memory
        rig.bg->setIsEnabled(false);
        rig.click(eye);
        QVERIFY(rig.bg->isEnabled());
        QVERIFY(!rig.bg->loadedImage().isNull()); // reloaded
    }

    void sendButtonFollowsTheDraft_data()
    {
        QTest::addColumn<QString>("draft");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("empty") << "" << false;
        QTest::newRow("white-space-only") << " \n\t " << false;
        QTest::newRow("one-character") << "x" << true;
    }
    void sendButtonFollowsTheDraft()
    {
        QFETCH(QString, draft);
        QFETCH(bool, enabled);
        Rig rig;
        REQUIRE_CHILD(stopButton, chat::TrayIconButton, rig.tray, QStringLiteral("stopButton"));
        rig.app->setDraft(draft);
        REQUIRE_CHILD(send, chat::TrayIconButton, rig.tray, QStringLiteral("sendButton"));
        const glass::Styles &s = rig.styles->styles();
        QCOMPARE(send->isEnabled(), enabled);
        QCOMPARE(send->opacity(), enabled ? 1.0 : 0.45);
        QCOMPARE(send->tint(), enabled ? alphaOf(s.link.color, 0.95) : s.textTertiary);
        QCOMPARE(send->toolTip(), QStringLiteral("Send. Run this message (Ctrl+Return)."));
        QVERIFY(!stopButton->isVisible());
        // Ctrl+Return anywhere in the window is this button.
        rig.elsewhere->setFocus();
        QTest::keyClick(rig.elsewhere, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(rig.app->draft(), enabled ? QString() : draft);
    }

    // The microphone writes the dictated words after the typed draft; a
    // refused permission becomes the error text one turn after the tap.
    void micDictatesIntoTheDraft()
    {
        Rig rig;
        REQUIRE_CHILD(micButton, chat::TrayIconButton, rig.tray, QStringLiteral("micButton"));
        rig.app->setDraft(QStringLiteral("Hello"));
        rig.click(micButton);
        QTRY_VERIFY(rig.app->isDictating());
        QCOMPARE(micButton->symbol(), QStringLiteral("waveform"));
        QCOMPARE(micButton->toolTip(), QStringLiteral("Stop listening"));
        QVERIFY(rig.recognizer);
        rig.recognizer->partial(rig.recognizer->begun, QStringLiteral("world"));
        QTRY_COMPARE(rig.app->draft(), QStringLiteral("Hello world"));
        rig.click(micButton);
        QVERIFY(!rig.app->isDictating());
        QCOMPARE(micButton->symbol(), QStringLiteral("mic.fill"));
        QCOMPARE(rig.app->draft(), QStringLiteral("Hello world"));
        QCOMPARE(rig.app->errorMessage(), std::nullopt);
    }

    // What the user types while dictation listens is never overwritten:
    // the next result stops dictation instead.
    void micNeverOverwritesTyping()
    {
        Rig rig;
        REQUIRE_CHILD(micButton, chat::TrayIconButton, rig.tray, QStringLiteral("micButton"));
        rig.app->setDraft(QStringLiteral("Hello"));
        rig.click(micButton);
        QTRY_VERIFY(rig.app->isDictating());
        rig.recognizer->partial(rig.recognizer->begun, QStringLiteral("wor"));
        QTRY_COMPARE(rig.app->draft(), QStringLiteral("Hello wor"));
        rig.app->setDraft(QStringLiteral("Hello typed"));
        rig.recognizer->partial(rig.recognizer->begun, QStringLiteral("world"));
        QTRY_VERIFY(!rig.app->isDictating());
        QCOMPARE(rig.app->draft(), QStringLiteral("Hello typed"));
    }

    // A failure while listening reaches the error text without another tap.
    void micFailureWhileListening()
    {
        Rig rig;
        REQUIRE_CHILD(micButton, chat::TrayIconButton, rig.tray, QStringLiteral("micButton"));
        rig.click(micButton);
        QTRY_VERIFY(rig.app->isDictating());
        rig.audio->breakOff(QStringLiteral("device unplugged"));
        QTRY_VERIFY(rig.app->errorMessage().has_value());
        QVERIFY(rig.app->errorMessage()->contains(QStringLiteral("device unplugged")));
        QTRY_VERIFY(!rig.app->isDictating());
        QCOMPARE(micButton->symbol(), QStringLiteral("mic.fill"));
    }

    // During a run: stop shows last, send stays usable with an empty draft.
    void runShowsStop()
    {
        Rig rig;
        REQUIRE_CHILD(stopButton, chat::TrayIconButton, rig.tray, QStringLiteral("stopButton"));
        rig.app->setDraft(QStringLiteral("go"));
        rig.app->send();
        QVERIFY(rig.app->isRunning());
        REQUIRE_CHILD(send, chat::TrayIconButton, rig.tray, QStringLiteral("sendButton"));
        QVERIFY(stopButton->isVisible());
        QVERIFY(send->isEnabled());
        QCOMPARE(send->opacity(), 1.0);
        QCOMPARE(send->toolTip(), QStringLiteral("Stop current run and send this message (Ctrl+Return)."));
        QVERIFY(stopButton->x() > send->x());
        rig.click(stopButton);
        QVERIFY(!rig.app->isRunning());
        QVERIFY(!stopButton->isVisible());
        QVERIFY(!send->isEnabled());
    }

    void micFailureBecomesTheError()
    {
        Rig rig;
        REQUIRE_CHILD(micButton, chat::TrayIconButton, rig.tray, QStringLiteral("micButton"));
        rig.access->speech = dictation::AccessStatus::denied;
        rig.click(micButton);
        QTRY_VERIFY(rig.app->errorMessage().has_value());
        QVERIFY(rig.app->errorMessage()->startsWith(QStringLiteral("Speech recognition is off")));
        QVERIFY(!rig.app->isDictating());
    }

    void popoverPlacement_data()
    {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("topLeft");
        QTest::newRow("above-centred") << QRect(300, 400, 100, 24) << QSize(200, 100) << QPoint(250, 292);
        QTest::newRow("kept-inside-left") << QRect(10, 400, 40, 24) << QSize(200, 100) << QPoint(8, 292);
        QTest::newRow("kept-inside-right") << QRect(780, 400, 30, 24) << QSize(240, 100) << QPoint(552, 292);
        QTest::newRow("below-when-no-room-above") << QRect(300, 40, 100, 24) << QSize(200, 100) << QPoint(250, 72);
    }
    void popoverPlacement()
    {
        QFETCH(QRect, anchor);
        QFETCH(QSize, size);
        QFETCH(QPoint, topLeft);
        QCOMPARE(TrayPopoverHost::placement(anchor, size, QSize(800, 500)).topLeft(), topLeft);
    }

    // Each popover over the stage in a dark and a light skin: placed above
    // its anchor inside the window, its text legible on its glass.
    void popoversPictured_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QString>("which");
        QTest::addColumn<bool>("bright");
        for (const char *skin : {"default", "golden-default"})
            for (const char *which : {"project", "permissions", "model", "skin", "wallpaper"})
                for (bool bright : {false, true})
                    QTest::newRow(qPrintable(QStringLiteral("%1-%2%3").arg(QLatin1String(which), QLatin1String(skin),
                                                                         bright ? QStringLiteral("-bright") : QString())))
                        << QString::fromLatin1(skin) << QString::fromLatin1(which) << bright;
    }
    void popoversPictured()
    {
        QFETCH(QString, skin);
        QFETCH(QString, which);
        QFETCH(bool, bright);
        Rig rig(skin, true, bright ? brightWallpaper() : QImage());
        REQUIRE_CHILD(modelChip, chat::ContextChip, rig.tray, QStringLiteral("modelChip"));
        rig.tray->setIntroGlow(0);
        rig.setSettings([](model::AppSettings &s) { s.model = QStringLiteral("custom7"); });
        if (which == QLatin1String("wallpaper"))
            rig.tray->setWallpaperExpanded(true);
        else
            rig.tray->setTrayPopover(trayPopoverFromRaw(which));
        QWidget *content = rig.tray->popovers().content();
        QVERIFY(content && content->isVisible());
        // It fades in, then paints directly again.
        auto *fade = qobject_cast<QGraphicsOpacityEffect *>(content->graphicsEffect());
        QVERIFY(fade && fade->opacity() < 1.0);
        QTRY_VERIFY(!content->graphicsEffect());
        QTRY_VERIFY(rig.stageView->isBackdropReady());
        QTest::qWait(30);
        const QImage shot = rig.window->grab().toImage();
        savePng(shot, QStringLiteral("tray-%1-%2%3").arg(which, skin, bright ? QStringLiteral("-bright") : QString()));

        // The control it was opened from.
        static const QHash<QString, QString> anchors{{QStringLiteral("project"), QStringLiteral("projectChip")},
                                                     {QStringLiteral("permissions"), QStringLiteral("toolGuardChip")},
                                                     {QStringLiteral("model"), QStringLiteral("modelChip")},
                                                     {QStringLiteral("skin"), QStringLiteral("skinButton")},
                                                     {QStringLiteral("wallpaper"), QStringLiteral("wallpaperButton")}};
        REQUIRE_CHILD(anchor, QWidget, rig.tray, anchors.value(which));
        const QRect box = content->geometry();
        QVERIFY(rig.window->rect().contains(box));
        QVERIFY(box.bottom() < anchor->mapTo(rig.window.get(), QPoint(0, 0)).y());
        // The resting chips' text against their own glass.
        for (ContextChip *chip : {rig.tray->projectChip(), modelChip}) {
            const QPoint p = chip->mapTo(rig.window.get(), QPoint(chip->width() - 4, chip->height() / 2));
            const QColor chipGlass(shot.pixel(p));
            QVERIFY2(glass::Contrast::ratio(chip->colors().content, chipGlass) >= 3.0, qPrintable(chipGlass.name()));
        }
        if (which == QLatin1String("wallpaper"))
            return; // the panel's own test measures its text
        // The glass behind the rows, beside the text, against the text colours.
        const glass::Styles &s = rig.styles->styles();
        const QColor glassTone(shot.pixel(box.right() - 3, box.center().y()));
        QVERIFY2(glass::Contrast::ratio(s.text, glassTone) >= 4.5, qPrintable(glassTone.name()));
        QVERIFY2(glass::Contrast::ratio(s.textTertiary, glassTone) >= 3.0, qPrintable(glassTone.name()));
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TrayTest)
#include "tst_tray.moc"
