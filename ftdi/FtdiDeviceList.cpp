#include "FtdiDeviceList.h"

#include "FtdiHandleTable.h"
#include "FtdiUsbContext.h"

#include <cstdio>
#include <cstring>

namespace {

struct ChipKind
{
    uint16_t release;
    FT_DEVICE type;
    int channels;
    bool highSpeed;
};

// bcdDevice of each chip family: the value FTDI's chips report and FTDI's library types them by.
constexpr ChipKind kChipKinds[] = {
    {0x0200, FT_DEVICE_AM, 1, false},
    {0x0400, FT_DEVICE_BM, 1, false},
    {0x0500, FT_DEVICE_2232C, 2, false},
    {0x0600, FT_DEVICE_232R, 1, false},
    {0x0700, FT_DEVICE_2232H, 2, true},
    {0x0800, FT_DEVICE_4232H, 4, true},
    {0x0900, FT_DEVICE_232H, 1, true},
    {0x1000, FT_DEVICE_X_SERIES, 1, false},
};

const ChipKind* kindOf(uint16_t release)
{
    for (const ChipKind& kind : kChipKinds) {
        if (kind.release == release)
            return &kind;
    }
    return nullptr;
}

} // namespace

FtdiDeviceList& FtdiDeviceList::instance()
{
    static FtdiDeviceList* const list = new FtdiDeviceList();
    return *list;
}

FT_DEVICE FtdiDeviceList::typeOf(uint16_t bcdDevice)
{
    const ChipKind* kind = kindOf(bcdDevice);
    return kind ? kind->type : FT_DEVICE_UNKNOWN;
}

DWORD FtdiDeviceList::create()
{
    std::vector<Entry> entries = scan();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries = std::move(entries);
    m_created = true;
    return DWORD(m_entries.size());
}

std::vector<FtdiDeviceList::Entry> FtdiDeviceList::entries()
{
    bool created;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        created = m_created;
    }
    if (!created)
        create();
    std::vector<Entry> entries;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        entries = m_entries;
    }
    markOpened(entries);
    return entries;
}

std::vector<FtdiDeviceList::Entry> FtdiDeviceList::scan() const
{
    std::vector<Entry> entries;
    ftdi_context* lister = FtdiUsbContext::instance().lister();
    if (!lister)
        return entries;
    ftdi_device_list* found = nullptr;
    // Vendor and product 0: every product id FTDI's library lists by default.
    if (ftdi_usb_find_all(lister, &found, 0, 0) < 0)
        return entries;
    for (ftdi_device_list* at = found; at; at = at->next) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(at->dev, &descriptor) != 0)
            continue;
        const ChipKind* kind = kindOf(descriptor.bcdDevice);
        char description[64] = {};
        char serial[16] = {};
        // A chip whose strings cannot be read (no permission) is still listed, without them.
        ftdi_usb_get_strings2(
            lister, at->dev, nullptr, 0, description, sizeof description, serial, sizeof serial);
        const uint32_t location
            = uint32_t(libusb_get_bus_number(at->dev)) << 8 | libusb_get_device_address(at->dev);
        libusb_ref_device(at->dev);
        const std::shared_ptr<libusb_device> device(at->dev, libusb_unref_device);
        const int channels = kind ? kind->channels : 1;
        for (int channel = 0; channel < channels; ++channel) {
            Entry entry;
            entry.device = device;
            entry.interface = channels > 1 ? ftdi_interface(INTERFACE_A + channel) : INTERFACE_ANY;
            FT_DEVICE_LIST_INFO_NODE& node = entry.node;
            node.Flags = kind && kind->highSpeed ? FT_FLAGS_HISPEED : 0;
            node.Type = kind ? kind->type : FT_DEVICE_UNKNOWN;
            node.ID = uint32_t(descriptor.idVendor) << 16 | descriptor.idProduct;
            // Channels of one chip differ only in the low 4 bits, as with FTDI's library.
            node.LocId = channels > 1 ? location << 4 | uint32_t(channel + 1) : location;
            if (channels > 1) {
                std::snprintf(
                    node.SerialNumber, sizeof node.SerialNumber, "%.14s%c", serial, 'A' + channel);
                std::snprintf(node.Description, sizeof node.Description, "%.61s %c", description,
                    'A' + channel);
            } else {
                std::memcpy(node.SerialNumber, serial, sizeof node.SerialNumber);
                std::memcpy(node.Description, description, sizeof node.Description);
            }
            entries.push_back(entry);
        }
    }
    ftdi_list_free(&found);
    return entries;
}

void FtdiDeviceList::markOpened(std::vector<Entry>& entries) const
{
    for (Entry& entry : entries) {
        entry.node.ftHandle = FtdiHandleTable::instance().find(entry.device.get(), entry.interface);
        if (entry.node.ftHandle)
            entry.node.Flags |= FT_FLAGS_OPENED;
    }
}
