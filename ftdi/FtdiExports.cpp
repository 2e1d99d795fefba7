// The D2XX functions over libftdi1: those KavraLib calls, the listing and opening helpers around
// them, and every other name of FTDI's library answering FT_NOT_SUPPORTED, so that a program that
// resolves all of them loads this library unchanged.
#define KAVRA_D2XX_DECLARE_FUNCTIONS
#include "FtdiD2xx.h"
#include "FtdiDeviceList.h"
#include "FtdiEeprom.h"
#include "FtdiHandle.h"
#include "FtdiHandleTable.h"

#include <cstdint>
#include <cstring>
#include <exception>
#include <vector>

namespace {

// Nothing may unwind into a C caller.
template <typename Call> FT_STATUS guarded(Call call) noexcept
{
    try {
        return call();
    } catch (...) {
        return FT_OTHER_ERROR;
    }
}

// A call on an open handle; a closed or foreign one is refused.
template <typename Call> FT_STATUS onHandle(FT_HANDLE ftHandle, Call call) noexcept
{
    return guarded([&] {
        const std::shared_ptr<FtdiHandle> handle = FtdiHandleTable::instance().get(ftHandle);
        return handle ? call(*handle) : FT_INVALID_HANDLE;
    });
}

// FT_ListDevices and FT_OpenEx flags.
constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;
constexpr DWORD FT_OPEN_BY_DESCRIPTION = 2;
constexpr DWORD FT_OPEN_BY_LOCATION = 4;
constexpr DWORD FT_LIST_NUMBER_ONLY = 0x80000000;
constexpr DWORD FT_LIST_BY_INDEX = 0x40000000;
constexpr DWORD FT_LIST_ALL = 0x20000000;

// This library's version, reported as FTDI's library reports its own: 1.0.0.
constexpr DWORD kLibraryVersion = 0x00010000;

void copyText(void* buffer, const char* text, std::size_t size)
{
    if (buffer)
        std::memcpy(buffer, text, strnlen(text, size - 1) + 1);
}

FT_STATUS openEntry(const FtdiDeviceList::Entry& entry, FT_HANDLE* pHandle)
{
    if (entry.node.Flags & FT_FLAGS_OPENED)
        return FT_DEVICE_NOT_OPENED;
    std::shared_ptr<FtdiHandle> handle;
    const FT_STATUS status = FtdiHandle::open(entry, &handle);
    if (status == FT_OK)
        *pHandle = FtdiHandleTable::instance().add(std::move(handle));
    return status;
}

} // namespace

extern "C" {

FT_STATUS KAVRA_D2XX_API FT_CreateDeviceInfoList(LPDWORD lpdwNumDevs)
{
    return guarded([&] {
        const DWORD count = FtdiDeviceList::instance().create();
        if (lpdwNumDevs)
            *lpdwNumDevs = count;
        return FT_OK;
    });
}

FT_STATUS KAVRA_D2XX_API FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, LPDWORD lpdwNumDevs)
{
    return guarded([&] {
        if (!pDest || !lpdwNumDevs)
            return FT_INVALID_PARAMETER;
        const std::vector<FtdiDeviceList::Entry> entries = FtdiDeviceList::instance().entries();
        for (std::size_t i = 0; i < entries.size(); ++i)
            pDest[i] = entries[i].node;
        *lpdwNumDevs = DWORD(entries.size());
        return FT_OK;
    });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_GetDeviceInfoDetail(DWORD dwIndex, LPDWORD lpdwFlags,
    LPDWORD lpdwType, LPDWORD lpdwID, LPDWORD lpdwLocId, LPVOID lpSerialNumber,
    LPVOID lpDescription, FT_HANDLE* pftHandle)
{
    return guarded([&] {
        const std::vector<FtdiDeviceList::Entry> entries = FtdiDeviceList::instance().entries();
        if (dwIndex >= entries.size())
            return FT_DEVICE_NOT_FOUND;
        const FT_DEVICE_LIST_INFO_NODE& node = entries[dwIndex].node;
        if (lpdwFlags)
            *lpdwFlags = node.Flags;
        if (lpdwType)
            *lpdwType = node.Type;
        if (lpdwID)
            *lpdwID = node.ID;
        if (lpdwLocId)
            *lpdwLocId = node.LocId;
        copyText(lpSerialNumber, node.SerialNumber, sizeof node.SerialNumber);
        copyText(lpDescription, node.Description, sizeof node.Description);
        if (pftHandle)
            *pftHandle = node.ftHandle;
        return FT_OK;
    });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_ListDevices(
    LPVOID pvArg1, LPVOID pvArg2, DWORD dwFlags)
{
    return guarded([&] {
        const std::vector<FtdiDeviceList::Entry> entries
            = (FtdiDeviceList::instance().create(), FtdiDeviceList::instance().entries());
        if (dwFlags & FT_LIST_NUMBER_ONLY) {
            if (!pvArg1)
                return FT_INVALID_PARAMETER;
            *static_cast<DWORD*>(pvArg1) = DWORD(entries.size());
            return FT_OK;
        }
        // Serial numbers unless descriptions or locations are asked for.
        const auto fill = [&](const FT_DEVICE_LIST_INFO_NODE& node, void* out) {
            if (dwFlags & FT_OPEN_BY_LOCATION)
                *static_cast<DWORD*>(out) = node.LocId;
            else if (dwFlags & FT_OPEN_BY_DESCRIPTION)
                copyText(out, node.Description, sizeof node.Description);
            else
                copyText(out, node.SerialNumber, sizeof node.SerialNumber);
        };
        if (dwFlags & FT_LIST_BY_INDEX) {
            const auto index = DWORD(reinterpret_cast<std::uintptr_t>(pvArg1));
            if (!pvArg2)
                return FT_INVALID_PARAMETER;
            if (index >= entries.size())
                return FT_DEVICE_NOT_FOUND;
            fill(entries[index].node, pvArg2);
            return FT_OK;
        }
        if (dwFlags & FT_LIST_ALL) {
            if (!pvArg1)
                return FT_INVALID_PARAMETER;
            for (std::size_t i = 0; i < entries.size(); ++i) {
                if (dwFlags & FT_OPEN_BY_LOCATION) {
                    fill(entries[i].node, static_cast<DWORD*>(pvArg1) + i);
                } else {
                    // An array of buffers, ended by a null pointer.
                    void* buffer = static_cast<void**>(pvArg1)[i];
                    if (!buffer)
                        break;
                    fill(entries[i].node, buffer);
                }
            }
            if (pvArg2)
                *static_cast<DWORD*>(pvArg2) = DWORD(entries.size());
            return FT_OK;
        }
        return FT_INVALID_PARAMETER;
    });
}

FT_STATUS KAVRA_D2XX_API FT_Open(int deviceNumber, FT_HANDLE* pHandle)
{
    return guarded([&] {
        if (!pHandle)
            return FT_INVALID_PARAMETER;
        *pHandle = nullptr;
        const std::vector<FtdiDeviceList::Entry> entries = FtdiDeviceList::instance().entries();
        if (deviceNumber < 0 || std::size_t(deviceNumber) >= entries.size())
            return FT_DEVICE_NOT_FOUND;
        return openEntry(entries[std::size_t(deviceNumber)], pHandle);
    });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_OpenEx(
    LPVOID pvArg1, DWORD dwFlags, FT_HANDLE* pHandle)
{
    return guarded([&] {
        if (!pHandle)
            return FT_INVALID_PARAMETER;
        *pHandle = nullptr;
        if (!(dwFlags & (FT_OPEN_BY_SERIAL_NUMBER | FT_OPEN_BY_DESCRIPTION | FT_OPEN_BY_LOCATION))
            || (!pvArg1 && !(dwFlags & FT_OPEN_BY_LOCATION)))
            return FT_INVALID_PARAMETER;
        FtdiDeviceList::instance().create();
        for (const FtdiDeviceList::Entry& entry : FtdiDeviceList::instance().entries()) {
            const FT_DEVICE_LIST_INFO_NODE& node = entry.node;
            const bool match = (dwFlags & FT_OPEN_BY_SERIAL_NUMBER)
                ? std::strncmp(
                      node.SerialNumber, static_cast<const char*>(pvArg1), sizeof node.SerialNumber)
                    == 0
                : (dwFlags & FT_OPEN_BY_DESCRIPTION)
                ? std::strncmp(
                      node.Description, static_cast<const char*>(pvArg1), sizeof node.Description)
                    == 0
                : node.LocId == DWORD(reinterpret_cast<std::uintptr_t>(pvArg1));
            if (match)
                return openEntry(entry, pHandle);
        }
        return FT_DEVICE_NOT_FOUND;
    });
}

FT_STATUS KAVRA_D2XX_API FT_Close(FT_HANDLE ftHandle)
{
    return guarded([&] {
        // The last holder of the object closes the channel: this call, or a call under way.
        return FtdiHandleTable::instance().take(ftHandle) ? FT_OK : FT_INVALID_HANDLE;
    });
}

FT_STATUS KAVRA_D2XX_API FT_CyclePort(FT_HANDLE ftHandle)
{
    return onHandle(ftHandle, [&](FtdiHandle& handle) { return handle.cyclePort(); });
}

FT_STATUS KAVRA_D2XX_API FT_GetDeviceInfo(FT_HANDLE ftHandle, FT_DEVICE* lpftDevice, LPDWORD lpdwID,
    PCHAR SerialNumber, PCHAR Description, LPVOID)
{
    return onHandle(ftHandle, [&](FtdiHandle& handle) {
        const FT_DEVICE_LIST_INFO_NODE& node = handle.node();
        if (lpftDevice)
            *lpftDevice = node.Type;
        if (lpdwID)
            *lpdwID = node.ID;
        copyText(SerialNumber, node.SerialNumber, sizeof node.SerialNumber);
        copyText(Description, node.Description, sizeof node.Description);
        return FT_OK;
    });
}

FT_STATUS KAVRA_D2XX_API FT_EE_Read(FT_HANDLE ftHandle, FT_PROGRAM_DATA* pData)
{
    return onHandle(ftHandle, [&](FtdiHandle& handle) {
        return handle.withContext([&](ftdi_context* ftdi, FT_DEVICE type) {
            return FtdiEeprom::read(ftdi, type, pData);
        });
    });
}

FT_STATUS KAVRA_D2XX_API FT_EE_Program(FT_HANDLE ftHandle, FT_PROGRAM_DATA* pData)
{
    return onHandle(ftHandle, [&](FtdiHandle& handle) {
        return handle.withContext([&](ftdi_context* ftdi, FT_DEVICE type) {
            return FtdiEeprom::program(ftdi, type, pData);
        });
    });
}

FT_STATUS KAVRA_D2XX_API FT_EEPROM_Read(FT_HANDLE ftHandle, void* eepromData, DWORD eepromDataSize,
    char* Manufacturer, char* ManufacturerId, char* Description, char* SerialNumber)
{
    return onHandle(ftHandle, [&](FtdiHandle& handle) {
        return handle.withContext([&](ftdi_context* ftdi, FT_DEVICE type) {
            if (type != FT_DEVICE_X_SERIES || eepromDataSize != sizeof(FT_EEPROM_X_SERIES))
                return FT_INVALID_PARAMETER;
            return FtdiEeprom::readX(ftdi, static_cast<FT_EEPROM_X_SERIES*>(eepromData),
                {Manufacturer, ManufacturerId, Description, SerialNumber});
        });
    });
}

FT_STATUS KAVRA_D2XX_API FT_EEPROM_Program(FT_HANDLE ftHandle, void* eepromData,
    DWORD eepromDataSize, char* Manufacturer, char* ManufacturerId, char* Description,
    char* SerialNumber)
{
    return onHandle(ftHandle, [&](FtdiHandle& handle) {
        return handle.withContext([&](ftdi_context* ftdi, FT_DEVICE type) {
            if (type != FT_DEVICE_X_SERIES || eepromDataSize != sizeof(FT_EEPROM_X_SERIES))
                return FT_INVALID_PARAMETER;
            return FtdiEeprom::programX(ftdi, static_cast<const FT_EEPROM_X_SERIES*>(eepromData),
                {Manufacturer, ManufacturerId, Description, SerialNumber});
        });
    });
}

FT_STATUS KAVRA_D2XX_API FT_SetBitMode(FT_HANDLE ftHandle, UCHAR ucMask, UCHAR ucEnable)
{
    return onHandle(ftHandle, [&](FtdiHandle& handle) {
        return handle.request(
            [&](ftdi_context* ftdi) { return ftdi_set_bitmode(ftdi, ucMask, ucEnable); });
    });
}

FT_STATUS KAVRA_D2XX_API FT_SetBaudRate(FT_HANDLE ftHandle, ULONG BaudRate)
{
    return onHandle(ftHandle, [&](FtdiHandle& handle) {
        if (BaudRate == 0 || BaudRate > 12000000)
            return FT_INVALID_BAUD_RATE;
        // libftdi refuses a rate the chip cannot come within 5 % of (-1), as FTDI's library does.
        return handle.request(
            [&](ftdi_context* ftdi) { return ftdi_set_baudrate(ftdi, int(BaudRate)); },
            FT_INVALID_BAUD_RATE);
    });
}

FT_STATUS KAVRA_D2XX_API FT_SetDataCharacteristics(
    FT_HANDLE ftHandle, UCHAR WordLength, UCHAR StopBits, UCHAR Parity)
{
    return onHandle(ftHandle, [&](FtdiHandle& handle) {
        // The D2XX values are libftdi's: 7 or 8 bits, stop bits 0 (one) or 2, parity 0 to 4.
        if ((WordLength != FT_BITS_7 && WordLength != FT_BITS_8)
            || (StopBits != FT_STOP_BITS_1 && StopBits != FT_STOP_BITS_2)
            || Parity > FT_PARITY_SPACE)
            return FT_INVALID_PARAMETER;
        return handle.request([&](ftdi_context* ftdi) {
            return ftdi_set_line_property(ftdi, ftdi_bits_type(WordLength),
                ftdi_stopbits_type(StopBits), ftdi_parity_type(Parity));
        });
    });
}

FT_STATUS KAVRA_D2XX_API FT_SetFlowControl(
    FT_HANDLE ftHandle, USHORT FlowControl, UCHAR XonChar, UCHAR XoffChar)
{
    return onHandle(ftHandle, [&](FtdiHandle& handle) {
        if (FlowControl != FT_FLOW_NONE && FlowControl != FT_FLOW_RTS_CTS
            && FlowControl != FT_FLOW_DTR_DSR && FlowControl != FT_FLOW_XON_XOFF)
            return FT_INVALID_PARAMETER;
        return handle.setFlowControl(FlowControl, XonChar, XoffChar);
    });
}

FT_STATUS KAVRA_D2XX_API FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR ucLatency)
{
    return onHandle(ftHandle, [&](FtdiHandle& handle) {
        return handle.request(
            [&](ftdi_context* ftdi) { return ftdi_set_latency_timer(ftdi, ucLatency); },
            FT_INVALID_PARAMETER);
    });
}

FT_STATUS KAVRA_D2XX_API FT_SetUSBParameters(FT_HANDLE ftHandle, ULONG ulInTransferSize, ULONG)
{
    return onHandle(ftHandle, [&](FtdiHandle& handle) {
        // Only the IN size means anything to the chip's driver; 0 leaves it as it is.
        if (ulInTransferSize)
            handle.setTransferSize(ulInTransferSize);
        return FT_OK;
    });
}

FT_STATUS KAVRA_D2XX_API FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout, ULONG WriteTimeout)
{
    return onHandle(ftHandle, [&](FtdiHandle& handle) {
        handle.setTimeouts(ReadTimeout, WriteTimeout);
        return FT_OK;
    });
}

FT_STATUS KAVRA_D2XX_API FT_Read(
    FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToRead, LPDWORD lpBytesReturned)
{
    return onHandle(ftHandle, [&](FtdiHandle& handle) {
        if (!lpBytesReturned || (!lpBuffer && dwBytesToRead))
            return FT_INVALID_PARAMETER;
        return handle.read(lpBuffer, dwBytesToRead, lpBytesReturned);
    });
}

FT_STATUS KAVRA_D2XX_API FT_Write(
    FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToWrite, LPDWORD lpBytesWritten)
{
    return onHandle(ftHandle, [&](FtdiHandle& handle) {
        if (!lpBytesWritten || (!lpBuffer && dwBytesToWrite))
            return FT_INVALID_PARAMETER;
        return handle.write(lpBuffer, dwBytesToWrite, lpBytesWritten);
    });
}

FT_STATUS KAVRA_D2XX_API FT_Purge(FT_HANDLE ftHandle, ULONG Mask)
{
    return onHandle(ftHandle, [&](FtdiHandle& handle) { return handle.purge(Mask); });
}

FT_STATUS KAVRA_D2XX_API FT_GetQueueStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes)
{
    return onHandle(ftHandle, [&](FtdiHandle& handle) {
        if (!dwRxBytes)
            return FT_INVALID_PARAMETER;
        *dwRxBytes = handle.queued();
        return FT_OK;
    });
}

FT_STATUS KAVRA_D2XX_API FT_GetStatus(
    FT_HANDLE ftHandle, DWORD* dwRxBytes, DWORD* dwTxBytes, DWORD* dwEventDWord)
{
    return onHandle(ftHandle, [&](FtdiHandle& handle) {
        if (!dwRxBytes || !dwTxBytes || !dwEventDWord)
            return FT_INVALID_PARAMETER;
        *dwRxBytes = handle.queued();
        // Writes complete before FT_Write returns: nothing waits to go out.
        *dwTxBytes = 0;
        *dwEventDWord = 0;
        return FT_OK;
    });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_GetLibraryVersion(LPDWORD lpdwDLLVersion)
{
    if (!lpdwDLLVersion)
        return FT_INVALID_PARAMETER;
    *lpdwDLLVersion = kLibraryVersion;
    return FT_OK;
}

// FTDI's Win32-style functions fail as their Win32 models do; FT_W32_GetLastError says why.
KAVRA_D2XX_EXPORT FT_HANDLE KAVRA_D2XX_API FT_W32_CreateFile(...)
{
    return reinterpret_cast<FT_HANDLE>(~std::uintptr_t(0));
}

KAVRA_D2XX_EXPORT FT_HANDLE KAVRA_D2XX_API FT_W32_OpenFile(...)
{
    return reinterpret_cast<FT_HANDLE>(~std::uintptr_t(0));
}

KAVRA_D2XX_EXPORT DWORD KAVRA_D2XX_API FT_W32_GetLastError(...)
{
    return FT_NOT_SUPPORTED;
}

// The rest of FTDI's names. None of them reads its arguments, so one variadic definition serves
// every signature of the C calling convention.
#define KAVRA_UNSUPPORTED(name, result)                                                            \
    KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API name(...)                                           \
    {                                                                                              \
        return result;                                                                             \
    }
#define KAVRA_NOT_SUPPORTED(name) KAVRA_UNSUPPORTED(name, FT_NOT_SUPPORTED)
#define KAVRA_W32_FALSE(name) KAVRA_UNSUPPORTED(name, 0)

KAVRA_NOT_SUPPORTED(FT_ClrDtr)
KAVRA_NOT_SUPPORTED(FT_ClrRts)
KAVRA_NOT_SUPPORTED(FT_ComPortCancelIdle)
KAVRA_NOT_SUPPORTED(FT_ComPortIdle)
KAVRA_NOT_SUPPORTED(FT_EE_ProgramEx)
KAVRA_NOT_SUPPORTED(FT_EE_ReadConfig)
KAVRA_NOT_SUPPORTED(FT_EE_ReadECC)
KAVRA_NOT_SUPPORTED(FT_EE_ReadEx)
KAVRA_NOT_SUPPORTED(FT_EE_UARead)
KAVRA_NOT_SUPPORTED(FT_EE_UASize)
KAVRA_NOT_SUPPORTED(FT_EE_UAWrite)
KAVRA_NOT_SUPPORTED(FT_EE_WriteConfig)
KAVRA_NOT_SUPPORTED(FT_EraseEE)
KAVRA_NOT_SUPPORTED(FT_GetBitMode)
KAVRA_NOT_SUPPORTED(FT_GetComPortNumber)
KAVRA_NOT_SUPPORTED(FT_GetDeviceLocId)
KAVRA_NOT_SUPPORTED(FT_GetDriverVersion)
KAVRA_NOT_SUPPORTED(FT_GetEventStatus)
KAVRA_NOT_SUPPORTED(FT_GetLatencyTimer)
KAVRA_NOT_SUPPORTED(FT_GetModemStatus)
KAVRA_NOT_SUPPORTED(FT_GetQueueStatusEx)
KAVRA_NOT_SUPPORTED(FT_GetVIDPID)
KAVRA_NOT_SUPPORTED(FT_IoCtl)
KAVRA_NOT_SUPPORTED(FT_ReadEE)
KAVRA_NOT_SUPPORTED(FT_Reload)
KAVRA_NOT_SUPPORTED(FT_Rescan)
KAVRA_NOT_SUPPORTED(FT_ResetDevice)
KAVRA_NOT_SUPPORTED(FT_ResetPort)
KAVRA_NOT_SUPPORTED(FT_RestartInTask)
KAVRA_NOT_SUPPORTED(FT_SetBreakOff)
KAVRA_NOT_SUPPORTED(FT_SetBreakOn)
KAVRA_NOT_SUPPORTED(FT_SetChars)
KAVRA_NOT_SUPPORTED(FT_SetDeadmanTimeout)
KAVRA_NOT_SUPPORTED(FT_SetDivisor)
KAVRA_NOT_SUPPORTED(FT_SetDtr)
KAVRA_NOT_SUPPORTED(FT_SetEventNotification)
KAVRA_NOT_SUPPORTED(FT_SetResetPipeRetryCount)
KAVRA_NOT_SUPPORTED(FT_SetRts)
KAVRA_NOT_SUPPORTED(FT_SetVIDPID)
KAVRA_NOT_SUPPORTED(FT_SetWaitMask)
KAVRA_NOT_SUPPORTED(FT_StopInTask)
KAVRA_NOT_SUPPORTED(FT_VendorCmdGet)
KAVRA_NOT_SUPPORTED(FT_VendorCmdGetEx)
KAVRA_NOT_SUPPORTED(FT_VendorCmdSet)
KAVRA_NOT_SUPPORTED(FT_VendorCmdSetEx)
KAVRA_NOT_SUPPORTED(FT_WaitOnMask)
KAVRA_NOT_SUPPORTED(FT_WriteEE)
KAVRA_NOT_SUPPORTED(FT_WriteMultiThread)
KAVRA_NOT_SUPPORTED(FT_WriteSingleThread)
KAVRA_W32_FALSE(FT_W32_CancelIo)
KAVRA_W32_FALSE(FT_W32_ClearCommBreak)
KAVRA_W32_FALSE(FT_W32_ClearCommError)
KAVRA_W32_FALSE(FT_W32_CloseHandle)
KAVRA_W32_FALSE(FT_W32_EscapeCommFunction)
KAVRA_W32_FALSE(FT_W32_GetCommModemStatus)
KAVRA_W32_FALSE(FT_W32_GetCommState)
KAVRA_W32_FALSE(FT_W32_GetCommTimeouts)
KAVRA_W32_FALSE(FT_W32_GetOverlappedResult)
KAVRA_W32_FALSE(FT_W32_PurgeComm)
KAVRA_W32_FALSE(FT_W32_ReadFile)
KAVRA_W32_FALSE(FT_W32_SetCommBreak)
KAVRA_W32_FALSE(FT_W32_SetCommMask)
KAVRA_W32_FALSE(FT_W32_SetCommState)
KAVRA_W32_FALSE(FT_W32_SetCommTimeouts)
KAVRA_W32_FALSE(FT_W32_SetupComm)
KAVRA_W32_FALSE(FT_W32_WaitCommEvent)
KAVRA_W32_FALSE(FT_W32_WriteFile)

} // extern "C"
