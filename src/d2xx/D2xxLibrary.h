#pragma once

#include "FtdiD2xx.h"

#include <QString>
#include <QStringList>

// The one gate to the FTDI D2XX library. The library is never linked: the functions of
// KAVRA_D2XX_FUNCTIONS are resolved at run time by their undecorated names. When the file or any
// of them is missing, every call fails with a non-zero status and clears its out-parameters, so
// enumeration finds nothing and nothing opens.
class D2xxLibrary
{
public:
    // Loads the named file (a path or a file name for the system's search). It stays loaded.
    explicit D2xxLibrary(const QString& fileName);
    D2xxLibrary(const D2xxLibrary&) = delete;
    D2xxLibrary& operator=(const D2xxLibrary&) = delete;

    // The process-wide library: KAVRA_D2XX_LIBRARY when set, else defaultFileName(). Loaded on
    // first use, thread-safe, and never destroyed (sockets may be closed from static destructors
    // at unload, after ordinary statics are gone).
    static const D2xxLibrary& instance();
    // libftd2xx.so on Linux, FTD2XX.dll on Windows.
    static QString defaultFileName();
    // The file instance() loads: the environment's choice or the default.
    static QString configuredFileName();

    // Every function resolved.
    bool isLoaded() const { return m_loaded; }
    // The name that was tried: a path, or a file name for the system's search.
    QString fileName() const { return m_fileName; }
    // The file the system loader opened (its full path), also when it lacks functions; empty
    // when nothing could be opened.
    QString loadedPath() const { return m_loadedPath; }
    // The library's own version as FT_GetLibraryVersion reports it ("3.01.15"); empty when the
    // library is not loaded or does not report one.
    QString version() const { return m_version; }
    // Why loading failed (the loader's message, or the functions missing); empty when loaded.
    QString errorText() const { return m_errorText; }
    // Why this file is the one in use: named by KAVRA_D2XX_LIBRARY, FTDI's library, or
    // libkavra_ftdi.so because FTDI's could not be loaded (with the loader's message).
    QString reason() const { return m_reason; }
    // libkavra_ftdi.so, tried when KAVRA_D2XX_LIBRARY is not set and FTDI's library cannot be
    // loaded: the copy beside this library first, then the system's search. Empty on Windows.
    static QStringList fallbackFileNames();

    // The status's name as the vendor's header spells it ("FT_IO_ERROR"); null above 17.
    static const char* statusName(FT_STATUS status);
    // The status's text ("Valid" for 0, "Communication error" for 4, "Unknown error" above 17).
    static const char* statusMessage(FT_STATUS status);

    FT_STATUS createDeviceInfoList(DWORD* count) const;
    FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* count) const;
    FT_STATUS open(int deviceNumber, FT_HANDLE* handle) const;
    FT_STATUS close(FT_HANDLE handle) const;
    FT_STATUS cyclePort(FT_HANDLE handle) const;
    FT_STATUS getDeviceInfo(
        FT_HANDLE handle, FT_DEVICE* type, DWORD* id, char* serialNumber, char* description) const;
    FT_STATUS eeRead(FT_HANDLE handle, FT_PROGRAM_DATA* data) const;
    FT_STATUS eeProgram(FT_HANDLE handle, FT_PROGRAM_DATA* data) const;
    FT_STATUS eepromRead(FT_HANDLE handle, void* data, DWORD size, char* manufacturer,
        char* manufacturerId, char* description, char* serialNumber) const;
    FT_STATUS eepromProgram(FT_HANDLE handle, void* data, DWORD size, char* manufacturer,
        char* manufacturerId, char* description, char* serialNumber) const;
    FT_STATUS setBitMode(FT_HANDLE handle, UCHAR mask, UCHAR mode) const;
    FT_STATUS setBaudRate(FT_HANDLE handle, ULONG baudRate) const;
    FT_STATUS setDataCharacteristics(
        FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity) const;
    FT_STATUS setFlowControl(
        FT_HANDLE handle, USHORT flowControl, UCHAR xonChar, UCHAR xoffChar) const;
    FT_STATUS setLatencyTimer(FT_HANDLE handle, UCHAR latency) const;
    FT_STATUS setUSBParameters(FT_HANDLE handle, ULONG inTransferSize, ULONG outTransferSize) const;
    FT_STATUS setTimeouts(FT_HANDLE handle, ULONG readTimeout, ULONG writeTimeout) const;
    FT_STATUS read(FT_HANDLE handle, void* buffer, DWORD count, DWORD* returned) const;
    FT_STATUS write(FT_HANDLE handle, void* buffer, DWORD count, DWORD* written) const;
    FT_STATUS purge(FT_HANDLE handle, ULONG mask) const;
    FT_STATUS getQueueStatus(FT_HANDLE handle, DWORD* rxBytes) const;
    FT_STATUS getStatus(FT_HANDLE handle, DWORD* rxBytes, DWORD* txBytes, DWORD* eventWord) const;

private:
    // One pointer per function of KAVRA_D2XX_FUNCTIONS, named by its member name.
    struct Functions
    {
#define KAVRA_D2XX_POINTER(name, member, parameters) name##Fn member = nullptr;
        KAVRA_D2XX_FUNCTIONS(KAVRA_D2XX_POINTER)
#undef KAVRA_D2XX_POINTER
    };

    void load();
    // The library instance() uses, with the reason for it.
    static D2xxLibrary* choose();

    QString m_fileName;
    QString m_loadedPath;
    QString m_version;
    QString m_errorText;
    QString m_reason;
    bool m_loaded = false;
    Functions m_functions;
};
