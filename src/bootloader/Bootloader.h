#pragma once

#include "USBResult.h"

#include <QByteArray>

#include <cstdint>

class BootloaderInfo;
class USBDriver;

// Makes a unit identify itself through the bootloader instructions that every unit understands,
// whatever its family. Holds no connection: it sends through the unit's driver, socket 0.
class Bootloader
{
public:
    // Always the binary instruction set.
    Bootloader();

    // The instruction sent before identification: a bare code byte, nothing is read back.
    USBResult firstInstruction(USBDriver& driver) const;
    // Reads the identification page into info and stores the first two version words as the
    // open device's version info. On failure neither info nor the device is touched; pageFlag
    // is written once the page-size reply has been decoded.
    // A page that decodes to a record that is not valid is still a success.
    USBResult readIdentification(
        USBDriver& driver, BootloaderInfo& info, bool* pageFlag = nullptr) const;

    // The page-size reply: 2 bytes (size high, low) or 4 bytes (FF, size high, low, flags).
    // False for any other form.
    static bool decodePageSize(const QByteArray& reply, uint32_t& pageSize, bool& pageFlag);

private:
    uint32_t m_instructionSet;
};
