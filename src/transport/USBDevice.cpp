#include "USBDevice.h"

USBDevice::USBDevice(uint32_t deviceId, const QString& serialNumber, const QString& description)
    : m_deviceId(deviceId)
    , m_serialNumber(serialNumber)
    , m_description(description)
    , m_versionInfo{0, 0}
{ }

USBDevice::~USBDevice() = default;

void USBDevice::setVersionInfo(int first, int second)
{
    m_versionInfo[0] = first;
    m_versionInfo[1] = second;
}
