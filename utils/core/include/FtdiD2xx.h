#pragma once

// Our own declarations of the FTDI D2XX C interface (libftd2xx.so / FTD2XX.dll), binary
// compatible with the vendor's 64-bit builds: every 32-bit D2XX integer is 32 bits wide, structs use
// natural alignment with no packing. The library loads the functions at run time through the
// function-pointer types below; the virtual bench defines them with
// KAVRA_D2XX_DECLARE_FUNCTIONS set.

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define KAVRA_D2XX_API __stdcall
#else
#define KAVRA_D2XX_API
#endif

#ifdef _WIN32
// Exactly windows.h's own types (Windows is LLP64: unsigned long is 32 bits), so that this header
// and windows.h may meet in one source without a conflict.
using DWORD = unsigned long;
using ULONG = unsigned long;
using USHORT = unsigned short;
using WORD = unsigned short;
#else
// The vendor's Linux types: 32 bits on LP64, where unsigned long would be 64.
using DWORD = uint32_t;
using ULONG = uint32_t;
using USHORT = uint16_t;
using WORD = uint16_t;
#endif
using UCHAR = unsigned char;
using LPDWORD = DWORD*;
using LPVOID = void*;
using PCHAR = char*;
using FT_HANDLE = void*;
using FT_STATUS = ULONG;
using FT_DEVICE = ULONG;
static_assert(sizeof(DWORD) == 4 && sizeof(ULONG) == 4 && sizeof(WORD) == 2,
    "D2XX integers are 32 and 16 bits wide");

// Status codes: the vendor's enum positions.
constexpr FT_STATUS FT_OK = 0;
constexpr FT_STATUS FT_INVALID_HANDLE = 1;
constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
constexpr FT_STATUS FT_IO_ERROR = 4;
constexpr FT_STATUS FT_INSUFFICIENT_RESOURCES = 5;
constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
constexpr FT_STATUS FT_INVALID_BAUD_RATE = 7;
constexpr FT_STATUS FT_DEVICE_NOT_OPENED_FOR_ERASE = 8;
constexpr FT_STATUS FT_DEVICE_NOT_OPENED_FOR_WRITE = 9;
constexpr FT_STATUS FT_FAILED_TO_WRITE_DEVICE = 10;
constexpr FT_STATUS FT_EEPROM_READ_FAILED = 11;
constexpr FT_STATUS FT_EEPROM_WRITE_FAILED = 12;
constexpr FT_STATUS FT_EEPROM_ERASE_FAILED = 13;
constexpr FT_STATUS FT_EEPROM_NOT_PRESENT = 14;
constexpr FT_STATUS FT_EEPROM_NOT_PROGRAMMED = 15;
constexpr FT_STATUS FT_INVALID_ARGS = 16;
constexpr FT_STATUS FT_NOT_SUPPORTED = 17;
constexpr FT_STATUS FT_OTHER_ERROR = 18;
constexpr FT_STATUS FT_DEVICE_LIST_NOT_READY = 19;

// Chip types (FT_DEVICE values).
constexpr FT_DEVICE FT_DEVICE_BM = 0;
constexpr FT_DEVICE FT_DEVICE_AM = 1;
constexpr FT_DEVICE FT_DEVICE_100AX = 2;
constexpr FT_DEVICE FT_DEVICE_UNKNOWN = 3;
constexpr FT_DEVICE FT_DEVICE_2232C = 4;
constexpr FT_DEVICE FT_DEVICE_232R = 5;
constexpr FT_DEVICE FT_DEVICE_2232H = 6;
constexpr FT_DEVICE FT_DEVICE_4232H = 7;
constexpr FT_DEVICE FT_DEVICE_232H = 8;
constexpr FT_DEVICE FT_DEVICE_X_SERIES = 9;

// USB vendor and product ids; a device ID is (VID << 16) | PID.
constexpr uint32_t FTDI_VID = 0x0403;
constexpr uint32_t FTDI_PID_232R = 0x6001;
constexpr uint32_t FTDI_PID_2232H = 0x6010;
constexpr uint32_t FTDI_PID_4232H = 0x6011;
constexpr uint32_t FTDI_PID_232H = 0x6014;
constexpr uint32_t FTDI_PID_X_SERIES = 0x6015;

// Device list node flags.
constexpr uint32_t FT_FLAGS_OPENED = 1;
constexpr uint32_t FT_FLAGS_HISPEED = 2;

// FT_Purge mask.
constexpr uint32_t FT_PURGE_RX = 1;
constexpr uint32_t FT_PURGE_TX = 2;

// FT_SetFlowControl.
constexpr uint32_t FT_FLOW_NONE = 0x0000;
constexpr uint32_t FT_FLOW_RTS_CTS = 0x0100;
constexpr uint32_t FT_FLOW_DTR_DSR = 0x0200;
constexpr uint32_t FT_FLOW_XON_XOFF = 0x0400;

// FT_SetDataCharacteristics.
constexpr uint32_t FT_BITS_8 = 8;
constexpr uint32_t FT_BITS_7 = 7;
constexpr uint32_t FT_STOP_BITS_1 = 0;
constexpr uint32_t FT_STOP_BITS_2 = 2;
constexpr uint32_t FT_PARITY_NONE = 0;
constexpr uint32_t FT_PARITY_ODD = 1;
constexpr uint32_t FT_PARITY_EVEN = 2;
constexpr uint32_t FT_PARITY_MARK = 3;
constexpr uint32_t FT_PARITY_SPACE = 4;

// FT_SetBitMode enable values.
constexpr uint32_t FT_BITMODE_RESET = 0x00;
constexpr uint32_t FT_BITMODE_ASYNC_BITBANG = 0x01;
constexpr uint32_t FT_BITMODE_MPSSE = 0x02;
constexpr uint32_t FT_BITMODE_SYNC_BITBANG = 0x04;
constexpr uint32_t FT_BITMODE_MCU_HOST = 0x08;
constexpr uint32_t FT_BITMODE_FAST_SERIAL = 0x10;
constexpr uint32_t FT_BITMODE_CBUS_BITBANG = 0x20;
constexpr uint32_t FT_BITMODE_SYNC_FIFO = 0x40;

// FT_GetStatus event word.
constexpr uint32_t FT_EVENT_RXCHAR = 1;
constexpr uint32_t FT_EVENT_MODEM_STATUS = 2;
constexpr uint32_t FT_EVENT_LINE_STATUS = 4;

// EEPROM driver type.
constexpr uint32_t FT_DRIVER_TYPE_D2XX = 0;
constexpr uint32_t FT_DRIVER_TYPE_VCP = 1;

// FT_PROGRAM_DATA header values.
constexpr uint32_t FT_PROGRAM_DATA_SIGNATURE1 = 0x00000000;
constexpr uint32_t FT_PROGRAM_DATA_SIGNATURE2 = 0xFFFFFFFF;
constexpr uint32_t FT_PROGRAM_DATA_VERSION = 5;

// Caller buffer sizes the vendor's examples use for the text fields.
constexpr std::size_t FT_SERIAL_BUFFER_SIZE = 16;
constexpr std::size_t FT_DESCRIPTION_BUFFER_SIZE = 64;
constexpr std::size_t FT_MANUFACTURER_BUFFER_SIZE = 32;
constexpr std::size_t FT_MANUFACTURER_ID_BUFFER_SIZE = 16;

struct FT_DEVICE_LIST_INFO_NODE
{
    ULONG Flags;
    ULONG Type;
    ULONG ID;
    DWORD LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};

struct FT_PROGRAM_DATA
{
    DWORD Signature1;
    DWORD Signature2;
    DWORD Version;
    WORD VendorId;
    WORD ProductId;
    char* Manufacturer;
    char* ManufacturerId;
    char* Description;
    char* SerialNumber;
    WORD MaxPower;
    WORD PnP;
    WORD SelfPowered;
    WORD RemoteWakeup;
    // FT232B
    UCHAR Rev4;
    UCHAR IsoIn;
    UCHAR IsoOut;
    UCHAR PullDownEnable;
    UCHAR SerNumEnable;
    UCHAR USBVersionEnable;
    WORD USBVersion;
    // FT2232
    UCHAR Rev5;
    UCHAR IsoInA;
    UCHAR IsoInB;
    UCHAR IsoOutA;
    UCHAR IsoOutB;
    UCHAR PullDownEnable5;
    UCHAR SerNumEnable5;
    UCHAR USBVersionEnable5;
    WORD USBVersion5;
    UCHAR AIsHighCurrent;
    UCHAR BIsHighCurrent;
    UCHAR IFAIsFifo;
    UCHAR IFAIsFifoTar;
    UCHAR IFAIsFastSer;
    UCHAR AIsVCP;
    UCHAR IFBIsFifo;
    UCHAR IFBIsFifoTar;
    UCHAR IFBIsFastSer;
    UCHAR BIsVCP;
    // FT232R
    UCHAR UseExtOsc;
    UCHAR HighDriveIOs;
    UCHAR EndpointSize;
    UCHAR PullDownEnableR;
    UCHAR SerNumEnableR;
    UCHAR InvertTXD;
    UCHAR InvertRXD;
    UCHAR InvertRTS;
    UCHAR InvertCTS;
    UCHAR InvertDTR;
    UCHAR InvertDSR;
    UCHAR InvertDCD;
    UCHAR InvertRI;
    UCHAR Cbus0;
    UCHAR Cbus1;
    UCHAR Cbus2;
    UCHAR Cbus3;
    UCHAR Cbus4;
    UCHAR RIsD2XX;
    // FT2232H
    UCHAR PullDownEnable7;
    UCHAR SerNumEnable7;
    UCHAR ALSlowSlew;
    UCHAR ALSchmittInput;
    UCHAR ALDriveCurrent;
    UCHAR AHSlowSlew;
    UCHAR AHSchmittInput;
    UCHAR AHDriveCurrent;
    UCHAR BLSlowSlew;
    UCHAR BLSchmittInput;
    UCHAR BLDriveCurrent;
    UCHAR BHSlowSlew;
    UCHAR BHSchmittInput;
    UCHAR BHDriveCurrent;
    UCHAR IFAIsFifo7;
    UCHAR IFAIsFifoTar7;
    UCHAR IFAIsFastSer7;
    UCHAR AIsVCP7;
    UCHAR IFBIsFifo7;
    UCHAR IFBIsFifoTar7;
    UCHAR IFBIsFastSer7;
    UCHAR BIsVCP7;
    UCHAR PowerSaveEnable;
    // FT4232H
    UCHAR PullDownEnable8;
    UCHAR SerNumEnable8;
    UCHAR ASlowSlew;
    UCHAR ASchmittInput;
    UCHAR ADriveCurrent;
    UCHAR BSlowSlew;
    UCHAR BSchmittInput;
    UCHAR BDriveCurrent;
    UCHAR CSlowSlew;
    UCHAR CSchmittInput;
    UCHAR CDriveCurrent;
    UCHAR DSlowSlew;
    UCHAR DSchmittInput;
    UCHAR DDriveCurrent;
    UCHAR ARIIsTXDEN;
    UCHAR BRIIsTXDEN;
    UCHAR CRIIsTXDEN;
    UCHAR DRIIsTXDEN;
    UCHAR AIsVCP8;
    UCHAR BIsVCP8;
    UCHAR CIsVCP8;
    UCHAR DIsVCP8;
    // FT232H
    UCHAR PullDownEnableH;
    UCHAR SerNumEnableH;
    UCHAR ACSlowSlewH;
    UCHAR ACSchmittInputH;
    UCHAR ACDriveCurrentH;
    UCHAR ADSlowSlewH;
    UCHAR ADSchmittInputH;
    UCHAR ADDriveCurrentH;
    UCHAR Cbus0H;
    UCHAR Cbus1H;
    UCHAR Cbus2H;
    UCHAR Cbus3H;
    UCHAR Cbus4H;
    UCHAR Cbus5H;
    UCHAR Cbus6H;
    UCHAR Cbus7H;
    UCHAR Cbus8H;
    UCHAR Cbus9H;
    UCHAR IsFifoH;
    UCHAR IsFifoTarH;
    UCHAR IsFastSerH;
    UCHAR IsFT1248H;
    UCHAR FT1248CpolH;
    UCHAR FT1248LsbH;
    UCHAR FT1248FlowControlH;
    UCHAR IsVCPH;
    UCHAR PowerSaveEnableH;
};

struct FT_EEPROM_HEADER
{
    FT_DEVICE deviceType;
    WORD VendorId;
    WORD ProductId;
    UCHAR SerNumEnable;
    WORD MaxPower;
    UCHAR SelfPowered;
    UCHAR RemoteWakeup;
    UCHAR PullDownEnable;
};

struct FT_EEPROM_X_SERIES
{
    FT_EEPROM_HEADER common;
    UCHAR ACSlowSlew;
    UCHAR ACSchmittInput;
    UCHAR ACDriveCurrent;
    UCHAR ADSlowSlew;
    UCHAR ADSchmittInput;
    UCHAR ADDriveCurrent;
    UCHAR Cbus0;
    UCHAR Cbus1;
    UCHAR Cbus2;
    UCHAR Cbus3;
    UCHAR Cbus4;
    UCHAR Cbus5;
    UCHAR Cbus6;
    UCHAR InvertTXD;
    UCHAR InvertRXD;
    UCHAR InvertRTS;
    UCHAR InvertCTS;
    UCHAR InvertDTR;
    UCHAR InvertDSR;
    UCHAR InvertDCD;
    UCHAR InvertRI;
    UCHAR BCDEnable;
    UCHAR BCDForceCbusPWREN;
    UCHAR BCDDisableSleep;
    WORD I2CSlaveAddress;
    DWORD I2CDeviceId;
    UCHAR I2CDisableSchmitt;
    UCHAR FT1248Cpol;
    UCHAR FT1248Lsb;
    UCHAR FT1248FlowControl;
    UCHAR RS485EchoSuppress;
    UCHAR PowerSaveEnable;
    UCHAR DriverType;
};

// The vendor's 64-bit layouts; a mismatch here would corrupt memory across the boundary.
static_assert(sizeof(void*) != 8 || sizeof(FT_DEVICE_LIST_INFO_NODE) == 104,
    "FT_DEVICE_LIST_INFO_NODE layout");
static_assert(sizeof(void*) != 8 || offsetof(FT_DEVICE_LIST_INFO_NODE, ftHandle) == 96,
    "FT_DEVICE_LIST_INFO_NODE layout");
static_assert(sizeof(void*) != 8 || sizeof(FT_PROGRAM_DATA) == 176, "FT_PROGRAM_DATA layout");
static_assert(
    sizeof(void*) != 8 || offsetof(FT_PROGRAM_DATA, Rev4) == 56, "FT_PROGRAM_DATA layout");
static_assert(
    sizeof(void*) != 8 || offsetof(FT_PROGRAM_DATA, UseExtOsc) == 84, "FT_PROGRAM_DATA layout");
static_assert(sizeof(void*) != 8 || offsetof(FT_PROGRAM_DATA, PowerSaveEnableH) == 174,
    "FT_PROGRAM_DATA layout");
static_assert(sizeof(void*) != 4 || sizeof(FT_PROGRAM_DATA) == 160, "FT_PROGRAM_DATA layout");
static_assert(sizeof(FT_EEPROM_HEADER) == 16, "FT_EEPROM_HEADER layout");
static_assert(sizeof(FT_EEPROM_X_SERIES) == 56, "FT_EEPROM_X_SERIES layout");
static_assert(offsetof(FT_EEPROM_X_SERIES, I2CSlaveAddress) == 40, "FT_EEPROM_X_SERIES layout");
static_assert(offsetof(FT_EEPROM_X_SERIES, I2CDeviceId) == 44, "FT_EEPROM_X_SERIES layout");
static_assert(offsetof(FT_EEPROM_X_SERIES, DriverType) == 54, "FT_EEPROM_X_SERIES layout");

// How many leading bytes of FT_PROGRAM_DATA a caller's structure of this Version holds: the
// header and the field groups up to its version's chip (0 FT232B, 1 FT2232, 2 FT232R, 3 FT2232H,
// 4 FT4232H, 5 FT232H). A caller may size its structure by its Version, so a D2XX library reads
// and writes nothing beyond these bytes; versions above 5 hold at least every field known here.
inline std::size_t ftProgramDataBytes(DWORD version)
{
    constexpr std::size_t ends[] = {
        offsetof(FT_PROGRAM_DATA, USBVersion) + sizeof(WORD),
        offsetof(FT_PROGRAM_DATA, BIsVCP) + 1,
        offsetof(FT_PROGRAM_DATA, RIsD2XX) + 1,
        offsetof(FT_PROGRAM_DATA, PowerSaveEnable) + 1,
        offsetof(FT_PROGRAM_DATA, DIsVCP8) + 1,
        offsetof(FT_PROGRAM_DATA, PowerSaveEnableH) + 1,
    };
    return ends[version < 5 ? version : 5];
}

// The D2XX functions the library resolves at run time, each as X(name, member, parameters): the
// exported name, the name loaders give its pointer, and its parameter list (every one returns
// FT_STATUS). The function-pointer types FT_xxxFn, the exports' declarations and every loader's
// members are generated from this one list.
#define KAVRA_D2XX_FUNCTIONS(X)                                                                    \
    X(FT_CreateDeviceInfoList, createDeviceInfoList, (LPDWORD lpdwNumDevs))                        \
    X(FT_GetDeviceInfoList, getDeviceInfoList,                                                     \
        (FT_DEVICE_LIST_INFO_NODE * pDest, LPDWORD lpdwNumDevs))                                   \
    X(FT_Open, open, (int deviceNumber, FT_HANDLE* pHandle))                                       \
    X(FT_Close, close, (FT_HANDLE ftHandle))                                                       \
    X(FT_CyclePort, cyclePort, (FT_HANDLE ftHandle))                                               \
    X(FT_GetDeviceInfo, getDeviceInfo,                                                             \
        (FT_HANDLE ftHandle, FT_DEVICE * lpftDevice, LPDWORD lpdwID, PCHAR SerialNumber,           \
            PCHAR Description, LPVOID Dummy))                                                      \
    X(FT_EE_Read, eeRead, (FT_HANDLE ftHandle, FT_PROGRAM_DATA * pData))                           \
    X(FT_EE_Program, eeProgram, (FT_HANDLE ftHandle, FT_PROGRAM_DATA * pData))                     \
    X(FT_EEPROM_Read, eepromRead,                                                                  \
        (FT_HANDLE ftHandle, void* eepromData, DWORD eepromDataSize, char* Manufacturer,           \
            char* ManufacturerId, char* Description, char* SerialNumber))                          \
    X(FT_EEPROM_Program, eepromProgram,                                                            \
        (FT_HANDLE ftHandle, void* eepromData, DWORD eepromDataSize, char* Manufacturer,           \
            char* ManufacturerId, char* Description, char* SerialNumber))                          \
    X(FT_SetBitMode, setBitMode, (FT_HANDLE ftHandle, UCHAR ucMask, UCHAR ucEnable))               \
    X(FT_SetBaudRate, setBaudRate, (FT_HANDLE ftHandle, ULONG BaudRate))                           \
    X(FT_SetDataCharacteristics, setDataCharacteristics,                                           \
        (FT_HANDLE ftHandle, UCHAR WordLength, UCHAR StopBits, UCHAR Parity))                      \
    X(FT_SetFlowControl, setFlowControl,                                                           \
        (FT_HANDLE ftHandle, USHORT FlowControl, UCHAR XonChar, UCHAR XoffChar))                   \
    X(FT_SetLatencyTimer, setLatencyTimer, (FT_HANDLE ftHandle, UCHAR ucLatency))                  \
    X(FT_SetUSBParameters, setUSBParameters,                                                       \
        (FT_HANDLE ftHandle, ULONG ulInTransferSize, ULONG ulOutTransferSize))                     \
    X(FT_SetTimeouts, setTimeouts, (FT_HANDLE ftHandle, ULONG ReadTimeout, ULONG WriteTimeout))    \
    X(FT_Read, read,                                                                               \
        (FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToRead, LPDWORD lpBytesReturned))       \
    X(FT_Write, write,                                                                             \
        (FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToWrite, LPDWORD lpBytesWritten))       \
    X(FT_Purge, purge, (FT_HANDLE ftHandle, ULONG Mask))                                           \
    X(FT_GetQueueStatus, getQueueStatus, (FT_HANDLE ftHandle, DWORD * dwRxBytes))                  \
    X(FT_GetStatus, getStatus,                                                                     \
        (FT_HANDLE ftHandle, DWORD * dwRxBytes, DWORD * dwTxBytes, DWORD * dwEventDWord))

#define KAVRA_D2XX_FUNCTION_TYPE(name, member, parameters)                                         \
    using name##Fn = FT_STATUS(KAVRA_D2XX_API*) parameters;
KAVRA_D2XX_FUNCTIONS(KAVRA_D2XX_FUNCTION_TYPE)
#undef KAVRA_D2XX_FUNCTION_TYPE

#ifdef KAVRA_D2XX_DECLARE_FUNCTIONS
#if defined(_WIN32)
#define KAVRA_D2XX_EXPORT __declspec(dllexport)
#else
#define KAVRA_D2XX_EXPORT __attribute__((visibility("default")))
#endif

#define KAVRA_D2XX_DECLARE(name, member, parameters)                                               \
    KAVRA_D2XX_EXPORT FT_STATUS KAVRA_D2XX_API name parameters;
extern "C" {
KAVRA_D2XX_FUNCTIONS(KAVRA_D2XX_DECLARE)
}
#undef KAVRA_D2XX_DECLARE
#endif
