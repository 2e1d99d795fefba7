#include "FtdiEepromImage.h"

#include "SimEeprom.h"

#include <algorithm>

// FTDI's layout, by byte address: 0x00-0x01 chip options, 0x02 vendor id, 0x04 product id,
// 0x06 device release, 0x08 configuration attributes, 0x09 max power in 2 mA units, 0x0A chip
// configuration (pull-downs, serial number enable), 0x0B-0x0D chip options, 0x0E-0x13 offset and
// length of the manufacturer, description and serial number string descriptors, chip options
// from 0x14, the strings from the layout's start (offsets carry bit 7), the user area after them,
// and in the last word the checksum over all words before it.
struct FtdiEepromImage::Layout
{
    int words; // the memory's size in words; higher addresses wrap
    int bytes; // the configuration area the checksum covers, its own word last
    int stringsStart; // byte address of the first string descriptor
    bool pnpBytes; // four bytes after the strings, as FTDI's library writes them
    int skipFromWord; // words outside the checksum (the FT-X user area), or -1
    int skipToWord;
    uint16_t release; // bcdDevice
    int chipByte; // address of the external EEPROM's type byte, or -1
    // The user area: the free bytes before the strings, then (where tailUserArea) those after
    // them up to the checksum, then on the FT-X the memory beyond the configuration area.
    int userAreaStart;
    int userAreaEnd;
    bool tailUserArea;
};

namespace {

constexpr uint8_t kSelfPowered = 0x40;
constexpr uint8_t kRemoteWakeup = 0x20;
constexpr uint8_t kPullDowns = 0x04;
constexpr uint8_t kUseSerial = 0x08;
constexpr uint8_t kEeprom93C56 = 0x56;

// Drive current in mA (4, 8, 12, 16) and the two flags as one nibble.
uint8_t ioGroup(UCHAR driveMa, UCHAR schmitt, UCHAR slowSlew)
{
    const uint8_t drive = uint8_t(std::clamp(int(driveMa), 4, 16) / 4 - 1);
    return uint8_t(drive | (slowSlew ? 0x04 : 0) | (schmitt ? 0x08 : 0));
}

void fromIoGroup(uint8_t nibble, UCHAR* driveMa, UCHAR* schmitt, UCHAR* slowSlew)
{
    *driveMa = UCHAR(((nibble & 0x03) + 1) * 4);
    *slowSlew = (nibble & 0x04) ? 1 : 0;
    *schmitt = (nibble & 0x08) ? 1 : 0;
}

// Channel modes of the FT2232H channels and the FT232H, as FTDI's library writes them.
constexpr uint8_t kModeFifo = 0x01;
constexpr uint8_t kModeFifoTarget = 0x02;
constexpr uint8_t kModeFastSerial = 0x04;
constexpr uint8_t kModeFt1248 = 0x08;

uint8_t channelMode(UCHAR fifo, UCHAR fifoTarget, UCHAR fastSerial)
{
    return uint8_t((fifo ? kModeFifo : 0) | (fifoTarget ? kModeFifoTarget : 0)
        | (fastSerial ? kModeFastSerial : 0));
}

// The FT232R's byte 0: bit 3 set selects the virtual COM port driver; FTDI's library always sets
// bit 0.
constexpr uint8_t kR232Always = 0x01;
constexpr uint8_t kR232Vcp = 0x08;
// The USB version FTDI's library writes on the FT232R.
constexpr uint16_t kR232UsbVersion = 0x0200;
// A byte FTDI's library writes into every FT232H EEPROM it programs.
constexpr int kH232MarkAddress = 0x8A;
constexpr uint8_t kH232Mark = 0x48;

QString latin1(const QString& text)
{
    return QString::fromLatin1(text.toLatin1());
}

} // namespace

const FtdiEepromImage::Layout& FtdiEepromImage::layoutFor(uint32_t chipType)
{
    // The FT232R's internal 128 bytes, a 93C56 on the high-speed chips, the FT-X's 2 kB MTP
    // memory (whose checksum leaves out the user area from byte 0x24). The user areas are where
    // FTDI's library reads and writes them.
    static const Layout r{64, 0x80, 0x98, true, -1, -1, 0x0600, -1, 0x18, 0x18, true};
    static const Layout h2{128, 0x100, 0x9A, true, -1, -1, 0x0700, 0x18, 0x1A, 0x9A, true};
    static const Layout h4{128, 0x100, 0x9A, true, -1, -1, 0x0800, 0x18, 0x1A, 0x9A, true};
    static const Layout h{128, 0x100, 0xA0, true, -1, -1, 0x0900, 0x1E, 0x20, 0x98, false};
    static const Layout x{1024, 0x100, 0xA0, false, 0x12, 0x40, 0x1000, -1, 0x24, 0x80, false};
    switch (chipType) {
    case FT_DEVICE_232R:
        return r;
    case FT_DEVICE_2232H:
        return h2;
    case FT_DEVICE_4232H:
        return h4;
    case FT_DEVICE_232H:
        return h;
    default:
        return x;
    }
}

FtdiEepromImage::FtdiEepromImage(uint32_t chipType)
    : m_chipType(chipType), m_words(layoutFor(chipType).words, 0xFFFF)
{ }

void FtdiEepromImage::erase()
{
    std::fill(m_words.begin(), m_words.end(), uint16_t(0xFFFF));
}

bool FtdiEepromImage::isErased() const
{
    return std::all_of(m_words.begin(), m_words.end(), [](uint16_t w) { return w == 0xFFFF; });
}

uint8_t FtdiEepromImage::byte(int address) const
{
    const uint16_t w = word((address % (m_words.size() * 2)) / 2);
    return uint8_t(address % 2 ? w >> 8 : w & 0xFF);
}

void FtdiEepromImage::setByte(int address, uint8_t value)
{
    const int index = (address % (m_words.size() * 2)) / 2;
    uint16_t w = m_words[index];
    w = address % 2 ? uint16_t((w & 0x00FF) | (value << 8)) : uint16_t((w & 0xFF00) | value);
    m_words[index] = w;
}

uint16_t FtdiEepromImage::checksum() const
{
    const Layout& layout = layoutFor(m_chipType);
    uint16_t sum = 0xAAAA;
    for (int i = 0; i < layout.bytes / 2 - 1; ++i) {
        if (i >= layout.skipFromWord && i < layout.skipToWord)
            continue;
        sum ^= m_words.at(i);
        sum = uint16_t((sum << 1) | (sum >> 15));
    }
    return sum;
}

bool FtdiEepromImage::checksumMatches() const
{
    return m_words.at(layoutFor(m_chipType).bytes / 2 - 1) == checksum();
}

QVector<int> FtdiEepromImage::userAreaAddresses(uint32_t chipType, const Texts& texts)
{
    const Layout& layout = layoutFor(chipType);
    QVector<int> addresses;
    for (int at = layout.userAreaStart; at < layout.userAreaEnd; ++at)
        addresses.append(at);
    if (layout.tailUserArea) {
        // The strings sit at their start address within the configuration area.
        int end = (layout.stringsStart % layout.bytes) + 2 * 3
            + 2 * (texts.manufacturer.size() + texts.description.size() + texts.serial.size());
        if (layout.pnpBytes)
            end += 4;
        for (int at = end; at < layout.bytes - 2; ++at)
            addresses.append(at);
    }
    for (int at = layout.bytes; layout.skipFromWord >= 0 && at < 2 * layout.words; ++at)
        addresses.append(at);
    return addresses;
}

int FtdiEepromImage::userAreaBytes(uint32_t chipType, const Texts& texts)
{
    return userAreaAddresses(chipType, texts).size();
}

FtdiEepromImage FtdiEepromImage::encode(uint32_t chipType, const Fields& fields)
{
    const Layout& layout = layoutFor(chipType);
    FtdiEepromImage image(chipType);
    std::fill(image.m_words.begin(), image.m_words.end(), uint16_t(0));
    const FT_PROGRAM_DATA& d = fields.data;
    const FT_EEPROM_X_SERIES& x = fields.x;
    const bool isX = chipType == FT_DEVICE_X_SERIES;

    const WORD vendorId = isX ? x.common.VendorId : d.VendorId;
    const WORD productId = isX ? x.common.ProductId : d.ProductId;
    const int maxPower = isX ? x.common.MaxPower : d.MaxPower;
    const bool selfPowered = isX ? x.common.SelfPowered : d.SelfPowered;
    const bool remoteWakeup = isX ? x.common.RemoteWakeup : d.RemoteWakeup;
    image.setByte(0x02, uint8_t(vendorId));
    image.setByte(0x03, uint8_t(vendorId >> 8));
    image.setByte(0x04, uint8_t(productId));
    image.setByte(0x05, uint8_t(productId >> 8));
    image.setByte(0x06, uint8_t(layout.release));
    image.setByte(0x07, uint8_t(layout.release >> 8));
    image.setByte(0x08,
        uint8_t(0x80 | (selfPowered ? kSelfPowered : 0) | (remoteWakeup ? kRemoteWakeup : 0)));
    image.setByte(0x09, uint8_t(std::clamp(maxPower, 0, 500) / 2));

    bool pullDowns = false;
    bool useSerial = false;
    switch (chipType) {
    case FT_DEVICE_232R:
        pullDowns = d.PullDownEnableR;
        useSerial = d.SerNumEnableR;
        image.setByte(0x00,
            uint8_t(kR232Always | (d.UseExtOsc ? 0x02 : 0) | (d.HighDriveIOs ? 0x04 : 0)
                | (d.RIsD2XX ? 0 : kR232Vcp)));
        image.setByte(0x01, 0x40);
        image.setByte(0x0B,
            uint8_t((d.InvertTXD ? 0x01 : 0) | (d.InvertRXD ? 0x02 : 0) | (d.InvertRTS ? 0x04 : 0)
                | (d.InvertCTS ? 0x08 : 0) | (d.InvertDTR ? 0x10 : 0) | (d.InvertDSR ? 0x20 : 0)
                | (d.InvertDCD ? 0x40 : 0) | (d.InvertRI ? 0x80 : 0)));
        image.setByte(0x0C, uint8_t(kR232UsbVersion));
        image.setByte(0x0D, uint8_t(kR232UsbVersion >> 8));
        image.setByte(0x14, uint8_t((d.Cbus0 & 0x0F) | (d.Cbus1 << 4)));
        image.setByte(0x15, uint8_t((d.Cbus2 & 0x0F) | (d.Cbus3 << 4)));
        image.setByte(0x16, uint8_t(d.Cbus4 & 0x0F));
        break;
    case FT_DEVICE_2232H:
        pullDowns = d.PullDownEnable7;
        useSerial = d.SerNumEnable7;
        image.setByte(0x00,
            uint8_t(channelMode(d.IFAIsFifo7, d.IFAIsFifoTar7, d.IFAIsFastSer7)
                | (d.AIsVCP7 ? 0x08 : 0)));
        // FTDI's library keeps no power-save setting on this chip.
        image.setByte(0x01,
            uint8_t(channelMode(d.IFBIsFifo7, d.IFBIsFifoTar7, d.IFBIsFastSer7)
                | (d.BIsVCP7 ? 0x08 : 0)));
        image.setByte(0x0C,
            uint8_t(ioGroup(d.ALDriveCurrent, d.ALSchmittInput, d.ALSlowSlew)
                | ioGroup(d.AHDriveCurrent, d.AHSchmittInput, d.AHSlowSlew) << 4));
        image.setByte(0x0D,
            uint8_t(ioGroup(d.BLDriveCurrent, d.BLSchmittInput, d.BLSlowSlew)
                | ioGroup(d.BHDriveCurrent, d.BHSchmittInput, d.BHSlowSlew) << 4));
        break;
    case FT_DEVICE_4232H:
        pullDowns = d.PullDownEnable8;
        useSerial = d.SerNumEnable8;
        image.setByte(0x00, uint8_t((d.AIsVCP8 ? 0x08 : 0) | (d.CIsVCP8 ? 0x80 : 0)));
        image.setByte(0x01, uint8_t((d.BIsVCP8 ? 0x08 : 0) | (d.DIsVCP8 ? 0x80 : 0)));
        image.setByte(0x0B,
            uint8_t((d.ARIIsTXDEN ? 0x10 : 0) | (d.BRIIsTXDEN ? 0x20 : 0)
                | (d.CRIIsTXDEN ? 0x40 : 0) | (d.DRIIsTXDEN ? 0x80 : 0)));
        image.setByte(0x0C,
            uint8_t(ioGroup(d.ADriveCurrent, d.ASchmittInput, d.ASlowSlew)
                | ioGroup(d.BDriveCurrent, d.BSchmittInput, d.BSlowSlew) << 4));
        image.setByte(0x0D,
            uint8_t(ioGroup(d.CDriveCurrent, d.CSchmittInput, d.CSlowSlew)
                | ioGroup(d.DDriveCurrent, d.DSchmittInput, d.DSlowSlew) << 4));
        break;
    case FT_DEVICE_232H:
        pullDowns = d.PullDownEnableH;
        useSerial = d.SerNumEnableH;
        image.setByte(0x00,
            uint8_t(channelMode(d.IsFifoH, d.IsFifoTarH, d.IsFastSerH)
                | (d.IsFT1248H ? kModeFt1248 : 0) | (d.IsVCPH ? 0x10 : 0)));
        image.setByte(0x01,
            uint8_t((d.FT1248CpolH ? 0x01 : 0) | (d.FT1248LsbH ? 0x02 : 0)
                | (d.FT1248FlowControlH ? 0x04 : 0) | (d.PowerSaveEnableH ? 0x80 : 0)));
        image.setByte(0x0C, ioGroup(d.ACDriveCurrentH, d.ACSchmittInputH, d.ACSlowSlewH));
        image.setByte(0x0D, ioGroup(d.ADDriveCurrentH, d.ADSchmittInputH, d.ADSlowSlewH));
        {
            const UCHAR cbus[10] = {d.Cbus0H, d.Cbus1H, d.Cbus2H, d.Cbus3H, d.Cbus4H, d.Cbus5H,
                d.Cbus6H, d.Cbus7H, d.Cbus8H, d.Cbus9H};
            for (int i = 0; i < 5; ++i)
                image.setByte(0x18 + i, uint8_t((cbus[2 * i] & 0x0F) | (cbus[2 * i + 1] << 4)));
        }
        image.setByte(kH232MarkAddress, kH232Mark);
        break;
    default:
        pullDowns = x.common.PullDownEnable;
        useSerial = x.common.SerNumEnable;
        image.setByte(0x00,
            uint8_t((x.BCDEnable ? 0x01 : 0) | (x.BCDForceCbusPWREN ? 0x02 : 0)
                | (x.BCDDisableSleep ? 0x04 : 0) | (x.RS485EchoSuppress ? 0x08 : 0)
                | (x.PowerSaveEnable ? 0x40 : 0) | (x.DriverType ? 0x80 : 0)));
        image.setByte(0x14, uint8_t(x.I2CSlaveAddress));
        image.setByte(0x15, uint8_t(x.I2CSlaveAddress >> 8));
        image.setByte(0x16, uint8_t(x.I2CDeviceId));
        image.setByte(0x17, uint8_t(x.I2CDeviceId >> 8));
        image.setByte(0x18, uint8_t(x.I2CDeviceId >> 16));
        image.setByte(0x0B,
            uint8_t((x.InvertTXD ? 0x01 : 0) | (x.InvertRXD ? 0x02 : 0) | (x.InvertRTS ? 0x04 : 0)
                | (x.InvertCTS ? 0x08 : 0) | (x.InvertDTR ? 0x10 : 0) | (x.InvertDSR ? 0x20 : 0)
                | (x.InvertDCD ? 0x40 : 0) | (x.InvertRI ? 0x80 : 0)));
        image.setByte(0x0C,
            uint8_t(ioGroup(x.ADDriveCurrent, x.ADSchmittInput, x.ADSlowSlew)
                | ioGroup(x.ACDriveCurrent, x.ACSchmittInput, x.ACSlowSlew) << 4));
        {
            const UCHAR cbus[7] = {x.Cbus0, x.Cbus1, x.Cbus2, x.Cbus3, x.Cbus4, x.Cbus5, x.Cbus6};
            for (int i = 0; i < 7; ++i)
                image.setByte(0x1A + i, cbus[i]);
        }
        break;
    }
    uint8_t configuration = uint8_t((pullDowns ? kPullDowns : 0) | (useSerial ? kUseSerial : 0));
    if (isX)
        configuration |= uint8_t((x.FT1248Cpol ? 0x10 : 0) | (x.FT1248Lsb ? 0x20 : 0)
            | (x.FT1248FlowControl ? 0x40 : 0) | (x.I2CDisableSchmitt ? 0x80 : 0));
    image.setByte(0x0A, configuration);
    if (layout.chipByte >= 0)
        image.setByte(layout.chipByte, kEeprom93C56);

    // The string descriptors, one after the other; their offsets carry bit 7.
    int at = layout.stringsStart;
    const QString texts[3] = {latin1(fields.texts.manufacturer), latin1(fields.texts.description),
        latin1(fields.texts.serial)};
    for (int i = 0; i < 3; ++i) {
        const QString& text = texts[i];
        const int length = 2 + 2 * text.size();
        image.setByte(0x0E + 2 * i, uint8_t(at | 0x80));
        image.setByte(0x0F + 2 * i, uint8_t(length));
        image.setByte(at, uint8_t(length));
        image.setByte(at + 1, 0x03);
        for (int c = 0; c < text.size(); ++c) {
            image.setByte(at + 2 + 2 * c, uint8_t(text.at(c).unicode()));
            image.setByte(at + 3 + 2 * c, 0);
        }
        at += length;
    }
    if (layout.pnpBytes) {
        image.setByte(at, 0x02);
        image.setByte(at + 1, 0x03);
        image.setByte(at + 2, isX ? 0 : uint8_t(d.PnP ? 0 : 1));
        image.setByte(at + 3, 0x00);
        at += 4;
    }
    const QVector<int> userArea = userAreaAddresses(chipType, fields.texts);
    for (int i = 0; i < userArea.size() && i < fields.userArea.size(); ++i)
        image.setByte(userArea.at(i), uint8_t(fields.userArea.at(i)));
    image.m_words[layout.bytes / 2 - 1] = image.checksum();
    return image;
}

bool FtdiEepromImage::decode(Fields* fields) const
{
    if (isErased() || !checksumMatches())
        return false;
    const Layout& layout = layoutFor(m_chipType);
    Fields out;
    FT_PROGRAM_DATA& d = out.data;
    FT_EEPROM_X_SERIES& x = out.x;
    d.Signature1 = FT_PROGRAM_DATA_SIGNATURE1;
    d.Signature2 = FT_PROGRAM_DATA_SIGNATURE2;
    d.Version = FT_PROGRAM_DATA_VERSION;
    d.VendorId = WORD(byte(0x02) | byte(0x03) << 8);
    d.ProductId = WORD(byte(0x04) | byte(0x05) << 8);
    d.SelfPowered = (byte(0x08) & kSelfPowered) ? 1 : 0;
    d.RemoteWakeup = (byte(0x08) & kRemoteWakeup) ? 1 : 0;
    d.MaxPower = WORD(byte(0x09) * 2);
    const bool pullDowns = byte(0x0A) & kPullDowns;
    const bool useSerial = byte(0x0A) & kUseSerial;
    x.common.deviceType = FT_DEVICE_X_SERIES;
    x.common.VendorId = d.VendorId;
    x.common.ProductId = d.ProductId;
    x.common.SelfPowered = UCHAR(d.SelfPowered);
    x.common.RemoteWakeup = UCHAR(d.RemoteWakeup);
    x.common.MaxPower = d.MaxPower;

    const uint8_t b0 = byte(0x00);
    const uint8_t b1 = byte(0x01);
    switch (m_chipType) {
    case FT_DEVICE_232R: {
        d.PullDownEnableR = pullDowns;
        d.SerNumEnableR = useSerial;
        d.UseExtOsc = (b0 & 0x02) ? 1 : 0;
        d.HighDriveIOs = (b0 & 0x04) ? 1 : 0;
        d.RIsD2XX = (b0 & kR232Vcp) ? 0 : 1;
        d.EndpointSize = b1;
        const uint8_t invert = byte(0x0B);
        UCHAR* const inverts[8] = {&d.InvertTXD, &d.InvertRXD, &d.InvertRTS, &d.InvertCTS,
            &d.InvertDTR, &d.InvertDSR, &d.InvertDCD, &d.InvertRI};
        for (int i = 0; i < 8; ++i)
            *inverts[i] = (invert >> i) & 1;
        d.USBVersion = WORD(byte(0x0C) | byte(0x0D) << 8);
        d.Cbus0 = byte(0x14) & 0x0F;
        d.Cbus1 = byte(0x14) >> 4;
        d.Cbus2 = byte(0x15) & 0x0F;
        d.Cbus3 = byte(0x15) >> 4;
        d.Cbus4 = byte(0x16) & 0x0F;
        break;
    }
    case FT_DEVICE_2232H:
        d.PullDownEnable7 = pullDowns;
        d.SerNumEnable7 = useSerial;
        d.IFAIsFifo7 = (b0 & kModeFifo) ? 1 : 0;
        d.IFAIsFifoTar7 = (b0 & kModeFifoTarget) ? 1 : 0;
        d.IFAIsFastSer7 = (b0 & kModeFastSerial) ? 1 : 0;
        d.AIsVCP7 = (b0 & 0x08) ? 1 : 0;
        d.IFBIsFifo7 = (b1 & kModeFifo) ? 1 : 0;
        d.IFBIsFifoTar7 = (b1 & kModeFifoTarget) ? 1 : 0;
        d.IFBIsFastSer7 = (b1 & kModeFastSerial) ? 1 : 0;
        d.BIsVCP7 = (b1 & 0x08) ? 1 : 0;
        fromIoGroup(byte(0x0C) & 0x0F, &d.ALDriveCurrent, &d.ALSchmittInput, &d.ALSlowSlew);
        fromIoGroup(byte(0x0C) >> 4, &d.AHDriveCurrent, &d.AHSchmittInput, &d.AHSlowSlew);
        fromIoGroup(byte(0x0D) & 0x0F, &d.BLDriveCurrent, &d.BLSchmittInput, &d.BLSlowSlew);
        fromIoGroup(byte(0x0D) >> 4, &d.BHDriveCurrent, &d.BHSchmittInput, &d.BHSlowSlew);
        break;
    case FT_DEVICE_4232H:
        d.PullDownEnable8 = pullDowns;
        d.SerNumEnable8 = useSerial;
        d.AIsVCP8 = (b0 & 0x08) ? 1 : 0;
        d.CIsVCP8 = (b0 & 0x80) ? 1 : 0;
        d.BIsVCP8 = (b1 & 0x08) ? 1 : 0;
        d.DIsVCP8 = (b1 & 0x80) ? 1 : 0;
        d.ARIIsTXDEN = (byte(0x0B) & 0x10) ? 1 : 0;
        d.BRIIsTXDEN = (byte(0x0B) & 0x20) ? 1 : 0;
        d.CRIIsTXDEN = (byte(0x0B) & 0x40) ? 1 : 0;
        d.DRIIsTXDEN = (byte(0x0B) & 0x80) ? 1 : 0;
        fromIoGroup(byte(0x0C) & 0x0F, &d.ADriveCurrent, &d.ASchmittInput, &d.ASlowSlew);
        fromIoGroup(byte(0x0C) >> 4, &d.BDriveCurrent, &d.BSchmittInput, &d.BSlowSlew);
        fromIoGroup(byte(0x0D) & 0x0F, &d.CDriveCurrent, &d.CSchmittInput, &d.CSlowSlew);
        fromIoGroup(byte(0x0D) >> 4, &d.DDriveCurrent, &d.DSchmittInput, &d.DSlowSlew);
        break;
    case FT_DEVICE_232H: {
        d.PullDownEnableH = pullDowns;
        d.SerNumEnableH = useSerial;
        d.IsFifoH = (b0 & kModeFifo) ? 1 : 0;
        d.IsFifoTarH = (b0 & kModeFifoTarget) ? 1 : 0;
        d.IsFastSerH = (b0 & kModeFastSerial) ? 1 : 0;
        d.IsFT1248H = (b0 & kModeFt1248) ? 1 : 0;
        d.IsVCPH = (b0 & 0x10) ? 1 : 0;
        d.FT1248CpolH = (b1 & 0x01) ? 1 : 0;
        d.FT1248LsbH = (b1 & 0x02) ? 1 : 0;
        d.FT1248FlowControlH = (b1 & 0x04) ? 1 : 0;
        d.PowerSaveEnableH = (b1 & 0x80) ? 1 : 0;
        fromIoGroup(byte(0x0C) & 0x0F, &d.ACDriveCurrentH, &d.ACSchmittInputH, &d.ACSlowSlewH);
        fromIoGroup(byte(0x0D) & 0x0F, &d.ADDriveCurrentH, &d.ADSchmittInputH, &d.ADSlowSlewH);
        UCHAR* const cbus[10] = {&d.Cbus0H, &d.Cbus1H, &d.Cbus2H, &d.Cbus3H, &d.Cbus4H, &d.Cbus5H,
            &d.Cbus6H, &d.Cbus7H, &d.Cbus8H, &d.Cbus9H};
        for (int i = 0; i < 5; ++i) {
            *cbus[2 * i] = byte(0x18 + i) & 0x0F;
            *cbus[2 * i + 1] = byte(0x18 + i) >> 4;
        }
        break;
    }
    default: {
        x.common.PullDownEnable = pullDowns;
        x.common.SerNumEnable = useSerial;
        x.BCDEnable = (b0 & 0x01) ? 1 : 0;
        x.BCDForceCbusPWREN = (b0 & 0x02) ? 1 : 0;
        x.BCDDisableSleep = (b0 & 0x04) ? 1 : 0;
        x.RS485EchoSuppress = (b0 & 0x08) ? 1 : 0;
        x.PowerSaveEnable = (b0 & 0x40) ? 1 : 0;
        x.DriverType = (b0 & 0x80) ? 1 : 0;
        const uint8_t configuration = byte(0x0A);
        x.FT1248Cpol = (configuration & 0x10) ? 1 : 0;
        x.FT1248Lsb = (configuration & 0x20) ? 1 : 0;
        x.FT1248FlowControl = (configuration & 0x40) ? 1 : 0;
        x.I2CDisableSchmitt = (configuration & 0x80) ? 1 : 0;
        x.I2CSlaveAddress = WORD(byte(0x14) | byte(0x15) << 8);
        x.I2CDeviceId = DWORD(byte(0x16) | byte(0x17) << 8 | byte(0x18) << 16);
        const uint8_t invert = byte(0x0B);
        UCHAR* const inverts[8] = {&x.InvertTXD, &x.InvertRXD, &x.InvertRTS, &x.InvertCTS,
            &x.InvertDTR, &x.InvertDSR, &x.InvertDCD, &x.InvertRI};
        for (int i = 0; i < 8; ++i)
            *inverts[i] = (invert >> i) & 1;
        fromIoGroup(byte(0x0C) & 0x0F, &x.ADDriveCurrent, &x.ADSchmittInput, &x.ADSlowSlew);
        fromIoGroup(byte(0x0C) >> 4, &x.ACDriveCurrent, &x.ACSchmittInput, &x.ACSlowSlew);
        UCHAR* const cbus[7]
            = {&x.Cbus0, &x.Cbus1, &x.Cbus2, &x.Cbus3, &x.Cbus4, &x.Cbus5, &x.Cbus6};
        for (int i = 0; i < 7; ++i)
            *cbus[i] = byte(0x1A + i);
        break;
    }
    }

    // The string descriptors: length byte, type 3, then UTF-16LE characters.
    QString* const texts[3] = {&out.texts.manufacturer, &out.texts.description, &out.texts.serial};
    int end = layout.stringsStart;
    for (int i = 0; i < 3; ++i) {
        const int at = byte(0x0E + 2 * i);
        const int length = byte(0x0F + 2 * i);
        QString text;
        for (int c = 2; c + 1 < length; c += 2)
            text.append(QChar(ushort(byte(at + c) | byte(at + c + 1) << 8)));
        *texts[i] = text;
        end = std::max(end, (at | 0x80) + length);
    }
    out.texts.manufacturerId = out.texts.serial.left(2);
    d.PnP = 1;
    if (layout.pnpBytes) {
        d.PnP = byte(end + 2) ? 0 : 1;
        end += 4;
    }
    for (int address : userAreaAddresses(m_chipType, out.texts))
        out.userArea.append(char(byte(address)));
    *fields = out;
    return true;
}

FtdiEepromImage::Texts FtdiEepromImage::textsOf(const SimEeprom& eeprom)
{
    Fields fields;
    fieldsOf(eeprom, FT_DEVICE_UNKNOWN, &fields);
    return fields.texts;
}

bool FtdiEepromImage::fieldsOf(const SimEeprom& eeprom, uint32_t chipType, Fields* fields)
{
    char manufacturer[FT_MANUFACTURER_BUFFER_SIZE] = {};
    char manufacturerId[FT_MANUFACTURER_ID_BUFFER_SIZE] = {};
    char description[FT_DESCRIPTION_BUFFER_SIZE] = {};
    char serial[FT_SERIAL_BUFFER_SIZE] = {};
    FT_PROGRAM_DATA& d = fields->data;
    d = FT_PROGRAM_DATA{};
    d.Signature1 = FT_PROGRAM_DATA_SIGNATURE1;
    d.Signature2 = FT_PROGRAM_DATA_SIGNATURE2;
    d.Version = FT_PROGRAM_DATA_VERSION;
    d.Manufacturer = manufacturer;
    d.ManufacturerId = manufacturerId;
    d.Description = description;
    d.SerialNumber = serial;
    const bool programmed = eeprom.read(&d) == FT_OK;
    d.Manufacturer = d.ManufacturerId = d.Description = d.SerialNumber = nullptr;
    fields->x = FT_EEPROM_X_SERIES{};
    fields->x.common.deviceType = FT_DEVICE_X_SERIES;
    if (chipType == FT_DEVICE_X_SERIES)
        eeprom.readX(&fields->x, nullptr, nullptr, nullptr, nullptr);
    fields->texts = Texts{QString::fromLatin1(manufacturer), QString::fromLatin1(manufacturerId),
        QString::fromLatin1(description), QString::fromLatin1(serial)};
    return programmed;
}
