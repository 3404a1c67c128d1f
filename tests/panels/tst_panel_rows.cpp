#include "glass/look/Styles.h"
#include "panels/FilePeekView.h"
#include "panels/ToolLogRows.h"
#include "stage/UISkin.h"
#include "support/TestMain.h"

using model::ToolLogEntry;
using panels::ToolLogRows::wrapped;

class PanelRowsTest : public QObject {
    Q_OBJECT
private slots:
    void metaLine_data()
    {
        QTest::addColumn<bool>("binary");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<qint64>("lines");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("expected");
        QTest::newRow("text") << false << qint64(12345) << qint64(1) << "" << "1 lines · 12345 bytes";
        QTest::newRow("binary") << true << qint64(2048) << qint64(0) << "" << "2048 bytes · binary";
        QTest::newRow("error wins over binary")
            << true << qint64(0) << qint64(0) << "Could not read file." << "Could not read file.";
        QTest::newRow("empty text") << false << qint64(0) << qint64(1) << "" << "1 lines · 0 bytes";
    }
    void metaLine()
    {
        QFETCH(bool, binary);
        QFETCH(qint64, bytes);
        QFETCH(qint64, lines);
        QFETCH(QString, error);
        QFETCH(QString, expected);
        model::PeekedFile file;
        file.isBinary = binary;
        file.byteCount = bytes;
        file.lineCount = lines;
        if (!error.isEmpty())
            file.errorMessage = error;
        QCOMPARE(panels::FilePeekView::metaLine(file), expected);
    }

    void badges_data()
    {
        QTest::addColumn<ToolLogEntry::Status>("status");
        QTest::addColumn<QString>("badge");
        QTest::addColumn<QString>("colour"); // "blue", "indigo" or a Styles member
        QTest::newRow("pending") << ToolLogEntry::Status::Pending << "pending" << "blue";
        QTest::newRow("running same blue as pending") << ToolLogEntry::Status::Running << "running" << "blue";
        QTest::newRow("approved") << ToolLogEntry::Status::Approved << "approved" << "indigo";
        QTest::newRow("denied is accent, not danger") << ToolLogEntry::Status::Denied << "denied" << "accent";
        QTest::newRow("success") << ToolLogEntry::Status::Success << "success" << "success";
        QTest::newRow("failure") << ToolLogEntry::Status::Failure << "failure" << "danger";
    }
    void badges()
    {
        QFETCH(ToolLogEntry::Status, status);
        QFETCH(QString, badge);
        QFETCH(QString, colour);
        const glass::Styles s = glass::Styles::build(stage::UISkin::steel());
        QCOMPARE(panels::ToolLogRows::statusBadge(status), badge);
        const QColor c = panels::ToolLogRows::color(status, s);
        if (colour == "blue")
            QCOMPARE(c, QColor::fromRgbF(0.45f, 0.78f, 1.0f, 1.0f));
        else if (colour == "indigo")
            QVERIFY(c != s.accent && c != s.danger && c.blue() > c.red());
        else
            QCOMPARE(c, colour == "accent" ? s.accent : colour == "success" ? s.success : s.danger);
    }

    void wrap_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("max");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("short") << "abc" << 10 << 3 << QStringList{"abc"};
        QTest::newRow("wraps anywhere") << "abcdefg" << 3 << 3 << QStringList{"abc", "def", "g"};
        QTest::newRow("cut to the limit") << "abcdefghijkl" << 3 << 3 << QStringList{"abc", "def", "ghi"};
        QTest::newRow("line breaks kept") << "a\n\nb" << 10 << 8 << QStringList{"a", "", "b"};
        QTest::newRow("many lines cut") << "1\n2\n3\n4" << 10 << 3 << QStringList{"1", "2", "3"};
    }
    void wrap()
    {
        QFETCH(QString, text);
        QFETCH(int, columns);
        QFETCH(int, max);
        QFETCH(QStringList, expected);
        QCOMPARE(wrapped(text, columns, max), expected);
    }
};

MOONSHELF_TEST_GUI_MAIN(PanelRowsTest)
#include "tst_panel_rows.moc"
