#include "WindowKit.h"

#include "chat/tray/ComposerTray.h"
#include "chat/tray/TrayChips.h"
#include "chat/tray/TrayPopoverHost.h"
#include "glass/sheets/AlertSheet.h"
#include "glass/sheets/SheetOverlay.h"
#include "glass/controls/StyledButton.h"
#include "app/AccountController.h"
#include "glass/look/Styles.h"
#include "model/ConversationStore.h"
#include "panels/AccountFooter.h"
#include "palette/CommandPaletteView.h"
#include "settings/SectionCard.h"
#include "settings/SettingsWindow.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"
#include "support/NamedWidget.h"
#include "support/TestEnvironment.h"
#include "support/TestMain.h"
#include "window/ContentView.h"
#include "window/ErrorAlert.h"
#include "window/MainWindow.h"
#include "window/SettingsHost.h"

#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>

using Peer = testsupport::ChatServicePeer;

namespace {

QWidget *focused()
{
    return QApplication::focusWidget();
}

// Types into the composer and sends with Return, as a person does.
void sendFromComposer(window::MainWindow &w, const QString &text)
{
    auto *composer = w.findChild<QPlainTextEdit *>(QStringLiteral("composerField"));
    if (!composer) {
        for (QPlainTextEdit *edit : w.findChildren<QPlainTextEdit *>()) {
            if (qstrcmp(edit->metaObject()->className(), "chat::ComposerField") == 0)
                composer = edit;
        }
    }
    QVERIFY(composer);
    composer->setFocus();
    QTest::keyClicks(composer, text);
    QTest::keyClick(composer, Qt::Key_Return);
}

QStringList visibleButtons(glass::AlertSheet *sheet)
{
    QStringList out;
    for (glass::StyledButton *b : sheet->buttons()) {
        if (b->isVisibleTo(sheet))
            out.append(b->text());
    }
    return out;
}

// Where the settings window's column stands: the section at its top.
QString sectionAtTop(settings::SettingsWindow *window, QScrollArea *column)
{
    const int top = column->verticalScrollBar()->value();
    QString title;
    for (settings::SectionCard *card : window->sections()) {
        if (card->y() <= top + 16)
            title = card->title();
    }
    return title;
}

} // namespace

// The alerts of the main window are sheets on its glass, driven here
// through the real window with real keys.
class TestWindowAlerts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A run's error shows in its session as a sheet: Return on "OK"
    // dismisses it; going to another session hides it and coming back shows
    // it again; "Retry", reached with Tab, runs that session's message again.
    void runErrorSheetWithKeys()
    {
        windowtest::WindowKit kit;
        app::AppViewModel &vm = kit.vm();
        window::MainWindow &w = kit.window();
        QVERIFY(kit.showActive());
        window::ErrorAlert *alert = w.content()->findChild<window::ErrorAlert *>();
        glass::SheetOverlay *sheets = w.content()->sheets();

        kit.peer().enqueue(Peer::errorReply(502, "<html><head><title>502 Bad Gateway</title></head></html>"));
        sendFromComposer(w, QStringLiteral("first question"));
        QTRY_VERIFY(alert->isShown());
        const QUuid a = *vm.conversations().selectedConversationID();
        glass::AlertSheet *sheet = alert->sheet();
        QCOMPARE(sheets->content(), sheet);
        QCOMPARE(sheet->title(), QStringLiteral("Something went wrong"));
        QCOMPARE(sheet->message(), QStringLiteral("Ovu API error 502: 502 Bad Gateway"));
        QCOMPARE(visibleButtons(sheet), (QStringList{"Retry", "OK"}));
        // The keyboard is on "OK": Return dismisses, as the stock alert did.
        QTRY_COMPARE(focused(), sheet->defaultButton());
        QTest::keyClick(focused(), Qt::Key_Return);
        QTRY_VERIFY(!sheets->isOpen());
        QVERIFY(!vm.errorMessage());

        // Fails again; another session hides the sheet, coming back shows it.
        kit.peer().enqueue(Peer::errorReply(500, R"({"error":{"message":"overloaded"}})"));
        sendFromComposer(w, QStringLiteral("second"));
        QTRY_VERIFY(alert->isShown());
        vm.newChat();
        QTRY_VERIFY(!sheets->isOpen());
        vm.selectSession(a);
        QTRY_VERIFY(alert->isShown());
        QCOMPARE(alert->sheet()->message(), QStringLiteral("Ovu API error 500: overloaded"));

        // Tab reaches "Retry"; Return there sends the session's message again.
        kit.peer().enqueue(Peer::textReply(QStringLiteral("Now it works.")));
        QTRY_COMPARE(focused(), alert->sheet()->defaultButton());
        QTest::keyClick(focused(), Qt::Key_Tab);
        QCOMPARE(focused(), testsupport::namedWidget<glass::StyledButton>(alert->sheet(), QStringLiteral("Retry")));
        QTest::keyClick(focused(), Qt::Key_Return);
        QTRY_VERIFY(!sheets->isOpen());
        QTRY_VERIFY(!vm.isRunning());
        const QList<model::ChatMessage> kept = vm.conversations().conversation(a)->messages;
        QCOMPARE(kept.last().content, QStringLiteral("Now it works."));
        QCOMPARE(kept.at(kept.size() - 2).content, QStringLiteral("second"));
        QVERIFY(!vm.errorMessage());
    }

    // The alert comes before the palette, which comes back after it; it waits
    // while a sheet a view opened is up, and shows when that closes.
    void alertAndOtherSheets()
    {
        windowtest::WindowKit kit;
        app::AppViewModel &vm = kit.vm();
        window::MainWindow &w = kit.window();
        QVERIFY(kit.show());
        glass::SheetOverlay *sheets = w.content()->sheets();
        window::ErrorAlert *alert = w.content()->findChild<window::ErrorAlert *>();

        vm.setShowCommandPalette(true);
        QTRY_VERIFY(qobject_cast<palette::CommandPaletteView *>(sheets->content()));
        vm.setErrorMessage(QStringLiteral("Could not save settings: disk full"));
        QTRY_VERIFY(alert->isShown());
        QVERIFY(vm.showCommandPalette());
        QTest::keyClick(focused(), Qt::Key_Escape);
        QTRY_VERIFY(qobject_cast<palette::CommandPaletteView *>(sheets->content()));
        QVERIFY(!vm.errorMessage());
        vm.setShowCommandPalette(false);
        QTRY_VERIFY(!sheets->isOpen());

        auto *rename = new QLabel(QStringLiteral("a view's own sheet"));
        sheets->open(rename);
        vm.setErrorMessage(QStringLiteral("Could not export session: gone"));
        QCOMPARE(sheets->content(), rename);
        QVERIFY(!alert->isShown());
        sheets->close();
        QTRY_VERIFY(alert->isShown());
        QCOMPARE(alert->sheet()->message(), QStringLiteral("Could not export session: gone"));
    }

    // The quit question keeps "Cancel" under Return and Escape; "Quit Anyway"
    // is one Tab away.
    void quitQuestionWithKeys_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<bool>("quits");
        QTest::newRow("Return cancels") << QList<int>{Qt::Key_Return} << false;
        QTest::newRow("Escape cancels") << QList<int>{Qt::Key_Escape} << false;
        QTest::newRow("Shift+Tab, Return quits") << QList<int>{Qt::Key_Backtab, Qt::Key_Return} << true;
        QTest::newRow("Space on Cancel cancels") << QList<int>{Qt::Key_Space} << false;
    }
    void quitQuestionWithKeys()
    {
        QFETCH(QList<int>, keys);
        QFETCH(bool, quits);
        windowtest::WindowKit kit;
        window::MainWindow &w = kit.window();
        QVERIFY(kit.showActive());
        w.setUnsavedWork([] { return QStringLiteral("Conversations: disk full"); });
        QSignalSpy asked(&w, &window::MainWindow::quitQuestionShown);
        QSignalSpy closed(&w, &window::MainWindow::closedForGood);
        w.close();
        QCOMPARE(asked.size(), 1);
        auto *sheet = qobject_cast<glass::AlertSheet *>(asked.first().first().value<QWidget *>());
        QVERIFY(sheet);
        QCOMPARE(w.content()->sheets()->content(), sheet);
        QCOMPARE(visibleButtons(sheet), (QStringList{"Quit Anyway", "Cancel"}));
        QTRY_COMPARE(focused(), sheet->defaultButton());
        QCOMPARE(sheet->defaultButton()->text(), QStringLiteral("Cancel"));
        for (int key : keys)
            QTest::keyClick(focused(), Qt::Key(key), key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        if (quits) {
            QTRY_COMPARE(closed.size(), 1);
            QVERIFY(!w.isVisible());
        } else {
            QTRY_VERIFY(!w.content()->sheets()->isOpen());
            QTest::qWait(20);
            QCOMPARE(closed.size(), 0);
            QVERIFY(w.isVisible());
        }
    }

    // The error sheet as a person sees it, in a dark and a light skin over
    // the night stage and a bright wallpaper: its title, message and buttons
    // stand out from the glass under them.
    void errorSheetPicture_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<bool>("bright");
        for (const char *skin : {"graphite", "daylight"}) {
            QTest::newRow(qPrintable(QStringLiteral("%1 over the night stage").arg(skin))) << skin << false;
            QTest::newRow(qPrintable(QStringLiteral("%1 over a bright wallpaper").arg(skin))) << skin << true;
        }
    }
    void errorSheetPicture()
    {
        QFETCH(QString, skin);
        QFETCH(bool, bright);
        windowtest::WindowKit kit;
        kit.skins().select(skin);
        QTemporaryDir dir;
        if (bright)
            QVERIFY(windowtest::pickWallpaper(kit.background(), windowtest::brightImage(dir.path())));
        kit.background().setIsEnabled(true);
        kit.background().reloadImage();
        QVERIFY(kit.show());
        QVERIFY(kit.waitForStage());
        app::AppViewModel &vm = kit.vm();
        kit.peer().enqueue(Peer::errorReply(
            429, R"({"error":{"message":"Rate limit reached for qirv-4.5 in organization org-7 on requests per min."}})"));
        vm.setDraft(QStringLiteral("hello"));
        vm.send();
        window::ErrorAlert *alert = kit.window().content()->findChild<window::ErrorAlert *>();
        QTRY_VERIFY(alert->isShown());
        QTest::qWait(50);

        const QImage shot = kit.window().grab().toImage().convertToFormat(QImage::Format_RGB32);
        shot.save(QDir(testsupport::outputDirectory())
                      .filePath(QStringLiteral("alert-%1-%2.png").arg(skin, bright ? "bright" : "night")));
        glass::AlertSheet *sheet = alert->sheet();
        const auto areaOf = [&](QWidget *w) {
            return QRect(w->mapTo(&kit.window(), QPoint(0, 0)), w->size());
        };
        for (const char *name : {"alertTitle", "alertMessage"}) {
            const double c = windowtest::strongestContrast(shot, areaOf(sheet->findChild<QLabel *>(QLatin1String(name))));
            QVERIFY2(c >= 4.5, qPrintable(QStringLiteral("%1: contrast %2").arg(QLatin1String(name)).arg(c)));
        }
        for (glass::StyledButton *button : sheet->buttons()) {
            if (!button->isVisibleTo(sheet))
                continue;
            const double c = windowtest::strongestContrast(shot, areaOf(button).adjusted(8, 6, -8, -6));
            QVERIFY2(c >= 3.0, qPrintable(QStringLiteral("%1: contrast %2").arg(button->text()).arg(c)));
        }
        // The sheet lies inside the window, whole.
        QVERIFY(kit.window().rect().contains(areaOf(sheet)));
    }

    // "Custom id in Settings…" opens Settings at the Model section; a
    // refused credential opens it where one signs in.
    void settingsOpenAtTheirSection_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("section");
        QTest::newRow("custom id from the model chip") << "custom" << "Model";
        QTest::newRow("service refuses the credential") << "401" << "Moonshelf (your Ovu subscription)";
    }
    void settingsOpenAtTheirSection()
    {
        QFETCH(QString, how);
        QFETCH(QString, section);
        windowtest::WindowKit kit;
        window::MainWindow &w = kit.window();
        QVERIFY(kit.show());
        window::SettingsHost &host = w.settings();
        if (how == "custom") {
            auto *tray = w.findChild<chat::ComposerTray *>();
            QVERIFY(tray);
            REQUIRE_CHILD(modelChip, chat::ContextChip, tray, QStringLiteral("modelChip"));
            QTest::mouseClick(modelChip, Qt::LeftButton, {}, modelChip->rect().center());
            QTRY_VERIFY(tray->popovers().isOpen());
            QWidget *row = tray->popovers().content()->findChild<QWidget *>(QStringLiteral("customInSettings"));
            QVERIFY(row);
            QTest::mouseClick(row, Qt::LeftButton, {}, row->rect().center());
        } else {
            kit.peer().enqueue(Peer::errorReply(401, R"({"error":{"message":"token expired"}})"));
            sendFromComposer(w, QStringLiteral("hello"));
        }
        QTRY_VERIFY(host.window() && host.window()->isVisible());
        auto *settings = qobject_cast<settings::SettingsWindow *>(host.window());
        QVERIFY(settings);
        REQUIRE_CHILD(column, QScrollArea, settings);
        QTRY_COMPARE(sectionAtTop(settings, column), section);
        QVERIFY(column->verticalScrollBar()->value() > 0);
        host.window()->close();
    }

    // A credential refused or missing fails again on Retry: the sheet offers
    // the way to sign in instead, which opens Settings there.
    void credentialErrorsOfferSettings_data()
    {
        QTest::addColumn<bool>("refusedByService");
        QTest::newRow("the service refuses it (401)") << true;
        QTest::newRow("there is none") << false;
    }
    void credentialErrorsOfferSettings()
    {
        QFETCH(bool, refusedByService);
        windowtest::WindowKit kit;
        window::MainWindow &w = kit.window();
        QVERIFY(kit.showActive());
        if (refusedByService)
            kit.peer().enqueue(Peer::errorReply(401, R"({"error":{"message":"token expired"}})"));
        else
            kit.signIn().failure = app::TokenFailure{QStringLiteral("Not signed in."), true};
        sendFromComposer(w, QStringLiteral("hello"));
        window::ErrorAlert *alert = w.content()->findChild<window::ErrorAlert *>();
        QTRY_VERIFY(alert->isShown());
        QCOMPARE(visibleButtons(alert->sheet()), (QStringList{"Settings", "OK"}));
        window::SettingsHost &host = w.settings();
        QTRY_VERIFY(host.window() && host.window()->isVisible());
        host.window()->close();
        QTRY_VERIFY(!host.window());

        REQUIRE_NAMED(settingsButton, glass::StyledButton, alert->sheet(), QStringLiteral("Settings"));
        QVERIFY(settingsButton->isVisible());
        QTest::mouseClick(settingsButton, Qt::LeftButton);
        QVERIFY(!kit.vm().errorMessage());
        QTRY_VERIFY(host.window() && host.window()->isVisible());
        auto *settings = qobject_cast<settings::SettingsWindow *>(host.window());
        QVERIFY(settings);
        REQUIRE_CHILD(column, QScrollArea, settings);
        QTRY_COMPARE(sectionAtTop(settings, column), QStringLiteral("Moonshelf (your Ovu subscription)"));
        QVERIFY(!kit.vm().errorMessage());
        host.window()->close();
    }

    // The footer and Settings say what the last request found: after a 401
    // the footer no longer reads "Connected" over a green dot, and a later
    // request that goes through with the same credential turns both back.
    void footerFollowsTheLastRequest()
    {
        windowtest::WindowKit kit;
        window::MainWindow &w = kit.window();
        QVERIFY(kit.showActive());
        auto *footer = w.findChild<panels::AccountButton *>();
        QVERIFY(footer);
        const glass::Styles &s = kit.styles().styles();
        // The dot's middle, in the footer's painting.
        const auto dot = [&] {
            const QImage shot = footer->grab().toImage();
            return shot.pixelColor(QPoint(16, footer->height() / 2) * shot.devicePixelRatio());
        };
        const auto near = [](const QColor &a, const QColor &b) {
            return qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue()) < 40;
        };
        QStringList seen;
        const auto note = [&] {
            seen << QStringLiteral("%1, %2 dot, settings %3")
                        .arg(footer->currentTitle(), near(dot(), s.success) ? "green" : near(dot(), s.accent) ? "accent" : "other",
                             kit.vm().account().isCredentialRefused() ? "refused" : "accepted");
        };
        note();
        kit.peer().enqueue(Peer::errorReply(401, R"({"error":{"message":"token expired"}})"));
        sendFromComposer(w, QStringLiteral("hello"));
        window::ErrorAlert *alert = w.content()->findChild<window::ErrorAlert *>();
        QTRY_VERIFY(alert->isShown());
        note();
        if (w.settings().window())
            w.settings().window()->close();
        QTest::mouseClick(testsupport::namedWidget<glass::StyledButton>(alert->sheet(), QStringLiteral("OK")), Qt::LeftButton);
        QTRY_VERIFY(!alert->isShown());
        kit.peer().enqueue(Peer::textReply(QStringLiteral("Fine.")));
        sendFromComposer(w, QStringLiteral("again"));
        QTRY_VERIFY(kit.peer().requestCount() == 2 && !kit.vm().isRunning());
        note();
        QCOMPARE(seen, (QStringList{"Connected, green dot, settings accepted", "Sign in, accent dot, settings refused",
                                    "Connected, green dot, settings accepted"}));
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestWindowAlerts)
#include "tst_window_alerts.moc"
