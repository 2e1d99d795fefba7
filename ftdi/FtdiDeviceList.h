#pragma once

#include "FtdiD2xx.h"

#include <ftdi.h>
#include <libusb.h>

#include <memory>
#include <mutex>
#include <vector>

// The D2XX device list over libusb: one entry per channel of every FTDI chip (an FT2232H shows as
// two, with serial numbers and descriptions ending in A and B), numbered as FT_Open counts them.
// The list stays as the last FT_CreateDeviceInfoList made it, as FTDI's library keeps it.
// Thread-safe.
class FtdiDeviceList
{
public:
    struct Entry
    {
        FT_DEVICE_LIST_INFO_NODE node{};
        std::shared_ptr<libusb_device> device;
        // The libftdi interface of the channel: INTERFACE_ANY for a single-channel chip.
        ftdi_interface interface = INTERFACE_ANY;
    };

    static FtdiDeviceList& instance();

    // Builds the list anew and returns its length.
    DWORD create();
    // The list as last created (created now if it never was), with each channel's open state.
    std::vector<Entry> entries();

    // The chip type from the device's release number, as FTDI's chips report it.
    static FT_DEVICE typeOf(uint16_t bcdDevice);

private:
    FtdiDeviceList() = default;
    std::vector<Entry> scan() const;
    void markOpened(std::vector<Entry>& entries) const;

    std::mutex m_mutex;
    std::vector<Entry> m_entries;
    bool m_created = false;
};
