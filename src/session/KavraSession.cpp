#include "KavraSession.h"

#include "KavraDeviceDiscovery.h"
#include "KavraDriver_AbstractDevice.h"
#include "KavraDriver_Status.h"
#include "KavraIndexNumbering.h"
#include "KavraLog.h"
#include "USBDevice.h"
#include "USBSerialNumber.h"

#include <QStringList>

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#endif

using namespace KavraDriver_Status;

namespace {

using SessionLocker = std::lock_guard<std::mutex>;
using Registry = std::map<int, std::shared_ptr<KavraDriver_AbstractDevice>>;

struct SessionState
{
    std::mutex mutex;
    Registry registry;
    KavraIndexNumbering numbering;
    // The lock that whoever opens the unit under an index holds, so that one unit is opened once
    // however many calls name it at the same time.
    std::map<int, std::shared_ptr<std::mutex>> openingLocks;
    // Changes whenever the session is emptied: work that began before must not register anything.
    uint64_t generation = 0;
    // Counted under a lock of their own: an activity may end while it holds a place in a unit's
    // line, and release() waits for that place with the session lock held.
    std::mutex activityMutex;
    int activities = 0;
    std::condition_variable activitiesEnded;
    // Once the process has begun to exit nothing may call into D2XX, whose library may already be
    // torn down.
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

// Only with the session lock held.
void releaseAll(bool closeUnits)
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
    // Released while the lock is held, in ascending index order: a unit whose last reference this
    // was closes here, in a predictable order.
    while (!released.empty())
        released.erase(released.begin());
}

// Runs when the process exits (or the library is unloaded). Registered after the D2XX library
// was loaded, it runs before that library's own teardown, so closing the units here is safe.
void closeUnitsAtExit()
{
    // Calls still running on other threads end within their time-outs; the exit waits for them.
    SessionState& session = state();
    {
        SessionLocker locker(session.mutex);
        session.closedForExit = true;
    }
    // No activity starts once the flag is set; those running end without the session lock.
    {
        std::unique_lock<std::mutex> counting(session.activityMutex);
        session.activitiesEnded.wait(counting, [&session] { return session.activities == 0; });
    }
    SessionLocker locker(session.mutex);
    releaseAll(true);
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

// Only with the session lock held.
void registerUnit(int index, std::shared_ptr<KavraDriver_AbstractDevice> device)
{
    SessionState& session = state();
    session.registry[index] = std::move(device);
    std::call_once(session.exitHandlerRegistered, keepUnitsSafeUntilExit);
}

// Only with the session lock held.
std::shared_ptr<KavraDriver_AbstractDevice> registered(int index)
{
    const Registry& registry = state().registry;
    const auto it = registry.find(index);
    return it == registry.end() ? nullptr : it->second;
}

// Only with the session lock held.
std::shared_ptr<std::mutex> openingLock(int index)
{
    std::shared_ptr<std::mutex>& lock = state().openingLocks[index];
    if (!lock)
        lock = std::make_shared<std::mutex>();
    return lock;
}

// The attached supported units by the index that names each of them.
using AttachedUnits = std::map<int, std::shared_ptr<USBDevice>>;

} // namespace

// Constructed with the session lock held.
class KavraSession::Activity
{
public:
    Activity() : m_allowed(!state().closedForExit)
    {
        if (!m_allowed)
            return;
        SessionState& session = state();
        std::lock_guard<std::mutex> counting(session.activityMutex);
        ++session.activities;
    }
    ~Activity()
    {
        if (!m_allowed)
            return;
        SessionState& session = state();
        std::lock_guard<std::mutex> counting(session.activityMutex);
        if (--session.activities == 0)
            session.activitiesEnded.notify_all();
    }
    Activity(const Activity&) = delete;
    Activity& operator=(const Activity&) = delete;
    // False when the process had already begun to exit: then nothing may be done.
    bool isAllowed() const { return m_allowed; }

private:
    bool m_allowed;
};

namespace {

using Activity = KavraSession::Activity;

// Lists the attached supported units and numbers the new ones; count and highest (null-safe) take
// how many are attached and the highest index in use. Call within an Activity, without the
// session lock.
AttachedUnits listAndNumber(int* count = nullptr, int* highest = nullptr)
{
    const QList<std::shared_ptr<USBDevice>> supported = KavraDeviceDiscovery::listSupported();
    QStringList serials;
    serials.reserve(supported.size());
    for (const std::shared_ptr<USBDevice>& device : supported)
        serials.append(device->serialNumber());

    AttachedUnits attached;
    SessionLocker locker(state().mutex);
    KavraIndexNumbering& numbering = state().numbering;
    numbering.numberListed(serials);
    for (int i = 0; i < supported.size(); ++i) {
        if (const int index = numbering.indexOf(serials.at(i)))
            attached.emplace(index, supported.at(i));
    }
    if (count)
        *count = supported.size();
    if (highest)
        *highest = numbering.highest();
    for (const auto& entry : attached)
        qCDebug(KavraLog::discovery).noquote()
            << "index" << entry.first << entry.second->serialNumber();
    return attached;
}

// The registered unit when it is ready for calls (its connection not lost): then *place holds a
// place in its line, taken while the session lock keeps the order of arrival. Only with the
// session lock held.
std::shared_ptr<KavraDriver_AbstractDevice> readyDevice(
    int index, std::optional<FifoLock::Place>* place)
{
    std::shared_ptr<KavraDriver_AbstractDevice> device = registered(index);
    if (!device || device->isConnectionLost())
        return nullptr;
    place->emplace(device->callLock());
    return device;
}

int found(int position, int* index)
{
    if (index)
        *index = position;
    return Success;
}

} // namespace

bool KavraSession::listUnits(int* count, int* highestIndex)
{
    std::unique_ptr<Activity> activity;
    {
        SessionLocker locker(state().mutex);
        activity = std::make_unique<Activity>();
        if (!activity->isAllowed())
            return false;
    }
    listAndNumber(count, highestIndex);
    return true;
}

QString KavraSession::serialNumberForIndex(int index)
{
    std::unique_ptr<Activity> activity;
    {
        SessionLocker locker(state().mutex);
        if (state().closedForExit)
            return QString();
        const QString serial = state().numbering.serialNumber(index);
        if (!serial.isEmpty() || index < 1 || index > KavraIndexNumbering::HighestIndex)
            return serial;
        activity = std::make_unique<Activity>();
    }
    // Not numbered yet: a unit attached since the last listing may take it.
    listAndNumber();
    SessionLocker locker(state().mutex);
    return state().numbering.serialNumber(index);
}

int KavraSession::deviceForIndex(int index, std::shared_ptr<KavraDriver_AbstractDevice>* device,
    std::optional<FifoLock::Place>* place)
{
    SessionState& session = state();
    for (;;) {
        uint64_t generation = 0;
        std::shared_ptr<std::mutex> opening;
        {
            SessionLocker locker(session.mutex);
            // Once the process exits, no unit can be reached any more.
            if (session.closedForExit)
                return ConnectionFailed;
            if ((*device = readyDevice(index, place)))
                return Success;
            if (index < 1 || index > KavraIndexNumbering::HighestIndex)
                return IndexOutOfRange;
            generation = session.generation;
            opening = openingLock(index);
        }

        // Only this unit's callers wait while it is opened; the session lock stays free.
        std::lock_guard<std::mutex> openingLocker(*opening);
        std::unique_ptr<Activity> activity;
        std::shared_ptr<KavraDriver_AbstractDevice> lost;
        {
            SessionLocker locker(session.mutex);
            if (session.closedForExit)
                return ConnectionFailed;
            if (session.generation != generation)
                continue;
            // Another call may have opened the unit while this one waited for the opening lock.
            if ((*device = readyDevice(index, place)))
                return Success;
            lost = registered(index);
            activity = std::make_unique<Activity>();
        }

        const AttachedUnits attached = listAndNumber();
        const auto listed = attached.find(index);
        std::shared_ptr<KavraDriver_AbstractDevice> opened;
        int status = IndexOutOfRange;
        if (listed != attached.end()) {
            // Only the unit that the index names is opened: the list is keyed by serial number, so
            // another unit now at the same place is never adopted.
            status = KavraDeviceDiscovery::open(listed->second, &opened);
        } else {
            SessionLocker locker(session.mutex);
            if (!session.numbering.serialNumber(index).isEmpty())
                status = ConnectionFailed;
        }

        SessionLocker locker(session.mutex);
        if (session.closedForExit || session.generation != generation) {
            // The session was emptied meanwhile: this call belongs to the next one.
            if (opened)
                opened->close();
            continue;
        }
        if (opened) {
            registerUnit(index, opened);
            *device = opened;
        } else if (lost) {
            // Away, or back but not answering: the unit keeps its closed connection, and the
            // operation fails at once with its own code.
            *device = lost;
        } else {
            return status;
        }
        place->emplace((*device)->callLock());
        return Success;
    }
}

int KavraSession::findDeviceIndex(const char* serialNumber, int* index)
{
    if (index)
        *index = -1;
    const QString wanted = QString::fromLatin1(serialNumber ? serialNumber : "").toLower();
    SessionState& session = state();
    for (;;) {
        std::unique_ptr<Activity> activity;
        {
            SessionLocker locker(session.mutex);
            activity = std::make_unique<Activity>();
            if (!activity->isAllowed())
                return NoSuchSerialNumber;
        }
        const AttachedUnits attached = listAndNumber();

        int candidate = 0;
        uint64_t generation = 0;
        std::shared_ptr<std::mutex> opening;
        {
            SessionLocker locker(session.mutex);
            for (const auto& entry : session.numbering.entries()) {
                const QString text = USBSerialNumber(entry.second).fullText().toLower();
                if (!text.isEmpty() && text == wanted) {
                    candidate = entry.first;
                    break;
                }
            }
            if (candidate == 0)
                return NoSuchSerialNumber;
            // A registered unit answers as it is, attached or away, without touching its
            // connection.
            if (registered(candidate))
                return found(candidate, index);
            if (attached.count(candidate) == 0)
                return NoSuchSerialNumber;
            generation = session.generation;
            opening = openingLock(candidate);
        }

        // Opened only to make sure that it can be used, and closed again; never registered.
        std::lock_guard<std::mutex> openingLocker(*opening);
        {
            SessionLocker locker(session.mutex);
            if (session.generation != generation)
                continue;
            if (registered(candidate))
                return found(candidate, index);
        }
        std::shared_ptr<KavraDriver_AbstractDevice> device;
        if (KavraDeviceDiscovery::open(attached.at(candidate), &device) != Success)
            return NoSuchSerialNumber;
        device->close();
        return found(candidate, index);
    }
}

std::shared_ptr<KavraDriver_AbstractDevice> KavraSession::registeredDevice(int index)
{
    SessionLocker locker(state().mutex);
    return registered(index);
}

void KavraSession::release(bool closeUnits)
{
    SessionLocker locker(state().mutex);
    releaseAll(closeUnits);
}

void KavraSession::registerForTesting(int index, std::shared_ptr<KavraDriver_AbstractDevice> device)
{
    SessionLocker locker(state().mutex);
    registerUnit(index, std::move(device));
}
