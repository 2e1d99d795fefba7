#pragma once

#include "KavraIndexNumbering.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

class KavraDriver_AbstractDevice;

// The process-wide session: the lock that guards the registry and the numbering, the registry from
// device index to open unit, and which serial number each index names. The lock is held only for
// lookups and changes, never while a unit is listed, opened or exchanges bytes: a unit has its own
// lock for its calls (its callLock()) and one for its opening (openingLock()).
class KavraSession
{
public:
    using Registry = std::map<int, std::shared_ptr<KavraDriver_AbstractDevice>>;

    // Work that may call into D2XX outside the session lock (listing or opening units). The
    // process's exit waits for every activity to end before it closes the units, so that nothing
    // calls into D2XX once the exit has begun. Construct with mutex() held.
    class Activity
    {
    public:
        Activity();
        ~Activity();
        Activity(const Activity&) = delete;
        Activity& operator=(const Activity&) = delete;
        // False when the process had already begun to exit: then nothing may be done.
        bool isAllowed() const { return m_allowed; }

    private:
        bool m_allowed;
    };

    static std::mutex& mutex();
    // Only with mutex() held.
    static Registry& registry();
    // The unit registered under the index, or null. Only with mutex() held.
    static std::shared_ptr<KavraDriver_AbstractDevice> device(int index);
    // Registers an opened unit under the index. The first registration also arranges for the open
    // units to be closed when the process exits. Only with mutex() held.
    static void add(int index, std::shared_ptr<KavraDriver_AbstractDevice> device);
    // Which serial number each index names in this session. Only with mutex() held.
    static KavraIndexNumbering& numbering();
    // Changes whenever the session is emptied; work that began before the change must not register
    // anything. Only with mutex() held.
    static uint64_t generation();
    // The lock that whoever opens the unit under the index holds, so that one unit is opened once
    // however many calls name it at the same time. Only with mutex() held.
    static std::shared_ptr<std::mutex> openingLock(int index);
    // Empties the registry and the numbering once every call in progress on its units has ended,
    // closing the units first when asked; the references go in ascending index order, so that
    // units close in a predictable order. Only with mutex() held.
    static void releaseAll(bool closeUnits);
    // True once the process has begun to exit: from then on nothing may call into D2XX, whose
    // library may already be torn down. Only with mutex() held.
    static bool isClosedForExit();
};
