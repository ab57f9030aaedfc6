// SPDX-License-Identifier: GPL-3.0-or-later
// The role of every address of a final whois answer and of every RDAP abuse
// contact, and the ticks that the designation leads to, over the shared
// answers and constructed ones.
#include "common/CaseMapping.h"
#include "common/TextCodec.h"
#include "rdap/RdapAnswer.h"
#include "whois/AbuseHarvest.h"
#include "whois/AbuseRoles.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

/// The shared answers lie beside the project: tests/data/../../../shared.
QString sharedWhois(const QString& name)
{
    return QStringLiteral(ZELKOR_TEST_DATA_DIR "/../../../shared/testdata/whois/") + name;
}

QString sharedRdap(const QString& name)
{
    return QStringLiteral(ZELKOR_TEST_DATA_DIR "/../../../shared/testdata/rdap/") + name;
}

/// "ADDRESS=role" for every entry.
QStringList describe(const QList<AddressRole>& roles)
{
    QStringList lines;
    for (const AddressRole& entry : roles) {
        lines.append(entry.address + u'=' + abuseRoleName(entry.role));
    }
    return lines;
}

AbuseRole roleOf(const QList<AddressRole>& roles, const QString& address)
{
    for (const AddressRole& entry : roles) {
        if (entry.address == address) {
            return entry.role;
        }
    }
    return AbuseRole::Other;
}

} // namespace

class TestAbuseRoles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sharedAnswers_data();
    void sharedAnswers();
    void sharedRdapAnswers_data();
    void sharedRdapAnswers();
    void constructed_data();
    void constructed();
    void ticks_data();
    void ticks();
};

void TestAbuseRoles::sharedAnswers_data()
{
    QTest::addColumn<QString>("name");
    // The rows the workbench shows: the harvest, then the designated addresses
    // beyond it, each with its role.
    QTest::addColumn<QStringList>("rows");
    // The rows left unticked when none was ticked as made.
    QTest::addColumn<QStringList>("unticked");

    // No abuse contact registered; only a remark asks for abuse reports.
    QTest::newRow("afrinic 196.11.240.215")
        << u"afrinic_ipwhois-2015_196.11.240.215.txt"_s << QStringList{u"ABUSE@MTNBUSINESS.CO.ZA=remark"_s}
        << QStringList{u"ABUSE@MTNBUSINESS.CO.ZA"_s};
    // No address at all.
    QTest::newRow("afrinic 2001:43f8:7b0")
        << u"afrinic_ipwhois-2015_2001-43f8-7b0.txt"_s << QStringList() << QStringList();
    // Only JPNIC's staff, whose allocation this is not (the netname is IIJ's).
    QTest::newRow("apnic 2001:240") << u"apnic_ipwhois-2015_2001-240-10c-1--ca20-9d1d.txt"_s
                                    << QStringList{u"IP-STAFF@NIC.AD.JP=registry"_s, u"HOSTMASTER@NIC.AD.JP=registry"_s}
                                    << QStringList();
    // KRNIC's IRT abuse-mailbox is the registry's; the ISP names abuse@ only in
    // a spam remark.
    QTest::newRow("apnic 210.107.73.73 (KRNIC)")
        << u"apnic_ipwhois-2015_210.107.73.73.txt"_s
        << QStringList{u"HOSTMASTER@NIC.OR.KR=registry"_s, u"IPADM@NIC.BORA.NET=other"_s, u"ABUSE@BORA.NET=remark"_s,
                       u"SECURITY@BORA.NET=other"_s, u"JEONSI@BORA.NET=other"_s}
        << QStringList{u"ABUSE@BORA.NET"_s};
    // abuse-mailbox and the quoted comment agree.
    QTest::newRow("apnic medialintas") << u"apnic_medialintas-id_103.18.33.107.txt"_s
                                       << QStringList{u"ABUSE@MEDIALINTAS.COM=abuse"_s,
                                                      u"JAMAL@MEDIALINTAS.COM=other"_s}
                                       << QStringList{u"ABUSE@MEDIALINTAS.COM"_s};
    // The IRT's abuse-mailbox; hostmaster is only its e-mail.
    QTest::newRow("apnic singnet") << u"apnic_singnet-truncated-head-2013_42.61.114.x.txt"_s
                                   << QStringList{u"HOSTMASTER@SINGNET.COM.SG=other"_s, u"ABUSE@SINGNET.COM.SG=abuse"_s,
                                                  u"ANURAX@SIMSYS.SG=other"_s}
                                   << QStringList{u"ABUSE@SINGNET.COM.SG"_s};
    // ARIN's own network: its abuse desk keeps Abuse, its staff stay Registry.
    QTest::newRow("arin operations") << u"arin_direct-arinops-2016_199.43.0.44.txt"_s
                                     << QStringList{u"ABUSE@ARIN.NET=abuse"_s, u"MJO@ARIN.NET=registry"_s,
                                                    u"ANDY@ARIN.NET=registry"_s, u"MATT@ARIN.NET=registry"_s}
                                     << QStringList{u"ABUSE@ARIN.NET"_s};
    // OrgAbuseEmail is security@, not abuse@.
    QTest::newRow("arin level3") << u"arin_direct-level3-no-referral_4.2.2.1.txt"_s
                                 << QStringList{u"IPADDRESSING@LEVEL3.COM=other"_s, u"NOC.COREIP@LEVEL3.COM=other"_s,
                                                u"SECURITY@LEVEL3.COM=abuse"_s}
                                 << QStringList{u"SECURITY@LEVEL3.COM"_s};
    QTest::newRow("arin gigenet") << u"arin_direct-with-rwhois-referral_69.65.39.166.txt"_s
                                  << QStringList{u"ABUSE@GIGENET.COM=abuse"_s, u"IP-ADMIN@COLOQUEST.COM=other"_s}
                                  << QStringList{u"ABUSE@GIGENET.COM"_s};
    // The designated addresses are APNIC's and RIPE's, which the harvest drops
    // by name: no rows.
    QTest::newRow("arin erx to apnic") << u"arin_erx-transferred-to-apnic_144.134.121.81.txt"_s << QStringList()
                                       << QStringList();
    QTest::newRow("arin erx to ripe") << u"arin_erx-transferred-to-ripe_130.66.76.222.txt"_s << QStringList()
                                      << QStringList();
    // One address, both OrgAbuseEmail and RAbuseEmail, and tech and NOC too.
    QTest::newRow("arin google v6") << u"arin_ipwhois-2015_2001-4860-4860--8888.txt"_s
                                    << QStringList{u"ARIN-CONTACT@GOOGLE.COM=abuse"_s}
                                    << QStringList{u"ARIN-CONTACT@GOOGLE.COM"_s};
    QTest::newRow("arin google v4") << u"arin_ipwhois-2015_74.125.225.229.txt"_s
                                    << QStringList{u"ARIN-CONTACT@GOOGLE.COM=abuse"_s}
                                    << QStringList{u"ARIN-CONTACT@GOOGLE.COM"_s};
    // The abuse contact is also the tech contact: Abuse is the stronger.
    QTest::newRow("arin old format 2006")
        << u"arin_old-format-2006-single-record_127.0.0.1.txt"_s << QStringList{u"JBLOW@FOOBAR.COM=abuse"_s}
        << QStringList{u"JBLOW@FOOBAR.COM"_s};
    QTest::newRow("arin old format 2009")
        << u"arin_old-format-2009-points-to-ripe_195.74.247.144.txt"_s << QStringList() << QStringList();
    QTest::newRow("arin netblock list") << u"arin_old-netblock-list-2006_72.5.124.55.txt"_s << QStringList()
                                        << QStringList();
    // Two nets of one organisation: five tech contacts, one abuse desk.
    QTest::newRow("arin cox") << u"arin_two-nets-cox-2020_24.255.x.txt"_s
                              << QStringList{u"MARK.GOODWIN@COX.COM=other"_s, u"ALVIN.ANDERSON@COX.COM=other"_s,
                                             u"CARI.MEROLA@COX.COM=other"_s,  u"ABUSE@COX.NET=abuse"_s,
                                             u"SOPHEA.LONG@COX.COM=other"_s,  u"TORI.BERUBE@COX.COM=other"_s}
                              << QStringList{u"ABUSE@COX.NET"_s};
    // LACNIC: the e-mail of the person that abuse-c names, defined after it.
    QTest::newRow("lacnic triara") << u"lacnic_ipwhois-2015_200.57.141.161.txt"_s
                                   << QStringList{u"OPERACION.REDES@TRIARA.COM=abuse"_s}
                                   << QStringList{u"OPERACION.REDES@TRIARA.COM"_s};
    QTest::newRow("lacnic uco") << u"lacnic_ipwhois-2015_2801-10-c000.txt"_s
                                << QStringList{u"SISTEMAS.RED@UCO.EDU.CO=abuse"_s}
                                << QStringList{u"SISTEMAS.RED@UCO.EDU.CO"_s};
    QTest::newRow("lacnic cablemax") << u"lacnic_netinc-2017_138.36.27.5.txt"_s
                                     << QStringList{u"ANDRESACOSTA@CABLEMAX.COM.DO=abuse"_s}
                                     << QStringList{u"ANDRESACOSTA@CABLEMAX.COM.DO"_s};
    // The abuse-c person has no e-mail here; CERT.br's addresses are the
    // registry's own.
    QTest::newRow("nic.br brisanet") << u"nicbr_brisanet_177.37.164.71.txt"_s
                                     << QStringList{u"CERT@CERT.BR=registry"_s, u"MAIL-ABUSE@CERT.BR=registry"_s}
                                     << QStringList();
    QTest::newRow("ripe bouygues") << u"ripe_bouygues-after-arin-referral_128.79.x.txt"_s
                                   << QStringList{u"ABUSE_BOX@BOUYGUESTELECOM.FR=abuse"_s}
                                   << QStringList{u"ABUSE_BOX@BOUYGUESTELECOM.FR"_s};
    // The designated address stands only in the quoted comment; the remarks
    // name another, which is ticked.
    QTest::newRow("ripe bt v6") << u"ripe_ipwhois-2015_2a00-2381-ffff--1.txt"_s
                                << QStringList{u"ABUSE@BT.NET=remark"_s,
                                               u"IP.ADDRESS.MANAGEMENT.ACCOUNT@BT.COM=other"_s,
                                               u"PROTECT@BT.COM=abuse"_s}
                                << QStringList{u"PROTECT@BT.COM"_s};
    QTest::newRow("ripe bt corporate") << u"ripe_ipwhois-2015_62.239.237.1.txt"_s
                                       << QStringList{u"BTCERTCC@BT.COM=remark"_s, u"PROTECT@BT.COM=abuse"_s}
                                       << QStringList{u"PROTECT@BT.COM"_s};
    // Only the quoted comment names an address (abuse-c's role is not shown).
    QTest::newRow("ripe plusserver") << u"ripe_plusserver-truncated-head-2016_62.138.x.txt"_s
                                     << QStringList{u"ABUSE@PLUSSERVER.DE=abuse"_s}
                                     << QStringList{u"ABUSE@PLUSSERVER.DE"_s};
    QTest::newRow("ripe qualitynetwork") << u"ripe_qualitynetwork-after-arin_46.161.62.245.txt"_s
                                         << QStringList{u"ABUSE@PINSPB.RU=abuse"_s}
                                         << QStringList{u"ABUSE@PINSPB.RU"_s};
}

void TestAbuseRoles::sharedAnswers()
{
    QFETCH(QString, name);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, unticked);

    QFile file(sharedWhois(name));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QString answer = decodeTextFile(file.readAll());

    const QList<AddressRole> roles = ClassifyAbuseRoles(answer);
    const QStringList addresses = HarvestAddresses(answer, {}, {}) + DesignatedBeyondHarvest(answer);
    QStringList described;
    QList<AbuseRole> rowRoles;
    for (const QString& address : addresses) {
        rowRoles.append(roleOf(roles, address));
        described.append(address + u'=' + abuseRoleName(rowRoles.last()));
    }
    QCOMPARE(described, rows);

    const QList<bool> ticks = DesignatedTicks(rowRoles, QList<bool>(addresses.size(), false));
    QStringList left;
    for (qsizetype row = 0; row < addresses.size(); ++row) {
        if (!ticks[row]) {
            left.append(addresses[row]);
        }
    }
    QCOMPARE(left, unticked);
}

void TestAbuseRoles::sharedRdapAnswers_data()
{
    QTest::addColumn<QString>("name");
    // The published abuse contacts, upper-cased as rows, with their roles; an
    // error answer gives none and says why. A registry's address is Registry
    // even for its own network here: that network's whois answer keeps its desk
    // Abuse, and the RDAP row, the same address, is not listed twice.
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<bool>("error");
    QTest::newRow("afrinic_no-abuse-role-2020_41.0.0.0.json")
        << u"afrinic_no-abuse-role-2020_41.0.0.0.json"_s << QStringList{} << false;
    QTest::newRow("afrinic_no-roles-ipwhois-2015_196.11.240.215.json")
        << u"afrinic_no-roles-ipwhois-2015_196.11.240.215.json"_s << QStringList{} << false;
    QTest::newRow("afrinic_za-vodacom-2018_41.192.255.27.json")
        << u"afrinic_za-vodacom-2018_41.192.255.27.json"_s << QStringList{} << false;
    QTest::newRow("apnic_apnic-labs-irt-2020_1.1.1.1.json")
        << u"apnic_apnic-labs-irt-2020_1.1.1.1.json"_s << QStringList{u"ABUSE@APNIC.NET=registry"_s} << false;
    QTest::newRow("apnic_apnic-labs-irt-2021_1.1.1.1.json")
        << u"apnic_apnic-labs-irt-2021_1.1.1.1.json"_s << QStringList{u"HELPDESK@APNIC.NET=registry"_s} << false;
    QTest::newRow("apnic_apnic-labs-irt-2024_1.1.1.1.json")
        << u"apnic_apnic-labs-irt-2024_1.1.1.1.json"_s << QStringList{u"HELPDESK@APNIC.NET=registry"_s} << false;
    QTest::newRow("apnic_error-400-bad-request-2020.json")
        << u"apnic_error-400-bad-request-2020.json"_s << QStringList() << true;
    QTest::newRow("apnic_in-indonesia-2018_103.42.255.151.json")
        << u"apnic_in-indonesia-2018_103.42.255.151.json"_s << QStringList{u"ABUSE@GOMEDS.NET.ID=abuse"_s} << false;
    QTest::newRow("apnic_krnic-irt-ipwhois-2015_210.107.73.73.json")
        << u"apnic_krnic-irt-ipwhois-2015_210.107.73.73.json"_s << QStringList{u"HOSTMASTER@NIC.OR.KR=registry"_s}
        << false;
    QTest::newRow("arin_amazon-nested-2020_3.3.3.3.json")
        << u"arin_amazon-nested-2020_3.3.3.3.json"_s << QStringList{u"ABUSE@AMAZONAWS.COM=abuse"_s} << false;
    QTest::newRow("arin_colgate-nested-2024_149.43.80.3.json")
        << u"arin_colgate-nested-2024_149.43.80.3.json"_s << QStringList{u"NSO@COLGATE.EDU=abuse"_s} << false;
    QTest::newRow("arin_google-ipv6-2021_2001-4860-4860--8888.json")
        << u"arin_google-ipv6-2021_2001-4860-4860--8888.json"_s
        << QStringList{u"NETWORK-ABUSE@GOOGLE.COM=abuse"_s, u"ARIN-CONTACT@GOOGLE.COM=abuse"_s} << false;
    QTest::newRow("arin_google-ipv6-ipwhois-2015_2001-4860-4860--8888.json")
        << u"arin_google-ipv6-ipwhois-2015_2001-4860-4860--8888.json"_s
        << QStringList{u"ARIN-CONTACT@GOOGLE.COM=abuse"_s} << false;
    QTest::newRow("arin_google-ipwhois-2015_74.125.225.229.json")
        << u"arin_google-ipwhois-2015_74.125.225.229.json"_s << QStringList{u"ARIN-CONTACT@GOOGLE.COM=abuse"_s}
        << false;
    QTest::newRow("arin_radiolink-direct-2023_192.198.0.0.json")
        << u"arin_radiolink-direct-2023_192.198.0.0.json"_s
        << QStringList{u"DANIEL.PETSINGER@RADIOLINKINTERNET.COM=abuse"_s} << false;
    QTest::newRow("arin_unitedix-nested-2024_206.41.110.0.json")
        << u"arin_unitedix-nested-2024_206.41.110.0.json"_s << QStringList{u"NETENG@UNITEDIX.NET=abuse"_s} << false;
    QTest::newRow("arin_us-amazon-aws-2018_18.208.119.32.json")
        << u"arin_us-amazon-aws-2018_18.208.119.32.json"_s << QStringList{u"ABUSE@AMAZONAWS.COM=abuse"_s} << false;
    QTest::newRow("arin_us-c-block-2018_206.34.36.4.json")
        << u"arin_us-c-block-2018_206.34.36.4.json"_s << QStringList{u"EBREUER@BREUER.COM=abuse"_s} << false;
    QTest::newRow("lacnic_br-lfguimaraes-2018_45.234.220.0_22.json")
        << u"lacnic_br-lfguimaraes-2018_45.234.220.0_22.json"_s << QStringList{u"LFGTELECOM@HOTMAIL.COM=abuse"_s}
        << false;
    QTest::newRow("lacnic_neuralsoft-ar-2020_179.0.0.0_23.json")
        << u"lacnic_neuralsoft-ar-2020_179.0.0.0_23.json"_s << QStringList{u"TOMAS.CRIBB@NEURALSOFT.COM=abuse"_s}
        << false;
    QTest::newRow("lacnic_nicbr-abuse-no-email-2020_177.0.0.0_14.json")
        << u"lacnic_nicbr-abuse-no-email-2020_177.0.0.0_14.json"_s << QStringList{} << false;
    QTest::newRow("lacnic_triara-mx-ipwhois-2015_200.57.141.161.json")
        << u"lacnic_triara-mx-ipwhois-2015_200.57.141.161.json"_s << QStringList{u"OPERACION.REDES@TRIARA.COM=abuse"_s}
        << false;
    QTest::newRow("ripe_de-telekom-land-2018_93.198.203.20.json")
        << u"ripe_de-telekom-land-2018_93.198.203.20.json"_s << QStringList{u"ABUSE@TELEKOM.DE=abuse"_s} << false;
    QTest::newRow("ripe_de-telekom-mobile-2018_31.252.213.241.json")
        << u"ripe_de-telekom-mobile-2018_31.252.213.241.json"_s << QStringList{u"T562.TMRIPE@TELEKOM.DE=abuse"_s}
        << false;
    QTest::newRow("ripe_de-versatel-2018_213.30.235.110.json")
        << u"ripe_de-versatel-2018_213.30.235.110.json"_s << QStringList{u"INTERNET-ENGINEERING@VERSATEL.DE=abuse"_s}
        << false;
    QTest::newRow("ripe_de-vodafone-cable-2018_31.16.213.1.json")
        << u"ripe_de-vodafone-cable-2018_31.16.213.1.json"_s << QStringList{u"LIR@KABELDEUTSCHLAND.DE=abuse"_s}
        << false;
    QTest::newRow("ripe_de-vodafone-mobile-2018_109.41.65.238.json")
        << u"ripe_de-vodafone-mobile-2018_109.41.65.238.json"_s << QStringList{u"STEPHAN.BRAEHLER@VODAFONE.COM=abuse"_s}
        << false;
    QTest::newRow("ripe_error-404-nameservers-2020.json")
        << u"ripe_error-404-nameservers-2020.json"_s << QStringList() << true;
    QTest::newRow("ripe_ir-iran-2018_5.160.182.19.json")
        << u"ripe_ir-iran-2018_5.160.182.19.json"_s << QStringList{u"LIR@RESPINA.NET=abuse"_s} << false;
    QTest::newRow("ripe_nl-digitalocean-2018_128.199.232.107.json")
        << u"ripe_nl-digitalocean-2018_128.199.232.107.json"_s << QStringList{u"ABUSE@DIGITALOCEAN.COM=abuse"_s}
        << false;
    QTest::newRow("ripe_ripencc-2020_193.0.6.139.json")
        << u"ripe_ripencc-2020_193.0.6.139.json"_s
        << QStringList{u"OPS@RIPE.NET=registry"_s, u"ABUSE@RIPE.NET=registry"_s} << false;
}

void TestAbuseRoles::sharedRdapAnswers()
{
    QFETCH(QString, name);
    QFETCH(QStringList, rows);
    QFETCH(bool, error);
    QFile file(sharedRdap(name));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const RdapAnswer answer = parseRdapAnswer(file.readAll(), QUrl(u"https://rdap.example/ip/"_s));
    QCOMPARE(!answer.error.isEmpty(), error);
    QStringList shown;
    for (const QString& address : answer.abuse) {
        shown.append(toUpperOneForOne(address) + u'=' + abuseRoleName(publishedContactRole(address)));
    }
    QCOMPARE(shown, rows);
}

void TestAbuseRoles::constructed_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("roles");
    QTest::addColumn<QStringList>("beyond");

    QTest::newRow("quoted comment")
        << u"% Abuse contact for '192.0.2.0 - 192.0.2.255' is 'Abuse@Net.Example'\n\nnetname: NET-EXAMPLE\n"_s
        << QStringList{u"ABUSE@NET.EXAMPLE=abuse"_s} << QStringList{u"ABUSE@NET.EXAMPLE"_s};
    QTest::newRow("quoted comment, harvested elsewhere too")
        << u"% Abuse contact for 'x' is 'abuse@net.example'\nabuse-mailbox: abuse@net.example\n"_s
        << QStringList{u"ABUSE@NET.EXAMPLE=abuse"_s} << QStringList();
    QTest::newRow("quote not closed designates nothing")
        << u"% Abuse contact for 'x' is 'abuse@net.example\n"_s << QStringList() << QStringList();
    QTest::newRow("quoted registry address is not added") << u"% Abuse contact for 'x' is 'abuse@ripe.net'\n"_s
                                                          << QStringList{u"ABUSE@RIPE.NET=registry"_s} << QStringList();
    QTest::newRow("abuse-c handle defined before its use")
        << u"person: Ops\ne-mail: ops@isp.example\nnic-hdl: OPS1-RIPE\n\n"
           u"role: Abuse desk\ne-mail: desk@isp.example\nnic-hdl-br: DESK2\n\n"
           u"inetnum: 192.0.2.0/24\nabuse-c: desk2\ntech-c: OPS1-RIPE\n"_s
        << QStringList{u"OPS@ISP.EXAMPLE=other"_s, u"DESK@ISP.EXAMPLE=abuse"_s} << QStringList();
    QTest::newRow("abuse-c of a handle no object defines")
        << u"inetnum: 192.0.2.0/24\nabuse-c: NONE1\n\nnic-hdl: OTHER1\ne-mail: other@isp.example\n"_s
        << QStringList{u"OTHER@ISP.EXAMPLE=other"_s} << QStringList();
    QTest::newRow("remark beside a registry designation")
        << u"irt: IRT-KRNIC-KR\nabuse-mailbox: hostmaster@nic.or.kr\n\n"
           u"role: ISP\nremarks: For SPAM write to spam@isp.example\nremarks: corrections to noc@isp.example\n"_s
        << QStringList{u"HOSTMASTER@NIC.OR.KR=registry"_s, u"SPAM@ISP.EXAMPLE=remark"_s, u"NOC@ISP.EXAMPLE=other"_s}
        << QStringList();
    QTest::newRow("no designation at all")
        << u"netname: NET-EXAMPLE\ne-mail: noc@isp.example\nchanged: hm-changed@apnic.net 20100101\n"_s
        << QStringList{u"NOC@ISP.EXAMPLE=other"_s, u"HM-CHANGED@APNIC.NET=registry"_s} << QStringList();
    QTest::newRow("the strongest role of several lines")
        << u"Comment: abuse reports to a@isp.example\nOrgTechEmail: a@isp.example\nOrgTechEmail: b@isp.example\n"
           u"RAbuseEmail: b@isp.example\nremarks: spam to c@isp.example\n"_s
        << QStringList{u"A@ISP.EXAMPLE=remark"_s, u"B@ISP.EXAMPLE=abuse"_s, u"C@ISP.EXAMPLE=remark"_s} << QStringList();
    QTest::newRow("registry subdomains, not look-alikes")
        << u"e-mail: a@lists.arin.net b@notarin.net c@cert.br. d@registro.br.example\n"_s
        << QStringList{u"A@LISTS.ARIN.NET=registry"_s, u"B@NOTARIN.NET=other"_s, u"C@CERT.BR.=registry"_s,
                       u"D@REGISTRO.BR.EXAMPLE=other"_s}
        << QStringList();
    QTest::newRow("registry's own network by org-name")
        << u"netname: EXAMPLE-NET\norg-name: RIPE Network Coordination Centre\n"
           u"abuse-mailbox: abuse@ripe.net\ne-mail: staff@ripe.net\n"_s
        << QStringList{u"ABUSE@RIPE.NET=abuse"_s, u"STAFF@RIPE.NET=registry"_s} << QStringList();
    QTest::newRow("another registry's network keeps its desk Registry")
        << u"OrgName: American Registry for Internet Numbers\nOrgAbuseEmail: abuse@ripe.net\n"_s
        << QStringList{u"ABUSE@RIPE.NET=registry"_s} << QStringList();
    QTest::newRow("a name that only contains a registry's short name")
        << u"netname: IIJ-JPNIC-JP\nabuse-mailbox: abuse@nic.ad.jp\n"_s << QStringList{u"ABUSE@NIC.AD.JP=registry"_s}
        << QStringList();
    QTest::newRow("KRNIC network abuse section")
        << u"[ Network Information ]\nE-Mail             : noc@isp.example\n\n"
           u"[ Network Abuse Contact Information ]\nName               : Abuse desk\n"
           u"E-Mail             : abuse@isp.example\n\n"
           u"[ \ub124\ud2b8\uc6cc\ud06c \uc5b4\ubdf0\uc988 \ub2f4\ub2f9\uc790 \uc815\ubcf4 ]\n"
           u"\uc804\uc790\uc6b0\ud3b8           : abuse-kr@isp.example\n"
           u"% after the section\nE-Mail: late@isp.example\n"_s
        << QStringList{u"NOC@ISP.EXAMPLE=other"_s, u"ABUSE@ISP.EXAMPLE=abuse"_s, u"ABUSE-KR@ISP.EXAMPLE=abuse"_s,
                       u"LATE@ISP.EXAMPLE=other"_s}
        << QStringList();
    QTest::newRow("remarks without abuse or spam")
        << u"remarks: write to noc@isp.example\nComment: ABUSERS: x@isp.example\n"_s
        << QStringList{u"NOC@ISP.EXAMPLE=other"_s, u"X@ISP.EXAMPLE=remark"_s} << QStringList();
    QTest::newRow("CR line ends and an unended last line")
        << u"abuse-mailbox: a@isp.example\rremarks: spam to b@isp.example\r\nabuse-mailbox: c@isp.ex"_s
        << QStringList{u"A@ISP.EXAMPLE=abuse"_s, u"B@ISP.EXAMPLE=remark"_s} << QStringList();
}

void TestAbuseRoles::constructed()
{
    QFETCH(QString, answer);
    QFETCH(QStringList, roles);
    QFETCH(QStringList, beyond);
    QCOMPARE(describe(ClassifyAbuseRoles(answer)), roles);
    QCOMPARE(DesignatedBeyondHarvest(answer), beyond);
}

void TestAbuseRoles::ticks_data()
{
    QTest::addColumn<QList<AbuseRole>>("roles");
    QTest::addColumn<QList<bool>>("made");
    QTest::addColumn<QList<bool>>("ticks");

    using R = AbuseRole;
    QTest::newRow("abuse: others and remarks ticked, abuse as made")
        << QList<R>{R::Other, R::Abuse, R::Remark, R::Abuse, R::Registry}
        << QList<bool>{false, false, false, true, false} << QList<bool>{true, false, true, true, true};
    QTest::newRow("remarks only: they stay, the rest ticked")
        << QList<R>{R::Other, R::Remark, R::Registry, R::Remark} << QList<bool>{false, false, false, true}
        << QList<bool>{true, false, true, true};
    QTest::newRow("neither: unchanged but the registry")
        << QList<R>{R::Other, R::Registry, R::Other} << QList<bool>{false, false, true}
        << QList<bool>{false, true, true};
    QTest::newRow("more rows than roles keep their ticks")
        << QList<R>{R::Abuse} << QList<bool>{false, false} << QList<bool>{false, false};
    QTest::newRow("no rows") << QList<R>() << QList<bool>() << QList<bool>();
}

void TestAbuseRoles::ticks()
{
    QFETCH(QList<AbuseRole>, roles);
    QFETCH(QList<bool>, made);
    QFETCH(QList<bool>, ticks);
    QCOMPARE(DesignatedTicks(roles, made), ticks);
}

QTEST_GUILESS_MAIN(TestAbuseRoles)
#include "tst_abuseroles.moc"
