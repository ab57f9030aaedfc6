// SPDX-License-Identifier: GPL-3.0-or-later
// The text rules of the whois trace: network handles, referrals, the harvest,
// the registry host names and the server map.
#include "whois/AbuseHarvest.h"
#include "whois/AnswerEvaluation.h"
#include "whois/WhoisServerMap.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Pads an answer so that `text` starts at the given 1-based position.
QString at(qsizetype position, const QString& text)
{
    return QString(position - 1, u'x') + text;
}

} // namespace

class TestWhoisRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findNetworkBlock_data();
    void findNetworkBlock();
    void classifyAnswer_data();
    void classifyAnswer();
    void harvest_data();
    void harvest();
    void harvestAsksTheFilterOnlyAboutCandidates();
    void registryHostNames();
    void serverMap_data();
    void serverMap();
};

void TestWhoisRules::findNetworkBlock_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("handle");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("nine characters") << u"Org (NET-1-2-3) x"_s << u"NET-1-2-3"_s;
    QTest::newRow("eight characters") << u"Org (NET-1-23) x"_s << QString();
    QTest::newRow("kept as found, blanks included") << u"a ( net 1 2 3 ) b"_s << u" net 1 2 3 "_s;
    QTest::newRow("first ( and first ) of different pairs") << u"a (b) (NET-12345678)"_s << QString();
    QTest::newRow("pairs spanning") << u"a (NET-1234 (x) y)"_s << u"NET-1234 (x"_s;
    QTest::newRow("no closing parenthesis") << u"a (NET-123456789"_s << QString();
    QTest::newRow(") before ( names nothing") << u"1) item (NET-123456789)"_s << QString();
}

void TestWhoisRules::findNetworkBlock()
{
    QFETCH(QString, answer);
    QFETCH(QString, handle);
    QCOMPARE(FindNetworkBlock(answer), handle);
}

void TestWhoisRules::classifyAnswer_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("handle");
    QTest::addColumn<int>("registry");

    const int block = int(AnswerVerdict::Kind::NetworkBlock);
    const int referral = int(AnswerVerdict::Kind::Referral);
    const int final = int(AnswerVerdict::Kind::Final);
    const QString ripe = u"    RIPE Network Coordination Centre"_s;
    const QString apnic = u"    Asia Pacific Network Information Centre"_s;

    QTest::newRow("empty answer is final") << QString() << final << QString() << 0;
    QTest::newRow("handle wins over a marker") << ripe + u" (NET-123456789)"_s << block << u"NET-123456789"_s << 0;
    QTest::newRow("marker at 1") << ripe << referral << QString() << int(Registry::RIPE);
    QTest::newRow("marker at 319") << at(319, ripe) << referral << QString() << int(Registry::RIPE);
    QTest::newRow("marker at 320 is final") << at(320, ripe) << final << QString() << 0;
    QTest::newRow("lower-case marker") << ripe.toLower() << referral << QString() << int(Registry::RIPE);
    QTest::newRow("marker without its four blanks") << u"RIPE Network Coordination Centre"_s << final << QString() << 0;
    QTest::newRow("late RIPE, early APNIC")
        << at(100, apnic) + at(400, ripe) << referral << QString() << int(Registry::APNIC);
    QTest::newRow("both early: lower id wins") << apnic + u" "_s + ripe << referral << QString() << int(Registry::RIPE);
    QTest::newRow("LACNIC") << u"    Latin American and Caribbean IP address Regional Registry"_s << referral
                            << QString() << int(Registry::LACNIC);
    QTest::newRow("AUNIC") << u"    whois.ausregistry.net.au"_s << referral << QString() << int(Registry::AUNIC);
    QTest::newRow("KRNIC") << u"    Korea Network Information Center"_s << referral << QString()
                           << int(Registry::KRNIC);
    QTest::newRow("NIC.BR") << u"    Comite Gestor da Internet no Brasil"_s << referral << QString()
                            << int(Registry::NICBR);
    QTest::newRow("ARIN placeholder never refers") << u"ARIN DOES NOT HAVE ONE"_s << final << QString() << 0;
    QTest::newRow(") before ( falls through to the referral")
        << u"1) "_s + ripe + u" (NET-123456789)"_s << referral << QString() << int(Registry::RIPE);
}

void TestWhoisRules::classifyAnswer()
{
    QFETCH(QString, answer);
    QFETCH(int, kind);
    QFETCH(QString, handle);
    QFETCH(int, registry);

    const AnswerVerdict verdict = ClassifyAnswer(answer);
    QCOMPARE(int(verdict.kind), kind);
    QCOMPARE(verdict.handle, handle);
    QCOMPARE(verdict.registry == nullptr ? 0 : int(verdict.registry->id), registry);
}

void TestWhoisRules::harvest_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QStringList>("found");

    QTest::newRow("plain address, upper-cased")
        << u"abuse: abuse@example.net here"_s << QStringList() << QStringList{u"ABUSE@EXAMPLE.NET"_s};
    QTest::newRow("comma, semicolon and bracket cut off")
        << u"a@b.com, c@d.org; e@f.net)"_s << QStringList() << QStringList{u"A@B.COM"_s, u"C@D.ORG"_s, u"E@F.NET"_s};
    QTest::newRow("trailing full stop kept") << u"write to a@b.com."_s << QStringList() << QStringList{u"A@B.COM."_s};
    QTest::newRow("leading < ( quote or scheme yields nothing")
        << u"<a@b.com> (c@d.com) \"e@f.com\" mailto:g@h.com"_s << QStringList() << QStringList();
    QTest::newRow("start of a later line is not found")
        << u"first\nabuse@example.net"_s << QStringList() << QStringList();
    QTest::newRow("line break stops the candidate")
        << u"x a@b.com\nnext"_s << QStringList() << QStringList{u"A@B.COM"_s};
    QTest::newRow("plus cuts the local part") << u"a+tag@b.com"_s << QStringList() << QStringList();
    QTest::newRow("registry names in any case")
        << u"abuse@ripe.net x@lacnic.net y@apnic.net z@aunic.net w@KrNiC.net stripe@shop.com"_s << QStringList()
        << QStringList();
    QTest::newRow("ARIN and NIC.BR are not excluded") << u"hostmaster@arin.net cert@nic.br"_s << QStringList()
                                                      << QStringList{u"HOSTMASTER@ARIN.NET"_s, u"CERT@NIC.BR"_s};
    QTest::newRow("duplicates once, listed ones skipped")
        << u"a@b.com A@B.COM c@d.com"_s << QStringList{u"C@D.COM"_s} << QStringList{u"A@B.COM"_s};
    QTest::newRow("dot only after the cut") << u"a@b,c.d"_s << QStringList() << QStringList();
    QTest::newRow("tabs do not split words") << u"x\ta@b.com"_s << QStringList() << QStringList();
    QTest::newRow("runs of blanks") << u"   a@b.com    c@d.com   "_s << QStringList()
                                    << QStringList{u"A@B.COM"_s, u"C@D.COM"_s};
    QTest::newRow("accented letters stop the candidate") << u"jos\u00e9@b.com"_s << QStringList() << QStringList();
    QTest::newRow("no @ at all") << u"nothing to see. here"_s << QStringList() << QStringList();
    QTest::newRow("a word longer than 32767 characters") << QString(40000, u'a') + u"@example.com"_s << QStringList()
                                                         << QStringList{QString(40000, u'A') + u"@EXAMPLE.COM"_s};
}

void TestWhoisRules::harvest()
{
    QFETCH(QString, answer);
    QFETCH(QStringList, listed);
    QFETCH(QStringList, found);
    QCOMPARE(HarvestAddresses(answer, listed, {}), found);
}

void TestWhoisRules::harvestAsksTheFilterOnlyAboutCandidates()
{
    QStringList asked;
    const AddressFilter refuseExample = [&asked](const QString& address) {
        asked.append(address);
        return address.contains(u"EXAMPLE"_s);
    };
    const QStringList found =
        HarvestAddresses(u"a@example.com b@other.org abuse@ripe.net c@other.org."_s, {u"B@OTHER.ORG"_s}, refuseExample);
    QCOMPARE(found, QStringList{u"C@OTHER.ORG."_s});
    QCOMPARE(asked, (QStringList{u"A@EXAMPLE.COM"_s, u"C@OTHER.ORG."_s}));
}

void TestWhoisRules::registryHostNames()
{
    QCOMPARE(WhoisServerHost(*FindRegistry(Registry::ARIN)), u"WHOIS.ARIN.NET"_s);
    QCOMPARE(WhoisServerHost(*FindRegistry(Registry::NICBR)), u"WHOIS.NIC.BR.NET"_s);
    QCOMPARE(FindRegistry(Registry::AUNIC)->RegistryName, u"AUNIC");
    QCOMPARE(FindRegistry(Registry::AUNIC)->ReferralMarker.size(), 28);
    QCOMPARE(FindRegistry(0), nullptr);
    QCOMPARE(FindRegistry(8), nullptr);
}

void TestWhoisRules::serverMap_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");

    QTest::newRow("unset") << QString() << true << u"WHOIS.ARIN.NET"_s << u"WHOIS.ARIN.NET"_s << 43;
    QTest::newRow("mapped, any case") << u"whois.arin.net=127.0.0.1:4301"_s << true << u"WHOIS.ARIN.NET"_s
                                      << u"127.0.0.1"_s << 4301;
    QTest::newRow("other host untouched")
        << u"WHOIS.ARIN.NET=127.0.0.1:4301"_s << true << u"WHOIS.RIPE.NET"_s << u"WHOIS.RIPE.NET"_s << 43;
    QTest::newRow("several, with blanks") << u"WHOIS.ARIN.NET=127.0.0.1:1, WHOIS.NIC.BR.NET=127.0.0.1:2"_s << true
                                          << u"WHOIS.NIC.BR.NET"_s << u"127.0.0.1"_s << 2;
    QTest::newRow("bracketed IPv6") << u"WHOIS.ARIN.NET=[::1]:4301"_s << true << u"WHOIS.ARIN.NET"_s << u"::1"_s
                                    << 4301;
    QTest::newRow("no port") << u"WHOIS.ARIN.NET=127.0.0.1"_s << false << QString() << QString() << 0;
    QTest::newRow("port out of range") << u"WHOIS.ARIN.NET=127.0.0.1:70000"_s << false << QString() << QString() << 0;
    QTest::newRow("no host name") << u"=127.0.0.1:43"_s << false << QString() << QString() << 0;
    QTest::newRow("unbracketed IPv6") << u"WHOIS.ARIN.NET=::1:43"_s << true << u"WHOIS.ARIN.NET"_s << u"::1"_s << 43;
}

void TestWhoisRules::serverMap()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, host);
    QFETCH(QString, address);
    QFETCH(int, port);

    QString error;
    const std::optional<WhoisServerMap> map = WhoisServerMap::parse(text, &error);
    QCOMPARE(map.has_value(), valid);
    if (!valid) {
        QVERIFY(!error.isEmpty());
        return;
    }
    QCOMPARE(map->endpointFor(host, 43), (WhoisEndpoint{address, quint16(port)}));
}

QTEST_GUILESS_MAIN(TestWhoisRules)
#include "tst_whoisrules.moc"
