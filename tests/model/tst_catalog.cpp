#include "model/BrandDisclaimer.h"
#include "model/ModelCatalog.h"
#include "support/TestMain.h"

using namespace model;

class TestCatalog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rows()
    {
        const QList<QirvModelOption> &rows = ModelCatalog::options();
        QStringList ids;
        for (const QirvModelOption &row : rows)
            ids << row.id;
        QCOMPARE(ids, (QStringList{"qirv-4.5", "qirv-4.5-latest", "qirv-build-0.1", "qirv-4.3",
                                   "qirv-4.20-0309-reasoning", "qirv-4.20-0309-non-reasoning",
                                   "qirv-4.20-multi-agent-0309"}));
        QCOMPARE(rows[0], (QirvModelOption{"qirv-4.5", "Qirv 4.5", "Flagship \u00B7 code, agents, everything", "New"}));
        QCOMPARE(rows[2].badge, std::optional<QString>(QStringLiteral("Code")));
        QCOMPARE(rows[5].subtitle, QString::fromUtf8("Snappy non-reasoning \xC2\xB7 1M"));
        for (int i : {1, 3, 4, 5, 6})
            QVERIFY2(!rows[i].badge, qPrintable(rows[i].id));
    }

    void lookup_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("known");
        QTest::newRow("exact") << QStringLiteral("qirv-4.3") << true;
        QTest::newRow("differs only in case") << QStringLiteral("Qirv-4.3") << false;
        QTest::newRow("trailing space") << QStringLiteral("qirv-4.3 ") << false;
        QTest::newRow("empty") << QString() << false;
    }
    void lookup()
    {
        QFETCH(QString, id);
        QFETCH(bool, known);
        QCOMPARE(ModelCatalog::isKnown(id), known);
        QCOMPARE(ModelCatalog::option(id).has_value(), known);
        if (known)
            QCOMPARE(ModelCatalog::option(id)->id, id);
    }

    void chipLabels_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("label");
        QTest::newRow("short title whole") << QStringLiteral("qirv-4.5") << QStringLiteral("Qirv 4.5");
        QTest::newRow("title of 15 cut to 11") << QStringLiteral("qirv-4.5-latest")
                                               << QStringLiteral("Qirv 4.5 La\u2026");
        QTest::newRow("title of 14 cut to 11") << QStringLiteral("qirv-4.20-0309-non-reasoning")
                                               << QStringLiteral("Qirv 4.20 F\u2026");
        QTest::newRow("title of 10 whole") << QStringLiteral("qirv-build-0.1") << QStringLiteral("Qirv Build");
        QTest::newRow("unknown prefix and one character") << QStringLiteral("qirv-x") << QStringLiteral("x");
        QTest::newRow("unknown prefix and 20 characters") << QStringLiteral("qirv-abcdefghijklmnopqrst")
                                                          << QStringLiteral("abcdefghijkl\u2026");
        QTest::newRow("unknown 14 characters whole") << QStringLiteral("abcdefghijklmn")
                                                     << QStringLiteral("abcdefghijklmn");
        QTest::newRow("unknown 15 characters cut") << QStringLiteral("abcdefghijklmno")
                                                   << QStringLiteral("abcdefghijkl\u2026");
        QTest::newRow("case differs: treated as unknown") << QStringLiteral("QIRV-4.5") << QStringLiteral("QIRV-4.5");
        // 15 user-perceived characters but 30 code units: cut by characters, never inside one.
        QString flags;
        for (int i = 0; i < 15; ++i)
            flags += QStringLiteral("\U0001F1EB\U0001F1F7");
        QTest::newRow("counted in characters, not code units")
            << flags << flags.left(48) + QStringLiteral("\u2026");
        QString accents;
        for (int i = 0; i < 14; ++i)
            accents += QStringLiteral("e\u0301");
        QTest::newRow("14 accented characters whole") << accents << accents;
    }
    void chipLabels()
    {
        QFETCH(QString, id);
        QFETCH(QString, label);
        QCOMPARE(ModelCatalog::chipLabel(id), label);
    }

    void builtByURL()
    {
        const QUrl &url = BrandDisclaimer::builtByURL();
        QVERIFY(url.isValid());
        QCOMPARE(url.scheme(), QStringLiteral("https"));
        QCOMPARE(&url, &BrandDisclaimer::builtByURL());
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestCatalog)
#include "tst_catalog.moc"
