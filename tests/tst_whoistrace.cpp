// SPDX-License-Identifier: GPL-3.0-or-later
// Whole whois traces: from the Start command through the lookups at test
// servers on loopback to the end of the trace.
#include "tests/support/TraceFixture.h"
#include "trust/RelayTrust.h"
#include "whois/WhoisLookup.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Reply = TestWhoisServer::Reply;

namespace {

// Short enough to keep the suite fast, long enough for loopback answers.
constexpr auto Window = 200ms;

const QString Relay1 = u"192.0.2.7"_s;
const QString Relay2 = u"198.51.100.9"_s;
// The fake resolver names this one mail.spam-host.example.
const QString Resolved = u"203.0.113.5"_s;
const QString Handle = u"NET-192-0-2-0-1"_s;
const QString Block = u"Internap Network Services PNAP-09-2004 (NET-192-0-2-0-1)\n"_s;
const QString FinalAnswer = u"OrgAbuseEmail:  ops@final.example\n"_s;
const QString FinalRow = u"[ ] OPS@FINAL.EXAMPLE"_s;
const QString SecondAnswer = u"OrgAbuseEmail:  two@second.example\n"_s;
const QString SecondRow = u"[ ] TWO@SECOND.EXAMPLE"_s;
const QString Done = u"Received answer"_s;

// Name as asked and referral marker, in id order.
const std::array<std::pair<QString, QString>, 7> Registries{
    {{u"ARIN"_s, {}},
     {u"RIPE"_s, u"    RIPE Network Coordination Centre"_s},
     {u"LACNIC"_s, u"    Latin American and Caribbean IP address Regional Registry"_s},
     {u"AUNIC"_s, u"    whois.ausregistry.net.au"_s},
     {u"APNIC"_s, u"    Asia Pacific Network Information Centre"_s},
     {u"KRNIC"_s, u"    Korea Network Information Center"_s},
     {u"NIC.BR"_s, u"    Comite Gestor da Internet no Brasil"_s}}};
const QString RipeMarker = Registries[1].second;
const QString ToRipe = u"OrgName:"_s + RipeMarker + u"\n"_s;

// One Received line for each relay address.
QString headerFor(const QStringList& relays)
{
    const QString received = u"Received: from relay ([%1]) by mx\r\n"_s;
    return received.arg(relays.join(u"]) by mx\r\nReceived: from relay (["_s)) + u"Subject: offer\r\n\r\n"_s;
}

/// One lookup the trace is expected to make, in order, and the server's reply:
/// `text`, or `reply` when it is set. A step without a query makes the
/// registry's server refuse connections.
struct Step
{
    RegistryId registry = 0;
    QString query = {};
    QString text = {};
    std::optional<Reply> reply = {};
};
using Script = QList<Step>;

/// Sets the replies of `script` and returns the lookups it expects.
QStringList play(TraceFixture& fixture, const Script& script)
{
    QStringList asked;
    for (const Step& step : script) {
        if (step.query.isNull()) {
            fixture.server(step.registry).refuseConnections();
        } else {
            fixture.server(step.registry).setReply(step.query, step.reply.value_or(Reply::text(step.text)));
            asked.append(Registries.at(step.registry - 1).first + u' ' + step.query);
        }
    }
    return asked;
}

// The statuses of one lookup that received an answer: the status line emptied
// by the query, the arrival, the end of the window.
QStringList lookup(const QString& registry)
{
    return {QString(), u"Receiving "_s + registry, Done};
}

void row(const QByteArray& name, const Script& script, const QStringList& abuse, const QStringList& statuses,
         const QString& tracking, const QStringList& relays = {Relay1})
{
    QTest::newRow(name.constData()) << relays << script << abuse << statuses << tracking;
}

} // namespace

Q_DECLARE_METATYPE(Script)

class TestWhoisTrace : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void trace_data();
    void trace();
    void receivingAnnouncesEachPiece();
    void lateDataIsAnnouncedAndDropped();
    void unsupportedRegistry();
    void floodedAnswerKeepsItsFirstMebibyte();
    void drippingServerIsCutAtTheWindow();
    void startAgainDuringTrace();
    void trustedRun_data();
    void trustedRun();
    void oneSecondPerLookup();
    void realAnswers_data();
    void realAnswers();
};

void TestWhoisTrace::trace_data()
{
    QTest::addColumn<QStringList>("relays");
    QTest::addColumn<Script>("script");
    QTest::addColumn<QStringList>("abuse");
    // Every status in order (see TraceFixture::statusSequence), and the tracking text at the end.
    QTest::addColumn<QStringList>("statuses");
    QTest::addColumn<QString>("tracking");

    using namespace Registry;
    const QString arin = u"ARIN"_s;
    const QString ripe = u"RIPE"_s;
    const QString block = u"Received Network Block answer"_s;
    const QString toRipe = u"Referred to "_s + RipeMarker;
    const QString direct =
        u"OrgAbuseEmail:  abuse@spam-host.example\nOrgNOCEmail:  noc@Spam-Host.example\nComment:  write "
        u"to noc@spam-host.example, security@spam-host.example or hostmaster@ripe.net; not Lacnic@x.org\n"_s;
    row("direct final answer: upper case, once, no registry or do-not-send address", {{ARIN, Resolved, direct}},
        {u"[ ] ABUSE@SPAM-HOST.EXAMPLE"_s, u"[ ] NOC@SPAM-HOST.EXAMPLE"_s}, lookup(arin), direct, {Resolved});
    row("network block of 9 characters, then the handle's final answer",
        {{ARIN, Relay1, u"NetName: (NET-12345)\n"_s}, {ARIN, u"NET-12345"_s, FinalAnswer}}, {FinalRow},
        lookup(arin) << block << lookup(arin), FinalAnswer);
    for (RegistryId id = RIPE; id <= NICBR; ++id) {
        const auto& [name, marker] = Registries.at(id - 1);
        row("referral to " + name.toLatin1(),
            {{ARIN, Relay1, u"OrgName:"_s + marker + u"\n"_s}, {id, Relay1, FinalAnswer}}, {FinalRow},
            lookup(arin) << (u"Referred to "_s + marker) << lookup(name), FinalAnswer);
    }
    row("marker starting at 319 refers", {{ARIN, Relay1, QString(318, u'-') + RipeMarker}, {RIPE, Relay1, FinalAnswer}},
        {FinalRow}, lookup(arin) << toRipe << lookup(ripe), FinalAnswer);
    const QString past319 = QString(319, u'-') + RipeMarker + u" (NET-1234) "_s + FinalAnswer;
    row("marker starting at 320 and 8 characters in parentheses: final", {{ARIN, Relay1, past319}}, {FinalRow},
        lookup(arin), past319);
    row("a handle from a referred registry goes to ARIN",
        {{ARIN, Relay1, ToRipe}, {RIPE, Relay1, Block}, {ARIN, Handle, FinalAnswer}}, {FinalRow},
        lookup(arin) << toRipe << lookup(ripe) << block << lookup(arin), FinalAnswer);
    row("\")\" before \"(\" names no handle",
        {{ARIN, Relay1, u"remarks: 1) see (NET-192-0-2-0-1)\n"_s + ToRipe}, {RIPE, Relay1, FinalAnswer}}, {FinalRow},
        lookup(arin) << toRipe << lookup(ripe), FinalAnswer);
    const QString ownMarker = u"org-name:"_s + RipeMarker + u" "_s + FinalAnswer;
    row("an answer referring to its own registry is final", {{ARIN, Relay1, ToRipe}, {RIPE, Relay1, ownMarker}},
        {FinalRow}, lookup(arin) << toRipe << lookup(ripe), ownMarker);
    const QString again = Block + u"Abuse:  "_s + FinalAnswer;
    row("a handle whose answer names it again is final, and asked again for the next relay address",
        {{ARIN, Relay1, Block}, {ARIN, Handle, again}, {ARIN, Relay2, Block}, {ARIN, Handle, again}}, {FinalRow},
        lookup(arin) << block << lookup(arin) << lookup(arin) << block << lookup(arin), again, {Relay1, Relay2});
    row("the next relay address equals the handle just asked: the trace ends",
        {{ARIN, Relay1, u"NetRange: (198.51.100.9)\n"_s}, {ARIN, Relay2, SecondAnswer}}, {SecondRow},
        lookup(arin) << block << lookup(arin), SecondAnswer, {Relay1, Relay2});
    const QString local(33000, u'a');
    const QString huge = u"remarks:  "_s + local + u"@huge.example\n"_s;
    row("a word longer than 32767 characters is harvested", {{ARIN, Relay1, huge}},
        {u"[ ] "_s + local.toUpper() + u"@HUGE.EXAMPLE"_s}, lookup(arin), huge);

    const QByteArrayList pieces{"OrgAbuseEmail:  one@", "first.example\ndescr: M\xc3", "\xbcller GmbH\n"};
    row("an answer in pieces, a UTF-8 character split across two", {{ARIN, Relay1, {}, Reply::split(pieces, 40ms)}},
        {u"[ ] ONE@FIRST.EXAMPLE"_s}, lookup(arin), u"OrgAbuseEmail:  one@first.example\ndescr: M\u00fcller GmbH\n"_s);
    // A trailing byte that could begin a UTF-8 sequence is held back until no more can follow.
    const QByteArray latin1End = "OrgAbuseEmail:  x@caf.example\nname: Caf\xe9";
    const QString latin1Text = u"OrgAbuseEmail:  x@caf.example\nname: Caf\u00e9"_s;
    row("a held-back last byte is flushed when the server closes", {{ARIN, Relay1, {}, Reply{{latin1End}}}},
        {u"[ ] X@CAF.EXAMPLE"_s}, lookup(arin), latin1Text);
    row("a held-back last byte is flushed when the window ends",
        {{ARIN, Relay1, {}, Reply{{latin1End}, {}, {}, Reply::End::KeepOpen}}}, {u"[ ] X@CAF.EXAMPLE"_s}, lookup(arin),
        latin1Text);
    row("an answer after the window is not waited for",
        {{ARIN, Relay1, {}, Reply::late(FinalAnswer, Window + 150ms)}, {ARIN, Relay2, SecondAnswer}}, {SecondRow},
        QStringList{QString(), Done} << lookup(arin), SecondAnswer, {Relay1, Relay2});
    const QString toNicbr = u"owner:"_s + Registries[6].second + u"\n"_s;
    row("a refused connection", {{ARIN, Relay1, toNicbr}, {NICBR}, {ARIN, Relay2, SecondAnswer}}, {SecondRow},
        lookup(arin) << (u"Referred to "_s + Registries[6].second)
                     << QStringList{QString(), u"NICBR Error Winsock Error number - 10061 - Connection refused"_s, Done}
                     << lookup(arin),
        SecondAnswer, {Relay1, Relay2});
    row("a blank query is not sent", {}, {}, {QString(), u" No domain name was entered."_s, Done}, QString(),
        {u"   "_s});

    // Hostile servers: the trace keeps what can be read and goes on.
    static constexpr char binary[] = "OrgAbuseEmail:  bin@nul.example\n\x00\xff\xfe\x01\x00 x\n";
    const QByteArray binaryAnswer(binary, sizeof binary - 1);
    row("binary bytes and NULs in an answer", {{ARIN, Relay1, {}, Reply{{binaryAnswer}}}}, {u"[ ] BIN@NUL.EXAMPLE"_s},
        lookup(arin), QString::fromLatin1(binaryAnswer));
    row("a reset in the middle of an answer",
        {{ARIN, Relay1, {}, Reply::resetAfter(FinalAnswer.toUtf8(), 50ms)}, {ARIN, Relay2, SecondAnswer}},
        {FinalRow, SecondRow}, lookup(arin) << lookup(arin), SecondAnswer, {Relay1, Relay2});
    // ARIN's server sends more on the first connection while the next lookup collects its answer.
    const auto trailing = [](const QString& first) {
        return Reply{
            {first.toUtf8(), "OrgAbuseEmail:  late@stale.example\n"}, 0ms, Window + 100ms, Reply::End::KeepOpen};
    };
    row("late data of ARIN's lookup is announced and dropped at RIPE",
        {{ARIN, Relay1, {}, trailing(ToRipe)}, {RIPE, Relay1, FinalAnswer}}, {FinalRow},
        lookup(arin) << toRipe << lookup(ripe).first(2) << u"Receiving ARIN"_s << Done, FinalAnswer);
    row("ARIN asked again: a fresh connection, an empty buffer",
        {{ARIN, Relay1, {}, trailing(Block)}, {ARIN, Handle, FinalAnswer}}, {FinalRow},
        lookup(arin) << block << lookup(arin), FinalAnswer);
}

void TestWhoisTrace::trace()
{
    QFETCH(QStringList, relays);
    QFETCH(Script, script);
    QFETCH(QStringList, abuse);
    QFETCH(QStringList, statuses);
    QFETCH(QString, tracking);

    TraceFixture fixture(Window);
    fixture.resolver.answers.insert(Resolved, {u"mail.spam-host.example"_s, 0});
    QVERIFY(fixture.writeDoNotSend("SECURITY@\r\n"));
    const QStringList asked = play(fixture, script);
    QVERIFY(fixture.runTrace(headerFor(relays)));
    QCOMPARE(fixture.asked, asked);
    QCOMPARE(fixture.abuseRows(), abuse);
    QCOMPARE(fixture.statusSequence(), statuses);
    QCOMPARE(fixture.state().txtWhoIsOut, tracking);
}

// The status line names the registry and the bytes of each piece; an answer
// sent in one piece after a pause arrives in one read.
void TestWhoisTrace::receivingAnnouncesEachPiece()
{
    using namespace Registry;
    TraceFixture fixture(Window);
    play(fixture, {{ARIN, Relay1, {}, Reply::late(u"owner:"_s + Registries[6].second + u"\n"_s, 50ms)},
                   {NICBR, Relay1, {}, Reply::late(FinalAnswer, 50ms)}});
    QVERIFY(fixture.runTrace(headerFor({Relay1})));
    QCOMPARE(fixture.statuses.filter(u"Receiving"_s),
             (QStringList{u"Receiving 46 bytes ARIN response"_s, u"Receiving 34 bytes NIC.BR response"_s}));
}

// Data that arrives on a socket whose lookup is over is announced, not kept.
void TestWhoisTrace::lateDataIsAnnouncedAndDropped()
{
    using namespace Registry;
    TraceFixture fixture(Window);
    // The late piece comes 40 ms into RIPE's window, RIPE's answer 150 ms into it.
    const Reply trailing{{ToRipe.toUtf8(), "late@stale.example\n"}, 0ms, Window + 40ms, Reply::End::KeepOpen};
    play(fixture, {{ARIN, Relay1, {}, trailing}, {RIPE, Relay1, {}, Reply::late(FinalAnswer, Window * 3 / 4)}});
    QVERIFY(fixture.runTrace(headerFor({Relay1})));
    const qsizetype referred = fixture.statuses.indexOf(u"Referred to "_s + RipeMarker);
    QCOMPARE(fixture.statuses.mid(referred + 1), (QStringList{QString(), u"Receiving 19 bytes ARIN response"_s,
                                                              u"Receiving 34 bytes RIPE response"_s, Done}));
    QCOMPARE(fixture.state().txtWhoIsOut, FinalAnswer);
}

void TestWhoisTrace::unsupportedRegistry()
{
    TraceFixture fixture(Window);
    WhoisLookup lookup({Window, fixture.serverMap()});
    QSignalSpy tracking(&lookup, &WhoisLookup::trackingChanged);
    QSignalSpy complete(&lookup, &WhoisLookup::answerComplete);

    QVERIFY(!lookup.QueryRegistry(8, Relay1));
    QCOMPARE(tracking.last().first().toString(), u"Lookup not supported - 8"_s);
    QVERIFY(complete.wait(2000));
    QCOMPARE(complete.first().first().toString(), QString());
    for (RegistryId registry = Registry::ARIN; registry <= Registry::NICBR; ++registry) {
        QCOMPARE(fixture.server(registry).connectionCount(), 0);
    }
}

// A server that sends 50 MB within the window: the answer keeps its first
// MiB, the rest is read and dropped, and the lookup ends on time.
void TestWhoisTrace::floodedAnswerKeepsItsFirstMebibyte()
{
    TestWhoisServer server;
    const QByteArray first = "abuse-mailbox: abuse@first.example\n";
    QByteArray flood = first + QByteArray(50 * 1024 * 1024, 'x');
    server.setReply(Relay1, Reply{{flood}});
    flood.clear();
    WhoisLookup lookup({1000ms, *WhoisServerMap::parse(server.mapEntry(u"WHOIS.ARIN.NET"_s))});
    QSignalSpy complete(&lookup, &WhoisLookup::answerComplete);
    QVERIFY(lookup.QueryRegistry(Registry::ARIN, Relay1));
    QVERIFY(complete.wait(5000));
    const QString answer = complete.first().first().toString();
    QCOMPARE(answer.size(), MaxAnswerBytes);
    QVERIFY(answer.startsWith(QString::fromLatin1(first)));
}

// One byte every 100 ms: the lookup keeps what came within its window and the
// trace goes on to the next relay address on time.
void TestWhoisTrace::drippingServerIsCutAtTheWindow()
{
    using namespace Registry;
    TraceFixture fixture(Window);
    QByteArrayList bytes;
    for (const char byte : FinalAnswer.toUtf8()) {
        bytes.append(QByteArray(1, byte));
    }
    play(fixture,
         {{RIPE, Relay1, {}, Reply::split(bytes, 100ms)}, {ARIN, Relay1, ToRipe}, {ARIN, Relay2, SecondAnswer}});
    QElapsedTimer clock;
    clock.start();
    QVERIFY(fixture.runTrace(headerFor({Relay1, Relay2})));
    QCOMPARE_LT(clock.elapsed(), 3 * Window.count() + 1000);
    QCOMPARE(fixture.abuseRows(), QStringList{SecondRow});
    const QString cut = fixture.answers.at(1);
    QVERIFY2(!cut.isEmpty() && cut.size() < 5 && FinalAnswer.startsWith(cut), qPrintable(cut));
}

void TestWhoisTrace::startAgainDuringTrace()
{
    TraceFixture fixture(Window);
    fixture.resolver.answers.insert(Relay1, {u"mail.spam-host.example"_s, 0});
    play(fixture, {{Registry::ARIN, Relay1, FinalAnswer}, {Registry::ARIN, Relay2, SecondAnswer}});
    QSignalSpy finished(&fixture.workbench(), &Workbench::traceFinished);
    fixture.workbench().setHeaderText(headerFor({Relay1, Relay2}));

    fixture.workbench().Start();
    QTRY_VERIFY(!fixture.statuses.filter(u"Receiving "_s).isEmpty());
    fixture.workbench().Start();
    QVERIFY(finished.wait(5000));
    QTest::qWait(2 * Window.count());
    QCOMPARE(finished.size(), 1);
    QCOMPARE(fixture.abuseRows(), (QStringList{u"[ ] ABUSE@SPAM-HOST.EXAMPLE"_s, FinalRow, SecondRow}));
    QCOMPARE(fixture.asked, (QStringList{u"ARIN "_s + Relay1, u"ARIN "_s + Relay1, u"ARIN "_s + Relay2}));

    // A run that ends before any lookup still empties the tracking text of the last one.
    QCOMPARE(fixture.state().txtWhoIsOut, SecondAnswer);
    fixture.workbench().setHeaderText(u"Received: by mx\r\n\r\n"_s);
    fixture.workbench().Start();
    QCOMPARE(fixture.state().txtWhoIsOut, QString());
    QCOMPARE(fixture.state().txtWhoStatus, u"No relay address found in the header"_s);
}

namespace {

// A provider's inbound relay, the host that handed it the spam, and an older
// hop that the spammer may have written.
const QString OwnRelay = u"81.2.69.10"_s;
const QString SourceRelay = u"89.160.20.112"_s;
const QString BeyondRelay = u"216.160.83.56"_s;
const QString ThreeHops = u"Received: from mx1.provider.example (mx1.provider.example [%1])\r\n"
                          u"\tby inbox.provider.example with LMTP; Mon, 7 Dec 2026 10:00:02 +0000\r\n"
                          u"Received: from friendly (mail.sender.example [%2]) by mx1.provider.example with ESMTP\r\n"
                          u"Received: from pc (unknown [%3]) by mail.sender.example\r\nSubject: offer\r\n\r\n"_s.arg(
                              OwnRelay, SourceRelay, BeyondRelay);

} // namespace

// With relay trust on, the reverse lookup, the proposal and the trace are about
// the source alone (and the hops beyond it when asked, their rows ticked); the
// relay list holds every hop. With trust off every relay is traced, as always.
void TestWhoisTrace::trustedRun_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("mailHosts");
    QTest::addColumn<bool>("traceBeyond");
    QTest::addColumn<QStringList>("relays");
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<QStringList>("resolved");
    QTest::addColumn<QStringList>("abuse");
    QTest::addColumn<QString>("source");

    const QString dnsRow = u"[ ] ABUSE@SENDER.EXAMPLE"_s;
    const QStringList all{OwnRelay, SourceRelay, BeyondRelay};
    const auto arin = [](const QStringList& queries) {
        QStringList asked;
        for (const QString& query : queries) {
            asked.append(u"ARIN "_s + query);
        }
        return asked;
    };
    QTest::newRow("off: every relay, the first one resolved")
        << ThreeHops << false << QString() << false << all << arin(all) << QStringList{OwnRelay}
        << QStringList{u"[ ] ABUSE@PROVIDER.EXAMPLE"_s, u"[ ] OWN@PROVIDER.EXAMPLE"_s, u"[ ] SRC@SENDER.EXAMPLE"_s,
                       u"[ ] FAR@BEYOND.EXAMPLE"_s}
        << QString();
    QTest::newRow("on, a mail host range: the source alone")
        << ThreeHops << true << u"81.2.69.0/24"_s << false << all << arin({SourceRelay}) << QStringList{SourceRelay}
        << QStringList{dnsRow, u"[ ] SRC@SENDER.EXAMPLE"_s} << SourceRelay;
    QTest::newRow("on, no mail hosts: the final server's domain")
        << ThreeHops << true << QString() << false << all << arin({SourceRelay}) << QStringList{SourceRelay}
        << QStringList{dnsRow, u"[ ] SRC@SENDER.EXAMPLE"_s} << SourceRelay;
    QTest::newRow("on, beyond traced: its rows ticked")
        << ThreeHops << true << u"mx1.provider.example"_s << true << all << arin({SourceRelay, BeyondRelay})
        << QStringList{SourceRelay} << QStringList{dnsRow, u"[ ] SRC@SENDER.EXAMPLE"_s, u"[x] FAR@BEYOND.EXAMPLE"_s}
        << SourceRelay;
    QTest::newRow("on, the sender is a mail host: nothing to report")
        << ThreeHops << true << u"81.2.69.0/24,mail.sender.example,216.160.83.56"_s << true << all << QStringList()
        << QStringList() << QStringList() << QString();
    const QString folded =
        u"Received: from relay\r\n\t([10.1.2.3]) by inbox.provider.example\r\n"
        u"Received: from friendly\r\n (mail.sender.example [%1])\r\n by relay\r\n\r\n"_s.arg(SourceRelay);
    const QString ipv6 = u"Received: from friendly (mail.sender.example [IPv6:2a00:1450:4864:20::432])\r\n"
                         u"\tby inbox.provider.example with ESMTPS\r\n\r\n"_s;
    QTest::newRow("on, an IPv6 source") << ipv6 << true << QString() << false
                                        << QStringList{u"2a00:1450:4864:20::432"_s}
                                        << arin({u"2a00:1450:4864:20::432"_s})
                                        << QStringList{u"2a00:1450:4864:20::432"_s}
                                        << QStringList{u"[ ] ABUSE@SENDER6.EXAMPLE"_s} << u"2a00:1450:4864:20::432"_s;
    QTest::newRow("on, folded lines behind a private hop")
        << folded << true << QString() << false << QStringList{u"10.1.2.3"_s, SourceRelay} << arin({SourceRelay})
        << QStringList{SourceRelay} << QStringList{dnsRow, u"[ ] SRC@SENDER.EXAMPLE"_s} << SourceRelay;
}

void TestWhoisTrace::trustedRun()
{
    QFETCH(QString, header);
    QFETCH(bool, enabled);
    QFETCH(QString, mailHosts);
    QFETCH(bool, traceBeyond);
    QFETCH(QStringList, relays);
    QFETCH(QStringList, asked);
    QFETCH(QStringList, resolved);
    QFETCH(QStringList, abuse);
    QFETCH(QString, source);

    TraceFixture fixture(Window);
    fixture.resolver.answers.insert(OwnRelay, {u"mx1.provider.example"_s, 0});
    fixture.resolver.answers.insert(SourceRelay, {u"mail.sender.example"_s, 0});
    fixture.resolver.answers.insert(u"2a00:1450:4864:20::432"_s, {u"mx.sender6.example"_s, 0});
    play(fixture, {{Registry::ARIN, OwnRelay, u"OrgAbuseEmail: own@provider.example\n"_s},
                   {Registry::ARIN, SourceRelay, u"OrgAbuseEmail: src@sender.example\n"_s},
                   {Registry::ARIN, BeyondRelay, u"OrgAbuseEmail: far@beyond.example\n"_s}});
    const std::optional<MailHosts> hosts = parseMailHosts(mailHosts);
    QVERIFY(hosts);
    fixture.workbench().setTrust({enabled, *hosts, traceBeyond});

    const bool traced = fixture.runTrace(header);
    QCOMPARE(traced, !asked.isEmpty());
    QCOMPARE(fixture.state().lstIPs, relays);
    QCOMPARE(fixture.asked, asked);
    QCOMPARE(fixture.resolver.lookedUp, resolved);
    QCOMPARE(fixture.abuseRows(), abuse);
    QCOMPARE(fixture.state().sourceAddress, source);
    QCOMPARE(fixture.state().ipTrust.size(), enabled ? relays.size() : 0);
    if (enabled && source.isEmpty()) {
        QCOMPARE(fixture.state().txtWhoStatus,
                 u"No relay to report: every relay in the header is your provider's or on a private network"_s);
    }
}

// With the real window each lookup takes one second, however fast the server.
void TestWhoisTrace::oneSecondPerLookup()
{
    using namespace Registry;
    TraceFixture fixture(WhoisLookup::Options{}.window);
    play(fixture, {{ARIN, Relay1, ToRipe}, {RIPE, Relay1, FinalAnswer}, {ARIN, Relay2, SecondAnswer}});
    QElapsedTimer clock;
    clock.start();
    QVERIFY(fixture.runTrace(headerFor({Relay1, Relay2}), 15s));
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(fixture.abuseRows(), (QStringList{FinalRow, SecondRow}));
    QVERIFY2(elapsed >= 3 * 995 && elapsed < 3 * 1000 + 2000, qPrintable(QString::number(elapsed)));
}

void TestWhoisTrace::realAnswers_data()
{
    QTest::addColumn<QString>("file");
    // The lookups after the first one, ARIN's for the relay address.
    QTest::addColumn<QStringList>("next");
    QTest::addColumn<QStringList>("abuse");

    QTest::newRow("final, three contacts")
        << u"arin_direct-level3-no-referral_4.2.2.1"_s << QStringList()
        << QStringList{u"[ ] IPADDRESSING@LEVEL3.COM"_s, u"[ ] NOC.COREIP@LEVEL3.COM"_s, u"[ ] SECURITY@LEVEL3.COM"_s};
    QTest::newRow("the parent's handle is looked up")
        << u"arin_ipwhois-2015_74.125.225.229"_s << QStringList{u"ARIN NET-74-0-0-0-0"_s}
        << QStringList{u"[ ] ARIN-CONTACT@GOOGLE.COM"_s};
    QTest::newRow("two nets, the parent's handle")
        << u"arin_two-nets-cox-2020_24.255.x"_s << QStringList{u"ARIN NET-24-0-0-0-0"_s}
        << QStringList{u"[ ] MARK.GOODWIN@COX.COM"_s, u"[ ] ALVIN.ANDERSON@COX.COM"_s, u"[ ] CARI.MEROLA@COX.COM"_s,
                       u"[ ] ABUSE@COX.NET"_s,        u"[ ] SOPHEA.LONG@COX.COM"_s,    u"[ ] TORI.BERUBE@COX.COM"_s};
    QTest::newRow("old block list: the first block's handle")
        << u"arin_old-netblock-list-2006_72.5.124.55"_s << QStringList{u"ARIN NET-72-5-0-0-1"_s} << QStringList();
    QTest::newRow("old format naming RIPE early: referral")
        << u"arin_old-format-2009-points-to-ripe_195.74.247.144"_s << QStringList{u"RIPE "_s + Relay1} << QStringList();
    QTest::newRow("RIPE named past 319 characters: final")
        << u"arin_erx-transferred-to-ripe_130.66.76.222"_s << QStringList() << QStringList();
    QTest::newRow("Latin-1 text, \"(c)\" too short for a handle")
        << u"nicbr_brisanet_177.37.164.71"_s << QStringList()
        << QStringList{u"[ ] CERT@CERT.BR"_s, u"[ ] MAIL-ABUSE@CERT.BR"_s};
    QTest::newRow("a time zone in parentheses taken for a handle")
        << u"lacnic_netinc-2017_138.36.27.5"_s << QStringList{u"ARIN BRST -02:00"_s}
        << QStringList{u"[ ] ANDRESACOSTA@CABLEMAX.COM.DO"_s};
}

// ARIN answers every query with the file; the other registries answer nothing.
void TestWhoisTrace::realAnswers()
{
    QFETCH(QString, file);
    QFETCH(QStringList, next);
    QFETCH(QStringList, abuse);

    QFile data(QStringLiteral(ZELKOR_TEST_DATA_DIR "/whois/") + file + u".txt"_s);
    QVERIFY2(data.open(QIODevice::ReadOnly), qPrintable(data.fileName()));
    TraceFixture fixture(Window);
    fixture.server(Registry::ARIN).setDefaultReply(Reply{{data.readAll()}});
    QVERIFY(fixture.runTrace(headerFor({Relay1})));
    QCOMPARE(fixture.asked, QStringList{u"ARIN "_s + Relay1} + next);
    QCOMPARE(fixture.abuseRows(), abuse);
}

QTEST_GUILESS_MAIN(TestWhoisTrace)
#include "tst_whoistrace.moc"
