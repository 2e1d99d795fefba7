// The D2XX functions with the vendor's binary interface, each handing over to the bench.
#define KAVRA_D2XX_DECLARE_FUNCTIONS
#include "FtdiD2xx.h"
#include "SimBench.h"
#include "SimEventNotifier.h"
#include "SimUserAreas.h"

#include <atomic>
#include <cstring>
#include <exception>
#include <vector>

namespace {

// Nothing may unwind into a C caller.
template <typename Call> FT_STATUS guarded(Call call) noexcept
{
    try {
        return call(SimBench::instance());
    } catch (const std::exception&) {
        return FT_OTHER_ERROR;
    } catch (...) {
        return FT_OTHER_ERROR;
    }
}

// A call that lists or opens chips: counted for kavrasim_call_count.
template <typename Call> FT_STATUS counted(const char* function, Call call) noexcept
{
    return guarded([&](SimBench& bench) {
        bench.countCall(function);
        return call(bench);
    });
}

// FT_ListDevices and FT_OpenEx flags.
constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;
constexpr DWORD FT_OPEN_BY_DESCRIPTION = 2;
constexpr DWORD FT_OPEN_BY_LOCATION = 4;
constexpr DWORD FT_LIST_NUMBER_ONLY = 0x80000000;
constexpr DWORD FT_LIST_BY_INDEX = 0x40000000;
constexpr DWORD FT_LIST_ALL = 0x20000000;

// The device list as FT_CreateDeviceInfoList and FT_GetDeviceInfoList show it now.
std::vector<FT_DEVICE_LIST_INFO_NODE> deviceList(SimBench& bench)
{
    DWORD count = 0;
    if (bench.createDeviceInfoList(&count) != FT_OK || count == 0)
        return {};
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
    if (bench.getDeviceInfoList(nodes.data(), &count) != FT_OK)
        return {};
    nodes.resize(count);
    return nodes;
}

void copyText(void* buffer, const char* text, std::size_t size)
{
    if (buffer)
        std::memcpy(buffer, text, strnlen(text, size - 1) + 1);
}

// A call that only changes lines the emulated units never look at: recorded like the link
// configuration calls, so that tests can see it.
FT_STATUS recorded(SimBench& bench, FT_HANDLE ftHandle, const char* call, const QJsonArray& args)
{
    return bench.withHandle(ftHandle, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
        handle.chip().recordCall(handle.channelIndex(), QString::fromLatin1(call), args);
        return FT_OK;
    });
}

// The version of FTDI's library whose behaviour the bench follows (1.4.24, BCD digits).
constexpr DWORD kLibraryVersion = 0x00010424;

// The modem status the chips report: CTS and DSR asserted by the unit. FTDI's library reports
// the line status byte only when it carries an error, and the idle line carries none.
constexpr ULONG kModemStatus = 0x30;

// FT_GetBitMode: the data bus pins, idle high.
constexpr UCHAR kPins = 0xFF;

std::atomic<DWORD> g_vid{0};
std::atomic<DWORD> g_pid{0};

// What FT_W32_CreateFile answers on failure.
FT_HANDLE const kInvalidHandleValue = reinterpret_cast<FT_HANDLE>(~quintptr(0));

} // namespace

extern "C" {

FT_STATUS KAVRA_D2XX_API FT_CreateDeviceInfoList(LPDWORD lpdwNumDevs)
{
    return counted("FT_CreateDeviceInfoList",
        [&](SimBench& bench) { return bench.createDeviceInfoList(lpdwNumDevs); });
}

FT_STATUS KAVRA_D2XX_API FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, LPDWORD lpdwNumDevs)
{
    return counted("FT_GetDeviceInfoList",
        [&](SimBench& bench) { return bench.getDeviceInfoList(pDest, lpdwNumDevs); });
}

FT_STATUS KAVRA_D2XX_API FT_Open(int deviceNumber, FT_HANDLE* pHandle)
{
    return counted("FT_Open", [&](SimBench& bench) { return bench.open(deviceNumber, pHandle); });
}

FT_STATUS KAVRA_D2XX_API FT_Close(FT_HANDLE ftHandle)
{
    return guarded([&](SimBench& bench) {
        SimEventNotifier::instance().remove(ftHandle);
        return bench.close(ftHandle);
    });
}

FT_STATUS KAVRA_D2XX_API FT_CyclePort(FT_HANDLE ftHandle)
{
    return guarded([&](SimBench& bench) { return bench.cyclePort(ftHandle); });
}

FT_STATUS KAVRA_D2XX_API FT_GetDeviceInfo(FT_HANDLE ftHandle, FT_DEVICE* lpftDevice, LPDWORD lpdwID,
    PCHAR SerialNumber, PCHAR Description, LPVOID)
{
    return guarded([&](SimBench& bench) {
        return bench.getDeviceInfo(ftHandle, lpftDevice, lpdwID, SerialNumber, Description);
    });
}

FT_STATUS KAVRA_D2XX_API FT_EE_Read(FT_HANDLE ftHandle, FT_PROGRAM_DATA* pData)
{
    return guarded([&](SimBench& bench) { return bench.eeRead(ftHandle, pData); });
}

FT_STATUS KAVRA_D2XX_API FT_EE_Program(FT_HANDLE ftHandle, FT_PROGRAM_DATA* pData)
{
    return guarded([&](SimBench& bench) { return bench.eeProgram(ftHandle, pData); });
}

FT_STATUS KAVRA_D2XX_API FT_EEPROM_Read(FT_HANDLE ftHandle, void* eepromData, DWORD eepromDataSize,
    char* Manufacturer, char* ManufacturerId, char* Description, char* SerialNumber)
{
    return guarded([&](SimBench& bench) {
        return bench.eepromRead(ftHandle, eepromData, eepromDataSize, Manufacturer, ManufacturerId,
            Description, SerialNumber);
    });
}

FT_STATUS KAVRA_D2XX_API FT_EEPROM_Program(FT_HANDLE ftHandle, void* eepromData,
    DWORD eepromDataSize, char* Manufacturer, char* ManufacturerId, char* Description,
    char* SerialNumber)
{
    return guarded([&](SimBench& bench) {
        return bench.eepromProgram(ftHandle, eepromData, eepromDataSize, Manufacturer,
            ManufacturerId, Description, SerialNumber);
    });
}

FT_STATUS KAVRA_D2XX_API FT_SetBitMode(FT_HANDLE ftHandle, UCHAR ucMask, UCHAR ucEnable)
{
    return guarded([&](SimBench& bench) { return bench.setBitMode(ftHandle, ucMask, ucEnable); });
}

FT_STATUS KAVRA_D2XX_API FT_SetBaudRate(FT_HANDLE ftHandle, ULONG BaudRate)
{
    return guarded([&](SimBench& bench) { return bench.setBaudRate(ftHandle, BaudRate); });
}

FT_STATUS KAVRA_D2XX_API FT_SetDataCharacteristics(
    FT_HANDLE ftHandle, UCHAR WordLength, UCHAR StopBits, UCHAR Parity)
{
    return guarded([&](SimBench& bench) {
        return bench.setDataCharacteristics(ftHandle, WordLength, StopBits, Parity);
    });
}

FT_STATUS KAVRA_D2XX_API FT_SetFlowControl(
    FT_HANDLE ftHandle, USHORT FlowControl, UCHAR XonChar, UCHAR XoffChar)
{
    return guarded([&](SimBench& bench) {
        return bench.setFlowControl(ftHandle, FlowControl, XonChar, XoffChar);
    });
}

FT_STATUS KAVRA_D2XX_API FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR ucLatency)
{
    return guarded([&](SimBench& bench) { return bench.setLatencyTimer(ftHandle, ucLatency); });
}

FT_STATUS KAVRA_D2XX_API FT_SetUSBParameters(
    FT_HANDLE ftHandle, ULONG ulInTransferSize, ULONG ulOutTransferSize)
{
    return guarded([&](SimBench& bench) {
        return bench.setUsbParameters(ftHandle, ulInTransferSize, ulOutTransferSize);
    });
}

FT_STATUS KAVRA_D2XX_API FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout, ULONG WriteTimeout)
{
    return guarded(
        [&](SimBench& bench) { return bench.setTimeouts(ftHandle, ReadTimeout, WriteTimeout); });
}

FT_STATUS KAVRA_D2XX_API FT_Read(
    FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToRead, LPDWORD lpBytesReturned)
{
    return guarded([&](SimBench& bench) {
        return bench.read(ftHandle, lpBuffer, dwBytesToRead, lpBytesReturned);
    });
}

FT_STATUS KAVRA_D2XX_API FT_Write(
    FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToWrite, LPDWORD lpBytesWritten)
{
    return guarded([&](SimBench& bench) {
        return bench.write(ftHandle, lpBuffer, dwBytesToWrite, lpBytesWritten);
    });
}

FT_STATUS KAVRA_D2XX_API FT_Purge(FT_HANDLE ftHandle, ULONG Mask)
{
    return guarded([&](SimBench& bench) { return bench.purge(ftHandle, Mask); });
}

FT_STATUS KAVRA_D2XX_API FT_GetQueueStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes)
{
    return guarded([&](SimBench& bench) { return bench.getQueueStatus(ftHandle, dwRxBytes); });
}

FT_STATUS KAVRA_D2XX_API FT_GetStatus(
    FT_HANDLE ftHandle, DWORD* dwRxBytes, DWORD* dwTxBytes, DWORD* dwEventDWord)
{
    return guarded([&](SimBench& bench) {
        return bench.getStatus(ftHandle, dwRxBytes, dwTxBytes, dwEventDWord);
    });
}

// The vendor's other functions. Those the bench can give a meaning are emulated; every other one
// answers FT_NOT_SUPPORTED (the FT_W32_* ones fail the way their Win32 models do).

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_GetDeviceInfoDetail(DWORD dwIndex, LPDWORD lpdwFlags,
    LPDWORD lpdwType, LPDWORD lpdwID, LPDWORD lpdwLocId, LPVOID lpSerialNumber,
    LPVOID lpDescription, FT_HANDLE* pftHandle)
{
    return counted("FT_GetDeviceInfoDetail", [&](SimBench& bench) {
        const std::vector<FT_DEVICE_LIST_INFO_NODE> nodes = deviceList(bench);
        if (dwIndex >= nodes.size())
            return FT_DEVICE_NOT_FOUND;
        const FT_DEVICE_LIST_INFO_NODE& node = nodes.at(dwIndex);
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
    return counted("FT_ListDevices", [&](SimBench& bench) {
        const std::vector<FT_DEVICE_LIST_INFO_NODE> nodes = deviceList(bench);
        if (dwFlags & FT_LIST_NUMBER_ONLY) {
            if (!pvArg1)
                return FT_INVALID_PARAMETER;
            *static_cast<DWORD*>(pvArg1) = DWORD(nodes.size());
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
            const DWORD index = DWORD(reinterpret_cast<quintptr>(pvArg1));
            if (!pvArg2)
                return FT_INVALID_PARAMETER;
            if (index >= nodes.size())
                return FT_DEVICE_NOT_FOUND;
            fill(nodes.at(index), pvArg2);
            return FT_OK;
        }
        if (dwFlags & FT_LIST_ALL) {
            if (!pvArg1)
                return FT_INVALID_PARAMETER;
            for (std::size_t i = 0; i < nodes.size(); ++i) {
                if (dwFlags & FT_OPEN_BY_LOCATION) {
                    fill(nodes.at(i), static_cast<DWORD*>(pvArg1) + i);
                } else {
                    // An array of buffers, ended by a null pointer.
                    void* buffer = static_cast<void**>(pvArg1)[i];
                    if (!buffer)
                        break;
                    fill(nodes.at(i), buffer);
                }
            }
            if (pvArg2)
                *static_cast<DWORD*>(pvArg2) = DWORD(nodes.size());
            return FT_OK;
        }
        return FT_INVALID_PARAMETER;
    });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_OpenEx(
    LPVOID pvArg1, DWORD dwFlags, FT_HANDLE* pHandle)
{
    return counted("FT_OpenEx", [&](SimBench& bench) {
        if (!pHandle)
            return FT_INVALID_PARAMETER;
        *pHandle = nullptr;
        if (!(dwFlags & (FT_OPEN_BY_SERIAL_NUMBER | FT_OPEN_BY_DESCRIPTION | FT_OPEN_BY_LOCATION))
            || (!pvArg1 && !(dwFlags & FT_OPEN_BY_LOCATION)))
            return FT_INVALID_PARAMETER;
        const std::vector<FT_DEVICE_LIST_INFO_NODE> nodes = deviceList(bench);
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            const FT_DEVICE_LIST_INFO_NODE& node = nodes.at(i);
            bool match;
            if (dwFlags & FT_OPEN_BY_SERIAL_NUMBER)
                match = std::strncmp(node.SerialNumber, static_cast<const char*>(pvArg1),
                            sizeof node.SerialNumber)
                    == 0;
            else if (dwFlags & FT_OPEN_BY_DESCRIPTION)
                match = std::strncmp(node.Description, static_cast<const char*>(pvArg1),
                            sizeof node.Description)
                    == 0;
            else
                match = node.LocId == DWORD(reinterpret_cast<quintptr>(pvArg1));
            if (match)
                return bench.open(int(i), pHandle);
        }
        return FT_DEVICE_NOT_FOUND;
    });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_GetLibraryVersion(LPDWORD lpdwDLLVersion)
{
    if (!lpdwDLLVersion)
        return FT_INVALID_PARAMETER;
    *lpdwDLLVersion = kLibraryVersion;
    return FT_OK;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_GetDriverVersion(
    FT_HANDLE ftHandle, LPDWORD lpdwDriverVersion)
{
    return guarded([&](SimBench& bench) {
        return bench.withHandle(ftHandle, [&](SimHandle&, std::unique_lock<std::mutex>&) {
            if (!lpdwDriverVersion)
                return FT_INVALID_PARAMETER;
            *lpdwDriverVersion = kLibraryVersion;
            return FT_OK;
        });
    });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_GetDeviceLocId(FT_HANDLE ftHandle, LPDWORD lpdwLocId)
{
    return guarded([&](SimBench& bench) {
        return bench.withHandle(ftHandle, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
            if (!lpdwLocId)
                return FT_INVALID_PARAMETER;
            *lpdwLocId = handle.chip().channels().at(handle.channelIndex()).location;
            return FT_OK;
        });
    });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_ResetDevice(FT_HANDLE ftHandle)
{
    return guarded([&](SimBench& bench) {
        return bench.withHandle(ftHandle, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
            handle.chip().recordCall(
                handle.channelIndex(), QStringLiteral("FT_ResetDevice"), QJsonArray());
            // The chip's reset empties its buffers.
            handle.purgeReceive(bench.benchTimeNs());
            return FT_OK;
        });
    });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_SetDtr(FT_HANDLE ftHandle)
{
    return guarded(
        [&](SimBench& bench) { return recorded(bench, ftHandle, "FT_SetDtr", QJsonArray()); });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_ClrDtr(FT_HANDLE ftHandle)
{
    return guarded(
        [&](SimBench& bench) { return recorded(bench, ftHandle, "FT_ClrDtr", QJsonArray()); });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_SetRts(FT_HANDLE ftHandle)
{
    return guarded(
        [&](SimBench& bench) { return recorded(bench, ftHandle, "FT_SetRts", QJsonArray()); });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_ClrRts(FT_HANDLE ftHandle)
{
    return guarded(
        [&](SimBench& bench) { return recorded(bench, ftHandle, "FT_ClrRts", QJsonArray()); });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_SetBreakOn(FT_HANDLE ftHandle)
{
    return guarded(
        [&](SimBench& bench) { return recorded(bench, ftHandle, "FT_SetBreakOn", QJsonArray()); });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_SetBreakOff(FT_HANDLE ftHandle)
{
    return guarded(
        [&](SimBench& bench) { return recorded(bench, ftHandle, "FT_SetBreakOff", QJsonArray()); });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_SetChars(FT_HANDLE ftHandle, UCHAR uEventChar,
    UCHAR uEventCharEnabled, UCHAR uErrorChar, UCHAR uErrorCharEnabled)
{
    return guarded([&](SimBench& bench) {
        return recorded(bench, ftHandle, "FT_SetChars",
            QJsonArray{uEventChar, uEventCharEnabled, uErrorChar, uErrorCharEnabled});
    });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_GetModemStatus(
    FT_HANDLE ftHandle, ULONG* lpdwModemStatus)
{
    return guarded([&](SimBench& bench) {
        return bench.withHandle(ftHandle, [&](SimHandle&, std::unique_lock<std::mutex>&) {
            if (!lpdwModemStatus)
                return FT_INVALID_PARAMETER;
            *lpdwModemStatus = kModemStatus;
            return FT_OK;
        });
    });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_GetLatencyTimer(FT_HANDLE ftHandle, UCHAR* pucLatency)
{
    return guarded([&](SimBench& bench) {
        return bench.withHandle(ftHandle, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
            if (!pucLatency)
                return FT_INVALID_PARAMETER;
            *pucLatency = UCHAR(handle.latencyMs);
            return FT_OK;
        });
    });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_GetBitMode(FT_HANDLE ftHandle, UCHAR* pucMode)
{
    return guarded([&](SimBench& bench) {
        return bench.withHandle(ftHandle, [&](SimHandle&, std::unique_lock<std::mutex>&) {
            if (!pucMode)
                return FT_INVALID_PARAMETER;
            *pucMode = kPins;
            return FT_OK;
        });
    });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_SetEventNotification(
    FT_HANDLE ftHandle, DWORD dwEventMask, LPVOID pvArg)
{
    return guarded([&](SimBench&) {
        if (!pvArg)
            return FT_INVALID_PARAMETER;
        return SimEventNotifier::instance().setNotification(ftHandle, dwEventMask, pvArg);
    });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_GetEventStatus(
    FT_HANDLE ftHandle, DWORD* dwEventDWord)
{
    return guarded([&](SimBench& bench) {
        DWORD rx = 0;
        DWORD tx = 0;
        return bench.getStatus(ftHandle, &rx, &tx, dwEventDWord);
    });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_GetQueueStatusEx(FT_HANDLE ftHandle, DWORD* dwRxBytes)
{
    return guarded([&](SimBench& bench) { return bench.getQueueStatus(ftHandle, dwRxBytes); });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_EE_UASize(FT_HANDLE ftHandle, LPDWORD lpdwSize)
{
    return guarded([&](SimBench& bench) {
        return bench.withHandle(ftHandle, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
            if (!lpdwSize)
                return FT_INVALID_PARAMETER;
            *lpdwSize = DWORD(SimUserAreas::size(handle.chip()));
            return FT_OK;
        });
    });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_EE_UARead(
    FT_HANDLE ftHandle, UCHAR* pucData, DWORD dwDataLen, LPDWORD lpdwBytesRead)
{
    return guarded([&](SimBench& bench) {
        std::shared_ptr<SimChip> chip;
        const FT_STATUS status
            = bench.withHandle(ftHandle, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
                  chip = handle.chipPointer();
                  return FT_OK;
              });
        if (status != FT_OK)
            return status;
        if (!pucData || !lpdwBytesRead)
            return FT_INVALID_PARAMETER;
        const QByteArray area
            = SimUserAreas::instance().read(chip).left(int(std::min<DWORD>(dwDataLen, 0x7FFFFFFF)));
        std::memcpy(pucData, area.constData(), std::size_t(area.size()));
        *lpdwBytesRead = DWORD(area.size());
        return FT_OK;
    });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_EE_UAWrite(
    FT_HANDLE ftHandle, UCHAR* pucData, DWORD dwDataLen)
{
    return guarded([&](SimBench& bench) {
        std::shared_ptr<SimChip> chip;
        int size = 0;
        const FT_STATUS status
            = bench.withHandle(ftHandle, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
                  chip = handle.chipPointer();
                  size = SimUserAreas::size(*chip);
                  return FT_OK;
              });
        if (status != FT_OK)
            return status;
        if (!pucData || dwDataLen > DWORD(size))
            return FT_INVALID_PARAMETER;
        SimUserAreas::instance().write(
            chip, QByteArray(reinterpret_cast<const char*>(pucData), int(dwDataLen)));
        return FT_OK;
    });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_EE_ReadEx(FT_HANDLE ftHandle, FT_PROGRAM_DATA* pData,
    char* Manufacturer, char* ManufacturerId, char* Description, char* SerialNumber)
{
    return guarded([&](SimBench& bench) {
        if (!pData)
            return FT_INVALID_PARAMETER;
        // The texts go to the separate buffers; the caller's own text pointers stay as they were.
        FT_PROGRAM_DATA data = *pData;
        data.Manufacturer = Manufacturer;
        data.ManufacturerId = ManufacturerId;
        data.Description = Description;
        data.SerialNumber = SerialNumber;
        const FT_STATUS status = bench.eeRead(ftHandle, &data);
        if (status == FT_OK) {
            data.Manufacturer = pData->Manufacturer;
            data.ManufacturerId = pData->ManufacturerId;
            data.Description = pData->Description;
            data.SerialNumber = pData->SerialNumber;
            *pData = data;
        }
        return status;
    });
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_EE_ProgramEx(FT_HANDLE ftHandle,
    FT_PROGRAM_DATA* pData, char* Manufacturer, char* ManufacturerId, char* Description,
    char* SerialNumber)
{
    return guarded([&](SimBench& bench) {
        if (!pData)
            return FT_INVALID_PARAMETER;
        FT_PROGRAM_DATA data = *pData;
        data.Manufacturer = Manufacturer;
        data.ManufacturerId = ManufacturerId;
        data.Description = Description;
        data.SerialNumber = SerialNumber;
        return bench.eeProgram(ftHandle, &data);
    });
}

// The bench lists every chip of every vendor and product id, and its list is never stale.
KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_Rescan(void)
{
    return FT_OK;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_Reload(WORD, WORD)
{
    return FT_OK;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_SetVIDPID(DWORD dwVID, DWORD dwPID)
{
    g_vid = dwVID;
    g_pid = dwPID;
    return FT_OK;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_GetVIDPID(DWORD* pdwVID, DWORD* pdwPID)
{
    if (!pdwVID || !pdwPID)
        return FT_INVALID_PARAMETER;
    *pdwVID = g_vid;
    *pdwPID = g_pid;
    return FT_OK;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_SetDivisor(FT_HANDLE, USHORT)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_GetComPortNumber(FT_HANDLE, LPVOID)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_ResetPort(FT_HANDLE)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_SetResetPipeRetryCount(FT_HANDLE, DWORD)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_StopInTask(FT_HANDLE)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_RestartInTask(FT_HANDLE)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_SetDeadmanTimeout(FT_HANDLE, ULONG)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_IoCtl(
    FT_HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPVOID)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_SetWaitMask(FT_HANDLE, DWORD)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_WaitOnMask(FT_HANDLE, DWORD*)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_ReadEE(FT_HANDLE, DWORD, WORD*)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_WriteEE(FT_HANDLE, DWORD, WORD)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_EraseEE(FT_HANDLE)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_EE_ReadConfig(FT_HANDLE, UCHAR, UCHAR*)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_EE_WriteConfig(FT_HANDLE, UCHAR, UCHAR)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_EE_ReadECC(FT_HANDLE, UCHAR, WORD*)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_ComPortIdle(FT_HANDLE)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_ComPortCancelIdle(FT_HANDLE)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_VendorCmdGet(FT_HANDLE, UCHAR, UCHAR*, USHORT)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_VendorCmdSet(FT_HANDLE, UCHAR, UCHAR*, USHORT)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_VendorCmdGetEx(FT_HANDLE, USHORT, UCHAR*, USHORT)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_VendorCmdSetEx(FT_HANDLE, USHORT, UCHAR*, USHORT)
{
    return FT_NOT_SUPPORTED;
}

// Not in the vendor's header, exported by its Linux library all the same.
KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_WriteMultiThread(FT_HANDLE, LPVOID, DWORD, LPDWORD)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API FT_WriteSingleThread(FT_HANDLE, LPVOID, DWORD, LPDWORD)
{
    return FT_NOT_SUPPORTED;
}

KAVRA_D2XX_EXPORT FT_HANDLE KAVRA_D2XX_API FT_W32_OpenFile(void)
{
    return kInvalidHandleValue;
}

KAVRA_D2XX_EXPORT FT_HANDLE KAVRA_D2XX_API FT_W32_CreateFile(
    const char*, DWORD, DWORD, LPVOID, DWORD, DWORD, LPVOID)
{
    return kInvalidHandleValue;
}

KAVRA_D2XX_EXPORT int KAVRA_D2XX_API FT_W32_CloseHandle(FT_HANDLE)
{
    return 0;
}

KAVRA_D2XX_EXPORT int KAVRA_D2XX_API FT_W32_ReadFile(FT_HANDLE, LPVOID, DWORD, LPDWORD, LPVOID)
{
    return 0;
}

KAVRA_D2XX_EXPORT int KAVRA_D2XX_API FT_W32_WriteFile(FT_HANDLE, LPVOID, DWORD, LPDWORD, LPVOID)
{
    return 0;
}

KAVRA_D2XX_EXPORT int KAVRA_D2XX_API FT_W32_GetOverlappedResult(FT_HANDLE, LPVOID, LPDWORD, int)
{
    return 0;
}

KAVRA_D2XX_EXPORT int KAVRA_D2XX_API FT_W32_EscapeCommFunction(FT_HANDLE, DWORD)
{
    return 0;
}

KAVRA_D2XX_EXPORT int KAVRA_D2XX_API FT_W32_GetCommModemStatus(FT_HANDLE, LPDWORD)
{
    return 0;
}

KAVRA_D2XX_EXPORT int KAVRA_D2XX_API FT_W32_SetupComm(FT_HANDLE, DWORD, DWORD)
{
    return 0;
}

KAVRA_D2XX_EXPORT int KAVRA_D2XX_API FT_W32_SetCommState(FT_HANDLE, LPVOID)
{
    return 0;
}

KAVRA_D2XX_EXPORT int KAVRA_D2XX_API FT_W32_GetCommState(FT_HANDLE, LPVOID)
{
    return 0;
}

KAVRA_D2XX_EXPORT int KAVRA_D2XX_API FT_W32_SetCommTimeouts(FT_HANDLE, LPVOID)
{
    return 0;
}

KAVRA_D2XX_EXPORT int KAVRA_D2XX_API FT_W32_GetCommTimeouts(FT_HANDLE, LPVOID)
{
    return 0;
}

KAVRA_D2XX_EXPORT int KAVRA_D2XX_API FT_W32_SetCommBreak(FT_HANDLE)
{
    return 0;
}

KAVRA_D2XX_EXPORT int KAVRA_D2XX_API FT_W32_ClearCommBreak(FT_HANDLE)
{
    return 0;
}

KAVRA_D2XX_EXPORT int KAVRA_D2XX_API FT_W32_SetCommMask(FT_HANDLE, ULONG)
{
    return 0;
}

KAVRA_D2XX_EXPORT int KAVRA_D2XX_API FT_W32_WaitCommEvent(FT_HANDLE, ULONG*, LPVOID)
{
    return 0;
}

KAVRA_D2XX_EXPORT int KAVRA_D2XX_API FT_W32_PurgeComm(FT_HANDLE, DWORD)
{
    return 0;
}

KAVRA_D2XX_EXPORT int KAVRA_D2XX_API FT_W32_ClearCommError(FT_HANDLE, LPDWORD, LPVOID)
{
    return 0;
}

KAVRA_D2XX_EXPORT int KAVRA_D2XX_API FT_W32_CancelIo(FT_HANDLE)
{
    return 0;
}

KAVRA_D2XX_EXPORT DWORD KAVRA_D2XX_API FT_W32_GetLastError(FT_HANDLE)
{
    return FT_NOT_SUPPORTED;
}

} // extern "C"
