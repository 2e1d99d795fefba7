// Identification pages as a unit's bootloader returns them, and the page-size reply before them.
#include "Bootloader.h"
#include "BootloaderInfo.h"
#include "QuietMessages.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr int IdentityFieldSize = 40;
constexpr int SerialFieldSize = 16;
constexpr int EntryNameSize = 16;
constexpr int EntryListOffset = 76;
constexpr int EntrySize = 1 + EntryNameSize + 4 * 2;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray page(reinterpret_cast<const char*>(data), static_cast<int>(size));

    const BootloaderInfo info = BootloaderInfo::fromPage(page);
    // Every text comes from a fixed field of the page, and every entry from bytes the page holds.
    if (info.isValid() && page.size() < BootloaderInfo::MinimumPageSize)
        std::abort();
    if (info.identityText().size() > IdentityFieldSize
        || info.serialNumber().size() > SerialFieldSize)
        std::abort();
    const auto entries = info.entries();
    if (!entries.isEmpty() && EntryListOffset + entries.size() * EntrySize > page.size())
        std::abort();
    for (const BootloaderInfo::Entry& entry : entries) {
        if (entry.name.size() > EntryNameSize)
            std::abort();
    }

    uint32_t pageSize = 0;
    bool pageFlag = false;
    if (Bootloader::decodePageSize(page, pageSize, pageFlag)
        && ((page.size() != 2 && page.size() != 4) || pageSize > 0xFFFF))
        std::abort();
    return 0;
}
