// SPDX-License-Identifier: GPL-3.0-or-later
// The mail hosts proposed from the Received chains of a user's own mail.
#include "common/TextCodec.h"
#include "tests/support/HopRows.h"
#include "trust/MailHostLearning.h"
#include "trust/PublicSuffix.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// One message: hops "address | reverse name | v (vouched for) or u | by",
// newest first, separated by ";".
QList<ReceivedHop> chainOf(const QString& message)
{
    return hopsFromRows(message.split(u';', Qt::SkipEmptyParts), u"mx.provider.example"_s);
}

// `count` messages from one pattern: "%1" is the message's number, counted from
// `first`; "%2" the server of a farm of `servers` that took it, from 1.
QStringList many(int count, const QString& pattern, int first = 1, int servers = 1)
{
    QStringList messages;
    for (int i = 0; i < count; ++i) {
        messages.append(QString(pattern)
                            .replace(u"%1"_s, QString::number(first + i))
                            .replace(u"%2"_s, QString::number(i % servers + 1)));
    }
    return messages;
}

QString lines(const QStringList& rendered)
{
    return rendered.isEmpty() ? QString() : rendered.join(u'\n') + u'\n';
}

const QString relay = u"198.18.0.1|mx.provider.example|v|store.provider.example;"_s;
const QString outside = u"198.19.%1.1|out%1.example|v|mx.provider.example;"_s;

} // namespace

class TestMailHostLearning : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void propose_data();
    void propose();
    void realMessages_data();
    void realMessages();
};

void TestMailHostLearning::propose_data()
{
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("rendered");

    QTest::newRow("provider with one relay")
        << many(6, relay + outside)
        << lines({u"mailhosts=198.18.0.1"_s,
                  u"# 198.18.0.1: at the top of 6 of 6 messages, written by store.provider.example"_s});
    QTest::newRow("farm of servers under one domain")
        << many(8, u"198.18.0.%2|mx%2.provider.example|v|store.provider.example;"_s + outside, 1, 4)
        << lines({u"mailhosts=provider.example"_s,
                  u"# provider.example: at the top of 8 of 8 messages, from 4 addresses, written by "
                  u"store.provider.example"_s});
    // Without vouched-for names each server must recur by itself; here none does.
    QTest::newRow("farm without vouched-for names, each server once")
        << many(8, u"198.18.0.%1|mx%1.provider.example|u|store.provider.example;"_s + outside) << QString();
    // A webmail service's many servers hand mail to the provider: its domain is
    // an outside sender's, not the provider's.
    QTest::newRow("large outside sender with many servers")
        << many(8, relay + u"198.19.9.%1|out%1.webmail.example|v|mx.provider.example;"_s)
        << lines({u"mailhosts=198.18.0.1"_s,
                  u"# 198.18.0.1: at the top of 8 of 8 messages, written by store.provider.example"_s});
    QTest::newRow("forwarder below the relay")
        << many(4, relay + u"198.18.9.9|fwd.university.example|v|mx.provider.example;"_s + outside) +
               many(4, relay + outside, 5)
        << lines({u"mailhosts=198.18.0.1,198.18.9.9"_s,
                  u"# 198.18.0.1: at the top of 8 of 8 messages, written by store.provider.example"_s,
                  u"# 198.18.9.9: at the top of 4 of 8 messages, written by mx.provider.example"_s});
    QTest::newRow("private hops passed over, never proposed")
        << many(4, u"127.0.0.1|localhost|v|imap.home;"_s + relay + u"10.1.1.1||u|mx.provider.example;"_s + outside)
        << lines({u"mailhosts=198.18.0.1"_s,
                  u"# 198.18.0.1: at the top of 4 of 4 messages, written by store.provider.example"_s});
    // 9 messages: an entry needs 3 (a quarter, rounded up).
    QTest::newRow("a quarter of the messages, rounded up")
        << many(3, u"198.18.3.3||u|mx.provider.example;"_s + outside) +
               many(2, u"198.18.2.2||u|mx.provider.example;"_s + outside, 4) + many(4, outside, 6)
        << lines({u"mailhosts=198.18.3.3"_s,
                  u"# 198.18.3.3: at the top of 3 of 9 messages, written by mx.provider.example"_s});
    QTest::newRow("one message proposes nothing") << many(1, relay + outside) << QString();
    QTest::newRow("recurring below where outside mail entered")
        << many(5, relay + outside + u"198.18.5.5|forged.example|u|out.example"_s) +
               many(1, relay + u"198.18.5.5|forged.example|u|mx.provider.example"_s, 6)
        << lines({u"mailhosts=198.18.0.1"_s,
                  u"# 198.18.0.1: at the top of 6 of 6 messages, written by store.provider.example"_s});
    // Its second server is seen only in forged lines: one address at the top
    // is no farm.
    QTest::newRow("a domain with one server at the top")
        << many(4, relay + outside + u"198.18.0.2|mx2.provider.example|v|mx3.provider.example"_s)
        << lines({u"mailhosts=198.18.0.1"_s,
                  u"# 198.18.0.1: at the top of 4 of 4 messages, written by store.provider.example"_s});
    // 198.18.4.4 is at the top twice, once only below 198.18.3.3, which is at
    // the top once: without it, 198.18.4.4 is left with one message.
    QTest::newRow("recurring only below a host that does not recur")
        << QStringList{u"198.18.3.3||u|a.example;198.18.4.4||u|b.example;"_s + outside.arg(1),
                       outside.arg(2) + u"198.18.3.3||u|c.example"_s, u"198.18.4.4||u|b.example;"_s + outside.arg(3)} +
               many(3, outside, 4)
        << QString();
    QTest::newRow("IPv4-mapped IPv6 is the IPv4 address")
        << many(2, u"::ffff:198.18.0.1||u|mx.provider.example;"_s + outside) +
               many(2, u"198.18.0.1||u|mx.provider.example;"_s + outside, 3)
        << lines({u"mailhosts=198.18.0.1"_s,
                  u"# 198.18.0.1: at the top of 4 of 4 messages, written by mx.provider.example"_s});
    QTest::newRow("writers most frequent first, and how many more")
        << many(3, u"198.18.0.1||u|A.provider.example.;"_s + outside) +
               QStringList{u"198.18.0.1||u|d.provider.example;"_s + outside.arg(7),
                           u"198.18.0.1||u|c.provider.example;"_s + outside.arg(8),
                           u"198.18.0.1||u|b.provider.example;"_s + outside.arg(9),
                           u"198.18.0.1||u|e.provider.example;"_s + outside.arg(10)}
        << lines({u"mailhosts=198.18.0.1"_s, u"# 198.18.0.1: at the top of 7 of 7 messages, written by "
                                             u"a.provider.example, d.provider.example, c.provider.example "
                                             u"and 2 more"_s});
    // The provider's gateway above its farm: both proposed, each once.
    QTest::newRow("gateway above a farm")
        << many(6,
                u"198.18.7.7|gw.provider.example|u|store.provider.example;"_s +
                    u"198.18.1.%2|in%2.provider.example|v|gw.provider.example;"_s + outside,
                1, 3)
        << lines({u"mailhosts=198.18.7.7,provider.example"_s,
                  u"# 198.18.7.7: at the top of 6 of 6 messages, written by store.provider.example"_s,
                  u"# provider.example: at the top of 6 of 6 messages, from 3 addresses, written by "
                  u"gw.provider.example"_s});
}

void TestMailHostLearning::propose()
{
    QFETCH(QStringList, messages);
    QFETCH(QString, rendered);
    QList<QList<ReceivedHop>> chains;
    for (const QString& message : messages) {
        chains.append(chainOf(message));
    }
    const MailHostProposal proposal = proposeMailHosts(chains, registeredDomain);
    QCOMPARE(renderMailHostProposal(proposal), rendered);
    // Whatever is proposed is a list the settings reader takes.
    QVERIFY(parseMailHosts(proposal.mailHostsValue()).has_value());
}

void TestMailHostLearning::realMessages_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("rendered");
    // One person's mail, fetched by IMAP from the same server; the other server
    // address of that host and the forwarder are seen too seldom at the top.
    QTest::newRow("one person's mail: the server it was fetched from")
        << QStringList{u"sa-ham-002_exim-http.eml"_s, u"sa-spam-003_dialup-envelope-from-fold.eml"_s,
                       u"sa-spam-004_exchange-ims-squirrelmail.eml"_s, u"sa-spam-005.eml"_s}
        << lines(
               {u"mailhosts=212.17.35.15"_s, u"# 212.17.35.15: at the top of 3 of 4 messages, written by localhost"_s});
    QStringList everyone;
    for (const QString& file : QDir(QStringLiteral(ZELKOR_TEST_DATA_DIR "/../../../shared/testdata/mail/"))
                                   .entryList({u"*.eml"_s}, QDir::Files, QDir::Name)) {
        everyone.append(file);
    }
    QTest::newRow("many people's mail has no provider in common") << everyone << QString();
}

// The shared messages lie beside the project: tests/data/../../../shared.
void TestMailHostLearning::realMessages()
{
    QFETCH(QStringList, files);
    QFETCH(QString, rendered);
    QVERIFY(files.size() > 1);
    QList<QList<ReceivedHop>> chains;
    for (const QString& file : files) {
        QFile message(QStringLiteral(ZELKOR_TEST_DATA_DIR "/../../../shared/testdata/mail/") + file);
        QVERIFY2(message.open(QIODevice::ReadOnly), qPrintable(message.fileName()));
        chains.append(ParseReceivedChain(decodeTextFile(message.readAll())));
    }
    QCOMPARE(renderMailHostProposal(proposeMailHosts(chains, registeredDomain)), rendered);
}

QTEST_GUILESS_MAIN(TestMailHostLearning)
#include "tst_mailhostlearning.moc"
