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

    void recipients_data()
    {
        QTest::addColumn<QString>("to");
        QTest::addColumn<MailFailure>("failure");
        QTest::addColumn<QStringList>("delivered");
        QTest::addColumn<QStringList>("refused");
        QTest::newRow("one refused, one accepted") << u"A@X.COM;%1;"_s.arg(refusedAddress) << MailFailure::None
                                                   << QStringList{u"A@X.COM"_s} << QStringList{refusedAddress};
        QTest::newRow("every recipient refused")
            << refusedAddress + u';' << MailFailure::RecipientsRefused << QStringList{} << QStringList{refusedAddress};
        QTest::newRow("empty To") << QString() << MailFailure::NoRecipients << QStringList{} << QStringList{};
        QTest::newRow("only separators") << u" ; ;"_s << MailFailure::NoRecipients << QStringList{} << QStringList{};
        QTest::newRow("not an address") << u"A@X.COM;not an address;"_s << MailFailure::None
                                        << QStringList{u"A@X.COM"_s} << QStringList{u"not an address"_s};
        QTest::newRow("no address at all")
            << u"nobody;x@;"_s << MailFailure::RecipientsRefused << QStringList{} << QStringList{u"nobody"_s, u"x@"_s};
    }

    void recipients()
    {
        QFETCH(QString, to);
        QFETCH(MailFailure, failure);
        QFETCH(QStringList, delivered);
        QFETCH(QStringList, refused);
        MailTransport transport(smtpSettings());
        const auto sent = transport.send(u"Spam Complaint"_s, to, u"body\r\n"_s);
        QCOMPARE(mailFailureName(sent.error().kind), mailFailureName(failure));
        const QString said = sent.ok() ? sent.value().refused.join(u' ') : sent.error().description;
        for (const QString& address : refused) {
            QVERIFY2(said.contains(address), qPrintable(said));
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
