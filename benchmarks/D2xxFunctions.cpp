#include "D2xxFunctions.h"

#include <QJsonArray>
#include <QString>

#include <dlfcn.h>

#include <cstdlib>
#include <vector>

const D2xxFunctions& D2xxFunctions::instance()
{
    static const D2xxFunctions functions;
    return functions;
}

template <typename Fn> Fn D2xxFunctions::resolve(const char* name)
{
    return m_library ? reinterpret_cast<Fn>(dlsym(m_library, name)) : nullptr;
}

D2xxFunctions::D2xxFunctions()
{
    // dlopen of the file KavraLib loaded gives the same instance, and so the same bench.
    if (const char* path = std::getenv("KAVRA_D2XX_LIBRARY"))
        m_library = dlopen(path, RTLD_NOW);
    m_createDeviceInfoList = resolve<FT_CreateDeviceInfoListFn>("FT_CreateDeviceInfoList");
    m_getDeviceInfoList = resolve<FT_GetDeviceInfoListFn>("FT_GetDeviceInfoList");
    m_open = resolve<FT_OpenFn>("FT_Open");
    m_close = resolve<FT_CloseFn>("FT_Close");
    m_read = resolve<FT_ReadFn>("FT_Read");
    m_write = resolve<FT_WriteFn>("FT_Write");
    m_setBitMode = resolve<FT_SetBitModeFn>("FT_SetBitMode");
    m_setBaudRate = resolve<FT_SetBaudRateFn>("FT_SetBaudRate");
    m_setDataCharacteristics = resolve<FT_SetDataCharacteristicsFn>("FT_SetDataCharacteristics");
    m_setFlowControl = resolve<FT_SetFlowControlFn>("FT_SetFlowControl");
    m_setLatencyTimer = resolve<FT_SetLatencyTimerFn>("FT_SetLatencyTimer");
    m_setUSBParameters = resolve<FT_SetUSBParametersFn>("FT_SetUSBParameters");
    m_setTimeouts = resolve<FT_SetTimeoutsFn>("FT_SetTimeouts");
    m_purge = resolve<FT_PurgeFn>("FT_Purge");
    m_loaded = m_createDeviceInfoList && m_getDeviceInfoList && m_open && m_close && m_read
        && m_write && m_setBitMode && m_setBaudRate && m_setDataCharacteristics && m_setFlowControl
        && m_setLatencyTimer && m_setUSBParameters && m_setTimeouts && m_purge;
}

int D2xxFunctions::listIndexOf(const QString& serialNumber) const
{
    DWORD count = 0;
    if (!isLoaded() || m_createDeviceInfoList(&count) != FT_OK || count == 0)
        return -1;
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count, FT_DEVICE_LIST_INFO_NODE{});
    if (m_getDeviceInfoList(nodes.data(), &count) != FT_OK)
        return -1;
    for (DWORD i = 0; i < count && i < nodes.size(); ++i) {
        if (QString::fromLatin1(nodes[i].SerialNumber) == serialNumber)
            return static_cast<int>(i);
    }
    return -1;
}

FT_STATUS D2xxFunctions::replay(FT_HANDLE handle, const QJsonObject& call) const
{
    const QString name = call.value(QStringLiteral("call")).toString();
    const QJsonArray args = call.value(QStringLiteral("args")).toArray();
    const auto arg = [&args](int i) { return static_cast<uint32_t>(args.at(i).toDouble()); };
    const auto byte = [&arg](int i) { return static_cast<UCHAR>(arg(i)); };
    if (name == QLatin1String("FT_SetBitMode") && args.size() == 2)
        return m_setBitMode(handle, byte(0), byte(1));
    if (name == QLatin1String("FT_SetBaudRate") && args.size() == 1)
        return m_setBaudRate(handle, arg(0));
    if (name == QLatin1String("FT_SetDataCharacteristics") && args.size() == 3)
        return m_setDataCharacteristics(handle, byte(0), byte(1), byte(2));
    if (name == QLatin1String("FT_SetFlowControl") && args.size() == 3)
        return m_setFlowControl(handle, static_cast<USHORT>(arg(0)), byte(1), byte(2));
    if (name == QLatin1String("FT_SetLatencyTimer") && args.size() == 1)
        return m_setLatencyTimer(handle, byte(0));
    if (name == QLatin1String("FT_SetUSBParameters") && args.size() == 2)
        return m_setUSBParameters(handle, arg(0), arg(1));
    if (name == QLatin1String("FT_SetTimeouts") && args.size() == 2)
        return m_setTimeouts(handle, arg(0), arg(1));
    if (name == QLatin1String("FT_Purge") && args.size() == 1)
        return m_purge(handle, arg(0));
    return FT_OTHER_ERROR;
}
