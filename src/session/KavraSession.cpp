#include "KavraSession.h"

#include "KavraDriver_AbstractDevice.h"

#include <condition_variable>
#include <cstdlib>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace {

struct SessionState
{
    std::mutex mutex;
    KavraSession::Registry registry;
    KavraIndexNumbering numbering;
    std::map<int, std::shared_ptr<std::mutex>> openingLocks;
    uint64_t generation = 0;
    // Counted under a lock of their own: an activity may end while it holds a place in a unit's
    // line, and releaseAll waits for that place with the session lock held.
    std::mutex activityMutex;
    int activities = 0;
    std::condition_variable activitiesEnded;
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
    {
        std::lock_guard<std::mutex> locker(session.mutex);
        session.closedForExit = true;
    }
    // No activity starts once the flag is set; those running end without the session lock.
    {
        std::unique_lock<std::mutex> counting(session.activityMutex);
        session.activitiesEnded.wait(counting, [&session] { return session.activities == 0; });
    }
    std::lock_guard<std::mutex> locker(session.mutex);
    KavraSession::releaseAll(true);
}

// Once the first unit is registered: the library stays loaded and its open units are closed
// when the process exits.
void keepUnitsSafeUntilExit()
{
#ifdef _WIN32
    // Windows has no "never unload" flag for a DLL: it pins itself, so that a host's FreeLibrary
    // cannot leave the open units' handles behind in the D2XX library.
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
        reinterpret_cast<LPCWSTR>(&keepUnitsSafeUntilExit), &self);
    // A DLL's atexit handlers run from its DllMain at process detach: under the loader lock,
    // after ExitProcess has ended every other thread (a call one left running would never end)
    // and possibly after the D2XX library's own detach. Nothing may run there; Windows closes the
    // D2XX handles with the process. Linked into a program, the handler runs from exit() as on
    // Linux.
    if (self != GetModuleHandleW(nullptr))
        return;
#endif
    std::atexit(closeUnitsAtExit);
}

} // namespace

KavraSession::Activity::Activity() : m_allowed(!state().closedForExit)
{
    if (!m_allowed)
        return;
    SessionState& session = state();
    std::lock_guard<std::mutex> counting(session.activityMutex);
    ++session.activities;
}

KavraSession::Activity::~Activity()
{
    if (!m_allowed)
        return;
    SessionState& session = state();
    std::lock_guard<std::mutex> counting(session.activityMutex);
    if (--session.activities == 0)
        session.activitiesEnded.notify_all();
}

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
    std::call_once(session.exitHandlerRegistered, keepUnitsSafeUntilExit);
}

KavraIndexNumbering& KavraSession::numbering()
{
    return state().numbering;
}

uint64_t KavraSession::generation()
{
    return state().generation;
}

std::shared_ptr<std::mutex> KavraSession::openingLock(int index)
{
    std::shared_ptr<std::mutex>& lock = state().openingLocks[index];
    if (!lock)
        lock = std::make_shared<std::mutex>();
    return lock;
}

void KavraSession::releaseAll(bool closeUnits)
{
    SessionState& session = state();
    ++session.generation;
    session.numbering.clear();
    Registry released;
    released.swap(session.registry);
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
