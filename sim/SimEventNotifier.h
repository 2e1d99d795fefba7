#pragma once

#include "FtdiD2xx.h"

#include <map>
#include <memory>
#include <mutex>

// FT_SetEventNotification: signals a caller's event when bytes reach a handle's receive queue.
// Each registration has a thread of its own that waits on the handle (never polling) and signals
// the event, outside the bench's lock, the way the vendor library does on Linux: it locks the
// event's mutex and signals its condition. Only FT_EVENT_RXCHAR fires: the emulated modem and line
// status never change.
class SimEventNotifier
{
public:
    static SimEventNotifier& instance();

    // Replaces the handle's registration; a mask of 0 or a null event only removes it. Once this
    // returns, the event of an earlier registration is never touched again.
    FT_STATUS setNotification(FT_HANDLE handle, DWORD mask, void* event);
    // Removes the handle's registration, as FT_Close does.
    void remove(FT_HANDLE handle);

private:
    struct Registration;

    SimEventNotifier() = default;
    ~SimEventNotifier() = delete;
    static void watch(FT_HANDLE handle, std::shared_ptr<Registration> registration);

    std::mutex m_mutex;
    std::map<FT_HANDLE, std::shared_ptr<Registration>> m_registrations;
};
