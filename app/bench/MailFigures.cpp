// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/bench/MailFigures.h"

#include "mailbox/MailStore.h"
#include "mailbox/MailTransport.h"
#include "tests/support/DovecotServer.h"
#include "tests/support/MailBench.h"
#include "tests/support/MailTestEnvironment.h"
#include "tests/support/SmtpSink.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString User = u"bench"_s;
const QString Password = u"bench-password"_s;

double medianMs(std::vector<qint64> nanoseconds)
{
    std::sort(nanoseconds.begin(), nanoseconds.end());
    return static_cast<double>(nanoseconds[nanoseconds.size() / 2]) / 1e6;
}

struct Store
{
    const char* name;
    MailSettings settings;
    std::function<void(const QString& uniqueName, const QByteArray& message)> deliver;
};

// The selection and its header on an open session (median of 7, after a first
// look that lets Dovecot index the folder), and a whole load: open, caption,
// selection, header, close.
void measureFolder(const Store& store, int count)
{
    MailStore session(store.settings, Password);
    if (MailError error = session.open()) {
        std::printf("%s: %s\n", store.name, qUtf8Printable(error.description));
        return;
    }
    (void)session.selection();
    std::vector<qint64> selections;
    QElapsedTimer clock;
    for (int run = 0; run < 7; ++run) {
        clock.start();
        const auto selection = session.selection();
        if (selection.ok() && !selection.value().empty()) {
            (void)session.GetMessage(selection.value().front().EntryID);
        }
        selections.push_back(clock.nsecsElapsed());
    }
    session.close();

    std::vector<qint64> loads;
    for (int run = 0; run < 5; ++run) {
        clock.start();
        MailStore fresh(store.settings, Password);
        if (fresh.open().ok()) {
            (void)fresh.caption();
            const auto selection = fresh.selection();
            if (selection.ok() && !selection.value().empty()) {
                (void)fresh.GetMessage(selection.value().front().EntryID);
            }
        }
        fresh.close();
        loads.push_back(clock.nsecsElapsed());
    }
    std::printf("%-8s %6d messages: selection + header %8.2f ms   whole load %8.2f ms\n", store.name, count,
                medianMs(selections), medianMs(loads));
}

void measureSend(const SmtpSink& sink)
{
    MailSettings settings = MailSettings::defaults();
    settings.transportUrl = QUrl(u"smtp://127.0.0.1:%1"_s.arg(sink.port()));
    settings.tlsRequired = false;
    settings.from = u"bench@example.org"_s;
    const QString body = QString(u"Received: from x ([192.0.2.1]) by y\r\n"_s).repeated(20);
    std::vector<qint64> sends;
    QElapsedTimer clock;
    for (int run = 0; run < 7; ++run) {
        clock.start();
        MailTransport transport(settings);
        if (!transport.send(u"Spam Complaint"_s, u"abuse@a.example;abuse@b.example;"_s, body).ok()) {
            std::printf("send failed\n");
            return;
        }
        sends.push_back(clock.nsecsElapsed());
    }
    std::printf("%-44s %10.2f ms (median of 7, two recipients, plain SMTP)\n", "send to the SMTP sink",
                medianMs(sends));
}

// Runs the batch over the first `processed` messages of a folder of `count` and
// prints the time per message beyond its one whois lookup window.
void measureBatch(const char* name, bool imap, int count, int processed)
{
    MailBench bench;
    std::unique_ptr<DovecotServer> dovecot;
    if (imap) {
        dovecot = std::make_unique<DovecotServer>(User, Password);
        qputenv("ZELKOR_MAIL_PASSWORD", Password.toUtf8());
        bench.caFile = dovecot->certificates().caFile;
        bench.configure(u"Junk"_s, u"imap://%1@localhost:%2"_s.arg(User).arg(dovecot->imapPort()));
    }
    for (int i = 0; i < count; ++i) {
        const QString fileName = u"%1.M%2P1.bench"_s.arg(1600000000 + i).arg(i);
        const QByteArray message = "Received: from relay ([192.0.2.7]) by mx.example.org\nSubject: offer " +
                                   QByteArray::number(i) + "\n\nbuy now\n";
        if (imap) {
            dovecot->deliver(u"Junk"_s, fileName, message);
        } else {
            bench.deliver(u"Junk"_s, fileName, message);
        }
    }
    int done = 0;
    QObject::connect(&bench.workbench, &Workbench::batchProgress, &bench.workbench, [&] {
        if (++done == processed) {
            bench.workbench.setAutomate(false);
        }
    });
    QEventLoop loop;
    QObject::connect(&bench.workbench, &Workbench::batchEnded, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    bench.workbench.setAutomate(true);
    bench.workbench.StartFromMailbox();
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    const double beyond = static_cast<double>(clock.elapsed()) / done - 200.0;
    std::printf("batch, %-8s %6d messages:           %8.1f ms per message beyond its 200 ms lookup (%d messages)\n",
                name, count, beyond, done);
    qunsetenv("ZELKOR_MAIL_PASSWORD");
}

} // namespace

void benchBatch()
{
    for (const int count : {10, 1000}) {
        measureBatch("IMAP", true, count, 10);
        measureBatch("Maildir", false, count, 10);
    }
}

void benchMail()
{
    MailTestEnvironment environment;
    DovecotServer dovecot(User, Password);
    SmtpSink sink({});
    if (!dovecot.errorString().isEmpty() || !sink.errorString().isEmpty()) {
        std::printf("mail servers not available: %s %s\n", qUtf8Printable(dovecot.errorString()),
                    qUtf8Printable(sink.errorString()));
        return;
    }
    QFile file(QStringLiteral(ZELKOR_BENCH_DATA_DIR) + u"/mail/sa-spam-001.eml"_s);
    const QByteArray message = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("Subject: x\n\nx\n");
    const QString maildirRoot = environment.path() + u"/Maildir"_s;
    QDir().mkpath(maildirRoot + u"/cur"_s);

    for (const int count : {10, 1000, 10000}) {
        const QString folder = u"Bench%1"_s.arg(count);
        MailSettings imap = MailSettings::defaults();
        imap.folder = folder;
        imap.storeUrl = QUrl(u"imap://%1@localhost:%2"_s.arg(User).arg(dovecot.imapPort()));
        imap.caFile = dovecot.certificates().caFile;
        MailSettings maildir = imap;
        maildir.storeUrl = QUrl(u"maildir://localhost"_s + maildirRoot);
        const Store stores[] = {
            {"IMAP", imap, [&](const QString& name, const QByteArray& bytes) { dovecot.deliver(folder, name, bytes); }},
            {"Maildir", maildir,
             [&](const QString& name, const QByteArray& bytes) {
                 deliverToMaildir(maildirRoot + u"/."_s + folder, name, bytes);
             }},
        };
        for (const Store& store : stores) {
            for (int i = 0; i < count; ++i) {
                store.deliver(u"%1.M%2P1.bench"_s.arg(1600000000 + i).arg(i), message);
            }
            measureFolder(store, count);
        }
    }
    measureSend(sink);
}
