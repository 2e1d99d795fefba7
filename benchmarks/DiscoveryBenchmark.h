#pragma once

#include "ResultTable.h"

// getDeviceIndex of the last unit on a fresh session, against the number of units attached,
// on the instant bench: what it costs is the openings it makes.
class DiscoveryBenchmark
{
public:
    void run(ResultTable& table) const;

    // Target: the last of this many units costs about one opening, like a single unit.
    static constexpr int kTargetUnits = 32;
    // How far above the one-unit figure still counts as one opening.
    static constexpr double kOneOpeningTolerance = 1.25;
};
