// SPDX-License-Identifier: GPL-3.0-or-later
// Whole traces against the loopback whois (and RDAP) servers, and the window's
// start-up to its first paint with its resident memory.
#include "app/bench/BenchData.h"
#include "resolve/CaresResolver.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/TraceFixture.h"
#include "window/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

QList<QByteArray> readBenchData(const QString& folder)
{
    QList<QByteArray> files;
    const QDir dir(QStringLiteral(ZELKOR_BENCH_DATA_DIR) + u'/' + folder);
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly)) {
            files.append(file.readAll());
        }
    }
    return files;
}

namespace {

constexpr std::chrono::milliseconds Window = 1000ms;

// Serves an RDAP answer for each of the bench's relay addresses, and points
// the RDAP client at it through a bootstrap file and an empty cache.
struct LoopbackRdap
{
    TestHttpServer http;
    QTemporaryDir directory;

    LoopbackRdap()
    {
        QFile bootstrap(directory.filePath(u"ipv4.json"_s));
        bootstrap.open(QIODevice::WriteOnly);
        bootstrap.write(R"({"version": "1.0", "services": [[["192.0.0.0/8"], [")" + http.url("/").toString().toUtf8() +
                        "\"]]]}");
        bootstrap.close();
        for (const char* relay : {"192.0.2.1", "192.0.2.2", "192.0.2.3"}) {
            const QByteArray answer = R"({"objectClassName": "ip network", "startAddress": ")" + QByteArray(relay) +
                                      R"(", "endAddress": ")" + QByteArray(relay) +
                                      R"(", "entities": [{"roles": ["abuse"], "vcardArray": ["vcard", [["email", {}, )"
                                      R"("text", "abuse@net.example"]]]}]})";
            http.setResponse("/ip/" + QByteArray(relay),
                             TestHttpServer::Response::page(answer, "application/rdap+json"));
        }
        qputenv("ZELKOR_RDAP_BOOTSTRAP", QFile::encodeName(bootstrap.fileName()));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(directory.filePath(u"cache"_s)));
    }

    ~LoopbackRdap()
    {
        qunsetenv("ZELKOR_RDAP_BOOTSTRAP");
        qunsetenv("XDG_CACHE_HOME");
    }
};

// Three relay addresses: a referral, a network block and a direct answer, each
// then answered finally; five lookups of one second each. With RDAP on, the
// three RDAP lookups run beside the trace (with an empty cache every time).
void WholeTrace(benchmark::State& state, bool rdap)
{
    using Reply = TestWhoisServer::Reply;
    const QString header = u"Received: from a ([192.0.2.1]) by b\r\nReceived: from c ([192.0.2.2]) by d\r\n"
                           u"Received: from e ([192.0.2.3]) by f\r\n\r\n"_s;
    double beyondWindows = 0;
    qsizetype lookups = 0;
    for (auto _ : state) {
        std::unique_ptr<LoopbackRdap> rdapServer = rdap ? std::make_unique<LoopbackRdap>() : nullptr;
        TraceFixture fixture(Window);
        fixture.workbench().setRdapEnabled(rdap);
        const QString final = u"OrgAbuseEmail: abuse@net.example\n"_s;
        fixture.server(Registry::ARIN)
            .setReply(u"192.0.2.1"_s, Reply::text(u"descr:    RIPE Network Coordination Centre\n"_s));
        fixture.server(Registry::RIPE).setReply(u"192.0.2.1"_s, Reply::text(final));
        fixture.server(Registry::ARIN).setReply(u"192.0.2.2"_s, Reply::text(u"Block (NET-192-0-2-0-1)\n"_s));
        fixture.server(Registry::ARIN).setReply(u"NET-192-0-2-0-1"_s, Reply::text(final));
        fixture.server(Registry::ARIN).setReply(u"192.0.2.3"_s, Reply::text(final));
        QElapsedTimer clock;
        clock.start();
        if (!fixture.runTrace(header, 30s)) {
            state.SkipWithError("the trace did not end within 30 s");
            return;
        }
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        lookups = fixture.answers.size();
        beyondWindows += seconds * 1000.0 - static_cast<double>(Window.count() * lookups);
    }
    state.counters["lookups"] = static_cast<double>(lookups);
    state.counters["ms_beyond_windows_per_lookup"] =
        beyondWindows / static_cast<double>(lookups) / static_cast<double>(state.iterations());
}

// Peak resident memory of this process so far, in KiB.
long peakResidentKiB()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

/// Waits for the first paint of a window, then reports it and quits.
class FirstPaint final : public QObject
{
public:
    explicit FirstPaint(QElapsedTimer& clock)
        : m_clock(clock)
    {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // Report after the paint has finished, from the event loop.
            QTimer::singleShot(0, [this] {
                std::printf("%lld %ld\n", static_cast<long long>(m_clock.nsecsElapsed() / 1000), peakResidentKiB());
                QApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QElapsedTimer& m_clock;
    bool m_seen = false;
};

// Each iteration starts a fresh process; its time is the child's own clock from
// the start of main() to the first paint.
void StartUp(benchmark::State& state, const QString& program, const QString& kind)
{
    double kib = 0;
    for (auto _ : state) {
        QProcess child;
        child.start(program, {kind});
        child.waitForFinished(30000);
        const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
        if (figures.size() != 2) {
            state.SkipWithError("the child did not paint");
            return;
        }
        state.SetIterationTime(figures[0].toDouble() / 1e6);
        kib += figures[1].toDouble();
    }
    state.counters["peak_resident_MiB"] = kib / 1024.0 / static_cast<double>(state.iterations());
    state.SetLabel("platform " + (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
                                      ? std::string("default")
                                      : qEnvironmentVariable("QT_QPA_PLATFORM").toStdString()));
}

} // namespace

int runStartupChild(int argc, char* argv[], bool bare)
{
    QElapsedTimer clock;
    clock.start();
    QApplication app(argc, argv);
    FirstPaint firstPaint(clock);
    CaresResolver resolver(QString{});
    std::unique_ptr<QWidget> window;
    if (bare) {
        window = std::make_unique<QWidget>();
        window->setFixedSize(606, 548);
    } else {
        window = std::make_unique<frmMain>(frmMain::Dependencies{resolver, QDir::tempPath(), {}, {}});
    }
    window->installEventFilter(&firstPaint);
    window->show();
    return QApplication::exec();
}

void registerTraceFigures()
{
    benchmark::RegisterBenchmark("WholeTrace/loopback_5_lookups", WholeTrace, false)
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("WholeTrace/loopback_5_lookups_rdap", WholeTrace, true)
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
}

void registerStartupFigures(const char* program)
{
    const QString path = QString::fromLocal8Bit(program);
    benchmark::RegisterBenchmark("StartUp/main_window_first_paint", StartUp, path, u"--startup-window"_s)
        ->UseManualTime()
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("StartUp/bare_QWidget_first_paint", StartUp, path, u"--startup-bare"_s)
        ->UseManualTime()
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond);
}
