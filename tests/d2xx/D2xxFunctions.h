#pragma once

#include "FtdiD2xx.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// The D2XX functions of the library KAVRA_D2XX_LIBRARY names, resolved at run time, so that one
// test runs unchanged against the virtual bench and against FTDI's own library. Without the
// variable they are those linked into the test, if any.
class D2xxFunctions
{
    // First: the functions below are resolved from it as they are initialised.
    void* m_library = load();
    static void* load();

    // A symbol's address, converted to whichever function type it initialises.
    struct Symbol
    {
        void* address;
        template <typename Fn> operator Fn() const { return reinterpret_cast<Fn>(address); }
    };
    Symbol fn(const char* name) const;

    D2xxFunctions() = default;

public:
    static const D2xxFunctions& instance();

    bool isLoaded() const { return createDeviceInfoList != nullptr; }
    // True for FTDI's library, false for the bench (which exports its control functions).
    bool isVendor() const { return isLoaded() && !fn("kavrasim_reset").address; }

#define KAVRA_D2XX_POINTER(name, member, parameters) name##Fn member = fn(#name);
    KAVRA_D2XX_FUNCTIONS(KAVRA_D2XX_POINTER)
#undef KAVRA_D2XX_POINTER
    // Beyond the library's own list: the tests compare the bench with FTDI's library on these too.
    FT_STATUS (*listDevices)(void*, void*, DWORD) = fn("FT_ListDevices");
    FT_STATUS (*openEx)(void*, DWORD, FT_HANDLE*) = fn("FT_OpenEx");
    FT_STATUS(*getDeviceInfoDetail)
    (DWORD, DWORD*, DWORD*, DWORD*, DWORD*, void*, void*, FT_HANDLE*)
        = fn("FT_GetDeviceInfoDetail");
    FT_STATUS (*getLibraryVersion)(DWORD*) = fn("FT_GetLibraryVersion");
    FT_STATUS (*getDriverVersion)(FT_HANDLE, DWORD*) = fn("FT_GetDriverVersion");
    FT_STATUS (*getLatencyTimer)(FT_HANDLE, UCHAR*) = fn("FT_GetLatencyTimer");
    FT_STATUS (*getModemStatus)(FT_HANDLE, ULONG*) = fn("FT_GetModemStatus");
    FT_STATUS (*getBitMode)(FT_HANDLE, UCHAR*) = fn("FT_GetBitMode");
    FT_STATUS (*resetDevice)(FT_HANDLE) = fn("FT_ResetDevice");
    FT_STATUS (*setDtr)(FT_HANDLE) = fn("FT_SetDtr");
    FT_STATUS (*setRts)(FT_HANDLE) = fn("FT_SetRts");
    FT_STATUS (*setChars)(FT_HANDLE, UCHAR, UCHAR, UCHAR, UCHAR) = fn("FT_SetChars");
    FT_STATUS (*setBreakOn)(FT_HANDLE) = fn("FT_SetBreakOn");
    FT_STATUS (*setBreakOff)(FT_HANDLE) = fn("FT_SetBreakOff");
    FT_STATUS (*setEventNotification)(FT_HANDLE, DWORD, void*) = fn("FT_SetEventNotification");
    FT_STATUS (*uaSize)(FT_HANDLE, DWORD*) = fn("FT_EE_UASize");
    FT_STATUS (*uaRead)(FT_HANDLE, UCHAR*, DWORD, DWORD*) = fn("FT_EE_UARead");
    FT_STATUS (*uaWrite)(FT_HANDLE, UCHAR*, DWORD) = fn("FT_EE_UAWrite");
};

// Helpers on the functions of D2xxFunctions::instance().
QVector<FT_DEVICE_LIST_INFO_NODE> deviceList();
// The list position of the entry with this serial number, or -1.
int indexOf(const QString& listedSerial);
FT_HANDLE openListed(const QString& listedSerial);
FT_STATUS writeBytes(FT_HANDLE handle, const QByteArray& bytes);
// FT_Read of count bytes: what arrived before the read time-out, or nothing when the call fails.
QByteArray readBytes(FT_HANDLE handle, int count);

// Both EEPROM records with the caller's text buffers: FT_EE_* for version > 0, FT_EEPROM_* (FT-X)
// for 0.
struct Eeprom
{
    char manufacturer[32] = {};
    char manufacturerId[16] = {};
    char description[64] = {};
    char serial[16] = {};
    FT_PROGRAM_DATA data{};
    FT_EEPROM_X_SERIES x{};

    explicit Eeprom(DWORD version);
    FT_STATUS read(FT_HANDLE handle);
    FT_STATUS program(FT_HANDLE handle);
};
