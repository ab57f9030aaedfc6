// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/report/ReportRun.h"

#include "resolve/CaresResolver.h"
#include "workbench/Workbench.h"
#include "workbench/WorkbenchHost.h"

#include <QElapsedTimer>
#include <QEventLoop>

#include <cstdio>

namespace {

/// Headless answers to what the window would show.
class ConsoleHost final : public WorkbenchHost
{
public:
    void showStartupFailure(const QString& message) override
    {
        const QString text = message.isEmpty() ? QStringLiteral("the resolver could not be started") : message;
        std::fprintf(stderr, "zelkor-report: %s\n", qUtf8Printable(text));
    }

    void setBusy(bool) override {}
};

void printProgress(const QElapsedTimer& clock, const QString& status)
{
    if (status.isEmpty()) {
        return;
    }
    std::fprintf(stderr, "[%7.3f s] %s\n", static_cast<double>(clock.elapsed()) / 1000.0, qUtf8Printable(status));
}

} // namespace

WorkbenchState runReport(const ReportRequest& request)
{
    CaresResolver resolver(request.dnsServers);
    ConsoleHost host;
    Workbench workbench({resolver, host, request.programDirectory, {.servers = request.whoisServers}});
    workbench.setTraceEnabled(request.trace);

    QElapsedTimer clock;
    clock.start();
    if (request.progress) {
        QObject::connect(&workbench, &Workbench::changed, &workbench, [&](Workbench::Field field) {
            if (field == Workbench::Field::Status) {
                printProgress(clock, workbench.state().txtWhoStatus);
            }
        });
    }

    workbench.Load();
    workbench.setHeaderText(request.message.header);
    workbench.setBodyText(request.message.body);
    workbench.Start();
    if (workbench.isTracing()) {
        QEventLoop loop;
        QObject::connect(&workbench, &Workbench::traceFinished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    workbench.Unload();
    return workbench.state();
}
