// SPDX-License-Identifier: GPL-3.0-or-later
// Reverse lookups of relay addresses through c-ares, against a dnsmasq on 127.0.0.1.
#include "resolve/CaresResolver.h"
#include "resolve/ReverseLookup.h"
#include "tests/support/DnsmasqServer.h"
#include "tests/support/FakeResolver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QUdpSocket>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The PTR names of 2001:db8::25 and 2001:db8::26 under ip6.arpa, nibbles least significant first.
const QString Ipv6Name25 = u"5.2.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2.ip6.arpa"_s;
const QString Ipv6Name26 = u"6.2.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2.ip6.arpa"_s;
const QString Ipv6LoopbackName = u"1.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.ip6.arpa"_s;

// Four labels of the longest legal length: 4 * 63 + 3 dots = 255 characters.
const QString LongHostName = QStringList(4, QString(63, u'x')).join(u'.');

ReverseLookupResult resolve(const QString& servers, const QString& address)
{
    CaresResolver resolver(servers);
    const int startup = resolver.startup();
    const ReverseLookupResult result = ResolveAnyHostName(resolver, address, [] {});
    return startup == 0 ? result : ReverseLookupResult{u"start-up failed"_s, startup};
}

} // namespace

class TestReverseLookup : public QObject
{
    Q_OBJECT
    std::unique_ptr<DnsmasqServer> m_server;

private Q_SLOTS:
    void initTestCase()
    {
        const QStringList records{u"ptr-record=5.2.0.192.in-addr.arpa,mx.example.test"_s,
                                  u"txt-record=6.2.0.192.in-addr.arpa,no pointer here"_s,
                                  u"ptr-record=8.2.0.192.in-addr.arpa,"_s + LongHostName,
                                  u"ptr-record=1.0.0.127.in-addr.arpa,loopback.dns.example.test"_s,
                                  u"ptr-record="_s + Ipv6Name25 + u",mx6.example.test"_s,
                                  u"txt-record="_s + Ipv6Name26 + u",no pointer here"_s,
                                  u"ptr-record="_s + Ipv6LoopbackName + u",loopback.dns.example.test"_s};
        m_server = std::make_unique<DnsmasqServer>(
            records, [](const QString& server) { return resolve(server, u"192.0.2.5"_s).errorCode == 0; });
        QVERIFY2(m_server->errorString().isEmpty(), qPrintable(m_server->errorString()));
    }

    void lookup_data()
    {
        QTest::addColumn<QString>("servers");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("hostName");
        QTest::addColumn<int>("errorCode");

        const QString dns = m_server->serverAddress();
        QTest::newRow("PTR, blanks around the address") << dns << u" 192.0.2.5 "_s << u"mx.example.test"_s << 0;
        QTest::newRow("255-character name whole") << dns << u"192.0.2.8"_s << LongHostName << 0;
        QTest::newRow("name without PTR") << dns << u"192.0.2.6"_s << QString() << 11004;
        QTest::newRow("no record") << dns << u"192.0.2.7"_s << QString() << 11001;
        QTest::newRow("no server") << DnsmasqServer::unusedAddress() << u"192.0.2.5"_s << QString() << 11003;
        QTest::newRow("IPv6 PTR") << dns << u"2001:db8::25"_s << u"mx6.example.test"_s << 0;
        QTest::newRow("IPv6 PTR, full form in capitals, blanks around")
            << dns << u" 2001:0DB8:0000:0000:0000:0000:0000:0025 "_s << u"mx6.example.test"_s << 0;
        QTest::newRow("IPv6 name without PTR") << dns << u"2001:db8::26"_s << QString() << 11004;
        QTest::newRow("IPv6 without record") << dns << u"2001:db8::27"_s << QString() << 11001;
        QTest::newRow("IPv4-mapped IPv6 asks for the IPv4 PTR")
            << dns << u"::ffff:192.0.2.5"_s << u"mx.example.test"_s << 0;
        QTest::newRow("IPv6, no server") << DnsmasqServer::unusedAddress() << u"2001:db8::25"_s << QString() << 11003;
        QTest::newRow("malformed server list") << u"not a server"_s << u"192.0.2.5"_s << u"start-up failed"_s << 10091;
    }
    void lookup()
    {
        QFETCH(QString, servers);
        QFETCH(QString, address);
        QFETCH(QString, hostName);
        QFETCH(int, errorCode);

        const ReverseLookupResult result = resolve(servers, address);
        QCOMPARE(result.hostName, hostName);
        QCOMPARE(result.errorCode, errorCode);
    }

    // A DNS server that takes the query and never answers: the lookup gives up
    // after its tries instead of freezing the window.
    void silentServerTimesOut()
    {
        QUdpSocket silent;
        QVERIFY(silent.bind(QHostAddress::LocalHost, 0));
        QElapsedTimer clock;
        clock.start();
        const ReverseLookupResult result = resolve(u"127.0.0.1:%1"_s.arg(silent.localPort()), u"192.0.2.5"_s);
        QCOMPARE(result.errorCode, 11003);
        QVERIFY(result.hostName.isEmpty());
        QCOMPARE_LT(clock.elapsed(), 15000);
    }

    // The loopback addresses also have DNS records (see initTestCase): a name
    // other than those comes from /etc/hosts.
    void hostsFileComesFirst_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("IPv4") << u"127.0.0.1"_s;
        QTest::newRow("IPv6") << u"::1"_s;
    }
    void hostsFileComesFirst()
    {
        QFETCH(QString, address);
        QFile hosts(u"/etc/hosts"_s);
        const QList<QByteArray> lines =
            hosts.open(QIODevice::ReadOnly) ? hosts.readAll().split('\n') : QList<QByteArray>();
        if (std::none_of(lines.begin(), lines.end(), [&](const QByteArray& line) {
                return line.simplified().split(' ').value(0) == address.toLatin1();
            })) {
            QSKIP(qPrintable(u"/etc/hosts has no entry for "_s + address));
        }
        const ReverseLookupResult result = resolve(m_server->serverAddress(), address);
        QVERIFY2(result.errorCode == 0 && !result.hostName.isEmpty(), qPrintable(result.hostName));
        QCOMPARE_NE(result.hostName, u"loopback.dns.example.test"_s);
        // The system's own configuration, as the programs use it by default.
        QCOMPARE(resolve(QString(), address).hostName, result.hostName);
    }

    // ResolveHostName lets only an IPv4 address reach the resolver, and
    // ResolveAnyHostName an IPv6 address too, blanks around it removed; either
    // after exactly one pass over the pending events.
    void fakeResolver_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QStringList>("lookedUp");
        QTest::addColumn<QStringList>("lookedUpByAny");
        const QStringList none;
        QTest::newRow("blanks around the address")
            << u" 192.0.2.5 "_s << QStringList{u"192.0.2.5"_s} << QStringList{u"192.0.2.5"_s};
        QTest::newRow("IPv6 literal from a Received line") << u"IPv6:2001:db8::1"_s << none << none;
        QTest::newRow("all ones, the failure mark") << u"255.255.255.255"_s << none << none;
        QTest::newRow("five parts") << u"1.2.3.4.5"_s << none << none;
        QTest::newRow("part over 255") << u"192.0.2.256"_s << none << none;
        QTest::newRow("IPv6, blanks around") << u" 2001:DB8::1 "_s << none << QStringList{u"2001:db8::1"_s};
        QTest::newRow("IPv6 ending in a dotted quad")
            << u"2001:db8::192.0.2.5"_s << none << QStringList{u"2001:db8::c000:205"_s};
        QTest::newRow("IPv4-mapped IPv6") << u"::ffff:192.0.2.5"_s << none << QStringList{u"192.0.2.5"_s};
        QTest::newRow("IPv4-mapped all ones") << u"::ffff:255.255.255.255"_s << none << none;
        QTest::newRow("IPv6 with a zone index") << u"fe80::1%eth0"_s << none << none;
        QTest::newRow("IPv6 in brackets") << u"[2001:db8::1]"_s << none << none;
        QTest::newRow("IPv6, two double colons") << u"2001:db8::1::2"_s << none << none;
        QTest::newRow("IPv6, NUL inside") << u"::1\0 junk"_s << none << none;
        QTest::newRow("host name") << u"mx.example.test"_s << none << none;
    }
    void fakeResolver()
    {
        QFETCH(QString, address);
        QFETCH(QStringList, lookedUp);
        QFETCH(QStringList, lookedUpByAny);
        using Resolve = ReverseLookupResult (*)(HostResolver&, const QString&, const std::function<void()>&);
        const QList<std::pair<Resolve, QStringList>> functions{{ResolveHostName, lookedUp},
                                                               {ResolveAnyHostName, lookedUpByAny}};
        for (const auto& [function, expected] : functions) {
            FakeResolver resolver;
            QList<qsizetype> lookupsSeenByEventPass;
            function(resolver, address, [&] { lookupsSeenByEventPass.append(resolver.lookedUp.size()); });
            QCOMPARE(resolver.lookedUp, expected);
            QCOMPARE(lookupsSeenByEventPass, expected.isEmpty() ? QList<qsizetype>() : QList<qsizetype>{0});
        }
    }
};

QTEST_GUILESS_MAIN(TestReverseLookup)
#include "tst_reverselookup.moc"
