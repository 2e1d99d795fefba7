#pragma once

#include "FtdiD2xx.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// The D2XX functions of the library KAVRA_D2XX_LIBRARY names, resolved at run time, so that one
// test runs unchanged against the virtual bench and against FTDI's own library.
class D2xxFunctions
{
public:
    static const D2xxFunctions& instance();

    bool isLoaded() const { return m_library != nullptr; }
    QString path() const { return m_path; }
    // True for FTDI's library, false for the bench (which exports its control functions).
    bool isVendor() const { return m_vendor; }

    FT_CreateDeviceInfoListFn createDeviceInfoList = nullptr;
    FT_GetDeviceInfoListFn getDeviceInfoList = nullptr;
    FT_OpenFn open = nullptr;
    FT_CloseFn close = nullptr;
    FT_CyclePortFn cyclePort = nullptr;
    FT_GetDeviceInfoFn getDeviceInfo = nullptr;
    FT_EE_ReadFn eeRead = nullptr;
    FT_EE_ProgramFn eeProgram = nullptr;
    FT_EEPROM_ReadFn eepromRead = nullptr;
    FT_EEPROM_ProgramFn eepromProgram = nullptr;
    FT_SetLatencyTimerFn setLatencyTimer = nullptr;
    FT_SetTimeoutsFn setTimeouts = nullptr;
    FT_ReadFn read = nullptr;
    FT_WriteFn write = nullptr;
    FT_PurgeFn purge = nullptr;
    FT_GetQueueStatusFn getQueueStatus = nullptr;
    FT_GetStatusFn getStatus = nullptr;

    FT_STATUS (*listDevices)(void*, void*, DWORD) = nullptr;
    FT_STATUS (*openEx)(void*, DWORD, FT_HANDLE*) = nullptr;
    FT_STATUS(*getDeviceInfoDetail)
    (DWORD, DWORD*, DWORD*, DWORD*, DWORD*, void*, void*, FT_HANDLE*) = nullptr;
    FT_STATUS (*getLibraryVersion)(DWORD*) = nullptr;
    FT_STATUS (*getDriverVersion)(FT_HANDLE, DWORD*) = nullptr;
    FT_STATUS (*getLatencyTimer)(FT_HANDLE, UCHAR*) = nullptr;
    FT_STATUS (*getModemStatus)(FT_HANDLE, ULONG*) = nullptr;
    FT_STATUS (*getBitMode)(FT_HANDLE, UCHAR*) = nullptr;
    FT_STATUS (*resetDevice)(FT_HANDLE) = nullptr;
    FT_STATUS (*setDtr)(FT_HANDLE) = nullptr;
    FT_STATUS (*setRts)(FT_HANDLE) = nullptr;
    FT_STATUS (*setChars)(FT_HANDLE, UCHAR, UCHAR, UCHAR, UCHAR) = nullptr;
    FT_STATUS (*setBreakOn)(FT_HANDLE) = nullptr;
    FT_STATUS (*setBreakOff)(FT_HANDLE) = nullptr;
    FT_STATUS (*setEventNotification)(FT_HANDLE, DWORD, void*) = nullptr;
    FT_STATUS (*uaSize)(FT_HANDLE, DWORD*) = nullptr;
    FT_STATUS (*uaRead)(FT_HANDLE, UCHAR*, DWORD, DWORD*) = nullptr;
    FT_STATUS (*uaWrite)(FT_HANDLE, UCHAR*, DWORD) = nullptr;

    // Helpers on top of the functions.
    QVector<FT_DEVICE_LIST_INFO_NODE> deviceList() const;
    // The list position of the entry with this serial number, or -1.
    int indexOf(const QString& listedSerial) const;
    FT_HANDLE openListed(const QString& listedSerial) const;
    FT_STATUS writeBytes(FT_HANDLE handle, const QByteArray& bytes) const;
    // FT_Read of count bytes; what arrived before the read time-out.
    QByteArray readBytes(FT_HANDLE handle, int count) const;

private:
    D2xxFunctions();
    template <typename Fn> void resolve(Fn* fn, const char* name);

    void* m_library = nullptr;
    QString m_path;
    bool m_vendor = false;
};
