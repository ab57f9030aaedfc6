// SPDX-License-Identifier: GPL-3.0-or-later
#include "header/HeaderField.h"
#include "header/HeaderParser.h"
#include "header/RelayAddress.h"
#include "mailbox/MessageText.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

template <typename Function>
void compareText(Function function)
{
    QFETCH(QString, value);
    QFETCH(QString, expected);
    QCOMPARE(function(value), expected);
}

QStringList addressesOfMail(const QString& file)
{
    QFile mail(QStringLiteral(ZELKOR_TEST_DATA_DIR "/mail/") + file);
    bool marked = false;
    return mail.open(QIODevice::ReadOnly) ? ParseHeader(SplitMessage(mail.readAll()).header, marked).addresses
                                          : QStringList{u"cannot read "_s + file};
}

} // namespace

class TestHeaderAnalysis : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void extractBracketedAddress_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bracketed address") << u"from p.q.r ([192.0.2.7]) by mx"_s << u"192.0.2.7"_s;
        QTest::newRow("host inside the parenthesis") << u"from host (host [192.0.2.7])"_s << QString();
        QTest::newRow("]) before ([") << u"from ]) x ([192.0.2.7]) by mx"_s << QString();
        QTest::newRow("IPv6 literal, content not checked") << u"x ([IPv6:2001:db8::1])"_s << u"IPv6:2001:db8::1"_s;
        QTest::newRow("no closing ]), port follows") << u"from x ([192.0.2.7]:43173 by mx"_s << QString();
    }
    void extractBracketedAddress() { compareText(ExtractBracketedAddress); }

    void findDottedAddress_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty inner group") << u"x 1..2.3 y"_s << u"1..2.3"_s;
        QTest::newRow("no range check, whole value") << u"999.999.999.999"_s << u"999.999.999.999"_s;
        QTest::newRow("long first run cut to three digits") << u"1234.5.6.7"_s << u"234.5.6.7"_s;
        QTest::newRow("long last run cut to three digits") << u"1.2.3.4567"_s << u"1.2.3.456"_s;
        QTest::newRow("non-digit within reach of the last dot") << u"x1.2.3.4y5"_s << QString();
        QTest::newRow("inner run of four digits") << u"1.2345.6.7"_s << QString();
        QTest::newRow("address with port") << u"from x ([216.99.193.137]:43173"_s << u"216.99.193.137"_s;
        QTest::newRow("IPv6 only") << u"from x (2603:10b6:207:3d::31)"_s << QString();
    }
    void findDottedAddress() { compareText(FindDottedAddress); }

    void getDomainFromHost_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one label") << u"localhost"_s << u"LOCALHOST"_s;
        QTest::newRow("four labels, mixed case") << u"Mail.Example.Co.Uk"_s << u"CO.UK"_s;
        QTest::newRow("trailing dot") << u"p.q.r."_s << u"R."_s;
        QTest::newRow("dot in the first position ignored") << u".q.r"_s << u".Q.R"_s;
        QTest::newRow("one character in, one out") << u"mail.stra\u00dfe.de"_s << u"STRA\u00dfE.DE"_s;
    }
    void getDomainFromHost() { compareText(GetDomainFromHost); }

    void unfoldedFieldValue_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("folded with a blank and a tab, any letter case")
            << u"To: a\r\nsubject:  Buy\r\n now\r\n\tcheap \r\nFrom: b\r\n\r\n"_s << u"Buy now\tcheap"_s;
        QTest::newRow("encoded words stay as they are")
            << u"Subject: =?UTF-8?B?w6k=?=\r\n\r\n"_s << u"=?UTF-8?B?w6k=?="_s;
        QTest::newRow("the first of two") << u"Subject: one\r\nSubject: two\r\n\r\n"_s << u"one"_s;
        QTest::newRow("missing; a Subject after the empty line is body")
            << u"To: a\r\n\r\nSubject: body\r\n"_s << QString();
        QTest::newRow("X-Subject is another field") << u"X-Subject: x\r\n\r\n"_s << QString();
    }
    void unfoldedFieldValue()
    {
        compareText([](const QString& header) { return UnfoldedFieldValue(header, u"Subject"); });
    }

    void parseHeader_data();
    void parseHeader();

    void realMail()
    {
        // Only the first line of a folded field is read: the dial-up relay on a
        // continuation line of the last Received field is not found.
        QCOMPARE(addressesOfMail(u"sa-spam-003_dialup-envelope-from-fold.eml"_s),
                 (QStringList{u"127.0.0.1"_s, u"212.17.35.15"_s, u"193.120.149.226"_s, u"211.100.6.104"_s}));
        // Host names such as e06smtp10.uk.ibm.com are passed over; 127.0.0.1 is listed once.
        QCOMPARE(
            addressesOfMail(u"mp-10_ibm-gateways-15hops.eml"_s),
            (QStringList{u"148.163.158.5"_s, u"127.0.0.1"_s, u"195.75.94.106"_s, u"9.149.109.198"_s, u"9.149.105.61"_s,
                         u"146.89.104.211"_s, u"192.155.248.67"_s, u"10.106.154.159"_s, u"10.146.45.236"_s}));
    }
};

void TestHeaderAnalysis::parseHeader_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("addresses");

    const QStringList none;
    const auto ofLength = [](qsizetype length) -> QString {
        return u"Received: from a ([192.0.2.1])\r\nX-Padding: "_s.leftJustified(length - 2, u'p') + u"\r\n"_s;
    };

    QTest::newRow("every known field in order, unknown ones left out")
        << u"Return-Path: <a@b>\r\nReceived: r\r\nFrom: f\r\nSender: s\r\nReply-To: rt\r\nTo: t\r\nCc: c\r\n"
           u"Bcc: b\r\nContent-Type: x\r\nMessage-ID: m\r\nIn-Reply-To: i\r\nReferences: rf\r\nKeywords: k\r\n"
           u"Subject: su\r\nX-Mailer: x\r\nComments: co\r\nEncrypted: e\r\nDate: d\r\n\r\n"_s

        << QStringList{u"return-path: \t<a@b>"_s, u"X  received: \tr"_s,  u"       from: \tf"_s,  u"     sender: \ts"_s,
                       u"   reply-to: \trt"_s,    u"         to: \tt"_s,  u"         cc: \tc"_s,  u"        bcc: \tb"_s,
                       u" message-id: \tm"_s,     u"in-reply-to: \ti"_s,  u" references: \trf"_s, u"   keywords: \tk"_s,
                       u"    subject: \tsu"_s,    u"   comments: \tco"_s, u"  encrypted: \te"_s,  u"       date: \td"_s}
        << none;
    QTest::newRow("last character dropped")
        << u"Date: Mon, 1 Jan 2001 +0000"_s << QStringList{u"       date: \tMon, 1 Jan 2001 +000"_s} << none;
    QTest::newRow("blank before the colon, X-Received, colon first")
        << u"Received : from a ([192.0.2.1])\r\nX-Received: from b ([192.0.2.2])\r\n: c\r\n\r\n"_s << none << none;
    QTest::newRow("only blanks trimmed, TAB kept, CR kept at the end")
        << u"Subject:\thello  \r\nTo:   t@example.com\r\n"_s
        << QStringList{u"    subject: \t\thello"_s, u"         to: \tt@example.com\r"_s} << none;
    QTest::newRow("LF-only text is one line")
        << u"Subject: a\nReceived: from c ([192.0.2.1])\n\n"_s
        << QStringList{u"    subject: \ta\nReceived: from c ([192.0.2.1])\n"_s} << none;
    QTest::newRow("capitals, X only on the first Received, same address once")
        << u"RECEIVED: from a ([192.0.2.1])\r\nreceived: from b ([192.0.2.1])\r\nSuBjEcT: s\r\n\r\n"_s
        << QStringList{u"X  received: \tfrom a ([192.0.2.1])"_s, u"   received: \tfrom b ([192.0.2.1])"_s,
                       u"    subject: \ts"_s}
        << QStringList{u"192.0.2.1"_s};
    QTest::newRow("field name lowered one character for one")
        << u"\u0130n-Reply-To: i\r\nStra\u00dfe: x\r\n\r\n"_s << QStringList{u"in-reply-to: \ti"_s} << none;
    QTest::newRow("empty text") << QString() << none << none;
    QTest::newRow("32,767 characters") << ofLength(32767) << QStringList{u"X  received: \tfrom a ([192.0.2.1])"_s}
                                       << QStringList{u"192.0.2.1"_s};
    QTest::newRow("32,768 characters") << ofLength(32768) << none << none;
}

void TestHeaderAnalysis::parseHeader()
{
    QFETCH(QString, text);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, addresses);

    const auto outcome = text.isEmpty()        ? ParsedHeader::Outcome::EmptyText
                         : text.size() > 32767 ? ParsedHeader::Outcome::TooLong
                                               : ParsedHeader::Outcome::Parsed;
    bool marked = false;
    const ParsedHeader parsed = ParseHeader(text, marked);
    QCOMPARE(parsed.outcome, outcome);
    QCOMPARE(parsed.failure.isEmpty(), outcome != ParsedHeader::Outcome::TooLong);
    QCOMPARE(parsed.rows, rows);
    QCOMPARE(parsed.addresses, addresses);
    QCOMPARE(marked, rows.join(QString()).contains(u"X  received"_s));

    // Once marked, no Received row gets the X.
    QCOMPARE(ParseHeader(text, marked = true).rows, rows.replaceInStrings(u"X  received"_s, u"   received"_s));
}

QTEST_GUILESS_MAIN(TestHeaderAnalysis)
#include "tst_headeranalysis.moc"
