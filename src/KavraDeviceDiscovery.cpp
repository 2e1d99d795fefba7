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
        KavraSession::registry()[index] = device;
    return status;
}

int KavraDeviceDiscovery::findDeviceIndex(const char* serialNumber, int* index)
{
    if (index)
        *index = -1;
    const QString wanted = QString::fromLatin1(serialNumber ? serialNumber : "").toLower();
    const int count = enumerateSupportedDevices().size();
    for (int i = 1; i <= count; ++i) {
        bool openedHere = false;
        if (!KavraSession::device(i)) {
            openDeviceForIndex(i);
            openedHere = true;
        }
        const std::shared_ptr<KavraDriver_AbstractDevice> device = KavraSession::device(i);
        if (!device)
            continue;
        const std::shared_ptr<USBDevice> usbDevice = device->usbDevice();
        const QString text =
            usbDevice ? USBSerialNumber(usbDevice->serialNumber()).fullText().toLower() : QString();
        if (openedHere) {
            device->close();
            KavraSession::registry().erase(i);
        }
        if (!text.isEmpty() && text == wanted) {
            if (index)
                *index = i;
            return 0;
        }
    }
    return NoSuchSerialNumber;
}
