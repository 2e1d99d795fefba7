#include "D2xxFunctions.h"

#include <QFile>

#include <dlfcn.h>

#include <cstdlib>

const D2xxFunctions& D2xxFunctions::instance()
{
    static const D2xxFunctions functions;
    return functions;
}

template <typename Fn> void D2xxFunctions::resolve(Fn* fn, const char* name)
{
    *fn = reinterpret_cast<Fn>(dlsym(m_library, name));
}

D2xxFunctions::D2xxFunctions()
{
    const char* path = std::getenv("KAVRA_D2XX_LIBRARY");
    if (!path || !QFile::exists(QString::fromLocal8Bit(path)))
        return;
    m_path = QString::fromLocal8Bit(path);
    m_library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!m_library)
        return;
    m_vendor = dlsym(m_library, "kavrasim_reset") == nullptr;
    resolve(&createDeviceInfoList, "FT_CreateDeviceInfoList");
    resolve(&getDeviceInfoList, "FT_GetDeviceInfoList");
    resolve(&open, "FT_Open");
    resolve(&close, "FT_Close");
    resolve(&cyclePort, "FT_CyclePort");
    resolve(&getDeviceInfo, "FT_GetDeviceInfo");
    resolve(&eeRead, "FT_EE_Read");
    resolve(&eeProgram, "FT_EE_Program");
    resolve(&eepromRead, "FT_EEPROM_Read");
    resolve(&eepromProgram, "FT_EEPROM_Program");
    resolve(&setLatencyTimer, "FT_SetLatencyTimer");
    resolve(&setTimeouts, "FT_SetTimeouts");
    resolve(&read, "FT_Read");
    resolve(&write, "FT_Write");
    resolve(&purge, "FT_Purge");
    resolve(&getQueueStatus, "FT_GetQueueStatus");
    resolve(&getStatus, "FT_GetStatus");
    resolve(&listDevices, "FT_ListDevices");
    resolve(&openEx, "FT_OpenEx");
    resolve(&getDeviceInfoDetail, "FT_GetDeviceInfoDetail");
    resolve(&getLibraryVersion, "FT_GetLibraryVersion");
    resolve(&getDriverVersion, "FT_GetDriverVersion");
    resolve(&getLatencyTimer, "FT_GetLatencyTimer");
    resolve(&getModemStatus, "FT_GetModemStatus");
    resolve(&getBitMode, "FT_GetBitMode");
    resolve(&resetDevice, "FT_ResetDevice");
    resolve(&setDtr, "FT_SetDtr");
    resolve(&setRts, "FT_SetRts");
    resolve(&setChars, "FT_SetChars");
    resolve(&setBreakOn, "FT_SetBreakOn");
    resolve(&setBreakOff, "FT_SetBreakOff");
    resolve(&setEventNotification, "FT_SetEventNotification");
    resolve(&uaSize, "FT_EE_UASize");
    resolve(&uaRead, "FT_EE_UARead");
    resolve(&uaWrite, "FT_EE_UAWrite");
}

QVector<FT_DEVICE_LIST_INFO_NODE> D2xxFunctions::deviceList() const
{
    DWORD count = 0;
    if (createDeviceInfoList(&count) != FT_OK || count == 0)
        return {};
    QVector<FT_DEVICE_LIST_INFO_NODE> nodes(static_cast<int>(count));
    if (getDeviceInfoList(nodes.data(), &count) != FT_OK)
        return {};
    nodes.resize(int(count));
    return nodes;
}

int D2xxFunctions::indexOf(const QString& listedSerial) const
{
    const QVector<FT_DEVICE_LIST_INFO_NODE> nodes = deviceList();
    for (int i = 0; i < nodes.size(); ++i) {
        if (QString::fromLatin1(nodes.at(i).SerialNumber) == listedSerial)
            return i;
    }
    return -1;
}

FT_HANDLE D2xxFunctions::openListed(const QString& listedSerial) const
{
    const int index = indexOf(listedSerial);
    FT_HANDLE handle = nullptr;
    if (index < 0 || open(index, &handle) != FT_OK)
        return nullptr;
    return handle;
}

FT_STATUS D2xxFunctions::writeBytes(FT_HANDLE handle, const QByteArray& bytes) const
{
    QByteArray copy = bytes;
    DWORD written = 0;
    const FT_STATUS status = write(handle, copy.data(), DWORD(copy.size()), &written);
    return status == FT_OK && written != DWORD(bytes.size()) ? FT_OTHER_ERROR : status;
}

QByteArray D2xxFunctions::readBytes(FT_HANDLE handle, int count) const
{
    QByteArray buffer(count, '\0');
    DWORD got = 0;
    if (read(handle, buffer.data(), DWORD(count), &got) != FT_OK)
        return QByteArray();
    return buffer.left(int(got));
}
