// SPDX-License-Identifier: GPL-3.0-or-later
// The network range a whois answer states, which lets a kept final answer
// stand for every address inside it: constructed lines and shared answers.
#include "common/TextCodec.h"
#include "whois/NetworkRange.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString sharedWhois(const QString& name)
{
    return QStringLiteral(ZELKOR_TEST_DATA_DIR "/../../../shared/testdata/whois/") + name;
}

// "first - last" of the range the answer states for `address`, "none" for none.
QString rangeText(const QString& answer, const QString& address)
{
    const std::optional<Ipv6Bytes> bytes = addressBytes(address);
    if (!bytes) {
        return u"not an address"_s;
    }
    const std::optional<NetworkRange> range = statedNetworkRange(answer, *bytes);
    if (!range) {
        return u"none"_s;
    }
    const auto text = [](const Ipv6Bytes& value) {
        if (const std::optional<Ipv4> four = mappedIpv4(value)) {
            return u"%1.%2.%3.%4"_s.arg(*four >> 24)
                .arg((*four >> 16) & 0xff)
                .arg((*four >> 8) & 0xff)
                .arg(*four & 0xff);
        }
        QStringList groups;
        for (std::size_t i = 0; i < 16; i += 2) {
            groups.append(QString::number((value[i] << 8) | value[i + 1], 16));
        }
        return groups.join(u':');
    };
    return text(range->first) + u" - "_s + text(range->last);
}

} // namespace

class TestNetworkRange : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void constructed_data();
    void constructed();
    void sharedAnswers_data();
    void sharedAnswers();
};

void TestNetworkRange::constructed_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("range");

    QTest::newRow("NetRange") << u"NetRange: 192.0.2.0 - 192.0.2.255\n"_s << u"192.0.2.7"_s
                              << u"192.0.2.0 - 192.0.2.255"_s;
    QTest::newRow("bounds are inside") << u"NetRange: 192.0.2.0 - 192.0.2.255\n"_s << u"192.0.2.255"_s
                                       << u"192.0.2.0 - 192.0.2.255"_s;
    QTest::newRow("outside") << u"NetRange: 192.0.2.0 - 192.0.2.255\n"_s << u"192.0.3.0"_s << u"none"_s;
    QTest::newRow("the smallest range that holds it")
        << u"inetnum: 10.0.0.0 - 10.255.255.255\nCIDR: 10.1.0.0/16, 10.1.2.0/24\ninetnum: 10.1.2.0 - 10.1.2.127\n"_s
        << u"10.1.2.200"_s << u"10.1.2.0 - 10.1.2.255"_s;
    QTest::newRow("LACNIC's short prefix")
        << u"inetnum:     200.57.128/19\n"_s << u"200.57.141.161"_s << u"200.57.128.0 - 200.57.159.255"_s;
    QTest::newRow("leading zeros") << u"inetnum: 093.192.000.000 - 093.192.255.255\r\n"_s << u"93.192.4.5"_s
                                   << u"93.192.0.0 - 93.192.255.255"_s;
    QTest::newRow("a /32 and a /0") << u"CIDR: 192.0.2.7/32\n"_s << u"192.0.2.7"_s << u"192.0.2.7 - 192.0.2.7"_s;
    QTest::newRow("inet6num") << u"inet6num: 2001:db8::/32\n"_s << u"2001:db8:5::1"_s
                              << u"2001:db8:0:0:0:0:0:0 - 2001:db8:ffff:ffff:ffff:ffff:ffff:ffff"_s;
    QTest::newRow("an IPv6 range never holds an IPv4 address") << u"inet6num: ::/0\n"_s << u"192.0.2.7"_s << u"none"_s;
    QTest::newRow("a range over both families is none")
        << u"NetRange: 0.0.0.0 - ffff::\n"_s << u"192.0.2.7"_s << u"none"_s;
    QTest::newRow("a reversed range is none")
        << u"NetRange: 192.0.2.255 - 192.0.2.0\n"_s << u"192.0.2.7"_s << u"none"_s;
    QTest::newRow("a prefix too long is none")
        << u"CIDR: 192.0.2.0/33\ninet6num: 2001:db8::/129\n"_s << u"192.0.2.7"_s << u"none"_s;
    QTest::newRow("other keys and remarks are not ranges")
        << u"remarks: NetRange: 192.0.2.0 - 192.0.2.255\nroute: 192.0.2.0/24\n"_s << u"192.0.2.7"_s << u"none"_s;
    QTest::newRow("a host name is no address")
        << u"NetRange: 192.0.2.0 - 192.0.2.255\n"_s << u"mx.example"_s << u"not an address"_s;
}

void TestNetworkRange::constructed()
{
    QFETCH(QString, answer);
    QFETCH(QString, address);
    QFETCH(QString, range);
    QCOMPARE(rangeText(answer, address), range);
}

void TestNetworkRange::sharedAnswers_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("range");

    // Two nets of one organisation: the smaller one holds the address.
    QTest::newRow("arin cox") << u"arin_two-nets-cox-2020_24.255.x.txt"_s << u"24.255.200.1"_s
                              << u"24.255.128.0 - 24.255.255.255"_s;
    QTest::newRow("arin cox, outside the smaller net")
        << u"arin_two-nets-cox-2020_24.255.x.txt"_s << u"24.250.0.1"_s << u"24.248.0.0 - 24.255.255.255"_s;
    QTest::newRow("lacnic triara") << u"lacnic_ipwhois-2015_200.57.141.161.txt"_s << u"200.57.141.161"_s
                                   << u"200.57.128.0 - 200.57.159.255"_s;
    QTest::newRow("nic.br brisanet") << u"nicbr_brisanet_177.37.164.71.txt"_s << u"177.37.164.71"_s
                                     << u"177.37.128.0 - 177.37.255.255"_s;
    QTest::newRow("krnic, two nested inetnums")
        << u"apnic_ipwhois-2015_210.107.73.73.txt"_s << u"210.107.73.73"_s << u"210.107.0.0 - 210.107.127.255"_s;
    QTest::newRow("ripe bt") << u"ripe_ipwhois-2015_62.239.237.1.txt"_s << u"62.239.237.1"_s
                             << u"62.239.237.0 - 62.239.237.255"_s;
    QTest::newRow("ripe bt v6") << u"ripe_ipwhois-2015_2a00-2381-ffff--1.txt"_s << u"2a00:2381:ffff::1"_s
                                << u"2a00:2381:ffff:0:0:0:0:0 - 2a00:2381:ffff:0:ffff:ffff:ffff:ffff"_s;
    QTest::newRow("lacnic v6 in inetnum") << u"lacnic_ipwhois-2015_2801-10-c000.txt"_s << u"2801:10:c000::1"_s
                                          << u"2801:10:c000:0:0:0:0:0 - 2801:10:c000:ffff:ffff:ffff:ffff:ffff"_s;
}

void TestNetworkRange::sharedAnswers()
{
    QFETCH(QString, name);
    QFETCH(QString, address);
    QFETCH(QString, range);
    QFile file(sharedWhois(name));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    QCOMPARE(rangeText(decodeTextFile(file.readAll()), address), range);
}

QTEST_GUILESS_MAIN(TestNetworkRange)
#include "tst_networkrange.moc"
