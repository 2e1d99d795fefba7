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
    closeSession();
    table.addNote(QStringLiteral(
        "throughput: %1 s per run, library and raw runs in turn; library and raw = "
        "total calls/s of all threads; ratio = library rate / its rate with 1 thread "
        "(the raw column gives its own in brackets)")
                      .arg(m_seconds));
}
