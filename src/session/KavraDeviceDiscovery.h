#pragma once

#include "FifoLock.h"

#include <QString>

#include <memory>
#include <optional>

class KavraDriver_AbstractDevice;

// Which attached units the library serves, which index names each of them, and how a unit is
// opened and registered on first use. The session lock is taken only briefly: listing the device
// list and opening a unit run outside it, so that calls on other units never wait for them.
class KavraDeviceDiscovery
{
public:
    // Lists the attached units once, numbers those not numbered yet, and returns how many are
    // attached (count) and the highest index that names a unit in this session (highestIndex).
    // Both null-safe. False once the process has begun to exit (nothing is listed then).
    static bool listUnits(int* count, int* highestIndex);
    // The serial number that the index names in this session, attached or away; lists the units
    // only when the index names none yet. Empty when it names none.
    static QString serialNumberForIndex(int index);
    // The unit under the index, ready for a call: the registered unit, opened on first use, or
    // opened again when its connection was lost and it is back (a unit still away is returned as
    // it is, and its operations fail with their own codes). On success *device is set and *place
    // holds a place in its line of calls. 0, 1 (the index names no unit), 3 (the unit is away and
    // was never opened, or the process is exiting) or the status of opening the unit.
    static int deviceForIndex(int index, std::shared_ptr<KavraDriver_AbstractDevice>* device,
        std::optional<FifoLock::Place>* place);
    // The index that names the unit with the serial number (13-character form, any case), when the
    // unit is registered (attached or away) or attached and can be opened; 0 with *index set, or
    // 6 with *index -1. The registry is left as it was.
    static int findDeviceIndex(const char* serialNumber, int* index);
};
