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
        if (KavraSupportedModels::isSupported(device->modelId()))
            supported.append(device);
    }
    return supported;
}

// Creates the family object of a listed unit and opens it: 0 with *opened set, or the status of
// opening it.
int openListed(const std::shared_ptr<USBDevice>& usbDevice,
    std::shared_ptr<KavraDriver_AbstractDevice>* opened)
{
    std::shared_ptr<KavraDriver_AbstractDevice> device
        = KavraSupportedModels::createDevice(usbDevice->modelId());
    if (!device)
        return NotSupported;
    const int status = device->open(usbDevice);
    if (status == Success)
        *opened = std::move(device);
    return status;
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
    std::shared_ptr<KavraDriver_AbstractDevice> device;
    const int status = openListed(devices.at(index - 1), &device);
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
        std::shared_ptr<KavraDriver_AbstractDevice> device;
        if (usbDevice->serialNumber() == lost->serialNumber()
            && openListed(usbDevice, &device) == Success) {
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
        // that the unit can be used, and closed again; it is never registered.
        std::shared_ptr<KavraDriver_AbstractDevice> device;
        if (i > HighestIndex || !matches(devices.at(i - 1)->serialNumber())
            || openListed(devices.at(i - 1), &device) != Success)
            continue;
        device->close();
        return found(i, index);
    }
    return NoSuchSerialNumber;
}
