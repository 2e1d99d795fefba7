#include "FtdiHandleTable.h"

#include "FtdiHandle.h"

FtdiHandleTable& FtdiHandleTable::instance()
{
    static FtdiHandleTable* const table = new FtdiHandleTable();
    return *table;
}

FT_HANDLE FtdiHandleTable::add(std::shared_ptr<FtdiHandle> handle)
{
    // The object's address is the handle: unique while the object lives, and never reused while
    // the table holds it.
    const FT_HANDLE key = handle.get();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_handles[key] = std::move(handle);
    return key;
}

std::shared_ptr<FtdiHandle> FtdiHandleTable::get(FT_HANDLE handle) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_handles.find(handle);
    return found == m_handles.end() ? nullptr : found->second;
}

std::shared_ptr<FtdiHandle> FtdiHandleTable::take(FT_HANDLE handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_handles.find(handle);
    if (found == m_handles.end())
        return nullptr;
    std::shared_ptr<FtdiHandle> taken = std::move(found->second);
    m_handles.erase(found);
    return taken;
}

FT_HANDLE FtdiHandleTable::find(const libusb_device* device, ftdi_interface interface) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& [key, handle] : m_handles) {
        if (handle->device() == device && handle->interface() == interface)
            return key;
    }
    return nullptr;
}
