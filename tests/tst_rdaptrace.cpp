// SPDX-License-Identifier: GPL-3.0-or-later
// The published abuse contacts in the run (RDAP and the DNS contact database)
// joined to the whois trace relay by relay, against a loopback RDAP server,
// dnsmasq and the test whois servers.
#include "journal/Journal.h"
#include "rdap/RdapSettings.h"
#include "tests/support/DnsmasqServer.h"
#include "tests/support/FakeResolver.h"
#include "tests/support/LateDnsRelay.h"
#include "tests/support/MailBench.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/RegistryServers.h"
#include "tests/support/ReportProcess.h"
#include "tests/support/TestHttpServer.h"
#include "trust/RelayTrust.h"
#include "window/frmMain.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString RelayOne = u"192.0.2.7"_s;
const QString RelayTwo = u"198.51.100.9"_s;
const QString Header = u"Received: from a ([192.0.2.7]) by mx\r\nReceived: from b ([198.51.100.9]) by a\r\n"_s;

// An RDAP answer for a /24 whose abuse entity publishes `emails`.
QByteArray networkAnswer(const QString& relay, const QStringList& emails)
{
    const QString network = relay.section(u'.', 0, 2);
    QJsonArray card{QJsonArray{u"version"_s, QJsonObject{}, u"text"_s, u"4.0"_s}};
    for (const QString& email : emails) {
        card.append(QJsonArray{u"email"_s, QJsonObject{}, u"text"_s, email});
    }
    const QJsonObject abuse{{u"objectClassName"_s, u"entity"_s},
                            {u"roles"_s, QJsonArray{u"abuse"_s}},
                            {u"vcardArray"_s, QJsonArray{u"vcard"_s, card}}};
    QJsonArray entities;
    entities.append(abuse);
    return QJsonDocument(QJsonObject{{u"objectClassName"_s, u"ip network"_s},
                                     {u"startAddress"_s, QString(network + u".0"_s)},
                                     {u"endAddress"_s, QString(network + u".255"_s)},
                                     {u"entities"_s, entities}})
        .toJson();
}

TestHttpServer::Response rdapPage(const QByteArray& body)
{
    return TestHttpServer::Response::page(body, "application/rdap+json");
}

/// A loopback RDAP server with bootstrap files that send every IPv4 and IPv6
/// address to it, and an empty cache of the test's own.
struct RdapServer
{
    TestHttpServer http;
    QTemporaryDir directory;

    RdapServer()
    {
        QFile bootstrap(bootstrapFile());
        bootstrap.open(QIODevice::WriteOnly);
        bootstrap.write(QByteArray(R"({"version": "1.0", "publication": "2024-01-01T00:00:00Z", "services": [
            [["0.0.0.0/1", "128.0.0.0/1"], [")") +
                        http.url("/").toString().toUtf8() + "\"]]]}");
        QFile bootstrap6(bootstrapFile6());
        bootstrap6.open(QIODevice::WriteOnly);
        bootstrap6.write(QByteArray(R"({"version": "1.0", "services": [[["::/1", "8000::/1"], [")") +
                         http.url("/").toString().toUtf8() + "\"]]]}");
    }

    QString bootstrapFile() const { return directory.filePath(u"ipv4.json"_s); }
    QString bootstrapFile6() const { return directory.filePath(u"ipv6.json"_s); }
    RdapClient::Options options() const
    {
        return {std::chrono::milliseconds(3000), bootstrapFile(), directory.filePath(u"cache"_s), bootstrapFile6()};
    }
    void answer(const QString& relay, const TestHttpServer::Response& response)
    {
        http.setResponse("/ip/" + relay.toLatin1(), response);
    }
};

QList<QByteArray> targets(const TestHttpServer& server)
{
    QList<QByteArray> list;
    for (const TestHttpServer::Request& request : server.requests()) {
        list.append(request.target);
    }
    return list;
}

QStringList rowsOf(const QList<AbuseRow>& rows)
{
    QStringList shown;
    for (const AbuseRow& row : rows) {
        shown.append(row.address + u' ' + row.source);
    }
    return shown;
}

const QString ContactZone = u"contacts.test"_s;

/// The workbench with RDAP from a loopback server, the contact database
/// ContactZone from dnsmasq and whois from the test servers.
struct RdapBench
{
    RdapServer rdap;
    DnsmasqServer dns{{u"local=/contacts.test/"_s, u"txt-record=7.2.0.192.contacts.test,db-one@net-one.example"_s,
                       u"txt-record=7.2.0.192.contacts.test,ignored@net-one.example"_s,
                       u"txt-record=9.100.51.198.contacts.test,abuse@net-two.example,db-two@net-two.example"_s,
                       u"txt-record=112.20.160.89.contacts.test,db-one@net-one.example"_s,
                       u"txt-record=56.83.160.216.contacts.test,db-far@far.example"_s}};
    LateDnsRelay lateDns{dns.serverAddress()};
    QTemporaryDir programDirectory;
    FakeResolver resolver;
    RecordingHost host;
    RegistryServers registries;
    Workbench workbench{{resolver,
                         host,
                         programDirectory.path(),
                         {200ms, registries.serverMap()},
                         rdap.options(),
                         {.dnsServers = lateDns.serverAddress(), .limit = 1500ms},
                         journalPath()}};

    QString journalPath() const { return programDirectory.filePath(u"journal.sqlite"_s); }

    /// The lookups of `kind` the journal holds for `registry`.
    qint64 journalled(const QString& kind, const QString& registry) const
    {
        Journal journal(journalPath());
        return journal.countQueries(kind, registry, QDateTime::currentDateTimeUtc().addDays(-1)).value_or(-1);
    }

    RdapBench()
    {
        resolver.answers.insert(RelayOne, {u"mx.a.example"_s, 0});
        registries.server(Registry::ARIN)
            .setReply(RelayOne, TestWhoisServer::Reply::text(u"abuse-mailbox: whois-one@x.example\n"_s));
        registries.server(Registry::ARIN)
            .setReply(RelayTwo, TestWhoisServer::Reply::text(u"abuse-mailbox: whois-two@y.example\n"_s));
        rdap.answer(RelayOne, rdapPage(networkAnswer(RelayOne, {u"abuse@net-one.example"_s})));
        rdap.answer(RelayTwo,
                    rdapPage(networkAnswer(RelayTwo, {u"abuse@net-two.example"_s, u"whois-one@x.example"_s})));
        workbench.setHeaderText(Header);
    }

    bool writeDoNotSend(const QByteArray& text)
    {
        QFile list(programDirectory.filePath(u"donotsend.txt"_s));
        return list.open(QIODevice::WriteOnly) && list.write(text) == text.size();
    }

    bool runTrace()
    {
        QSignalSpy finished(&workbench, &Workbench::traceFinished);
        workbench.StartByHand();
        return finished.wait(15000);
    }
};

const QStringList RowsWithRdap{u"ABUSE@A.EXAMPLE dns"_s, u"WHOIS-ONE@X.EXAMPLE whois"_s,
                               u"ABUSE@NET-ONE.EXAMPLE rdap"_s, u"WHOIS-TWO@Y.EXAMPLE whois"_s,
                               u"ABUSE@NET-TWO.EXAMPLE rdap"_s};

} // namespace

class TestRdapTrace : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rowsFollowEachRelaysWhoisRows_data();
    void rowsFollowEachRelaysWhoisRows();
    void offIsTheWhoisRunAlone();
    void trustAsksOnlyTracedHops_data();
    void trustAsksOnlyTracedHops();
    void answersOfAnEarlierRunAreDropped();
    void doNotSendRefusesRdapRows();
    void hostileServerLeavesTheWhoisRows_data();
    void hostileServerLeavesTheWhoisRows();
    void failuresShowInTheWindowsTips();
    void windowTipsSayWhatEachRowIs();
    void reportPrintsTheRdapRows();
    void refusalStopsTheBatch();
    void reportSendsToTheDesignatedDesks();
    void failedContactDbLeavesTheBatchGoing();
    void contactDbRowsFollowRdapRows_data();
    void contactDbRowsFollowRdapRows();
    void designationOverEverySource_data();
    void designationOverEverySource();
    void settingsSection_data();
    void settingsSection();
};

void TestRdapTrace::rowsFollowEachRelaysWhoisRows_data()
{
    QTest::addColumn<int>("delayMs");
    QTest::newRow("answers before the trace needs them") << 0;
    // Slower than a whois window: the trace waits, and the order holds.
    QTest::newRow("answers after the relay's whois answer") << 700;
}

void TestRdapTrace::rowsFollowEachRelaysWhoisRows()
{
    QFETCH(int, delayMs);
    RdapBench bench;
    bench.rdap.answer(RelayOne,
                      TestHttpServer::Response::late(rdapPage(networkAnswer(RelayOne, {u"abuse@net-one.example"_s})),
                                                     std::chrono::milliseconds(delayMs)));
    bench.workbench.setRdapEnabled(true);
    QVERIFY(bench.runTrace());
    QCOMPARE(rowsOf(bench.workbench.state().lstAbuse), RowsWithRdap);
    const QList<RdapResult>& results = bench.workbench.state().rdap;
    QCOMPARE(results.size(), 2);
    QCOMPARE(results[0].abuse, QStringList{u"abuse@net-one.example"_s});
    QCOMPARE(results[0].server, bench.rdap.http.url("/").toString());
    QCOMPARE(bench.workbench.state().lstAbuse[2].server, bench.rdap.http.url("/").toString());
    QCOMPARE(bench.rdap.http.requests().size(), 2);
    // Every lookup made is in the journal, RDAP's and whois's.
    QCOMPARE(bench.journalled(u"rdap"_s, bench.rdap.http.url("/").host()), 2);
    QCOMPARE(bench.journalled(u"whois"_s, u"ARIN"_s), bench.registries.asked.size());
}

// With RDAP off nothing is asked and the rows are those of the whois trace.
void TestRdapTrace::offIsTheWhoisRunAlone()
{
    RdapBench bench;
    QVERIFY(bench.runTrace());
    QCOMPARE(rowsOf(bench.workbench.state().lstAbuse),
             (QStringList{u"ABUSE@A.EXAMPLE dns"_s, u"WHOIS-ONE@X.EXAMPLE whois"_s, u"WHOIS-TWO@Y.EXAMPLE whois"_s}));
    QVERIFY(bench.workbench.state().rdap.isEmpty());
    QVERIFY(bench.rdap.http.requests().isEmpty());
}

// With relay trust on only the traced hops are asked; a beyond hop's rows
// arrive ticked, and the provider's hop says why it was not asked.
void TestRdapTrace::trustAsksOnlyTracedHops_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("beyond");
    QTest::newRow("IPv4 hops") << u"89.160.20.112"_s << u"216.160.83.56"_s;
    QTest::newRow("IPv6 hops") << u"2a01:4f8:1:2::25"_s << u"2600:3c00::26"_s;
}

void TestRdapTrace::trustAsksOnlyTracedHops()
{
    QFETCH(QString, source);
    QFETCH(QString, beyond);
    RdapBench bench;
    const QStringList hops{u"81.2.69.10"_s, source, beyond};
    for (qsizetype at = 0; at < hops.size(); ++at) {
        bench.rdap.answer(hops[at], rdapPage(networkAnswer(hops[at], {u"abuse@hop%1.example"_s.arg(at)})));
    }
    const auto literal = [](const QString& hop) { return hop.contains(u':') ? u"IPv6:"_s + hop : hop; };
    bench.workbench.setHeaderText(u"Received: from a (a.provider.example [81.2.69.10]) by mx.provider.example\r\n"
                                  u"Received: from b ([%1]) by a.provider.example\r\n"
                                  u"Received: from c ([%2]) by b\r\n\r\n"_s.arg(literal(source), literal(beyond)));
    bench.workbench.setTrust({true, *parseMailHosts(u"81.2.69.0/24"), true});
    bench.workbench.setRdapEnabled(true);
    QVERIFY(bench.runTrace());

    QCOMPARE(targets(bench.rdap.http), (QList<QByteArray>{"/ip/" + source.toLatin1(), "/ip/" + beyond.toLatin1()}));
    const QList<RdapResult>& results = bench.workbench.state().rdap;
    QCOMPARE(results.size(), 3);
    QCOMPARE(results[0].error, u"not asked: your provider"_s);
    QStringList rows;
    for (const AbuseRow& row : bench.workbench.state().lstAbuse) {
        rows.append((row.ticked ? u"[x] "_s : u"[ ] "_s) + row.address);
    }
    QCOMPARE(rows, (QStringList{u"[ ] ABUSE@HOP1.EXAMPLE"_s, u"[x] ABUSE@HOP2.EXAMPLE"_s}));
}

// Clear Result during a run: its late RDAP answers add nothing, and the trace
// that waited for one still ends.
void TestRdapTrace::answersOfAnEarlierRunAreDropped()
{
    RdapBench bench;
    for (const QString& relay : {RelayOne, RelayTwo}) {
        bench.rdap.answer(
            relay, TestHttpServer::Response::late(rdapPage(networkAnswer(relay, {u"late@x.example"_s})), 1500ms));
    }
    bench.workbench.setRdapEnabled(true);
    QSignalSpy finished(&bench.workbench, &Workbench::traceFinished);
    bench.workbench.StartByHand();
    QTest::qWait(400);
    bench.workbench.ClearResult();
    QVERIFY(finished.wait(10000));
    QTest::qWait(1500);
    for (const AbuseRow& row : bench.workbench.state().lstAbuse) {
        QVERIFY2(row.source != u"rdap", qPrintable(row.address));
    }
    QVERIFY(bench.workbench.state().rdap.isEmpty());
}

void TestRdapTrace::doNotSendRefusesRdapRows()
{
    RdapBench bench;
    QVERIFY(bench.writeDoNotSend("NET-TWO.EXAMPLE\n"));
    bench.workbench.setRdapEnabled(true);
    QVERIFY(bench.runTrace());
    QCOMPARE(rowsOf(bench.workbench.state().lstAbuse),
             (QStringList{u"ABUSE@A.EXAMPLE dns"_s, u"WHOIS-ONE@X.EXAMPLE whois"_s, u"ABUSE@NET-ONE.EXAMPLE rdap"_s,
                          u"WHOIS-TWO@Y.EXAMPLE whois"_s}));
}

// Whatever the RDAP server does, the trace ends with every whois row, the
// relay's lookup ends on a failure that says what happened, and the other
// relay's RDAP rows still come.
void TestRdapTrace::hostileServerLeavesTheWhoisRows_data()
{
    using Response = TestHttpServer::Response;
    using Delivery = Response::Delivery;
    QTest::addColumn<Response>("response");
    QTest::addColumn<QString>("failure");

    const QByteArray answer = networkAnswer(RelayOne, {u"abuse@net-one.example"_s});
    QTest::newRow("50 MB") << rdapPage(answer + QByteArray(50 * 1024 * 1024, ' ')) << u"larger than 1 MiB"_s;
    QTest::newRow("an answer without end")
        << Response::delivered(rdapPage(answer), Delivery::Endless) << u"larger than 1 MiB"_s;
    static constexpr char binary[] = "{\"objectClassName\": \"ip\x00network\", \xff\xfe\x00\x01}";
    QTest::newRow("binary bytes and NULs") << rdapPage(QByteArray(binary, sizeof binary - 1)) << u"not valid JSON"_s;
    QTest::newRow("one byte every 100 ms")
        << Response::delivered(rdapPage(answer), Delivery::Drip) << u"no answer within"_s;
    QTest::newRow("reset in the answer") << Response::delivered(rdapPage(answer), Delivery::ResetInBody)
                                         << u"127.0.0.1"_s;
    QTest::newRow("never answers") << Response::silence() << u"no answer within"_s;
}

void TestRdapTrace::hostileServerLeavesTheWhoisRows()
{
    QFETCH(TestHttpServer::Response, response);
    QFETCH(QString, failure);
    RdapBench bench;
    bench.rdap.answer(RelayOne, response);
    bench.workbench.setRdapEnabled(true);
    QVERIFY(bench.runTrace());

    QCOMPARE(rowsOf(bench.workbench.state().lstAbuse),
             (QStringList{u"ABUSE@A.EXAMPLE dns"_s, u"WHOIS-ONE@X.EXAMPLE whois"_s, u"WHOIS-TWO@Y.EXAMPLE whois"_s,
                          u"ABUSE@NET-TWO.EXAMPLE rdap"_s}));
    const RdapResult& result = bench.workbench.state().rdap.at(0);
    QVERIFY(result.abuse.isEmpty());
    QVERIFY2(result.error.contains(failure), qPrintable(result.error));
}

// The status line belongs to the trace: a failed lookup's reason is the tool
// tip of its relay's row, and an RDAP row names its server.
void TestRdapTrace::failuresShowInTheWindowsTips()
{
    RdapServer rdap;
    rdap.answer(RelayOne, rdapPage(networkAnswer(RelayOne, {u"abuse@net-one.example"_s})));
    rdap.answer(RelayTwo, TestHttpServer::Response::withStatus(500));
    FakeResolver resolver;
    RegistryServers registries;
    QTemporaryDir programDirectory;
    frmMain window({resolver, programDirectory.path(), {200ms, registries.serverMap()}, {}, rdap.options()});
    window.workbench().setRdapEnabled(true);
    window.workbench().setHeaderText(Header);
    QSignalSpy finished(&window.workbench(), &Workbench::traceFinished);
    window.workbench().StartByHand();
    QVERIFY(finished.wait(15000));

    auto* relays = window.findChild<QListWidget*>(u"lstIPs"_s);
    QVERIFY2(relays->item(0)->toolTip().contains(u"abuse@net-one.example"_s), qPrintable(relays->item(0)->toolTip()));
    QVERIFY2(relays->item(1)->toolTip().startsWith(u"RDAP: "_s) && relays->item(1)->toolTip().contains(u"500"_s),
             qPrintable(relays->item(1)->toolTip()));
    auto* abuse = window.findChild<QListWidget*>(u"lstAbuse"_s);
    QCOMPARE(abuse->count(), 1);
    QVERIFY(abuse->item(0)->toolTip().contains(rdap.http.url("/").toString()));
    QVERIFY(window.workbench().state().txtWhoStatus.isEmpty() ||
            !window.workbench().state().txtWhoStatus.contains(u"RDAP"_s));
}

// With designated desks on each row's tip says what it is, which registry's
// answer or which lookup named it, and why it is ticked; the relay's tip says
// what the contact database listed.
void TestRdapTrace::windowTipsSayWhatEachRowIs()
{
    const DnsmasqServer dns(
        {u"local=/contacts.test/"_s, u"txt-record=7.2.0.192.contacts.test,db-one@net-one.example"_s});
    QVERIFY2(dns.errorString().isEmpty(), qPrintable(dns.errorString()));
    FakeResolver resolver;
    resolver.answers.insert(RelayOne, {u"mx.a.example"_s, 0});
    RegistryServers registries;
    registries.server(Registry::ARIN)
        .setReply(RelayOne, TestWhoisServer::Reply::text(u"OrgAbuseEmail: abuse@net-one.example\n"
                                                         u"OrgTechEmail: jane@net-one.example\n"
                                                         u"Comment: spam reports to reports@net-one.example\n"
                                                         u"Comment: hostmaster@arin.net\n"_s));
    QTemporaryDir programDirectory;
    frmMain window({resolver,
                    programDirectory.path(),
                    {200ms, registries.serverMap()},
                    {},
                    {},
                    {.dnsServers = dns.serverAddress(), .limit = 1500ms}});
    window.workbench().setDesignated(true);
    window.workbench().setContactZone(ContactZone);
    window.workbench().setHeaderText(u"Received: from a ([192.0.2.7]) by mx\r\n"_s);
    QSignalSpy finished(&window.workbench(), &Workbench::traceFinished);
    window.workbench().StartByHand();
    QVERIFY(finished.wait(15000));

    auto* abuse = window.findChild<QListWidget*>(u"lstAbuse"_s);
    QStringList tips;
    for (int row = 0; row < abuse->count(); ++row) {
        tips.append(abuse->item(row)->text() + u": "_s + abuse->item(row)->toolTip());
    }
    QCOMPARE(tips,
             (QStringList{
                 u"ABUSE@A.EXAMPLE: A guess from the relay's name: ticked because an abuse contact is known"_s,
                 u"ABUSE@NET-ONE.EXAMPLE: Abuse contact named by the ARIN answer"_s,
                 u"JANE@NET-ONE.EXAMPLE: A staff or other address in the ARIN answer: ticked because an abuse "
                 u"contact is known"_s,
                 u"REPORTS@NET-ONE.EXAMPLE: Named in a remark of the ARIN answer: ticked because an abuse contact "
                 u"is known"_s,
                 u"HOSTMASTER@ARIN.NET: An address of the registry itself: ticked, as it is not the network's abuse "
                 u"desk"_s,
                 u"DB-ONE@NET-ONE.EXAMPLE: Listed by the contact database contacts.test as the network's abuse "
                 u"contact"_s}));
    auto* relays = window.findChild<QListWidget*>(u"lstIPs"_s);
    QVERIFY2(relays->item(0)->toolTip().contains(u"Contact database: contacts.test lists db-one@net-one.example"_s),
             qPrintable(relays->item(0)->toolTip()));
}

// zelkor-report --json --rdap: the RDAP rows after each relay's whois rows,
// with their sources, and one "rdap" object per relay.
void TestRdapTrace::reportPrintsTheRdapRows()
{
    RdapServer rdap;
    rdap.answer(RelayOne, rdapPage(networkAnswer(RelayOne, {u"abuse@net-one.example"_s})));
    rdap.answer(RelayTwo, TestHttpServer::Response::withStatus(404));
    RegistryServers registries;
    registries.server(Registry::ARIN)
        .setReply(RelayOne, TestWhoisServer::Reply::text(u"abuse-mailbox: whois-one@x.example\n"_s));
    QTemporaryDir cache;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"ZELKOR_RDAP_BOOTSTRAP"_s, rdap.bootstrapFile());
    env.insert(u"XDG_CACHE_HOME"_s, cache.path());
    env.insert(u"XDG_CONFIG_HOME"_s, cache.path());
    env.insert(u"ZELKOR_DNS_SERVERS"_s, u"127.0.0.1:9"_s);
    env.insert(u"ZELKOR_WHOIS_SERVERS"_s, registries.environmentValue());
    QTemporaryDir input;
    QFile header(input.filePath(u"header.txt"_s));
    QVERIFY(header.open(QIODevice::WriteOnly));
    header.write(Header.toUtf8());
    header.close();

    const ReportOutcome outcome =
        runZelkorReport({u"--json"_s, u"--rdap"_s, u"--progress"_s, u"--header-only"_s, header.fileName()}, env);
    QVERIFY2(outcome.exitCode == 0, outcome.err.constData());
    const QJsonObject json = QJsonDocument::fromJson(outcome.out).object();
    QStringList rows;
    for (const QJsonValue& row : json.value(u"abuse"_s).toArray()) {
        rows.append(row[u"address"_s].toString() + u' ' + row[u"source"_s].toString());
    }
    QCOMPARE(rows, (QStringList{u"WHOIS-ONE@X.EXAMPLE whois"_s, u"ABUSE@NET-ONE.EXAMPLE rdap"_s}));
    const QJsonArray lookups = json.value(u"rdap"_s).toArray();
    QCOMPARE(lookups.size(), 2);
    QCOMPARE(lookups[0][u"address"_s].toString(), RelayOne);
    QCOMPARE(lookups[0][u"server"_s].toString(), rdap.http.url("/").toString());
    QCOMPARE(lookups[0][u"abuse"_s].toArray(), QJsonArray{u"abuse@net-one.example"_s});
    QCOMPARE(lookups[0][u"error"_s].toString(), QString());
    QVERIFY(lookups[1][u"error"_s].toString().contains(u"404"_s));
    QVERIFY2(outcome.err.contains("RDAP 198.51.100.9  "), outcome.err.constData());

    const ReportOutcome off = runZelkorReport({u"--json"_s, u"--header-only"_s, header.fileName()}, env);
    QVERIFY(!QJsonDocument::fromJson(off.out).object().contains(u"rdap"_s));
}

// zelkor-report with RDAP and the contact database from the settings file:
// with --designated the complaint goes to the desks the whois answers, RDAP and
// the zone designate; with --no-designated it is the complaint of the option off.
void TestRdapTrace::reportSendsToTheDesignatedDesks()
{
    RdapServer rdap;
    rdap.answer(RelayOne, rdapPage(networkAnswer(RelayOne, {u"abuse@net-one.example"_s})));
    rdap.answer(RelayTwo, TestHttpServer::Response::withStatus(404));
    const DnsmasqServer dns({u"local=/contacts.test/"_s, u"txt-record=7.2.0.192.contacts.test,db-one@net-one.example"_s,
                             u"txt-record=9.100.51.198.contacts.test,abuse@net-two.example"_s});
    QVERIFY2(dns.errorString().isEmpty(), qPrintable(dns.errorString()));
    RegistryServers registries;
    registries.server(Registry::ARIN)
        .setReply(RelayOne, TestWhoisServer::Reply::text(u"OrgTechEmail: jane@net-one.example\n"
                                                         u"Comment: hostmaster@arin.net\n"_s));
    registries.server(Registry::ARIN)
        .setReply(RelayTwo, TestWhoisServer::Reply::text(u"OrgAbuseEmail: abuse@net-two.example\n"
                                                         u"OrgTechEmail: joe@net-two.example\n"_s));
    QTemporaryDir home;
    QVERIFY(QDir().mkpath(home.filePath(u"zelkor"_s)));
    QFile settings(home.filePath(u"zelkor/zelkor.conf"_s));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[abuse-contacts]\nrdap = true\ndns_zone = contacts.test\n");
    settings.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"ZELKOR_RDAP_BOOTSTRAP"_s, rdap.bootstrapFile());
    env.insert(u"XDG_CACHE_HOME"_s, home.path());
    env.insert(u"XDG_CONFIG_HOME"_s, home.path());
    env.insert(u"ZELKOR_DNS_SERVERS"_s, dns.serverAddress());
    env.insert(u"ZELKOR_WHOIS_SERVERS"_s, registries.environmentValue());
    QFile header(home.filePath(u"message.txt"_s));
    QVERIFY(header.open(QIODevice::WriteOnly));
    header.write(Header.toUtf8() + "Subject: s\r\n\r\nbuy now\r\n");
    header.close();
    const auto report = [&](const QStringList& options) {
        const ReportOutcome outcome = runZelkorReport(options + QStringList{header.fileName()}, env);
        [&] { QVERIFY2(outcome.exitCode == 0, outcome.err.constData()); }();
        return outcome.out;
    };

    const QByteArray designated = report({u"--complaint"_s, u"--designated"_s});
    QVERIFY2(designated.startsWith("ABUSE@NET-ONE.EXAMPLE;DB-ONE@NET-ONE.EXAMPLE;ABUSE@NET-TWO.EXAMPLE;\r\n"),
             designated.constData());
    const QByteArray asMade = report({u"--complaint"_s, u"--no-designated"_s});
    QVERIFY2(asMade.startsWith("JANE@NET-ONE.EXAMPLE;HOSTMASTER@ARIN.NET;ABUSE@NET-ONE.EXAMPLE;"
                               "DB-ONE@NET-ONE.EXAMPLE;ABUSE@NET-TWO.EXAMPLE;JOE@NET-TWO.EXAMPLE;\r\n"),
             asMade.constData());
    QCOMPARE(asMade, report({u"--complaint"_s}));
    QCOMPARE(asMade.mid(asMade.indexOf("\r\n")), designated.mid(designated.indexOf("\r\n")));

    const QJsonObject json = QJsonDocument::fromJson(report({u"--json"_s, u"--designated"_s})).object();
    QStringList rows;
    for (const QJsonValue& row : json.value(u"abuse"_s).toArray()) {
        rows.append(u"%1 %2 %3%4"_s.arg(row[u"address"_s].toString(), row[u"source"_s].toString(),
                                        row[u"role"_s].toString(), row[u"ticked"_s].toBool() ? u" ticked"_s : u""_s));
    }
    QCOMPARE(rows,
             (QStringList{u"JANE@NET-ONE.EXAMPLE whois other ticked"_s, u"HOSTMASTER@ARIN.NET whois registry ticked"_s,
                          u"ABUSE@NET-ONE.EXAMPLE rdap abuse"_s, u"DB-ONE@NET-ONE.EXAMPLE dns-db abuse"_s,
                          u"ABUSE@NET-TWO.EXAMPLE whois abuse"_s, u"JOE@NET-TWO.EXAMPLE whois other ticked"_s}));
    const QJsonArray lookups = json.value(u"contactDb"_s).toArray();
    QCOMPARE(lookups.size(), 2);
    QCOMPARE(lookups[0][u"zone"_s].toString(), ContactZone);
    QCOMPARE(lookups[0][u"abuse"_s].toArray(), QJsonArray{u"db-one@net-one.example"_s});
    QVERIFY2(report({u"--designated"_s})
                 .contains("\nContact database\n    192.0.2.7  contacts.test: "
                           "db-one@net-one.example\n"),
             "the text form has no contact database section");
}

// An RDAP server that refuses for too many queries stops the batch before the
// message is reported.
void TestRdapTrace::refusalStopsTheBatch()
{
    MailBench bench;
    RdapServer rdap;
    rdap.answer(RelayOne, TestHttpServer::Response::withStatus(429));
    qputenv("ZELKOR_RDAP_BOOTSTRAP", QFile::encodeName(rdap.bootstrapFile()));
    bench.workbench.setRdapEnabled(true);
    bench.deliver(u"Junk"_s, u"1700000000.M1P1.host"_s,
                  mailMessage("Received: from a ([192.0.2.7]) by mx\nSubject: first\n", "\nbuy\n"));
    const auto batch = bench.runBatch();
    qunsetenv("ZELKOR_RDAP_BOOTSTRAP");
    QVERIFY(batch);
    QCOMPARE(batch->end, Workbench::BatchEnd::Stopped);
    QVERIFY2(batch->reason.contains(u"HTTP 429"_s), qPrintable(batch->reason));
    QVERIFY(bench.sink.messages().isEmpty());
    QCOMPARE(bench.messageFiles(u"Junk"_s).size(), 1);
}

// A contact database that does not answer adds nothing to the run and stops
// nothing: the batch reports the message to the desks the trace found.
void TestRdapTrace::failedContactDbLeavesTheBatchGoing()
{
    MailBench bench;
    bench.workbench.setContactZone(ContactZone);
    bench.deliver(u"Junk"_s, u"1700000000.M1P1.host"_s,
                  mailMessage("Received: from a ([192.0.2.7]) by mx\nSubject: first\n", "\nbuy\n"));
    const auto batch = bench.runBatch();
    QVERIFY(batch);
    QCOMPARE(batch->end, Workbench::BatchEnd::Finished);
    QCOMPARE(bench.sink.messages().size(), 1);
    QVERIFY(bench.messageFiles(u"Junk"_s).isEmpty());
    QVERIFY2(!bench.state().contactDb.value(0).error.isEmpty(), qPrintable(bench.state().contactDb.value(0).error));
}

// The contact database's rows come after the relay's RDAP rows, each address
// once; a zone that does not answer adds nothing and the trace ends as ever.
void TestRdapTrace::contactDbRowsFollowRdapRows_data()
{
    QTest::addColumn<bool>("rdapOn");
    QTest::addColumn<bool>("zoneAnswers");
    QTest::addColumn<int>("rdapDelayMs");
    QTest::addColumn<int>("zoneDelayMs");
    QTest::addColumn<QStringList>("rows");

    const QStringList withRdap{u"ABUSE@A.EXAMPLE dns"_s,          u"WHOIS-ONE@X.EXAMPLE whois"_s,
                               u"ABUSE@NET-ONE.EXAMPLE rdap"_s,   u"DB-ONE@NET-ONE.EXAMPLE dns-db"_s,
                               u"WHOIS-TWO@Y.EXAMPLE whois"_s,    u"ABUSE@NET-TWO.EXAMPLE rdap"_s,
                               u"DB-TWO@NET-TWO.EXAMPLE dns-db"_s};
    QTest::newRow("with RDAP") << true << true << 0 << 0 << withRdap;
    // Both slower than a whois window, the zone slower than RDAP: the trace
    // waits for the last of the relay's lookups.
    QTest::newRow("with RDAP, the zone answering last") << true << true << 400 << 900 << withRdap;
    QTest::newRow("without RDAP") << false << true << 0 << 0
                                  << QStringList{
                                         u"ABUSE@A.EXAMPLE dns"_s,           u"WHOIS-ONE@X.EXAMPLE whois"_s,
                                         u"DB-ONE@NET-ONE.EXAMPLE dns-db"_s, u"WHOIS-TWO@Y.EXAMPLE whois"_s,
                                         u"ABUSE@NET-TWO.EXAMPLE dns-db"_s,  u"DB-TWO@NET-TWO.EXAMPLE dns-db"_s};
    QTest::newRow("a zone that does not answer")
        << false << false << 0 << 0
        << QStringList{u"ABUSE@A.EXAMPLE dns"_s, u"WHOIS-ONE@X.EXAMPLE whois"_s, u"WHOIS-TWO@Y.EXAMPLE whois"_s};
}

void TestRdapTrace::contactDbRowsFollowRdapRows()
{
    QFETCH(bool, rdapOn);
    QFETCH(bool, zoneAnswers);
    QFETCH(int, rdapDelayMs);
    QFETCH(int, zoneDelayMs);
    QFETCH(QStringList, rows);
    RdapBench bench;
    bench.rdap.answer(RelayOne,
                      TestHttpServer::Response::late(rdapPage(networkAnswer(RelayOne, {u"abuse@net-one.example"_s})),
                                                     std::chrono::milliseconds(rdapDelayMs)));
    bench.lateDns.setDelay(std::chrono::milliseconds(zoneDelayMs));
    QVERIFY(bench.writeDoNotSend("IGNORED@NET-ONE.EXAMPLE\n"));
    bench.workbench.setRdapEnabled(rdapOn);
    bench.workbench.setContactZone(zoneAnswers ? ContactZone : u"nothing.test"_s);
    QVERIFY(bench.runTrace());

    QCOMPARE(rowsOf(bench.workbench.state().lstAbuse), rows);
    const QList<ContactDbResult>& results = bench.workbench.state().contactDb;
    QCOMPARE(results.size(), 2);
    if (zoneAnswers) {
        // The result keeps what the zone lists; the do-not-send list refuses the row.
        QVERIFY(results[0].abuse.contains(u"ignored@net-one.example"_s));
        QCOMPARE(bench.workbench.state().lstAbuse.last().server, ContactZone);
        QCOMPARE(bench.workbench.state().lstAbuse.last().role, u"abuse"_s);
    } else {
        QVERIFY2(results[0].error.contains(u"nothing.test"_s), qPrintable(results[0].error));
    }
    bench.workbench.setContactZone({});
    QVERIFY(bench.runTrace());
    QVERIFY(bench.workbench.state().contactDb.isEmpty());
}

// With designated desks on, each relay's rows that no source designates arrive
// ticked, whichever source designates the desk; a beyond hop's rows stay
// ticked whatever their role.
void TestRdapTrace::designationOverEverySource_data()
{
    QTest::addColumn<QString>("whoisAnswer");
    QTest::addColumn<bool>("rdapOn");
    QTest::addColumn<bool>("zoneOn");
    QTest::addColumn<QStringList>("rows");

    const QString staffOnly = u"OrgTechEmail: jane@net-one.example\nComment: hostmaster@arin.net\n"_s;
    QTest::newRow("the desk from RDAP") << staffOnly << true << false
                                        << QStringList{u"[x] JANE@NET-ONE.EXAMPLE other"_s,
                                                       u"[x] HOSTMASTER@ARIN.NET registry"_s,
                                                       u"[ ] ABUSE@NET-ONE.EXAMPLE abuse"_s};
    QTest::newRow("the desk from the contact database")
        << staffOnly << false << true
        << QStringList{u"[x] JANE@NET-ONE.EXAMPLE other"_s, u"[x] HOSTMASTER@ARIN.NET registry"_s,
                       u"[ ] DB-ONE@NET-ONE.EXAMPLE abuse"_s};
    QTest::newRow("a remark gives way to a published desk")
        << u"Comment: send spam reports to reports@net-one.example\n"_s << false << true
        << QStringList{u"[x] REPORTS@NET-ONE.EXAMPLE remark"_s, u"[ ] DB-ONE@NET-ONE.EXAMPLE abuse"_s};
    QTest::newRow("nothing designated: the rows as made")
        << staffOnly << false << false
        << QStringList{u"[ ] JANE@NET-ONE.EXAMPLE other"_s, u"[x] HOSTMASTER@ARIN.NET registry"_s};
}

void TestRdapTrace::designationOverEverySource()
{
    QFETCH(QString, whoisAnswer);
    QFETCH(bool, rdapOn);
    QFETCH(bool, zoneOn);
    QFETCH(QStringList, rows);
    RdapBench bench;
    const QString source = u"89.160.20.112"_s;
    const QString beyond = u"216.160.83.56"_s;
    bench.registries.server(Registry::ARIN).setReply(source, TestWhoisServer::Reply::text(whoisAnswer));
    bench.registries.server(Registry::ARIN)
        .setReply(beyond, TestWhoisServer::Reply::text(u"OrgAbuseEmail: abuse@far.example\n"_s));
    bench.rdap.answer(source, rdapPage(networkAnswer(source, {u"abuse@net-one.example"_s})));
    bench.rdap.answer(beyond, rdapPage(networkAnswer(beyond, {u"abuse@far-rdap.example"_s})));
    bench.workbench.setHeaderText(u"Received: from a (a.provider.example [81.2.69.10]) by mx.provider.example\r\n"
                                  u"Received: from b ([89.160.20.112]) by a.provider.example\r\n"
                                  u"Received: from c ([216.160.83.56]) by b\r\n\r\n"_s);
    bench.workbench.setTrust({true, *parseMailHosts(u"81.2.69.0/24"), true});
    bench.workbench.setDesignated(true);
    bench.workbench.setRdapEnabled(rdapOn);
    bench.workbench.setContactZone(zoneOn ? ContactZone : QString());
    QVERIFY(bench.runTrace());

    QStringList shown;
    for (const AbuseRow& row : bench.workbench.state().lstAbuse) {
        shown.append((row.ticked ? u"[x] "_s : u"[ ] "_s) + row.address + u' ' + row.role);
    }
    QStringList farRows{u"[x] ABUSE@FAR.EXAMPLE abuse"_s};
    if (rdapOn) {
        farRows.append(u"[x] ABUSE@FAR-RDAP.EXAMPLE abuse"_s);
    }
    if (zoneOn) {
        farRows.append(u"[x] DB-FAR@FAR.EXAMPLE abuse"_s);
    }
    QCOMPARE(shown, rows + farRows);
}

void TestRdapTrace::settingsSection_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("rdap");
    QTest::addColumn<bool>("designated");
    QTest::addColumn<QString>("zone");
    QTest::addColumn<bool>("error");

    QTest::newRow("no section") << QByteArray("[store]\nfolder=Junk\n") << false << false << QString() << false;
    QTest::newRow("on, with a comment") << QByteArray("[Abuse-Contacts]\nRDAP = yes   ; ask\n") << true << false
                                        << QString() << false;
    QTest::newRow("off") << QByteArray("[abuse-contacts]\nrdap=false\n") << false << false << QString() << false;
    QTest::newRow("designated alone") << QByteArray("[abuse-contacts]\ndesignated=on\n") << false << true << QString()
                                      << false;
    QTest::newRow("the key in another section")
        << QByteArray("[store]\nrdap=true\ndns_zone=x.test\n") << false << false << QString() << false;
    QTest::newRow("not a truth value") << QByteArray("[abuse-contacts]\nrdap=sometimes\n") << false << false
                                       << QString() << true;
    QTest::newRow("designated not a truth value")
        << QByteArray("[abuse-contacts]\nrdap=true\ndesignated=maybe\n") << false << false << QString() << true;
    QTest::newRow("a contact zone") << QByteArray("[abuse-contacts]\ndns_zone = abuse-contacts.example.zone\n") << false
                                    << false << u"abuse-contacts.example.zone"_s << false;
    QTest::newRow("an empty contact zone asks none")
        << QByteArray("[abuse-contacts]\ndns_zone=\nrdap=on\n") << true << false << QString() << false;
    QTest::newRow("a contact zone that is no DNS name")
        << QByteArray("[abuse-contacts]\nrdap=on\ndns_zone=http://zone.example/\n") << false << false << QString()
        << true;
}

void TestRdapTrace::settingsSection()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, rdap);
    QFETCH(bool, designated);
    QFETCH(QString, zone);
    QFETCH(bool, error);
    QTemporaryDir directory;
    QFile file(directory.filePath(u"zelkor.conf"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    const AbuseContactSettings settings = readAbuseContactSettings(file.fileName());
    QCOMPARE(settings.rdap, rdap);
    QCOMPARE(settings.designated, designated);
    QCOMPARE(settings.contactZone, zone);
    QCOMPARE(!settings.error.isEmpty(), error);
    QVERIFY(!readAbuseContactSettings(directory.filePath(u"missing.conf"_s)).rdap);
}

QTEST_MAIN(TestRdapTrace)
#include "tst_rdaptrace.moc"
