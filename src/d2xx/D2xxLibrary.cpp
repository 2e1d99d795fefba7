#include "D2xxLibrary.h"

#include "KavraLog.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <memory>
#include <type_traits>

#ifdef _WIN32
#include <QDir>
#include <windows.h>
#else
#include <dlfcn.h>
#include <link.h>
#endif

namespace {

// What a call reports when the library is not usable: no list and no device without a library,
// and no handle can have come from it.
constexpr FT_STATUS kNoLibraryStatus = FT_DEVICE_NOT_FOUND;
constexpr FT_STATUS kNoHandleStatus = FT_INVALID_HANDLE;

struct StatusText
{
    const char* name;
    const char* message;
};

// Indexed by the D2XX status.
constexpr StatusText statusTexts[] = {
    {"FT_OK", "Valid"},
    {"FT_INVALID_HANDLE", "Invalid handle"},
    {"FT_DEVICE_NOT_FOUND", "Device not found"},
    {"FT_DEVICE_NOT_OPENED", "Device not opened"},
    {"FT_IO_ERROR", "Communication error"},
    {"FT_INSUFFICIENT_RESOURCES", "Insufficient resources"},
    {"FT_INVALID_PARAMETER", "Invalid parameter"},
    {"FT_INVALID_BAUD_RATE", "Invalid BAUD rate"},
    {"FT_DEVICE_NOT_OPENED_FOR_ERASE", "Unable to erase"},
    {"FT_DEVICE_NOT_OPENED_FOR_WRITE", "Unable to write"},
    {"FT_FAILED_TO_WRITE_DEVICE", "Unable to write"},
    {"FT_EEPROM_READ_FAILED", "Unable to read EEPROM"},
    {"FT_EEPROM_WRITE_FAILED", "Unable to write EEPROM"},
    {"FT_EEPROM_ERASE_FAILED", "Unable to erase EEPROM"},
    {"FT_EEPROM_NOT_PRESENT", "EEPROM not present"},
    {"FT_EEPROM_NOT_PROGRAMMED", "EEPROM not programmed"},
    {"FT_INVALID_ARGS", "Invalid arguments"},
    {"FT_NOT_SUPPORTED", "Unsupported devices"},
};

constexpr FT_STATUS statusCount = sizeof(statusTexts) / sizeof(statusTexts[0]);

QString argumentText(const void* pointer)
{
    return QStringLiteral("0x") + QString::number(reinterpret_cast<quintptr>(pointer), 16);
}

// Out-parameters are logged with the value they came back with.
QString argumentText(const DWORD* out)
{
    return out ? QString::number(*out) : QStringLiteral("null");
}

QString argumentText(const FT_HANDLE* out)
{
    return out ? argumentText(*out) : QStringLiteral("null");
}

template <typename T, typename = std::enable_if_t<std::is_arithmetic<T>::value>>
QString argumentText(T value)
{
    return QString::number(value);
}

// Logs the call with its arguments and its status once it has returned; when the d2xx log is off,
// only the category check runs.
template <typename... Args>
FT_STATUS logged(FT_STATUS status, const char* call, const Args&... arguments)
{
    qCDebug(KavraLog::d2xx).noquote().nospace()
        << call << '(' << QStringList{argumentText(arguments)...}.join(QStringLiteral(", "))
        << ") = "
        << (status < statusCount ? QString::fromLatin1(statusTexts[status].name)
                                 : QStringLiteral("FT_STATUS %1").arg(status));
    return status;
}

template <typename T> void clear(T* out)
{
    if (out)
        *out = T();
}

#ifdef _WIN32
using LibraryHandle = HMODULE;

// The system's text for an error code, as a Windows user would read it elsewhere.
QString windowsErrorText(DWORD code)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    const QString message
        = length > 0 ? QString::fromWCharArray(text, int(length)).trimmed() : QString();
    LocalFree(text);
    return message.isEmpty() ? QStringLiteral("error %1").arg(code)
                             : QStringLiteral("%1 (error %2)").arg(message).arg(code);
}

LibraryHandle openLibrary(const QString& fileName, QString* error)
{
    // LoadLibrary wants backslashes in a path. A bare file name goes through the standard search:
    // the host program's folder first, then the system folders and PATH.
    const QString native = QDir::toNativeSeparators(fileName);
    // A missing file or dependency is reported here, never in a dialog box the host must answer.
    DWORD previousMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    HMODULE module = LoadLibraryW(reinterpret_cast<LPCWSTR>(native.utf16()));
    const DWORD code = module ? ERROR_SUCCESS : GetLastError();
    SetThreadErrorMode(previousMode, nullptr);
    if (!module) {
        const bool searched = !native.contains(QLatin1Char('\\'));
        *error = QStringLiteral("cannot load %1%2: %3")
                     .arg(native,
                         searched ? QStringLiteral(
                             " (searched beside the program, in the system folders and on PATH)")
                                  : QString(),
                         windowsErrorText(code));
    }
    return module;
}

void* findSymbol(LibraryHandle library, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(library, name));
}

QString pathOf(LibraryHandle library)
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(library, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? QString::fromWCharArray(path, int(length)) : QString();
}
#else
using LibraryHandle = void*;

LibraryHandle openLibrary(const QString& fileName, QString* error)
{
    // RTLD_LOCAL: the D2XX names stay out of the global namespace of the host process.
    void* library = dlopen(QFile::encodeName(fileName).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* text = dlerror();
        *error
            = text ? QString::fromLocal8Bit(text) : QStringLiteral("cannot load %1").arg(fileName);
    }
    return library;
}

void* findSymbol(LibraryHandle library, const char* name)
{
    return dlsym(library, name);
}

QString pathOf(LibraryHandle library)
{
    // The loader's own record names the file it found, also when a bare name was searched for.
    link_map* map = nullptr;
    if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name || !*map->l_name)
        return QString();
    return QFileInfo(QFile::decodeName(map->l_name)).absoluteFilePath();
}
#endif

// Not one of the functions the library needs: a D2XX library without it is still used.
using GetLibraryVersionFn = FT_STATUS(KAVRA_D2XX_API*)(DWORD* version);

QString versionOf(LibraryHandle library)
{
    const auto function
        = reinterpret_cast<GetLibraryVersionFn>(findSymbol(library, "FT_GetLibraryVersion"));
    DWORD version = 0;
    if (!function || function(&version) != FT_OK)
        return QString();
    // Bytes 2, 1 and 0 hold major, minor and build as two hex digits each: 0x00030115 is 3.01.15.
    return QStringLiteral("%1.%2.%3")
        .arg(version >> 16 & 0xFF, 0, 16)
        .arg(version >> 8 & 0xFF, 2, 16, QLatin1Char('0'))
        .arg(version & 0xFF, 2, 16, QLatin1Char('0'));
}

template <typename Fn>
bool resolve(LibraryHandle library, const char* name, Fn& function, QStringList& missing)
{
    void* symbol = findSymbol(library, name);
    if (!symbol) {
        missing << QString::fromLatin1(name);
        return false;
    }
    function = reinterpret_cast<Fn>(symbol);
    return true;
}

} // namespace

D2xxLibrary::D2xxLibrary(const QString& fileName) : m_fileName(fileName)
{
    load();
}

const D2xxLibrary& D2xxLibrary::instance()
{
    // The function-local static is initialised once and thread-safely. The object is deliberately
    // never deleted, and the library file is never unloaded, so that D2XX calls made by static
    // destructors during unload still reach valid code.
    static const D2xxLibrary* const library = [] {
        const D2xxLibrary* loaded = choose();
        if (loaded->isLoaded())
            qCInfo(KavraLog::d2xx).noquote()
                << "loaded" << loaded->loadedPath() << "version" << loaded->version();
        else
            qCInfo(KavraLog::d2xx).noquote()
                << "not loaded: tried" << loaded->fileName() << ":" << loaded->errorText();
        return loaded;
    }();
    return *library;
}

D2xxLibrary* D2xxLibrary::choose()
{
    if (!qEnvironmentVariableIsEmpty("KAVRA_D2XX_LIBRARY")) {
        auto* named = new D2xxLibrary(configuredFileName());
        named->m_reason = QStringLiteral("named by KAVRA_D2XX_LIBRARY");
        return named;
    }
    auto vendor = std::make_unique<D2xxLibrary>(defaultFileName());
    vendor->m_reason = QStringLiteral("FTDI's D2XX library");
    if (vendor->isLoaded())
        return vendor.release();
    // No FTDI library: the one over libftdi1 in its place, when it is there.
    QStringList tried;
    for (const QString& name : fallbackFileNames()) {
        auto fallback = std::make_unique<D2xxLibrary>(name);
        if (fallback->isLoaded()) {
            fallback->m_reason = QStringLiteral("%1 could not be loaded: %2")
                                     .arg(vendor->fileName(), vendor->errorText());
            return fallback.release();
        }
        tried << QStringLiteral("%1: %2").arg(name, fallback->errorText());
    }
    vendor->m_errorText += QStringLiteral("; also tried ") + tried.join(QStringLiteral("; "));
    return vendor.release();
}

QStringList D2xxLibrary::fallbackFileNames()
{
    const QString fileName = QStringLiteral("libkavra_ftdi.so");
    QStringList names;
#ifndef _WIN32
    // Beside this library first: the copy built and installed with it.
    Dl_info self{};
    if (dladdr(reinterpret_cast<void*>(&D2xxLibrary::fallbackFileNames), &self) && self.dli_fname)
        names << QFileInfo(QFile::decodeName(self.dli_fname)).absolutePath() + QLatin1Char('/')
                + fileName;
    names << fileName;
#endif
    return names;
}

const char* D2xxLibrary::statusName(FT_STATUS status)
{
    return status < statusCount ? statusTexts[status].name : nullptr;
}

const char* D2xxLibrary::statusMessage(FT_STATUS status)
{
    return status < statusCount ? statusTexts[status].message : "Unknown error";
}

QString D2xxLibrary::defaultFileName()
{
#ifdef _WIN32
    return QStringLiteral("FTD2XX.dll");
#else
    return QStringLiteral("libftd2xx.so");
#endif
}

QString D2xxLibrary::configuredFileName()
{
    const QByteArray configured = qgetenv("KAVRA_D2XX_LIBRARY");
    return configured.isEmpty() ? defaultFileName() : QFile::decodeName(configured);
}

void D2xxLibrary::load()
{
    LibraryHandle library = openLibrary(m_fileName, &m_errorText);
    if (!library)
        return;
    m_loadedPath = pathOf(library);

    Functions functions;
    QStringList missing;
    // Every function is looked up, so that the error text names all that are missing.
#define KAVRA_D2XX_RESOLVE(name, member, parameters)                                               \
    resolve(library, #name, functions.member, missing);
    KAVRA_D2XX_FUNCTIONS(KAVRA_D2XX_RESOLVE)
#undef KAVRA_D2XX_RESOLVE

    if (!missing.isEmpty()) {
        // A partial library is not used at all: a half-working driver is harder to diagnose than
        // none. The file itself stays loaded; unloading buys nothing here.
        m_errorText = QStringLiteral("%1 lacks %2")
                          .arg(m_loadedPath.isEmpty() ? m_fileName : m_loadedPath,
                              missing.join(QStringLiteral(", ")));
        return;
    }
    m_functions = functions;
    m_loaded = true;
    m_version = versionOf(library);
}

FT_STATUS D2xxLibrary::createDeviceInfoList(DWORD* count) const
{
    if (!m_loaded) {
        clear(count);
        return kNoLibraryStatus;
    }
    return logged(m_functions.createDeviceInfoList(count), "FT_CreateDeviceInfoList", count);
}

FT_STATUS D2xxLibrary::getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* count) const
{
    if (!m_loaded) {
        clear(count);
        return kNoLibraryStatus;
    }
    return logged(m_functions.getDeviceInfoList(nodes, count), "FT_GetDeviceInfoList", count);
}

FT_STATUS D2xxLibrary::open(int deviceNumber, FT_HANDLE* handle) const
{
    if (!m_loaded) {
        clear(handle);
        return kNoLibraryStatus;
    }
    return logged(m_functions.open(deviceNumber, handle), "FT_Open", deviceNumber, handle);
}

FT_STATUS D2xxLibrary::close(FT_HANDLE handle) const
{
    if (!m_loaded)
        return kNoHandleStatus;
    return logged(m_functions.close(handle), "FT_Close", handle);
}

FT_STATUS D2xxLibrary::cyclePort(FT_HANDLE handle) const
{
    if (!m_loaded)
        return kNoHandleStatus;
    return logged(m_functions.cyclePort(handle), "FT_CyclePort", handle);
}

FT_STATUS D2xxLibrary::getDeviceInfo(
    FT_HANDLE handle, FT_DEVICE* type, DWORD* id, char* serialNumber, char* description) const
{
    if (!m_loaded) {
        if (type)
            *type = FT_DEVICE_UNKNOWN;
        clear(id);
        return kNoHandleStatus;
    }
    return logged(m_functions.getDeviceInfo(handle, type, id, serialNumber, description, nullptr),
        "FT_GetDeviceInfo", handle);
}

FT_STATUS D2xxLibrary::eeRead(FT_HANDLE handle, FT_PROGRAM_DATA* data) const
{
    if (!m_loaded)
        return kNoHandleStatus;
    return logged(m_functions.eeRead(handle, data), "FT_EE_Read", handle);
}

FT_STATUS D2xxLibrary::eeProgram(FT_HANDLE handle, FT_PROGRAM_DATA* data) const
{
    if (!m_loaded)
        return kNoHandleStatus;
    return logged(m_functions.eeProgram(handle, data), "FT_EE_Program", handle);
}

FT_STATUS D2xxLibrary::eepromRead(FT_HANDLE handle, void* data, DWORD size, char* manufacturer,
    char* manufacturerId, char* description, char* serialNumber) const
{
    if (!m_loaded)
        return kNoHandleStatus;
    return logged(m_functions.eepromRead(
                      handle, data, size, manufacturer, manufacturerId, description, serialNumber),
        "FT_EEPROM_Read", handle, size);
}

FT_STATUS D2xxLibrary::eepromProgram(FT_HANDLE handle, void* data, DWORD size, char* manufacturer,
    char* manufacturerId, char* description, char* serialNumber) const
{
    if (!m_loaded)
        return kNoHandleStatus;
    return logged(m_functions.eepromProgram(
                      handle, data, size, manufacturer, manufacturerId, description, serialNumber),
        "FT_EEPROM_Program", handle, size);
}

FT_STATUS D2xxLibrary::setBitMode(FT_HANDLE handle, UCHAR mask, UCHAR mode) const
{
    if (!m_loaded)
        return kNoHandleStatus;
    return logged(m_functions.setBitMode(handle, mask, mode), "FT_SetBitMode", handle, mask, mode);
}

FT_STATUS D2xxLibrary::setBaudRate(FT_HANDLE handle, ULONG baudRate) const
{
    if (!m_loaded)
        return kNoHandleStatus;
    return logged(m_functions.setBaudRate(handle, baudRate), "FT_SetBaudRate", handle, baudRate);
}

FT_STATUS D2xxLibrary::setDataCharacteristics(
    FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity) const
{
    if (!m_loaded)
        return kNoHandleStatus;
    return logged(m_functions.setDataCharacteristics(handle, wordLength, stopBits, parity),
        "FT_SetDataCharacteristics", handle, wordLength, stopBits, parity);
}

FT_STATUS D2xxLibrary::setFlowControl(
    FT_HANDLE handle, USHORT flowControl, UCHAR xonChar, UCHAR xoffChar) const
{
    if (!m_loaded)
        return kNoHandleStatus;
    return logged(m_functions.setFlowControl(handle, flowControl, xonChar, xoffChar),
        "FT_SetFlowControl", handle, flowControl);
}

FT_STATUS D2xxLibrary::setLatencyTimer(FT_HANDLE handle, UCHAR latency) const
{
    if (!m_loaded)
        return kNoHandleStatus;
    return logged(
        m_functions.setLatencyTimer(handle, latency), "FT_SetLatencyTimer", handle, latency);
}

FT_STATUS D2xxLibrary::setUSBParameters(
    FT_HANDLE handle, ULONG inTransferSize, ULONG outTransferSize) const
{
    if (!m_loaded)
        return kNoHandleStatus;
    return logged(m_functions.setUSBParameters(handle, inTransferSize, outTransferSize),
        "FT_SetUSBParameters", handle, inTransferSize, outTransferSize);
}

FT_STATUS D2xxLibrary::setTimeouts(FT_HANDLE handle, ULONG readTimeout, ULONG writeTimeout) const
{
    if (!m_loaded)
        return kNoHandleStatus;
    return logged(m_functions.setTimeouts(handle, readTimeout, writeTimeout), "FT_SetTimeouts",
        handle, readTimeout, writeTimeout);
}

FT_STATUS D2xxLibrary::read(FT_HANDLE handle, void* buffer, DWORD count, DWORD* returned) const
{
    if (!m_loaded) {
        clear(returned);
        return kNoHandleStatus;
    }
    return logged(
        m_functions.read(handle, buffer, count, returned), "FT_Read", handle, count, returned);
}

FT_STATUS D2xxLibrary::write(FT_HANDLE handle, void* buffer, DWORD count, DWORD* written) const
{
    if (!m_loaded) {
        clear(written);
        return kNoHandleStatus;
    }
    return logged(
        m_functions.write(handle, buffer, count, written), "FT_Write", handle, count, written);
}

FT_STATUS D2xxLibrary::purge(FT_HANDLE handle, ULONG mask) const
{
    if (!m_loaded)
        return kNoHandleStatus;
    return logged(m_functions.purge(handle, mask), "FT_Purge", handle, mask);
}

FT_STATUS D2xxLibrary::getQueueStatus(FT_HANDLE handle, DWORD* rxBytes) const
{
    if (!m_loaded) {
        clear(rxBytes);
        return kNoHandleStatus;
    }
    return logged(
        m_functions.getQueueStatus(handle, rxBytes), "FT_GetQueueStatus", handle, rxBytes);
}

FT_STATUS D2xxLibrary::getStatus(
    FT_HANDLE handle, DWORD* rxBytes, DWORD* txBytes, DWORD* eventWord) const
{
    if (!m_loaded) {
        clear(rxBytes);
        clear(txBytes);
        clear(eventWord);
        return kNoHandleStatus;
    }
    return logged(m_functions.getStatus(handle, rxBytes, txBytes, eventWord), "FT_GetStatus",
        handle, rxBytes, txBytes);
}
