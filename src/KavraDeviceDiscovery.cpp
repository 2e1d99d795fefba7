#include "KavraDeviceDiscovery.h"

#include "KavraDriver_AbstractDevice.h"
#include "KavraDriver_Status.h"
#include "KavraSession.h"
#include "KavraSupportedModels.h"
#include "USBDevice.h"
#include "USBDriver.h"
#include "USBSerialNumber.h"

using namespace KavraDriver_Status;

namespace {

// Indices above this are refused even when more units are attached.
constexpr int HighestIndex = 99;

QList<std::shared_ptr<USBDevice>> enumerateSupportedDevices()
{
    USBDriver driver;
    QList<std::shared_ptr<USBDevice>> supported;
    for (const std::shared_ptr<USBDevice>& device : driver.enumerateDevices(true)) {
        if (device->isOwnDevice() && KavraSupportedModels::isSupported(device->modelId()))
            supported.append(device);
    }
    return supported;
}

int found(int position, int* index)
{
    if (index)
        *index = position;
    return Success;
}

} // namespace

int KavraDeviceDiscovery::supportedDeviceCount()
{
    return enumerateSupportedDevices().size();
}

QString KavraDeviceDiscovery::serialNumberForIndex(int index)
{
    const QList<std::shared_ptr<USBDevice>> devices = enumerateSupportedDevices();
    if (index < 1 || index > devices.size() || index > HighestIndex)
        return QString();
    return USBSerialNumber(devices.at(index - 1)->serialNumber()).fullText();
}

int KavraDeviceDiscovery::openDeviceForIndex(int index)
{
    const QList<std::shared_ptr<USBDevice>> devices = enumerateSupportedDevices();
    if (index < 1 || index > devices.size() || index > HighestIndex)
        return IndexOutOfRange;
    const std::shared_ptr<USBDevice>& usbDevice = devices.at(index - 1);
    const std::shared_ptr<KavraDriver_AbstractDevice> device
        = KavraSupportedModels::createDevice(usbDevice->modelId());
    if (!device)
        return NotSupported;
    const int status = device->open(usbDevice);
    if (status == Success)
        KavraSession::add(index, device);
    return status;
}

bool KavraDeviceDiscovery::reopenDevice(int index)
{
    const std::shared_ptr<KavraDriver_AbstractDevice> lost = KavraSession::device(index);
    if (!lost)
        return false;
    // Only the unit that was registered comes back under its index: another unit that now sits
    // in the same place is never adopted.
    for (const std::shared_ptr<USBDevice>& usbDevice : enumerateSupportedDevices()) {
        if (usbDevice->serialNumber() != lost->serialNumber())
            continue;
        const std::shared_ptr<KavraDriver_AbstractDevice> device
            = KavraSupportedModels::createDevice(usbDevice->modelId());
        if (device && device->open(usbDevice) == Success) {
            KavraSession::add(index, device);
            return true;
        }
    }
    return false;
}

int KavraDeviceDiscovery::findDeviceIndex(const char* serialNumber, int* index)
{
    if (index)
        *index = -1;
    const QString wanted = QString::fromLatin1(serialNumber ? serialNumber : "").toLower();
    const auto matches = [&wanted](const QString& serial) {
        const QString text = USBSerialNumber(serial).fullText().toLower();
        return !text.isEmpty() && text == wanted;
    };
    const QList<std::shared_ptr<USBDevice>> devices = enumerateSupportedDevices();
    for (int i = 1; i <= devices.size(); ++i) {
        // A registered unit is compared as it is, without touching its connection.
        if (const std::shared_ptr<KavraDriver_AbstractDevice> registered
            = KavraSession::device(i)) {
            if (matches(registered->serialNumber()))
                return found(i, index);
            continue;
        }
        // The device list already holds the serial number: only a match is opened, to make sure
        // that the unit can be used, and closed again.
        if (!matches(devices.at(i - 1)->serialNumber()) || openDeviceForIndex(i) != Success)
            continue;
        KavraSession::device(i)->close();
        KavraSession::registry().erase(i);
        return found(i, index);
    }
    return NoSuchSerialNumber;
}
