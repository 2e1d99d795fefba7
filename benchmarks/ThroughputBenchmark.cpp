#include "ThroughputBenchmark.h"

#include "BenchControl.h"
#include "BenchFile.h"
#include "ChipKind.h"
#include "LibraryUnit.h"
#include "SteadyCall.h"
#include "TwinUnit.h"
#include "WireScript.h"

#include <KavraLib.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

namespace {
const QString kMeasurement = QStringLiteral("throughput, one unit per thread (realistic timing)");

ResultTable::Row failure(const QString& what)
{
    return ResultTable::failed(kMeasurement, what);
}
} // namespace

void ThroughputBenchmark::addOpeningRows(
    ResultTable& table, const QString& unitLabel, const std::vector<int>& indices) const
{
    using Clock = std::chrono::steady_clock;
    const auto msSince = [](Clock::time_point start) {
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    const SteadyCall& call = SteadyCall::supplyStatus();
    const QString measurement = QStringLiteral("opening (realistic timing)");

    Clock::time_point start = Clock::now();
    const bool oneOpened = call.call(indices.at(0)) == 0;
    const double one = msSince(start);
    closeSession();

    start = Clock::now();
    std::vector<std::future<bool>> firstCalls;
    for (const int index : indices)
        firstCalls.push_back(
            std::async(std::launch::async, [&call, index] { return call.call(index) == 0; }));
    bool allOpened = oneOpened;
    for (std::future<bool>& opened : firstCalls)
        allOpened = opened.get() && allOpened;
    const double parallel = msSince(start);

    // The first unit is open; the second is opened again from the start while the first is called.
    closeSession();
    allOpened = call.call(indices.at(0)) == 0 && allOpened;
    std::future<bool> opening = std::async(
        std::launch::async, [&call, &indices] { return call.call(indices.at(1)) == 0; });
    // Into the opening's 600 ms wait; a benchmark may sleep, no test relies on it.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    start = Clock::now();
    allOpened = call.call(indices.at(0)) == 0 && allOpened;
    const double during = msSince(start);
    allOpened = opening.get() && allOpened;
    closeSession();
    if (!allOpened) {
        table.add(ResultTable::failed(measurement, QStringLiteral("an opening failed")));
        return;
    }

    ResultTable::Row row;
    row.measurement = measurement;
    row.unit = QStringLiteral("%1 × %2").arg(kMostThreads).arg(unitLabel);
    row.call = QStringLiteral("first %1 from %2 threads").arg(call.name).arg(kMostThreads);
    row.library = QStringLiteral("%1 ms").arg(parallel, 0, 'f', 1);
    row.raw = QStringLiteral("one opening: %1 ms").arg(one, 0, 'f', 1);
    row.ratio = ResultTable::ratio(parallel / one) + QStringLiteral(" ×");
    row.target = QStringLiteral("≤ %1 × one opening").arg(kMostParallelOpening, 0, 'f', 1);
    row.met = ResultTable::yesNo(parallel <= kMostParallelOpening * one);
    table.add(row);

    row = ResultTable::Row();
    row.measurement = measurement;
    row.unit = unitLabel;
    row.call = call.name + QStringLiteral(" on an open unit while another opens");
    row.library = QStringLiteral("%1 ms").arg(during, 0, 'f', 1);
    row.target = QStringLiteral("< %1 ms").arg(kMostMsDuringOpening, 0, 'f', 0);
    row.met = ResultTable::yesNo(during < kMostMsDuringOpening);
    table.add(row);
}

double ThroughputBenchmark::rate(int threads, const std::function<bool(int)>& work) const
{
    std::promise<void> go;
    const std::shared_future<void> started = go.get_future().share();
    std::atomic<bool> failed{false};
    std::vector<double> rates(static_cast<std::size_t>(threads), 0.0);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            started.wait();
            const auto start = std::chrono::steady_clock::now();
            const auto end = start + std::chrono::duration<double>(m_seconds);
            long calls = 0;
            auto now = start;
            while (now < end && !failed) {
                if (!work(t))
                    failed = true;
                ++calls;
                now = std::chrono::steady_clock::now();
            }
            rates[static_cast<std::size_t>(t)]
                = calls / std::chrono::duration<double>(now - start).count();
        });
    }
    go.set_value();
    for (std::thread& worker : workers)
        worker.join();
    double total = 0;
    for (const double r : rates)
        total += r;
    return failed ? -1 : total;
}

void ThroughputBenchmark::run(ResultTable& table) const
{
    BenchControl& bench = BenchControl::instance();
    const ChipKind& kind = ChipKind::all().front();
    const SteadyCall& call = SteadyCall::supplyStatus();
    closeSession();
    BenchFile file(BenchFile::Timing::Realistic);
    QStringList units;
    QStringList twins;
    for (int i = 0; i < kMostThreads; ++i) {
        units << file.add(kind, 1 + i);
        twins << file.add(kind, 1 + kMostThreads + i);
    }
    if (bench.loadBench(file.json()) != 0) {
        table.add(failure(QStringLiteral("the bench refused its description")));
        return;
    }
    initialiseSession();

    // Every unit open, and the bytes of one call on it captured, before any clock runs.
    std::vector<std::unique_ptr<LibraryUnit>> libraryUnits;
    std::vector<WireScript> scripts;
    std::vector<std::unique_ptr<TwinUnit>> twinUnits;
    for (int i = 0; i < kMostThreads; ++i) {
        libraryUnits.push_back(std::make_unique<LibraryUnit>(units.at(i)));
        twinUnits.push_back(std::make_unique<TwinUnit>(twins.at(i)));
        int status = libraryUnits.back()->open();
        scripts.push_back(status == 0 ? libraryUnits.back()->capture(call, &status) : WireScript());
        if (scripts.back().isEmpty()
            || !libraryUnits.back()->prepareTwin(*twinUnits.back(), scripts.back())) {
            table.add(failure(QStringLiteral("cannot prepare %1: status %2 %3")
                                  .arg(units.at(i))
                                  .arg(status)
                                  .arg(twinUnits.back()->error())));
            return;
        }
    }

    const auto libraryWork
        = [&](int t) { return call.call(libraryUnits[static_cast<std::size_t>(t)]->index()) == 0; };
    const auto rawWork = [&](int t) {
        return twinUnits[static_cast<std::size_t>(t)]->exchange(
            scripts[static_cast<std::size_t>(t)]);
    };
    double libraryOne = 0;
    double rawOne = 0;
    for (int threads = 1; threads <= kMostThreads; threads *= 2) {
        const double library = rate(threads, libraryWork);
        const double raw = rate(threads, rawWork);
        for (int i = 0; i < kMostThreads; ++i) {
            libraryUnits[static_cast<std::size_t>(i)]->clearRecords();
            twinUnits[static_cast<std::size_t>(i)]->clearRecords();
        }
        if (library < 0 || raw < 0) {
            table.add(failure(QStringLiteral("a call failed with %1 threads").arg(threads)));
            continue;
        }
        if (threads == 1) {
            libraryOne = library;
            rawOne = raw;
        }
        ResultTable::Row row;
        row.measurement = kMeasurement;
        row.unit = QStringLiteral("%1 × %2").arg(threads).arg(kind.label());
        row.call
            = call.name + QStringLiteral(", %1 thread%2").arg(threads).arg(threads > 1 ? "s" : "");
        row.library = ResultTable::rate(library);
        row.raw = ResultTable::rate(raw)
            + QStringLiteral(" (%1 ×)").arg(ResultTable::ratio(raw / rawOne));
        row.ratio = ResultTable::ratio(library / libraryOne) + QStringLiteral(" ×");
        if (threads == kMostThreads) {
            row.target = QStringLiteral("≥ %1 ×").arg(kTargetSpeedUp, 0, 'f', 1);
            row.met = ResultTable::yesNo(library / libraryOne >= kTargetSpeedUp);
        }
        table.add(row);
    }
    std::vector<int> indices;
    for (const std::unique_ptr<LibraryUnit>& unit : libraryUnits)
        indices.push_back(unit->index());
    closeSession();
    addOpeningRows(table, kind.label(), indices);
    table.addNote(QStringLiteral(
        "throughput: %1 s per run, library and raw runs in turn; library and raw = "
        "total calls/s of all threads; ratio = library rate / its rate with 1 thread "
        "(the raw column gives its own in brackets)")
                      .arg(m_seconds));
}
