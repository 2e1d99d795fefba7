#include "UsbDescriptors.h"

#include "FtdiD2xx.h"
#include "SimChip.h"

#include <algorithm>

namespace {

void appendWord(QByteArray& out, int value)
{
    out.append(char(value & 0xFF));
    out.append(char((value >> 8) & 0xFF));
}

} // namespace

int UsbDescriptors::interfaceCount(uint32_t chipType)
{
    return chipType == FT_DEVICE_2232H ? 2 : chipType == FT_DEVICE_4232H ? 4 : 1;
}

bool UsbDescriptors::isHighSpeed(uint32_t chipType)
{
    return SimChip::isHighSpeedType(chipType);
}

uint16_t UsbDescriptors::release(uint32_t chipType)
{
    switch (chipType) {
    case FT_DEVICE_232R:
        return 0x0600;
    case FT_DEVICE_2232H:
        return 0x0700;
    case FT_DEVICE_4232H:
        return 0x0800;
    case FT_DEVICE_232H:
        return 0x0900;
    default:
        return 0x1000;
    }
}

QByteArray UsbDescriptors::device(const Identity& identity)
{
    QByteArray out;
    out.append(char(18));
    out.append(char(1));
    appendWord(out, 0x0200);
    out.append(char(0));
    out.append(char(0));
    out.append(char(0));
    out.append(char(isHighSpeed(identity.chipType) ? 64 : 8));
    appendWord(out, identity.vendorId);
    appendWord(out, identity.productId);
    appendWord(out, release(identity.chipType));
    out.append(char(kManufacturer));
    out.append(char(kProduct));
    out.append(char(identity.hasSerial ? kSerial : 0));
    out.append(char(1));
    return out;
}

QByteArray UsbDescriptors::configuration(const Identity& identity)
{
    const int interfaces = interfaceCount(identity.chipType);
    const int packet = maxPacketSize(identity.chipType);
    QByteArray out;
    out.append(char(9));
    out.append(char(2));
    appendWord(out, 9 + interfaces * (9 + 2 * 7));
    out.append(char(interfaces));
    out.append(char(1));
    out.append(char(0));
    out.append(char(0x80 | (identity.selfPowered ? 0x40 : 0) | (identity.remoteWakeup ? 0x20 : 0)));
    out.append(char(std::clamp(identity.maxPowerMa, 0, 500) / 2));
    for (int i = 0; i < interfaces; ++i) {
        const char interfaceBytes[9]
            = {9, 4, char(i), 0, 2, char(0xFF), char(0xFF), char(0xFF), char(kProduct)};
        out.append(interfaceBytes, 9);
        // Channel k: bulk IN 0x81 + 2k, bulk OUT 0x02 + 2k.
        for (const int endpoint : {0x81 + 2 * i, 0x02 + 2 * i}) {
            out.append(char(7));
            out.append(char(5));
            out.append(char(endpoint));
            out.append(char(2));
            appendWord(out, packet);
            out.append(char(0));
        }
    }
    return out;
}

QByteArray UsbDescriptors::rootHub()
{
    // Device: USB 2.0, hub class with a single transaction translator, 1d6b:0002; configuration:
    // self-powered, one hub interface with an interrupt IN endpoint.
    return QByteArray::fromHex(
        "12010002090001406b1d020000010302010109021900010100e00009040000010900000007058103040"
        "00c");
}

QByteArray UsbDescriptors::languages()
{
    return QByteArray("\x04\x03\x09\x04", 4);
}

QByteArray UsbDescriptors::string(const QString& text)
{
    QByteArray out;
    out.append(char(2 + 2 * text.size()));
    out.append(char(3));
    for (const QChar c : text)
        appendWord(out, c.unicode());
    return out;
}
