// SPDX-License-Identifier: GPL-3.0-or-later
#include "header/HeaderParser.h"
#include "mailbox/MessageText.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

class TestHeaderParser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rows_data();
    void rows();
    void emptyText();
    void lengthLimit_data();
    void lengthLimit();
    void realHeaders_data();
    void realHeaders();
};

void TestHeaderParser::rows_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("markedBefore");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<bool>("markedAfter");

    const QString twoReceived = u"Received: from a ([192.0.2.1]) by b\r\nReceived: from c ([192.0.2.2])\r\n\r\n"_s;

    QTest::newRow("every known field, with its label")
        << u"Return-Path: <a@b>\r\nReceived: r\r\nFrom: f\r\nSender: s\r\nReply-To: rt\r\nTo: t\r\nCc: c\r\n"
           u"Bcc: b\r\nMessage-ID: m\r\nIn-Reply-To: i\r\nReferences: rf\r\nKeywords: k\r\nSubject: su\r\n"
           u"Comments: co\r\nEncrypted: e\r\nDate: d\r\n\r\n"_s
        << false
        << QStringList{u"return-path: \t<a@b>"_s, u"X  received: \tr"_s,  u"       from: \tf"_s,  u"     sender: \ts"_s,
                       u"   reply-to: \trt"_s,    u"         to: \tt"_s,  u"         cc: \tc"_s,  u"        bcc: \tb"_s,
                       u" message-id: \tm"_s,     u"in-reply-to: \ti"_s,  u" references: \trf"_s, u"   keywords: \tk"_s,
                       u"    subject: \tsu"_s,    u"   comments: \tco"_s, u"  encrypted: \te"_s,  u"       date: \td"_s}
        << QStringList() << true;
    QTest::newRow("one character") << u"X"_s << false << QStringList() << QStringList() << false;
    QTest::newRow("last character dropped")
        << u"Date: Mon, 1 Jan 2001 00:00:00 +0000"_s << false
        << QStringList{u"       date: \tMon, 1 Jan 2001 00:00:00 +000"_s} << QStringList() << false;
    QTest::newRow("CR kept when text ends with CR LF")
        << u"Subject: hi\r\n"_s << false << QStringList{u"    subject: \thi\r"_s} << QStringList() << false;
    QTest::newRow("first Received marked")
        << twoReceived << false
        << QStringList{u"X  received: \tfrom a ([192.0.2.1]) by b"_s, u"   received: \tfrom c ([192.0.2.2])"_s}
        << QStringList{u"192.0.2.1"_s, u"192.0.2.2"_s} << true;
    QTest::newRow("already marked: no X")
        << twoReceived << true
        << QStringList{u"   received: \tfrom a ([192.0.2.1]) by b"_s, u"   received: \tfrom c ([192.0.2.2])"_s}
        << QStringList{u"192.0.2.1"_s, u"192.0.2.2"_s} << true;
    QTest::newRow("capitals and mixed case")
        << u"RECEIVED: from a ([192.0.2.1])\r\nSuBjEcT: s\r\n\r\n"_s << false
        << QStringList{u"X  received: \tfrom a ([192.0.2.1])"_s, u"    subject: \ts"_s} << QStringList{u"192.0.2.1"_s}
        << true;
    QTest::newRow("blank before the colon")
        << u"Received : from a ([192.0.2.1])\r\n\r\n"_s << false << QStringList() << QStringList() << false;
    QTest::newRow("X-Received") << u"X-Received: from b ([192.0.2.2])\r\n\r\n"_s << false << QStringList()
                                << QStringList() << false;
    QTest::newRow("colon in the first position")
        << u": from c ([192.0.2.3])\r\n\r\n"_s << false << QStringList() << QStringList() << false;
    QTest::newRow("only blanks trimmed, TAB kept")
        << u"Subject:\thello  \r\nTo:   t@example.com  \r\n\r\n"_s << false
        << QStringList{u"    subject: \t\thello"_s, u"         to: \tt@example.com"_s} << QStringList() << false;
    QTest::newRow("LF alone is no line break")
        << u"Subject: a\nDate: b\nReceived: from c ([192.0.2.1])\n\n"_s << false
        << QStringList{u"    subject: \ta\nDate: b\nReceived: from c ([192.0.2.1])\n"_s} << QStringList() << false;
    QTest::newRow("same address three times")
        << u"Received: from a ([192.0.2.1])\r\nReceived: from b ([192.0.2.1])\r\n"
           u"Received: from c ([192.0.2.1])\r\n\r\n"_s
        << false
        << QStringList{u"X  received: \tfrom a ([192.0.2.1])"_s, u"   received: \tfrom b ([192.0.2.1])"_s,
                       u"   received: \tfrom c ([192.0.2.1])"_s}
        << QStringList{u"192.0.2.1"_s} << true;
    QTest::newRow("header order, unknown fields left out")
        << u"Subject: s\r\nContent-Type: text/plain\r\nFrom: f\r\nX-Mailer: m\r\nReturn-Path: r\r\n\r\n"_s << false
        << QStringList{u"    subject: \ts"_s, u"       from: \tf"_s, u"return-path: \tr"_s} << QStringList() << false;
    QTest::newRow("folded continuation ignored")
        << u"Received: from a\r\n\tby b ([192.0.2.9]); Mon, 1 Jan 2001 00:00:00\r\n\r\n"_s << false
        << QStringList{u"X  received: \tfrom a"_s} << QStringList() << true;
    QTest::newRow("dotted address when nothing is bracketed")
        << u"Received: from h (h [192.0.2.7]) by mx.example.com\r\nReceived: by mx.example.com\r\n\r\n"_s << false
        << QStringList{u"X  received: \tfrom h (h [192.0.2.7]) by mx.example.com"_s,
                       u"   received: \tby mx.example.com"_s}
        << QStringList{u"192.0.2.7"_s} << true;
}

void TestHeaderParser::rows()
{
    QFETCH(QString, text);
    QFETCH(bool, markedBefore);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, addresses);
    QFETCH(bool, markedAfter);

    bool marked = markedBefore;
    const ParsedHeader parsed = ParseHeader(text, marked);
    QCOMPARE(parsed.outcome, ParsedHeader::Outcome::Parsed);
    QCOMPARE(parsed.rows, rows);
    QCOMPARE(parsed.addresses, addresses);
    QCOMPARE(marked, markedAfter);
}

void TestHeaderParser::emptyText()
{
    bool marked = false;
    const ParsedHeader parsed = ParseHeader(QString(), marked);
    QCOMPARE(parsed.outcome, ParsedHeader::Outcome::EmptyText);
    QCOMPARE(parsed.rows, QStringList());
    QCOMPARE(parsed.addresses, QStringList());
    QCOMPARE(marked, false);
}

void TestHeaderParser::lengthLimit_data()
{
    QTest::addColumn<qsizetype>("length");
    QTest::addColumn<bool>("tooLong");

    QTest::newRow("32,767 characters") << qsizetype(32767) << false;
    QTest::newRow("32,768 characters") << qsizetype(32768) << true;
}

void TestHeaderParser::lengthLimit()
{
    QFETCH(qsizetype, length);
    QFETCH(bool, tooLong);

    QString text = u"Received: from a ([192.0.2.1])\r\nX-Padding: "_s;
    text += QString(length - text.size() - 2, u'p') + u"\r\n"_s;
    QCOMPARE(text.size(), length);

    bool marked = false;
    const ParsedHeader parsed = ParseHeader(text, marked);
    if (tooLong) {
        QCOMPARE(parsed.outcome, ParsedHeader::Outcome::TooLong);
        QVERIFY(!parsed.failure.isEmpty());
        QCOMPARE(parsed.rows, QStringList());
        QCOMPARE(parsed.addresses, QStringList());
        QCOMPARE(marked, false);
    } else {
        QCOMPARE(parsed.outcome, ParsedHeader::Outcome::Parsed);
        QCOMPARE(parsed.rows, QStringList{u"X  received: \tfrom a ([192.0.2.1])"_s});
        QCOMPARE(parsed.addresses, QStringList{u"192.0.2.1"_s});
    }
}

void TestHeaderParser::realHeaders_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("receivedRows");
    QTest::addColumn<QStringList>("addresses");

    // Folded Received fields: only their first line is read, so the dial-up
    // relay on a continuation line of the last one is not found.
    QTest::newRow("sa-spam-003, mbox line and folded fields")
        << u"sa-spam-003_dialup-envelope-from-fold.eml"_s << 6
        << QStringList{u"127.0.0.1"_s, u"212.17.35.15"_s, u"193.120.149.226"_s, u"211.100.6.104"_s};
    // "([" without "])": the dotted scan finds the address in front of the port.
    QTest::newRow("lkml, address with port")
        << u"lkml-2003_vger-zmailer-ip-port-ehlo.eml"_s << 3 << QStringList{u"216.99.193.137"_s};
    // Host names such as e06smtp10.uk.ibm.com have digits next to their first dot
    // but letters after the third; repeated 127.0.0.1 is listed once.
    QTest::newRow("mp-10, fifteen hops") << u"mp-10_ibm-gateways-15hops.eml"_s << 15
                                         << QStringList{u"148.163.158.5"_s,  u"127.0.0.1"_s,      u"195.75.94.106"_s,
                                                        u"9.149.109.198"_s,  u"9.149.105.61"_s,   u"146.89.104.211"_s,
                                                        u"192.155.248.67"_s, u"10.106.154.159"_s, u"10.146.45.236"_s};
    // An address-like host name comes before the bracket and is taken; IPv6 hops give nothing.
    QTest::newRow("mp-1, IPv6 hops") << u"mp-1_qmail-outlook-ipv6-hostedemail.eml"_s << 6
                                     << QStringList{u"64.98.42.207"_s, u"10.5.19.248"_s, u"43.230.105.145"_s};
}

void TestHeaderParser::realHeaders()
{
    QFETCH(QString, file);
    QFETCH(int, receivedRows);
    QFETCH(QStringList, addresses);

    QFile mail(QStringLiteral(ZELKOR_TEST_DATA_DIR "/mail/") + file);
    QVERIFY2(mail.open(QIODevice::ReadOnly), qPrintable(mail.fileName()));
    const MessageText message = SplitMessage(mail.readAll());

    bool marked = false;
    const ParsedHeader parsed = ParseHeader(message.header, marked);
    QCOMPARE(parsed.outcome, ParsedHeader::Outcome::Parsed);
    QCOMPARE(parsed.addresses, addresses);
    QCOMPARE(parsed.rows.filter(u"received: \t"_s).size(), receivedRows);
    QVERIFY(parsed.rows.constFirst().startsWith(u"return-path: \t"_s));
    QCOMPARE(parsed.rows.filter(u"X  received: "_s).size(), 1);
}

QTEST_GUILESS_MAIN(TestHeaderParser)
#include "tst_headerparser.moc"
