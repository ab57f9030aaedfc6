// SPDX-License-Identifier: GPL-3.0-or-later
// The text work of one message: the header parse, an answer's classification
// and harvest (with and without a do-not-send list), the complaint text.
#include "app/bench/BenchData.h"
#include "complaint/ComplaintText.h"
#include "complaint/DoNotSendList.h"
#include "header/HeaderParser.h"
#include "mailbox/MessageText.h"
#include "whois/AbuseHarvest.h"
#include "whois/AbuseRoles.h"
#include "whois/AnswerEvaluation.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

// Characters per second of the inputs, and their count, for every benchmark
// that runs over texts.
void countCharacters(benchmark::State& state, const QStringList& inputs)
{
    qsizetype characters = 0;
    for (const QString& input : inputs) {
        characters += input.size();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * inputs.size());
    state.counters["characters/s"] =
        benchmark::Counter(static_cast<double>(characters), benchmark::Counter::kIsIterationInvariantRate);
}

QStringList realHeaders()
{
    QStringList headers;
    for (const QByteArray& raw : readBenchData(u"mail"_s)) {
        headers.append(SplitMessage(raw).header.left(MaxHeaderLength));
    }
    return headers;
}

// As long as the parser takes: nothing but Received lines, each with a relay
// address of its own.
QString longestHeader()
{
    QString header;
    for (int n = 0; header.size() < MaxHeaderLength - 64; ++n) {
        header +=
            u"Received: from h%1 (h [10.%2.%3.%4]) by mx\r\n"_s.arg(n).arg(n / 65536).arg(n / 256 % 256).arg(n % 256);
    }
    return header;
}

void parseEach(benchmark::State& state, const QStringList& headers)
{
    for (auto _ : state) {
        for (const QString& header : headers) {
            bool marked = false;
            benchmark::DoNotOptimize(ParseHeader(header, marked));
        }
    }
    countCharacters(state, headers);
}

void ParseRealHeaders(benchmark::State& state)
{
    parseEach(state, realHeaders());
}

void ParseLongestHeader(benchmark::State& state)
{
    const QString header = longestHeader();
    state.SetLabel(QByteArray::number(header.size()).toStdString() + " characters");
    parseEach(state, {header});
}

// A final answer of 1 MiB in which every line names an address of its own.
QString mebibyteAnswer()
{
    QString answer;
    while (answer.size() < (1 << 20)) {
        answer += u"remarks: contact noc%1@example.net or see [the notes] for more.\n"_s.arg(answer.size());
    }
    return answer.left(1 << 20);
}

void classifyAndHarvest(benchmark::State& state, const QStringList& answers, const AddressFilter& dontSend)
{
    for (auto _ : state) {
        for (const QString& answer : answers) {
            if (ClassifyAnswer(answer).kind == AnswerVerdict::Kind::Final) {
                benchmark::DoNotOptimize(HarvestAddresses(answer, {}, dontSend));
            }
        }
    }
    countCharacters(state, answers);
}

void HarvestRealAnswers(benchmark::State& state)
{
    QStringList answers;
    for (const QByteArray& raw : readBenchData(u"whois"_s)) {
        answers.append(QString::fromUtf8(raw));
    }
    classifyAndHarvest(state, answers, {});
}

void HarvestMebibyteNoList(benchmark::State& state)
{
    classifyAndHarvest(state, {mebibyteAnswer()}, {});
}

// The list is read from its file once per answer, as the trace does.
void HarvestMebibyteLongList(benchmark::State& state)
{
    QStringList entries;
    for (int n = 0; n < 10000; ++n) {
        entries.append(u"@listed%1.example"_s.arg(n));
    }
    const QTemporaryDir temporary;
    const QString directory = temporary.path();
    if (!writeDoNotSendList(directory, entries)) {
        state.SkipWithError("cannot write donotsend.txt");
        return;
    }
    const QString answer = mebibyteAnswer();
    for (auto _ : state) {
        const DoNotSendFilter filter(readDoNotSendList(directory));
        benchmark::DoNotOptimize(
            HarvestAddresses(answer, {}, [&filter](const QString& address) { return filter.refuses(address); }));
    }
    countCharacters(state, {answer});
    state.SetLabel("10,000 entries");
}

// A mebibyte of the lines that make the role reader remember things: quoted
// comments, handles named by abuse-c, objects defining many handles.
void RolesOfMebibyte(benchmark::State& state, const QString& line)
{
    QString answer;
    for (int index = 0; answer.size() < 1024 * 1024; ++index) {
        answer += line.arg(index);
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(ClassifyAbuseRoles(answer));
        benchmark::DoNotOptimize(DesignatedBeyondHarvest(answer));
    }
    countCharacters(state, {answer});
}

void ComplaintOfMegabyteBody(benchmark::State& state)
{
    const QString header = realHeaders().value(0);
    QString body;
    while (body.size() < 1000000) {
        body += u"Buy now, while stocks last! Visit our shop for the best prices.\r\n"_s;
    }
    const QList<AbuseRow> rows{{u"ABUSE@NET.EXAMPLE"_s, false, u"whois"_s, {}, u"abuse"_s},
                               {u"ABUSE@ISP.EXAMPLE"_s, false, u"dns"_s, {}, u"other"_s}};
    for (auto _ : state) {
        benchmark::DoNotOptimize(ComplaintText(rows, header, body));
    }
    countCharacters(state, {header, body});
}

} // namespace

BENCHMARK(ParseRealHeaders)->Name("ParseHeader/real_headers")->Unit(benchmark::kMicrosecond);
BENCHMARK(ParseLongestHeader)->Name("ParseHeader/32767_characters")->Unit(benchmark::kMicrosecond);
BENCHMARK(HarvestRealAnswers)->Name("ClassifyAndHarvest/real_answers")->Unit(benchmark::kMicrosecond);
BENCHMARK(HarvestMebibyteNoList)->Name("ClassifyAndHarvest/1MiB_no_donotsend")->Unit(benchmark::kMillisecond);
BENCHMARK(HarvestMebibyteLongList)->Name("Harvest/1MiB_donotsend_10000")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RolesOfMebibyte, quoted, u"% Abuse contact for 'x' is 'a%1@isp.example'\n"_s)
    ->Name("AbuseRoles/1MiB_quoted_comments")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RolesOfMebibyte, handles, u"nic-hdl: H%1\ne-mail: a%1@isp.example\nabuse-c: H%1\n"_s)
    ->Name("AbuseRoles/1MiB_one_object_of_handles")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(ComplaintOfMegabyteBody)->Name("ComplaintText/1MB_body")->Unit(benchmark::kMillisecond);
