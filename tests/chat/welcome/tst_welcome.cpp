// The welcome card's states (signed in or not, a project or not), its
// project menu, and the connect capsule: it opens the settings, its
// breathing values, and it stays still while hidden.

#include "agent/files/WorkspaceManager.h"
#include "app/AppTestKit.h"
#include "chat/ChatView.h"
#include "chat/composer/ComposerBar.h"
#include "chat/tray/ComposerTray.h"
#include "chat/welcome/ConnectEmberCapsule.h"
#include "chat/tray/TrayChips.h"
#include "chat/welcome/StatusChip.h"
#include "chat/welcome/WelcomeCard.h"
#include "glass/look/Contrast.h"
#include "glass/look/Styles.h"
#include "stage/SkinStore.h"
#include "glass/look/SymbolIcons.h"
#include "support/NamedWidget.h"
#include "support/TestMain.h"

#include <QAction>
#include <QBoxLayout>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>

using apptest::Harness;

namespace {

// The card's parts: the account chips and the project menu by their
// object names, the tagline by what a reader hears.
const QString kLiveChip = QStringLiteral("welcomeLiveChip");
const QString kCapsule = QStringLiteral("connectEmberCapsule");
const QString kProjectMenu = QStringLiteral("welcomeProjectMenu");
const QString kTagline = QStringLiteral("Moonshelf Mac. One stage for builders. Open a project, spin a session, ship "
                                        "cool shit with Qirv. Flagship models now and next.");

struct Fixture {
    Harness h;
    std::unique_ptr<stage::SkinStore> skins;
    std::unique_ptr<glass::StyleStore> styles;

    explicit Fixture(const QString &skin = QStringLiteral("default"))
    {
        skins = std::make_unique<stage::SkinStore>(stage::SkinStore::Sources{
            QStringLiteral(":/skins"), QDir::temp().filePath(QStringLiteral("welcome20-skins"))});
        skins->select(skin);
        styles = std::make_unique<glass::StyleStore>(*skins);
    }
    app::AppViewModel &make(bool signedIn, bool project)
    {
        h.signIn().signedIn = signedIn;
        app::AppViewModel &vm = project ? h.makeInProject() : h.make();
        vm.refreshSignIn();
        return vm;
    }
};

QString outputPath(const QString &name)
{
    const QString dir = testsupport::outputDirectory();
    return QDir(dir).filePath(name);
}

QStringList menuTexts(QMenu *menu)
{
    QStringList texts;
    for (QAction *a : menu->actions())
        texts.append(a->isSeparator() ? QStringLiteral("-") : a->text());
    return texts;
}

} // namespace

class TestWelcome : public QObject {
    Q_OBJECT

private slots:
    void states_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<bool>("project");
        QTest::newRow("signed in, no project") << true << false;
        QTest::newRow("signed in, a project") << true << true;
        QTest::newRow("signed out, no project") << false << false;
        QTest::newRow("signed out, a project") << false << true;
    }
    void states()
    {
        QFETCH(bool, signedIn);
        QFETCH(bool, project);
        Fixture f;
        app::AppViewModel &vm = f.make(signedIn, project);
        QCOMPARE(vm.isAuthenticated(), signedIn);
        chat::WelcomeCard card(vm, *f.styles);
        card.resize(700, 420);
        card.show();
        const glass::Styles &s = f.styles->styles();
        REQUIRE_CHILD(live, chat::StatusChip, &card, kLiveChip);
        REQUIRE_CHILD(capsule, chat::ConnectEmberCapsule, &card, kCapsule);

        QCOMPARE(card.title()->text(), QStringLiteral("What are we building?"));
        QCOMPARE(live->isVisible(), signedIn);
        QCOMPARE(capsule->isVisible(), !signedIn);
        if (signedIn) {
            QCOMPARE(live->text(), QStringLiteral("Moonshelf live"));
            QCOMPARE(live->symbol(), QStringLiteral("bolt.fill"));
            QCOMPARE(live->tint(), s.success);
        } else {
            QCOMPARE(capsule->text(), QStringLiteral("Connect Moonshelf"));
        }
        chat::StatusChip *chip = card.projectChip();
        QCOMPARE(chip->symbol(), QStringLiteral("folder.fill"));
        if (project) {
            QCOMPARE(chip->text(), QFileInfo(f.h.projectPath()).fileName());
            QVERIFY(chip->tint() != s.textSecondary);
            QVERIFY(glass::Contrast::ratio(chip->tint(), s.glassEdge) >= 4.5);
        } else {
            QCOMPARE(chip->text(), QStringLiteral("Open folder"));
            QCOMPARE(chip->tint(), s.textSecondary);
        }

        // Signing in or out while shown swaps the account chip.
        f.h.signIn().signedIn = !signedIn;
        f.h.signInObject()->announce();
        QTRY_COMPARE(live->isVisible(), !signedIn);
        QCOMPARE(capsule->isVisible(), signedIn);
    }

    void accountChips()
    {
        Fixture f;
        app::AppViewModel &vm = f.make(false, false);
        chat::WelcomeCard card(vm, *f.styles);
        card.resize(700, 420);
        card.show();
        QVERIFY(QTest::qWaitForWindowExposed(&card));
        REQUIRE_CHILD(live, chat::StatusChip, &card, kLiveChip);
        REQUIRE_CHILD(capsule, chat::ConnectEmberCapsule, &card, kCapsule);
        QVERIFY(!vm.showSettings());
        QTest::mouseClick(capsule, Qt::LeftButton, {}, capsule->rect().center());
        QVERIFY(vm.showSettings());

        vm.setShowSettings(false);
        f.h.signIn().signedIn = true;
        f.h.signInObject()->announce();
        QTRY_VERIFY(live->isVisible());
        QTest::mouseClick(live, Qt::LeftButton);
        QVERIFY(!vm.showSettings()); // the badge does nothing
    }

    void projectMenu()
    {
        Fixture f;
        app::AppViewModel &vm = f.make(true, true);
        chat::WelcomeCard card(vm, *f.styles);
        card.show();
        REQUIRE_CHILD(menu, QMenu, &card, kProjectMenu);
        vm.setShowProjectPanel(false);
        emit menu->aboutToShow();
        const QStringList hidden{"Show Files", "-", "Show in File Manager", "Open in Terminal", "-", "Change Project\u2026"};
        QCOMPARE(menuTexts(menu), hidden);
        menu->actions().first()->trigger();
        QVERIFY(vm.showProjectPanel());
        emit menu->aboutToShow();
        QCOMPARE(menuTexts(menu).first(), QStringLiteral("Hide Files"));

        // "Change Project…" cancelled in the folder panel still reloads the file tree.
        const QUuid refresh = vm.fileTreeRefresh();
        const QString root = vm.projectRootPath();
        menu->actions().last()->trigger();
        QTRY_VERIFY(vm.fileTreeRefresh() != refresh);
        QCOMPARE(vm.projectRootPath(), root);

        // The chip follows a change of project.
        QTemporaryDir other; // gone after the test, so no later test restores it
        vm.workspace().setWorkspace(other.path());
        QTRY_COMPARE(card.projectChip()->text(), QFileInfo(other.path()).fileName());
    }

    void openFolderCancelled()
    {
        Fixture f;
        app::AppViewModel &vm = f.make(true, false);
        chat::WelcomeCard card(vm, *f.styles);
        card.resize(700, 420);
        card.show();
        QVERIFY(QTest::qWaitForWindowExposed(&card));
        const QUuid refresh = vm.fileTreeRefresh();
        QCOMPARE(card.projectChip()->text(), QStringLiteral("Open folder"));
        QTest::mouseClick(card.projectChip(), Qt::LeftButton);
        QTRY_VERIFY(vm.fileTreeRefresh() != refresh);
        QVERIFY(vm.projectRootPath().isEmpty());
        QCOMPARE(card.projectChip()->text(), QStringLiteral("Open folder"));
    }

    // In a narrow column the card narrows with it and its texts wrap inside.
    void narrowColumn()
    {
        Fixture f;
        app::AppViewModel &vm = f.make(false, true);
        chat::WelcomeCard card(vm, *f.styles);
        card.resize(360, 600);
        card.show();
        QVERIFY(QTest::qWaitForWindowExposed(&card));
        QWidget *glass = card.card();
        QVERIFY(glass->width() <= 360 - 24);
        QVERIFY(card.title()->height() > card.title()->fontMetrics().height()); // two lines
        REQUIRE_NAMED(tagline, QLabel, &card, kTagline);
        REQUIRE_CHILD(capsule, chat::ConnectEmberCapsule, &card, kCapsule);
        QVERIFY(tagline->width() <= glass->width() - 2 * chat::WelcomeCard::kCardPadding);
        QVERIFY(glass->rect().contains(card.title()->geometry()));
        // The long folder name gives way (cut at its end), the capsule keeps its size.
        QVERIFY(card.projectChip()->width() < card.projectChip()->sizeHint().width());
        QCOMPARE(capsule->width(), capsule->sizeHint().width());
        card.grab().save(outputPath(QStringLiteral("welcome-narrow.png")));
        // The height the chat list gives it holds the whole card.
        QVERIFY(card.heightForWidth(360) >= glass->layout()->totalHeightForWidth(glass->width()) + 40);
        QCOMPARE(glass->height(), glass->layout()->totalHeightForWidth(glass->width()));
    }

    // The chat column squeezed by the side panels: the title wraps whole
    // words, nothing is clipped, the card's status chips stay on it, and the
    // tray keeps send and the mic on the composer card.
    void narrowChatPane_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("skin");
        QTest::newRow("320 dark") << 320 << QStringLiteral("default");
        QTest::newRow("320 light") << 320 << QStringLiteral("daylight");
        QTest::newRow("300 dark") << 300 << QStringLiteral("default");
        QTest::newRow("900 dark") << 900 << QStringLiteral("default");
        QTest::newRow("900 light") << 900 << QStringLiteral("daylight");
    }
    void narrowChatPane()
    {
        QFETCH(int, width);
        QFETCH(QString, skin);
        Fixture f(skin);
        app::AppViewModel &vm = f.make(false, true);
        chat::ChatView view(vm, *f.styles);
        view.resize(width, 700);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTest::qWait(50);
        view.grab().save(outputPath(QStringLiteral("chat-narrow-%1-%2.png").arg(width).arg(skin)));

        REQUIRE_CHILD(card, chat::WelcomeCard, &view);
        QWidget *glass = card->card();
        REQUIRE_NAMED(tagline, QLabel, card, kTagline);
        REQUIRE_CHILD(capsule, chat::ConnectEmberCapsule, card, kCapsule);
        for (QLabel *label : {card->title(), tagline}) {
            const QFontMetrics fm(label->font());
            int widest = 0;
            for (const QString &word : label->text().split(QLatin1Char(' ')))
                widest = std::max(widest, fm.horizontalAdvance(word));
            QVERIFY2(label->contentsRect().width() >= widest, qPrintable(label->text()));
            QVERIFY(label->height() >= label->heightForWidth(label->width()));
            QVERIFY(glass->rect().contains(label->geometry()));
        }
        for (QWidget *chip : {static_cast<QWidget *>(capsule), static_cast<QWidget *>(card->projectChip())})
            QVERIFY(glass->rect().contains(QRect(chip->mapTo(glass, QPoint()), chip->size())));

        QWidget *composer = view.composer()->card();
        REQUIRE_CHILD(tray, chat::ComposerTray, &view);
        REQUIRE_CHILD(send, chat::TrayIconButton, tray, QStringLiteral("sendButton"));
        REQUIRE_CHILD(mic, chat::TrayIconButton, tray, QStringLiteral("micButton"));
        REQUIRE_CHILD(skinButton, chat::TrayIconButton, tray, QStringLiteral("skinButton"));
        REQUIRE_CHILD(wallpaperToggle, chat::TrayIconButton, tray, QStringLiteral("wallpaperToggle"));
        REQUIRE_CHILD(modelChip, chat::ContextChip, tray, QStringLiteral("modelChip"));
        const QRect inner = composer->rect();
        for (QWidget *w : tray->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (!w->isVisible())
                continue;
            const QRect r(w->mapTo(composer, QPoint()), w->size());
            QVERIFY2(inner.contains(r), qPrintable(w->objectName()));
        }
        QVERIFY(send->isVisible());
        QVERIFY(mic->isVisible());
        if (width >= 900) {
            QVERIFY(skinButton->isVisible());
            QVERIFY(wallpaperToggle->isVisible());
            QCOMPARE(modelChip->paintedTitle(), modelChip->shownTitle());
            // A folder name that fits is shown whole (no ellipsis from rounding).
            QCOMPARE(tray->projectChip()->paintedTitle(), tray->projectChip()->shownTitle());
        }
    }

    void folderName_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "/home/me/src/moon" << "moon";
        QTest::newRow("trailing slash") << "/home/me/src/moon/" << "moon";
        QTest::newRow("spaces") << "/home/me/My Project" << "My Project";
        QTest::newRow("the root") << "/" << "/";
    }
    void folderName()
    {
        QFETCH(QString, root);
        QFETCH(QString, name);
        QCOMPARE(chat::WelcomeCard::folderName(root), name);
    }

    void capsuleOpacities_data()
    {
        QTest::addColumn<bool>("reduceMotion");
        QTest::addColumn<double>("breath");
        QTest::addColumn<double>("hover");
        QTest::addColumn<double>("bloom");
        QTest::addColumn<double>("glow");
        QTest::newRow("reduce motion") << true << 1.0 << 0.0 << 0.28 << 0.25;
        QTest::newRow("reduce motion, hovering") << true << 0.0 << 1.0 << 0.38 << 0.33;
        QTest::newRow("breath at rest") << false << 0.0 << 0.0 << 0.22 << 0.2;
        QTest::newRow("breath at its peak") << false << 1.0 << 0.0 << 0.34 << 0.3;
        QTest::newRow("peak, hovering") << false << 1.0 << 1.0 << 0.44 << 0.38;
    }
    void capsuleOpacities()
    {
        QFETCH(bool, reduceMotion);
        QFETCH(double, breath);
        QFETCH(double, hover);
        QFETCH(double, bloom);
        QFETCH(double, glow);
        QVERIFY(qAbs(chat::ConnectEmberCapsule::bloomTopOpacity(reduceMotion, breath, hover) - bloom) < 1e-9);
        QVERIFY(qAbs(chat::ConnectEmberCapsule::glowOpacity(reduceMotion, breath, hover) - glow) < 1e-9);
    }

    // The capsule's symbol is the outlined person with a key: its head is
    // a ring, hollow in the middle.
    void capsuleSymbol()
    {
        Fixture f;
        app::AppViewModel &vm = f.make(false, false); // signed out: the card offers to connect
        QWidget slot;
        slot.setLayout(new QVBoxLayout);
        chat::WelcomeCard *card = chat::WelcomeCard::install(&slot, vm, *f.styles);
        QVERIFY(card);
        REQUIRE_CHILD(capsule, chat::ConnectEmberCapsule, &slot);
        QCOMPARE(capsule->symbol(), QStringLiteral("person.badge.key"));
        const QImage symbol = glass::SymbolIcons::render(capsule->symbol(), QSizeF(48, 48), Qt::white);
        QVERIFY(!symbol.isNull());
        QCOMPARE(qAlpha(symbol.pixel(18, 15)), 0);   // the middle of the head
        QVERIFY(qAlpha(symbol.pixel(18, 8)) > 128);  // its ring, above
    }

    // The bloom above and the glow below are blurred before they are
    // clipped: they melt towards the rim instead of ending hard at it.
    void capsuleLightsAreSoft_data()
    {
        QTest::addColumn<QPointF>("centre");
        QTest::addColumn<qreal>("reach");
        QTest::addColumn<qreal>("blur");
        QTest::newRow("top bloom") << QPointF(0.5, -0.35) << 240.0 << 8.0;
        QTest::newRow("bottom glow") << QPointF(0.5, 1.35) << 200.0 << 10.0;
    }
    void capsuleLightsAreSoft()
    {
        QFETCH(QPointF, centre);
        QFETCH(qreal, reach);
        QFETCH(qreal, blur);
        const QSizeF size(180, 34);
        const auto soft = chat::ConnectEmberCapsule::softLight(size, centre, reach, blur, Qt::white, 1.0);
        QVERIFY(!soft.image.isNull());
        const int m = int(soft.margin);
        QVERIFY(m >= blur);
        const int x = m + int(size.width() / 2);
        // Down the middle: low at the rim, full well inside, never a step.
        const int rimTop = qAlpha(soft.image.pixel(x, m)), rimBottom = qAlpha(soft.image.pixel(x, m + int(size.height()) - 1));
        const int middle = qAlpha(soft.image.pixel(x, m + int(size.height() / 2)));
        QVERIFY2(rimTop < middle * 0.8 && rimBottom < middle * 0.8,
                 qPrintable(QStringLiteral("%1 / %2 / %3").arg(rimTop).arg(middle).arg(rimBottom)));
        int steepest = 0;
        for (int y = 1; y < soft.image.height(); ++y)
            steepest = std::max(steepest, std::abs(qAlpha(soft.image.pixel(x, y)) - qAlpha(soft.image.pixel(x, y - 1))));
        QVERIFY2(steepest < 40, qPrintable(QString::number(steepest)));
        // Outside the capsule it has spread into the margin.
        QVERIFY(qAlpha(soft.image.pixel(x, m - 2)) > 0);
    }

    void breathCurve_data()
    {
        QTest::addColumn<int>("ms");
        QTest::addColumn<double>("breath");
        QTest::newRow("starts at rest") << 0 << 0.0;
        QTest::newRow("half way up") << 2250 << 0.5;
        QTest::newRow("peak after 4.5 s") << 4500 << 1.0;
        QTest::newRow("half way down") << 6750 << 0.5;
        QTest::newRow("rest after 9 s") << 9000 << 0.0;
    }
    void breathCurve()
    {
        QFETCH(int, ms);
        QFETCH(double, breath);
        QVERIFY(qAbs(chat::ConnectEmberCapsule::breathAt(ms) - breath) < 1e-9);
    }

    // Press sinks it, hover grows it; hidden, it neither ticks nor paints.
    void capsuleMotion()
    {
        Fixture f;
        QWidget host;
        auto *layout = new QHBoxLayout(&host);
        auto *capsule = new chat::ConnectEmberCapsule(QStringLiteral("Connect Moonshelf"),
                                                      QStringLiteral("person.badge.key.fill"), *f.styles);
        layout->addWidget(capsule);
        host.resize(300, 90);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QVERIFY(capsule->isBreathing());
        QCOMPARE(capsule->scale(), 1.0);
        QTest::mousePress(capsule, Qt::LeftButton, {}, capsule->rect().center());
        QTRY_VERIFY(qAbs(capsule->scale() - 0.985) < 1e-6);
        int clicks = 0;
        connect(capsule, &QAbstractButton::clicked, &host, [&clicks] { ++clicks; });
        QTest::mouseRelease(capsule, Qt::LeftButton, {}, capsule->rect().center());
        QCOMPARE(clicks, 1);
        QTRY_VERIFY(qAbs(capsule->scale() - 1.0) < 1e-6);

        host.hide();
        QVERIFY(!capsule->isBreathing());
        const int paints = capsule->paintCount();
        QTest::qWait(400);
        QCOMPARE(capsule->paintCount(), paints);
        host.show();
        QVERIFY(capsule->isBreathing());

        // The desktop's wish for less motion reaches it through the styles.
        f.styles->setReduceMotion(true);
        QTRY_VERIFY(!capsule->isBreathing());
        QCOMPARE(capsule->bloomTopOpacity(), 0.28);
    }

    // Pictures in a dark and a light skin: the card is centred, the tagline
    // no wider than 440, and the capsule's white label reads on its fill.
    void pictures_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<bool>("signedIn");
        QTest::newRow("dark, signed out") << "default" << false;
        QTest::newRow("light, signed out") << "golden-default" << false;
        QTest::newRow("dark, signed in") << "default" << true;
        QTest::newRow("light, signed in") << "golden-default" << true;
    }
    void pictures()
    {
        QFETCH(QString, skin);
        QFETCH(bool, signedIn);
        Fixture f(skin);
        app::AppViewModel &vm = f.make(signedIn, true);
        QWidget window;
        QPalette bg = window.palette();
        bg.setColor(QPalette::Window, f.styles->styles().light ? QColor(0xd8, 0xdc, 0xe4) : QColor(0x14, 0x16, 0x1c));
        window.setPalette(bg);
        window.setAutoFillBackground(true);
        auto *column = new QVBoxLayout(&window);
        column->setContentsMargins(0, 24, 0, 0);
        auto *card = new chat::WelcomeCard(vm, *f.styles);
        column->addWidget(card);
        column->addStretch(1);
        window.resize(760, 520);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(50);
        const QImage picture = window.grab().toImage();
        picture.save(outputPath(QStringLiteral("welcome-%1-%2.png").arg(skin, signedIn ? "in" : "out")));

        REQUIRE_CHILD(live, chat::StatusChip, card, kLiveChip);
        REQUIRE_CHILD(capsule, chat::ConnectEmberCapsule, card, kCapsule);
        // The status row at twice the size, to judge the chips' edges.
        const QRect row = card->projectChip()->geometry().united(signedIn ? live->geometry() : capsule->geometry());
        const QRect inWindow = QRect(card->card()->mapTo(&window, row.topLeft()), row.size()).adjusted(-30, -20, 30, 20);
        QImage zoom(inWindow.size() * 2, QImage::Format_ARGB32_Premultiplied);
        zoom.setDevicePixelRatio(2);
        zoom.fill(bg.color(QPalette::Window));
        window.render(&zoom, QPoint(), QRegion(inWindow));
        zoom.save(outputPath(QStringLiteral("welcome-row-%1-%2.png").arg(skin, signedIn ? "in" : "out")));

        const QRect glassCard = card->card()->geometry();
        QVERIFY(qAbs(glassCard.center().x() - card->width() / 2) <= 1);
        REQUIRE_NAMED(tagline, QLabel, card, kTagline);
        QVERIFY(tagline->width() <= chat::WelcomeCard::kTaglineMaxWidth);
        QVERIFY(tagline->height() > tagline->fontMetrics().height()); // it wraps

        if (!signedIn) {
            // Left of the symbol inside the capsule: the fill the label sits on.
            const QPoint inside = capsule->mapTo(&window, QPoint(10, capsule->height() / 2));
            const QColor fill = picture.pixelColor(inside);
            QVERIFY2(glass::Contrast::ratio(Qt::white, fill) >= 4.5,
                     qPrintable(QStringLiteral("%1 on %2").arg(glass::Contrast::ratio(Qt::white, fill)).arg(fill.name())));
            // The white label and its symbol are there at all, painted over
            // the capsule in every band of its height.
            const QRect box(capsule->mapTo(&window, QPoint(0, 0)), capsule->size());
            int white = 0, top = box.bottom(), bottom = box.top();
            for (int y = box.top(); y <= box.bottom(); ++y)
                for (int x = box.left(); x <= box.right(); ++x)
                    if (const QColor c = picture.pixelColor(x, y); c.red() > 235 && c.green() > 235 && c.blue() > 235) {
                        ++white;
                        top = std::min(top, y);
                        bottom = std::max(bottom, y);
                    }
            QVERIFY2(white > 60, qPrintable(QString::number(white)));
            QVERIFY(bottom - top >= 8);
        }
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestWelcome)
#include "tst_welcome.moc"
