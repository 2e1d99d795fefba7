#include "FtdiHandleOperations.h"

#include "D2xxLibrary.h"
#include "FtdiTransferSettings.h"

#include <cstring>

namespace {

// Generous text buffers: the EEPROM texts are short, but a foreign chip must not be able to make
// the D2XX library write past them.
constexpr std::size_t kTextBufferSize = 128;

QString terminatedText(char* buffer)
{
    buffer[kTextBufferSize - 1] = '\0';
    return QString::fromLatin1(buffer);
}

} // namespace

QString FtdiHandleOperations::readEepromSerialNumber(FT_HANDLE handle, FT_DEVICE type)
{
    const D2xxLibrary& d2xx = D2xxLibrary::instance();
    char manufacturer[kTextBufferSize] = {};
    char manufacturerId[kTextBufferSize] = {};
    char description[kTextBufferSize] = {};
    char serialNumber[kTextBufferSize] = {};

    if (type == FT_DEVICE_232R || type == FT_DEVICE_2232H || type == FT_DEVICE_232H) {
        FT_PROGRAM_DATA data;
        std::memset(&data, 0, sizeof(data));
        data.Signature1 = FT_PROGRAM_DATA_SIGNATURE1;
        data.Signature2 = FT_PROGRAM_DATA_SIGNATURE2;
        data.Version = type == FT_DEVICE_232R ? 2 : (type == FT_DEVICE_2232H ? 3 : 5);
        data.Manufacturer = manufacturer;
        data.ManufacturerId = manufacturerId;
        data.Description = description;
        data.SerialNumber = serialNumber;
        if (d2xx.eeRead(handle, &data) != FT_OK)
            return QString();
        return terminatedText(serialNumber);
    }
    if (type == FT_DEVICE_X_SERIES) {
        FT_EEPROM_X_SERIES data;
        std::memset(&data, 0, sizeof(data));
        data.common.deviceType = FT_DEVICE_X_SERIES;
        if (d2xx.eepromRead(handle, &data, sizeof(data), manufacturer, manufacturerId, description,
                serialNumber)
            != FT_OK)
            return QString();
        return terminatedText(serialNumber);
    }
    return QString();
}

void FtdiHandleOperations::close(FT_HANDLE& handle)
{
    if (!handle)
        return;
    D2xxLibrary::instance().close(handle);
    handle = nullptr;
}

void FtdiHandleOperations::cyclePortAndClose(FT_HANDLE& handle)
{
    if (!handle)
        return;
    const D2xxLibrary& d2xx = D2xxLibrary::instance();
    d2xx.cyclePort(handle);
    d2xx.close(handle);
    handle = nullptr;
}

USBResult FtdiHandleOperations::status(FT_HANDLE handle)
{
    if (!handle)
        return USBResult::noOutcome();
    DWORD rxBytes = 0;
    DWORD txBytes = 0;
    DWORD events = 0;
    const FT_STATUS status = D2xxLibrary::instance().getStatus(handle, &rxBytes, &txBytes, &events);
    if (status != FT_OK)
        return USBResult(status);
    // The record doubles as a carrier of the two queue counts.
    return USBResult(
        USBResult::Success, static_cast<int>(rxBytes), static_cast<int>(txBytes), QString());
}

uint32_t FtdiHandleOperations::purge(FT_HANDLE handle)
{
    return D2xxLibrary::instance().purge(handle, FT_PURGE_RX | FT_PURGE_TX);
}

void FtdiHandleOperations::writeByte(FT_HANDLE handle, uint8_t byte)
{
    if (!handle)
        throw USBResult::failure(deviceNotOpen());
    DWORD written = 0;
    const FT_STATUS status = D2xxLibrary::instance().write(handle, &byte, 1, &written);
    if (status != FT_OK)
        throw USBResult(status);
    if (written != 1)
        throw USBResult::failure(communicationTimedOut());
}

int FtdiHandleOperations::write(FT_HANDLE handle, QByteArray data)
{
    if (!handle)
        throw USBResult::failure(deviceNotOpen());
    if (data.isEmpty())
        return 0;
    DWORD written = 0;
    // FT_Write only reads the buffer; data() would copy an array shared with the caller.
    const FT_STATUS status = D2xxLibrary::instance().write(
        handle, const_cast<char*>(data.constData()), static_cast<DWORD>(data.size()), &written);
    if (status != FT_OK)
        throw USBResult(status);
    if (written != static_cast<DWORD>(data.size()))
        throw USBResult::failure(communicationTimedOut());
    return static_cast<int>(written);
}

void FtdiHandleOperations::readExactly(
    FT_HANDLE handle, char* buffer, int count, const QString& shortReadMessage)
{
    if (!handle)
        throw USBResult::failure(deviceNotOpen());
    if (count <= 0)
        return;
    if (!buffer)
        throw USBResult(FT_INVALID_PARAMETER);
    DWORD received = 0;
    const FT_STATUS status
        = D2xxLibrary::instance().read(handle, buffer, static_cast<DWORD>(count), &received);
    if (status != FT_OK)
        throw USBResult(status);
    if (received != static_cast<DWORD>(count))
        throw USBResult::failure(shortReadMessage, USBResult::ReplyCutShort);
}

int FtdiHandleOperations::queueStatus(FT_HANDLE handle)
{
    DWORD rxBytes = 0;
    const FT_STATUS status = D2xxLibrary::instance().getQueueStatus(handle, &rxBytes);
    if (status != FT_OK)
        throw USBResult(status);
    return static_cast<int>(rxBytes);
}

const QString& FtdiHandleOperations::deviceNotOpen()
{
    static const QString text = QStringLiteral("Device not open");
    return text;
}

const QString& FtdiHandleOperations::communicationTimedOut()
{
    static const QString text = QStringLiteral("Communication timed out");
    return text;
}

FT_STATUS FtdiHandleOperations::configureFifo(FT_HANDLE handle)
{
    const D2xxLibrary& d2xx = D2xxLibrary::instance();
    const FtdiTransferSettings& transfer = FtdiTransferSettings::instance();
    FT_STATUS status = d2xx.setBitMode(handle, 0xFF, FT_BITMODE_RESET);
    if (status != FT_OK)
        return status;
    // The reset returns the channel to the FIFO mode of its EEPROM at once; no wait is needed.
    if ((status = d2xx.setLatencyTimer(handle, transfer.latencyTimer())) != FT_OK)
        return status;
    if ((status = d2xx.setUSBParameters(handle, transfer.transferSize(), 0)) != FT_OK)
        return status;
    return d2xx.setFlowControl(handle, FT_FLOW_RTS_CTS, 0, 0);
}
