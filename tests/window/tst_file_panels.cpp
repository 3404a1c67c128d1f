// The project-folder and export panels as a person uses them: Qt's own file
// dialog over the main window, opened by the menu keys, driven by keyboard
// and mouse, and what the choice leaves behind (the stored folder, the file).

#include "WindowKit.h"

#include "agent/files/WorkspaceManager.h"
#include "model/ConversationStore.h"
#include "platform/UserDefaults.h"
#include "support/TestMain.h"
#include "window/MainWindow.h"

#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>

using windowtest::WindowKit;

namespace {

QLineEdit *nameField(QFileDialog *dialog)
{
    return dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
}

// Presses the keys in the window and waits for the file dialog they open,
// active and with its name field holding the keyboard, as a person finds it.
QFileDialog *openPanel(QWidget *window, const QKeySequence &keys)
{
    QTest::keySequence(window->focusWidget() ? window->focusWidget() : window, keys);
    QFileDialog *found = nullptr;
    (void)QTest::qWaitFor([&] {
        for (QFileDialog *d : window->findChildren<QFileDialog *>()) {
            if (d->isVisible())
                found = d;
        }
        return found != nullptr;
    });
    if (!found || !QTest::qWaitForWindowActive(found))
        return nullptr;
    QLineEdit *field = nameField(found);
    return field && QTest::qWaitFor([field] { return field->hasFocus(); }) ? found : nullptr;
}

bool dialogGone(QWidget *window)
{
    return QTest::qWaitFor([window] {
        const QList<QFileDialog *> all = window->findChildren<QFileDialog *>();
        return std::none_of(all.begin(), all.end(), [](QFileDialog *d) { return d->isVisible(); });
    });
}

QPushButton *acceptButton(QFileDialog *dialog)
{
    auto *box = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    if (!box)
        return nullptr;
    QPushButton *open = box->button(QDialogButtonBox::Open);
    return open ? open : box->button(QDialogButtonBox::Save);
}

// The texts a person reads on the dialog: its title and its labels.
QStringList shownTexts(QFileDialog *dialog)
{
    QStringList out{dialog->windowTitle()};
    for (QLabel *label : dialog->findChildren<QLabel *>()) {
        if (label->isVisible())
            out.append(label->text());
    }
    return out;
}

// Clicks the entry of `path` in the dialog's file view, once it is listed.
bool clickEntry(QFileDialog *dialog, const QString &path)
{
    auto *model = dialog->findChild<QFileSystemModel *>();
    if (!model)
        return false;
    QAbstractItemView *view = nullptr;
    QModelIndex index;
    const bool listed = QTest::qWaitFor([&] {
        index = model->index(path);
        for (QAbstractItemView *v : dialog->findChildren<QAbstractItemView *>()) {
            if (v->isVisible() && v->model() == model && index.isValid() && !v->visualRect(index).isEmpty())
                view = v;
        }
        return view != nullptr;
    });
    if (!listed)
        return false;
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    return true;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestFilePanels : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { platform::UserDefaults::remove(QString::fromLatin1(platform::UserDefaults::kWorkspaceBookmark)); }

    // What each panel is for, on the dialog itself.
    void texts_data()
    {
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("acceptText");
        QTest::newRow("folder") << QKeySequence(Qt::CTRL | Qt::Key_O)
                                << QStringList{"Choose the project folder Qirv may read and edit."}
                                << "Open Project";
        QTest::newRow("export") << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E)
                                << QStringList{"Export session", "Save this session as Markdown"} << "Save";
    }

    void texts()
    {
        QFETCH(QKeySequence, keys);
        QFETCH(QStringList, expected);
        QFETCH(QString, acceptText);
        WindowKit kit(false, false, WindowKit::Panels::real);
        QVERIFY(kit.show());
        QFileDialog *dialog = openPanel(&kit.window(), keys);
        QVERIFY(dialog);
        const QStringList shown = shownTexts(dialog);
        for (const QString &text : expected)
            QVERIFY2(shown.contains(text), qPrintable(shown.join(" | ")));
        QCOMPARE(acceptButton(dialog)->text().remove(QLatin1Char('&')), acceptText);
        dialog->reject();
    }

    void openFolder_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("clicked in the list, Open button") << "click";
        QTest::newRow("typed name, Return") << "return";
        QTest::newRow("typed full path, Open button") << "button";
        QTest::newRow("cancelled with Escape") << "escape";
        QTest::newRow("panel deleted unanswered") << "deleted";
    }

    void openFolder()
    {
        QFETCH(QString, how);
        WindowKit kit(false, false, WindowKit::Panels::real);
        QVERIFY(kit.show());
        QTemporaryDir parent;
        QVERIFY(QDir(parent.path()).mkdir(QStringLiteral("project")));
        const QString folder = parent.filePath(QStringLiteral("project"));
        const QUuid refreshBefore = kit.vm().fileTreeRefresh();

        QFileDialog *dialog = openPanel(&kit.window(), QKeySequence(Qt::CTRL | Qt::Key_O));
        QVERIFY(dialog);
        QLineEdit *field = nameField(dialog);
        if (how == "click") {
            dialog->setDirectory(parent.path());
            QVERIFY(clickEntry(dialog, folder));
            QTest::mouseClick(acceptButton(dialog), Qt::LeftButton);
        } else if (how == "return") {
            dialog->setDirectory(parent.path());
            QTest::keyClicks(field, QStringLiteral("project"));
            QTest::keyClick(field, Qt::Key_Return);
        } else if (how == "button") {
            QTest::keyClicks(field, folder);
            QTest::mouseClick(acceptButton(dialog), Qt::LeftButton);
        } else if (how == "escape") {
            QTest::keyClick(field, Qt::Key_Escape);
        } else {
            delete dialog;
        }

        QVERIFY(dialogGone(&kit.window()));
        // The tree reloads once the panel has answered, chosen or cancelled.
        QTRY_VERIFY(kit.vm().fileTreeRefresh() != refreshBefore);
        QCOMPARE(kit.vm().errorMessage(), std::nullopt);
        const QString stored =
            platform::UserDefaults::string(QString::fromLatin1(platform::UserDefaults::kWorkspaceBookmark));
        if (how == "escape" || how == "deleted") {
            QVERIFY(!kit.vm().workspace().hasRoot());
            QVERIFY(stored.isEmpty());
        } else {
            QCOMPARE(kit.vm().workspace().rootPath(), folder);
            QCOMPARE(stored, folder);
        }
    }

    // A folder the panel returns that cannot be the project, and a folder
    // that cannot be remembered, are told in the window.
    void folderFailures_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("opened");
        QTest::newRow("folder gone") << "gone" << "Could not open the project folder: %1 is no longer there." << false;
        QTest::newRow("a file, not a folder")
            << "file" << "Could not open the project folder: %1 is not a folder." << false;
        QTest::newRow("defaults cannot be written")
            << "unstored" << "The project folder is open, but it will not be remembered at the next start: " << true;
    }

    void folderFailures()
    {
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        QFETCH(bool, opened);
        WindowKit kit(false);
        QTemporaryDir dir;
        QString chosen = dir.filePath(QStringLiteral("project"));
        QFile blocker(dir.filePath(QStringLiteral("plain")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        if (kind == "file")
            chosen = blocker.fileName();
        else if (kind == "unstored")
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("project")));
        // A settings folder below a plain file cannot be made, even by root.
        const QString configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        if (kind == "unstored")
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, blocker.fileName() + "/config");
        kit.panels().folderAnswer = chosen;

        bool done = false;
        [](app::AppViewModel &vm, bool &finished) -> QCoro::Task<> {
            co_await vm.pickProjectFolder();
            finished = true;
        }(kit.vm(), done);
        QTRY_VERIFY(done);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configHome);

        const QString said = kit.vm().errorMessage().value_or(QString());
        QVERIFY2(said.startsWith(expected.contains("%1") ? expected.arg(chosen) : expected), qPrintable(said));
        QCOMPARE(kit.vm().workspace().rootPath(), opened ? chosen : QString());
    }

    void exportSession_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("proposed name, Return") << "proposed";
        QTest::newRow("typed name, Return") << "return";
        QTest::newRow("typed name without its extension gets .md") << "bare";
        QTest::newRow("typed full path, Save button") << "button";
    }

    void exportSession()
    {
        QFETCH(QString, how);
        WindowKit kit(true, false, WindowKit::Panels::real);
        QVERIFY(kit.show());
        model::ConversationStore &store = kit.vm().conversations();
        const QUuid id = *store.selectedConversationID();
        store.rename(id, QStringLiteral("Fix: the build"));
        store.appendMessage(id, model::ChatMessage::make(model::MessageRole::User, QStringLiteral("first")));
        QTemporaryDir out;

        QFileDialog *dialog = openPanel(&kit.window(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
        QVERIFY(dialog);
        QLineEdit *field = nameField(dialog);
        QCOMPARE(field->text(), QStringLiteral("Fix- the build.md"));

        QString target;
        if (how == "proposed") {
            target = QDir::home().filePath(QStringLiteral("Fix- the build.md"));
            QTest::keyClick(field, Qt::Key_Return);
        } else if (how == "return" || how == "bare") {
            dialog->setDirectory(out.path());
            target = out.filePath(QStringLiteral("notes.md"));
            field->clear();
            QTest::keyClicks(field, how == "bare" ? QStringLiteral("notes") : QStringLiteral("notes.md"));
            QTest::keyClick(field, Qt::Key_Return);
        } else {
            target = out.filePath(QStringLiteral("session.md"));
            field->clear();
            QTest::keyClicks(field, target);
            QTest::mouseClick(acceptButton(dialog), Qt::LeftButton);
        }

        QVERIFY(dialogGone(&kit.window()));
        QTRY_VERIFY(kit.window().isActiveWindow());
        QTRY_VERIFY(QFileInfo::exists(target));
        const QByteArray bytes = readAll(target);
        QVERIFY2(bytes.startsWith("# Fix: the build\n\n_Exported from Moonshelf Mac \xC2\xB7 "), bytes.constData());
        QVERIFY2(bytes.endsWith("_\n\n## You\n\nfirst\n\n"), bytes.constData());
        QCOMPARE(kit.vm().errorMessage(), std::nullopt);
        QFile::remove(target);
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(TestFilePanels)
#include "tst_file_panels.moc"
