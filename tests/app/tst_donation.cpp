#include "app/Donation.h"
#include "support/TestMain.h"

using namespace app;

class DonationTest : public QObject {
    Q_OBJECT
private slots:
    void tipJarURL_data()
    {
        QTest::addColumn<QString>("override");
        QTest::addColumn<QString>("handle");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("expected"); // empty: no link

        const QString bare = QStringLiteral("https://www.paypal.me/someone");
        QTest::newRow("bare handle") << "" << "someone" << "" << bare;
        QTest::newRow("handle with spaces") << "  " << "  someone \n" << "" << bare;
        QTest::newRow("override https as written") << "https://tips.example/x?a=1" << "someone" << ""
                                                   << "https://tips.example/x?a=1";
        // A URL's scheme is case-insensitive; it is kept in its normal form.
        QTest::newRow("override scheme in any case") << "HTTP://tips.example/" << "someone" << ""
                                                     << "http://tips.example/";
        QTest::newRow("override other scheme ignored") << "ftp://tips.example/" << "someone" << "" << bare;
        QTest::newRow("override not a url ignored") << "::::" << "someone" << "" << bare;
        QTest::newRow("full address prefix") << "" << "https://www.paypal.me/someone" << "" << bare;
        QTest::newRow("prefix any case, trailing slash") << "" << "HTTP://PayPal.Me/someone/" << "" << bare;
        QTest::newRow("http www prefix") << "" << "http://www.paypal.me/someone" << "" << bare;
        QTest::newRow("empty handle") << "" << "" << "" << "";
        QTest::newRow("blank handle") << "" << " \t " << "" << "";
        QTest::newRow("only slashes after prefixes") << "" << "https://paypal.me///" << "" << "";
        QTest::newRow("digit amount appended") << "" << "someone" << "25" << bare + "/25";
        QTest::newRow("amount with point ignored") << "" << "someone" << "2.50" << bare;
        QTest::newRow("amount with inner space ignored") << "" << "someone" << "2 5" << bare;
        QTest::newRow("amount with currency ignored") << "" << "someone" << "€5" << bare;
        QTest::newRow("amount of letters ignored") << "" << "someone" << "five" << bare;
        QTest::newRow("blank amount ignored") << "" << "someone" << "   " << bare;
    }
    void tipJarURL()
    {
        QFETCH(QString, override);
        QFETCH(QString, handle);
        QFETCH(QString, amount);
        QFETCH(QString, expected);
        const auto url = Donation::tipJarURL(override, handle, amount);
        if (expected.isEmpty())
            QVERIFY2(!url, qPrintable(url ? url->toString() : QString()));
        else {
            QVERIFY(url);
            QCOMPARE(url->toString(), expected);
        }
    }

    void deliveredConstantsGiveALink() { QVERIFY(Donation::isConfigured()); }
};

MOONSHELF_TEST_GUILESS_MAIN(DonationTest)
#include "tst_donation.moc"
