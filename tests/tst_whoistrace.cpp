// SPDX-License-Identifier: GPL-3.0-or-later
// Whole whois traces: from the Start command through the lookups at test
// servers on loopback to the end of the trace.
#include "tests/support/WhoisBench.h"
#include "whois/WhoisLookup.h"
#include "workbench/Workbench.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <array>
#include <tuple>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Reply = TestWhoisServer::Reply;

namespace {

// Short enough to keep the suite fast, long enough for loopback answers.
constexpr auto Window = 200ms;

const QString Relay1 = u"192.0.2.7"_s;
const QString Relay2 = u"198.51.100.9"_s;
const QString Handle = u"NET-192-0-2-0-1"_s;
const QString RipeMarker = u"    RIPE Network Coordination Centre"_s;
const QString ApnicMarker = u"    Asia Pacific Network Information Centre"_s;
const QString NicBrMarker = u"    Comite Gestor da Internet no Brasil"_s;
const QString Block = u"Internap Network Services PNAP-09-2004 (NET-192-0-2-0-1)\n"_s;
const QString ToRipe = u"OrgName:"_s + RipeMarker + u"\n"_s;
const QString FinalAnswer = u"OrgAbuseEmail:  ops@final.example\n"_s;
const QString FinalRow = u"[ ] OPS@FINAL.EXAMPLE"_s;
const QString SecondAnswer = u"OrgAbuseEmail:  two@second.example\n"_s;
const QString SecondRow = u"[ ] TWO@SECOND.EXAMPLE"_s;

QString headerFor(const QStringList& relays)
{
    QString header;
    for (const QString& relay : relays) {
        header += u"Received: from relay ([%1]) by mx\r\n"_s.arg(relay);
    }
    return header + u"Subject: offer\r\n\r\n"_s;
}

QString arin(const QString& query)
{
    return u"ARIN "_s + query;
}

/// What one registry's server answers to one query.
struct Answer
{
    RegistryId registry = 0;
    QString query;
    QString text;
};
using Script = QList<Answer>;

void play(WhoisBench& bench, const Script& script)
{
    for (const Answer& answer : script) {
        bench.server(answer.registry).setReply(answer.query, Reply::text(answer.text));
    }
}

} // namespace

Q_DECLARE_METATYPE(Script)

class TestWhoisTrace : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void directFinalAnswer();
    void traceFollowsAnswers_data();
    void traceFollowsAnswers();
    void replyWithinWindow_data();
    void replyWithinWindow();
    void refusedConnection_data();
    void refusedConnection();
    void blankQueryIsNotSent();
    void unsupportedRegistry_data();
    void unsupportedRegistry();
    void lateDataOfAnEarlierLookup_data();
    void lateDataOfAnEarlierLookup();
    void startAgainDuringTrace();
    void oneSecondPerLookup_data();
    void oneSecondPerLookup();
    void realAnswers_data();
    void realAnswers();
};

void TestWhoisTrace::directFinalAnswer()
{
    WhoisBench bench(Window);
    bench.resolver.answers.insert(Relay1, {u"mail.spam-host.example"_s, 0});
    QVERIFY(bench.writeDoNotSend("SECURITY@\r\n"));
    const QString answer = u"OrgName:    Spam Host Networks\n"
                           u"OrgAbuseEmail:  abuse@spam-host.example\n"
                           u"OrgNOCEmail:  noc@Spam-Host.example\n"
                           u"Comment:  write to noc@spam-host.example, security@spam-host.example or "
                           u"hostmaster@ripe.net; never to Lacnic-staff@example.org\n"_s;
    bench.server(Registry::ARIN).setReply(Relay1, Reply::text(answer));

    QVERIFY(bench.runTrace(headerFor({Relay1})));
    QCOMPARE(bench.asked, QStringList{arin(Relay1)});
    // The resolver's ABUSE@ address comes first and is not repeated; the
    // registries' own and the refused addresses stay out.
    QCOMPARE(bench.abuseRows(), (QStringList{u"[ ] ABUSE@SPAM-HOST.EXAMPLE"_s, u"[ ] NOC@SPAM-HOST.EXAMPLE"_s}));
    QCOMPARE(bench.state().txtWhoIsOut, answer);
    QCOMPARE(bench.state().txtWhoStatus, u"Received answer"_s);
    QCOMPARE(bench.resolver.lookedUp, QStringList{Relay1});
    QCOMPARE(bench.host.busyCalls, (QList<bool>{true, false, true, false}));
}

void TestWhoisTrace::traceFollowsAnswers_data()
{
    QTest::addColumn<QStringList>("relays");
    QTest::addColumn<Script>("script");
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<QStringList>("abuse");
    QTest::addColumn<QString>("shown");

    using namespace Registry;
    const QStringList one{Relay1};
    const QString ripe = u"RIPE "_s + Relay1;

    QTest::newRow("network block, then the handle's final answer")
        << one << Script{{ARIN, Relay1, Block}, {ARIN, Handle, FinalAnswer}} << QStringList{arin(Relay1), arin(Handle)}
        << QStringList{FinalRow} << u"Received Network Block answer"_s;

    const std::array<std::tuple<RegistryId, QString, QString>, 6> referrals{{
        {RIPE, u"RIPE"_s, RipeMarker},
        {LACNIC, u"LACNIC"_s, u"    Latin American and Caribbean IP address Regional Registry"_s},
        {AUNIC, u"AUNIC"_s, u"    whois.ausregistry.net.au"_s},
        {APNIC, u"APNIC"_s, ApnicMarker},
        {KRNIC, u"KRNIC"_s, u"    Korea Network Information Center"_s},
        {NICBR, u"NIC.BR"_s, NicBrMarker},
    }};
    for (const auto& [id, name, marker] : referrals) {
        QTest::addRow("referral to %s", qPrintable(name))
            << one << Script{{ARIN, Relay1, u"OrgName:"_s + marker + u"\n"_s}, {id, Relay1, FinalAnswer}}
            << QStringList{arin(Relay1), name + u' ' + Relay1} << QStringList{FinalRow} << u"Referred to "_s + marker;
    }

    QTest::newRow("marker starting at 319 refers")
        << one << Script{{ARIN, Relay1, QString(318, u'-') + RipeMarker}, {RIPE, Relay1, FinalAnswer}}
        << QStringList{arin(Relay1), ripe} << QStringList{FinalRow} << u"Referred to "_s + RipeMarker;
    QTest::newRow("marker starting at 320 is final")
        << one << Script{{ARIN, Relay1, QString(319, u'-') + RipeMarker + u' ' + FinalAnswer}}
        << QStringList{arin(Relay1)} << QStringList{FinalRow} << u"Received answer"_s;
    QTest::newRow("8 characters in parentheses are no handle")
        << one << Script{{ARIN, Relay1, u"NetName: (NET-1234) "_s + FinalAnswer}} << QStringList{arin(Relay1)}
        << QStringList{FinalRow} << u"Received answer"_s;
    QTest::newRow("9 characters are a handle")
        << one << Script{{ARIN, Relay1, u"NetName: (NET-12345)\n"_s}, {ARIN, u"NET-12345"_s, FinalAnswer}}
        << QStringList{arin(Relay1), arin(u"NET-12345"_s)} << QStringList{FinalRow}
        << u"Received Network Block answer"_s;
    QTest::newRow("a handle from a referred registry goes to ARIN")
        << one << Script{{ARIN, Relay1, ToRipe}, {RIPE, Relay1, Block}, {ARIN, Handle, FinalAnswer}}
        << QStringList{arin(Relay1), ripe, arin(Handle)} << QStringList{FinalRow} << u"Received Network Block answer"_s;
    QTest::newRow("\")\" before \"(\", then a referral")
        << one << Script{{ARIN, Relay1, u"remarks: 1) see (NET-192-0-2-0-1)\n"_s + ToRipe}, {RIPE, Relay1, FinalAnswer}}
        << QStringList{arin(Relay1), ripe} << QStringList{FinalRow} << u"Referred to "_s + RipeMarker;
    QTest::newRow("\")\" before \"(\", final")
        << one << Script{{ARIN, Relay1, u"remarks: 1) write to  ops@final.example (NET-192-0-2-0-1)\n"_s}}
        << QStringList{arin(Relay1)} << QStringList{FinalRow} << u"Received answer"_s;
    QTest::newRow("an answer referring to its own registry is final")
        << one << Script{{ARIN, Relay1, ToRipe}, {RIPE, Relay1, u"org-name:"_s + RipeMarker + u" "_s + FinalAnswer}}
        << QStringList{arin(Relay1), ripe} << QStringList{FinalRow} << u"Received answer"_s;
    QTest::newRow("a handle whose answer names it again is final")
        << one << Script{{ARIN, Relay1, Block}, {ARIN, Handle, Block + u"Abuse:  "_s + FinalAnswer}}
        << QStringList{arin(Relay1), arin(Handle)} << QStringList{FinalRow} << u"Received answer"_s;
    QTest::newRow("a referral back to a registry already asked is final")
        << one
        << Script{{ARIN, Relay1, ToRipe},
                  {RIPE, Relay1, u"descr:"_s + ApnicMarker + u"\n"_s},
                  {APNIC, Relay1, u"descr:"_s + RipeMarker + u" "_s + FinalAnswer}}
        << QStringList{arin(Relay1), ripe, u"APNIC "_s + Relay1} << QStringList{FinalRow} << u"Received answer"_s;
    QTest::newRow("the same handle is looked up again for the next relay address")
        << QStringList{Relay1, Relay2}
        << Script{{ARIN, Relay1, Block}, {ARIN, Handle, FinalAnswer}, {ARIN, Relay2, Block}}
        << QStringList{arin(Relay1), arin(Handle), arin(Relay2), arin(Handle)} << QStringList{FinalRow}
        << u"Received Network Block answer"_s;
    const QString local(33000, u'a');
    QTest::newRow("a word longer than 32767 characters is harvested")
        << one << Script{{ARIN, Relay1, u"remarks:  "_s + local + u"@huge.example\n"_s}} << QStringList{arin(Relay1)}
        << QStringList{u"[ ] "_s + local.toUpper() + u"@HUGE.EXAMPLE"_s} << u"Received answer"_s;
}

void TestWhoisTrace::traceFollowsAnswers()
{
    QFETCH(QStringList, relays);
    QFETCH(Script, script);
    QFETCH(QStringList, asked);
    QFETCH(QStringList, abuse);
    QFETCH(QString, shown);

    WhoisBench bench(Window);
    play(bench, script);
    QVERIFY(bench.runTrace(headerFor(relays)));
    QCOMPARE(bench.asked, asked);
    QCOMPARE(bench.abuseRows(), abuse);
    QCOMPARE(bench.answers.size(), asked.size());
    QVERIFY2(bench.statuses.contains(shown), qPrintable(bench.statuses.join(u" | ")));
    QVERIFY2(bench.statuses.filter(u"Something bad happened"_s).isEmpty(), qPrintable(bench.statuses.join(u" | ")));
    QCOMPARE(bench.state().txtWhoStatus, u"Received answer"_s);
}

void TestWhoisTrace::replyWithinWindow_data()
{
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("abuse");
    QTest::addColumn<QString>("receiving");

    const QByteArray text = "OrgAbuseEmail:  one@first.example\n";
    const QStringList found{u"[ ] ONE@FIRST.EXAMPLE"_s};
    const auto receiving = [](qsizetype bytes) { return u"Receiving %1 bytes ARIN response"_s.arg(bytes); };
    const QString umlauts = u"descr: Gesch\u00e4ftsf\u00fchrer\n"_s;

    QTest::newRow("whole text at once") << Reply::text(QString::fromLatin1(text)) << QString::fromLatin1(text) << found
                                        << receiving(text.size());
    QTest::newRow("split into pieces") << Reply::split({"OrgAbuseEmail:  on", "e@first.exa", "mple\n"}, 40ms)
                                       << QString::fromLatin1(text) << found << receiving(5);
    const QByteArray utf8 = umlauts.toUtf8();
    QTest::newRow("UTF-8 character split across pieces") << Reply::split({utf8.first(13), utf8.sliced(13)}, 40ms)
                                                         << umlauts << QStringList() << receiving(utf8.size() - 13);
    QTest::newRow("Latin-1 bytes") << Reply{{umlauts.toLatin1()}} << umlauts << QStringList()
                                   << receiving(umlauts.size());
    QTest::newRow("answer after the window")
        << Reply::late(QString::fromLatin1(text), Window + 150ms) << QString() << QStringList() << QString();
    QTest::newRow("silence") << Reply::silence() << QString() << QStringList() << QString();
    QTest::newRow("closed at once") << Reply::closeAtOnce() << QString() << QStringList() << QString();
    QTest::newRow("reset after some bytes")
        << Reply::resetAfter(text, 40ms) << QString::fromLatin1(text) << found << receiving(text.size());
}

// The first relay address gets the reply under test, the second a plain final
// answer: whatever the first lookup saw, the trace goes on.
void TestWhoisTrace::replyWithinWindow()
{
    QFETCH(Reply, reply);
    QFETCH(QString, answer);
    QFETCH(QStringList, abuse);
    QFETCH(QString, receiving);

    WhoisBench bench(Window);
    bench.server(Registry::ARIN).setReply(Relay1, reply);
    bench.server(Registry::ARIN).setReply(Relay2, Reply::text(SecondAnswer));
    QVERIFY(bench.runTrace(headerFor({Relay1, Relay2})));
    QCOMPARE(bench.asked, (QStringList{arin(Relay1), arin(Relay2)}));
    QCOMPARE(bench.answers, (QStringList{answer, SecondAnswer}));
    QCOMPARE(bench.abuseRows(), abuse + QStringList{SecondRow});

    // The status line names the size of the last piece of the first answer.
    const QStringList first = bench.statuses.first(bench.statuses.indexOf(u"Received answer"_s));
    const QStringList pieces = first.filter(u"Receiving "_s);
    QCOMPARE(pieces.isEmpty() ? QString() : pieces.last(), receiving);
    // An orderly close is no error. QTcpSocket reports a reset just like one, so
    // that row cannot tell the two apart.
    if (reply.end != Reply::End::Reset) {
        QVERIFY2(bench.statuses.filter(u"ARIN Error"_s).isEmpty(), qPrintable(bench.statuses.join(u" | ")));
    }
}

void TestWhoisTrace::refusedConnection_data()
{
    QTest::addColumn<int>("refusing");
    QTest::addColumn<Script>("script");
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<QStringList>("abuse");
    QTest::addColumn<QString>("error");

    using namespace Registry;
    QTest::newRow("ARIN") << int(ARIN) << Script() << QStringList() << QStringList()
                          << u"ARIN Error Winsock Error number - 10061 - "_s;
    QTest::newRow("RIPE") << int(RIPE) << Script{{ARIN, Relay1, ToRipe}, {ARIN, Relay2, SecondAnswer}}
                          << QStringList{arin(Relay1), arin(Relay2)} << QStringList{SecondRow}
                          << u"RIPE Error Winsock Error number - 10061 - "_s;
    QTest::newRow("NIC.BR") << int(NICBR)
                            << Script{{ARIN, Relay1, u"owner:"_s + NicBrMarker + u"\n"_s}, {ARIN, Relay2, SecondAnswer}}
                            << QStringList{arin(Relay1), arin(Relay2)} << QStringList{SecondRow}
                            << u"NICBR Error Winsock Error number - 10061 - "_s;
}

void TestWhoisTrace::refusedConnection()
{
    QFETCH(int, refusing);
    QFETCH(Script, script);
    QFETCH(QStringList, asked);
    QFETCH(QStringList, abuse);
    QFETCH(QString, error);

    WhoisBench bench(Window);
    bench.server(RegistryId(refusing)).refuseConnections();
    play(bench, script);
    QVERIFY(bench.runTrace(headerFor({Relay1, Relay2})));
    QCOMPARE(bench.asked, asked);
    QCOMPARE(bench.abuseRows(), abuse);
    const QStringList errors = bench.statuses.filter(error);
    QVERIFY2(!errors.isEmpty(), qPrintable(bench.statuses.join(u" | ")));
    QVERIFY2(errors.first().startsWith(error) && errors.first().size() > error.size(), qPrintable(errors.first()));
    QCOMPARE(bench.state().txtWhoStatus, u"Received answer"_s);
}

void TestWhoisTrace::blankQueryIsNotSent()
{
    WhoisBench bench(Window);
    QVERIFY(bench.runTrace(u"Received: from nowhere ([   ]) by mx\r\n\r\n"_s));
    QCOMPARE(bench.state().lstIPs, QStringList{u"   "_s});
    QVERIFY2(bench.statuses.contains(u" No domain name was entered."_s), qPrintable(bench.statuses.join(u" | ")));
    QCOMPARE(bench.server(Registry::ARIN).connectionCount(), 1);
    QCOMPARE(bench.asked, QStringList());
    QCOMPARE(bench.answers, QStringList{QString()});
    QCOMPARE(bench.resolver.lookedUp, QStringList());
}

void TestWhoisTrace::unsupportedRegistry_data()
{
    QTest::addColumn<int>("id");
    QTest::newRow("0") << 0;
    QTest::newRow("8") << 8;
    QTest::newRow("-1") << -1;
}

void TestWhoisTrace::unsupportedRegistry()
{
    QFETCH(int, id);
    WhoisBench bench(Window);
    WhoisLookup lookup({Window, bench.serverMap()});
    QSignalSpy tracking(&lookup, &WhoisLookup::trackingChanged);
    QSignalSpy status(&lookup, &WhoisLookup::statusChanged);
    QSignalSpy complete(&lookup, &WhoisLookup::answerComplete);

    QVERIFY(!lookup.QueryRegistry(RegistryId(id), Relay1));
    QCOMPARE(tracking.last().first().toString(), u"Lookup not supported - %1"_s.arg(id));
    QVERIFY(lookup.isWaiting());
    QVERIFY(complete.wait(2000));
    QCOMPARE(complete.first().first().toString(), QString());
    QCOMPARE(tracking.last().first().toString(), QString());
    QCOMPARE(status.last().first().toString(), u"Received answer"_s);
    for (RegistryId registry = Registry::ARIN; registry <= Registry::NICBR; ++registry) {
        QCOMPARE(bench.server(registry).connectionCount(), 0);
    }
}

void TestWhoisTrace::lateDataOfAnEarlierLookup_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<int>("next");
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("arinConnections");

    QTest::newRow("ARIN again: a fresh connection, an empty buffer") << Block << int(Registry::ARIN) << Handle << 2;
    QTest::newRow("another registry: the earlier socket's data is dropped")
        << ToRipe << int(Registry::RIPE) << Relay1 << 1;
}

// The first answer leads to a second lookup, and its server sends more on the
// first connection while the second lookup collects its answer.
void TestWhoisTrace::lateDataOfAnEarlierLookup()
{
    QFETCH(QString, first);
    QFETCH(int, next);
    QFETCH(QString, query);
    QFETCH(int, arinConnections);

    WhoisBench bench(Window);
    const Reply trailing{
        {first.toUtf8(), "OrgAbuseEmail:  late@stale.example\n"}, 0ms, Window + 60ms, Reply::End::KeepOpen};
    bench.server(Registry::ARIN).setReply(Relay1, trailing);
    bench.server(RegistryId(next)).setReply(query, Reply::late(FinalAnswer, 100ms));
    QVERIFY(bench.runTrace(headerFor({Relay1})));
    QCOMPARE(bench.server(Registry::ARIN).connectionCount(), arinConnections);
    QCOMPARE(bench.answers, (QStringList{first, FinalAnswer}));
    QCOMPARE(bench.abuseRows(), QStringList{FinalRow});
}

void TestWhoisTrace::startAgainDuringTrace()
{
    WhoisBench bench(Window);
    bench.resolver.answers.insert(Relay1, {u"mail.spam-host.example"_s, 0});
    bench.server(Registry::ARIN).setReply(Relay1, Reply::text(FinalAnswer));
    bench.server(Registry::ARIN).setReply(Relay2, Reply::text(SecondAnswer));
    QSignalSpy finished(&bench.workbench(), &Workbench::traceFinished);
    bench.workbench().setHeaderText(headerFor({Relay1, Relay2}));

    bench.workbench().Start();
    QTRY_VERIFY(!bench.statuses.filter(u"Receiving "_s).isEmpty());
    bench.workbench().Start();
    QVERIFY(finished.wait(5000));
    QTest::qWait(2 * Window.count());
    QCOMPARE(finished.size(), 1);
    QCOMPARE(bench.state().lstIPs, (QStringList{Relay1, Relay2}));
    QCOMPARE(bench.state().lstDomain, QStringList{u"SPAM-HOST.EXAMPLE"_s});
    QCOMPARE(bench.abuseRows(), (QStringList{u"[ ] ABUSE@SPAM-HOST.EXAMPLE"_s, FinalRow, SecondRow}));
    QCOMPARE(bench.asked, (QStringList{arin(Relay1), arin(Relay1), arin(Relay2)}));
}

void TestWhoisTrace::oneSecondPerLookup_data()
{
    QTest::addColumn<QStringList>("relays");
    QTest::addColumn<Script>("script");
    QTest::addColumn<int>("lookups");
    QTest::addColumn<QStringList>("abuse");

    using namespace Registry;
    QTest::newRow("network block, then the final answer")
        << QStringList{Relay1} << Script{{ARIN, Relay1, Block}, {ARIN, Handle, FinalAnswer}} << 2
        << QStringList{FinalRow};
    QTest::newRow("referral, then the next relay address")
        << QStringList{Relay1, Relay2}
        << Script{{ARIN, Relay1, ToRipe}, {RIPE, Relay1, FinalAnswer}, {ARIN, Relay2, SecondAnswer}} << 3
        << QStringList{FinalRow, SecondRow};
}

// With the real window each lookup takes one second, however fast the server.
void TestWhoisTrace::oneSecondPerLookup()
{
    QFETCH(QStringList, relays);
    QFETCH(Script, script);
    QFETCH(int, lookups);
    QFETCH(QStringList, abuse);

    WhoisBench bench(WhoisLookup::Options{}.window);
    play(bench, script);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(bench.runTrace(headerFor(relays), 15s));
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(bench.answers.size(), lookups);
    QCOMPARE(bench.abuseRows(), abuse);
    QVERIFY2(elapsed >= lookups * 995 && elapsed < lookups * 1000 + 2000, qPrintable(QString::number(elapsed)));
}

void TestWhoisTrace::realAnswers_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<QStringList>("abuse");

    const QString first = arin(Relay1);
    QTest::newRow("final, three contacts")
        << u"arin_direct-level3-no-referral_4.2.2.1.txt"_s << QStringList{first}
        << QStringList{u"[ ] IPADDRESSING@LEVEL3.COM"_s, u"[ ] NOC.COREIP@LEVEL3.COM"_s, u"[ ] SECURITY@LEVEL3.COM"_s};
    QTest::newRow("the parent's handle is looked up")
        << u"arin_ipwhois-2015_74.125.225.229.txt"_s << QStringList{first, arin(u"NET-74-0-0-0-0"_s)}
        << QStringList{u"[ ] ARIN-CONTACT@GOOGLE.COM"_s};
    QTest::newRow("two nets, the parent's handle")
        << u"arin_two-nets-cox-2020_24.255.x.txt"_s << QStringList{first, arin(u"NET-24-0-0-0-0"_s)}
        << QStringList{u"[ ] MARK.GOODWIN@COX.COM"_s, u"[ ] ALVIN.ANDERSON@COX.COM"_s, u"[ ] CARI.MEROLA@COX.COM"_s,
                       u"[ ] ABUSE@COX.NET"_s,        u"[ ] SOPHEA.LONG@COX.COM"_s,    u"[ ] TORI.BERUBE@COX.COM"_s};
    QTest::newRow("old block list: the first block's handle")
        << u"arin_old-netblock-list-2006_72.5.124.55.txt"_s << QStringList{first, arin(u"NET-72-5-0-0-1"_s)}
        << QStringList();
    QTest::newRow("old format naming RIPE early: referral")
        << u"arin_old-format-2009-points-to-ripe_195.74.247.144.txt"_s << QStringList{first, u"RIPE "_s + Relay1}
        << QStringList();
    QTest::newRow("RIPE named past 319 characters: final")
        << u"arin_erx-transferred-to-ripe_130.66.76.222.txt"_s << QStringList{first} << QStringList();
    QTest::newRow("Latin-1 text, \"(c)\" too short for a handle")
        << u"nicbr_brisanet_177.37.164.71.txt"_s << QStringList{first}
        << QStringList{u"[ ] CERT@CERT.BR"_s, u"[ ] MAIL-ABUSE@CERT.BR"_s};
    QTest::newRow("a time zone in parentheses taken for a handle")
        << u"lacnic_netinc-2017_138.36.27.5.txt"_s << QStringList{first, arin(u"BRST -02:00"_s)}
        << QStringList{u"[ ] ANDRESACOSTA@CABLEMAX.COM.DO"_s};
}

// ARIN answers every query with the file; the other registries answer nothing.
void TestWhoisTrace::realAnswers()
{
    QFETCH(QString, file);
    QFETCH(QStringList, asked);
    QFETCH(QStringList, abuse);

    QFile data(QStringLiteral(ZELKOR_TEST_DATA_DIR "/whois/") + file);
    QVERIFY2(data.open(QIODevice::ReadOnly), qPrintable(data.fileName()));
    WhoisBench bench(Window);
    bench.server(Registry::ARIN).setDefaultReply(Reply{{data.readAll()}});
    QVERIFY(bench.runTrace(headerFor({Relay1})));
    QCOMPARE(bench.asked, asked);
    QCOMPARE(bench.abuseRows(), abuse);
}

QTEST_GUILESS_MAIN(TestWhoisTrace)
#include "tst_whoistrace.moc"
