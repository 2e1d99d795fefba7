// The D2XX functions with the vendor's binary interface, each handing over to the bench.
#define KAVRA_D2XX_DECLARE_FUNCTIONS
#include "FtdiD2xx.h"
#include "SimBench.h"

#include <exception>

namespace {

// Nothing may unwind into a C caller.
template <typename Call>
FT_STATUS guarded(Call call) noexcept
{
    try {
        return call(SimBench::instance());
    } catch (const std::exception&) {
        return FT_OTHER_ERROR;
    } catch (...) {
        return FT_OTHER_ERROR;
    }
}

} // namespace

extern "C" {

FT_STATUS KAVRA_D2XX_API FT_CreateDeviceInfoList(LPDWORD lpdwNumDevs)
{
    return guarded([&](SimBench& bench) { return bench.createDeviceInfoList(lpdwNumDevs); });
}

FT_STATUS KAVRA_D2XX_API FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, LPDWORD lpdwNumDevs)
{
    return guarded([&](SimBench& bench) { return bench.getDeviceInfoList(pDest, lpdwNumDevs); });
}

FT_STATUS KAVRA_D2XX_API FT_Open(int deviceNumber, FT_HANDLE* pHandle)
{
    return guarded([&](SimBench& bench) { return bench.open(deviceNumber, pHandle); });
}

FT_STATUS KAVRA_D2XX_API FT_Close(FT_HANDLE ftHandle)
{
    return guarded([&](SimBench& bench) { return bench.close(ftHandle); });
}

FT_STATUS KAVRA_D2XX_API FT_CyclePort(FT_HANDLE ftHandle)
{
    return guarded([&](SimBench& bench) { return bench.cyclePort(ftHandle); });
}

FT_STATUS KAVRA_D2XX_API FT_GetDeviceInfo(FT_HANDLE ftHandle, FT_DEVICE* lpftDevice, LPDWORD lpdwID,
                                          PCHAR SerialNumber, PCHAR Description, LPVOID)
{
    return guarded(
        [&](SimBench& bench) { return bench.getDeviceInfo(ftHandle, lpftDevice, lpdwID, SerialNumber, Description); });
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
                                        char* Manufacturer, char* ManufacturerId, char* Description,
                                        char* SerialNumber)
{
    return guarded([&](SimBench& bench) {
        return bench.eepromRead(ftHandle, eepromData, eepromDataSize, Manufacturer, ManufacturerId, Description,
                                SerialNumber);
    });
}

FT_STATUS KAVRA_D2XX_API FT_EEPROM_Program(FT_HANDLE ftHandle, void* eepromData, DWORD eepromDataSize,
                                           char* Manufacturer, char* ManufacturerId, char* Description,
                                           char* SerialNumber)
{
    return guarded([&](SimBench& bench) {
        return bench.eepromProgram(ftHandle, eepromData, eepromDataSize, Manufacturer, ManufacturerId, Description,
                                   SerialNumber);
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

FT_STATUS KAVRA_D2XX_API FT_SetDataCharacteristics(FT_HANDLE ftHandle, UCHAR WordLength, UCHAR StopBits,
                                                   UCHAR Parity)
{
    return guarded(
        [&](SimBench& bench) { return bench.setDataCharacteristics(ftHandle, WordLength, StopBits, Parity); });
}

FT_STATUS KAVRA_D2XX_API FT_SetFlowControl(FT_HANDLE ftHandle, USHORT FlowControl, UCHAR XonChar, UCHAR XoffChar)
{
    return guarded([&](SimBench& bench) { return bench.setFlowControl(ftHandle, FlowControl, XonChar, XoffChar); });
}

FT_STATUS KAVRA_D2XX_API FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR ucLatency)
{
    return guarded([&](SimBench& bench) { return bench.setLatencyTimer(ftHandle, ucLatency); });
}

FT_STATUS KAVRA_D2XX_API FT_SetUSBParameters(FT_HANDLE ftHandle, ULONG ulInTransferSize, ULONG ulOutTransferSize)
{
    return guarded(
        [&](SimBench& bench) { return bench.setUsbParameters(ftHandle, ulInTransferSize, ulOutTransferSize); });
}

FT_STATUS KAVRA_D2XX_API FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout, ULONG WriteTimeout)
{
    return guarded([&](SimBench& bench) { return bench.setTimeouts(ftHandle, ReadTimeout, WriteTimeout); });
}

FT_STATUS KAVRA_D2XX_API FT_Read(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToRead, LPDWORD lpBytesReturned)
{
    return guarded([&](SimBench& bench) { return bench.read(ftHandle, lpBuffer, dwBytesToRead, lpBytesReturned); });
}

FT_STATUS KAVRA_D2XX_API FT_Write(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToWrite, LPDWORD lpBytesWritten)
{
    return guarded([&](SimBench& bench) { return bench.write(ftHandle, lpBuffer, dwBytesToWrite, lpBytesWritten); });
}

FT_STATUS KAVRA_D2XX_API FT_Purge(FT_HANDLE ftHandle, ULONG Mask)
{
    return guarded([&](SimBench& bench) { return bench.purge(ftHandle, Mask); });
}

FT_STATUS KAVRA_D2XX_API FT_GetQueueStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes)
{
    return guarded([&](SimBench& bench) { return bench.getQueueStatus(ftHandle, dwRxBytes); });
}

FT_STATUS KAVRA_D2XX_API FT_GetStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes, DWORD* dwTxBytes, DWORD* dwEventDWord)
{
    return guarded([&](SimBench& bench) { return bench.getStatus(ftHandle, dwRxBytes, dwTxBytes, dwEventDWord); });
}

} // extern "C"
