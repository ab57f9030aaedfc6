// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/MailBench.h"

#include "journal/Journal.h"
#include "tests/support/DnsmasqServer.h"

#include <QDir>
#include <QSignalSpy>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

QByteArray mailMessage(const QByteArray& header, const QByteArray& contentAndBody)
{
    return header + "MIME-Version: 1.0\n" + contentAndBody;
}

QString headerBlockOf(const QByteArray& message)
{
    return QString::fromUtf8(message.left(message.indexOf("\n\n") + 2)).replace(u"\n"_s, u"\r\n"_s);
}

MailBench::MailBench()
    // A contact zone, when a test sets one, is asked of a loopback port where
    // nobody answers: never of a public server.
    : workbench({resolver,
                 host,
                 programDirectory.path(),
                 {200ms, registries.serverMap()},
                 {},
                 {.dnsServers = DnsmasqServer::unusedAddress(), .limit = 2000ms},
                 Journal::defaultPath()})
{
    QDir().mkpath(maildir() + u"/cur"_s);
    resolver.answers.insert(u"192.0.2.7"_s, {u"mx.a.example"_s, 0});
    // A batch sends nothing for a message whose lookup got no answer, so
    // every query gets one, of a network without contacts.
    registries.server(Registry::ARIN).setDefaultReply(TestWhoisServer::Reply::text(u"% No contact is listed.\n"_s));
    configure(u"Junk"_s);
}

QString MailBench::maildir() const
{
    return environment.path() + u"/Maildir"_s;
}

QString MailBench::folderDirectory(const QString& folder) const
{
    return folder == u"INBOX" ? maildir() : maildir() + u"/."_s + folder;
}

QStringList MailBench::messageFiles(const QString& folder) const
{
    QStringList names;
    for (const QString& sub : {u"/cur"_s, u"/new"_s}) {
        names += QDir(folderDirectory(folder) + sub).entryList(QDir::Files);
    }
    names.sort();
    return names;
}

void MailBench::configure(const QString& folder, const QString& storeUrl, const QString& transportUrl,
                          const QString& moreStoreLines)
{
    const QString store = storeUrl.isEmpty() ? u"maildir://localhost"_s + maildir() : storeUrl;
    const QString transport = transportUrl.isEmpty() ? u"smtp://127.0.0.1:%1"_s.arg(sink.port()) : transportUrl;
    environment.writeConfig(u"[store]\nurl=%1\nfolder=%2\n%3[transport]\nurl=%4\nfrom=Doe, Jane <jane@example.org>\n"
                            u"[tls]\nrequired=false\nca_file=%5\n[network]\ntimeout=2\n"_s
                                .arg(store, folder, moreStoreLines, transport, caFile)
                                .toUtf8());
}

void MailBench::deliver(const QString& folder, const QString& name, const QByteArray& bytes)
{
    deliverToMaildir(folderDirectory(folder), name, bytes);
}

std::optional<bool> MailBench::startFromMailbox()
{
    QSignalSpy ended(&workbench, &Workbench::mailboxLoadEnded);
    workbench.StartFromMailbox();
    if (!ended.wait(15000)) {
        return std::nullopt;
    }
    return ended.first().first().toBool();
}

std::optional<bool> MailBench::reportSpammer()
{
    QSignalSpy ended(&workbench, &Workbench::complaintSendEnded);
    workbench.ReportSpammer();
    if (!ended.wait(15000)) {
        return std::nullopt;
    }
    return ended.first().first().toBool();
}

bool MailBench::runTrace()
{
    QSignalSpy finished(&workbench, &Workbench::traceFinished);
    workbench.StartByHand();
    return finished.wait(10000);
}

std::optional<MailBench::Batch> MailBench::runBatch()
{
    Batch batch;
    const QMetaObject::Connection progress = QObject::connect(
        &workbench, &Workbench::batchProgress, &workbench, [&batch](const QString& line) { batch.lines.append(line); });
    QSignalSpy ended(&workbench, &Workbench::batchEnded);
    workbench.AutomateClicked(true);
    workbench.StartFromMailbox();
    const bool done = !ended.isEmpty() || ended.wait(60000);
    QObject::disconnect(progress);
    if (!done) {
        return std::nullopt;
    }
    batch.end = ended.first().at(0).value<Workbench::BatchEnd>();
    batch.reason = ended.first().at(1).toString();
    return batch;
}
