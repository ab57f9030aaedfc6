// SPDX-License-Identifier: GPL-3.0-or-later
// zelkor-bench: prints how fast the header analysis, the whois rules, a whole
// trace and the mail layer run. Figures only; nothing here passes or fails.
#include "app/bench/MailFigures.h"
#include "header/HeaderParser.h"
#include "mailbox/MessageText.h"
#include "resolve/CaresResolver.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/TraceFixture.h"
#include "whois/AbuseHarvest.h"
#include "whois/AnswerEvaluation.h"
#include "window/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

QList<QByteArray> readAll(const QString& folder)
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

// Runs `work` over every input `rounds` times; prints the time per input.
void measure(const char* what, const QStringList& inputs, int rounds, const std::function<void(const QString&)>& work)
{
    qsizetype characters = 0;
    for (const QString& input : inputs) {
        characters += input.size();
    }
    QElapsedTimer clock;
    clock.start();
    for (int round = 0; round < rounds; ++round) {
        for (const QString& input : inputs) {
            work(input);
        }
    }
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const double runs = static_cast<double>(rounds) * static_cast<double>(inputs.size());
    std::printf("%-44s %10.2f us each  %8.1f M characters/s\n", what, seconds * 1e6 / runs,
                static_cast<double>(characters) * rounds / seconds / 1e6);
}

void benchHeaders()
{
    QStringList headers;
    for (const QByteArray& raw : readAll(u"mail"_s)) {
        headers.append(SplitMessage(raw).header.left(MaxHeaderLength));
    }
    QString largest;
    for (int n = 0; largest.size() < MaxHeaderLength - 64; ++n) {
        largest +=
            u"Received: from h%1 (h [10.%2.%3.%4]) by mx\r\n"_s.arg(n).arg(n / 65536).arg(n / 256 % 256).arg(n % 256);
    }
    const auto parse = [](const QString& header) {
        bool marked = false;
        ParseHeader(header, marked);
    };
    measure("ParseHeader, real headers", headers, 2000, parse);
    measure("ParseHeader, 32,767 characters of relays", {largest}, 20, parse);
}

void benchAnswers()
{
    QStringList answers;
    for (const QByteArray& raw : readAll(u"whois"_s)) {
        answers.append(QString::fromUtf8(raw));
    }
    QString huge;
    while (huge.size() < (1 << 20)) {
        huge += u"remarks: contact noc%1@example.net or see [the notes] for more.\n"_s.arg(huge.size());
    }
    const auto evaluate = [](const QString& answer) {
        if (ClassifyAnswer(answer).kind == AnswerVerdict::Kind::Final) {
            HarvestAddresses(answer, {}, {});
        }
    };
    measure("ClassifyAnswer + HarvestAddresses, real", answers, 2000, evaluate);
    measure("ClassifyAnswer + HarvestAddresses, 1 MiB", {huge}, 3, evaluate);
}

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
};

// Three relay addresses: a referral, a network block and a direct answer, each
// then answered finally; five lookups of one second each. With RDAP on, the
// three RDAP lookups run beside the trace.
void benchTrace(bool rdap)
{
    using Reply = TestWhoisServer::Reply;
    std::unique_ptr<LoopbackRdap> rdapServer = rdap ? std::make_unique<LoopbackRdap>() : nullptr;
    TraceFixture fixture(1000ms);
    fixture.workbench().setRdapEnabled(rdap);
    const QString final = u"OrgAbuseEmail: abuse@net.example\n"_s;
    fixture.server(Registry::ARIN)
        .setReply(u"192.0.2.1"_s, Reply::text(u"descr:    RIPE Network Coordination Centre\n"_s));
    fixture.server(Registry::RIPE).setReply(u"192.0.2.1"_s, Reply::text(final));
    fixture.server(Registry::ARIN).setReply(u"192.0.2.2"_s, Reply::text(u"Block (NET-192-0-2-0-1)\n"_s));
    fixture.server(Registry::ARIN).setReply(u"NET-192-0-2-0-1"_s, Reply::text(final));
    fixture.server(Registry::ARIN).setReply(u"192.0.2.3"_s, Reply::text(final));
    const QString header = u"Received: from a ([192.0.2.1]) by b\r\nReceived: from c ([192.0.2.2]) by d\r\n"
                           u"Received: from e ([192.0.2.3]) by f\r\n\r\n"_s;
    QElapsedTimer clock;
    clock.start();
    if (!fixture.runTrace(header, 30s)) {
        std::printf("trace did not end\n");
        return;
    }
    const qint64 elapsed = clock.elapsed();
    const qsizetype lookups = fixture.answers.size();
    std::printf("%-44s %10lld ms for %lld lookups  %6.1f ms per lookup beyond the 1 s window\n",
                rdap ? "whole trace on loopback, RDAP on" : "whole trace on loopback", static_cast<long long>(elapsed),
                static_cast<long long>(lookups),
                static_cast<double>(elapsed - 1000 * lookups) / static_cast<double>(lookups));
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

// In a child process: starts the application, shows the main window (or a bare
// widget of the same size) and prints the microseconds to its first paint and
// the peak resident memory.
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

// Runs each kind of window in fresh processes, alternately, and prints the medians.
void benchStartup(const char* program)
{
    QList<qint64> micros[2];
    QList<qint64> kibs[2];
    for (int round = 0; round < 5; ++round) {
        for (int kind = 0; kind < 2; ++kind) {
            QProcess child;
            child.start(QString::fromLocal8Bit(program), {kind == 0 ? u"--startup-window"_s : u"--startup-bare"_s});
            child.waitForFinished(30000);
            const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
            if (figures.size() == 2) {
                micros[kind].append(figures[0].toLongLong());
                kibs[kind].append(figures[1].toLongLong());
            }
        }
    }
    const auto median = [](QList<qint64> values) {
        std::sort(values.begin(), values.end());
        return values.isEmpty() ? -1 : values[values.size() / 2];
    };
    const char* names[2] = {"start to first paint, main window", "start to first paint, bare QWidget"};
    for (int kind = 0; kind < 2; ++kind) {
        std::printf("%-44s %10.1f ms        peak resident %6.1f MiB (median of %lld, platform %s)\n", names[kind],
                    static_cast<double>(median(micros[kind])) / 1000.0,
                    static_cast<double>(median(kibs[kind])) / 1024.0, static_cast<long long>(micros[kind].size()),
                    qgetenv("QT_QPA_PLATFORM").isEmpty() ? "default" : qgetenv("QT_QPA_PLATFORM").constData());
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 2 && (std::strcmp(argv[1], "--startup-window") == 0 || std::strcmp(argv[1], "--startup-bare") == 0)) {
        return runStartupChild(argc, argv, std::strcmp(argv[1], "--startup-bare") == 0);
    }
    QCoreApplication app(argc, argv);
    benchHeaders();
    benchAnswers();
    benchTrace(false);
    benchTrace(true);
    benchMail();
    benchBatch();
    benchStartup(argv[0]);
    return 0;
}
