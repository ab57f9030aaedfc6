// SPDX-License-Identifier: GPL-3.0-or-later
// zelkor-report as scripts use it: arguments, input, exit status and output.
#include "common/ProductInfo.h"
#include "tests/support/ReportProcess.h"
#include "tests/support/TestWhoisServer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

using namespace Qt::StringLiterals;

namespace {

struct Outcome
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
    QStringList strings(const QString& key) const
    {
        QStringList strings;
        for (const QJsonValue& item : json().value(key).toArray()) {
            strings.append(item.toString());
        }
        return strings;
    }
};

// Runs the program with the event loop going, so that test servers in this
// process can answer it.
// Reverse lookups stay on this machine: nothing listens on the discard port.
Outcome run(const QStringList& arguments, const QByteArray& input = {}, const QString& whoisServers = {},
            const QString& dnsServers = u"127.0.0.1:9"_s)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"ZELKOR_DNS_SERVERS"_s, dnsServers);
    env.insert(u"ZELKOR_WHOIS_SERVERS"_s, whoisServers);
    process.setProcessEnvironment(env);
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(QString::fromUtf8(ZELKOR_REPORT_BINARY), arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!finished.wait(60000)) {
        return {};
    }
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void headerOnlyRowsToTheCharacter_data();
    void headerOnlyRowsToTheCharacter();
    void messageIsSplitIntoHeaderAndBody();
    void wholeTraceOnLoopback();
    void silentDnsServer();
    void complaintToTheByte_data();
    void complaintToTheByte();
    void failures_data();
    void failures();
    void helpExplainsTheEnvironment();
    void relayTrustOverSharedMessages_data();
    void relayTrustOverSharedMessages();
    void designatedDesksOnly();
};

void TestReport::headerOnlyRowsToTheCharacter_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("ips");

    QTest::newRow("LF lines ending in a line break keep the CR")
        << QByteArray("Received: from a ([192.0.2.1]) by b\nReceived: from c (c [192.0.2.2])\nDate: 1 Jan +0000\n")
        << QStringList{u"X  received: \tfrom a ([192.0.2.1]) by b"_s, u"   received: \tfrom c (c [192.0.2.2])"_s,
                       u"       date: \t1 Jan +0000\r"_s}
        << QStringList{u"192.0.2.1"_s, u"192.0.2.2"_s};
    QTest::newRow("no final line break drops the last character")
        << QByteArray("Received: from a ([192.0.2.1]) by b\r\nDate: 1 Jan +0000")
        << QStringList{u"X  received: \tfrom a ([192.0.2.1]) by b"_s, u"       date: \t1 Jan +000"_s}
        << QStringList{u"192.0.2.1"_s};
    QTest::newRow("byte-order mark before the only Received line")
        << QByteArray("\xef\xbb\xbfReceived: from a ([192.0.2.1]) by b\n")
        << QStringList{u"X  received: \tfrom a ([192.0.2.1]) by b\r"_s} << QStringList{u"192.0.2.1"_s};
    QTest::newRow("Latin-1 and UTF-8 bytes")
        << QByteArray("Subject: caf\xe9 \xc3\xa9t\xe9\n") << QStringList{u"    subject: \tcaf\u00e9 \u00e9t\u00e9\r"_s}
        << QStringList();
}

void TestReport::headerOnlyRowsToTheCharacter()
{
    QFETCH(QByteArray, header);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, ips);

    const Outcome outcome = run({u"--json"_s, u"--header-only"_s, u"--no-trace"_s, u"-"_s}, header);
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(outcome.strings(u"parsedHeader"_s), rows);
    QCOMPARE(outcome.strings(u"ips"_s), ips);
}

void TestReport::messageIsSplitIntoHeaderAndBody()
{
    const QByteArray message = "\xef\xbb\xbf"
                               "From spammer@example.com  Mon Jan  1 00:00:00 2024\n"
                               "Received: from x (x [127.0.0.1]) by mx\n"
                               "Subject: buy now\n\n"
                               "Received: from body ([192.0.2.99]) by nobody\n";
    const Outcome outcome = run({u"--no-trace"_s, u"-"_s}, message);
    QCOMPARE(outcome.exitCode, 0);
    // The text form: one section per list, named as the window labels them.
    const QString text = QString::fromUtf8(outcome.out);
    QVERIFY2(text.startsWith(u"Parsed Header\n    X  received: \tfrom x (x [127.0.0.1]) by mx\n"
                             u"        subject: \tbuy now\n\nList of IP Addresses\n    127.0.0.1\n\nDomain\n"_s),
             qPrintable(text));
    // 127.0.0.1 resolves through the hosts file, whatever the DNS servers.
    QVERIFY2(text.contains(u"\nAbuse Addresses\n    [ ] ABUSE@"_s), qPrintable(text));
    QVERIFY2(text.endsWith(u"\nTracking\n    \n\nStatus\n    \n\n"_s), qPrintable(text));
}

void TestReport::wholeTraceOnLoopback()
{
    TestWhoisServer arin;
    TestWhoisServer ripe;
    arin.setReply(u"192.0.2.1"_s, TestWhoisServer::Reply::text(u"OrgName:    RIPE Network Coordination Centre\n"_s));
    ripe.setReply(u"192.0.2.1"_s, TestWhoisServer::Reply::text(u"abuse-mailbox: abuse@relay.example\n"_s));
    const QString servers = arin.mapEntry(u"whois.arin.net"_s) + u',' + ripe.mapEntry(u"WHOIS.RIPE.NET"_s);

    const Outcome outcome = run({u"--json"_s, u"--header-only"_s, u"--progress"_s, u"-"_s},
                                "Received: from x ([192.0.2.1]) by y\n", servers);
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(outcome.json().value(u"abuse"_s).toArray(),
             (QJsonArray{QJsonObject{{u"address"_s, u"ABUSE@RELAY.EXAMPLE"_s},
                                     {u"ticked"_s, false},
                                     {u"source"_s, u"whois"_s},
                                     {u"role"_s, u"abuse"_s}}}));
    QCOMPARE(outcome.json().value(u"tracking"_s).toString(), u"abuse-mailbox: abuse@relay.example\n"_s);
    QCOMPARE(outcome.json().value(u"status"_s).toString(), u"Received answer"_s);
    // The status line says nothing of the reverse lookup; the JSON and the progress do.
    QVERIFY(outcome.json().value(u"reverseLookup"_s).toString().startsWith(u"192.0.2.1: "_s));
    QVERIFY2(outcome.err.contains("] Reverse lookup 192.0.2.1: "), outcome.err.constData());
    QVERIFY2(outcome.err.contains("] Referred to     RIPE Network Coordination Centre\n"), outcome.err.constData());
    QCOMPARE(arin.queries(), QStringList{u"192.0.2.1"_s});
    QCOMPARE(ripe.queries(), QStringList{u"192.0.2.1"_s});
}

// A DNS server that never answers: the reverse lookup times out, the JSON and
// the progress say so, the status line does not, and the trace goes on.
void TestReport::silentDnsServer()
{
    QUdpSocket silentDns;
    QVERIFY(silentDns.bind(QHostAddress::LocalHost, 0));
    TestWhoisServer arin;
    arin.setReply(u"192.0.2.1"_s, TestWhoisServer::Reply::text(u"abuse-mailbox: abuse@relay.example\n"_s));

    const Outcome outcome =
        run({u"--json"_s, u"--header-only"_s, u"--progress"_s, u"-"_s}, "Received: from x ([192.0.2.1]) by y\n",
            arin.mapEntry(u"whois.arin.net"_s), u"127.0.0.1:%1"_s.arg(silentDns.localPort()));
    QCOMPARE(outcome.exitCode, 0);
    const QString timedOut = u"192.0.2.1: the lookup failed or timed out (11003)"_s;
    QCOMPARE(outcome.json().value(u"reverseLookup"_s).toString(), timedOut);
    QVERIFY2(outcome.err.contains(timedOut.toUtf8()), outcome.err.constData());
    QCOMPARE(outcome.json().value(u"status"_s).toString(), u"Received answer"_s);
    QCOMPARE(outcome.strings(u"domains"_s), QStringList());
    QCOMPARE(outcome.json().value(u"abuse"_s).toArray().size(), 1);
}

void TestReport::complaintToTheByte_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("addressLine");
    QTest::addColumn<QByteArray>("headerAndBody");

    const QByteArray header = "Received: from x ([192.0.2.1]) by y\n";
    const QByteArray longLine(1200, 'a');
    // The header block ends with its empty line; the complaint adds a line end after it.
    const QByteArray block = header.chopped(1) + "\r\n\r\n\r\n";
    QTest::newRow("no abuse address") << header + "\nbody\n" << QByteArray() << block + "body\r\n";
    QTest::newRow("a harvested address") << QByteArray("Received: from x ([192.0.2.2]) by y\n\nbody")
                                         << QByteArray("ABUSE@RELAY.EXAMPLE;")
                                         << QByteArray("Received: from x ([192.0.2.2]) by y\r\n\r\n\r\nbody");
    QTest::newRow("empty body") << header + "\n" << QByteArray() << block;
    QTest::newRow("lines with dots, a line of 1,200 characters")
        << header + "\n.\n..x\n" + longLine + "\n.\n"
        << QByteArray() << block + ".\r\n..x\r\n" + longLine + "\r\n.\r\n";
}

// The complaint goes out exactly as Copy Complaint would put it on the clipboard.
void TestReport::complaintToTheByte()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, addressLine);
    QFETCH(QByteArray, headerAndBody);

    TestWhoisServer arin;
    arin.setReply(u"192.0.2.2"_s, TestWhoisServer::Reply::text(u"abuse-mailbox: abuse@relay.example\n"_s));
    const Outcome outcome = run({u"--complaint"_s, u"-"_s}, message, arin.mapEntry(u"WHOIS.ARIN.NET"_s));
    QCOMPARE(outcome.exitCode, 0);
    const QByteArray expected = addressLine +
                                "\r\n\r\nSpam Complaint\r\nHere is the SMTP information.\r\n\r\n"
                                "SMTP Info Start ====================================\r\n\r\n" +
                                headerAndBody +
                                "\r\n\r\nSMTP Info End ======================================\r\n\r\n"
                                "Generated by Zelkor II Version 1.2\r\n" +
                                productWebAddress().toUtf8() + "\r\n";
    QCOMPARE(outcome.out, expected);

    const Outcome json = run({u"--complaint"_s, u"--json"_s, u"-"_s}, message, arin.mapEntry(u"WHOIS.ARIN.NET"_s));
    QCOMPARE(json.json().value(u"complaint"_s).toString().toUtf8(), expected);
}

void TestReport::failures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("whoisServers");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");

    const QByteArray header(40000, 'x');
    QTest::newRow("missing file") << QStringList{u"/nonexistent/message.eml"_s} << QString() << header << 1;
    QTest::newRow("directory") << QStringList{u"/"_s} << QString() << header << 1;
    QTest::newRow("empty input") << QStringList{u"-"_s} << QString() << QByteArray() << 1;
    QTest::newRow("byte-order mark only")
        << QStringList{u"--header-only"_s, u"-"_s} << QString() << QByteArray("\xef\xbb\xbf") << 1;
    QTest::newRow("no file") << QStringList() << QString() << header << 2;
    QTest::newRow("two files") << QStringList{u"a"_s, u"b"_s} << QString() << header << 2;
    QTest::newRow("unknown option") << QStringList{u"--frobnicate"_s, u"-"_s} << QString() << header << 2;
    QTest::newRow("malformed whois servers") << QStringList{u"-"_s} << u"WHOIS.ARIN.NET"_s << header << 2;
    QTest::newRow("trust and no trust") << QStringList{u"--trust"_s, u"--no-trust"_s, u"-"_s} << QString() << header
                                        << 2;
    QTest::newRow("a mail host that is none")
        << QStringList{u"--mailhost"_s, u"10.0.0.0/33"_s, u"-"_s} << QString() << header << 2;
    QTest::newRow("overlong header") << QStringList{u"--header-only"_s, u"--no-trace"_s, u"-"_s} << QString() << header
                                     << 3;
}

void TestReport::failures()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, whoisServers);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);

    const Outcome outcome = run(arguments, input, whoisServers);
    QCOMPARE(outcome.exitCode, exitCode);
    if (exitCode == 3) {
        QVERIFY(outcome.out.contains("Something bad happened Overflow"));
        return;
    }
    QVERIFY(outcome.out.isEmpty());
    QVERIFY2(outcome.err.startsWith("zelkor-report: ") && outcome.err.count('\n') == 1, outcome.err.constData());
}

void TestReport::helpExplainsTheEnvironment()
{
    const Outcome outcome = run({u"--help"_s});
    QCOMPARE(outcome.exitCode, 0);
    for (const char* word : {"--json", "--header-only", "--no-trace", "--progress", "--complaint",
                             "ZELKOR_WHOIS_SERVERS", "ZELKOR_DNS_SERVERS", "donotsend.txt"}) {
        QVERIFY2(outcome.out.contains(word), word);
    }
}

// Every shared real message: the source without mail hosts (read off each
// header: the first hop from outside the final server's domain), and for some
// the source once the user names a mail host.
void TestReport::relayTrustOverSharedMessages_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("relays");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("mailHost");
    QTest::addColumn<QString>("sourceWithMailHost");

    const auto row = [](const char* file, int relays, const QString& source, const QString& mailHost = {},
                        const QString& withMailHost = {}) {
        QTest::newRow(file) << QString::fromLatin1(file) << relays << source << mailHost << withMailHost;
    };
    row("fl-multi-received_gmail-http.eml", 1, {}); // a private hop alone
    row("fl-spam-broken-headers_cn.eml", 1, u"111.224.250.131"_s);
    row("lkml-2003_vger-zmailer-ip-port-ehlo.eml", 1, u"216.99.193.137"_s);
    // IBM's mail passes a gateway of another company's: named, the gateway is own.
    row("mp-10_ibm-gateways-15hops.eml", 11, u"148.163.158.5"_s, u"pphosted.com"_s, u"195.75.94.106"_s);
    // A forwarder named as a mail host: the source is the IPv6 hop before it.
    row("mp-1_qmail-outlook-ipv6-hostedemail.eml", 5, u"64.98.42.207"_s, u"hostedemail.com"_s,
        u"2603:10b6:207:3d::31"_s);
    row("mp-2_smtpsvc-websense.eml", 3, u"217.76.210.112"_s);
    row("mp-4_exim-helo-port-fqdp.eml", 3, u"208.74.72.248"_s);
    row("mp-7_postfix-qmail.eml", 2, u"55.56.95.227"_s);
    row("sa-ham-002_exim-http.eml", 5, u"216.136.171.252"_s, u"212.17.35.15"_s, u"216.136.171.252"_s);
    row("sa-ham-007_exim.eml", 3, u"24.102.84.250"_s);
    // The final server is "mail", without a domain: only a mail host finds the boundary.
    row("sa-ham-base64_8hops.eml", 6, u"212.17.35.15"_s, u"212.17.35.15"_s, u"216.136.171.194"_s);
    row("sa-ham-gb2312-1_crlf-qmail.eml", 1, u"202.108.68.140"_s);
    row("sa-spam-001.eml", 3, u"193.120.211.219"_s);
    row("sa-spam-002.eml", 2, u"209.90.19.2"_s);
    row("sa-spam-003_dialup-envelope-from-fold.eml", 5, u"193.120.149.226"_s);
    row("sa-spam-004_exchange-ims-squirrelmail.eml", 5, u"193.120.149.226"_s);
    row("sa-spam-005.eml", 5, u"213.105.180.140"_s);
    row("sa-spam-base64.eml", 2, u"61.156.13.71"_s);
    row("sa-spam-dmarc-noneko_ipv6-gmail.eml", 2, u"2607:f8b0:4864:20::432"_s);
    row("si-exim-60_amavis-exim-local.eml", 3, {}); // loopback and a documentation address
}

// With --trust the JSON names the source and each hop's class; with --no-trust
// it is what it always was, with the relays unclassed and no source.
void TestReport::relayTrustOverSharedMessages()
{
    QFETCH(QString, file);
    QFETCH(int, relays);
    QFETCH(QString, source);
    QFETCH(QString, mailHost);
    QFETCH(QString, sourceWithMailHost);

    QTemporaryDir config;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_CONFIG_HOME"_s, config.path());
    env.insert(u"ZELKOR_DNS_SERVERS"_s, u"127.0.0.1:9"_s);
    const QString path = QStringLiteral(ZELKOR_TEST_DATA_DIR "/../../../shared/testdata/mail/") + file;
    const auto json = [&](const QStringList& options) {
        const ReportOutcome outcome =
            runZelkorReport(QStringList{u"--json"_s, u"--no-trace"_s} + options + QStringList{path}, env);
        return QJsonDocument::fromJson(outcome.out).object();
    };

    const QJsonObject trusted = json({u"--trust"_s});
    QCOMPARE(trusted.value(u"source"_s).toString(), source);
    const QJsonArray hops = trusted.value(u"relays"_s).toArray();
    QCOMPARE(hops.size(), relays);
    const QStringList classes{u"own"_s, u"private"_s, u"source"_s, u"beyond"_s};
    int sources = 0;
    for (const QJsonValue& hop : hops) {
        QVERIFY(classes.contains(hop.toObject().value(u"trust"_s).toString()));
        sources += hop.toObject().value(u"trust"_s).toString() == u"source"_s ? 1 : 0;
    }
    QCOMPARE(sources, source.isEmpty() ? 0 : 1);
    if (!mailHost.isEmpty()) {
        QCOMPARE(json({u"--trust"_s, u"--mailhost"_s, mailHost}).value(u"source"_s).toString(), sourceWithMailHost);
    }

    // The settings file turns it on without --trust, and --no-trust overrides it.
    QFile settings(config.filePath(u"zelkor/zelkor.conf"_s));
    QVERIFY(QDir(config.path()).mkpath(u"zelkor"_s) && settings.open(QIODevice::WriteOnly));
    settings.write("[trust]\nenabled=true\n");
    settings.close();
    QCOMPARE(json({}).value(u"source"_s).toString(), source);

    const QJsonObject untrusted = json({u"--no-trust"_s});
    QCOMPARE(untrusted.keys(),
             (QStringList{u"abuse"_s, u"domains"_s, u"ips"_s, u"parsedHeader"_s, u"relays"_s, u"reverseLookup"_s,
                          u"source"_s, u"status"_s, u"subject"_s, u"tracking"_s}));
    QCOMPARE(untrusted.value(u"source"_s).toString(), QString());
    QCOMPARE(untrusted.value(u"relays"_s).toArray().size(), relays);
    for (const QJsonValue& hop : untrusted.value(u"relays"_s).toArray()) {
        QCOMPARE(hop.toObject().value(u"trust"_s).toString(), QString());
        QCOMPARE(hop.toObject().keys(), (QStringList{u"address"_s, u"by"_s, u"helo"_s, u"rdns"_s, u"trust"_s}));
    }
}

// With --designated the complaint goes to the desk the answer names, not to
// its staff or the registry; --no-designated gives today's complaint exactly.
void TestReport::designatedDesksOnly()
{
    TestWhoisServer arin;
    arin.setReply(u"192.0.2.3"_s, TestWhoisServer::Reply::text(u"OrgName:        Example Net\n"
                                                               u"OrgAbuseEmail:  abuse@net.example\n"
                                                               u"OrgTechEmail:   jane.doe@net.example\n"
                                                               u"Comment:        hostmaster@arin.net\n"
                                                               u"% Abuse contact for '192.0.2.0 - 192.0.2.255' is "
                                                               u"'desk@net.example'\n"_s));
    const QByteArray message = "Received: from x ([192.0.2.3]) by y\nSubject: s\n\nbody\n";
    const auto complaint = [&](const QStringList& options) {
        return run(QStringList{u"--complaint"_s} + options + QStringList{u"-"_s}, message,
                   arin.mapEntry(u"WHOIS.ARIN.NET"_s));
    };
    const Outcome designated = complaint({u"--designated"_s});
    QCOMPARE(designated.exitCode, 0);
    QVERIFY2(designated.out.startsWith("ABUSE@NET.EXAMPLE;DESK@NET.EXAMPLE;\r\n"), designated.out.constData());
    const Outcome asMade = complaint({u"--no-designated"_s});
    QVERIFY2(asMade.out.startsWith("ABUSE@NET.EXAMPLE;JANE.DOE@NET.EXAMPLE;HOSTMASTER@ARIN.NET;\r\n"),
             asMade.out.constData());
    QCOMPARE(asMade.out, complaint({}).out);

    const Outcome json = run({u"--json"_s, u"--designated"_s, u"-"_s}, message, arin.mapEntry(u"WHOIS.ARIN.NET"_s));
    QStringList rows;
    for (const QJsonValue& row : json.json().value(u"abuse"_s).toArray()) {
        rows.append(row[u"role"_s].toString() + (row[u"ticked"_s].toBool() ? u" ticked"_s : u""_s));
    }
    QCOMPARE(rows, (QStringList{u"abuse"_s, u"other ticked"_s, u"registry ticked"_s, u"abuse"_s}));
}

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
