#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// The USB descriptors of the FTDI chips, as the chips build them from their EEPROM: a device
// descriptor, one configuration with one vendor-specific interface of two bulk endpoints per
// channel, and the string descriptors.
class UsbDescriptors
{
public:
    struct Identity
    {
        uint32_t chipType;
        uint16_t vendorId;
        uint16_t productId;
        bool selfPowered;
        bool remoteWakeup;
        int maxPowerMa;
        bool hasSerial;
    };

    static int interfaceCount(uint32_t chipType);
    static bool isHighSpeed(uint32_t chipType);
    static int maxPacketSize(uint32_t chipType) { return isHighSpeed(chipType) ? 512 : 64; }
    static uint16_t release(uint32_t chipType);

    static QByteArray device(const Identity& identity);
    static QByteArray configuration(const Identity& identity);
    // The device and configuration descriptors of the bus's root hub (a USB 2.0 hub of the Linux
    // Foundation's ids with one interface and its status-change endpoint).
    static QByteArray rootHub();
    // String descriptor 0 (the languages: US English) or a text.
    static QByteArray languages();
    static QByteArray string(const QString& text);

    // Indices of the string descriptors.
    static constexpr int kManufacturer = 1;
    static constexpr int kProduct = 2;
    static constexpr int kSerial = 3;
};
