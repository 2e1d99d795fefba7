#pragma once

#include <map>
#include <memory>
#include <mutex>

class KavraDriver_AbstractDevice;

// The process-wide session: the lock that guards the registry, and the registry from device index
// to open unit. The lock is held for lookups, opening, registration and the session calls, never
// while a unit exchanges bytes: each unit has its own lock for that (its callLock()).
class KavraSession
{
public:
    using Registry = std::map<int, std::shared_ptr<KavraDriver_AbstractDevice>>;

    static std::mutex& mutex();
    // Only with mutex() held.
    static Registry& registry();
    // The unit registered under the index, or null. Only with mutex() held.
    static std::shared_ptr<KavraDriver_AbstractDevice> device(int index);
    // Registers an opened unit under the index. The first registration also arranges for the open
    // units to be closed when the process exits. Only with mutex() held.
    static void add(int index, std::shared_ptr<KavraDriver_AbstractDevice> device);
    // Empties the registry once every call in progress on its units has ended, closing the units
    // first when asked; the references go in ascending index order, so that units close in a
    // predictable order. Only with mutex() held.
    static void releaseAll(bool closeUnits);
    // True once the process has begun to exit: from then on nothing may call into D2XX, whose
    // library may already be torn down. Only with mutex() held.
    static bool isClosedForExit();
};
