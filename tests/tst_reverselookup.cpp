// SPDX-License-Identifier: GPL-3.0-or-later
// Reverse lookups of relay addresses through c-ares, against a dnsmasq on 127.0.0.1.
#include "resolve/CaresResolver.h"
#include "resolve/ReverseLookup.h"
#include "tests/support/DnsmasqServer.h"
#include "tests/support/FakeResolver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Four labels of the longest legal length: 4 * 63 + 3 dots = 255 characters.
const QString LongHostName =
    QStringList{QString(63, u'a'), QString(63, u'b'), QString(63, u'c'), QString(63, u'd')}.join(u'.');

bool hostsFileNamesLoopback()
{
    QFile hosts(u"/etc/hosts"_s);
    return hosts.open(QIODevice::ReadOnly) && hosts.readAll().contains("127.0.0.1");
}

ReverseLookupResult resolve(HostResolver& resolver, const QString& address)
{
    return ResolveHostName(resolver, address, [] {});
}

} // namespace

class TestReverseLookup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void lookupThroughDns_data();
    void lookupThroughDns();
    void hostsFileComesFirst();
    void noServerFailsSoon();
    void notAnAddressSkipsResolver_data();
    void notAnAddressSkipsResolver();
    void pendingEventsRunOnceBeforeLookup();
    void systemResolverNamesLoopback();
    void malformedServerListFailsStartup();
    void messages_data();
    void messages();

private:
    std::unique_ptr<DnsmasqServer> m_server;
};

void TestReverseLookup::initTestCase()
{
    m_server = std::make_unique<DnsmasqServer>(QStringList{
        u"ptr-record=5.2.0.192.in-addr.arpa,mx.example.test"_s,
        u"txt-record=6.2.0.192.in-addr.arpa,no pointer here"_s,
        u"ptr-record=8.2.0.192.in-addr.arpa,"_s + LongHostName,
        u"ptr-record=1.0.0.127.in-addr.arpa,loopback.dns.example.test"_s,
    });
    if (!m_server->errorString().isEmpty()) {
        QFAIL(qPrintable(m_server->errorString()));
    }
}

void TestReverseLookup::cleanupTestCase()
{
    m_server.reset();
}

void TestReverseLookup::lookupThroughDns_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("hostName");
    QTest::addColumn<int>("errorCode");

    QTest::newRow("PTR record") << u"192.0.2.5"_s << u"mx.example.test"_s << ResolverError::None;
    QTest::newRow("blanks around the address") << u"  192.0.2.5 "_s << u"mx.example.test"_s << ResolverError::None;
    QTest::newRow("255-character host name") << u"192.0.2.8"_s << LongHostName << ResolverError::None;
    QTest::newRow("name without PTR record") << u"192.0.2.6"_s << QString() << ResolverError::NoData;
    QTest::newRow("no reverse entry") << u"192.0.2.7"_s << QString() << ResolverError::HostNotFound;
}

void TestReverseLookup::lookupThroughDns()
{
    QFETCH(QString, address);
    QFETCH(QString, hostName);
    QFETCH(int, errorCode);

    CaresResolver resolver(m_server->serverAddress());
    QCOMPARE(resolver.startup(), 0);
    const ReverseLookupResult result = resolve(resolver, address);
    QCOMPARE(result.hostName, hostName);
    QCOMPARE(result.errorCode, errorCode);
}

void TestReverseLookup::hostsFileComesFirst()
{
    // c-ares 1.18 reads /etc/hosts for address lookups whatever CARES_HOSTS says,
    // so the system's loopback entry competes with the server's PTR record.
    if (!hostsFileNamesLoopback()) {
        QSKIP("/etc/hosts has no entry for 127.0.0.1");
    }
    CaresResolver resolver(m_server->serverAddress());
    QCOMPARE(resolver.startup(), 0);
    const ReverseLookupResult result = resolve(resolver, u"127.0.0.1"_s);
    QCOMPARE(result.errorCode, ResolverError::None);
    QVERIFY(!result.hostName.isEmpty());
    QCOMPARE_NE(result.hostName, u"loopback.dns.example.test"_s);
}

void TestReverseLookup::noServerFailsSoon()
{
    CaresResolver resolver(u"127.0.0.1:"_s + QString::number(DnsmasqServer::freeUdpPort()));
    QCOMPARE(resolver.startup(), 0);
    QElapsedTimer clock;
    clock.start();
    const ReverseLookupResult result = resolve(resolver, u"192.0.2.5"_s);
    QCOMPARE(result.hostName, QString());
    QCOMPARE(result.errorCode, ResolverError::NoRecovery);
    QCOMPARE_LT(clock.elapsed(), 10000);
}

void TestReverseLookup::notAnAddressSkipsResolver_data()
{
    QTest::addColumn<QString>("address");

    QTest::newRow("IPv6 literal from a Received line") << u"IPv6:2001:db8::1"_s;
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks only") << u"   "_s;
    QTest::newRow("all ones, the failure mark") << u"255.255.255.255"_s;
    QTest::newRow("five parts") << u"1.2.3.4.5"_s;
    QTest::newRow("part over 255") << u"192.0.2.256"_s;
}

void TestReverseLookup::notAnAddressSkipsResolver()
{
    QFETCH(QString, address);

    FakeResolver resolver;
    int eventPasses = 0;
    const ReverseLookupResult result = ResolveHostName(resolver, address, [&] { ++eventPasses; });
    QCOMPARE(result.hostName, QString());
    QCOMPARE(result.errorCode, ResolverError::None);
    QCOMPARE(resolver.lookedUp, QStringList());
    QCOMPARE(eventPasses, 0);
}

void TestReverseLookup::pendingEventsRunOnceBeforeLookup()
{
    FakeResolver resolver;
    resolver.answers.insert(u"192.0.2.5"_s, {u"mx.example.test"_s, ResolverError::None});
    QList<qsizetype> lookupsSeenByEventPass;
    const ReverseLookupResult result =
        ResolveHostName(resolver, u" 192.0.2.5 "_s, [&] { lookupsSeenByEventPass.append(resolver.lookedUp.size()); });
    QCOMPARE(lookupsSeenByEventPass, QList<qsizetype>{0});
    QCOMPARE(resolver.lookedUp, QStringList{u"192.0.2.5"_s});
    QCOMPARE(result.hostName, u"mx.example.test"_s);
}

void TestReverseLookup::systemResolverNamesLoopback()
{
    // Only the hosts file may answer here: without a loopback entry the query
    // would go to the system's DNS servers, which tests must not reach.
    if (!hostsFileNamesLoopback()) {
        QSKIP("/etc/hosts has no entry for 127.0.0.1");
    }
    CaresResolver resolver;
    QCOMPARE(resolver.startup(), 0);
    const ReverseLookupResult result = resolve(resolver, u"127.0.0.1"_s);
    QCOMPARE(result.errorCode, ResolverError::None);
    QVERIFY(!result.hostName.isEmpty());
}

void TestReverseLookup::malformedServerListFailsStartup()
{
    CaresResolver resolver(u"not a server"_s);
    QCOMPARE(resolver.startup(), ResolverError::SubsystemNotReady);
    // A lookup after the failed start-up fails instead of using a dead channel.
    QCOMPARE(resolve(resolver, u"192.0.2.5"_s).errorCode, 10093);
}

void TestReverseLookup::messages_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("startupMessage");
    QTest::addColumn<QString>("errorText");

    QTest::newRow("10022 version not supported")
        << 10022 << u"The Windows Sockets version specified by the application is not supported by this DLL."_s
        << QString();
    QTest::newRow("10091 subsystem not ready")
        << 10091 << u"The underlying network subsystem is not ready for network communication."_s << QString();
    QTest::newRow("10092 version not provided")
        << 10092
        << u"The version of Windows Sockets API support requested is not provided by this particular Windows "
           u"Sockets implementation."_s
        << QString();
    QTest::newRow("11001 host not found") << 11001 << QString() << u"Authoritative answer host not found."_s;
    QTest::newRow("11002 try again") << 11002 << QString() << u"Nonauthoritative host not found, or server failure."_s;
    QTest::newRow("11003 no recovery") << 11003 << QString() << u"A nonrecoverable error occurred."_s;
    QTest::newRow("11004 no data") << 11004 << QString() << u"Valid name, no data record of requested type."_s;
    QTest::newRow("unknown code") << 10061 << QString() << QString();
}

void TestReverseLookup::messages()
{
    QFETCH(int, code);
    QFETCH(QString, startupMessage);
    QFETCH(QString, errorText);

    QCOMPARE(StartupFailureMessage(code), startupMessage);
    QCOMPARE(ResolverErrorText(code), errorText);
}

QTEST_GUILESS_MAIN(TestReverseLookup)
#include "tst_reverselookup.moc"
