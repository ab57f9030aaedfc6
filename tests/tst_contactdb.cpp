// SPDX-License-Identifier: GPL-3.0-or-later
// The DNS abuse-contact database: the names asked, the addresses read from its
// TXT records, and the client against dnsmasq on loopback.
#include "contactdb/ContactDbClient.h"
#include "contactdb/ContactZone.h"
#include "tests/support/DnsmasqServer.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString Zone = u"contacts.test"_s;

} // namespace

class TestContactDb : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void queryNames_data();
    void queryNames();
    void addressesInRecords_data();
    void addressesInRecords();
    void clientAgainstDnsmasq_data();
    void clientAgainstDnsmasq();
    void cancelledLookupsNeverArrive();
};

void TestContactDb::queryNames_data()
{
    QTest::addColumn<QString>("relay");
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QByteArray>("name");

    QTest::newRow("IPv4, octets reversed") << u"192.0.2.7"_s << Zone << QByteArray("7.2.0.192.contacts.test");
    QTest::newRow("blanks around the relay") << u" 192.0.2.7 "_s << Zone << QByteArray("7.2.0.192.contacts.test");
    QTest::newRow("zone with its root dot")
        << u"192.0.2.7"_s << u"contacts.test."_s << QByteArray("7.2.0.192.contacts.test");
    QTest::newRow("IPv6, nibbles reversed")
        << u"2001:db8::25"_s << Zone
        << QByteArray("5.2.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2.contacts.test");
    QTest::newRow("IPv4-mapped is asked as IPv4")
        << u"::ffff:192.0.2.7"_s << Zone << QByteArray("7.2.0.192.contacts.test");
    QTest::newRow("a host name is no address") << u"mx.example.org"_s << Zone << QByteArray();
    QTest::newRow("a short form is no address") << u"192.2.7"_s << Zone << QByteArray();
    QTest::newRow("a zone index is refused") << u"fe80::1%eth0"_s << Zone << QByteArray();
    QTest::newRow("no zone") << u"192.0.2.7"_s << QString() << QByteArray();
    QTest::newRow("a zone with a blank") << u"192.0.2.7"_s << u"contacts .test"_s << QByteArray();
    QTest::newRow("a zone with an empty label") << u"192.0.2.7"_s << u"contacts..test"_s << QByteArray();
    QTest::newRow("a label of 64 characters") << u"192.0.2.7"_s << QString(64, u'a') + u".test"_s << QByteArray();
    QTest::newRow("a label of 63 characters")
        << u"192.0.2.7"_s << QString(63, u'a') + u".test"_s << "7.2.0.192." + QByteArray(63, 'a') + ".test";
}

void TestContactDb::queryNames()
{
    QFETCH(QString, relay);
    QFETCH(QString, zone);
    QFETCH(QByteArray, name);
    QCOMPARE(contactQueryName(relay, zone), name);
    QCOMPARE(isContactZoneName(zone), !name.isEmpty() || zone == Zone);
}

void TestContactDb::addressesInRecords_data()
{
    QTest::addColumn<QList<QByteArray>>("records");
    QTest::addColumn<QStringList>("addresses");

    QTest::newRow("one address") << QList<QByteArray>{"abuse@net.example"} << QStringList{u"abuse@net.example"_s};
    QTest::newRow("a record per address, case kept") << QList<QByteArray>{"Abuse@Net.example", "noc@net.example"}
                                                     << QStringList{u"Abuse@Net.example"_s, u"noc@net.example"_s};
    QTest::newRow("several in one record, apart by commas, semicolons and blanks")
        << QList<QByteArray>{"a@x.example, b@x.example;c@x.example\td@x.example"}
        << QStringList{u"a@x.example"_s, u"b@x.example"_s, u"c@x.example"_s, u"d@x.example"_s};
    QTest::newRow("wrapped and mailto") << QList<QByteArray>{"<a@x.example> \"b@x.example\" mailto:c@x.example"}
                                        << QStringList{u"a@x.example"_s, u"b@x.example"_s, u"c@x.example"_s};
    QTest::newRow("each once, whatever the case")
        << QList<QByteArray>{"a@x.example", "A@X.EXAMPLE, a@x.example"} << QStringList{u"a@x.example"_s};
    QTest::newRow("words that are no whole address")
        << QList<QByteArray>{"abuse contact: a@@x.example @x.example a@x a@.example a@x.example. a@x..example "
                             "a+b@x.example a@x.example\xff"}
        << QStringList();
    QTest::newRow("an empty answer") << QList<QByteArray>{} << QStringList();
    QList<QByteArray> many;
    QStringList first;
    for (int at = 0; at < 40; ++at) {
        many.append("desk" + QByteArray::number(at) + "@x.example");
        if (at < 16) {
            first.append(u"desk%1@x.example"_s.arg(at));
        }
    }
    QTest::newRow("a hostile answer is cut at 16") << many << first;
}

void TestContactDb::addressesInRecords()
{
    QFETCH(QList<QByteArray>, records);
    QFETCH(QStringList, addresses);
    QCOMPARE(contactAddressesInTxt(records), addresses);
}

// The outcome of one lookup, whatever the server does: addresses, "nobody
// listed" without a failure, or a failure that says what happened, within the
// client's time limit.
void TestContactDb::clientAgainstDnsmasq_data()
{
    QTest::addColumn<QString>("relay");
    QTest::addColumn<bool>("serverAnswers");
    QTest::addColumn<QStringList>("abuse");
    QTest::addColumn<QString>("failure");

    QTest::newRow("listed, two records") << u"192.0.2.7"_s << true
                                         << QStringList{u"abuse@net.example"_s, u"noc@net.example"_s} << QString();
    QTest::newRow("listed, one record of two strings")
        << u"198.51.100.9"_s << true << QStringList{u"desk@two.example"_s, u"cert@two.example"_s} << QString();
    // A string of more than 255 bytes goes on in the next; the address is cut.
    QTest::newRow("an address across two strings")
        << u"192.0.2.9"_s << true << QStringList{u"abuse@long.example"_s} << QString();
    QTest::newRow("IPv6") << u"2001:db8::25"_s << true << QStringList{u"abuse@six.example"_s} << QString();
    QTest::newRow("nobody listed") << u"203.0.113.1"_s << true << QStringList() << QString();
    QTest::newRow("no such name under the zone: no record") << u"192.0.2.8"_s << true << QStringList() << QString();
    QTest::newRow("a name with other records but no TXT") << u"192.0.2.10"_s << true << QStringList() << QString();
    QTest::newRow("not an address") << u"mx.example.org"_s << true << QStringList() << u"not an IP address"_s;
    QTest::newRow("no server answers") << u"192.0.2.7"_s << false << QStringList() << u"contacts.test"_s;
}

void TestContactDb::clientAgainstDnsmasq()
{
    QFETCH(QString, relay);
    QFETCH(bool, serverAnswers);
    QFETCH(QStringList, abuse);
    QFETCH(QString, failure);

    const DnsmasqServer dns(
        {u"local=/contacts.test/"_s, u"txt-record=7.2.0.192.contacts.test,abuse@net.example"_s,
         u"txt-record=7.2.0.192.contacts.test,noc@net.example"_s,
         u"txt-record=9.100.51.198.contacts.test,desk@two.example,cert@two.example"_s,
         u"txt-record=5.2.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2.contacts.test,"
         u"abuse@six.example"_s,
         u"txt-record=1.113.0.203.contacts.test,no contact here"_s,
         u"host-record=10.2.0.192.contacts.test,192.0.2.10"_s,
         u"txt-record=9.2.0.192.contacts.test,"_s + QString(250, u'x') + u" abuse@long.example"_s});
    QVERIFY2(dns.errorString().isEmpty(), qPrintable(dns.errorString()));
    ContactDbClient client(
        {Zone, serverAnswers ? dns.serverAddress() : DnsmasqServer::unusedAddress(), std::chrono::milliseconds(1500)});
    QSignalSpy finished(&client, &ContactDbClient::finished);
    const quint64 ticket = client.lookup(relay);
    QVERIFY(finished.isEmpty());
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toULongLong(), ticket);
    const auto result = finished[0][1].value<ContactDbResult>();
    QCOMPARE(result.address, relay);
    // DNS gives the records of a name in any order.
    QStringList found = result.abuse;
    found.sort();
    abuse.sort();
    QCOMPARE(found, abuse);
    if (failure.isEmpty()) {
        QCOMPARE(result.error, QString());
        QCOMPARE(result.zone, Zone);
    } else {
        QVERIFY2(result.error.contains(failure), qPrintable(result.error));
    }
}

// A new run drops the lookups of the last: their answers never arrive, and a
// later lookup still does.
void TestContactDb::cancelledLookupsNeverArrive()
{
    const DnsmasqServer dns({u"local=/contacts.test/"_s, u"txt-record=7.2.0.192.contacts.test,abuse@net.example"_s});
    QVERIFY2(dns.errorString().isEmpty(), qPrintable(dns.errorString()));
    ContactDbClient client({Zone, dns.serverAddress(), 1500ms});
    QSignalSpy finished(&client, &ContactDbClient::finished);
    client.lookup(u"192.0.2.7"_s);
    client.lookup(u"not an address"_s);
    client.cancelAll();
    const quint64 later = client.lookup(u"192.0.2.7"_s);
    QVERIFY(finished.wait(10000));
    QTest::qWait(300);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toULongLong(), later);
    QCOMPARE(finished[0][1].value<ContactDbResult>().abuse, QStringList{u"abuse@net.example"_s});
}

QTEST_GUILESS_MAIN(TestContactDb)
#include "tst_contactdb.moc"
