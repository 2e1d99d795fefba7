#pragma once

#include "ResultTable.h"

#include <functional>
#include <vector>

// Calls per second for 1, 2 and 4 threads, each thread on a unit of its own, on the realistic
// bench; the raw exchange of the same bytes on as many twin units shows what the bench itself
// allows.
class ThroughputBenchmark
{
public:
    explicit ThroughputBenchmark(double seconds) : m_seconds(seconds) { }

    void run(ResultTable& table) const;

    static constexpr int kMostThreads = 4;
    // Target: kMostThreads threads reach at least this many times the rate of one thread.
    static constexpr double kTargetSpeedUp = 3.5;
    // Targets of opening: kMostThreads units first called from as many threads all answer within
    // this many times one opening, and a call on an open unit made while another unit opens
    // answers within kMostMsDuringOpening.
    static constexpr double kMostParallelOpening = 1.5;
    static constexpr double kMostMsDuringOpening = 50;

private:
    // Runs work(thread) in a loop on each of threads threads for m_seconds; the total of the
    // threads' calls per second, or a negative number when a call failed.
    double rate(int threads, const std::function<bool(int)>& work) const;
    // Rows for opening: one unit alone, kMostThreads units from as many threads, and a call on an
    // open unit while another opens, on the units under the indices; nothing is open.
    void addOpeningRows(
        ResultTable& table, const QString& unitLabel, const std::vector<int>& indices) const;

    double m_seconds;
};
