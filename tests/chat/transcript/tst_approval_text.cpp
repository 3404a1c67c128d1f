// What the approval card shows of a call: hidden characters made visible
// (so what is approved is what runs) and the look of each risk.

#include "chat/transcript/ApprovalText.h"
#include "glass/look/Styles.h"
#include "support/TestMain.h"

using chat::ApprovalText::visible;
using Mark = chat::VisiblePreview::Mark;

class TestApprovalText : public QObject {
    Q_OBJECT

private slots:
    void visibleText_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("marks");
        QTest::newRow("plain text stays") << "ls -la\n\tdone" << "ls -la\n\tdone" << 0;
        QTest::newRow("CR LF reads as a line feed") << "a\r\nb" << "a\nb" << 0;
        QTest::newRow("lone CR is shown") << "safe\rrm -rf ~" << "safe\u240Drm -rf ~" << 1;
        QTest::newRow("bell and escape") << "\u0007\u001b[2J" << "\u2407\u241B[2J" << 2;
        QTest::newRow("delete") << "a\u007Fb" << "a\u2421b" << 1;
        QTest::newRow("right-to-left override")
            << "file\u202Etxt.exe" << "file\u27E8U+202E\u27E9txt.exe" << 1;
        QTest::newRow("zero-width space and joiner")
            << "r\u200Bm\u200D" << "r\u27E8U+200B\u27E9m\u27E8U+200D\u27E9" << 2;
        QTest::newRow("isolates and byte order mark")
            << "\u2066x\u2069\uFEFF" << "\u27E8U+2066\u27E9x\u27E8U+2069\u27E9\u27E8U+FEFF\u27E9" << 3;
        QTest::newRow("line separator") << "a\u2028b" << "a\u27E8U+2028\u27E9b" << 1;
        QTest::newRow("C1 control") << "a\u0085b" << "a\u27E8U+0085\u27E9b" << 1;
        QTest::newRow("tag character beyond the BMP")
            << QString::fromUcs4(U"x\U000E0041y") << "x\u27E8U+E0041\u27E9y" << 1;
        QTest::newRow("emoji and accents stay") << "caf\u00E9 \U0001F600" << "caf\u00E9 \U0001F600" << 0;
    }
    void visibleText()
    {
        QFETCH(QString, raw);
        QFETCH(QString, shown);
        QFETCH(int, marks);
        const chat::VisiblePreview v = visible(raw);
        QCOMPARE(v.text, shown);
        QCOMPARE(v.marks.size(), marks);
        for (const Mark &m : v.marks) {
            QVERIFY(m.start >= 0 && m.start + m.length <= v.text.size());
            const QString marker = v.text.mid(m.start, m.length);
            QVERIFY2(marker.size() == 1 || marker.startsWith(u'\u27E8'), qPrintable(marker));
        }
    }

    void riskLooks_data()
    {
        QTest::addColumn<model::ToolRisk>("risk");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("badge");
        QTest::addColumn<int>("limit");
        QTest::addColumn<bool>("third");
        QTest::newRow("read") << model::ToolRisk::Read << "eye" << "READ" << 140 << false;
        QTest::newRow("write") << model::ToolRisk::Write << "pencil" << "WRITE" << 220 << true;
        QTest::newRow("shell") << model::ToolRisk::Shell << "terminal" << "SHELL" << 120 << false;
    }
    void riskLooks()
    {
        QFETCH(model::ToolRisk, risk);
        QFETCH(QString, symbol);
        QFETCH(QString, badge);
        QFETCH(int, limit);
        QFETCH(bool, third);
        glass::Styles styles;
        styles.skin.colors.danger = QStringLiteral("#F25247");
        styles.skin.colors.accent = QStringLiteral("#7FA8FF");
        const auto look = chat::ApprovalText::look(risk, styles);
        QCOMPARE(look.symbol, symbol);
        QCOMPARE(look.badge, badge);
        QCOMPARE(look.previewHeightLimit, limit);
        QCOMPARE(look.offersAllowWrites, third);
        if (risk == model::ToolRisk::Shell) {
            QCOMPARE(look.riskColor, QColor(0xF2, 0x52, 0x47));
            QCOMPARE(look.previewColor, QColor::fromRgbF(1.0f, 0.82f, 0.58f));
        }
    }
};

MOONSHELF_TEST_GUI_MAIN(TestApprovalText)
#include "tst_approval_text.moc"
