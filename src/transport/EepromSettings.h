#pragma once

#include <QString>

#include <cstdint>

// What programEeprom writes into a chip's EEPROM besides the fixed link options.
struct EepromSettings
{
    QString serialNumber;
    QString description;
    uint8_t selfPowered = 0;
    // Milliamperes.
    uint16_t maxPower = 0;
    // FT-X chips only: the alternative CBUS pin assignment.
    bool alternateCbus = false;
};
