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

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Four labels of the longest legal length: 4 * 63 + 3 dots = 255 characters.
const QString LongHostName = QStringList(4, QString(63, u'x')).join(u'.');

ReverseLookupResult resolve(const QString& servers, const QString& address)
{
    CaresResolver resolver(servers);
    const int startup = resolver.startup();
    const ReverseLookupResult result = ResolveHostName(resolver, address, [] {});
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
                                  u"ptr-record=1.0.0.127.in-addr.arpa,loopback.dns.example.test"_s};
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

    void hostsFileComesFirst()
    {
        QFile hosts(u"/etc/hosts"_s);
        if (!hosts.open(QIODevice::ReadOnly) || !hosts.readAll().contains("127.0.0.1")) {
            QSKIP("/etc/hosts has no entry for 127.0.0.1");
        }
        const ReverseLookupResult result = resolve(m_server->serverAddress(), u"127.0.0.1"_s);
        QVERIFY2(result.errorCode == 0 && !result.hostName.isEmpty(), qPrintable(result.hostName));
        QCOMPARE_NE(result.hostName, u"loopback.dns.example.test"_s);
        // The system's own configuration, as the programs use it by default.
        QCOMPARE(resolve(QString(), u"127.0.0.1"_s).hostName, result.hostName);
    }

    // Only an IPv4 address, blanks around it removed, reaches the resolver,
    // after exactly one pass over the pending events.
    void fakeResolver_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QStringList>("lookedUp");
        QTest::newRow("blanks around the address") << u" 192.0.2.5 "_s << QStringList{u"192.0.2.5"_s};
        QTest::newRow("IPv6 literal from a Received line") << u"IPv6:2001:db8::1"_s << QStringList();
        QTest::newRow("all ones, the failure mark") << u"255.255.255.255"_s << QStringList();
        QTest::newRow("five parts") << u"1.2.3.4.5"_s << QStringList();
        QTest::newRow("part over 255") << u"192.0.2.256"_s << QStringList();
    }
    void fakeResolver()
    {
        QFETCH(QString, address);
        QFETCH(QStringList, lookedUp);
        FakeResolver resolver;
        QList<qsizetype> lookupsSeenByEventPass;
        ResolveHostName(resolver, address, [&] { lookupsSeenByEventPass.append(resolver.lookedUp.size()); });
        QCOMPARE(resolver.lookedUp, lookedUp);
        QCOMPARE(lookupsSeenByEventPass, lookedUp.isEmpty() ? QList<qsizetype>() : QList<qsizetype>{0});
    }
};

QTEST_GUILESS_MAIN(TestReverseLookup)
#include "tst_reverselookup.moc"
