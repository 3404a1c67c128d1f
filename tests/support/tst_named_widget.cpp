// Finding a widget by the name a screen reader announces: which text names
// it, and when a lookup must come back empty.

#include "support/NamedWidget.h"
#include "support/TestMain.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

namespace {

// "button:text", "label:text", each optionally "|accessible name".
QWidget *make(const QString &spec, QWidget *parent)
{
    const QString kind = spec.section(QLatin1Char(':'), 0, 0);
    const QString rest = spec.section(QLatin1Char(':'), 1);
    const QString text = rest.section(QLatin1Char('|'), 0, 0);
    QWidget *widget = kind == QLatin1String("button") ? static_cast<QWidget *>(new QPushButton(text, parent))
                                                      : static_cast<QWidget *>(new QLabel(text, parent));
    if (rest.contains(QLatin1Char('|')))
        widget->setAccessibleName(rest.section(QLatin1Char('|'), 1));
    return widget;
}

} // namespace

class NamedWidgetTest : public QObject {
    Q_OBJECT

private slots:
    void lookup_data()
    {
        QTest::addColumn<QStringList>("widgets");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("buttonsOnly");
        QTest::addColumn<int>("expected"); // index into widgets, -1: none found

        QTest::newRow("no match") << QStringList{"button:Save", "label:Project"} << "Open" << false << -1;
        QTest::newRow("one button by its text") << QStringList{"button:Save", "button:Open"} << "Open" << false << 1;
        QTest::newRow("button text without its mnemonic") << QStringList{"button:&Save"} << "Save" << false << 0;
        QTest::newRow("one label by its text") << QStringList{"label:Project", "button:Save"} << "Project" << false
                                               << 0;
        QTest::newRow("explicit name over the text") << QStringList{"button:X|Close"} << "Close" << false << 0;
        QTest::newRow("text hidden by an explicit name") << QStringList{"button:X|Close"} << "X" << false << -1;
        QTest::newRow("several alike") << QStringList{"button:Save", "label:Save"} << "Save" << false << -1;
        QTest::newRow("several alike, one of the type") << QStringList{"label:Save", "button:Save"} << "Save" << true
                                                        << 1;
        QTest::newRow("several of the type") << QStringList{"button:Save", "button:Save"} << "Save" << true << -1;
    }
    void lookup()
    {
        QFETCH(QStringList, widgets);
        QFETCH(QString, name);
        QFETCH(bool, buttonsOnly);
        QFETCH(int, expected);
        QWidget root;
        QList<QWidget *> made;
        for (const QString &spec : widgets)
            made << make(spec, &root);
        QWidget *found = buttonsOnly ? testsupport::namedWidget<QPushButton>(&root, name)
                                     : testsupport::namedWidget(&root, name);
        QCOMPARE(found, expected < 0 ? nullptr : made.at(expected));
    }

    // By type alone, or type and object name: one match or none at all.
    void uniqueChild_data()
    {
        QTest::addColumn<QStringList>("objectNames"); // of the buttons made
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<int>("expected"); // index into the buttons, -1: none found
        QTest::newRow("the only one") << QStringList{"save"} << QString() << 0;
        QTest::newRow("two of the type, none named") << QStringList{"save", "open"} << QString() << -1;
        QTest::newRow("two, one of the name") << QStringList{"save", "open"} << "open" << 1;
        QTest::newRow("two of one name") << QStringList{"save", "save"} << "save" << -1;
        QTest::newRow("no such name") << QStringList{"save"} << "open" << -1;
    }
    void uniqueChild()
    {
        QFETCH(QStringList, objectNames);
        QFETCH(QString, wanted);
        QFETCH(int, expected);
        QWidget root;
        new QLabel(&root); // another type never counts
        QList<QPushButton *> made;
        for (const QString &name : objectNames) {
            made << new QPushButton(&root);
            made.back()->setObjectName(name);
        }
        QCOMPARE(testsupport::uniqueChild<QPushButton>(&root, wanted), expected < 0 ? nullptr : made.at(expected));
    }

};

MOONSHELF_TEST_WIDGETS_MAIN(NamedWidgetTest)
#include "tst_named_widget.moc"
