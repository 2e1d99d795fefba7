#pragma once

#include "FtdiD2xx.h"

#include <ftdi.h>

#include <map>
#include <memory>
#include <mutex>

class FtdiHandle;

// The open handles of the process. A call holds its handle's object for its whole length, so a
// close from another thread never pulls it away mid-call; a closed or foreign FT_HANDLE is found
// nowhere, and the call answers FT_INVALID_HANDLE. Thread-safe.
class FtdiHandleTable
{
public:
    static FtdiHandleTable& instance();

    FT_HANDLE add(std::shared_ptr<FtdiHandle> handle);
    std::shared_ptr<FtdiHandle> get(FT_HANDLE handle) const;
    // Removes the handle and gives back its object, null when it was not open.
    std::shared_ptr<FtdiHandle> take(FT_HANDLE handle);
    // The handle open on a chip's channel, or null.
    FT_HANDLE find(const libusb_device* device, ftdi_interface interface) const;

private:
    FtdiHandleTable() = default;

    mutable std::mutex m_mutex;
    std::map<FT_HANDLE, std::shared_ptr<FtdiHandle>> m_handles;
};
