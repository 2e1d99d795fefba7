#include "KavraSession.h"

#include "KavraDriver_AbstractDevice.h"

#include <chrono>
#include <cstdlib>

namespace {

// How long the exit waits for calls still running on other threads: longer than one exchange may
// take. A call that needs longer keeps its unit, which is then left to the operating system.
constexpr int ExitWaitMs = 5000;

struct SessionState
{
    std::timed_mutex mutex;
    KavraSession::Registry registry;
    bool closedForExit = false;
    std::once_flag exitHandlerRegistered;
};

// Never destroyed: static destructors run in an order no library controls, and a thread of the
// host may still call in while they run. The process owns this state until it ends.
SessionState& state()
{
    static SessionState* const instance = new SessionState;
    return *instance;
}

// Runs when the process exits (or the library is unloaded). Registered after the D2XX library
// was loaded, it runs before that library's own teardown, so closing the units here is safe.
void closeUnitsAtExit()
{
    SessionState& session = state();
    std::unique_lock<std::timed_mutex> locker(session.mutex, std::defer_lock);
    if (!locker.try_lock_for(std::chrono::milliseconds(ExitWaitMs)))
        return;
    session.closedForExit = true;
    KavraSession::Registry units;
    units.swap(session.registry);
    for (auto& entry : units) {
        FifoLock::Place place(entry.second->callLock());
        if (place.waitFor(ExitWaitMs))
            entry.second->close();
    }
}

} // namespace

std::timed_mutex& KavraSession::mutex()
{
    return state().mutex;
}

KavraSession::Registry& KavraSession::registry()
{
    return state().registry;
}

std::shared_ptr<KavraDriver_AbstractDevice> KavraSession::device(int index)
{
    const Registry& registry = state().registry;
    const auto it = registry.find(index);
    return it == registry.end() ? nullptr : it->second;
}

void KavraSession::add(int index, std::shared_ptr<KavraDriver_AbstractDevice> device)
{
    SessionState& session = state();
    session.registry[index] = std::move(device);
    std::call_once(session.exitHandlerRegistered, [] { std::atexit(closeUnitsAtExit); });
}

bool KavraSession::isClosedForExit()
{
    return state().closedForExit;
}
