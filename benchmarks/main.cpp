// kavra_bench: the benchmark table of the library on the virtual bench (scripts/bench runs it).
// Each steady exported call beside the raw D2XX exchange of the same bytes, getDeviceIndex against
// the number of units, throughput against threads, and instructions per call.

#include "BenchControl.h"
#include "D2xxFunctions.h"
#include "DiscoveryBenchmark.h"
#include "InstructionBenchmark.h"
#include "MachineInfo.h"
#include "ResultTable.h"
#include "SteadyCallBenchmark.h"
#include "ThroughputBenchmark.h"
#include "VendorBenchmark.h"

#include <KavraLib.h>

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    // Under the USB-level bench, on the D2XX library the parent named.
    if (argc == 3 && QLatin1String(argv[1]) == QLatin1String(VendorBenchmark::kMeasuredOption)) {
        QCoreApplication application(argc, argv);
        return VendorBenchmark(std::max(1, std::atoi(argv[2]))).runMeasured();
    }
    // Before the first library call: the library loads its D2XX library on first use, and the
    // benchmarks need the bench's controls beside it.
    setenv("KAVRA_D2XX_LIBRARY", KAVRA_SIM_PATH, 1);

    QCoreApplication application(argc, argv);
    if (argc == 3 && QLatin1String(argv[1]) == QLatin1String(InstructionBenchmark::kMeasuredOption))
        return InstructionBenchmark(std::atoi(argv[2])).runMeasured();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Prints the benchmark table of KavraLib on the virtual bench."));
    parser.addHelpOption();
    const QCommandLineOption samples(QStringLiteral("samples"),
        QStringLiteral("Samples of each side per steady call (default 400)."),
        QStringLiteral("count"), QStringLiteral("400"));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
        QStringLiteral("Length of each throughput run in seconds (default 3)."),
        QStringLiteral("seconds"), QStringLiteral("3"));
    const QCommandLineOption calls(QStringLiteral("calls"),
        QStringLiteral("Calls per chip type under callgrind (default 200)."),
        QStringLiteral("count"), QStringLiteral("200"));
    const QCommandLineOption only(QStringLiteral("only"),
        QStringLiteral("Comma-separated parts: calls, discovery, threads, instructions, vendor."),
        QStringLiteral("parts"), QStringLiteral("calls,discovery,threads,instructions,vendor"));
    parser.addOptions({samples, seconds, calls, only});
    parser.process(application);
    const QStringList parts = parser.value(only).split(QLatin1Char(','), Qt::SkipEmptyParts);

    if (!BenchControl::instance().isLoaded() || !D2xxFunctions::instance().isLoaded()) {
        std::fprintf(stderr, "kavra_bench: cannot load the virtual bench %s\n", KAVRA_SIM_PATH);
        return 1;
    }
    ResultTable table;
    const QString loadBefore = MachineInfo::loadAverage();
    if (parts.contains(QStringLiteral("calls"))) {
        std::fprintf(stderr, "steady calls against the raw exchange...\n");
        SteadyCallBenchmark(std::max(1, parser.value(samples).toInt())).run(table);
    }
    if (parts.contains(QStringLiteral("discovery"))) {
        std::fprintf(stderr, "getDeviceIndex against the number of units...\n");
        DiscoveryBenchmark().run(table);
    }
    if (parts.contains(QStringLiteral("threads"))) {
        std::fprintf(stderr, "throughput against threads...\n");
        ThroughputBenchmark(std::max(0.1, parser.value(seconds).toDouble())).run(table);
    }
    if (parts.contains(QStringLiteral("instructions"))) {
        std::fprintf(stderr, "instructions per call under callgrind...\n");
        InstructionBenchmark(std::max(1, parser.value(calls).toInt())).run(table);
    }
    if (parts.contains(QStringLiteral("vendor"))) {
        std::fprintf(
            stderr, "libkavra_ftdi.so against FTDI's library under the USB-level bench...\n");
        VendorBenchmark(std::max(1, parser.value(samples).toInt())).run(table);
    }
    closeSession();
    table.addNote(QStringLiteral(
        "machine: %1; load average %2 before, %3 after; %4 build; times are wall-clock")
                      .arg(MachineInfo::description(), loadBefore, MachineInfo::loadAverage(),
                          QStringLiteral(KAVRA_BENCH_BUILD_TYPE)));
    std::printf("%s", qPrintable(table.markdown()));
    return 0;
}
