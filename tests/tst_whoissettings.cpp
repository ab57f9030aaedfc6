// SPDX-License-Identifier: GPL-3.0-or-later
// The [whois] section: the daily_limit= list, cache_hours= and the messages of bad values.
#include "whois/RegistryTable.h"
#include "whois/WhoisSettings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Not the built-in defaults, so a parser that ignores its `defaults` shows.
const DailyLimits Given{{u"ARIN"_s, 11}, {u"RIPE"_s, 22}};

DailyLimits givenWith(std::initializer_list<std::pair<QString, qint64>> changes)
{
    DailyLimits limits = Given;
    for (const auto& [registry, limit] : changes) {
        limits.insert(registry, limit);
    }
    return limits;
}

} // namespace

class TestWhoisSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyRegistryHasADefault();
    void dailyLimits_data();
    void dailyLimits();
    void section_data();
    void section();
    void missingOrUnreadableFile();
};

// A default under another spelling than the table's would never be found.
void TestWhoisSettings::everyRegistryHasADefault()
{
    const DailyLimits defaults = defaultDailyLimits();
    QCOMPARE(defaults.size(), qsizetype(RegistryTable().size()));
    for (const WhoisRegistry& registry : RegistryTable()) {
        const QString name = registry.RegistryName.toString();
        QVERIFY2(defaults.contains(name), qPrintable(name));
        // Only RIPE publishes a daily limit; the others have none by default.
        QCOMPARE(defaults.value(name) > 0, name == u"RIPE"_s);
    }
    QVERIFY(defaults.value(u"RIPE"_s) < 1000);
}

void TestWhoisSettings::dailyLimits_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<DailyLimits>("limits");
    // Empty when the value is good; else a part the message must contain.
    QTest::addColumn<QString>("error");

    QTest::newRow("empty: the defaults") << QString() << Given << QString();
    QTest::newRow("blanks only: the defaults") << u"   "_s << Given << QString();
    QTest::newRow("one registry, the others kept") << u"RIPE=500"_s << givenWith({{u"RIPE"_s, 500}}) << QString();
    QTest::newRow("any letter case, blanks around items and =")
        << u" ripe = 500 ,Nic.Br=7 "_s << givenWith({{u"RIPE"_s, 500}, {u"NIC.BR"_s, 7}}) << QString();
    QTest::newRow("0 is no limit") << u"ARIN=0"_s << givenWith({{u"ARIN"_s, 0}}) << QString();
    QTest::newRow("every registry") << u"ARIN=1,RIPE=2,LACNIC=3,AUNIC=4,APNIC=5,KRNIC=6,NIC.BR=7"_s
                                    << givenWith({{u"ARIN"_s, 1},
                                                  {u"RIPE"_s, 2},
                                                  {u"LACNIC"_s, 3},
                                                  {u"AUNIC"_s, 4},
                                                  {u"APNIC"_s, 5},
                                                  {u"KRNIC"_s, 6},
                                                  {u"NIC.BR"_s, 7}})
                                    << QString();
    QTest::newRow("leading zeros") << u"KRNIC=0050"_s << givenWith({{u"KRNIC"_s, 50}}) << QString();

    QTest::newRow("a registry not in the table")
        << u"RIPE=5, AFRINIC=5000"_s << DailyLimits() << u"\"AFRINIC=5000\": \"AFRINIC\" is not a registry"_s;
    QTest::newRow("no registry before =") << u"=5"_s << DailyLimits() << u"\"=5\": \"\" is not a registry"_s;
    QTest::newRow("no =") << u"RIPE 500"_s << DailyLimits() << u"\"RIPE 500\": no \"=\""_s;
    QTest::newRow("a negative limit") << u"RIPE=-1"_s << DailyLimits() << u"\"RIPE=-1\": \"-1\" is not a whole"_s;
    QTest::newRow("a signed limit") << u"RIPE=+5"_s << DailyLimits() << u"\"RIPE=+5\": \"+5\" is not a whole"_s;
    QTest::newRow("a word") << u"APNIC=ten"_s << DailyLimits() << u"\"APNIC=ten\": \"ten\" is not a whole"_s;
    QTest::newRow("a fraction") << u"APNIC=1.5"_s << DailyLimits() << u"\"APNIC=1.5\": \"1.5\" is not"_s;
    QTest::newRow("no limit after =") << u"APNIC= "_s << DailyLimits() << u"\"APNIC=\": \"\" is not a whole"_s;
    QTest::newRow("digits of another script") << u"APNIC=\u0665"_s << DailyLimits() << u"is not a whole number"_s;
    QTest::newRow("too large for a count")
        << u"ARIN=99999999999999999999"_s << DailyLimits() << u"\"99999999999999999999\" is not a whole"_s;
    QTest::newRow("named twice, in two spellings")
        << u"RIPE=1, ripe=2"_s << DailyLimits() << u"\"ripe=2\": RIPE is named twice"_s;
    QTest::newRow("a trailing comma") << u"RIPE=1,"_s << DailyLimits() << u"an empty item"_s;
    QTest::newRow("an empty item between two") << u"RIPE=1,,ARIN=2"_s << DailyLimits() << u"an empty item"_s;
}

void TestWhoisSettings::dailyLimits()
{
    QFETCH(QString, value);
    QFETCH(DailyLimits, limits);
    QFETCH(QString, error);
    QString why = u"untouched"_s;
    const std::optional<DailyLimits> parsed = parseDailyLimits(value, Given, &why);
    if (error.isEmpty()) {
        QVERIFY2(parsed.has_value(), qPrintable(why));
        QCOMPARE(*parsed, limits);
        QCOMPARE(why, u"untouched"_s);
    } else {
        QVERIFY(!parsed.has_value());
        QVERIFY2(why.contains(error), qPrintable(why));
    }
    // The error pointer is optional.
    QCOMPARE(parseDailyLimits(value, Given, nullptr).has_value(), error.isEmpty());
}

void TestWhoisSettings::section_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("cacheHours");
    QTest::addColumn<qint64>("ripeLimit");
    // "%1" stands for the file's path.
    QTest::addColumn<QString>("error");

    const qint64 ripe = defaultDailyLimits().value(u"RIPE"_s);
    QTest::newRow("no section") << QByteArray("[store]\nfolder=Junk\n") << 0 << ripe << QString();
    QTest::newRow("both keys, with a comment")
        << QByteArray("[Whois]\nCache_Hours = 24\nDaily_Limit = ripe=10, arin=5 ; stay low\n") << 24 << qint64(10)
        << QString();
    QTest::newRow("the keys in another section")
        << QByteArray("[store]\ncache_hours=24\ndaily_limit=RIPE=10\n") << 0 << ripe << QString();
    QTest::newRow("the longest cache") << QByteArray("[whois]\ncache_hours=720\n") << 720 << ripe << QString();
    QTest::newRow("the last of a repeated key")
        << QByteArray("[whois]\ndaily_limit=RIPE=10\ndaily_limit=ARIN=3\n") << 0 << ripe << QString();
    QTest::newRow("a cache longer than 30 days")
        << QByteArray("[whois]\ncache_hours=721\n") << 0 << ripe
        << u"%1: [whois] cache_hours: \"721\" is not a whole number of hours from 0 to 720"_s;
    QTest::newRow("a negative cache")
        << QByteArray("[whois]\ncache_hours=-1\n") << 0 << ripe
        << u"%1: [whois] cache_hours: \"-1\" is not a whole number of hours from 0 to 720"_s;
    QTest::newRow("an empty cache") << QByteArray("[whois]\ncache_hours=\n") << 0 << ripe
                                    << u"%1: [whois] cache_hours: \"\" is not a whole number of hours from 0 to 720"_s;
    // The good key before the bad one is dropped too: all defaults.
    QTest::newRow("a bad limit after a good cache")
        << QByteArray("[whois]\ncache_hours=24\ndaily_limit=RIPE=10,AFRINIC=5\n") << 0 << ripe
        << u"%1: [whois] daily_limit: \"AFRINIC=5\": \"AFRINIC\" is not a registry of the whois table "
           u"(ARIN, RIPE, LACNIC, AUNIC, APNIC, KRNIC, NIC.BR)"_s;
}

void TestWhoisSettings::section()
{
    QFETCH(QByteArray, text);
    QFETCH(int, cacheHours);
    QFETCH(qint64, ripeLimit);
    QFETCH(QString, error);
    QTemporaryDir directory;
    QFile file(directory.filePath(u"zelkor.conf"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    const WhoisSettings settings = readWhoisSettings(file.fileName());
    QCOMPARE(settings.error, error.isEmpty() ? QString() : error.arg(file.fileName()));
    QCOMPARE(settings.cacheHours, cacheHours);
    QCOMPARE(settings.dailyLimits.value(u"RIPE"_s), ripeLimit);
    if (!error.isEmpty()) {
        QCOMPARE(settings.dailyLimits, defaultDailyLimits());
    }
}

void TestWhoisSettings::missingOrUnreadableFile()
{
    QTemporaryDir directory;
    const WhoisSettings missing = readWhoisSettings(directory.filePath(u"missing.conf"_s));
    QCOMPARE(missing.error, QString());
    QCOMPARE(missing.dailyLimits, defaultDailyLimits());
    // A directory exists but cannot be read as a file, whoever runs the test.
    const WhoisSettings unreadable = readWhoisSettings(directory.path());
    QVERIFY2(unreadable.error.startsWith(directory.path() + u": cannot be read"_s), qPrintable(unreadable.error));
    QCOMPARE(unreadable.dailyLimits, defaultDailyLimits());
}

QTEST_GUILESS_MAIN(TestWhoisSettings)
#include "tst_whoissettings.moc"
