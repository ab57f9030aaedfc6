// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/report/ReportRun.h"

#include "app/report/ReportOutput.h"
#include "resolve/CaresResolver.h"
#include "workbench/Workbench.h"
#include "workbench/WorkbenchHost.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

/// Headless answers to what the window would show.
class ConsoleHost final : public WorkbenchHost
{
public:
    explicit ConsoleHost(bool answerYes = false)
        : m_answerYes(answerYes)
    {}

    void showStartupFailure(const QString& message) override
    {
        const QString text = message.isEmpty() ? QStringLiteral("the resolver could not be started") : message;
        std::fprintf(stderr, "zelkor-report: %s\n", qUtf8Printable(text));
    }

    void setBusy(bool) override {}

    // Nobody is there to answer: a question is printed and declined, unless
    // the command line answered it beforehand (--yes the Inbox warning; --again
    // sends without asking whether to report a message again).
    bool askOkCancel(const QString& title, const QString& text) override
    {
        showMessage(title, text);
        return title != AlreadyReportedTitle && m_answerYes;
    }

    void showMessage(const QString& title, const QString& text) override
    {
        std::fprintf(stderr, "zelkor-report: %s: %s\n", qUtf8Printable(title), qUtf8Printable(text));
    }

private:
    bool m_answerYes;
};

void printProgress(const QElapsedTimer& clock, const QString& status)
{
    if (status.isEmpty()) {
        return;
    }
    std::fprintf(stderr, "[%7.3f s] %s\n", static_cast<double>(clock.elapsed()) / 1000.0, qUtf8Printable(status));
}

bool stoppedOnError(const Workbench& workbench)
{
    return workbench.state().txtWhoStatus.startsWith(SomethingBadHappened);
}

// Runs the event loop until `signal` comes; returns its argument.
template <typename Signal>
bool waitFor(Workbench& workbench, Signal signal)
{
    bool outcome = false;
    QEventLoop loop;
    QObject::connect(&workbench, signal, &loop, [&](bool value) {
        outcome = value;
        loop.quit();
    });
    loop.exec();
    return outcome;
}

void waitForTrace(Workbench& workbench)
{
    if (workbench.isTracing()) {
        QEventLoop loop;
        QObject::connect(&workbench, &Workbench::traceFinished, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

/// The workbench of one headless run, with its resolver and face, set up as the
/// request says; the clock times the progress lines.
struct HeadlessBench
{
    explicit HeadlessBench(const ReportRequest& request)
        : resolver(request.dnsServers)
        , host(request.yes)
        , workbench({resolver,
                     host,
                     request.programDirectory,
                     {.servers = request.whoisServers},
                     {},
                     {.dnsServers = request.dnsServers},
                     request.journalPath})
    {
        workbench.setDailyLimits(request.dailyLimits);
        workbench.setCacheHours(request.cacheHours);
        workbench.setSendAgain(request.again);
        workbench.setTraceEnabled(request.trace);
        workbench.setRdapEnabled(request.rdap);
        workbench.setTrust(request.trust);
        workbench.setDesignated(request.designated);
        workbench.setContactZone(request.contactZone);
        clock.start();
    }

    CaresResolver resolver;
    ConsoleHost host;
    Workbench workbench;
    QElapsedTimer clock;
};

} // namespace

WorkbenchState runReport(const ReportRequest& request)
{
    HeadlessBench bench(request);
    Workbench& workbench = bench.workbench;
    const QElapsedTimer& clock = bench.clock;
    if (request.progress) {
        QObject::connect(&workbench, &Workbench::changed, &workbench, [&](Workbench::Field field) {
            if (field == Workbench::Field::Status) {
                printProgress(clock, workbench.state().txtWhoStatus);
            } else if (field == Workbench::Field::ReverseLookup && !workbench.state().reverseLookup.isEmpty()) {
                printProgress(clock, u"Reverse lookup "_s + workbench.state().reverseLookup);
            }
        });
        QObject::connect(&workbench, &Workbench::rdapAnswered, &workbench, [&](qsizetype index) {
            const RdapResult& result = workbench.state().rdap.at(index);
            printProgress(clock, u"RDAP "_s + result.address + u"  "_s + rdapSummary(result));
        });
        QObject::connect(&workbench, &Workbench::contactDbAnswered, &workbench, [&](qsizetype index) {
            const ContactDbResult& result = workbench.state().contactDb.at(index);
            printProgress(clock, u"Contact database "_s + result.address + u"  "_s + contactDbSummary(result));
        });
    }

    workbench.Load();
    bool analysed = true;
    if (request.mailbox) {
        // The load's end comes after the Start command has run on the message.
        QTimer::singleShot(0, &workbench, &Workbench::StartFromMailbox);
        analysed = waitFor(workbench, &Workbench::mailboxLoadEnded);
    } else {
        workbench.setHeaderText(request.message.header);
        workbench.setBodyText(request.message.body);
        workbench.StartByHand();
    }
    waitForTrace(workbench);
    if (request.send && analysed && !stoppedOnError(workbench)) {
        QTimer::singleShot(0, &workbench, &Workbench::ReportSpammer);
        waitFor(workbench, &Workbench::complaintSendEnded);
    }
    workbench.Unload();
    return workbench.state();
}

BatchReport runBatch(const ReportRequest& request)
{
    HeadlessBench bench(request);
    Workbench& workbench = bench.workbench;
    const QElapsedTimer& clock = bench.clock;
    if (request.progress) {
        QObject::connect(&workbench, &Workbench::batchProgress, &workbench,
                         [&](const QString& line) { printProgress(clock, line); });
    }

    BatchReport report;
    QEventLoop loop;
    QObject::connect(&workbench, &Workbench::batchEnded, &loop, [&](Workbench::BatchEnd end, const QString& reason) {
        report = {end == Workbench::BatchEnd::Finished, reason};
        loop.quit();
    });
    workbench.Load();
    workbench.setAutomate(true);
    QTimer::singleShot(0, &workbench, &Workbench::StartFromMailbox);
    loop.exec();
    workbench.Unload();
    return report;
}
