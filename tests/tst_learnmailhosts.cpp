// SPDX-License-Identifier: GPL-3.0-or-later
// zelkor-report --learn-mailhosts [FOLDER] [--write] against an IMAP Inbox of
// ordinary mail on Dovecot.
#include "tests/support/DovecotServer.h"
#include "tests/support/MailTestEnvironment.h"
#include "tests/support/ReportProcess.h"

#include <QFile>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Mail that came to alice through her provider's relay from a different
// sender each time.
QByteArray ordinaryMessage(int sender)
{
    return u"Received: from mx1.mail-provider.example (mx1.mail-provider.example [198.18.0.10])\r\n"
           u"\tby imap.mail-provider.example (Postfix) with ESMTPS id 4A%1\r\n"
           u"\tfor <alice@mail-provider.example>; Mon, 2 Sep 2024 10:0%1:05 +0000\r\n"
           u"Received: from out.sender-%1.example (out.sender-%1.example [198.19.%1.25])\r\n"
           u"\tby mx1.mail-provider.example (Postfix) with ESMTPS id 4B%1\r\n"
           u"\tfor <alice@mail-provider.example>; Mon, 2 Sep 2024 10:0%1:04 +0000\r\n"
           u"From: Sender %1 <someone@sender-%1.example>\r\n"
           u"To: alice@mail-provider.example\r\n"
           u"Subject: Ordinary message %1\r\n"
           u"Message-ID: <%1@sender-%1.example>\r\n"
           u"\r\n"
           u"Hello.\r\n"_s.arg(sender)
               .toUtf8();
}

// A note from the machine's own cron: private hops only.
const QByteArray localMessage = "Received: from localhost (localhost [127.0.0.1])\r\n"
                                "\tby imap.mail-provider.example (Postfix) with ESMTP id 4C1\r\n"
                                "\tfor <alice@mail-provider.example>; Mon, 2 Sep 2024 11:00:00 +0000\r\n"
                                "Subject: cron\r\n\r\nDone.\r\n";

const QByteArray proposal = "mailhosts=198.18.0.10\n"
                            "# 198.18.0.10: at the top of 5 of 5 messages, written by imap.mail-provider.example\n";

} // namespace

class TestLearnMailHosts final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MailTestEnvironment> m_environment;
    std::unique_ptr<DovecotServer> m_dovecot;

    QByteArray settings(const QByteArray& storeUrl) const
    {
        return "[store]\nurl=" + storeUrl +
               "\nfolder=Junk\n[tls]\nrequired=false\nca_file=" + QFile::encodeName(m_dovecot->certificates().caFile) +
               "\n\n# Relay trust\n[trust]\nenabled=true\nmailhosts = 10.9.9.9 ; a guess\n";
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_environment = std::make_unique<MailTestEnvironment>();
        m_dovecot = std::make_unique<DovecotServer>(u"alice"_s, u"secret"_s);
        QVERIFY2(m_dovecot->errorString().isEmpty(), qPrintable(m_dovecot->errorString()));
        for (int sender = 1; sender <= 5; ++sender) {
            m_dovecot->deliver(u"INBOX"_s, u"170000000%1.M1P1.ordinary"_s.arg(sender), ordinaryMessage(sender));
        }
        m_dovecot->deliver(u"INBOX"_s, u"1700000009.M1P1.cron"_s, localMessage);
        m_dovecot->deliver(u"Junk"_s, u"1700000001.M1P1.one"_s, ordinaryMessage(7));
    }

    void run_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("usableSettings");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");
        // "{port}" is the IMAP server's port, "{file}" the settings file.
        QTest::addColumn<QString>("errorPart");

        QTest::newRow("the Inbox: proposed, nothing written")
            << QStringList{u"--learn-mailhosts"_s} << true << 0 << proposal
            << u"Inbox on the IMAP server localhost:{port}: 6 newest messages read, 5 through a public address"_s;
        QTest::newRow("--write puts it into [trust]")
            << QStringList{u"--learn-mailhosts"_s, u"--write"_s} << true << 0 << proposal
            << u"wrote mailhosts=198.18.0.10 into [trust] of {file} (it was: 10.9.9.9)"_s;
        QTest::newRow("a folder of one message proposes nothing")
            << QStringList{u"--learn-mailhosts"_s, u"Junk"_s, u"--write"_s} << true << 3 << QByteArray()
            << u"nothing to propose: Junk on the IMAP server localhost:{port}: 1 newest message read"_s;
        QTest::newRow("unusable settings")
            << QStringList{u"--learn-mailhosts"_s, u"--write"_s} << false << 2 << QByteArray() << u"[store] url"_s;
    }

    void run()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, usableSettings);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QString, errorPart);
        const QByteArray before =
            settings(usableSettings ? u"imap://alice@localhost:%1"_s.arg(m_dovecot->imapPort()).toUtf8()
                                    : QByteArray("ftp://alice@localhost"));
        m_environment->writeConfig(before);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"ZELKOR_MAIL_PASSWORD"_s, u"secret"_s);

        const ReportOutcome outcome = runZelkorReport(arguments, environment);
        QVERIFY2(outcome.exitCode == exitCode, outcome.err.constData());
        QCOMPARE(outcome.out, out);
        const QString expectedError = QString(errorPart)
                                          .replace(u"{port}"_s, QString::number(m_dovecot->imapPort()))
                                          .replace(u"{file}"_s, m_environment->configFile());
        QVERIFY2(QString::fromUtf8(outcome.err).contains(expectedError), outcome.err.constData());
        QByteArray after = before;
        if (exitCode == 0 && arguments.contains(u"--write"_s)) {
            after.replace("mailhosts = 10.9.9.9 ; a guess", "mailhosts = 198.18.0.10");
        }
        QFile file(m_environment->configFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), after);
        // Learning reads only: no message is marked read.
        for (const QString& name : m_dovecot->messageFiles(u"INBOX"_s)) {
            QVERIFY2(!name.section(u":2,"_s, 1).contains(u'S'), qPrintable(name));
        }
    }
};

QTEST_GUILESS_MAIN(TestLearnMailHosts)
#include "tst_learnmailhosts.moc"
