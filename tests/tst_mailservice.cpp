// SPDX-License-Identifier: GPL-3.0-or-later
// What the mail layer sets on vmime's service objects before they connect:
// read back from the service, so the rule for passwords is checked where it
// takes effect and not only in mustSwitchToTls.
#include "mailbox/VmimeSupport.h"

#include <QTest>

using namespace Qt::StringLiterals;
namespace net = vmime::net;

class TestMailService final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { vmimesupport::initialise(); }

    // STARTTLS is required where [tls] asks for it, and wherever a user name
    // would send a password to another machine; plain text stays possible only
    // without a user name or on this machine.
    void startTls_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("tlsRequired");
        QTest::addColumn<bool>("required");
        QTest::newRow("IMAP, a user on another host") << u"imap://jane@mail.example.org"_s << false << true;
        QTest::newRow("SMTP, a user on another host") << u"smtp://jane@mail.example.org:587"_s << false << true;
        QTest::newRow("IMAP, a user on this machine") << u"imap://jane@127.0.0.1:1143"_s << false << false;
        QTest::newRow("IMAP on this machine, no user") << u"imap://localhost:1143"_s << false << false;
        QTest::newRow("SMTP, no user, another host") << u"smtp://mail.example.org"_s << false << false;
        QTest::newRow("required by the settings") << u"smtp://localhost:2525"_s << true << true;
    }

    void startTls()
    {
        QFETCH(QString, url);
        QFETCH(bool, tlsRequired);
        QFETCH(bool, required);
        const QUrl address(url);
        auto session = net::session::create();
        const vmime::utility::url where(vmimesupport::toUtf8(address.scheme()), vmimesupport::toUtf8(address.host()),
                                        address.port(25));
        const vmime::shared_ptr<net::service> service = address.scheme() == u"imap"
                                                            ? vmime::shared_ptr<net::service>(session->getStore(where))
                                                            : session->getTransport(where);
        QVERIFY(service);
        vmimesupport::configureService(service, address, tlsRequired, {}, u"pw"_s);

        const net::serviceInfos& infos = service->getInfos();
        QCOMPARE(infos.getPropertyValue<bool>(session, net::serviceInfos::property::CONNECTION_TLS), true);
        QCOMPARE(infos.getPropertyValue<bool>(session, net::serviceInfos::property::CONNECTION_TLS_REQUIRED), required);
    }
};

QTEST_GUILESS_MAIN(TestMailService)
#include "tst_mailservice.moc"
