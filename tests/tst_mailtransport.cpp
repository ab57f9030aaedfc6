// SPDX-License-Identifier: GPL-3.0-or-later
// Sending through an SMTP sink on 127.0.0.1 (STARTTLS with a test CA) and a
// stand-in sendmail program.
#include "mailbox/MailTransport.h"
#include "tests/support/MailTestEnvironment.h"
#include "tests/support/SmtpSink.h"
#include "tests/support/TestCertificates.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString refusedAddress = u"REFUSED@NETWORK.EXAMPLE"_s;

// The body of a sent message, transfer encoding undone.
QByteArray decodedBody(const QByteArray& data)
{
    // SMTP carries CR LF; the local sendmail is handed LF, as it expects.
    const QByteArrayView separator = data.contains("\r\n\r\n") ? "\r\n\r\n" : "\n\n";
    const qsizetype end = data.indexOf(separator);
    const QByteArray header = data.first(std::max<qsizetype>(end, 0));
    const QByteArray body = data.sliced(end < 0 ? data.size() : end + separator.size());
    return header.toLower().contains("content-transfer-encoding: quoted-printable") ? decodeQuotedPrintable(body)
                                                                                    : body;
}

quint16 unusedPort()
{
    QTcpServer server;
    server.listen(QHostAddress(QHostAddress::LocalHost), 0);
    return server.serverPort();
}

} // namespace

Q_DECLARE_METATYPE(SmtpSink::Behaviour)

class TestMailTransport final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MailTestEnvironment> m_environment;
    TestCertificates m_certificates;
    std::unique_ptr<SmtpSink> m_sink;

    MailSettings smtpSettings() const
    {
        MailSettings settings = MailSettings::defaults();
        settings.transportUrl = QUrl(u"smtp://localhost:%1"_s.arg(m_sink->port()));
        settings.from = u"Doe, Jane <jane@reporter.example>"_s;
        settings.caFile = m_certificates.caFile;
        settings.timeoutMs = 5000;
        return settings;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_environment = std::make_unique<MailTestEnvironment>();
        m_certificates = TestCertificates::make(m_environment->path());
        QVERIFY2(m_certificates.error.isEmpty(), qPrintable(m_certificates.error));
        m_sink = std::make_unique<SmtpSink>(QStringList{refusedAddress}, m_certificates.certificateFile,
                                            m_certificates.keyFile);
        QVERIFY2(m_sink->errorString().isEmpty(), qPrintable(m_sink->errorString()));
    }

    void init() { m_sink->clear(); }

    void cleanupTestCase()
    {
        m_sink.reset();
        m_environment.reset();
    }

    // The complaint arrives byte for byte after decoding: CR LF, a line that is
    // a lone dot, a line that begins with a dot, a line far over 998 characters.
    void bodyArrivesIntact()
    {
        const QString body = u"Here is the SMTP information.\r\n\r\n"_s + u"Received: from [192.0.2.5]\r\n"_s +
                             u".\r\n..two dots\r\n.hidden\r\n"_s + QString(1500, u'x') + u"\r\n"_s +
                             u"Grüße, 台湾 =3D trailing blank \r\n\r\nhttps://zelkor.example/\r\n"_s;
        MailTransport transport(smtpSettings());
        const auto sent = transport.send(u"Spam Complaint"_s, u"A@X.COM;B@Y.ORG;"_s, body);
        QVERIFY2(sent.ok(), qPrintable(sent.error().description));
        QVERIFY(sent.value().refused.isEmpty());

        const auto messages = m_sink->messages();
        QCOMPARE(messages.size(), 1);
        const SmtpSink::Message& message = messages.front();
        QCOMPARE(message.recipients, (QStringList{u"A@X.COM"_s, u"B@Y.ORG"_s}));
        QCOMPARE(message.sender, u"jane@reporter.example"_s);
        QVERIFY(message.data.contains("Subject: Spam Complaint\r\n"));
        for (const QByteArray& line : message.data.split('\n')) {
            QVERIFY2(line.size() <= 1000, line.left(80).constData());
        }
        QCOMPARE(decodedBody(message.data), body.toUtf8());
    }

    // What the server said to each recipient, to DATA and after the message's
    // final dot decides the outcome: 4xx is a refusal for now, 5xx for good.
    void recipients_data()
    {
        QTest::addColumn<QString>("to");
        QTest::addColumn<QStringList>("deferring");
        QTest::addColumn<SmtpSink::Behaviour>("behaviour");
        QTest::addColumn<MailFailure>("failure");
        QTest::addColumn<QStringList>("delivered");
        QTest::addColumn<QStringList>("deferred");
        QTest::addColumn<QStringList>("mentioned");
        const auto accept = SmtpSink::Behaviour::Accept;
        const QString both = u"A@X.COM;B@Y.ORG;"_s;
        const QStringList a{u"A@X.COM"_s};
        const QStringList b{u"B@Y.ORG"_s};
        QTest::newRow("one refused, one accepted")
            << u"A@X.COM;%1;"_s.arg(refusedAddress) << QStringList{} << accept << MailFailure::None << a
            << QStringList{} << QStringList{refusedAddress};
        QTest::newRow("550 to every recipient")
            << refusedAddress + u';' << QStringList{} << accept << MailFailure::RecipientsRefused << QStringList{}
            << QStringList{} << QStringList{refusedAddress};
        QTest::newRow("450 to one of two") << both << b << accept << MailFailure::None << a << b << QStringList{};
        QTest::newRow("450 to every recipient") << both << (a + b) << accept << MailFailure::TemporarilyRefused
                                                << QStringList{} << QStringList{} << (a + b + QStringList{u"450"_s});
        QTest::newRow("450 to one, 550 to the other")
            << u"B@Y.ORG;%1;"_s.arg(refusedAddress) << b << accept << MailFailure::TemporarilyRefused << QStringList{}
            << QStringList{} << (b + QStringList{refusedAddress});
        QTest::newRow("451 to DATA") << both << QStringList{} << SmtpSink::Behaviour::DeferData
                                     << MailFailure::TemporarilyRefused << QStringList{} << QStringList{}
                                     << QStringList{u"451 4.3.2"_s};
        QTest::newRow("451 after the final dot")
            << both << QStringList{} << SmtpSink::Behaviour::DeferMessages << MailFailure::TemporarilyRefused
            << QStringList{} << QStringList{} << QStringList{u"451 4.7.1"_s};
        QTest::newRow("554 to DATA") << both << QStringList{} << SmtpSink::Behaviour::RefuseData
                                     << MailFailure::ContentRefused << QStringList{} << QStringList{}
                                     << QStringList{u"554 5.7.1 Not accepted"_s};
        QTest::newRow("554 after the final dot")
            << both << QStringList{} << SmtpSink::Behaviour::RefuseMessages << MailFailure::ContentRefused
            << QStringList{} << QStringList{} << QStringList{u"554 5.7.1 Message refused"_s};
        QTest::newRow("empty To") << QString() << QStringList{} << accept << MailFailure::NoRecipients << QStringList{}
                                  << QStringList{} << QStringList{};
        QTest::newRow("only separators") << u" ; ;"_s << QStringList{} << accept << MailFailure::NoRecipients
                                         << QStringList{} << QStringList{} << QStringList{};
        QTest::newRow("not an address") << u"A@X.COM;not an address;"_s << QStringList{} << accept << MailFailure::None
                                        << a << QStringList{} << QStringList{u"not an address"_s};
        QTest::newRow("no address at all")
            << u"nobody;x@;"_s << QStringList{} << accept << MailFailure::RecipientsRefused << QStringList{}
            << QStringList{} << QStringList{u"nobody"_s, u"x@"_s};
    }

    void recipients()
    {
        QFETCH(QString, to);
        QFETCH(QStringList, deferring);
        QFETCH(SmtpSink::Behaviour, behaviour);
        QFETCH(MailFailure, failure);
        QFETCH(QStringList, delivered);
        QFETCH(QStringList, deferred);
        QFETCH(QStringList, mentioned);
        m_sink->setDeferredRecipients(deferring);
        m_sink->setBehaviour(behaviour);
        MailTransport transport(smtpSettings());
        const auto sent = transport.send(u"Spam Complaint"_s, to, u"body\r\n"_s);
        QCOMPARE(mailFailureName(sent.error().kind), mailFailureName(failure));
        const QString said = sent.ok() ? sent.value().refused.join(u' ') : sent.error().description;
        for (const QString& text : mentioned) {
            QVERIFY2(said.contains(text), qPrintable(said));
        }
        if (sent.ok()) {
            QStringList deferredAddresses;
            for (const QString& entry : sent.value().deferred) {
                QVERIFY2(entry.contains(u"(450 "_s), qPrintable(entry));
                deferredAddresses.append(entry.section(u' ', 0, 0));
            }
            QCOMPARE(deferredAddresses, deferred);
        }
        const auto messages = m_sink->messages();
        QCOMPARE(messages.size(), delivered.isEmpty() ? 0 : 1);
        if (!delivered.isEmpty()) {
            QCOMPARE(messages.front().recipients, delivered);
        }
    }

    void failures_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("trustTestCa");
        QTest::addColumn<MailFailure>("kind");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("server down") << u"smtp://localhost:%1"_s.arg(unusedPort()) << true << MailFailure::Connect
                                     << u"localhost:"_s;
        QTest::newRow("untrusted certificate")
            << u"smtp://localhost:%1"_s.arg(m_sink->port()) << false << MailFailure::Certificate << u"not trusted"_s;
        QTest::newRow("certificate for another host") << u"smtp://127.0.0.1:%1"_s.arg(m_sink->port()) << true
                                                      << MailFailure::Certificate << u"another host name"_s;
        QTest::newRow("log-in without a password")
            << u"smtp://jane@localhost:%1"_s.arg(m_sink->port()) << true << MailFailure::Login << u"password"_s;
    }

    void failures()
    {
        QFETCH(QString, url);
        QFETCH(bool, trustTestCa);
        QFETCH(MailFailure, kind);
        QFETCH(QString, mentions);
        MailSettings settings = smtpSettings();
        settings.transportUrl = QUrl(url);
        settings.caFile = trustTestCa ? m_certificates.caFile : QString();
        const auto sent = MailTransport(settings).send(u"Spam Complaint"_s, u"A@X.COM;"_s, u"body\r\n"_s);
        QCOMPARE(mailFailureName(sent.error().kind), mailFailureName(kind));
        QVERIFY2(sent.error().description.contains(mentions), qPrintable(sent.error().description));
        QCOMPARE(m_sink->messages().size(), 0);
    }

    void silentServer()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress(QHostAddress::LocalHost), 0));
        MailSettings settings = smtpSettings();
        settings.transportUrl = QUrl(u"smtp://127.0.0.1:%1"_s.arg(silent.serverPort()));
        settings.timeoutMs = 1000;
        QElapsedTimer timer;
        timer.start();
        const auto sent = MailTransport(settings).send(u"Spam Complaint"_s, u"A@X.COM;"_s, u"body\r\n"_s);
        QCOMPARE(mailFailureName(sent.error().kind), mailFailureName(MailFailure::Timeout));
        QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    }

    // A server without STARTTLS: refused while [tls] required is true, never a
    // silent fall back to plain text; used when the settings allow plain text.
    void plainServer_data()
    {
        QTest::addColumn<bool>("tlsRequired");
        QTest::newRow("TLS required") << true;
        QTest::newRow("plain text allowed") << false;
    }

    void plainServer()
    {
        QFETCH(bool, tlsRequired);
        SmtpSink plain({});
        QVERIFY2(plain.errorString().isEmpty(), qPrintable(plain.errorString()));
        MailSettings settings = smtpSettings();
        settings.transportUrl = QUrl(u"smtp://localhost:%1"_s.arg(plain.port()));
        settings.tlsRequired = tlsRequired;
        const auto sent = MailTransport(settings).send(u"Spam Complaint"_s, u"A@X.COM;"_s, u"body\r\n"_s);
        if (tlsRequired) {
            QCOMPARE(mailFailureName(sent.error().kind), mailFailureName(MailFailure::Tls));
            QVERIFY2(sent.error().description.contains(u"STARTTLS"_s), qPrintable(sent.error().description));
            QCOMPARE(plain.messages().size(), 0);
        } else {
            QVERIFY2(sent.ok(), qPrintable(sent.error().description));
            QCOMPARE(plain.messages().size(), 1);
        }
    }

    // sendmail://localhost runs the sendmail program with the recipients as
    // arguments and the message on its standard input.
    void sendmail()
    {
        const QString program = m_environment->path() + u"/fake-sendmail"_s;
        const QString record = m_environment->path() + u"/sendmail-record"_s;
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(u"#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1.args'\ncat > '%1.eml'\n"_s.arg(record).toUtf8());
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        MailSettings settings = MailSettings::defaults();
        settings.sendmailPath = program;
        settings.from = u"jane@reporter.example"_s;
        const auto sent = MailTransport(settings).send(u"Spam Complaint"_s, u"A@X.COM;B@Y.ORG;"_s, u"body\r\n"_s);
        QVERIFY2(sent.ok(), qPrintable(sent.error().description));
        QFile arguments(record + u".args"_s);
        QVERIFY(arguments.open(QIODevice::ReadOnly));
        const QByteArrayList lines = arguments.readAll().split('\n');
        QVERIFY2(lines.contains("A@X.COM"), lines.join(" ").constData());
        QVERIFY(lines.contains("B@Y.ORG"));
        QFile message(record + u".eml"_s);
        QVERIFY(message.open(QIODevice::ReadOnly));
        QCOMPARE(decodedBody(message.readAll()), QByteArray("body\n"));
    }
};

QTEST_GUILESS_MAIN(TestMailTransport)
#include "tst_mailtransport.moc"
