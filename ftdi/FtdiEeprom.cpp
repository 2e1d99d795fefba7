#include "FtdiEeprom.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// libftdi's drive codes (4, 8, 12, 16 mA) against D2XX's milliamperes.
UCHAR milliamperes(int code)
{
    return UCHAR((code + 1) * 4);
}

int driveCode(UCHAR milliamperes)
{
    return std::clamp(milliamperes / 4 - 1, 0, 3);
}

int value(ftdi_context* ftdi, ftdi_eeprom_value name)
{
    int result = 0;
    ftdi_get_eeprom_value(ftdi, name, &result);
    return result;
}

UCHAR flag(ftdi_context* ftdi, ftdi_eeprom_value name)
{
    return value(ftdi, name) ? 1 : 0;
}

void set(ftdi_context* ftdi, ftdi_eeprom_value name, int to)
{
    ftdi_set_eeprom_value(ftdi, name, to);
}

struct Group
{
    UCHAR* slew;
    UCHAR* schmitt;
    UCHAR* drive;
};

void readGroup(ftdi_context* ftdi, int group, const Group& out)
{
    const auto base = ftdi_eeprom_value(GROUP0_DRIVE + 3 * group);
    *out.drive = milliamperes(value(ftdi, base));
    *out.schmitt = flag(ftdi, ftdi_eeprom_value(base + 1));
    *out.slew = flag(ftdi, ftdi_eeprom_value(base + 2));
}

void writeGroup(ftdi_context* ftdi, int group, UCHAR slew, UCHAR schmitt, UCHAR drive)
{
    const auto base = ftdi_eeprom_value(GROUP0_DRIVE + 3 * group);
    set(ftdi, base, driveCode(drive));
    set(ftdi, ftdi_eeprom_value(base + 1), schmitt ? IS_SCHMITT : 0);
    set(ftdi, ftdi_eeprom_value(base + 2), slew ? SLOW_SLEW : 0);
}

// D2XX keeps a channel's mode as flags, libftdi as one type.
int channelType(UCHAR fifo, UCHAR cpuFifo, UCHAR fastSerial, UCHAR ft1248 = 0)
{
    return fifo      ? CHANNEL_IS_FIFO
        : cpuFifo    ? CHANNEL_IS_CPU
        : fastSerial ? CHANNEL_IS_OPTO
        : ft1248     ? CHANNEL_IS_FT1284
                     : CHANNEL_IS_UART;
}

void copyOut(char* to, const char* text, std::size_t size)
{
    if (to)
        std::snprintf(to, size, "%s", text);
}

// The largest image libftdi holds.
constexpr int kEepromBytes = 256;
// The FT-X option byte at address 0, which libftdi leaves at its default.
constexpr int kXOptionsByte = 0x00;
// FT-X chips keep a user area outside the checksum: words 0x12 to 0x3F.
constexpr int kXChecksumGapStart = 0x12;
constexpr int kXChecksumGapEnd = 0x40;

} // namespace

FT_STATUS FtdiEeprom::load(ftdi_context* ftdi)
{
    if (ftdi_read_eeprom(ftdi) < 0)
        return FT_EEPROM_READ_FAILED;
    unsigned char image[kEepromBytes];
    ftdi_get_eeprom_buf(ftdi, image, sizeof image);
    // An erased EEPROM reads all ones; libftdi would only report its checksum.
    if (std::all_of(image, image + 0x20, [](unsigned char b) { return b == 0xFF; }))
        return FT_EEPROM_NOT_PROGRAMMED;
    return ftdi_eeprom_decode(ftdi, 0) < 0 ? FT_EEPROM_NOT_PROGRAMMED : FT_OK;
}

void FtdiEeprom::copyTexts(ftdi_context* ftdi, const Texts& texts)
{
    char manufacturer[64] = {};
    char description[128] = {};
    char serial[64] = {};
    ftdi_eeprom_get_strings(ftdi, manufacturer, sizeof manufacturer, description,
        sizeof description, serial, sizeof serial);
    copyOut(texts.manufacturer, manufacturer, FT_MANUFACTURER_BUFFER_SIZE);
    // FTDI's tools take the manufacturer id as the serial number's prefix.
    copyOut(texts.manufacturerId, std::string(serial, strnlen(serial, 2)).c_str(),
        FT_MANUFACTURER_ID_BUFFER_SIZE);
    copyOut(texts.description, description, FT_DESCRIPTION_BUFFER_SIZE);
    copyOut(texts.serial, serial, FT_SERIAL_BUFFER_SIZE);
}

FT_STATUS FtdiEeprom::read(ftdi_context* ftdi, FT_DEVICE type, FT_PROGRAM_DATA* data)
{
    if (!data || data->Signature1 != FT_PROGRAM_DATA_SIGNATURE1
        || data->Signature2 != FT_PROGRAM_DATA_SIGNATURE2)
        return FT_INVALID_PARAMETER;
    const FT_STATUS status = load(ftdi);
    if (status != FT_OK)
        return status;
    FT_PROGRAM_DATA d{};
    d.Signature1 = data->Signature1;
    d.Signature2 = data->Signature2;
    d.Version = data->Version;
    d.Manufacturer = data->Manufacturer;
    d.ManufacturerId = data->ManufacturerId;
    d.Description = data->Description;
    d.SerialNumber = data->SerialNumber;
    d.VendorId = WORD(value(ftdi, VENDOR_ID));
    d.ProductId = WORD(value(ftdi, PRODUCT_ID));
    d.MaxPower = WORD(value(ftdi, MAX_POWER));
    d.PnP = value(ftdi, IS_NOT_PNP) ? 0 : 1;
    d.SelfPowered = flag(ftdi, SELF_POWERED);
    d.RemoteWakeup = flag(ftdi, REMOTE_WAKEUP);
    d.USBVersionEnable = flag(ftdi, USE_USB_VERSION);
    d.USBVersion = WORD(value(ftdi, USB_VERSION));
    const UCHAR pullDown = flag(ftdi, SUSPEND_PULL_DOWNS);
    const UCHAR serialEnable = flag(ftdi, USE_SERIAL);
    const int typeA = value(ftdi, CHANNEL_A_TYPE);
    const int typeB = value(ftdi, CHANNEL_B_TYPE);
    const UCHAR vcpA = value(ftdi, CHANNEL_A_DRIVER) ? 1 : 0;
    const UCHAR vcpB = value(ftdi, CHANNEL_B_DRIVER) ? 1 : 0;
    if (type == FT_DEVICE_232R) {
        d.PullDownEnableR = pullDown;
        d.SerNumEnableR = serialEnable;
        d.UseExtOsc = flag(ftdi, EXTERNAL_OSCILLATOR);
        d.HighDriveIOs = flag(ftdi, HIGH_CURRENT);
        const int invert = value(ftdi, INVERT);
        UCHAR* inverts[] = {&d.InvertTXD, &d.InvertRXD, &d.InvertRTS, &d.InvertCTS, &d.InvertDTR,
            &d.InvertDSR, &d.InvertDCD, &d.InvertRI};
        for (int bit = 0; bit < 8; ++bit)
            *inverts[bit] = invert >> bit & 1;
        UCHAR* cbus[] = {&d.Cbus0, &d.Cbus1, &d.Cbus2, &d.Cbus3, &d.Cbus4};
        for (int pin = 0; pin < 5; ++pin)
            *cbus[pin] = UCHAR(value(ftdi, ftdi_eeprom_value(CBUS_FUNCTION_0 + pin)));
        d.RIsD2XX = vcpA ? 0 : 1;
    } else if (type == FT_DEVICE_2232H) {
        d.PullDownEnable7 = pullDown;
        d.SerNumEnable7 = serialEnable;
        readGroup(ftdi, 0, {&d.ALSlowSlew, &d.ALSchmittInput, &d.ALDriveCurrent});
        readGroup(ftdi, 1, {&d.AHSlowSlew, &d.AHSchmittInput, &d.AHDriveCurrent});
        readGroup(ftdi, 2, {&d.BLSlowSlew, &d.BLSchmittInput, &d.BLDriveCurrent});
        readGroup(ftdi, 3, {&d.BHSlowSlew, &d.BHSchmittInput, &d.BHDriveCurrent});
        d.IFAIsFifo7 = typeA == CHANNEL_IS_FIFO;
        d.IFAIsFifoTar7 = typeA == CHANNEL_IS_CPU;
        d.IFAIsFastSer7 = typeA == CHANNEL_IS_OPTO;
        d.AIsVCP7 = vcpA;
        d.IFBIsFifo7 = typeB == CHANNEL_IS_FIFO;
        d.IFBIsFifoTar7 = typeB == CHANNEL_IS_CPU;
        d.IFBIsFastSer7 = typeB == CHANNEL_IS_OPTO;
        d.BIsVCP7 = vcpB;
        d.PowerSaveEnable = flag(ftdi, SUSPEND_DBUS7);
    } else if (type == FT_DEVICE_4232H) {
        d.PullDownEnable8 = pullDown;
        d.SerNumEnable8 = serialEnable;
        readGroup(ftdi, 0, {&d.ASlowSlew, &d.ASchmittInput, &d.ADriveCurrent});
        readGroup(ftdi, 1, {&d.BSlowSlew, &d.BSchmittInput, &d.BDriveCurrent});
        readGroup(ftdi, 2, {&d.CSlowSlew, &d.CSchmittInput, &d.CDriveCurrent});
        readGroup(ftdi, 3, {&d.DSlowSlew, &d.DSchmittInput, &d.DDriveCurrent});
        d.AIsVCP8 = vcpA;
        d.BIsVCP8 = vcpB;
        d.CIsVCP8 = flag(ftdi, CHANNEL_C_DRIVER);
        d.DIsVCP8 = flag(ftdi, CHANNEL_D_DRIVER);
        d.ARIIsTXDEN = flag(ftdi, CHANNEL_A_RS485);
        d.BRIIsTXDEN = flag(ftdi, CHANNEL_B_RS485);
        d.CRIIsTXDEN = flag(ftdi, CHANNEL_C_RS485);
        d.DRIIsTXDEN = flag(ftdi, CHANNEL_D_RS485);
    } else if (type == FT_DEVICE_232H) {
        d.PullDownEnableH = pullDown;
        d.SerNumEnableH = serialEnable;
        readGroup(ftdi, 0, {&d.ACSlowSlewH, &d.ACSchmittInputH, &d.ACDriveCurrentH});
        readGroup(ftdi, 1, {&d.ADSlowSlewH, &d.ADSchmittInputH, &d.ADDriveCurrentH});
        UCHAR* cbus[] = {&d.Cbus0H, &d.Cbus1H, &d.Cbus2H, &d.Cbus3H, &d.Cbus4H, &d.Cbus5H,
            &d.Cbus6H, &d.Cbus7H, &d.Cbus8H, &d.Cbus9H};
        for (int pin = 0; pin < 10; ++pin)
            *cbus[pin] = UCHAR(value(ftdi, ftdi_eeprom_value(CBUS_FUNCTION_0 + pin)));
        d.IsFifoH = typeA == CHANNEL_IS_FIFO;
        d.IsFifoTarH = typeA == CHANNEL_IS_CPU;
        d.IsFastSerH = typeA == CHANNEL_IS_OPTO;
        d.IsFT1248H = typeA == CHANNEL_IS_FT1284;
        d.FT1248CpolH = flag(ftdi, CLOCK_POLARITY);
        d.FT1248LsbH = flag(ftdi, DATA_ORDER);
        d.FT1248FlowControlH = flag(ftdi, FLOW_CONTROL);
        d.IsVCPH = vcpA;
        d.PowerSaveEnableH = flag(ftdi, POWER_SAVE);
    }
    std::memcpy(data, &d, ftProgramDataBytes(data->Version));
    copyTexts(
        ftdi, {data->Manufacturer, data->ManufacturerId, data->Description, data->SerialNumber});
    return FT_OK;
}

FT_STATUS FtdiEeprom::store(ftdi_context* ftdi, const Texts& texts, bool xSeries, int xOptions)
{
    if (ftdi_eeprom_set_strings(ftdi, texts.manufacturer, texts.description, texts.serial) < 0
        || ftdi_eeprom_build(ftdi) < 0)
        return FT_INVALID_PARAMETER;
    if (xSeries) {
        // libftdi writes a fixed option byte for FT-X chips: put the caller's in, and sum again.
        unsigned char image[kEepromBytes];
        ftdi_get_eeprom_buf(ftdi, image, sizeof image);
        image[kXOptionsByte] = uint8_t(xOptions);
        int size = 0;
        ftdi_get_eeprom_value(ftdi, CHIP_SIZE, &size);
        size = size > 0 ? std::min(size, kEepromBytes) : kEepromBytes;
        uint16_t checksum = 0xAAAA;
        for (int word = 0; word < size / 2 - 1; ++word) {
            if (word == kXChecksumGapStart)
                word = kXChecksumGapEnd;
            checksum ^= uint16_t(image[2 * word] | image[2 * word + 1] << 8);
            checksum = uint16_t(checksum << 1 | checksum >> 15);
        }
        image[size - 2] = uint8_t(checksum);
        image[size - 1] = uint8_t(checksum >> 8);
        ftdi_set_eeprom_buf(ftdi, image, sizeof image);
    }
    return ftdi_write_eeprom(ftdi) < 0 ? FT_EEPROM_WRITE_FAILED : FT_OK;
}

FT_STATUS FtdiEeprom::program(ftdi_context* ftdi, FT_DEVICE type, const FT_PROGRAM_DATA* data)
{
    if (!data || data->Signature1 != FT_PROGRAM_DATA_SIGNATURE1
        || data->Signature2 != FT_PROGRAM_DATA_SIGNATURE2)
        return FT_INVALID_PARAMETER;
    // Only the fields of the caller's Version are looked at.
    FT_PROGRAM_DATA d{};
    std::memcpy(&d, data, ftProgramDataBytes(data->Version));
    if (load(ftdi) != FT_OK)
        ftdi_eeprom_initdefaults(ftdi, nullptr, nullptr, nullptr);
    set(ftdi, VENDOR_ID, d.VendorId);
    set(ftdi, PRODUCT_ID, d.ProductId);
    set(ftdi, MAX_POWER, d.MaxPower);
    set(ftdi, SELF_POWERED, d.SelfPowered);
    set(ftdi, REMOTE_WAKEUP, d.RemoteWakeup);
    set(ftdi, USE_USB_VERSION, d.USBVersionEnable);
    set(ftdi, USB_VERSION, d.USBVersion);
    if (type == FT_DEVICE_232R) {
        set(ftdi, SUSPEND_PULL_DOWNS, d.PullDownEnableR);
        set(ftdi, USE_SERIAL, d.SerNumEnableR);
        set(ftdi, EXTERNAL_OSCILLATOR, d.UseExtOsc);
        set(ftdi, HIGH_CURRENT, d.HighDriveIOs ? HIGH_CURRENT_DRIVE_R : 0);
        const UCHAR inverts[] = {d.InvertTXD, d.InvertRXD, d.InvertRTS, d.InvertCTS, d.InvertDTR,
            d.InvertDSR, d.InvertDCD, d.InvertRI};
        int invert = 0;
        for (int bit = 0; bit < 8; ++bit)
            invert |= inverts[bit] ? 1 << bit : 0;
        set(ftdi, INVERT, invert);
        const UCHAR cbus[] = {d.Cbus0, d.Cbus1, d.Cbus2, d.Cbus3, d.Cbus4};
        for (int pin = 0; pin < 5; ++pin)
            set(ftdi, ftdi_eeprom_value(CBUS_FUNCTION_0 + pin), cbus[pin]);
        set(ftdi, CHANNEL_A_DRIVER, d.RIsD2XX ? 0 : DRIVER_VCP);
    } else if (type == FT_DEVICE_2232H) {
        set(ftdi, SUSPEND_PULL_DOWNS, d.PullDownEnable7);
        set(ftdi, USE_SERIAL, d.SerNumEnable7);
        writeGroup(ftdi, 0, d.ALSlowSlew, d.ALSchmittInput, d.ALDriveCurrent);
        writeGroup(ftdi, 1, d.AHSlowSlew, d.AHSchmittInput, d.AHDriveCurrent);
        writeGroup(ftdi, 2, d.BLSlowSlew, d.BLSchmittInput, d.BLDriveCurrent);
        writeGroup(ftdi, 3, d.BHSlowSlew, d.BHSchmittInput, d.BHDriveCurrent);
        set(ftdi, CHANNEL_A_TYPE, channelType(d.IFAIsFifo7, d.IFAIsFifoTar7, d.IFAIsFastSer7));
        set(ftdi, CHANNEL_B_TYPE, channelType(d.IFBIsFifo7, d.IFBIsFifoTar7, d.IFBIsFastSer7));
        set(ftdi, CHANNEL_A_DRIVER, d.AIsVCP7 ? DRIVER_VCP : 0);
        set(ftdi, CHANNEL_B_DRIVER, d.BIsVCP7 ? DRIVER_VCP : 0);
        set(ftdi, SUSPEND_DBUS7, d.PowerSaveEnable);
    } else if (type == FT_DEVICE_4232H) {
        set(ftdi, SUSPEND_PULL_DOWNS, d.PullDownEnable8);
        set(ftdi, USE_SERIAL, d.SerNumEnable8);
        writeGroup(ftdi, 0, d.ASlowSlew, d.ASchmittInput, d.ADriveCurrent);
        writeGroup(ftdi, 1, d.BSlowSlew, d.BSchmittInput, d.BDriveCurrent);
        writeGroup(ftdi, 2, d.CSlowSlew, d.CSchmittInput, d.CDriveCurrent);
        writeGroup(ftdi, 3, d.DSlowSlew, d.DSchmittInput, d.DDriveCurrent);
        set(ftdi, CHANNEL_A_DRIVER, d.AIsVCP8 ? DRIVER_VCP : 0);
        set(ftdi, CHANNEL_B_DRIVER, d.BIsVCP8 ? DRIVER_VCP : 0);
        set(ftdi, CHANNEL_C_DRIVER, d.CIsVCP8 ? DRIVER_VCP : 0);
        set(ftdi, CHANNEL_D_DRIVER, d.DIsVCP8 ? DRIVER_VCP : 0);
        set(ftdi, CHANNEL_A_RS485, d.ARIIsTXDEN);
        set(ftdi, CHANNEL_B_RS485, d.BRIIsTXDEN);
        set(ftdi, CHANNEL_C_RS485, d.CRIIsTXDEN);
        set(ftdi, CHANNEL_D_RS485, d.DRIIsTXDEN);
    } else if (type == FT_DEVICE_232H) {
        set(ftdi, SUSPEND_PULL_DOWNS, d.PullDownEnableH);
        set(ftdi, USE_SERIAL, d.SerNumEnableH);
        writeGroup(ftdi, 0, d.ACSlowSlewH, d.ACSchmittInputH, d.ACDriveCurrentH);
        writeGroup(ftdi, 1, d.ADSlowSlewH, d.ADSchmittInputH, d.ADDriveCurrentH);
        const UCHAR cbus[] = {d.Cbus0H, d.Cbus1H, d.Cbus2H, d.Cbus3H, d.Cbus4H, d.Cbus5H, d.Cbus6H,
            d.Cbus7H, d.Cbus8H, d.Cbus9H};
        for (int pin = 0; pin < 10; ++pin)
            set(ftdi, ftdi_eeprom_value(CBUS_FUNCTION_0 + pin), cbus[pin]);
        set(ftdi, CHANNEL_A_TYPE, channelType(d.IsFifoH, d.IsFifoTarH, d.IsFastSerH, d.IsFT1248H));
        set(ftdi, CLOCK_POLARITY, d.FT1248CpolH);
        set(ftdi, DATA_ORDER, d.FT1248LsbH);
        set(ftdi, FLOW_CONTROL, d.FT1248FlowControlH);
        set(ftdi, CHANNEL_A_DRIVER, d.IsVCPH ? DRIVER_VCP : 0);
        set(ftdi, POWER_SAVE, d.PowerSaveEnableH);
    }
    return store(ftdi, {d.Manufacturer, d.ManufacturerId, d.Description, d.SerialNumber}, false, 0);
}

FT_STATUS FtdiEeprom::readX(ftdi_context* ftdi, FT_EEPROM_X_SERIES* data, const Texts& texts)
{
    if (!data || data->common.deviceType != FT_DEVICE_X_SERIES)
        return FT_INVALID_PARAMETER;
    const FT_STATUS status = load(ftdi);
    if (status != FT_OK)
        return status;
    unsigned char image[kEepromBytes];
    ftdi_get_eeprom_buf(ftdi, image, sizeof image);
    FT_EEPROM_X_SERIES x{};
    x.common.deviceType = FT_DEVICE_X_SERIES;
    x.common.VendorId = WORD(value(ftdi, VENDOR_ID));
    x.common.ProductId = WORD(value(ftdi, PRODUCT_ID));
    x.common.SerNumEnable = flag(ftdi, USE_SERIAL);
    x.common.MaxPower = WORD(value(ftdi, MAX_POWER));
    x.common.SelfPowered = flag(ftdi, SELF_POWERED);
    x.common.RemoteWakeup = flag(ftdi, REMOTE_WAKEUP);
    x.common.PullDownEnable = flag(ftdi, SUSPEND_PULL_DOWNS);
    UCHAR* cbus[] = {&x.Cbus0, &x.Cbus1, &x.Cbus2, &x.Cbus3, &x.Cbus4, &x.Cbus5, &x.Cbus6};
    for (int pin = 0; pin < 7; ++pin)
        *cbus[pin] = UCHAR(value(ftdi, ftdi_eeprom_value(CBUS_FUNCTION_0 + pin)));
    const int invert = value(ftdi, INVERT);
    UCHAR* inverts[] = {&x.InvertTXD, &x.InvertRXD, &x.InvertRTS, &x.InvertCTS, &x.InvertDTR,
        &x.InvertDSR, &x.InvertDCD, &x.InvertRI};
    for (int bit = 0; bit < 8; ++bit)
        *inverts[bit] = invert >> bit & 1;
    const uint8_t options = image[kXOptionsByte];
    x.BCDEnable = options & 0x01 ? 1 : 0;
    x.BCDForceCbusPWREN = options & 0x02 ? 1 : 0;
    x.BCDDisableSleep = options & 0x04 ? 1 : 0;
    x.RS485EchoSuppress = options & 0x08 ? 1 : 0;
    x.PowerSaveEnable = options & 0x40 ? 1 : 0;
    x.DriverType = options & 0x80 ? FT_DRIVER_TYPE_VCP : FT_DRIVER_TYPE_D2XX;
    *data = x;
    copyTexts(ftdi, texts);
    return FT_OK;
}

FT_STATUS FtdiEeprom::programX(
    ftdi_context* ftdi, const FT_EEPROM_X_SERIES* data, const Texts& texts)
{
    if (!data || data->common.deviceType != FT_DEVICE_X_SERIES)
        return FT_INVALID_PARAMETER;
    if (load(ftdi) != FT_OK)
        ftdi_eeprom_initdefaults(ftdi, nullptr, nullptr, nullptr);
    const FT_EEPROM_X_SERIES& x = *data;
    set(ftdi, VENDOR_ID, x.common.VendorId);
    set(ftdi, PRODUCT_ID, x.common.ProductId);
    set(ftdi, USE_SERIAL, x.common.SerNumEnable);
    set(ftdi, MAX_POWER, x.common.MaxPower);
    set(ftdi, SELF_POWERED, x.common.SelfPowered);
    set(ftdi, REMOTE_WAKEUP, x.common.RemoteWakeup);
    set(ftdi, SUSPEND_PULL_DOWNS, x.common.PullDownEnable);
    const UCHAR cbus[] = {x.Cbus0, x.Cbus1, x.Cbus2, x.Cbus3, x.Cbus4, x.Cbus5, x.Cbus6};
    for (int pin = 0; pin < 7; ++pin)
        set(ftdi, ftdi_eeprom_value(CBUS_FUNCTION_0 + pin), cbus[pin]);
    const UCHAR inverts[] = {x.InvertTXD, x.InvertRXD, x.InvertRTS, x.InvertCTS, x.InvertDTR,
        x.InvertDSR, x.InvertDCD, x.InvertRI};
    int invert = 0;
    for (int bit = 0; bit < 8; ++bit)
        invert |= inverts[bit] ? 1 << bit : 0;
    set(ftdi, INVERT, invert);
    const int options = (x.BCDEnable ? 0x01 : 0) | (x.BCDForceCbusPWREN ? 0x02 : 0)
        | (x.BCDDisableSleep ? 0x04 : 0) | (x.RS485EchoSuppress ? 0x08 : 0)
        | (x.PowerSaveEnable ? 0x40 : 0) | (x.DriverType ? 0x80 : 0);
    return store(ftdi, texts, true, options);
}
