#include "model/BrandDisclaimer.h"
#include "model/ModelCatalog.h"
#include "support/TestMain.h"

using namespace model;

Q_DECLARE_METATYPE(model::QirvModelOption)

class TestCatalog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Every row, text for text, in table order.
    void rows_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QirvModelOption>("row");
        const auto add = [](int index, const char *id, const char *title, const char *subtitle, const char *badge) {
            QTest::newRow(id) << index
                              << QirvModelOption{QString::fromUtf8(id), QString::fromUtf8(title),
                                                 QString::fromUtf8(subtitle),
                                                 badge ? std::optional<QString>(QString::fromUtf8(badge))
                                                       : std::nullopt};
        };
        // The separators are U+00B7 MIDDLE DOT with a space each side.
        add(0, "qirv-4.5", "Qirv 4.5", "Flagship \xC2\xB7 code, agents, everything", "New");
        add(1, "qirv-4.5-latest", "Qirv 4.5 Latest", "Always the newest 4.5 cut", nullptr);
        add(2, "qirv-build-0.1", "Qirv Build", "Code API \xC2\xB7 256k context", "Code");
        add(3, "qirv-4.3", "Qirv 4.3", "Solid chat \xC2\xB7 1M context", nullptr);
        add(4, "qirv-4.20-0309-reasoning", "Qirv 4.20 Reason", "Deep reasoning \xC2\xB7 1M context", nullptr);
        add(5, "qirv-4.20-0309-non-reasoning", "Qirv 4.20 Fast", "Snappy non-reasoning \xC2\xB7 1M", nullptr);
        add(6, "qirv-4.20-multi-agent-0309", "Qirv 4.20 Multi", "Multi-agent \xC2\xB7 1M context", nullptr);
    }
    void rows()
    {
        QFETCH(int, index);
        QFETCH(QirvModelOption, row);
        const QList<QirvModelOption> &rows = ModelCatalog::options();
        QCOMPARE(rows.size(), 7);
        QCOMPARE(rows.at(index).id, row.id);
        QCOMPARE(rows.at(index).title, row.title);
        QCOMPARE(rows.at(index).subtitle, row.subtitle);
        QCOMPARE(rows.at(index).badge, row.badge);
        QCOMPARE(ModelCatalog::option(row.id), std::optional<QirvModelOption>(row));
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
