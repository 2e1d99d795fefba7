#include "USBFtdiDevice.h"

#include "D2xxLibrary.h"
#include "USBFtdiBufferedSocket.h"
#include "USBFtdiSocket.h"

#include <QMap>

#include <cstring>

namespace {

constexpr std::size_t kTextBufferSize = 128;
// FT_PROGRAM_DATA versions by chip generation.
constexpr DWORD kVersion232R = 2;
constexpr DWORD kVersion2232H = 3;
constexpr DWORD kVersion232H = 5;
// Pad drive strength in milliamperes.
constexpr UCHAR kDriveCurrent16mA = 16;

// A text for the chip: Latin-1, characters beyond it as byte 0, at most maxLength characters,
// terminated.
void copyText(char* buffer, std::size_t bufferSize, const QString& text, int maxLength)
{
    std::memset(buffer, 0, bufferSize);
    const int length = qMin(text.size(), qMin(maxLength, static_cast<int>(bufferSize) - 1));
    for (int i = 0; i < length; ++i) {
        const ushort code = text.at(i).unicode();
        buffer[i] = code > 0xFF ? '\0' : static_cast<char>(code);
    }
}

struct ProgramTexts
{
    char manufacturer[kTextBufferSize] = {};
    char manufacturerId[kTextBufferSize] = {};
    char readDescription[kTextBufferSize] = {};
    char readSerialNumber[kTextBufferSize] = {};
    char description[kTextBufferSize] = {};
    char serialNumber[kTextBufferSize] = {};
};

void prepareProgramData(FT_PROGRAM_DATA& data, ProgramTexts& texts, DWORD version)
{
    std::memset(&data, 0, sizeof(data));
    data.Signature1 = FT_PROGRAM_DATA_SIGNATURE1;
    data.Signature2 = FT_PROGRAM_DATA_SIGNATURE2;
    data.Version = version;
    data.Manufacturer = texts.manufacturer;
    data.ManufacturerId = texts.manufacturerId;
    data.Description = texts.readDescription;
    data.SerialNumber = texts.readSerialNumber;
}

// The record of a chip whose EEPROM was never programmed: vendor defaults, every option off.
void resetToDefaults(FT_PROGRAM_DATA& data, ProgramTexts& texts)
{
    prepareProgramData(data, texts, data.Version);
    data.VendorId = FTDI_VID;
    data.ProductId = FTDI_PID_232R;
    std::strcpy(texts.manufacturer, "FTDI");
    std::strcpy(texts.manufacturerId, "FT");
    data.MaxPower = 500;
    data.PnP = 1;
}

void setCommonFields(FT_PROGRAM_DATA& data, ProgramTexts& texts, const EepromSettings& settings)
{
    data.Description = texts.description;
    data.SerialNumber = texts.serialNumber;
    data.MaxPower = settings.maxPower;
    data.SelfPowered = settings.selfPowered;
}

FT_STATUS program232R(
    const D2xxLibrary& d2xx, FT_HANDLE handle, ProgramTexts& texts, const EepromSettings& settings)
{
    FT_PROGRAM_DATA data;
    prepareProgramData(data, texts, kVersion232R);
    const FT_STATUS status = d2xx.eeRead(handle, &data);
    if (status != FT_OK)
        return status;
    setCommonFields(data, texts, settings);
    data.PullDownEnableR = 1;
    data.SerNumEnableR = 1;
    data.RIsD2XX = 1;
    data.Cbus0 = 4;
    return d2xx.eeProgram(handle, &data);
}

// The record of a high-speed chip as read (the vendor defaults for a blank chip), as a USB 2.0
// device with the unit's texts and power.
FT_STATUS readHighSpeedRecord(const D2xxLibrary& d2xx, FT_HANDLE handle, FT_PROGRAM_DATA& data,
    DWORD version, ProgramTexts& texts, const EepromSettings& settings)
{
    prepareProgramData(data, texts, version);
    FT_STATUS status = d2xx.eeRead(handle, &data);
    if (status == FT_EEPROM_NOT_PROGRAMMED) {
        resetToDefaults(data, texts);
        status = FT_OK;
    }
    if (status != FT_OK)
        return status;
    data.USBVersionEnable = 1;
    data.USBVersion = 0x0200;
    setCommonFields(data, texts, settings);
    return FT_OK;
}

// FT232H: a 245 FIFO on the D2XX driver.
FT_STATUS program232H(
    const D2xxLibrary& d2xx, FT_HANDLE handle, ProgramTexts& texts, const EepromSettings& settings)
{
    FT_PROGRAM_DATA data;
    const FT_STATUS status = readHighSpeedRecord(d2xx, handle, data, kVersion232H, texts, settings);
    if (status != FT_OK)
        return status;
    data.PullDownEnableH = 1;
    data.SerNumEnableH = 1;
    data.ACSlowSlewH = 0;
    data.ACDriveCurrentH = kDriveCurrent16mA;
    data.ADSlowSlewH = 0;
    data.ADDriveCurrentH = kDriveCurrent16mA;
    data.Cbus8H = 4;
    data.Cbus9H = 4;
    data.IsFifoH = 1;
    data.IsFifoTarH = 0;
    data.IsFastSerH = 0;
    data.IsFT1248H = 0;
    data.IsVCPH = 0;
    data.PowerSaveEnableH = 0;
    return d2xx.eeProgram(handle, &data);
}

// FT2232H: channel A a 245 FIFO, channel B a serial port, both on the D2XX driver.
FT_STATUS program2232H(
    const D2xxLibrary& d2xx, FT_HANDLE handle, ProgramTexts& texts, const EepromSettings& settings)
{
    FT_PROGRAM_DATA data;
    const FT_STATUS status
        = readHighSpeedRecord(d2xx, handle, data, kVersion2232H, texts, settings);
    if (status != FT_OK)
        return status;
    data.PullDownEnable7 = 1;
    data.SerNumEnable7 = 1;
    data.ALSlowSlew = 0;
    data.ALDriveCurrent = kDriveCurrent16mA;
    data.AHSlowSlew = 0;
    data.AHDriveCurrent = kDriveCurrent16mA;
    data.BLSlowSlew = 0;
    data.BLDriveCurrent = kDriveCurrent16mA;
    data.BHSlowSlew = 0;
    data.BHDriveCurrent = kDriveCurrent16mA;
    data.IFAIsFifo7 = 1;
    data.IFAIsFifoTar7 = 0;
    data.IFAIsFastSer7 = 0;
    data.AIsVCP7 = 0;
    data.IFBIsFifo7 = 0;
    data.IFBIsFifoTar7 = 0;
    data.IFBIsFastSer7 = 0;
    data.BIsVCP7 = 0;
    data.PowerSaveEnable = 0;
    return d2xx.eeProgram(handle, &data);
}

// FT-X chips: the extended EEPROM interface, with the CBUS pins as the units' boards are wired
// in their two variants.
FT_STATUS programXSeries(
    const D2xxLibrary& d2xx, FT_HANDLE handle, ProgramTexts& texts, const EepromSettings& settings)
{
    FT_EEPROM_X_SERIES x;
    std::memset(&x, 0, sizeof(x));
    x.common.deviceType = FT_DEVICE_X_SERIES;
    const FT_STATUS status = d2xx.eepromRead(handle, &x, sizeof(x), texts.manufacturer,
        texts.manufacturerId, texts.readDescription, texts.readSerialNumber);
    if (status != FT_OK)
        return status;
    x.common.SerNumEnable = 1;
    x.common.MaxPower = settings.maxPower;
    x.common.SelfPowered = settings.selfPowered;
    x.BCDDisableSleep = 1;
    x.DriverType = FT_DRIVER_TYPE_D2XX;
    if (settings.alternateCbus) {
        x.Cbus0 = 4;
        x.Cbus1 = 3;
        x.Cbus2 = 0;
        x.Cbus3 = 0;
        x.common.PullDownEnable = 1;
        x.BCDEnable = 1;
        x.BCDForceCbusPWREN = 1;
    } else {
        x.Cbus0 = 0x0E;
        x.Cbus1 = 4;
        x.Cbus2 = 5;
        x.Cbus3 = 4;
        x.common.PullDownEnable = 0;
        x.BCDEnable = 1;
        x.BCDForceCbusPWREN = 0;
    }
    return d2xx.eepromProgram(handle, &x, sizeof(x), texts.manufacturer, texts.manufacturerId,
        texts.description, texts.serialNumber);
}

// Writes the unit's settings in the layout of the chip type; any other chip is left as it is.
FT_STATUS programChip(
    const D2xxLibrary& d2xx, FT_HANDLE handle, FT_DEVICE type, const EepromSettings& settings)
{
    ProgramTexts texts;
    copyText(texts.description, sizeof(texts.description), settings.description, 63);
    copyText(texts.serialNumber, sizeof(texts.serialNumber), settings.serialNumber, 16);
    switch (type) {
    case FT_DEVICE_232R:
        return program232R(d2xx, handle, texts, settings);
    case FT_DEVICE_232H:
        return program232H(d2xx, handle, texts, settings);
    case FT_DEVICE_2232H:
        return program2232H(d2xx, handle, texts, settings);
    case FT_DEVICE_X_SERIES:
        return programXSeries(d2xx, handle, texts, settings);
    default:
        return FT_OK;
    }
}

} // namespace

USBFtdiDevice::USBFtdiDevice(uint32_t deviceId, const QString& serialNumber,
    const QString& description, const QVector<std::shared_ptr<USBISocket>>& sockets)
    : USBDevice(deviceId, serialNumber, description), m_sockets(sockets)
{ }

USBFtdiDevice::~USBFtdiDevice() = default;

std::shared_ptr<USBFtdiDevice> USBFtdiDevice::fromRecords(const QVector<DeviceListRecord>& records)
{
    if (records.isEmpty())
        return nullptr;
    const DeviceListRecord& first = records.first();
    QString serialNumber = first.serialNumber();
    QString description = first.description();
    QVector<std::shared_ptr<USBISocket>> sockets;

    if (first.node.Type != FT_DEVICE_2232H) {
        if (records.size() != 1)
            return nullptr;
        sockets << std::make_shared<USBFtdiSocket>(first.position);
    } else {
        if (records.size() != 2)
            return nullptr;
        serialNumber.chop(1);
        description.chop(2);
        // Each channel is known by the letter its own serial number ends in.
        QMap<QString, DeviceListRecord> byChannel;
        for (const DeviceListRecord& record : records)
            byChannel.insert(record.serialNumber().right(1), record);
        if (byChannel.contains(QStringLiteral("B")))
            sockets << std::make_shared<USBFtdiSocket>(
                byChannel.value(QStringLiteral("B")).position, USBFtdiSocket::UartMode);
        if (byChannel.contains(QStringLiteral("A")))
            sockets << std::make_shared<USBFtdiBufferedSocket>(
                byChannel.value(QStringLiteral("A")).position);
    }
    // A chip without a usable channel is no unit.
    if (sockets.isEmpty())
        return nullptr;
    return std::make_shared<USBFtdiDevice>(first.node.ID, serialNumber, description, sockets);
}

void USBFtdiDevice::cycleAllPorts()
{
    for (const auto& s : m_sockets)
        s->cyclePortAndClose();
}

void USBFtdiDevice::purgeAll()
{
    for (const auto& s : m_sockets)
        s->purge();
}

void USBFtdiDevice::purgeSecondary()
{
    for (int i = 1; i < m_sockets.size(); ++i)
        m_sockets.at(i)->purge();
}

void USBFtdiDevice::closeAll()
{
    for (const auto& s : m_sockets)
        s->close();
}

QVector<std::shared_ptr<USBISocket>> USBFtdiDevice::sockets() const
{
    return m_sockets;
}

std::shared_ptr<USBISocket> USBFtdiDevice::socket(int index) const
{
    Q_ASSERT_X(
        index >= 0 && index < m_sockets.count(), "USBFtdiDevice.cpp", "index < m_sockets.count()");
    if (index < 0 || index >= m_sockets.count())
        return nullptr;
    return m_sockets.at(index);
}

std::shared_ptr<USBISocket> USBFtdiDevice::primarySocket() const
{
    Q_ASSERT_X(!m_sockets.isEmpty(), "USBFtdiDevice.cpp", "!m_sockets.isEmpty()");
    return m_sockets.isEmpty() ? nullptr : m_sockets.first();
}

QVector<std::shared_ptr<USBISocket>> USBFtdiDevice::secondarySockets() const
{
    return m_sockets.size() > 1 ? m_sockets.mid(1) : QVector<std::shared_ptr<USBISocket>>();
}

void USBFtdiDevice::applyTimeouts()
{
    for (const auto& s : m_sockets)
        s->applyTimeouts();
}

void USBFtdiDevice::applyTimeoutsAgain()
{
    for (const auto& s : m_sockets)
        s->applyTimeoutsAgain();
}

std::shared_ptr<USBFtdiDevice> USBFtdiDevice::clone() const
{
    return std::make_shared<USBFtdiDevice>(*this);
}

USBResult USBFtdiDevice::programEeprom(const EepromSettings& settings)
{
    if (m_sockets.isEmpty())
        return USBResult(FT_DEVICE_NOT_FOUND);

    const D2xxLibrary& d2xx = D2xxLibrary::instance();
    FT_HANDLE handle = nullptr;
    FT_STATUS status = d2xx.open(static_cast<int>(m_sockets.first()->deviceIndex()), &handle);
    if (status != FT_OK) {
        if (handle)
            d2xx.close(handle);
        return USBResult(status);
    }

    FT_DEVICE type = FT_DEVICE_UNKNOWN;
    DWORD id = 0;
    char infoSerial[FT_SERIAL_BUFFER_SIZE] = {};
    char infoDescription[FT_DESCRIPTION_BUFFER_SIZE] = {};
    status = d2xx.getDeviceInfo(handle, &type, &id, infoSerial, infoDescription);
    if (status == FT_OK)
        status = programChip(d2xx, handle, type, settings);
    if (status == FT_OK) {
        // The chip reads its EEPROM again only when it re-enumerates; the handle dies with it.
        status = d2xx.cyclePort(handle);
    }
    d2xx.close(handle);
    return USBResult(status);
}
