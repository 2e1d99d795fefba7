#pragma once

#include "ResultTable.h"

// Steady calls and opening through libkavra_ftdi.so (over libftdi1) beside FTDI's own D2XX
// library, each in a process of its own under the USB-level bench (kavra-usbbench) with instant
// unit timing, so that the chips' USB side is all that differs: the program runs itself once per
// D2XX library with kMeasuredOption and compares the medians.
class VendorBenchmark
{
public:
    static constexpr const char* kMeasuredOption = "--vendor-measured";
    static constexpr double kSteadyTarget = 1.10;
    static constexpr double kOpeningTarget = 1.2;

    explicit VendorBenchmark(int samples) : m_samples(samples) { }
    void run(ResultTable& table) const;
    // In the process under the bench: measures on the D2XX library KAVRA_D2XX_LIBRARY names and
    // prints one JSON object, "unit|call" -> [median, p99] in seconds.
    int runMeasured() const;

private:
    int m_samples;
};
