// SPDX-License-Identifier: GPL-3.0-or-later
// The abuse harvest, the query-limit refusal and the whois server map. (Handles and referrals are
// tested through whole traces.)
#include "whois/AbuseHarvest.h"
#include "whois/AnswerEvaluation.h"
#include "whois/WhoisServerMap.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestWhoisRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void harvest_data();
    void harvest();
    void unendedLastLine_data();
    void unendedLastLine();
    void queryLimitRefusal_data();
    void queryLimitRefusal();
    void serverMap_data();
    void serverMap();
};

void TestWhoisRules::queryLimitRefusal_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("refusal");

    QTest::newRow("RIPE's refusal") << u"%ERROR:201: access denied for 192.0.2.9\n%\n% Sorry, access from your host "
                                       u"has been permanently\n% denied because of a repeated excessive querying.\n"_s
                                    << true;
    QTest::newRow("after a comment line") << u"% This is the APNIC Whois Database query service.\r\n"
                                             u"%ERROR:201: access denied\r\n"_s
                                          << true;
    QTest::newRow("another error") << u"%ERROR:101: no entries found\n"_s << false;
    QTest::newRow("quoted inside a line") << u"remarks: see %ERROR:201 in the FAQ\n"_s << false;
    QTest::newRow("an ordinary answer") << u"inetnum: 192.0.2.0 - 192.0.2.255\n"_s << false;
}

void TestWhoisRules::queryLimitRefusal()
{
    QFETCH(QString, answer);
    QFETCH(bool, refusal);
    QCOMPARE(IsQueryLimitRefusal(answer), refusal);
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
    QTest::newRow("accented letters stop the candidate") << u"jos\u00e9@b.com"_s << QStringList() << QStringList();
    QTest::newRow("a word longer than 32767 characters") << QString(40000, u'a') + u"@example.com"_s << QStringList()
                                                         << QStringList{QString(40000, u'A') + u"@EXAMPLE.COM"_s};
}

void TestWhoisRules::harvest()
{
    QFETCH(QString, answer);
    QFETCH(QStringList, listed);
    QFETCH(QStringList, found);
    QCOMPARE(HarvestAddresses(answer + u"\n"_s, listed, {}), found);
}

void TestWhoisRules::unendedLastLine_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("found");
    QTest::newRow("cut mid-address") << u"x abuse@net.example\r\nx abuse-x@fault-whois.ex"_s
                                     << QStringList{u"ABUSE@NET.EXAMPLE"_s};
    QTest::newRow("whole address on an unended line") << u"x a@b.com\nx c@d.com"_s << QStringList{u"A@B.COM"_s};
    QTest::newRow("one line without a break") << u"abuse: abuse@net.example"_s << QStringList();
    QTest::newRow("ended by CR alone") << u"x a@b.com\r"_s << QStringList{u"A@B.COM"_s};
    QTest::newRow("word across the last break") << u"x a@b.com\nc.d"_s << QStringList{u"A@B.COM"_s};
    QTest::newRow("empty") << QString() << QStringList();
}

// A whois server ends its lines; the last line of an answer it did not end
// was cut off, and its last word may be half an address.
void TestWhoisRules::unendedLastLine()
{
    QFETCH(QString, answer);
    QFETCH(QStringList, found);
    QCOMPARE(HarvestAddresses(answer, {}, {}), found);
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
    QTest::newRow("no host name") << u"=127.0.0.1:43"_s << false << QString() << QString() << 0;
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
