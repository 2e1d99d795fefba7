#pragma once

#include "ChipKind.h"
#include "ResultTable.h"

// Each steady call through the exported functions beside the raw exchange of the bytes it moves,
// on every chip type of the realistic bench: the library's unit and its twin, sampled in turn.
class SteadyCallBenchmark
{
public:
    explicit SteadyCallBenchmark(int samples) : m_samples(samples) { }

    void run(ResultTable& table) const;

    // Target: a steady call costs at most this many times the raw exchange.
    static constexpr double kTargetRatio = 1.05;

private:
    void measureChip(const ChipKind& kind, const QString& unitSerial, const QString& twinSerial,
        ResultTable& table) const;

    int m_samples;
};
