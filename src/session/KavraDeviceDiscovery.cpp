#include "KavraDeviceDiscovery.h"

#include "KavraDriver_AbstractDevice.h"
#include "KavraDriver_Status.h"
#include "KavraLog.h"
#include "KavraSession.h"
#include "KavraSupportedModels.h"
#include "USBDevice.h"
#include "USBDriver.h"
#include "USBSerialNumber.h"

#include <QStringList>

#include <map>

using namespace KavraDriver_Status;

namespace {

using SessionLocker = std::lock_guard<std::mutex>;

// The attached supported units by the index that names each of them.
using AttachedUnits = std::map<int, std::shared_ptr<USBDevice>>;

// One device list at a time: the D2XX library's list is process-wide state.
std::mutex& listingMutex()
{
    static std::mutex* const instance = new std::mutex;
    return *instance;
}

// Lists the attached supported units and numbers the new ones. Call within an Activity, without
// the session lock.
AttachedUnits listAndNumber(int* count = nullptr)
{
    QList<std::shared_ptr<USBDevice>> supported;
    {
        std::lock_guard<std::mutex> listing(listingMutex());
        USBDriver driver;
        for (const std::shared_ptr<USBDevice>& device : driver.enumerateDevices(true)) {
            if (KavraSupportedModels::isSupported(device->modelId()))
                supported.append(device);
        }
    }
    QStringList serials;
    serials.reserve(supported.size());
    for (const std::shared_ptr<USBDevice>& device : supported)
        serials.append(device->serialNumber());

    AttachedUnits attached;
    SessionLocker locker(KavraSession::mutex());
    KavraIndexNumbering& numbering = KavraSession::numbering();
    numbering.numberListed(serials);
    for (int i = 0; i < supported.size(); ++i) {
        if (const int index = numbering.indexOf(serials.at(i)))
            attached.emplace(index, supported.at(i));
    }
    if (count)
        *count = supported.size();
    qCInfo(KavraLog::discovery) << "listed" << supported.size() << "supported units";
    for (const auto& entry : attached)
        qCDebug(KavraLog::discovery).noquote()
            << "index" << entry.first << entry.second->serialNumber();
    return attached;
}

// Creates the family object of a listed unit and opens it: 0 with *opened set, or the status of
// opening it.
int openListed(const std::shared_ptr<USBDevice>& usbDevice,
    std::shared_ptr<KavraDriver_AbstractDevice>* opened)
{
    const QString serial = usbDevice->serialNumber();
    const KavraLog::UnitScope unit(serial);
    std::shared_ptr<KavraDriver_AbstractDevice> device
        = KavraSupportedModels::createDevice(usbDevice->modelId());
    if (!device) {
        qCInfo(KavraLog::session) << "not opened: the model has no family";
        return NotSupported;
    }
    const int status = device->open(usbDevice);
    if (status == Success) {
        qCInfo(KavraLog::session) << "opened";
        *opened = std::move(device);
    } else {
        qCInfo(KavraLog::session).noquote()
            << "opening failed: status" << status << meaning(status);
    }
    return status;
}

// The registered unit when it is ready for calls (its connection not lost): then *place holds a
// place in its line, taken while the session lock keeps the order of arrival. Only with the
// session lock held.
std::shared_ptr<KavraDriver_AbstractDevice> readyDevice(
    int index, std::optional<FifoLock::Place>* place)
{
    std::shared_ptr<KavraDriver_AbstractDevice> device = KavraSession::device(index);
    if (!device || device->isConnectionLost())
        return nullptr;
    place->emplace(device->callLock());
    return device;
}

int found(int position, int* index)
{
    if (index)
        *index = position;
    return Success;
}

} // namespace

bool KavraDeviceDiscovery::listUnits(int* count, int* highestIndex)
{
    std::unique_ptr<KavraSession::Activity> activity;
    {
        SessionLocker locker(KavraSession::mutex());
        activity = std::make_unique<KavraSession::Activity>();
        if (!activity->isAllowed())
            return false;
    }
    listAndNumber(count);
    if (highestIndex) {
        SessionLocker locker(KavraSession::mutex());
        *highestIndex = KavraSession::numbering().highest();
    }
    return true;
}

QString KavraDeviceDiscovery::serialNumberForIndex(int index)
{
    std::unique_ptr<KavraSession::Activity> activity;
    {
        SessionLocker locker(KavraSession::mutex());
        if (KavraSession::isClosedForExit())
            return QString();
        const QString serial = KavraSession::numbering().serialNumber(index);
        if (!serial.isEmpty() || index < 1 || index > KavraIndexNumbering::HighestIndex)
            return serial;
        activity = std::make_unique<KavraSession::Activity>();
    }
    // Not numbered yet: a unit attached since the last listing may take it.
    listAndNumber();
    SessionLocker locker(KavraSession::mutex());
    return KavraSession::numbering().serialNumber(index);
}

int KavraDeviceDiscovery::deviceForIndex(int index,
    std::shared_ptr<KavraDriver_AbstractDevice>* device, std::optional<FifoLock::Place>* place)
{
    for (;;) {
        uint64_t generation = 0;
        std::shared_ptr<std::mutex> openingLock;
        {
            SessionLocker locker(KavraSession::mutex());
            // Once the process exits, no unit can be reached any more.
            if (KavraSession::isClosedForExit())
                return ConnectionFailed;
            if ((*device = readyDevice(index, place)))
                return Success;
            if (index < 1 || index > KavraIndexNumbering::HighestIndex)
                return IndexOutOfRange;
            generation = KavraSession::generation();
            openingLock = KavraSession::openingLock(index);
        }

        // Only this unit's callers wait while it is opened; the session lock stays free.
        std::lock_guard<std::mutex> opening(*openingLock);
        std::unique_ptr<KavraSession::Activity> activity;
        std::shared_ptr<KavraDriver_AbstractDevice> lost;
        {
            SessionLocker locker(KavraSession::mutex());
            if (KavraSession::isClosedForExit())
                return ConnectionFailed;
            if (KavraSession::generation() != generation)
                continue;
            // Another call may have opened the unit while this one waited for the opening lock.
            if ((*device = readyDevice(index, place)))
                return Success;
            lost = KavraSession::device(index);
            activity = std::make_unique<KavraSession::Activity>();
        }

        const AttachedUnits attached = listAndNumber();
        const auto listed = attached.find(index);
        std::shared_ptr<KavraDriver_AbstractDevice> opened;
        int status = IndexOutOfRange;
        if (listed != attached.end()) {
            // Only the unit that the index names is opened: the list is keyed by serial number, so
            // another unit now at the same place is never adopted.
            status = openListed(listed->second, &opened);
        } else {
            SessionLocker locker(KavraSession::mutex());
            if (!KavraSession::numbering().serialNumber(index).isEmpty())
                status = ConnectionFailed;
        }

        SessionLocker locker(KavraSession::mutex());
        if (KavraSession::isClosedForExit() || KavraSession::generation() != generation) {
            // The session was emptied meanwhile: this call belongs to the next one.
            if (opened)
                opened->close();
            continue;
        }
        if (opened) {
            KavraSession::add(index, opened);
            *device = opened;
        } else if (lost) {
            // Away, or back but not answering: the unit keeps its closed connection, and the
            // operation fails at once with its own code.
            *device = lost;
        } else {
            return status;
        }
        place->emplace((*device)->callLock());
        return Success;
    }
}

int KavraDeviceDiscovery::findDeviceIndex(const char* serialNumber, int* index)
{
    if (index)
        *index = -1;
    const QString wanted = QString::fromLatin1(serialNumber ? serialNumber : "").toLower();
    for (;;) {
        std::unique_ptr<KavraSession::Activity> activity;
        {
            SessionLocker locker(KavraSession::mutex());
            activity = std::make_unique<KavraSession::Activity>();
            if (!activity->isAllowed())
                return NoSuchSerialNumber;
        }
        const AttachedUnits attached = listAndNumber();

        int candidate = 0;
        uint64_t generation = 0;
        std::shared_ptr<std::mutex> openingLock;
        {
            SessionLocker locker(KavraSession::mutex());
            for (const auto& entry : KavraSession::numbering().entries()) {
                const QString text = USBSerialNumber(entry.second).fullText().toLower();
                if (!text.isEmpty() && text == wanted) {
                    candidate = entry.first;
                    break;
                }
            }
            if (candidate == 0)
                return NoSuchSerialNumber;
            // A registered unit answers as it is, attached or away, without touching its
            // connection.
            if (KavraSession::device(candidate))
                return found(candidate, index);
            if (attached.count(candidate) == 0)
                return NoSuchSerialNumber;
            generation = KavraSession::generation();
            openingLock = KavraSession::openingLock(candidate);
        }

        // Opened only to make sure that it can be used, and closed again; never registered.
        std::lock_guard<std::mutex> opening(*openingLock);
        {
            SessionLocker locker(KavraSession::mutex());
            if (KavraSession::generation() != generation)
                continue;
            if (KavraSession::device(candidate))
                return found(candidate, index);
        }
        std::shared_ptr<KavraDriver_AbstractDevice> device;
        if (openListed(attached.at(candidate), &device) != Success)
            return NoSuchSerialNumber;
        device->close();
        return found(candidate, index);
    }
}
