#include "KavraDeviceDiscovery.h"

#include "KavraDriver_AbstractDevice.h"
#include "KavraDriver_Status.h"
#include "KavraLog.h"
#include "KavraSupportedModels.h"
#include "USBDevice.h"
#include "USBDriver.h"

#include <mutex>

using namespace KavraDriver_Status;

namespace {

// Never destroyed, like the session's state: a thread of the host may still list units while
// static destructors run.
std::mutex& listingMutex()
{
    static std::mutex* const instance = new std::mutex;
    return *instance;
}

} // namespace

QList<std::shared_ptr<USBDevice>> KavraDeviceDiscovery::listSupported()
{
    QList<std::shared_ptr<USBDevice>> supported;
    std::lock_guard<std::mutex> listing(listingMutex());
    USBDriver driver;
    for (const std::shared_ptr<USBDevice>& device : driver.enumerateDevices(true)) {
        if (KavraSupportedModels::isSupported(device->modelId()))
            supported.append(device);
    }
    qCInfo(KavraLog::discovery) << "listed" << supported.size() << "supported units";
    return supported;
}

int KavraDeviceDiscovery::open(
    const std::shared_ptr<USBDevice>& unit, std::shared_ptr<KavraDriver_AbstractDevice>* opened)
{
    const QString serial = unit->serialNumber();
    const KavraLog::UnitScope scope(serial);
    std::shared_ptr<KavraDriver_AbstractDevice> device
        = KavraSupportedModels::createDevice(unit->modelId());
    if (!device) {
        qCInfo(KavraLog::session) << "not opened: the model has no family";
        return NotSupported;
    }
    const int status = device->open(unit);
    if (status == Success) {
        qCInfo(KavraLog::session) << "opened";
        *opened = std::move(device);
    } else {
        qCInfo(KavraLog::session).noquote()
            << "opening failed: status" << status << meaning(status);
    }
    return status;
}
