#include "support/TestMain.h"

#include "stage/SkinHex.h"
#include "stage/SkinStore.h"
#include "stage/StagePhotoCatalog.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace stage;

namespace {

QByteArray skinFile(const QString &id, const QString &name, const QJsonValue &kind = QJsonValue::Undefined)
{
    UISkin skin = UISkin::steel();
    skin.id = id;
    skin.name = name;
    skin.kind.reset();
    QJsonObject o = skin.toJson();
    if (kind.type() != QJsonValue::Undefined)
        o.insert(QStringLiteral("kind"), kind);
    return QJsonDocument(o).toJson();
}

void writeFile(const QString &dir, const QString &name, const QByteArray &bytes)
{
    QDir().mkpath(dir);
    QFile f(QDir(dir).filePath(name));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QStringList ids(const QList<UISkin> &skins)
{
    QStringList out;
    for (const UISkin &s : skins)
        out << s.id;
    return out;
}

QString skinIdKey()
{
    return QString::fromLatin1(platform::UserDefaults::kSkinId);
}

} // namespace

class TestSkins : public QObject {
    Q_OBJECT

private slots:
    void init() { platform::UserDefaults::remove(skinIdKey()); }

    void skinHex_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("expected");
        const QColor fallback = QColor::fromRgbF(0.05f, 0.05f, 0.06f, 1.0f);
        QTest::newRow("white space and lower case") << QStringLiteral(" #8aa4b8\n") << QColor(0x8a, 0xa4, 0xb8);
        QTest::newRow("no number sign") << QStringLiteral("8AA4B8") << QColor(0x8a, 0xa4, 0xb8);
        QTest::newRow("eight digits carry opacity") << QStringLiteral("#8AA4B833") << QColor(0x8a, 0xa4, 0xb8, 0x33);
        QTest::newRow("three digits fall back") << QStringLiteral("#FFF") << fallback;
        QTest::newRow("second number sign is kept") << QStringLiteral("##8AA4B8") << fallback;
        QTest::newRow("empty falls back") << QString() << fallback;
        QTest::newRow("leading digits before junk") << QStringLiteral("#12345Z") << QColor(0x01, 0x23, 0x45);
        QTest::newRow("no digits, six: opaque black") << QStringLiteral("#GGGGGG") << QColor(0, 0, 0, 255);
        QTest::newRow("no digits, eight: clear black") << QStringLiteral("#GGGGGGGG") << QColor(0, 0, 0, 0);
        QTest::newRow("0X prefix is a scanner form") << QStringLiteral("0X1234") << QColor(0x00, 0x12, 0x34);
        QTest::newRow("nine characters fall back") << QStringLiteral("#8AA4B8331") << fallback;
    }

    void skinHex()
    {
        QFETCH(QString, text);
        QFETCH(QColor, expected);
        const QColor c = stage::colorFromSkinHex(text);
        QCOMPARE(c.spec(), QColor::Rgb);
        QCOMPARE(c.rgba64(), expected.rgba64());
    }

    void fallbackColorIsTheDocumentedOne()
    {
        const QColor c = stage::colorFromSkinHex(u"#FFF");
        QCOMPARE(qRound(c.redF() * 1000), 50);
        QCOMPARE(qRound(c.greenF() * 1000), 50);
        QCOMPARE(qRound(c.blueF() * 1000), 60);
        QCOMPARE(c.alphaF(), 1.0f);
    }

    void decodeSkinFile_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QJsonObject base = UISkin::steel().toJson();
        const auto variant = [&](auto change) {
            QJsonObject o = base;
            change(o);
            return QJsonDocument(o).toJson();
        };
        QTest::newRow("complete") << variant([](QJsonObject &) {}) << true;
        QTest::newRow("kind null is none") << variant([](QJsonObject &o) { o.insert("kind", QJsonValue::Null); }) << true;
        QTest::newRow("unknown keys ignored") << variant([](QJsonObject &o) { o.insert("author", "x"); }) << true;
        QTest::newRow("missing colour key") << variant([](QJsonObject &o) {
            QJsonObject c = o.value("colors").toObject();
            c.remove("accentGradientEnd");
            o.insert("colors", c);
        }) << false;
        QTest::newRow("colour not a string") << variant([](QJsonObject &o) {
            QJsonObject c = o.value("colors").toObject();
            c.insert("bg", 12);
            o.insert("colors", c);
        }) << false;
        QTest::newRow("fractional version") << variant([](QJsonObject &o) { o.insert("version", 1.5); }) << false;
        QTest::newRow("version as text") << variant([](QJsonObject &o) { o.insert("version", "1"); }) << false;
        QTest::newRow("kind not a string") << variant([](QJsonObject &o) { o.insert("kind", 3); }) << false;
        QTest::newRow("missing name") << variant([](QJsonObject &o) { o.remove("name"); }) << false;
        QTest::newRow("array at top") << QByteArray("[]") << false;
        QTest::newRow("not JSON") << QByteArray("{\"id\":") << false;
    }

    void decodeSkinFile()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        const std::optional<UISkin> skin = UISkin::fromJson(json);
        QCOMPARE(skin.has_value(), valid);
        if (valid)
            QCOMPARE(UISkin::fromJson(skin->toJson()), skin);
    }

    void lightness_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QJsonValue>("kind");
        QTest::addColumn<bool>("light");
        QTest::newRow("absent kind is dark") << "a" << QJsonValue(QJsonValue::Undefined) << false;
        QTest::newRow("Light in capitals") << "a" << QJsonValue("Light") << true;
        QTest::newRow("kind default is light") << "a" << QJsonValue("default") << true;
        QTest::newRow("golden-default id") << "golden-default" << QJsonValue("dark") << true;
        QTest::newRow("golden id is case-sensitive") << "Golden-Default" << QJsonValue("dark") << false;
    }

    void lightness()
    {
        QFETCH(QString, id);
        QFETCH(QJsonValue, kind);
        QFETCH(bool, light);
        QCOMPARE(UISkin::fromJson(skinFile(id, "n", kind))->isLight(), light);
    }

    void emptyFoldersGiveTheBuiltIns()
    {
        QTemporaryDir dir;
        SkinStore store({dir.filePath("none"), dir.filePath("user/skins")});
        QCOMPARE(ids(store.skins()), (QStringList{"default", "duvediv-oduv"}));
        QCOMPARE(store.current(), UISkin::steel());
        QVERIFY(QFileInfo(dir.filePath("user/skins")).isDir());
    }

    void mergingAndOrder()
    {
        QTemporaryDir dir;
        const QString res = dir.filePath("res");
        const QString user = dir.filePath("user");
        writeFile(res, "a-cobalt.json", skinFile("cobalt", "Cobalt", "dark"));
        writeFile(res, "b-builder.json", skinFile("builder", "builder"));
        writeFile(res, "c-aurora.json", skinFile("aurora", "Aurora", "dark"));
        writeFile(res, "d-paper.json", skinFile("paper", "Paper", "light"));
        writeFile(res, "e-sunrise.json", skinFile("sunrise", "Alpha", "default"));
        writeFile(res, "f-cobalt-again.json", skinFile("cobalt", "Zeta", "dark"));
        writeFile(res, "README.json", skinFile("readme", "Readme"));
        writeFile(user, "Color-Presets.json", skinFile("presets", "Presets"));
        writeFile(user, "broken.json", "{ not json");
        writeFile(user, "notes.txt", skinFile("txt", "Txt"));
        writeFile(user, "SHOUT.JSON", skinFile("shout", "Shout", "dark"));
        writeFile(user, ".hidden.json", skinFile("hidden", "Hidden", "dark"));
        writeFile(user, "m-mine.json", skinFile("default", "Mine", "light"));
        writeFile(user, "t1.json", skinFile("twin", "Twin one", "dark"));
        writeFile(user, "t2.json", skinFile("twin", "Twin two", "dark"));

        SkinStore store({res, user});
        // "default" first (even light), then dark by name, then light by name.
        QCOMPARE(ids(store.skins()), (QStringList{"default", "aurora", "builder", "cobalt", "duvediv-oduv", "hidden",
                                                  "shout", "twin", "sunrise", "paper"}));
        QCOMPARE(store.skins().at(0).name, QStringLiteral("Mine"));
        QCOMPARE(store.skins().at(3).name, QStringLiteral("Cobalt")); // first resource of an id wins
        QCOMPARE(store.skins().at(7).name, QStringLiteral("Twin two")); // later user file wins
    }

    void tiesKeepLoadOrder()
    {
        QTemporaryDir dir;
        const QString user = dir.filePath("user");
        writeFile(user, "a.json", skinFile("z-first", "Same", "dark"));
        writeFile(user, "b.json", skinFile("a-second", "same", "dark"));
        SkinStore store({dir.filePath("res"), user});
        QCOMPARE(ids(store.skins()), (QStringList{"default", "duvediv-oduv", "z-first", "a-second"}));
        // A strict weak order: nothing, "default" included, orders before itself.
        QVERIFY(!SkinStore::ordersBefore(UISkin::steel(), UISkin::steel()));
        QVERIFY(!SkinStore::ordersBefore(store.skins().at(2), store.skins().at(2)));
    }

    void selection()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("user"), "c.json", skinFile("cobalt", "Cobalt"));
        SkinStore store({dir.filePath("res"), dir.filePath("user")});
        QCOMPARE(store.selectedID(), QStringLiteral("default"));
        QCOMPARE(platform::UserDefaults::value(skinIdKey()), QVariant()); // first read writes nothing

        QSignalSpy changed(&store, &SkinStore::changed);
        store.select("no-such-skin");
        QCOMPARE(changed.count(), 0);
        QCOMPARE(store.selectedID(), QStringLiteral("default"));

        store.select("cobalt");
        QVERIFY(changed.count() >= 1);
        QCOMPARE(platform::UserDefaults::string(skinIdKey()), QStringLiteral("cobalt"));
        QCOMPARE(store.current().id, QStringLiteral("cobalt"));

        // A binding may set an id no skin has: current falls back to "default".
        store.setSelectedID("gone");
        QCOMPARE(platform::UserDefaults::string(skinIdKey()), QStringLiteral("gone"));
        QCOMPARE(store.current().id, QStringLiteral("default"));
    }

    void staleSelectionResetsAtLaunch()
    {
        QTemporaryDir dir;
        platform::UserDefaults::setValue(skinIdKey(), QStringLiteral("deleted-skin"));
        SkinStore store({dir.filePath("res"), dir.filePath("user")});
        QCOMPARE(store.selectedID(), QStringLiteral("default"));
        QCOMPARE(platform::UserDefaults::string(skinIdKey()), QStringLiteral("default"));

        platform::UserDefaults::setValue(skinIdKey(), QStringLiteral("duvediv-oduv"));
        SkinStore again({dir.filePath("res"), dir.filePath("user")});
        QCOMPARE(again.current(), UISkin::duvedivOduv());
    }

    void shippedSkinsAreComplete()
    {
        QTemporaryDir dir;
        SkinStore store({QStringLiteral(":/skins"), dir.filePath("user")});
        const int files = int(QDir(QStringLiteral(":/skins")).entryList(QDir::Files).size());
        QVERIFY(files >= 4);
        QCOMPARE(store.skins().size(), files); // none skipped, built-ins come from the files
        bool anyLight = false;
        for (const UISkin &skin : store.skins()) {
            anyLight = anyLight || skin.isLight();
            const SkinColors c = skin.colors;
            for (const QString &hex : {c.bg, c.sidebar, c.elevated, c.elevated2, c.border, c.borderStrong, c.text,
                                       c.textSecondary, c.textTertiary, c.accent, c.accentSoft, c.userBubble,
                                       c.danger, c.success, c.accentGradientStart, c.accentGradientEnd}) {
                static const QRegularExpression form(QStringLiteral("^#([0-9A-F]{6}|[0-9A-F]{8})$"));
                QVERIFY2(form.match(hex).hasMatch(), qPrintable(skin.id + ": " + hex));
            }
        }
        QVERIFY(anyLight);
        // The shipped copies of the built-ins carry the built-in colours.
        const auto find = [&](const QString &id) {
            for (const UISkin &s : store.skins())
                if (s.id == id)
                    return s;
            return UISkin{};
        };
        QCOMPARE(find("default"), UISkin::steel());
        QCOMPARE(find("duvediv-oduv"), UISkin::duvedivOduv());
    }

    void photoCredits_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("absent");
        QTest::addColumn<QString>("detail");
        const QString site = StagePhotoCatalog::siteHomePage();
        QTest::newRow("first-run image is row 1") << StagePhotoCatalog::firstRunImageAddress() << false
                                                  << "Lanterns on the Quay · Night Harbour · Moonshelf";
        QTest::newRow("mixed case matches") << (site + "/IMAGES/Night-Harbour/01.WEBP").toUpper() << false
                                            << "Lanterns on the Quay · Night Harbour · Moonshelf";
        QTest::newRow("single photo of series B") << site + "/images/sliders/still-orbit/04.webp" << false
                                                  << "Still Orbit 04 · Still Orbit · Moonshelf";
        QTest::newRow("series A page shows title twice") << site + "/photographic-series/night-harbour" << false
                                                         << "Night Harbour · Night Harbour · Moonshelf";
        QTest::newRow("other photo of series B") << site + "/images/sliders/still-orbit/02.webp" << false
                                                 << "Still Orbit · Still Orbit · Moonshelf";
        QTest::newRow("site without series") << site + "/about" << false << "Photograph · Moonshelf";
        QTest::newRow("local file naming a key") << "file:///home/u/still-orbit.png" << false
                                                 << "Still Orbit · Still Orbit · Moonshelf";
        QTest::newRow("random service") << "https://picsum.photos/seed/4/1920/1080" << true << "";
        QTest::newRow("empty") << "" << true << "";
    }

    void photoCredits()
    {
        QFETCH(QString, address);
        QFETCH(bool, absent);
        QFETCH(QString, detail);
        const std::optional<StagePhotoCredit> credit = StagePhotoCatalog::credit(address);
        QCOMPARE(!credit.has_value(), absent);
        if (credit) {
            QCOMPARE(credit->detailLine(), detail);
            QCOMPARE(credit->artist, StagePhotoCatalog::artistName());
            QVERIFY(credit->url->startsWith(StagePhotoCatalog::siteHomePage()));
            QCOMPARE(StagePhotoCredit::fromJson(credit->toJson()), credit);
        }
        QVERIFY(!StagePhotoCatalog::credit(std::nullopt));
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestSkins)
#include "tst_skins.moc"
