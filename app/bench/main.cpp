// SPDX-License-Identifier: GPL-3.0-or-later
// zelkor-bench: how fast the header analysis, the whois rules, a whole trace,
// the mail layer, the journal and the window's start-up run, on Google
// Benchmark (so --benchmark_filter, --benchmark_repetitions and
// --benchmark_format=json all work). Figures only; nothing here passes or fails.
#include "app/bench/BenchData.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>
#include <cstring>

int main(int argc, char* argv[])
{
    if (argc == 2 && (std::strcmp(argv[1], "--startup-window") == 0 || std::strcmp(argv[1], "--startup-bare") == 0)) {
        return runStartupChild(argc, argv, std::strcmp(argv[1], "--startup-bare") == 0);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    QCoreApplication app(argc, argv);
    registerTraceFigures();
    registerMailFigures();
    registerStartupFigures(argv[0]);
    benchmark::RunSpecifiedBenchmarks();
    releaseMailServers();
    benchmark::Shutdown();
    return 0;
}
