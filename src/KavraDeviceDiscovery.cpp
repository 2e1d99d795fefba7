#include "KavraDeviceDiscovery.h"

#include "KavraDriver_Alder_Device.h"
#include "KavraDriver_Birch_Device.h"
#include "KavraDriver_Cedar_Device.h"
#include "KavraDriver_Generic_Device.h"
#include "KavraDriver_Rowan_Device.h"
#include "KavraSession.h"
#include "KavraSupportedModels.h"
#include "USBDevice.h"
#include "USBDriver.h"
#include "USBSerialNumber.h"

namespace {

// Indices above this are refused even when more units are attached.
constexpr int HighestIndex = 99;
constexpr int IndexOutOfRange = 1;
constexpr int NoSuchSerialNumber = 6;

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

// The family object for a model, or null for a model that is counted but has no family.
std::shared_ptr<KavraDriver_AbstractDevice> createDevice(const ModelId& model)
{
    if (model == ModelId(15, 1))
        return std::make_shared<KavraDriver_Alder_Device>();
    if (model == ModelId(17, 1))
        return std::make_shared<KavraDriver_Cedar_Device>();
    if (model == ModelId(19, 1) || model == ModelId(25, 1))
        return std::make_shared<KavraDriver_Generic_Device>();
    if (model == ModelId(40, 1))
        return std::make_shared<KavraDriver_Birch_Device>();
    if (model == ModelId(41, 1))
        return std::make_shared<KavraDriver_Rowan_Device>();
    return nullptr;
}

int found(int position, int* index)
{
    if (index)
        *index = position;
    return 0;
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
    const std::shared_ptr<KavraDriver_AbstractDevice> device = createDevice(usbDevice->modelId());
    if (!device)
        return KavraDriver_AbstractDevice::NotSupported;
    const int status = device->open(usbDevice);
    if (status == 0)
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
        const std::shared_ptr<KavraDriver_AbstractDevice> device = createDevice(usbDevice->modelId());
        if (device && device->open(usbDevice) == 0) {
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
        if (const std::shared_ptr<KavraDriver_AbstractDevice> registered = KavraSession::device(i)) {
            if (matches(registered->serialNumber()))
                return found(i, index);
            continue;
        }
        // The device list already holds the serial number: only a match is opened, to make sure
        // that the unit can be used, and closed again.
        if (!matches(devices.at(i - 1)->serialNumber()) || openDeviceForIndex(i) != 0)
            continue;
        KavraSession::device(i)->close();
        KavraSession::registry().erase(i);
        return found(i, index);
    }
    return NoSuchSerialNumber;
}
