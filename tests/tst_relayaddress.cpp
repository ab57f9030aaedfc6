// SPDX-License-Identifier: GPL-3.0-or-later
#include "header/RelayAddress.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestRelayAddress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void extractBracketedAddress_data();
    void extractBracketedAddress();
    void findDottedAddress_data();
    void findDottedAddress();
    void getDomainFromHost_data();
    void getDomainFromHost();
};

void TestRelayAddress::extractBracketedAddress_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("bracketed address") << u"from x ([192.0.2.7]) by mx"_s << u"192.0.2.7"_s;
    QTest::newRow("host name before the brackets") << u"from p.q.r ([192.0.2.7])"_s << u"192.0.2.7"_s;
    QTest::newRow("host inside the parenthesis") << u"from host (host [192.0.2.7])"_s << QString();
    QTest::newRow("]) before ([") << u"from ]) x ([192.0.2.7]) by mx"_s << QString();
    QTest::newRow("bracketed IPv6 literal") << u"from x ([IPv6:2001:db8::1]) by mx"_s << u"IPv6:2001:db8::1"_s;
    QTest::newRow("content not checked") << u"([not an address])"_s << u"not an address"_s;
    QTest::newRow("nothing between") << u"from x ([]) by mx"_s << QString();
    QTest::newRow("no closing ])") << u"from x ([192.0.2.7]:43173 by mx"_s << QString();
    QTest::newRow("no opening ([") << u"from x [192.0.2.7]) by mx"_s << QString();
    QTest::newRow("first pair wins") << u"([192.0.2.1]) ([192.0.2.2])"_s << u"192.0.2.1"_s;
    QTest::newRow("empty value") << QString() << QString();
}

void TestRelayAddress::extractBracketedAddress()
{
    QFETCH(QString, value);
    QFETCH(QString, expected);
    QCOMPARE(ExtractBracketedAddress(value), expected);
}

void TestRelayAddress::findDottedAddress_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("address after host in parenthesis") << u"from host (host [192.0.2.7])"_s << u"192.0.2.7"_s;
    QTest::newRow("value begins with an address") << u"192.0.2.7 by mx"_s << u"192.0.2.7"_s;
    QTest::newRow("value is 1.2.3.4") << u"1.2.3.4"_s << u"1.2.3.4"_s;
    QTest::newRow("first of two addresses") << u"by 10.0.0.1 for 10.0.0.2"_s << u"10.0.0.1"_s;
    QTest::newRow("empty inner group") << u"x 1..2.3 y"_s << u"1..2.3"_s;
    QTest::newRow("both inner groups empty") << u"1...2"_s << u"1...2"_s;
    QTest::newRow("no range check") << u"999.999.999.999"_s << u"999.999.999.999"_s;
    QTest::newRow("long first run cut to three digits") << u"1234.5.6.7"_s << u"234.5.6.7"_s;
    QTest::newRow("long last run cut to three digits") << u"1.2.3.4567"_s << u"1.2.3.456"_s;
    QTest::newRow("non-digit within reach of the last dot") << u"x1.2.3.4y5"_s << QString();
    QTest::newRow("inner run of four digits") << u"1.2345.6.7"_s << QString();
    QTest::newRow("no digit after the third dot") << u"1.2.3."_s << QString();
    QTest::newRow("fewer than three dots") << u"from mail.example.com by mx"_s << QString();
    QTest::newRow("host labels ending in digits passed over") << u"from a1.b2.c3.d4 [192.0.2.1]"_s << u"192.0.2.1"_s;
    QTest::newRow("dot in the first position") << u".1.2.3.4"_s << u"1.2.3.4"_s;
    QTest::newRow("address with port") << u"from x ([216.99.193.137]:43173"_s << u"216.99.193.137"_s;
    QTest::newRow("IPv6 only") << u"from x (2603:10b6:207:3d::31)"_s << QString();
    QTest::newRow("empty value") << QString() << QString();
}

void TestRelayAddress::findDottedAddress()
{
    QFETCH(QString, value);
    QFETCH(QString, expected);
    QCOMPARE(FindDottedAddress(value), expected);
}

void TestRelayAddress::getDomainFromHost_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one label") << u"localhost"_s << u"LOCALHOST"_s;
    QTest::newRow("two labels") << u"q.r"_s << u"Q.R"_s;
    QTest::newRow("three labels") << u"p.q.r"_s << u"Q.R"_s;
    QTest::newRow("four labels") << u"a.b.c.d"_s << u"C.D"_s;
    QTest::newRow("mixed case") << u"Mail.Example.Com"_s << u"EXAMPLE.COM"_s;
    QTest::newRow("trailing dot") << u"p.q.r."_s << u"R."_s;
    QTest::newRow("dot in the first position ignored") << u".q.r"_s << u".Q.R"_s;
    QTest::newRow("leading dot, one label") << u".r"_s << u".R"_s;
    QTest::newRow("empty host") << QString() << QString();
}

void TestRelayAddress::getDomainFromHost()
{
    QFETCH(QString, host);
    QFETCH(QString, expected);
    QCOMPARE(GetDomainFromHost(host), expected);
}

QTEST_GUILESS_MAIN(TestRelayAddress)
#include "tst_relayaddress.moc"
