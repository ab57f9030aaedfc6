// SPDX-License-Identifier: GPL-3.0-or-later
#include "header/ReceivedChain.h"
#include "mailbox/MessageText.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

/// One hop as one line: "address | reverse name | v or u | helo | by", and
/// " | with" when asked for.
QString describe(const ReceivedHop& hop, bool withProtocol)
{
    QStringList parts{hop.address, hop.reverseName, hop.reverseVerified ? u"v"_s : u"u"_s, hop.helo, hop.by};
    if (withProtocol) {
        parts.append(hop.with);
    }
    return parts.join(u" | "_s);
}

QStringList describeAll(const QList<ReceivedHop>& hops, bool withProtocol)
{
    QStringList lines;
    for (const ReceivedHop& hop : hops) {
        lines.append(describe(hop, withProtocol));
    }
    return lines;
}

/// The shared messages lie beside the project: tests/data/../../../shared.
QString sharedMail(const QString& name)
{
    return QStringLiteral(ZELKOR_TEST_DATA_DIR "/../../../shared/testdata/mail/") + name;
}

} // namespace

class TestReceivedChain : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void constructedFields_data()
    {
        QTest::addColumn<QString>("header");
        QTest::addColumn<QStringList>("hops");
        const auto row = [](const char* name, const QString& header, const QStringList& hops) {
            QTest::newRow(name) << header << hops;
        };
        // Server styles.
        row("Postfix",
            u"Received: from helo.example (mx.example.org [192.0.2.1])\r\n"
            "\tby mx.example.net (Postfix) with ESMTPS id ABC\r\n"
            "\tfor <a@example.net>; Mon, 1 Jan 2024 00:00:00 +0000\r\n"_s,
            {u"192.0.2.1 | mx.example.org | v | helo.example | mx.example.net | ESMTPS"_s});
        row("Postfix, reverse name unknown", u"Received: from helo.example (unknown [192.0.2.2]) by mx with SMTP\r\n"_s,
            {u"192.0.2.2 |  | u | helo.example | mx | SMTP"_s});
        row("Postfix, IPv6 literal", u"Received: from h (r.example [IPv6:2001:db8::1]) by mx with ESMTP\r\n"_s,
            {u"2001:db8::1 | r.example | v | h | mx | ESMTP"_s});
        row("Sendmail, may be forged",
            u"Received: from h (r.example [192.0.2.3] (may be forged)) by mx (8.14.4/8.14.4) with ESMTP id x1\r\n"_s,
            {u"192.0.2.3 | r.example | u | h | mx | ESMTP"_s});
        row("Sendmail, no reverse name", u"Received: from h ([192.0.2.4]) by mx with SMTP\r\n"_s,
            {u"192.0.2.4 |  | u | h | mx | SMTP"_s});
        row("Sendmail, ident in front of the name", u"Received: from h (root@r.example [192.0.2.5]) by mx\r\n"_s,
            {u"192.0.2.5 | r.example | v | h | mx | "_s});
        row("Exim, port after the bracket",
            u"Received: from r.example ([192.0.2.6]:50000 helo=h.example)\r\n"
            "\tby mx with esmtps (Exim 4.96)\r\n\tid 1qX-000A; Mon, 1 Jan 2024 00:00:00 +0000\r\n"_s,
            {u"192.0.2.6 | r.example | v | h.example | mx | esmtps"_s});
        row("Exim, no reverse name", u"Received: from [192.0.2.7] (helo=h.example) by mx with esmtp\r\n"_s,
            {u"192.0.2.7 |  | u | h.example | mx | esmtp"_s});
        row("Exim, a HELO that reads like a marker",
            u"Received: from r.example ([192.0.2.9] helo=forged.unknown.example) by mx\r\n"_s,
            {u"192.0.2.9 | r.example | v | forged.unknown.example | mx | "_s});
        row("qmail", u"Received: from r.example (HELO h.example) (192.0.2.10)\r\n  by mx with SMTP; 1 Jan 2024\r\n"_s,
            {u"192.0.2.10 | r.example | v | h.example | mx | SMTP"_s});
        row("qmail, unknown, EHLO", u"Received: from unknown (EHLO h.example) (192.0.2.11) by mx with ESMTP\r\n"_s,
            {u"192.0.2.11 |  | u | h.example | mx | ESMTP"_s});
        row("qmail, HELO equal to the name", u"Received: from r.example (192.0.2.12) by mx with SMTP\r\n"_s,
            {u"192.0.2.12 | r.example | v | r.example | mx | SMTP"_s});
        row("Microsoft, IPv6 in parentheses",
            u"Received: from AB1PR.prod.outlook.com (2603:10b6:a03:1c1::19) by CD2PR.prod.outlook.com\r\n"
            " (2603:10b6:a03:1c1::20) with Microsoft SMTP Server (version=TLS1_2, cipher=X) id 15.20; date\r\n"_s,
            {u"2603:10b6:a03:1c1::19 | AB1PR.prod.outlook.com | v | AB1PR.prod.outlook.com | CD2PR.prod.outlook.com | "
             u"Microsoft"_s});
        row("Gmail, trailing dot dropped",
            u"Received: from mail-x.google.com (mail-x.google.com. [209.85.220.41])\r\n"
            "        by mx.google.com with SMTPS id x; date\r\n"_s,
            {u"209.85.220.41 | mail-x.google.com | v | mail-x.google.com | mx.google.com | SMTPS"_s});
        row("fetchmail",
            u"Received: from pop.example.org [192.0.2.13]\r\n\tby localhost with POP3 (fetchmail-6.4)\r\n"
            "\tfor <u@localhost> (single-drop); date\r\n"_s,
            {u"192.0.2.13 | pop.example.org | v |  | localhost | POP3"_s});
        // Folding, line ends, literal forms.
        row("address on a continuation line, LF line ends",
            u"Received: from h.example\n (r.example\n\t[192.0.2.14]) by\n mx with SMTP; date\n"_s,
            {u"192.0.2.14 | r.example | v | h.example | mx | SMTP"_s});
        row("port inside the brackets", u"Received: from h ([192.0.2.15:25]) by mx\r\n"_s,
            {u"192.0.2.15 |  | u | h | mx | "_s});
        row("IPv4-mapped IPv6 kept as given", u"Received: from h (r [::ffff:192.0.2.16]) by mx\r\n"_s,
            {u"::ffff:192.0.2.16 | r | v | h | mx | "_s});
        row("nested comments",
            u"Received: from h (r [192.0.2.17] (may be (if (at) all) forged)) (using TLS (1.3)) by mx with ESMTP\r\n"_s,
            {u"192.0.2.17 | r | u | h | mx | ESMTP"_s});
        row("not verified", u"Received: from h (r.example [192.0.2.18] (NOT VERIFIED)) by mx\r\n"_s,
            {u"192.0.2.18 | r.example | u | h | mx | "_s});
        row("field name in lower case, by and with in the date ignored",
            u"received: from h ([192.0.2.19]); Mon, 1 Jan 2024 by the sea with love\r\n"_s,
            {u"192.0.2.19 |  | u | h |  | "_s});
        row("newest first, other fields and the body left out",
            u"Received: from a ([192.0.2.20]) by b\r\nSubject: x\r\n (from c ([192.0.2.99]))\r\n"
            "Received: from c (d [192.0.2.21]) by e\r\n\r\nReceived: from f ([192.0.2.22]) by g\r\n"_s,
            {u"192.0.2.20 |  | u | a | b | "_s, u"192.0.2.21 | d | v | c | e | "_s});
        // No address, or none worth taking.
        row("no address",
            u"Received: (qmail 1 invoked from network); 1 Jan 2024\r\n"
            "Received: from localhost by mx with local; date\r\n"
            "Received: by mx ([192.0.2.30]) (Postfix, from userid 0) id 1; date\r\n"_s,
            {});
        row("address of the receiving server only",
            u"Received: from h by mx ([192.0.2.31]) with SMTP\r\nReceived: from h (x) by mx (192.0.2.32)\r\n"_s, {});
        row("address only as the HELO name", u"Received: from 192.0.2.33 (SquirrelMail user) by mx with HTTP\r\n"_s,
            {});
        row("bogus addresses",
            u"Received: from h (r [256.1.1.1]) by mx\r\nReceived: from h (r [1.2.3]) by mx\r\n"
            "Received: from h ([01.2.3.4]) by mx\r\nReceived: from h ([2001:db8::1::2]) by mx\r\n"
            "Received: from h ([IPv6:192.0.2.1]) by mx\r\nReceived: from h (HELO x) (1.2.3.4.5) by mx\r\n"
            "Received: from h ([192.0.2.1]x) by mx\r\nReceived: from h ([fe80::1%eth0]) by mx\r\n"_s,
            {});
    }
    void constructedFields()
    {
        QFETCH(QString, header);
        QFETCH(QStringList, hops);
        QCOMPARE(describeAll(ParseReceivedChain(header), true), hops);
    }

    void realMessages_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("hops");
        const auto row = [](const char* file, const QStringList& hops) {
            QTest::newRow(file) << QString::fromLatin1(file) << hops;
        };
        // Two Gmail-internal fields by address, three without a "from".
        row("fl-multi-received_gmail-http.eml", {u"10.231.10.138 |  | u | mr.google.com | 10.231.10.138"_s});
        // Reverse name written "Unknown".
        row("fl-spam-broken-headers_cn.eml", {u"111.224.250.131 |  | u | advertise-bz.cn | mxa.mailgun.org"_s});
        // ZMailer: port after the bracket, a quoted "EHLO name" folded apart.
        row("lkml-2003_vger-zmailer-ip-port-ehlo.eml",
            {u"216.99.193.137 | obsidian.spiritone.com | v | obsidian.spiritone.com | vger.kernel.org"_s});
        // 15 fields: qmail, Postfix, IBM gateways "(ip)", four without an address.
        row("mp-10_ibm-gateways-15hops.eml",
            {u"148.163.158.5 | mx0b-001b2d01.pphosted.com | v | mx0a-001b2d01.pphosted.com | smtp.didi.net"_s,
             u"127.0.0.1 | m0098419.ppops.net | v | pps.filterd | mx0b-001b2d01.pphosted.com"_s,
             u"195.75.94.106 | e06smtp10.uk.ibm.com | v | e06smtp10.uk.ibm.com | mx0b-001b2d01.pphosted.com"_s,
             u"9.149.109.198 | b06cxnps4076.portsmouth.uk.ibm.com | v | b06cxnps4076.portsmouth.uk.ibm.com | "
             u"e06smtp10.uk.ibm.com"_s,
             u"9.149.105.61 | d06av25.portsmouth.uk.ibm.com | v | d06av25.portsmouth.uk.ibm.com | "
             u"b06cxnps4076.portsmouth.uk.ibm.com"_s,
             u"127.0.0.1 |  | u | d06av25.portsmouth.uk.ibm.com | IMSVA"_s,
             u"127.0.0.1 |  | u | d06av25.portsmouth.uk.ibm.com | IMSVA"_s,
             u"146.89.104.211 |  | u | d50lp03.ny.us.ibm.com | d06av25.portsmouth.uk.ibm.com"_s,
             u"192.155.248.67 | smtp.notes.na.collabserv.com | v | smtp.notes.na.collabserv.com | d50lp03.ny.us.ibm.com"_s,
             u"10.106.154.159 | us1a3-smtp02.a3.dal06.isc4sb.com | v | us1a3-smtp02.a3.dal06.isc4sb.com | "
             u"smtp.notes.na.collabserv.com"_s,
             u"10.146.45.236 |  | u | us1a3-mail113.a3.dal06.isc4sb.com | us1a3-smtp02.a3.dal06.isc4sb.com"_s});
        // qmail with HELO, Microsoft IPv6 hops (one on a continuation line), Postfix "unknown".
        row("mp-1_qmail-outlook-ipv6-hostedemail.eml",
            {u"64.98.42.207 | smtprelay0207.b.hostedemail.com | v | smtprelay.b.hostedemail.com | smtp.server.net"_s,
             u"10.5.19.248 | 10.5.19.248.rfc1918.com | v | filter.hostedemail.com | smtprelay06.b.hostedemail.com"_s,
             u"2603:10b6:207:3d::31 | DM6PR06MB4475.namprd06.prod.outlook.com | v | "
             u"DM6PR06MB4475.namprd06.prod.outlook.com | BL0PR06MB4465.namprd06.prod.outlook.com"_s,
             u"2a01:111:f400:7e49::205 | DM3NAM03FT035.eop-NAM03.prod.protection.outlook.com | v | "
             u"DM3NAM03FT035.eop-NAM03.prod.protection.outlook.com | CY4PR0601CA0051.outlook.office365.com"_s,
             u"43.230.105.145 |  | u | computer_3436 | omf06.b.hostedemail.com"_s});
        // qmail, a gateway whose "by" is a product name, Microsoft SMTPSVC "([ip])".
        row("mp-2_smtpsvc-websense.eml",
            {u"217.76.210.112 | smtp2.regione.vda.it | v | smtp2.regione.vda.it | smtp.customers.net"_s,
             u"172.30.2.196 |  | u | aspam2-ravda.regione.vda.it | Websense"_s,
             u"172.30.104.243 |  | u | WWWGESTIONE3 | aspam2-ravda.regione.vda.it"_s});
        // qmail with Postfix-style comments, Exim with port and helo=.
        row("mp-4_exim-helo-port-fqdp.eml",
            {u"69.5.6.174 | mx03.futurequest.net | v | mx03.futurequest.net | pt02.futurequest.net"_s,
             u"208.74.72.248 | mail.revesoft.com | v | localhost.localdomain.com | mx03.futurequest.net"_s,
             u"86.187.174.57 | host86-187-174-57.range86-187.btcentralplus.com | v | User | "
             u"localhost.localdomain.com"_s});
        // qmail, Postfix with an "Authenticated sender" comment, a field without address.
        row("mp-7_postfix-qmail.eml",
            {u"55.56.95.227 | smtp.s2smtp.com | v | smtp.s2smtp.com | "
             u"void.f0m2ehfnj1vuddoxs0ky40ac5c.bx.internal.cloudapp.net"_s,
             u"79.0.200.161 | host161-200-static.0-79-b.business.telecomitalia.it | v | voidstudicom.it | "
             u"smtp.s2smtp.com"_s});
        // fetchmail, reverse name folded from its address, Exim both ways; a web client's address as HELO only.
        row("sa-ham-002_exim-http.eml",
            {u"127.0.0.1 | localhost.localdomain | v | localhost | stinkpad.jmason.org"_s,
             u"212.17.35.15 | dogma.slashnull.org | v |  | localhost"_s,
             u"216.136.171.252 | usw-sf-fw2.sourceforge.net | v | usw-sf-list1.sourceforge.net | dogma.slashnull.org"_s,
             u"127.0.0.1 | localhost | v | usw-sf-list1.sourceforge.net | usw-sf-list1.sourceforge.net"_s,
             u"212.17.35.15 |  | u | dogma.slashnull.org | usw-sf-list1.sourceforge.net"_s});
        // Exim, fetchmail over POP3, InterMail, a local delivery.
        row("sa-ham-007_exim.eml",
            {u"127.0.0.1 |  | u | localhost | green.daf.ddts.net"_s,
             u"66.185.95.101 | pop.bloor.is.net.cable.rogers.com | v |  | localhost"_s,
             u"24.102.84.250 |  | u | green.daf.ddts.net | fep02-mail.bloor.is.net.cable.rogers.com"_s});
        // Postfix and Exim, two fields without "from".
        row("sa-ham-base64_8hops.eml",
            {u"212.17.35.15 | dogma.slashnull.org | v | dogma.slashnull.org | mail"_s,
             u"216.136.171.194 | usw-outbound.sourceforge.net | v | usw-sf-list1.sourceforge.net | dogma.slashnull.org"_s,
             u"127.0.0.1 | localhost | v | usw-sf-list1.sourceforge.net | usw-sf-list1.sourceforge.net"_s,
             u"136.201.105.1 |  | u | admin.csn.ul.ie | usw-sf-list1.sourceforge.net"_s,
             u"136.201.105.2 | skynet.csn.ul.ie | v | skynet.csn.ul.ie | admin.csn.ul.ie"_s,
             u"127.0.0.1 | localhost | v | localhost | skynet.csn.ul.ie"_s});
        // CR LF; qmail "unknown (HELO pc3)"; a scanner's field "from 1234@e34.com".
        row("sa-ham-gb2312-1_crlf-qmail.eml", {u"202.108.68.140 |  | u | pc3 | 0"_s});
        // Sendmail "(may be forged)", Exchange IMS.
        row("sa-spam-001.eml",
            {u"193.120.211.219 | mail.webnote.net | v | webnote.net | mail.netnoteinc.com"_s,
             u"24.226.157.50 | USR-157-050.dr.cgocable.ca | u | netsvr.Internet | webnote.net"_s,
             u"216.214.106.173 | max1-45.losangeles.corecomm.net | v | R00UqS18S | netsvr.Internet"_s});
        // Sendmail twice after a local Postfix field.
        row("sa-spam-002.eml",
            {u"209.90.19.2 | ns1.userchoice.com | v | godzilla.justlinux.com | webnote.net"_s,
             u"192.216.54.160 | 04-160.034.popsite.net | v | www.fasttrec.com | godzilla.justlinux.com"_s});
        // The dial-up hop's comment sits on the line after its HELO name.
        row("sa-spam-003_dialup-envelope-from-fold.eml",
            {u"127.0.0.1 | localhost.localdomain | v | localhost | jmlaptop.jmason.org"_s,
             u"212.17.35.15 | dogma.slashnull.org | v |  | localhost"_s,
             u"193.120.149.226 | gw.netnoteinc.com | v | mail.netnoteinc.com | dogma.slashnull.org"_s,
             u"211.100.6.104 |  | u | www.goabroad.com.cn | mail.netnoteinc.com"_s,
             u"4.48.136.190 | PPPa33-ResaleLosAngelesMetroB2-2R7452.dialinx.net | v | yahoo.com | www.goabroad.com.cn"_s});
        // Exchange IMS with a one-label reverse name; SquirrelMail's field gives none.
        row("sa-spam-004_exchange-ims-squirrelmail.eml",
            {u"127.0.0.1 | localhost.localdomain | v | localhost | stinkpad.jmason.org"_s,
             u"212.17.35.14 | dogma.slashnull.org | v |  | localhost"_s,
             u"193.120.149.226 | gw.netnoteinc.com | v | mail.netnoteinc.com | dogma.slashnull.org"_s,
             u"61.119.13.18 | ns.sakakura-kk.co.jp | v | ns.sakakura-kk.co.jp | mail.netnoteinc.com"_s,
             u"212.17.35.134 | ZHONGXIN | v | plain | ns.sakakura-kk.co.jp"_s});
        // An address as HELO name, its reverse name folded from the bracket.
        row("sa-spam-005.eml",
            {u"127.0.0.1 | localhost | v | localhost | phobos.labs.netnoteinc.com"_s,
             u"212.17.35.15 | dogma.slashnull.org | v |  | localhost"_s,
             u"213.105.180.140 |  | u | mandark.labs.netnoteinc.com | dogma.slashnull.org"_s,
             u"211.237.50.21 |  | u | online.affis.net | mandark.labs.netnoteinc.com"_s,
             u"212.19.84.198 | wireless-084-198.tele2.co.uk | v | 212.19.84.198 | online.affis.net"_s});
        // Two MMDF-style fields without address.
        row("sa-spam-base64.eml", {u"61.156.13.71 |  | u | qd_mail3.sd.cninfo.net | dux1.tcd.ie"_s,
                                   u"206.172.87.3 |  | u | Good | qd_mail3.sd.cninfo.net"_s});
        // IPv6 both ways: Postfix "[IPv6:...]", Gmail's submission "([...])".
        row("sa-spam-dmarc-noneko_ipv6-gmail.eml",
            {u"2607:f8b0:4864:20::432 | mail-pf1-x432.google.com | v | mail-pf1-x432.google.com | "
             u"dmarc1.spamassassin.org"_s,
             u"2409:4063:231e:c527:1997:664a:34e5:7d88 |  | u | PC | smtp.gmail.com"_s});
        // An amavis loop whose "by" comment holds an address too; Exim's local submission.
        row("si-exim-60_amavis-exim-local.eml",
            {u"127.0.0.1 | localhost.localdomain | v | localhost | neko.example.jp"_s,
             u"127.0.0.1 |  | u | neko.example.jp | localhost"_s,
             u"192.0.2.220 | q002.kijitora.gol.com | v | q002.kijitora.gol.com | neko.example.jp"_s});
    }
    void realMessages()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, hops);
        QFile mail(sharedMail(file));
        QVERIFY2(mail.open(QIODevice::ReadOnly), qPrintable(u"cannot read "_s + mail.fileName()));
        QCOMPARE(describeAll(ParseReceivedChain(SplitMessage(mail.readAll()).header), false), hops);
    }

    // Inputs that a parser with a quadratic step, deep recursion or an
    // unchecked end would not get through (in the test's time limit).
    void largeHeaders_data()
    {
        QTest::addColumn<QString>("header");
        QTest::addColumn<int>("hops");
        const qsizetype megabyte = 1 << 20;
        QString many;
        for (int i = 0; i < 10000; ++i) {
            many += u"Received: from h (r [192.0.2.%1]) by mx with SMTP; date\r\n"_s.arg(i % 256);
        }
        QTest::newRow("10,000 fields") << many << 10000;
        QTest::newRow("1 MB of open parentheses")
            << u"Received: from h "_s + QString(megabyte, u'(') + u" [192.0.2.1]"_s << 0;
        QTest::newRow("1 MB of open brackets in a comment")
            << u"Received: from h ("_s + QString(megabyte, u'[') + u"]) by mx"_s << 0;
        QTest::newRow("1 MB of comments before the address")
            << u"Received: from h "_s + u"(x) "_s.repeated(megabyte / 4) + u"([192.0.2.1]) by mx"_s << 1;
        QTest::newRow("1 MB of continuation lines")
            << u"Received: from h\r\n"_s + u" (x)\r\n"_s.repeated(megabyte / 6) + u" ([192.0.2.1]) by mx\r\n"_s << 1;
        QTest::newRow("1 MB of semicolons") << u"Received: from h ([192.0.2.1])"_s + QString(megabyte, u';') << 1;
    }
    void largeHeaders()
    {
        QFETCH(QString, header);
        QFETCH(int, hops);
        QCOMPARE(ParseReceivedChain(header).size(), hops);
    }
};

QTEST_GUILESS_MAIN(TestReceivedChain)
#include "tst_receivedchain.moc"
