// SPDX-License-Identifier: GPL-3.0-or-later
// zelkor-bench: prints how fast the header analysis, the whois rules and a whole
// trace run. Figures only; nothing here passes or fails.
#include "header/HeaderParser.h"
#include "mailbox/MessageText.h"
#include "tests/support/TraceFixture.h"
#include "whois/AbuseHarvest.h"
#include "whois/AnswerEvaluation.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <functional>

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

// Three relay addresses: a referral, a network block and a direct answer, each
// then answered finally; five lookups of one second each.
void benchTrace()
{
    using Reply = TestWhoisServer::Reply;
    TraceFixture fixture(1000ms);
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
                "whole trace on loopback", static_cast<long long>(elapsed), static_cast<long long>(lookups),
                static_cast<double>(elapsed - 1000 * lookups) / static_cast<double>(lookups));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    benchHeaders();
    benchAnswers();
    benchTrace();
    return 0;
}
