// SPDX-License-Identifier: GPL-3.0-or-later
// Which hop of a Received chain handed the spam to the recipient's provider.
#include "common/TextCodec.h"
#include "tests/support/HopRows.h"
#include "trust/PublicSuffix.h"
#include "trust/RelayPlan.h"
#include "trust/RelayTrust.h"
#include "trust/TrustSettings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString classesOf(const QList<HopTrust>& classes)
{
    QStringList written;
    for (const HopTrust trust : classes) {
        written.append(hopTrustName(trust));
    }
    return written.join(u' ');
}

} // namespace

class TestRelayTrust : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void classify_data();
    void classify();
    void realMessages_data();
    void realMessages();
    void privateAddresses_data();
    void privateAddresses();
    void mailHosts_data();
    void mailHosts();
    void registeredDomains_data();
    void registeredDomains();
    void settings_data();
    void settings();
    void plan_data();
    void plan();
};

void TestRelayTrust::classify_data()
{
    QTest::addColumn<QStringList>("hops");
    QTest::addColumn<QString>("mailHosts");
    QTest::addColumn<QString>("classes");

    const QString top = u"198.18.0.10 | mx2.provider.co.uk | v | mx1.provider.co.uk | ESMTP"_s;
    const QString spammer = u"45.33.1.2 | host.spam.example | v | mx2.provider.co.uk | ESMTP"_s;
    QTest::newRow("provider's relays, then the source")
        << QStringList{top, spammer, u"45.33.9.9 | relay.forged.example | v | host.spam.example | SMTP"_s} << QString()
        << u"own source beyond"_s;
    QTest::newRow("a name that claims the provider but is not vouched for")
        << QStringList{u"45.33.1.2 | mx9.provider.co.uk | u | mx1.provider.co.uk | ESMTP"_s} << QString()
        << u"source"_s;
    QTest::newRow("a name vouched for by a server that is not the provider's")
        << QStringList{spammer.section(u'|', 0, 0) + u"| host.spam.example | v | mx1.provider.co.uk | ESMTP"_s,
                       u"45.33.7.7 | relay.provider.co.uk | v | host.spam.example | ESMTP"_s}
        << QString() << u"source beyond"_s;
    QTest::newRow("an authenticated client below the boundary is the spammer's")
        << QStringList{top, u"45.33.1.2 | dsl.isp.example | v | mx2.provider.co.uk | ESMTPSA"_s} << QString()
        << u"own source"_s;
    QTest::newRow("internal hops between the provider's servers")
        << QStringList{u"10.1.2.3 | | u | mx1.provider.co.uk | LMTP"_s, top, spammer} << QString()
        << u"private own source"_s;
    QTest::newRow("only private hops") << QStringList{u"127.0.0.1 | localhost | v | mx1.provider.co.uk | ESMTP"_s,
                                                      u"192.168.1.20 | | u | localhost | SMTP"_s}
                                       << QString() << u"private private"_s;
    QTest::newRow("a private address below the source is beyond")
        << QStringList{spammer, u"10.0.0.1 | | u | host.spam.example | SMTP"_s} << QString() << u"source beyond"_s;
    QTest::newRow("mail fetched by POP3 from the provider")
        << QStringList{u"203.0.114.5 | pop.mailbox.example | v | box.home.example | POP3"_s,
                       u"45.33.1.2 | host.spam.example | v | mx.mailbox.example | ESMTP"_s}
        << QString() << u"own source"_s;
    QTest::newRow("mail fetched by IMAP by a home server")
        << QStringList{u"203.0.114.5 | imap.mailbox.example | v | box.home.example | IMAP"_s,
                       u"45.33.1.2 | host.spam.example | v | mx.mailbox.example | ESMTP"_s}
        << QString() << u"own source"_s;
    QTest::newRow("mail a fetcher handed to the local server")
        << QStringList{u"203.0.114.5 | | u | localhost | ESMTP"_s,
                       u"45.33.1.2 | host.spam.example | v | mx.mailbox.example | ESMTP"_s}
        << QString() << u"own source"_s;
    // The forwarder hands every message over; named as a mail host, it is own.
    const QStringList forwarded{u"198.18.0.20 | fwd.university.example | v | mx1.provider.co.uk | ESMTP"_s,
                                u"45.33.1.2 | host.spam.example | v | fwd.university.example | ESMTP"_s};
    QTest::newRow("a forwarder, not configured") << forwarded << QString() << u"source beyond"_s;
    QTest::newRow("a forwarder configured by its suffix")
        << forwarded << u"university.example, provider.co.uk"_s << u"own source"_s;
    QTest::newRow("a forwarder configured by its range") << forwarded << u"198.18.0.0/24"_s << u"own source"_s;
    QTest::newRow("with mail hosts, the final server's domain is no evidence")
        << QStringList{top, spammer} << u"other.example"_s << u"source beyond"_s;
    QTest::newRow("IPv6 source")
        << QStringList{u"2a00:1450:4864:20::42f | mail-wr1-x42f.google.com | v | mx.provider.co.uk | ESMTPS"_s}
        << QString() << u"source"_s;
    QTest::newRow("IPv6 hops of the provider")
        << QStringList{u"2603:10a6:20b:1::5 | | u | mx1.provider.co.uk | ESMTPS"_s, spammer} << u"2603:10a6::/32"_s
        << u"own source"_s;
    QTest::newRow("an IPv4-mapped private address")
        << QStringList{u"::ffff:192.168.7.7 | | u | mx1.provider.co.uk | ESMTP"_s, spammer} << QString()
        << u"private source"_s;
    QTest::newRow("no hops") << QStringList{} << QString() << QString();
}

void TestRelayTrust::classify()
{
    QFETCH(QStringList, hops);
    QFETCH(QString, mailHosts);
    QFETCH(QString, classes);
    QString error;
    const std::optional<MailHosts> hosts = parseMailHosts(mailHosts, &error);
    QVERIFY2(hosts, qPrintable(error));
    QCOMPARE(classesOf(ClassifyHops(hopsFromRows(hops, u"mx.provider.example.net"_s), *hosts, registeredDomain)),
             classes);
}

void TestRelayTrust::realMessages_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("classes");
    // Without mail hosts; the reason for the source in a few words.
    const auto row = [](const char* file, const char* classes) {
        QTest::newRow(file) << QString::fromLatin1(file) << QString::fromLatin1(classes);
    };
    row("fl-multi-received_gmail-http.eml", "private");       // Gmail's internal hop only
    row("fl-spam-broken-headers_cn.eml", "source");           // the only hop, no name
    row("lkml-2003_vger-zmailer-ip-port-ehlo.eml", "source"); // the list server's sender
    row("mp-10_ibm-gateways-15hops.eml",                      // the gateway of another domain
        "source beyond beyond beyond beyond beyond beyond beyond beyond beyond beyond");
    row("mp-1_qmail-outlook-ipv6-hostedemail.eml", "source beyond beyond beyond beyond"); // hostedemail relay
    row("mp-2_smtpsvc-websense.eml", "source beyond beyond");                             // the regional server's relay
    row("mp-4_exim-helo-port-fqdp.eml", "own source beyond");                    // futurequest's own mx, then revesoft
    row("mp-7_postfix-qmail.eml", "source beyond");                              // the s2smtp relay
    row("sa-ham-002_exim-http.eml", "private own source beyond beyond");         // fetched by IMAP; the list server
    row("sa-ham-007_exim.eml", "private own source");                            // fetched by POP3; the dial-up sender
    row("sa-ham-base64_8hops.eml", "source beyond beyond beyond beyond beyond"); // top "by mail": no domain
    row("sa-ham-gb2312-1_crlf-qmail.eml", "source");                             // the only hop
    row("sa-spam-001.eml", "source beyond beyond");                              // webnote, another domain
    row("sa-spam-002.eml", "source beyond");                                     // userchoice, another domain
    // A forwarder of the user's (netnoteinc) is taken for the source without mail hosts.
    row("sa-spam-003_dialup-envelope-from-fold.eml", "private own source beyond beyond");
    row("sa-spam-004_exchange-ims-squirrelmail.eml", "private own source beyond beyond");
    row("sa-spam-005.eml", "private own source beyond beyond");         // fetched by IMAP; an unnamed sender
    row("sa-spam-base64.eml", "source beyond");                         // the only named server is the receiver
    row("sa-spam-dmarc-noneko_ipv6-gmail.eml", "source beyond");        // Gmail's IPv6 relay
    row("si-exim-60_amavis-exim-local.eml", "private private private"); // loopback and a documentation address
}

// The shared messages lie beside the project: tests/data/../../../shared.
void TestRelayTrust::realMessages()
{
    QFETCH(QString, file);
    QFETCH(QString, classes);
    QFile message(QStringLiteral(ZELKOR_TEST_DATA_DIR "/../../../shared/testdata/mail/") + file);
    QVERIFY2(message.open(QIODevice::ReadOnly), qPrintable(message.fileName()));
    const QList<ReceivedHop> hops = ParseReceivedChain(decodeTextFile(message.readAll()));
    QCOMPARE(classesOf(ClassifyHops(hops, {}, registeredDomain)), classes);
}

void TestRelayTrust::privateAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("isPrivate");
    for (const char* inside : {"10.255.0.1", "172.31.255.255", "192.168.0.1", "100.127.255.254", "169.254.1.1",
                               "0.1.2.3", "127.8.0.1", "192.0.2.7", "198.51.100.9", "203.0.113.200", "::1", "fe80::1",
                               "fd12:3456::1", "2001:db8:1::2", "::ffff:10.0.0.1", "::ffff:127.0.0.1"}) {
        QTest::addRow("%s", inside) << QString::fromLatin1(inside) << true;
    }
    for (const char* outside : {"172.32.0.1", "172.15.255.255", "100.128.0.1", "192.0.3.1", "11.0.0.1", "8.8.8.8",
                                "2001:db9::1", "2a00:1450::1", "fec0::1", "::ffff:8.8.8.8"}) {
        QTest::addRow("%s", outside) << QString::fromLatin1(outside) << false;
    }
}

void TestRelayTrust::privateAddresses()
{
    QFETCH(QString, address);
    QFETCH(bool, isPrivate);
    QCOMPARE(isPrivateAddress(QHostAddress(address)), isPrivate);
}

void TestRelayTrust::mailHosts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("contains");

    QTest::newRow("range") << u"198.18.0.0/15"_s << true << u"198.19.255.1"_s << QString() << true;
    QTest::newRow("outside the range") << u"198.18.0.0/15"_s << true << u"198.20.0.1"_s << QString() << false;
    QTest::newRow("a bare address is itself") << u"198.18.0.1"_s << true << u"198.18.0.2"_s << QString() << false;
    QTest::newRow("IPv6 range") << u"2603:10a6::/32"_s << true << u"2603:10a6:20b::1"_s << QString() << true;
    QTest::newRow("IPv4-mapped hop in an IPv4 range")
        << u"198.18.0.0/24"_s << true << u"::ffff:198.18.0.9"_s << QString() << true;
    QTest::newRow("IPv4-mapped range") << u"::ffff:198.18.0.0/120"_s << true << u"198.18.0.9"_s << QString() << true;
    QTest::newRow("suffix, any case and dots")
        << u" .Provider.CO.uk. "_s << true << QString() << u"MX1.provider.co.uk."_s << true;
    QTest::newRow("suffix is not a substring")
        << u"provider.co.uk"_s << true << QString() << u"notprovider.co.uk"_s << false;
    QTest::newRow("several, blanks and empty entries")
        << u"10.0.0.0/8, , mail.example"_s << true << QString() << u"in.mail.example"_s << true;
    QTest::newRow("not a host name") << u"mail example"_s << false << QString() << QString() << false;
    QTest::newRow("a bad range") << u"10.0.0.0/33"_s << false << QString() << QString() << false;
}

void TestRelayTrust::mailHosts()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, address);
    QFETCH(QString, name);
    QFETCH(bool, contains);
    QString error;
    const std::optional<MailHosts> hosts = parseMailHosts(text, &error);
    QCOMPARE(hosts.has_value(), valid);
    if (!valid) {
        QVERIFY(error.contains(u'"'));
        return;
    }
    QCOMPARE(address.isEmpty() ? hosts->containsName(name) : hosts->containsAddress(QHostAddress(address)), contains);
}

void TestRelayTrust::registeredDomains_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("domain");
    QTest::newRow("two labels") << u"example.com"_s << u"example.com"_s;
    QTest::newRow("below a two-level suffix") << u"MX1.Provider.co.uk."_s << u"provider.co.uk"_s;
    QTest::newRow("a public suffix itself") << u"co.uk"_s << QString();
    QTest::newRow("empty") << QString() << QString();
}

void TestRelayTrust::registeredDomains()
{
    QFETCH(QString, host);
    QFETCH(QString, domain);
    QCOMPARE(registeredDomain(host), domain);
}

void TestRelayTrust::settings_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("traceBeyond");
    QTest::addColumn<QString>("ownAddress");
    QTest::addColumn<QString>("error");

    QTest::newRow("no section: off") << QByteArray("[store]\nenabled=true\n") << false << false << QString()
                                     << QString();
    QTest::newRow("every key") << QByteArray("[trust]\nEnabled = yes\nmailhosts=192.0.2.0/24, mx.example\n"
                                             "trace_beyond=on\n")
                               << true << true << u"192.0.2.9"_s << QString();
    QTest::newRow("on, the hops beyond untraced")
        << QByteArray("[trust]\nenabled=1\ntrace_beyond=off\n") << true << false << QString() << QString();
    QTest::newRow("not a truth value") << QByteArray("[trust]\n\ntrace_beyond=maybe\n") << false << false << QString()
                                       << u"line 3: [trust] trace_beyond: \"maybe\" is neither"_s;
    QTest::newRow("not a host") << QByteArray("[trust]\nenabled=true\nmailhosts=mx.example,300.1.1.1/8\n") << false
                                << false << QString() << u"[trust] mailhosts: \"300.1.1.1/8\""_s;
}

// A section that cannot be read leaves relay trust off and says which line is wrong.
void TestRelayTrust::settings()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, enabled);
    QFETCH(bool, traceBeyond);
    QFETCH(QString, ownAddress);
    QFETCH(QString, error);

    QTemporaryDir directory;
    const QString path = directory.filePath(u"zelkor.conf"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    const TrustSettings settings = readTrustSettings(path);
    QCOMPARE(settings.options.enabled, enabled);
    QCOMPARE(settings.options.traceBeyond, traceBeyond);
    QCOMPARE(settings.options.mailHosts.isEmpty(), ownAddress.isEmpty());
    if (!ownAddress.isEmpty()) {
        QVERIFY(settings.options.mailHosts.containsAddress(QHostAddress(ownAddress)));
    }
    QVERIFY2(error.isEmpty() ? settings.error.isEmpty() : settings.error.contains(error), qPrintable(settings.error));
    QCOMPARE(readTrustSettings(directory.filePath(u"missing.conf"_s)).error, QString());
}

void TestRelayTrust::plan_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<bool>("traceBeyond");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QList<qsizetype>>("traced");

    const QString received = u"Received: from %1 by %2\r\n"_s;
    // The provider's relay is verified under its domain at the top; further
    // down the same address, unverified, is the source.
    const QString recurring = received.arg(u"a (mx.provider.example [81.2.69.10])"_s, u"in.provider.example"_s) +
                              received.arg(u"b ([10.0.0.1])"_s, u"mx.provider.example"_s) +
                              received.arg(u"c (unknown [81.2.69.10])"_s, u"b"_s) +
                              received.arg(u"d ([216.160.83.56])"_s, u"c"_s) +
                              received.arg(u"e ([10.0.0.1])"_s, u"d"_s);
    const QStringList rows{u"81.2.69.10"_s, u"10.0.0.1"_s, u"216.160.83.56"_s};
    QTest::newRow("an address seen again as the source")
        << recurring << false << rows << u"81.2.69.10"_s << QList<qsizetype>{0};
    QTest::newRow("beyond traced after the source, never a private row")
        << recurring << true << rows << u"81.2.69.10"_s << QList<qsizetype>{0, 2};
    QTest::newRow("private only") << received.arg(u"a ([10.0.0.1])"_s, u"mx"_s) << true << QStringList{u"10.0.0.1"_s}
                                  << QString() << QList<qsizetype>{};
}

// The relay list, source and traced rows the workbench takes from a header.
void TestRelayTrust::plan()
{
    QFETCH(QString, header);
    QFETCH(bool, traceBeyond);
    QFETCH(QStringList, addresses);
    QFETCH(QString, source);
    QFETCH(QList<qsizetype>, traced);

    const RelayPlan plan = PlanRelays(header, {true, {}, traceBeyond}, registeredDomain);
    QCOMPARE(plan.addresses, addresses);
    QCOMPARE(plan.sourceAddress(), source);
    QCOMPARE(plan.tracedRows, traced);
    const RelayPlan off = PlanRelays(header, {false, {}, traceBeyond}, registeredDomain);
    QCOMPARE(off.hops.size(), plan.hops.size());
    QVERIFY(off.addresses.isEmpty() && off.tracedRows.isEmpty() && !off.hops.first().trust);
}

QTEST_GUILESS_MAIN(TestRelayTrust)
#include "tst_relaytrust.moc"
