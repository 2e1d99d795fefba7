#pragma once

#include "FifoLock.h"

#include <QString>

#include <memory>
#include <optional>

class KavraDriver_AbstractDevice;

// The process-wide session: which serial number each index names (the numbering), and the units
// opened under their indices (the registry). Discovery lists and opens the units; the session
// numbers what it lists and registers what it opens.
//
// The session lock is held only for lookups and changes, never while units are listed or a unit
// is opened or exchanges bytes: a unit has its own line for its calls (its callLock()), and each
// index a lock for its opening, so that calls on other units never wait for it.
class KavraSession
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
    // The unit registered under the index, or null; never opens one.
    static std::shared_ptr<KavraDriver_AbstractDevice> registeredDevice(int index);
    // Empties the registry and the numbering once every call in progress on their units has ended,
    // closing the units first when asked, in ascending index order. A listing or opening still
    // running then belongs to the next session.
    static void release(bool closeUnits);
    // Test hook: registers a unit under the index as if it had been opened there, so that the
    // registry's locking can be tested with a stand-in for a family.
    static void registerForTesting(int index, std::shared_ptr<KavraDriver_AbstractDevice> device);

    // Work that calls into D2XX outside the session lock (listing or opening units), counted so
    // that the process's exit waits for it; defined beside the session's state.
    class Activity;
};
