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

D2xxFunctions::D2xxFunctions()
{
    // dlopen of the file KavraLib loaded gives the same instance, and so the same bench.
    if (const char* path = std::getenv("KAVRA_D2XX_LIBRARY"))
        m_library = dlopen(path, RTLD_NOW);
    if (!m_library)
        return;
    // All of them, as KavraLib itself uses the library only when every one is there.
    m_loaded = true;
#define KAVRA_D2XX_RESOLVE(name, member, parameters)                                               \
    m_##member = reinterpret_cast<name##Fn>(dlsym(m_library, #name));                              \
    m_loaded = m_loaded && m_##member;
    KAVRA_D2XX_FUNCTIONS(KAVRA_D2XX_RESOLVE)
#undef KAVRA_D2XX_RESOLVE
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
