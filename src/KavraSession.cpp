#include "KavraSession.h"

#include "KavraDriver_AbstractDevice.h"

#include <cstdlib>

namespace {

struct SessionState
{
    std::mutex mutex;
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
    // Calls still running on other threads end within their time-outs; the exit waits for them.
    SessionState& session = state();
    std::lock_guard<std::mutex> locker(session.mutex);
    session.closedForExit = true;
    KavraSession::releaseAll(true);
}

} // namespace

std::mutex& KavraSession::mutex()
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

void KavraSession::releaseAll(bool closeUnits)
{
    Registry released;
    released.swap(state().registry);
    for (auto& entry : released) {
        FifoLock::Place place(entry.second->callLock());
        place.wait();
        if (closeUnits)
            entry.second->close();
    }
    while (!released.empty())
        released.erase(released.begin());
}

bool KavraSession::isClosedForExit()
{
    return state().closedForExit;
}
