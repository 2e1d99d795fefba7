#include "SimEventNotifier.h"

#include "SimBench.h"

#include <pthread.h>

#include <chrono>
#include <new>
#include <thread>

namespace {

// The vendor's Linux EVENT_HANDLE.
struct EventHandle
{
    pthread_cond_t eCondVar;
    pthread_mutex_t eMutex;
    int iVar;
};

// The longest a watcher waits without news; it then looks again (a handle is woken on every
// change, so this only bounds a wait that nothing could end).
constexpr std::chrono::seconds kLongestWait{3600};

} // namespace

struct SimEventNotifier::Registration
{
    std::mutex mutex;
    bool cancelled = false;
    DWORD mask;
    EventHandle* event;
};

SimEventNotifier& SimEventNotifier::instance()
{
    // Never destroyed, like the bench: watchers may still run while the process exits.
    alignas(SimEventNotifier) static unsigned char storage[sizeof(SimEventNotifier)];
    static SimEventNotifier* const notifier = new (storage) SimEventNotifier();
    return *notifier;
}

FT_STATUS SimEventNotifier::setNotification(FT_HANDLE handle, DWORD mask, void* event)
{
    // The handle must be alive before anything changes.
    const FT_STATUS status = SimBench::instance().withHandle(
        handle, [](SimHandle&, std::unique_lock<std::mutex>&) { return FT_OK; });
    if (status != FT_OK)
        return status;
    remove(handle);
    if (mask == 0 || !event)
        return FT_OK;
    auto registration = std::make_shared<Registration>();
    registration->mask = mask;
    registration->event = static_cast<EventHandle*>(event);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_registrations[handle] = registration;
    }
    std::thread(&SimEventNotifier::watch, handle, registration).detach();
    return FT_OK;
}

void SimEventNotifier::remove(FT_HANDLE handle)
{
    std::shared_ptr<Registration> registration;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_registrations.find(handle);
        if (found == m_registrations.end())
            return;
        registration = found->second;
        m_registrations.erase(found);
    }
    {
        std::lock_guard<std::mutex> lock(registration->mutex);
        registration->cancelled = true;
    }
    // Wake the watcher so that it ends; a dead or closed handle has woken it already.
    SimBench::instance().withHandle(
        handle, [](SimHandle& simHandle, std::unique_lock<std::mutex>&) {
            simHandle.wakeReaders();
            return FT_OK;
        });
}

void SimEventNotifier::watch(FT_HANDLE handle, std::shared_ptr<Registration> registration)
{
    SimBench& bench = SimBench::instance();
    int seen = 0;
    for (;;) {
        bool arrived = false;
        const FT_STATUS status = bench.withHandle(
            handle, [&](SimHandle& simHandle, std::unique_lock<std::mutex>& lock) {
                for (;;) {
                    {
                        std::lock_guard<std::mutex> registrationLock(registration->mutex);
                        if (registration->cancelled)
                            return FT_OTHER_ERROR;
                    }
                    if (simHandle.isClosed() || !simHandle.isAlive())
                        return FT_IO_ERROR;
                    const int64_t now = bench.benchTimeNs();
                    const int ready = simHandle.readyCount(now);
                    // Bytes read meanwhile lower the mark, so that the next arrival counts again.
                    if (ready > seen) {
                        seen = ready;
                        arrived = true;
                        return FT_OK;
                    }
                    seen = ready;
                    const int64_t next = simHandle.nextArrivalNs(now);
                    const auto until = next >= 0
                        ? std::chrono::steady_clock::now() + std::chrono::nanoseconds(next - now)
                        : std::chrono::steady_clock::now() + kLongestWait;
                    simHandle.waitForChange(lock, until);
                }
            });
        if (status != FT_OK)
            return;
        std::lock_guard<std::mutex> registrationLock(registration->mutex);
        if (registration->cancelled)
            return;
        if (arrived && (registration->mask & FT_EVENT_RXCHAR)) {
            pthread_mutex_lock(&registration->event->eMutex);
            pthread_cond_signal(&registration->event->eCondVar);
            pthread_mutex_unlock(&registration->event->eMutex);
        }
    }
}
