// SPDX-License-Identifier: GPL-3.0-or-later
// The mail layer against loopback servers (Dovecot, the SMTP sink) and Maildir
// folders: selecting the next message in folders of 10, 1,000 and 10,000
// messages, a whole load, a send, and a batch's time per message.
#include "app/bench/BenchData.h"
#include "mailbox/MailStore.h"
#include "mailbox/MailTransport.h"
#include "tests/support/DovecotServer.h"
#include "tests/support/MailBench.h"
#include "tests/support/MailTestEnvironment.h"
#include "tests/support/SmtpSink.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSet>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString User = u"bench"_s;
const QString Password = u"bench-password"_s;
constexpr int FolderSizes[] = {10, 1000, 10000};

double secondsOf(const QElapsedTimer& clock)
{
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

// The servers and folders of the selection and send figures, made on first
// use and shared by them; each folder is filled once.
class MailServers
{
public:
    MailServers()
        : m_dovecot(User, Password)
        , m_sink({})
        , m_maildirRoot(m_environment.path() + u"/Maildir"_s)
    {
        QDir().mkpath(m_maildirRoot + u"/cur"_s);
        QFile file(QStringLiteral(ZELKOR_BENCH_DATA_DIR) + u"/mail/sa-spam-001.eml"_s);
        m_message = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("Subject: x\n\nx\n");
    }

    QString failure() const { return m_dovecot.errorString() + m_sink.errorString(); }
    const SmtpSink& sink() const { return m_sink; }

    /// The settings of a folder of `count` messages, filled on first use.
    MailSettings folder(bool imap, int count)
    {
        const QString name = u"Bench%1"_s.arg(count);
        MailSettings settings = MailSettings::defaults();
        settings.folder = name;
        settings.caFile = m_dovecot.certificates().caFile;
        settings.storeUrl = imap ? QUrl(u"imap://%1@localhost:%2"_s.arg(User).arg(m_dovecot.imapPort()))
                                 : QUrl(u"maildir://localhost"_s + m_maildirRoot);
        const QString key = (imap ? u"imap/"_s : u"maildir/"_s) + name;
        if (!m_filled.contains(key)) {
            m_filled.insert(key);
            for (int i = 0; i < count; ++i) {
                const QString fileName = u"%1.M%2P1.bench"_s.arg(1600000000 + i).arg(i);
                if (imap) {
                    m_dovecot.deliver(name, fileName, m_message);
                } else {
                    deliverToMaildir(m_maildirRoot + u"/."_s + name, fileName, m_message);
                }
            }
        }
        return settings;
    }

private:
    MailTestEnvironment m_environment;
    DovecotServer m_dovecot;
    SmtpSink m_sink;
    QString m_maildirRoot;
    QByteArray m_message;
    QSet<QString> m_filled;
};

std::unique_ptr<MailServers> servers;

MailServers* mailServers(benchmark::State& state)
{
    if (!servers) {
        servers = std::make_unique<MailServers>();
    }
    if (!servers->failure().isEmpty()) {
        state.SkipWithError(qUtf8Printable(u"mail servers not available: "_s + servers->failure()));
        return nullptr;
    }
    return servers.get();
}

// The selection and its header on an open session, after a first look that
// lets Dovecot index the folder.
void Selection(benchmark::State& state, bool imap)
{
    MailServers* mail = mailServers(state);
    if (mail == nullptr) {
        return;
    }
    const int count = static_cast<int>(state.range(0));
    MailStore session(mail->folder(imap, count), Password);
    if (MailError error = session.open()) {
        state.SkipWithError(qUtf8Printable(error.description));
        return;
    }
    (void)session.selection();
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const auto selection = session.selection();
        if (selection.ok() && !selection.value().empty()) {
            benchmark::DoNotOptimize(session.GetMessage(selection.value().front().EntryID));
        }
        state.SetIterationTime(secondsOf(clock));
    }
    session.close();
    state.SetLabel(std::to_string(count) + " messages");
}

// A whole load: open (with STARTTLS and log-in on IMAP), caption, selection,
// header, close.
void WholeLoad(benchmark::State& state, bool imap)
{
    MailServers* mail = mailServers(state);
    if (mail == nullptr) {
        return;
    }
    const int count = static_cast<int>(state.range(0));
    const MailSettings settings = mail->folder(imap, count);
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        MailStore fresh(settings, Password);
        if (fresh.open().ok()) {
            (void)fresh.caption();
            const auto selection = fresh.selection();
            if (selection.ok() && !selection.value().empty()) {
                benchmark::DoNotOptimize(fresh.GetMessage(selection.value().front().EntryID));
            }
        }
        fresh.close();
        state.SetIterationTime(secondsOf(clock));
    }
    state.SetLabel(std::to_string(count) + " messages");
}

void Send(benchmark::State& state)
{
    MailServers* mail = mailServers(state);
    if (mail == nullptr) {
        return;
    }
    MailSettings settings = MailSettings::defaults();
    settings.transportUrl = QUrl(u"smtp://127.0.0.1:%1"_s.arg(mail->sink().port()));
    settings.tlsRequired = false;
    settings.from = u"bench@example.org"_s;
    const QString body = QString(u"Received: from x ([192.0.2.1]) by y\r\n"_s).repeated(20);
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        MailTransport transport(settings);
        if (!transport.send(u"Spam Complaint"_s, u"abuse@a.example;abuse@b.example;"_s, body).ok()) {
            state.SkipWithError("the send failed");
            return;
        }
        state.SetIterationTime(secondsOf(clock));
    }
    state.SetLabel("two recipients, plain SMTP");
}

constexpr int BatchLookupMs = 200;
constexpr int BatchMessages = 10;

// Runs the batch over the first ten messages of a folder of `count` (each with
// one whois lookup of 200 ms); its time is the time per message.
void Batch(benchmark::State& state, bool imap)
{
    // The batch brings servers and a settings file of its own.
    servers.reset();
    const int count = static_cast<int>(state.range(0));
    double beyondLookups = 0;
    for (auto _ : state) {
        // The folder is filled outside the measured time (manual time is taken
        // from the clock below; this keeps the CPU column about the batch too).
        state.PauseTiming();
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
        state.ResumeTiming();
        int done = 0;
        QObject::connect(&bench.workbench, &Workbench::batchProgress, &bench.workbench, [&] {
            if (++done == BatchMessages) {
                bench.workbench.setAutomate(false);
            }
        });
        QEventLoop loop;
        QObject::connect(&bench.workbench, &Workbench::batchEnded, &loop, &QEventLoop::quit);
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        QElapsedTimer clock;
        clock.start();
        bench.workbench.setAutomate(true);
        bench.workbench.StartFromMailbox();
        loop.exec();
        qunsetenv("ZELKOR_MAIL_PASSWORD");
        if (done == 0) {
            state.SkipWithError("the batch reported nothing");
            return;
        }
        const double perMessage = secondsOf(clock) / done;
        state.SetIterationTime(perMessage);
        beyondLookups += perMessage * 1000.0 - BatchLookupMs;
    }
    state.counters["ms_beyond_lookup_per_message"] = beyondLookups / static_cast<double>(state.iterations());
    state.SetLabel(std::to_string(count) + " messages, " + std::to_string(BatchMessages) + " reported");
}

void registerPerFolderSize(const char* name, void (*function)(benchmark::State&, bool), bool imap, int iterations)
{
    benchmark::internal::Benchmark* benchmark = benchmark::RegisterBenchmark(name, function, imap);
    for (const int count : FolderSizes) {
        benchmark->Arg(count);
    }
    benchmark->UseManualTime()->Iterations(iterations)->Unit(benchmark::kMillisecond);
}

} // namespace

void registerMailFigures()
{
    registerPerFolderSize("MailSelection/IMAP", Selection, true, 7);
    registerPerFolderSize("MailSelection/Maildir", Selection, false, 7);
    registerPerFolderSize("MailWholeLoad/IMAP", WholeLoad, true, 5);
    registerPerFolderSize("MailWholeLoad/Maildir", WholeLoad, false, 5);
    benchmark::RegisterBenchmark("MailSend/smtp_sink", Send)
        ->UseManualTime()
        ->Iterations(7)
        ->Unit(benchmark::kMillisecond);
    for (const bool imap : {true, false}) {
        benchmark::RegisterBenchmark(imap ? "BatchPerMessage/IMAP" : "BatchPerMessage/Maildir", Batch, imap)
            ->Arg(10)
            ->Arg(1000)
            ->UseManualTime()
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    }
}

void releaseMailServers()
{
    servers.reset();
}
